// Tracking against the maps of the same machine: a small particle follows the one-turn matrix,
// finite differences of tracked particles give it, one turn differs from the accumulated
// second-order map only at third order, the tune of a tracked particle is the tune of the
// periodic analysis, every tilted kind tracks as its map, and the symplectic modes keep a
// sextupole ring's invariant and agree with one another.
#include "tracking_support.h"

#include "common/slots.h"
#include "maps/element_maps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>

namespace vorax::test {
namespace {

TEST(TrackingAgainstMaps, SmallParticleInALinearRingFollowsTheOneTurnMatrix) {
  const std::string ring = "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\n"
                           "QD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
                           "D:  DRIFT, L = 2.5\n"
                           "RING: LINE = (8*(QF, D, QD, D))\nUSE, RING\nVORAX\n";
  const Vector6 start{1e-6, 2e-7, -1.5e-6, 3e-7, 0.0, 0.0};
  for (int turns : {1, 10}) {
    const DeckRun r = run_deck(ring + trac(-1, -2, {start}, turns) + "STOP\n");
    ASSERT_EQ(r.status, 0) << r.listing;
    const TransferMap m = machine_map();
    Vector6 want = start;
    for (int t = 0; t < turns; ++t)
      want = apply_map(m, want, false);
    const Vector6 got = particle(1);
    for (int k = 0; k < 4; ++k)
      EXPECT_NEAR(got[k], want[k], 1e-12 * 2e-6 * turns) << "turns " << turns << " row " << k + 1;
  }
}

TEST(TrackingAgainstMaps, FiniteDifferencesOfOneTurnGiveTheOneTurnMatrix) {
  const double d = 1e-6;
  std::vector<Vector6> set{Vector6{}};
  for (int k = 0; k < 6; ++k)
    for (double sign : {1.0, -1.0}) {
      Vector6 z{};
      z[k] = sign * d;
      set.push_back(z);
    }
  const DeckRun r = run_deck(FODO_RING + trac(-1, -2, set, 1) + "STOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  const TransferMap m = machine_map();
  for (int k = 1; k <= 6; ++k) {
    const Vector6 plus = particle(2 * k), minus = particle(2 * k + 1);
    for (int i = 1; i <= 6; ++i)
      EXPECT_NEAR((plus[i - 1] - minus[i - 1]) / (2 * d), m.R(i, k), 1e-8)
          << "R(" << i << "," << k << ")";
  }
}

TEST(TrackingAgainstMaps, OneTurnDiffersFromTheSecondOrderMapAtThirdOrder) {
  const Vector6 direction{1.0, 0.1, 0.6, -0.05, 0.0, 0.5};
  double difference[2];
  for (int h = 0; h < 2; ++h) {
    const double a = h == 0 ? 2e-3 : 1e-3;
    Vector6 z;
    for (int k = 0; k < 6; ++k)
      z[k] = a * direction[k];
    const DeckRun r = run_deck(SEXTUPOLE_RING + trac(-1, -2, {z}, 1) + "STOP\n");
    ASSERT_EQ(r.status, 0) << r.listing;
    const Vector6 want = apply_map(machine_map(), z);
    const Vector6 got = particle(1);
    double worst = 0.0;
    for (int k = 0; k < 6; ++k)
      worst = std::max(worst, std::fabs(got[k] - want[k]));
    difference[h] = worst;
  }
  ASSERT_GT(difference[1], 0.0);
  EXPECT_NEAR(difference[0] / difference[1], 8.0, 1.0);
}

// The frequency of a real signal: the peak of its Hann-windowed spectrum, refined by golden
// section on the continuous transform.
double tune_of(const std::vector<double> &x) {
  const int n = static_cast<int>(x.size());
  auto amplitude = [&](double f) {
    std::complex<double> s = 0.0;
    for (int t = 0; t < n; ++t) {
      const double w = 1.0 - std::cos(2.0 * M_PI * t / n);
      s += w * x[t] * std::polar(1.0, -2.0 * M_PI * f * t);
    }
    return std::abs(s);
  };
  double best = 0.0, peak = 0.0;
  for (int k = 1; k < 4 * n / 2; ++k) {
    const double f = k / (4.0 * n);
    const double a = amplitude(f);
    if (a > peak) {
      peak = a;
      best = f;
    }
  }
  double lo = best - 1.0 / (4 * n), hi = best + 1.0 / (4 * n);
  const double g = (std::sqrt(5.0) - 1.0) / 2.0;
  for (int it = 0; it < 80; ++it) {
    const double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
    if (amplitude(a) > amplitude(b))
      hi = b;
    else
      lo = a;
  }
  return (lo + hi) / 2;
}

TEST(TrackingAgainstMaps, TuneOfATrackedParticleIsThePeriodicTune) {
  const DeckRun r =
      run_deck(FODO_RING + trac(-1, 1, {Vector6{1e-5, 0, 2e-5, 0, 0, 0}}, 1024, "0", ",") +
               "MATR\n 2 -1;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  const std::vector<Vector6> turns = printed(r.listing, "AFTER ELEMENT", 1);
  ASSERT_EQ(turns.size(), 1024u);
  for (int plane = 1; plane <= 2; ++plane) {
    std::vector<double> x;
    for (const Vector6 &z : turns)
      x.push_back(z[2 * plane - 2]);
    const double f = tune_of(x), nu = analc.nu(plane);
    EXPECT_NEAR(std::min(std::fabs(f - nu), std::fabs(f - (1.0 - nu))), 0.0, 1e-6)
        << "plane " << plane << " nu " << nu;
  }
}

// One element, one small particle: tracking gives what the element's map gives, for every kind
// whose tracking is not the map itself (thin and thick multipoles, general kicks, rolls), tilted
// and turned as the maps turn them.
TEST(TrackingAgainstMaps, TiltedKindsTrackAsTheirMaps) {
  const char *elements[] = {
      "E: MULTIPOLE, K1 = 0.7, T1 = 0.3, TILT = 0.2",
      "E: MULTIPOLE, K1 = 0.7, K2 = 4, T1 = 0.3, T2 = -0.4, TILT = 0.2",
      "E: MULTIPOLE, L = 0.4, K1 = 0.7, K2 = 4, T1 = 0.3, T2 = -0.4, TILT = 0.2",
      "E: MULTIPOLE, L = 0.4, K1 = 0.7, TILT",
      "E: OCTUPOLE, L = 0.3, K3 = 50, TILT = 0.1",
      "E: GKICK, L = 0.6, ANGLE = 0.35, DZ = 0.1",
      "E: ROLL, ANGLE = -0.45",
      "E: QUADRUPOLE, L = 0.4, K1 = 1.1, TILT = 0.6",
      "E: SBEND, L = 1.0, ANGLE = 0.1, E1 = 0.02, K1 = 0.2, TILT = 0.8",
  };
  const Vector6 z{3e-6, -2e-6, 1e-6, 4e-6, 0.0, 2e-5};
  for (const char *element : elements) {
    const DeckRun r = run_deck(std::string(element) + "\nL1: LINE = (E)\nUSE, L1\nVORAX\n" +
                               trac(-1, -2, {z}, 1) + "STOP\n");
    ASSERT_EQ(r.status, 0) << element << r.listing;
    const Vector6 want = apply_map(element_map(blank.mseq(1), map_context()), z);
    const Vector6 got = particle(1);
    for (int k = 0; k < 6; ++k)
      EXPECT_NEAR(got[k], want[k], 1e-16 + 1e-9 * std::fabs(want[k]))
          << element << " row " << k + 1;
  }
}

// The Courant-Snyder invariant of one particle in the sextupole ring over 10000 turns of
// symplectic tracking, with the Twiss functions of the periodic analysis.
TEST(TrackingAgainstMaps, SymplecticTrackingKeepsTheInvariantOfASextupoleRing) {
  const DeckRun r = run_deck(SEXTUPOLE_RING + "MATR\n 2 -1,\nSETS\n 4 1.0,\n" +
                             trac(-1, 100, {Vector6{2e-3, 0, 1e-3, 0, 0, 0}}, 10000) + "STOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  const double beta = analc.beta(1), alpha = analc.alpha(1), gamma = (1 + alpha * alpha) / beta;
  const std::vector<Vector6> turns = printed(r.listing, "AFTER ELEMENT", 1);
  ASSERT_EQ(turns.size(), 100u);
  const double j0 = gamma * 4e-6;
  double lo = j0, hi = j0;
  for (const Vector6 &z : turns) {
    const double j = gamma * z[0] * z[0] + 2 * alpha * z[0] * z[1] + beta * z[1] * z[1];
    lo = std::min(lo, j);
    hi = std::max(hi, j);
  }
  EXPECT_LT(hi, 1.3 * j0);
  EXPECT_GT(lo, 0.7 * j0);
  EXPECT_EQ(trace.nlive, 1);
}

// The generating function gives one map: fixed-point and Newton iterations, in geometric or
// canonical variables, end on the same coordinates; the symplectified polynomial (mode 0) is
// the same map to second order.
TEST(TrackingAgainstMaps, SymplecticModesAgree) {
  const Vector6 z{1e-3, 2e-4, -5e-4, 1e-4, 0.0, 1e-3};
  std::vector<Vector6> results;
  for (int mode = 0; mode <= 4; ++mode) {
    const DeckRun r = run_deck(SEXTUPOLE_RING + "SETS\n " + std::to_string(mode) + " 1.0,\n" +
                               trac(-1, -2, {z}, 3) + "STOP\n");
    ASSERT_EQ(r.status, 0) << r.listing;
    EXPECT_EQ(trace.canonical, mode % 2 == 0 ? 1 : 0) << "mode " << mode;
    Vector6 got = particle(1);
    if (trace.canonical == 1) {
      double g[6];
      ncvar(got.data(), g, 1.0);
      std::copy_n(g, 6, got.begin());
    }
    results.push_back(got);
  }
  for (int mode = 1; mode <= 4; ++mode)
    for (int k = 0; k < 6; ++k) {
      EXPECT_NEAR(results[mode][k], results[3][k], 1e-12) << "mode " << mode << " row " << k + 1;
      EXPECT_NEAR(results[0][k], results[3][k], 1e-7) << "mode 0 row " << k + 1;
    }
}

// Radiation keeps the slopes and a block shifts them: in canonical variables both act on the
// geometric ones, so the canonical symplectic mode still ends where the geometric one does.
TEST(TrackingAgainstMaps, EffectsActOnTheGeometricVariablesInEveryMode) {
  const Vector6 z{1e-3, 2e-4, -5e-4, 1e-4, 0.0, 1e-3};
  const std::string effects =
      "SYNC\n 3 1 3,\nBLOC\n 0 0\n SF\n SD\n 1E-4 2E-4 -1E-4 1E-4 0 0.01 0\n 99\n";
  std::vector<Vector6> results;
  for (int mode : {3, 4}) {
    const DeckRun r = run_deck(SEXTUPOLE_RING + effects + "SETS\n " + std::to_string(mode) +
                               " 1.0,\n" + trac(-1, -2, {z}, 3) + "STOP\n");
    ASSERT_EQ(r.status, 0) << r.listing;
    Vector6 got = particle(1);
    if (trace.canonical == 1) {
      double g[6];
      ncvar(got.data(), g, 1.0);
      std::copy_n(g, 6, got.begin());
    }
    results.push_back(got);
  }
  for (int k = 0; k < 6; ++k)
    EXPECT_NEAR(results[1][k], results[0][k], 1e-12) << "row " << k + 1;
}

} // namespace
} // namespace vorax::test

namespace vorax::test {
namespace {

// A linac cavity's map is never made symplectic: in every mode it is applied in geometric
// variables, so a linac tracks alike with and without the option.
TEST(TrackingAgainstMaps, LinacCavityTracksInGeometricVariablesInEveryMode) {
  const std::string linac = "C: LCAVITY, L = 1, E0 = 1, DELTAE = 0.2\nD: DRIFT, L = 0.5\n"
                            "L1: LINE = (D, C, D, C)\nUSE, L1\nVORAX\n";
  const Vector6 z{1e-3, 2e-4, -5e-4, 1e-4, 0.0, 1e-3};
  run_deck(linac + trac(-1, -2, {z}, 1) + "STOP\n");
  const Vector6 plain = particle(1);
  for (int mode : {3, 4}) {
    run_deck(linac + "SETS\n " + std::to_string(mode) + " 1.0,\n" + trac(-1, -2, {z}, 1) +
             "STOP\n");
    Vector6 got = particle(1);
    if (trace.canonical == 1) {
      double g[6];
      ncvar(got.data(), g, 1.0);
      std::copy_n(g, 6, got.begin());
    }
    for (int k = 0; k < 6; ++k)
      EXPECT_NEAR(got[k], plain[k], 1e-15) << "mode " << mode << " row " << k + 1;
  }
}

} // namespace
} // namespace vorax::test
