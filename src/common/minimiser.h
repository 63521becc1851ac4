// The least-squares minimiser as the fits and the orbit operations use it: the precision
// constants it is given and the report of how a minimisation ended.
#pragma once

namespace vorax {

// Precision constants handed to the minimiser library in place of the exact double limits, so
// that its step sizes and stopping tests do not depend on the machine's arithmetic.
inline constexpr double MINIMISER_EPSMCH = 1e-15; // relative precision
inline constexpr double MINIMISER_DWARF = 1e-300; // smallest magnitude
inline constexpr double MINIMISER_GIANT = 1e+300; // largest magnitude

// Prints the meaning of the minimiser's termination code; improper input (info 0) stops the
// run with error 310.
void lmdmes(int info, int nfev);

} // namespace vorax
