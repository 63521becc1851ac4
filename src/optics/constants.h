// CONS and SHOV: change and show the physical constants.
#pragma once

namespace vorax {

void condf(int code, int &end_flag);  // CONS: pairs of constant number and value
void shocon(int code, int &end_flag); // SHOV: prints the constants (it has no data)

} // namespace vorax
