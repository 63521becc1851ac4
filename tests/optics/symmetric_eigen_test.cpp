// The symmetric eigen-solver of beam generation: for matrices with distinct, repeated, zero and
// widely spread eigenvalues, the eigenvectors are orthonormal, reproduce the matrix and come in
// ascending order of eigenvalue; a matrix that cannot converge is reported, not looped on.
#include "optics/symmetric_eigen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace vorax {
namespace {

EigenMatrix from_rows(const std::vector<std::vector<double>> &rows) {
  EigenMatrix a;
  a.fill(0.0);
  const int n = static_cast<int>(rows.size());
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      a(i, j) = rows[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)];
  return a;
}

void expect_decomposition(int n, const EigenMatrix &a) {
  EigenVector d, e;
  EigenMatrix z;
  bandr(n, a, d, e, z);
  ASSERT_EQ(tql2(n, d, e, z), 0);
  double scale = 0.0;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      scale = std::max(scale, std::fabs(a(i, j)));
  for (int i = 1; i <= n; ++i) {
    if (i > 1) {
      EXPECT_LE(d(i - 1), d(i));
    }
    for (int j = 1; j <= n; ++j) {
      double zz = 0.0, zdz = 0.0;
      for (int k = 1; k <= n; ++k) {
        zz += z(k, i) * z(k, j);
        zdz += z(i, k) * d(k) * z(j, k);
      }
      EXPECT_NEAR(zz, i == j ? 1.0 : 0.0, 1e-14) << i << j;
      EXPECT_NEAR(zdz, a(i, j), 1e-14 * std::max(scale, 1e-300)) << i << j;
    }
  }
}

TEST(SymmetricEigen, DecomposesAssortedSymmetricMatrices) {
  // A beam-like matrix: sizes from 1e-3 to 1e-4 with correlations.
  const double s[6] = {1e-3, 2e-4, 7e-4, 5e-4, 1e-3, 1e-4};
  const double r[6][6] = {{1, -0.3, 0.1, 0, 0, 0.4}, {-0.3, 1, 0, 0.05, 0, 0.2},
                          {0.1, 0, 1, 0.5, 0, 0},    {0, 0.05, 0.5, 1, 0, 0},
                          {0, 0, 0, 0, 1, 0},        {0.4, 0.2, 0, 0, 0, 1}};
  EigenMatrix beam;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      beam(i, j) = r[i - 1][j - 1] * s[i - 1] * s[j - 1];
  expect_decomposition(6, beam);
  // Repeated eigenvalues, a zero one, negative ones, an already diagonal and a 1x1 matrix.
  expect_decomposition(6, from_rows({{2, 1, 0, 0, 0, 0},
                                     {1, 2, 0, 0, 0, 0},
                                     {0, 0, 3, 0, 0, 0},
                                     {0, 0, 0, 3, 0, 0},
                                     {0, 0, 0, 0, 0, 0},
                                     {0, 0, 0, 0, 0, -1}}));
  expect_decomposition(
      4, from_rows({{4, -2, 1, 0.5}, {-2, -3, 0.25, 1}, {1, 0.25, 0, 2}, {0.5, 1, 2, 1e-6}}));
  expect_decomposition(3, from_rows({{5, 0, 0}, {0, 1, 0}, {0, 0, 3}}));
  expect_decomposition(1, from_rows({{7}}));
  // Widely spread scales, as an elongated beam has.
  expect_decomposition(3, from_rows({{1e-6, 1e-9, 0}, {1e-9, 1e-12, 1e-14}, {0, 1e-14, 1e-16}}));
}

TEST(SymmetricEigen, EigenvaluesOfAKnownMatrix) {
  // The second-difference matrix: 2 - 2 cos(k pi / (n + 1)).
  EigenMatrix a;
  a.fill(0.0);
  for (int i = 1; i <= 6; ++i) {
    a(i, i) = 2.0;
    if (i > 1)
      a(i, i - 1) = a(i - 1, i) = -1.0;
  }
  EigenVector d, e;
  EigenMatrix z;
  bandr(6, a, d, e, z);
  ASSERT_EQ(tql2(6, d, e, z), 0);
  for (int k = 1; k <= 6; ++k)
    EXPECT_NEAR(d(k), 2.0 - 2.0 * std::cos(k * 3.141592653589793 / 7.0), 1e-14);
}

TEST(SymmetricEigen, AMatrixThatCannotConvergeIsReported) {
  EigenMatrix a = from_rows({{1, 2}, {2, std::numeric_limits<double>::quiet_NaN()}});
  EigenVector d, e;
  EigenMatrix z;
  bandr(2, a, d, e, z);
  EXPECT_NE(tql2(2, d, e, z), 0);
}

} // namespace
} // namespace vorax
