// Printout of a transfer map: code/value pairs for other programs (ZQVO mode), a MATRIX element
// definition that the lattice language reads back, or the listing with the second-order terms.
#include "common/control.h"
#include "common/format.h"
#include "common/units.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"

#include <string>
#include <vector>

namespace vorax {

namespace {

void say(std::string_view text) {
  write_record(control.output_unit, text);
}

int columns(int print_option) {
  return print_option == 1 ? 6 : 27;
}

// Element code of column c of row i: 100 i + 10 j for R(i,j), 100 i + 10 j + k for T(i,j,k).
int entry_code(int i, int c) {
  if (c <= 6)
    return 100 * i + 10 * c;
  for (int j = 1; j <= 6; ++j)
    for (int k = j; k <= 6; ++k)
      if (tcol(j, k) == c)
        return 100 * i + 10 * j + k;
  return 0;
}

// Six groups, one per row: a record per entry with its code (A3) and value (E24.16).
void code_value_pairs(const TransferMap &map, int print_option) {
  for (int i = 1; i <= 6; ++i)
    for (int c = 1; c <= columns(print_option); ++c)
      say(" " + fA(std::to_string(entry_code(i, c)), 3) + fE(map(i, c), 24, 16));
}

// "          :MATRIX,L=length,   &" and the non-zero entries as Rij= / Tijk= pairs, two to a
// line, every line but the last continued; the lattice language gives zero to every entry not
// named, so nothing is lost by leaving the zeros out.
void matrix_element(const TransferMap &map, int print_option, double length) {
  std::vector<std::string> pairs;
  for (int i = 1; i <= 6; ++i)
    for (int c = 1; c <= columns(print_option); ++c) {
      if (map(i, c) == 0.0)
        continue;
      const std::string code = std::to_string(entry_code(i, c));
      const std::string name = (c <= 6 ? "R" + code.substr(0, 2) : "T" + code);
      pairs.push_back(name + "=" + fE(map(i, c), 24, 16));
    }
  const std::string head = "          :MATRIX,L=" + fE(length, 24, 16);
  if (pairs.empty()) {
    say(head);
    return;
  }
  say(head + ",   &");
  for (std::size_t n = 0; n < pairs.size(); n += 2) {
    std::string line = " " + pairs[n];
    if (n + 1 < pairs.size())
      line += "," + pairs[n + 1];
    say(n + 2 < pairs.size() ? line + ",   &" : line);
  }
}

void banner(const TransferMap &map, int print_option) {
  const std::string stars = " " + repeat('*', 30);
  say(stars);
  say(" *   TRANSFORMATION  MATRIX   *");
  say(stars);
  say(" ");
  say("          FIRST ORDER MATRIX");
  for (int i = 1; i <= 6; ++i) {
    std::string line = " ";
    for (int j = 1; j <= 6; ++j)
      line += fE(map.R(i, j), 15, 7);
    say(line);
  }
  if (print_option == 1)
    return;
  say(" ");
  say("               SECOND ORDER TERMS");
  // Row i as a triangle: the record "ij" holds T(i,j,k), k = j..6, under column k.
  for (int i = 1; i <= 6; ++i) {
    say(" ");
    for (int j = 1; j <= 6; ++j) {
      std::string line = " " + fI(i, 1) + fI(j, 1) + blanks(15 * (j - 1));
      for (int k = j; k <= 6; ++k)
        line += fE(map.T(i, j, k), 15, 7);
      say(line);
    }
  }
}

} // namespace

void prmat(const TransferMap &map, int interval_flag, int print_option, double length) {
  if (zqvo.mode != 0)
    code_value_pairs(map, print_option);
  else if (interval_flag == 1)
    matrix_element(map, print_option, length);
  else if (control.print_level > 2)
    banner(map, print_option);
}

} // namespace vorax
