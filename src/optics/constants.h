// CONS and SHOV: change and show the physical constants.
#pragma once

namespace vorax {

void condf(int &end_flag);
void shocon();

} // namespace vorax
