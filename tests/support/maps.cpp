// Map set-up, application, second-order composition and comparison for the tests.
#include "support/maps.h"

#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vorax::test {

void start() {
  start_in_memory();
  inputt.iadr(1) = 1;
}

void one_element(int kode, const std::vector<double> &slots, int units) {
  start_in_memory();
  add_element(kode, slots, "MAG1");
  inputt.eunits = units;
  blank.matrix_number(1) = 1;
  prodct.ncol = 27;
}

const TransferMap &record() {
  return blank.maps(1);
}

Vec act(const TransferMap &m, const Vec &v) {
  Vec out{};
  for (int i = 1; i <= 6; ++i) {
    double s = 0;
    for (int j = 1; j <= 6; ++j)
      s += m.R(i, j) * v[j];
    for (int j = 1; j <= 6; ++j)
      for (int k = j; k <= 6; ++k)
        s += m.T(i, j, k) * v[j] * v[k];
    out[i] = s;
  }
  return out;
}

M6 jacobian(const TransferMap &m, const Vec &v) {
  M6 d{};
  for (int i = 1; i <= 6; ++i)
    for (int n = 1; n <= 6; ++n) {
      double s = m.R(i, n);
      for (int j = 1; j <= 6; ++j)
        for (int k = j; k <= 6; ++k) {
          if (j == n)
            s += m.T(i, j, k) * v[k];
          if (k == n)
            s += m.T(i, j, k) * v[j];
        }
      d[i][n] = s;
    }
  return d;
}

M6 first_order(const TransferMap &m) {
  M6 r{};
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      r[i][j] = m.R(i, j);
  return r;
}

TransferMap compose(const TransferMap &first, const TransferMap &second) {
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

double largest_difference(const TransferMap &a, const TransferMap &b) {
  double d = 0;
  for (int c = 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      d = std::fmax(d, std::fabs(a(i, c) - b(i, c)));
  return d;
}

void expect_maps_near(const TransferMap &got, const TransferMap &want, double tol_r, double tol_t,
                      const std::string &what) {
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

} // namespace vorax::test
