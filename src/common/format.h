// Fortran edit descriptors for output records: I, F, E, D and A with exact widths,
// asterisks when a value does not fit. Every fixed-width number in a listing goes through here.
#pragma once

#include <string>
#include <string_view>

namespace vorax {

std::string fI(long long value, int w); // Iw
// Iw, widened to the value's own digits where w cannot hold it: counts and limits that only a
// machine larger than the classic tables can reach.
std::string fI_fit(long long value, int w);
// The width of a field that prints positions: its classic width w, or the digits of the largest
// position the run's machine limits allow where those are more (a listing of a classic machine
// keeps its columns).
int position_width(int w);
std::string fF(double value, int w, int d);   // Fw.d
std::string fE(double value, int w, int d);   // Ew.d: 0.ddddE+dd
std::string fD(double value, int w, int d);   // Dw.d: 0.ddddD+dd
std::string fA(std::string_view text, int w); // Aw
std::string blanks(int n);                    // nX
std::string repeat(char ch, int n);

} // namespace vorax
