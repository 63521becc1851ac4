// TUNE and MODI: direct changes of element parameters, with the element's map and the path
// lengths brought up to date so that later operations see the change.
#pragma once

namespace vorax {

// How vary applies its value to the parameter.
enum class VaryMode { set = 0, add = 1, multiply = 2 };

// Changes parameter slot `parameter` of element `element`, rebuilds the element's map and,
// when the parameter enters the path lengths (L of any element, DZ of a GKICK), the lengths of
// the machine. Returns the new value.
double vary(int element, int parameter, double value, VaryMode mode);

void tune(int code, int &end_flag);   // TUNE
void modpre(int code, int &end_flag); // MODI

} // namespace vorax
