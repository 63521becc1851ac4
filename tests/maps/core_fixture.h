// Shared set-up for the element-map tests: engine tables filled directly, maps applied to
// vectors, and symplecticity measured independently of the code under test.
#pragma once

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/transfer_map.h"
#include "harness.h"

#include <array>
#include <cmath>
#include <initializer_list>
#include <string>

namespace vorax::maptest {

using Vec = std::array<double, 7>; // 1-based phase-space vector, entry 0 unused
using M6 = std::array<std::array<double, 7>, 7>;

// Fresh areas, units in memory, no elements.
inline void start() {
  test::start_in_memory();
  inputt.iadr(1) = 1;
}

// Appends a distinct element with the given slots; returns its number.
inline int add_element(int kind, std::initializer_list<double> slots,
                       const std::string &name = "E") {
  const int k = ++inputt.nelm;
  inputt.kode(k) = kind;
  int at = inputt.iadr(k);
  for (double v : slots)
    inputt.eldata(at++) = v;
  inputt.iadr(k + 1) = at;
  chinp.elname(k) = name;
  return k;
}

// Gives the element the next matrix number.
inline int give_matrix(int element) {
  const int m = ++sym.matrix_count;
  blank.matrix_number(element) = m;
  return m;
}

// Places elements at positions 1, 2, ...
inline void place(std::initializer_list<int> elements) {
  int p = 0;
  for (int e : elements)
    blank.mseq(++p) = e;
  mat.npos = p;
}

// v'(i) = sum R(i,j) v(j) + sum_{j<=k} T(i,j,k) v(j) v(k).
inline Vec act(const TransferMap &m, const Vec &v) {
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

inline double largest_difference(const TransferMap &a, const TransferMap &b) {
  double d = 0;
  for (int c = 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      d = std::fmax(d, std::fabs(a(i, c) - b(i, c)));
  return d;
}

// Jacobian of the second-order map at v.
inline M6 jacobian(const TransferMap &m, const Vec &v) {
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

inline M6 multiply(const M6 &a, const M6 &b) {
  M6 r{};
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      for (int k = 1; k <= 6; ++k)
        r[i][j] += a[i][k] * b[k][j];
  return r;
}

// J of the (x, x'), (y, y') and (l, delta) pairs, the last sign reversed in geometric variables.
inline M6 skew(bool canonical) {
  M6 j{};
  for (int i = 1; i <= 5; i += 2) {
    const double s = (i == 5 && !canonical) ? -1.0 : 1.0;
    j[i][i + 1] = s;
    j[i + 1][i] = -s;
  }
  return j;
}

// Largest |D^T J D - J|.
inline double symplectic_defect(const M6 &d, bool canonical) {
  const M6 j = skew(canonical);
  M6 dt{};
  for (int i = 1; i <= 6; ++i)
    for (int k = 1; k <= 6; ++k)
      dt[i][k] = d[k][i];
  const M6 r = multiply(dt, multiply(j, d));
  double e = 0;
  for (int i = 1; i <= 6; ++i)
    for (int k = 1; k <= 6; ++k)
      e = std::fmax(e, std::fabs(r[i][k] - j[i][k]));
  return e;
}

inline M6 first_order(const TransferMap &m) {
  M6 r{};
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      r[i][j] = m.R(i, j);
  return r;
}

// Exact conversion between geometric and canonical variables (reference velocity 1) and their
// Jacobians, written out here so that the tests do not rely on the conversion under test.
inline Vec to_canonical(const Vec &g) {
  const double root = std::sqrt(1 + g[2] * g[2] + g[4] * g[4]);
  return {0, g[1], g[2] * (1 + g[6]) / root, g[3], g[4] * (1 + g[6]) / root, -g[5], g[6]};
}
inline Vec to_geometric(const Vec &c) {
  const double root = std::sqrt((1 + c[6]) * (1 + c[6]) - c[2] * c[2] - c[4] * c[4]);
  return {0, c[1], c[2] / root, c[3], c[4] / root, -c[5], c[6]};
}
inline M6 numeric_jacobian(Vec (*f)(const Vec &), const Vec &v) {
  M6 d{};
  for (int n = 1; n <= 6; ++n) {
    const double h = 1e-6;
    Vec a = v, b = v;
    a[n] += h;
    b[n] -= h;
    const Vec fa = f(a), fb = f(b);
    for (int i = 1; i <= 6; ++i)
      d[i][n] = (fa[i] - fb[i]) / (2 * h);
  }
  return d;
}

// Symplectic defect in canonical variables of a geometric second-order map at the canonical
// point z: the Jacobian of phi o G o phi^-1 by the chain rule. For a map that is symplectic to
// second order the defect falls as |z|^2.
inline double canonical_defect(const TransferMap &geometric, const Vec &z) {
  const Vec g = to_geometric(z);
  const Vec out = act(geometric, g);
  const M6 d = multiply(numeric_jacobian(to_canonical, out),
                        multiply(jacobian(geometric, g), numeric_jacobian(to_geometric, z)));
  return symplectic_defect(d, true);
}

// True when the geometric map is symplectic to second order in canonical variables: the defect
// along several directions is tiny or falls at least as the square of the amplitude.
inline bool symplectic_to_second_order(const TransferMap &geometric) {
  const Vec dirs[3] = {{0, 1, 0.7, -0.5, 0.3, 0.2, 0.8},
                       {0, -0.4, 0.9, 0.6, -0.8, -0.3, -0.6},
                       {0, 0.2, -0.3, 0.9, 0.5, 1.0, 0.4}};
  for (const Vec &dir : dirs) {
    Vec a{}, b{};
    for (int i = 1; i <= 6; ++i) {
      a[i] = 2e-3 * dir[i];
      b[i] = 1e-3 * dir[i];
    }
    const double da = canonical_defect(geometric, a), db = canonical_defect(geometric, b);
    if (da > 1e-8 && da < 3.3 * db)
      return false;
  }
  return true;
}

} // namespace vorax::maptest
