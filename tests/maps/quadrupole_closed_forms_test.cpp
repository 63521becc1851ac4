// The quadrupole map: closed forms in both regimes, the exact drift at zero strength, its
// chromatic terms against finite differences in delta, its path-length terms against quadrature,
// and its symplecticity in every unit convention.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "harness.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "support/symplectic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

const TransferMap &quad(double length, double k1, int ncol = 27) {
  prodct.ncol = ncol;
  flen2m(length, k1, 1);
  return blank.maps(1);
}

// The first-order matrix of the body for an off-momentum particle, whose strength is
// K1 / (1 + delta).
TransferMap first_order_at(double length, double k1, double delta) {
  return quad(length, k1 / (1 + delta), 6);
}

} // namespace

TEST(Quadrupole, ClosedFormsInBothRegimes) {
  start();
  const double l = 0.7, kk = 2.3, k = std::sqrt(kk), phi = k * l;
  for (double sign : {1.0, -1.0}) {
    const TransferMap &m = quad(l, sign * kk);
    const int f = sign > 0 ? 1 : 3, d = sign > 0 ? 3 : 1;
    EXPECT_DOUBLE_EQ(m.R(f, f), std::cos(phi));
    EXPECT_DOUBLE_EQ(m.R(f + 1, f + 1), std::cos(phi));
    EXPECT_DOUBLE_EQ(m.R(f, f + 1), std::sin(phi) / k);
    EXPECT_DOUBLE_EQ(m.R(f + 1, f), -k * std::sin(phi));
    EXPECT_DOUBLE_EQ(m.R(d, d), std::cosh(phi));
    EXPECT_DOUBLE_EQ(m.R(d, d + 1), std::sinh(phi) / k);
    EXPECT_DOUBLE_EQ(m.R(d + 1, d), k * std::sinh(phi));
    EXPECT_EQ(m.R(1, 3), 0.0);
    EXPECT_EQ(m.R(5, 5), 1.0);
    EXPECT_EQ(m.R(6, 6), 1.0);
    EXPECT_EQ(m.R(1, 6), 0.0);
  }
}

TEST(Quadrupole, ZeroStrengthIsExactlyTheDriftAndATinyOneFocuses) {
  start();
  TransferMap drift;
  drift.set_identity();
  drift_entries(drift, 1.5, 27);
  const TransferMap &zero = quad(1.5, 0.0);
  for (int c = 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      EXPECT_EQ(zero(i, c), drift(i, c)) << i << "," << c;

  const TransferMap &tiny = quad(1.5, 1e-30);
  EXPECT_LT(tiny.R(2, 1), 0.0); // -k sin(kL), not the drift's exact zero
  EXPECT_GT(tiny.R(4, 3), 0.0);
  EXPECT_DOUBLE_EQ(tiny.R(1, 2), 1.5);
  EXPECT_DOUBLE_EQ(tiny.T(5, 2, 2), 0.75);
  EXPECT_GT(tiny.T(2, 1, 6), 0.0);
}

TEST(Quadrupole, ChromaticTermsAreTheDeltaDerivativeOfTheFirstOrderSolution) {
  start();
  const double h = 1e-5;
  for (double k1 : {1.7, -0.9, 8.0}) {
    for (double l : {0.3, 1.2}) {
      const TransferMap m = quad(l, k1);
      const TransferMap up = first_order_at(l, k1, h), down = first_order_at(l, k1, -h);
      for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 4; ++j) {
          const double derivative = (up.R(i, j) - down.R(i, j)) / (2 * h);
          const double t = m.T(i, j, 6);
          EXPECT_NEAR(t, derivative, 1e-7 * (1 + std::fabs(derivative)))
              << "K1 " << k1 << " L " << l << " T(" << i << "," << j << ",6)";
        }
      // No dispersion is produced: nothing of second order in delta or coupling to it in l.
      EXPECT_EQ(m.T(1, 6, 6), 0.0);
      EXPECT_EQ(m.T(5, 1, 6), 0.0);
    }
  }
}

TEST(Quadrupole, PathLengthTermsAreHalfTheIntegralOfTheSquaredSlopes) {
  start();
  for (double k1 : {2.5, -1.1}) {
    const double l = 0.9;
    const TransferMap m = quad(l, k1);
    // Simpson's rule over the first-order slopes x' = R21(s) x0 + R22(s) x0' (and y).
    const int n = 400;
    double a11 = 0, a12 = 0, a22 = 0, a33 = 0, a34 = 0, a44 = 0;
    for (int step = 0; step <= n; ++step) {
      const double s = l * step / n;
      const double w = (step == 0 || step == n) ? 1 : (step % 2 ? 4 : 2);
      const TransferMap r = quad(s, k1, 6);
      a11 += w * r.R(2, 1) * r.R(2, 1);
      a12 += w * r.R(2, 1) * r.R(2, 2);
      a22 += w * r.R(2, 2) * r.R(2, 2);
      a33 += w * r.R(4, 3) * r.R(4, 3);
      a34 += w * r.R(4, 3) * r.R(4, 4);
      a44 += w * r.R(4, 4) * r.R(4, 4);
    }
    const double f = l / n / 3;
    EXPECT_NEAR(m.T(5, 1, 1), f * a11 / 2, 1e-10);
    EXPECT_NEAR(m.T(5, 1, 2), f * a12, 1e-10);
    EXPECT_NEAR(m.T(5, 2, 2), f * a22 / 2, 1e-10);
    EXPECT_NEAR(m.T(5, 3, 3), f * a33 / 2, 1e-10);
    EXPECT_NEAR(m.T(5, 3, 4), f * a34, 1e-10);
    EXPECT_NEAR(m.T(5, 4, 4), f * a44 / 2, 1e-10);
  }
}

TEST(Quadrupole, ConventionOneReversesTheStrength) {
  start();
  const int q = add_element(KODE_QUAD, {0.5, 1.2, 1.0, 0.0}, "Q");
  give_matrix(q);
  inputt.eunits = 1;
  matgen(q);
  EXPECT_DOUBLE_EQ(blank.maps(1).R(3, 3), std::cos(std::sqrt(1.2) * 0.5));
  EXPECT_GT(blank.maps(1).R(1, 1), 1.0);
}

TEST(Quadrupole, FirstOrderBuildKeepsTheLastSecondOrderEntries) {
  start();
  quad(0.5, 2.0, 27);
  const double t116 = blank.maps(1).T(1, 1, 6);
  quad(0.5, -3.0, 6);
  EXPECT_EQ(blank.maps(1).T(1, 1, 6), t116);
  EXPECT_GT(blank.maps(1).R(1, 1), 1.0);
}

TEST(Quadrupole, TheSecondOrderCheckCatchesAWrongTerm) {
  start();
  for (int col : {tcol(1, 6), tcol(1, 2), tcol(3, 6)}) {
    TransferMap m = quad(0.8, 3.1);
    EXPECT_TRUE(symplectic_to_second_order(m));
    m(col <= tcol(1, 6) ? 1 : 5, col) += 0.02;
    EXPECT_FALSE(symplectic_to_second_order(m)) << col;
  }
}
