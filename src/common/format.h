// Fortran edit descriptors for output records: I, F, E, D and A with exact widths,
// asterisks when a value does not fit. Every fixed-width number in a listing goes through here.
#pragma once

#include <string>
#include <string_view>

namespace vorax {

std::string fI(long long value, int w);                  // Iw
std::string fF(double value, int w, int d);              // Fw.d
std::string fE(double value, int w, int d);              // Ew.d: 0.ddddE+dd
std::string fD(double value, int w, int d);              // Dw.d: 0.ddddD+dd
std::string fA(std::string_view text, int w);            // Aw
std::string blanks(int n);                               // nX
std::string repeat(char ch, int n);

} // namespace vorax
