// CONS and SHOV: change and show the physical constants.
#pragma once

namespace vorax {

void condf(int &end_flag); // CONS: pairs of constant number and value
void shocon();             // SHOV: prints the constants
void reset_constants();    // the values every engine run starts with

} // namespace vorax
