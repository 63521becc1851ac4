// The singular value decomposition: a matrix built from chosen singular values and rotations
// gives them back, tall or wide, with a repeated column (rank lost) among them, and the factors
// multiply back to the matrix with orthonormal columns.
#include "common/singular_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vorax {
namespace {

// An m x n matrix (column-major) of smooth columns, the last a copy of the first: rank n - 1
// for n <= m.
std::vector<double> sample(int m, int n) {
  std::vector<double> a(static_cast<std::size_t>(m * n));
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i)
      a[static_cast<std::size_t>(i + m * j)] =
          j == n - 1 ? a[static_cast<std::size_t>(i)] : std::cos(0.7 * i * (j + 1) + 0.3 * j);
  return a;
}

TEST(SingularValues, FactorsMultiplyBackTallAndWideAndLoseTheRepeatedDirection) {
  for (auto [m, n] : {std::pair{7, 4}, std::pair{4, 7}}) {
    std::vector<double> a = sample(m, n);
    if (m < n) // the repeated column of the tall case as a repeated row here
      for (int j = 0; j < n; ++j)
        a[static_cast<std::size_t>(m - 1 + m * j)] = a[static_cast<std::size_t>(m * j)];
    const SingularValues s = singular_values(a.data(), m, n);
    const int r = std::min(m, n);
    ASSERT_EQ(s.sigma.size(), static_cast<std::size_t>(r));
    for (int k = 1; k < r; ++k)
      EXPECT_GE(s.sigma[k - 1], s.sigma[k]);
    EXPECT_LT(s.sigma[r - 1], 1e-14 * s.sigma[0]) << m << "x" << n;
    EXPECT_GT(s.sigma[r - 2], 1e-3 * s.sigma[0]);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < n; ++j) {
        double v = 0.0;
        for (int k = 0; k < r; ++k)
          v += s.u_at(i, k) * s.sigma[static_cast<std::size_t>(k)] * s.v_at(j, k);
        EXPECT_NEAR(v, a[static_cast<std::size_t>(i + m * j)], 1e-13) << i << "," << j;
      }
    for (int k = 0; k < r - 1; ++k)
      for (int l = 0; l < r - 1; ++l) {
        double uu = 0.0, vv = 0.0;
        for (int i = 0; i < m; ++i)
          uu += s.u_at(i, k) * s.u_at(i, l);
        for (int j = 0; j < n; ++j)
          vv += s.v_at(j, k) * s.v_at(j, l);
        EXPECT_NEAR(uu, k == l ? 1.0 : 0.0, 1e-13);
        EXPECT_NEAR(vv, k == l ? 1.0 : 0.0, 1e-13);
      }
  }
}

// diag(3, 2, 1e-9) turned by two rotations on either side: the smallest value to full relative
// accuracy, which the cut of a least-squares problem compares.
TEST(SingularValues, SmallSingularValuesKeepTheirRelativeAccuracy) {
  const double c = std::cos(0.4), s = std::sin(0.4), c2 = std::cos(1.1), s2 = std::sin(1.1);
  const double left[3][3] = {{c, -s, 0}, {s, c, 0}, {0, 0, 1}};
  const double right[3][3] = {{1, 0, 0}, {0, c2, -s2}, {0, s2, c2}};
  const double sigma[3] = {3.0, 2.0, 1e-9};
  std::vector<double> a(9, 0.0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        a[static_cast<std::size_t>(i + 3 * j)] += left[i][k] * sigma[k] * right[j][k];
  const SingularValues r = singular_values(a.data(), 3, 3);
  for (int k = 0; k < 3; ++k)
    EXPECT_NEAR(r.sigma[static_cast<std::size_t>(k)], sigma[k], 1e-12 * sigma[k]);
}

} // namespace
} // namespace vorax
