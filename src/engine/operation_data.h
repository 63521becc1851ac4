// The free-format reader of operation data.
#pragma once

#include <string>

namespace vorax {

// Reads an optional name and numbers from the operation data. Value k is stored at
// values[k - 1]; most callers pass cintak.values.data(). See the reader for the meaning of
// name_width (in: width to read, out: positions filled), capacity, end_flag (1 after ";",
// 2 after ","), count (in: wanted, n > 0 exactly n, 0 none, < 0 any; out: number read) and
// echo_mode (0, 1, 2, negative).
void input(std::string &name, int &name_width, double *values, int capacity, int &end_flag,
           int &count, int echo_mode);

void outcon(int &end_flag); // OUTP

} // namespace vorax
