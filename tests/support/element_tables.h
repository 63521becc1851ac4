// Engine tables filled directly, without a deck: elements with their data slots, matrix numbers
// and the machine sequence, for the tests and the benchmarks.
#pragma once

#include "common/engine_tables.h"
#include "common/shared_areas.h"

#include <string>
#include <vector>

namespace vorax::test {

// Appends a distinct element of the given kind with its data slots in order; its length is the
// first slot, as the conversion records it for the lengthy kinds. Returns its number.
inline int add_element(int kind, const std::vector<double> &slots, const std::string &name = "E") {
  const int k = ++inputt.nelm;
  if (k == 1)
    inputt.iadr(1) = 1;
  inputt.kode(k) = kind;
  chinp.elname(k) = name;
  int at = inputt.iadr(k);
  for (double v : slots)
    inputt.eldata(at++) = v;
  inputt.iadr(k + 1) = at;
  lngth.ellen(k) = slots.empty() ? 0.0 : slots[0];
  return k;
}

// Gives the element the next matrix number and returns it.
inline int give_matrix(int element) {
  const int m = ++sym.matrix_count;
  blank.matrix_number(element) = m;
  return m;
}

// The machine sequence: the elements at positions 1, 2, ...
inline void set_machine(const std::vector<int> &elements) {
  int p = 0;
  for (int e : elements)
    blank.mseq(++p) = e;
  mat.npos = p;
  blank.first_positions_known = false;
}

} // namespace vorax::test
