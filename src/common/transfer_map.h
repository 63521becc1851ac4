// A first- and second-order transfer map: R(i,j) and T(i,j,k), j <= k, packed as 6 x 27.
// Column c of row i holds R(i,c) for c <= 6 and T(i,j,k) at c = (13 - j) j / 2 + k.
#pragma once

#include "common/table.h"

namespace vorax {

// Packed column of the second-order coefficient (j, k), j <= k: 7 for (1,1) .. 27 for (6,6).
constexpr int tcol(int j, int k) {
  return (13 - j) * j / 2 + k;
}

struct TransferMap {
  Matrix<double, 6, 27> m; // column-major: m(i, c)

  double &R(int i, int j) { return m(i, j); }
  double R(int i, int j) const { return m(i, j); }
  double &T(int i, int j, int k) {
    VORAX_INDEX_CHECK(k, j, 6);
    return m(i, tcol(j, k));
  }
  double T(int i, int j, int k) const {
    VORAX_INDEX_CHECK(k, j, 6);
    return m(i, tcol(j, k));
  }
  double &operator()(int i, int c) { return m(i, c); }
  double operator()(int i, int c) const { return m(i, c); }

  // R = unit matrix; the second-order columns are cleared only when ncol is 27.
  void set_identity(int ncol = 27) {
    for (int c = 1; c <= ncol; ++c)
      for (int i = 1; i <= 6; ++i)
        m(i, c) = (c == i) ? 1.0 : 0.0;
  }
  // Columns 1..ncol are contiguous: one fill, as a reset of all map records clears many maps.
  void clear(int ncol = 27) {
    VORAX_INDEX_CHECK(ncol, 0, 27);
    std::fill(m.data(), m.data() + static_cast<std::size_t>(6 * ncol), 0.0);
  }
};

} // namespace vorax
