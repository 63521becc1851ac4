// SEED: the master seed of the random numbers.
#pragma once

namespace vorax {

// SEED: reads the seed, makes it odd, fills the tables.
void seed(int code, int &end_flag);

} // namespace vorax
