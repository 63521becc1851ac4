// Engine tables built directly for the benchmarks, without going through a deck.
#pragma once

#include "common/engine_tables.h"

#include <initializer_list>

namespace vorax::bench {

// Appends a distinct element of the given kind with its data slots in order.
inline int add_element(int kind, std::initializer_list<double> slots) {
  const int k = ++inputt.nelm;
  inputt.kode(k) = kind;
  int at = inputt.iadr(k);
  for (double v : slots)
    inputt.eldata(at++) = v;
  inputt.iadr(k + 1) = at;
  return k;
}

} // namespace vorax::bench
