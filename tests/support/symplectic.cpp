// Symplectic defects of matrices and maps, with the exact change to canonical variables.
#include "support/symplectic.h"

#include <algorithm>
#include <cmath>

namespace vorax::test {

M6 skew(bool canonical) {
  M6 j{};
  for (int i = 1; i <= 5; i += 2) {
    const double s = (i == 5 && !canonical) ? -1.0 : 1.0;
    j[i][i + 1] = s;
    j[i + 1][i] = -s;
  }
  return j;
}

double symplectic_defect(const M6 &d, bool canonical) {
  const M6 j = skew(canonical);
  const M6 r = multiply(transpose(d), multiply(j, d));
  double e = 0;
  for (int i = 1; i <= 6; ++i)
    for (int k = 1; k <= 6; ++k)
      e = std::fmax(e, std::fabs(r[i][k] - j[i][k]));
  return e;
}

double symplectic_error(const TransferMap &m) {
  return symplectic_defect(first_order(m), false);
}

double second_order_defect(const TransferMap &m) {
  const M6 r = first_order(m), j = skew(true);
  double worst = 0;
  for (int n = 1; n <= 6; ++n) {
    M6 b{}; // the derivative of R along z_n
    for (int i = 1; i <= 6; ++i)
      for (int k = 1; k <= 6; ++k)
        b[i][k] = m.T(i, std::min(k, n), std::max(k, n)) * (k == n ? 2 : 1);
    const M6 x = multiply(transpose(b), multiply(j, r)), y = multiply(transpose(r), multiply(j, b));
    for (int i = 1; i <= 6; ++i)
      for (int k = 1; k <= 6; ++k)
        worst = std::fmax(worst, std::fabs(x[i][k] + y[i][k]));
  }
  return worst;
}

Vec to_canonical(const Vec &g) {
  const double root = std::sqrt(1 + g[2] * g[2] + g[4] * g[4]);
  return {0, g[1], g[2] * (1 + g[6]) / root, g[3], g[4] * (1 + g[6]) / root, -g[5], g[6]};
}

Vec to_geometric(const Vec &c) {
  const double root = std::sqrt((1 + c[6]) * (1 + c[6]) - c[2] * c[2] - c[4] * c[4]);
  return {0, c[1], c[2] / root, c[3], c[4] / root, -c[5], c[6]};
}

M6 numeric_jacobian(Vec (*f)(const Vec &), const Vec &v) {
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

double canonical_defect(const TransferMap &geometric, const Vec &z) {
  const Vec g = to_geometric(z);
  const Vec out = act(geometric, g);
  const M6 d = multiply(numeric_jacobian(to_canonical, out),
                        multiply(jacobian(geometric, g), numeric_jacobian(to_geometric, z)));
  return symplectic_defect(d, true);
}

bool symplectic_to_second_order(const TransferMap &geometric) {
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

} // namespace vorax::test
