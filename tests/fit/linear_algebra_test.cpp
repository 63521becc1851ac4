// dminv and dsimq against hand-checked systems, pivoting cases and singular matrices.
#include "common/linear_algebra.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

using namespace vorax;

namespace {

// Column-major 3 x 3 helper.
std::array<double, 9> cm(std::array<std::array<double, 3>, 3> rows) {
  std::array<double, 9> a{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      a[static_cast<std::size_t>(i + 3 * j)] = rows[i][j];
  return a;
}

} // namespace

TEST(Dminv, InverseTimesMatrixIsUnitAndDeterminantIsExact) {
  const auto a0 = cm({{{0.0, 2.0, 1.0}, {1.0, 1.0, 0.0}, {3.0, 0.0, 1.0}}});
  auto a = a0;
  double det = 0;
  int l[3], m[3];
  dminv(a.data(), 3, det, l, m);
  // det = 0*(1-0) - 2*(1-0) + 1*(0-3) = -5, the zero leading entry forces pivoting.
  EXPECT_NEAR(det, -5.0, 1e-14);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double s = 0;
      for (int k = 0; k < 3; ++k)
        s += a0[static_cast<std::size_t>(i + 3 * k)] * a[static_cast<std::size_t>(k + 3 * j)];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-14);
    }
}

TEST(Dminv, SingularMatrixGivesZeroDeterminant) {
  auto a = cm({{{1.0, 2.0, 3.0}, {2.0, 4.0, 6.0}, {1.0, 0.0, 1.0}}});
  double det = 1;
  int l[3], m[3];
  dminv(a.data(), 3, det, l, m);
  EXPECT_EQ(det, 0.0);
}

TEST(Dminv, OneByOne) {
  double a = 4.0, det = 0;
  int l, m;
  dminv(&a, 1, det, &l, &m);
  EXPECT_EQ(a, 0.25);
  EXPECT_EQ(det, 4.0);
}

TEST(Dsimq, SolvesWithRowInterchange) {
  auto a = cm({{{0.0, 1.0, 1.0}, {2.0, 0.0, 1.0}, {1.0, 1.0, 0.0}}});
  std::array<double, 3> b{5.0, 5.0, 3.0}; // x = (1, 2, 3)
  int ks = -1;
  dsimq(a.data(), b.data(), 3, ks);
  EXPECT_EQ(ks, 0);
  EXPECT_NEAR(b[0], 1.0, 1e-14);
  EXPECT_NEAR(b[1], 2.0, 1e-14);
  EXPECT_NEAR(b[2], 3.0, 1e-14);
}

TEST(Dsimq, SingularSystemIsFlagged) {
  auto a = cm({{{1.0, 1.0, 0.0}, {1.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}});
  std::array<double, 3> b{1.0, 2.0, 3.0};
  int ks = 0;
  dsimq(a.data(), b.data(), 3, ks);
  EXPECT_EQ(ks, 1);
}
