// Test support for the magnet maps: element set-up in the engine tables, second-order
// composition, map comparison and the symplectic conditions.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>

#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/transfer_map.h"
#include "harness.h"

namespace vorax::test {

// Element 1 of the given kind with the given slots (element 2 follows it, empty), map order
// 2, unit convention units; its record is matrix number 1.
inline void one_element(int kode, std::initializer_list<double> slots, int units = 0) {
  start_in_memory();
  inputt.nelm = 1;
  inputt.kode(1) = kode;
  inputt.iadr(1) = 1;
  int j = 0;
  for (double v : slots)
    inputt.eldata(1 + j++) = v;
  inputt.iadr(2) = 1 + j;
  inputt.eunits = units;
  chinp.elname(1) = "MAG1";
  blank.matrix_number(1) = 1;
  prodct.ncol = 27;
}

inline const TransferMap &record() {
  return blank.maps(1);
}

// second o first, to second order.
inline TransferMap compose(const TransferMap &first, const TransferMap &second) {
  TransferMap out;
  out.clear();
  for (int i = 1; i <= 6; ++i) {
    for (int j = 1; j <= 6; ++j) {
      double s = 0;
      for (int l = 1; l <= 6; ++l)
        s += second.R(i, l) * first.R(l, j);
      out.R(i, j) = s;
    }
    for (int a = 1; a <= 6; ++a)
      for (int b = a; b <= 6; ++b) {
        double s = 0;
        for (int l = 1; l <= 6; ++l)
          s += second.R(i, l) * first.T(l, a, b);
        for (int j = 1; j <= 6; ++j)
          for (int k = j; k <= 6; ++k) {
            double t = second.T(i, j, k);
            if (t == 0)
              continue;
            double c = first.R(j, a) * first.R(k, b);
            if (a != b)
              c += first.R(j, b) * first.R(k, a);
            s += t * c;
          }
        out.T(i, a, b) = s;
      }
  }
  return out;
}

// Entries agree within tol relative to the largest entry of the same row (R and T apart).
inline void expect_maps_near(const TransferMap &got, const TransferMap &want, double tol_r,
                             double tol_t, const std::string &what) {
  for (int i = 1; i <= 6; ++i) {
    double sr = 0, st = 0;
    for (int c = 1; c <= 6; ++c)
      sr = std::max(sr, std::abs(want(i, c)));
    for (int c = 7; c <= 27; ++c)
      st = std::max(st, std::abs(want(i, c)));
    for (int c = 1; c <= 27; ++c) {
      double scale = c <= 6 ? std::max(sr, 1e-3) : std::max(st, 1e-3);
      double tol = c <= 6 ? tol_r : tol_t;
      EXPECT_NEAR(got(i, c), want(i, c), tol * scale) << what << ": row " << i << " column " << c;
    }
  }
}

// R^T J R - J, largest entry; J has the (l, delta) block with the opposite sign because l is
// minus the coordinate conjugate to delta.
inline double symplectic_error(const TransferMap &m) {
  auto jm = [](int i, int j) {
    if (i % 2 == 1 && j == i + 1)
      return i == 5 ? -1.0 : 1.0;
    if (i % 2 == 0 && j == i - 1)
      return i == 6 ? 1.0 : -1.0;
    return 0.0;
  };
  double worst = 0;
  for (int a = 1; a <= 6; ++a)
    for (int b = 1; b <= 6; ++b) {
      double s = 0;
      for (int i = 1; i <= 6; ++i)
        for (int j = 1; j <= 6; ++j)
          s += m.R(i, a) * jm(i, j) * m.R(j, b);
      worst = std::max(worst, std::abs(s - jm(a, b)));
    }
  return worst;
}

} // namespace vorax::test
