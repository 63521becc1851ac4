// The single-particle kernels: the canonical conversions invert each other and guard their
// roots, the wake table keeps its defining rows and its shape, and the RF cavity of a ring sees
// the distance from the start on its first turn and the ring's length on every later one.
#include "tracking_support.h"

#include "track/tracking_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace vorax::test {
namespace {

TEST(ParticleKernels, CanonicalConversionsInvertEachOther) {
  std::mt19937_64 engine(17);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (double b0 : {1.0, 0.8}) {
    for (int n = 0; n < 200; ++n) {
      const double z[6] = {1e-2 * u(engine), 5e-2 * u(engine), 1e-2 * u(engine),
                           5e-2 * u(engine), 1e-2 * u(engine), 3e-2 * u(engine)};
      double c[6], back[6];
      cvar(z, c, b0);
      EXPECT_FALSE(ncvar(c, back, b0));
      for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(back[k], z[k], 1e-15) << "b0 " << b0 << " k " << k;
      // At the reference velocity 1 the energy variable is delta itself.
      if (b0 == 1.0) {
        EXPECT_NEAR(c[5], z[5], 4e-16);
      }
    }
  }
  // A transverse momentum above the total is taken by its magnitude and reported.
  const double wild[6] = {0, 1.2, 0, 0.3, 0, 0};
  double out[6];
  EXPECT_TRUE(ncvar(wild, out, 1.0));
  EXPECT_TRUE(std::isfinite(out[1]) && std::isfinite(out[3]));
}

TEST(ParticleKernels, WakeTableKeepsItsDefiningRowsAndShape) {
  EXPECT_EQ(wake_table(2), -1.1756869911406768e-21);
  EXPECT_EQ(wake_table(96), -1.1177730560302734);
  EXPECT_EQ(wake_table(97), -1.1257009506225586);
  EXPECT_EQ(wake_table(98), -1.1185499429702759);
  EXPECT_EQ(wake_table(201), 0.039408858865499496);
  int lowest = 1;
  for (int k = 2; k <= WAKE_ROWS; ++k) {
    if (wake_table(k) < wake_table(lowest))
      lowest = k;
    EXPECT_EQ(wake_table(k), static_cast<double>(static_cast<float>(wake_table(k))));
  }
  EXPECT_EQ(lowest, 97);
  for (int k = 2; k < 97; ++k)
    EXPECT_LE(wake_table(k + 1), wake_table(k)) << k;
  for (int k = 150; k <= WAKE_ROWS; ++k)
    EXPECT_GT(wake_table(k), 0.0) << k;
  // Outside the table and without a spread the particle passes unchanged.
  ArbitraryElement arbitrary;
  arbitrary.p(1) = 1.0;
  arbitrary.p(2) = 1.0;
  arbitrary.p(4) = 1.0;
  arbitrary.p(5) = 1.0;
  double z[6] = {0, 0, 0, 0, 0.2, 1e-3};
  trafct(arbitrary, 0.01, z);
  EXPECT_EQ(z[5], 1e-3);
  trafct(arbitrary, 0.0, z);
  EXPECT_EQ(z[5], 1e-3);
  z[4] = 0.004;
  trafct(arbitrary, 0.01, z);
  EXPECT_LT(z[5], 1e-3); // u = -0.4: the deepest part of the wake
}

// Tracked, the element's parameters and the spread of l over the live particles reach the wake
// kernel: each particle gains what the kernel gives it with that spread.
TEST(ParticleKernels, ATrackedArbitraryElementGivesTheWakeOfTheBunch) {
  const std::vector<Vector6> set{
      {0, 0, 0, 0, 0.004, 1e-3}, {0, 0, 0, 0, -0.002, 0}, {0, 0, 0, 0, 0.001, -1e-3}};
  run_deck("A: ARBITELM, P1 = 1, P2 = 2, P4 = 1.5, P5 = 1\nL1: LINE = (A)\nUSE, L1\nVORAX\n" +
           trac(-1, -2, set, 1) + "STOP\n");
  ArbitraryElement arbitrary;
  arbitrary.p(1) = 1.0;
  arbitrary.p(2) = 2.0;
  arbitrary.p(4) = 1.5;
  arbitrary.p(5) = 1.0;
  // l has mean 0.001 and deviations 0.003, -0.003 and 0.
  const double sigma = std::sqrt((0.003 * 0.003 + 0.003 * 0.003) / 3);
  for (int i = 1; i <= 3; ++i) {
    Vector6 z = set[static_cast<std::size_t>(i - 1)];
    trafct(arbitrary, sigma, z.data());
    EXPECT_NEAR(trace.pcoord(i, 6), z[5], 1e-15) << i;
    EXPECT_NE(trace.pcoord(i, 6), set[static_cast<std::size_t>(i - 1)][5]) << i;
  }
}

TEST(ParticleKernels, CavityOfARingSeesItsDistanceThenTheRingLength) {
  run_deck("D: DRIFT, L = 10\nC: RFCAVITY, L = 0.5, ENERGY = 2, VOLT = 1, FREQ = 100\n"
           "RING: LINE = (D, C, D)\nUSE, RING\nVORAX\n");
  const double total = blank.machine_length;
  ASSERT_NEAR(total, 20.5, 1e-12);
  const int p = 2, e = blank.mseq(p);
  auto distance = [&](const CavityStep &step) {
    return step.k2 / (step.k1 * cav.inverse_gamma * cav.inverse_gamma);
  };
  cav.previous_s = 0.0;
  EXPECT_NEAR(distance(cavpre(p, e, 1)), 10.5, 1e-9);
  EXPECT_NEAR(distance(cavpre(p, e, 2)), total, 1e-9);
  EXPECT_NEAR(distance(cavpre(p, e, 3)), total, 1e-9);
  // An integer FREQ is the harmonic number: no phase slip from cavity to cavity.
  EXPECT_EQ(cavpre(p, e, 4).c0, 0.0);
}

} // namespace
} // namespace vorax::test
