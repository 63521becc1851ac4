// The magnet builders end to end from the element slots: integration, unit conventions,
// limits and degenerate parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/halt.h"
#include "common/shared_areas.h"
#include "harness.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "support/integration.h"
#include "support/maps.h"

namespace vorax::test {
namespace {

const Vec6 AMP{1e-3, 1e-3, 1e-3, 1e-3, 1e-3, 1e-3};

TransferMap built(int kode, std::initializer_list<double> slots, int units = 0) {
  one_element(kode, slots, units);
  matgen(1);
  return record();
}

TEST(MagnetBuilders, BendFromItsSlotsMatchesIntegrationInEveryConvention) {
  // L, ANGLE, K1, K2, E1, H1, HGAP, FINT, E2, H2, HGAPX, FINTX, TILT
  TransferMap std0 =
      built(KODE_BEND, {1.2, 0.6, 0.09, 0.3, 0.0, 0.5, 0.03, 0.5, 0.0, -0.7, 0.02, 0.6, 0.0});
  BendModel model{Field{0.5, 0.09, 0.15}, 1.2, Edge{0.0, 0.5, 0.015}, Edge{0.0, -0.7, 0.012}};
  expect_maps_near(std0, bend_map(model), 3e-7, 3e-5, "bend from slots");
  // Turned edges.
  TransferMap turned =
      built(KODE_BEND, {1.2, 0.6, 0.09, 0.3, 0.2, 0.5, 0.03, 0.5, -0.1, 0.0, 0.02, 0.6, 0.0});
  BendModel model2{Field{0.5, 0.09, 0.15}, 1.2, Edge{0.2, 0.5, 0.015}, Edge{-0.1, 0.0, 0.012}};
  expect_maps_near(turned, bend_map(model2), 3e-7, 3e-5, "turned edges");

  // LDF: gradient and sextupole strengths of the opposite sign give the same magnet.
  TransferMap ldf =
      built(KODE_BEND, {1.2, 0.6, -0.09, -0.3, 0.2, 0.5, 0.03, 0.5, -0.1, 0.0, 0.02, 0.6, 0.0}, 1);
  expect_maps_near(ldf, turned, 1e-14, 1e-13, "LDF bend");
  // MERIDOXAN: angles in degrees, slot 3 the field index n, slot 4 beta2.
  double deg = 1 / const_.raddeg, h = 0.5;
  TransferMap mer = built(KODE_BEND,
                          {1.2, 0.6 * deg, -0.09 / (h * h), 0.3 / (2 * h * h * h), 0.2 * deg, 0.5,
                           0.03, 0.5, -0.1 * deg, 0.0, 0.02, 0.6, 0.0},
                          2);
  expect_maps_near(mer, turned, 1e-12, 1e-11, "MERIDOXAN bend");
}

TEST(MagnetBuilders, BendWithoutAngleIsADriftOrItsStraightGradientBody) {
  for (int order : {2, 1}) {
    one_element(KODE_BEND, {1.7, 0.0, 0, 0, 0.1, 0, 0, 0, 0.1, 0, 0, 0, 0});
    control.map_order = order;
    blank.maps(1).clear();
    matgen(1);
    EXPECT_EQ(record().R(1, 2), 1.7);
    EXPECT_EQ(record().R(3, 4), 1.7);
    EXPECT_EQ(record().R(2, 1), 0.0); // the edge angles have no curvature to act with
    EXPECT_EQ(record().T(5, 2, 2), 0.85) << "order " << order;
    EXPECT_EQ(record().T(5, 4, 4), 0.85) << "order " << order;
  }
  // A gradient without bending is the quadrupole-sextupole it is, not a drift.
  TransferMap grad = built(KODE_BEND, {0.9, 0.0, 1.1, 2.0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  Field f{0, 1.1, 1.0};
  expect_maps_near(grad,
                   differentiate([&](const Vec6 &z) { return track_straight(f, 0.9, z); }, AMP),
                   1e-9, 1e-6, "straight gradient bend");
}

TEST(MagnetBuilders, BendFieldIndexLimitsAndSigns) {
  double L = 1.4, angle = 0.35, h = angle / L;
  // n = 1 (K1 = -h^2): the horizontal plane is the polynomial limit.
  TransferMap m = built(KODE_BEND, {L, angle, -h * h, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_DOUBLE_EQ(m.R(1, 1), 1.0);
  EXPECT_DOUBLE_EQ(m.R(1, 2), L);
  EXPECT_NEAR(m.R(2, 1), 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(m.R(1, 6), h * L * L / 2);
  EXPECT_DOUBLE_EQ(m.R(2, 6), h * L);
  EXPECT_DOUBLE_EQ(m.R(5, 1), h * L);
  EXPECT_DOUBLE_EQ(m.R(5, 6), h * h * L * L * L / 6);
  // A field index within rounding of 1 stays on that limit (no cancellation in 1 - cos).
  TransferMap near =
      built(KODE_BEND, {L, angle, -h * h * (1 - 1e-15), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_NEAR(near.R(1, 6), h * L * L / 2, 1e-14);
  EXPECT_NEAR(near.R(5, 6), h * h * L * L * L / 6, 1e-15);
  // n = 0.5: equal focusing in both planes.
  TransferMap half = built(KODE_BEND, {L, angle, -0.5 * h * h, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_NEAR(half.R(1, 1), half.R(3, 3), 1e-15);
  EXPECT_NEAR(half.R(1, 2), half.R(3, 4), 1e-15);
  EXPECT_NEAR(half.R(2, 1), half.R(4, 3), 1e-15);
  // K1 > 0: n < 0 in the standard convention (vertically defocusing), n > 0 in LDF.
  TransferMap s0 = built(KODE_BEND, {L, angle, 0.8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0);
  EXPECT_GT(s0.R(3, 3), 1.0);
  EXPECT_LT(s0.R(1, 1), std::cos(angle));
  TransferMap s1 = built(KODE_BEND, {L, angle, 0.8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1);
  EXPECT_LT(s1.R(3, 3), 1.0);
  EXPECT_GT(s1.R(1, 1), std::cos(angle));
}

TEST(MagnetBuilders, BendEdgesAndTheirLimits) {
  one_element(KODE_BEND, {});
  for (auto [gap, fint] : {std::pair{0.0, 0.7}, std::pair{0.04, 0.0}}) {
    entex(EdgeBlock{0.5, 0.2, 12.0, 1.0, 0.0, gap, fint, 0.0}, 1);
    EXPECT_EQ(record().R(4, 3), -record().R(2, 1));
  }
  entex(EdgeBlock{0.5, 0.2, 12.0, 1.0, 0.0, 0.04, 0.7, 0.0}, 1);
  double beta = 12 * const_.raddeg;
  double psi = 2 * 0.7 * 0.04 * 0.5 * (1 + std::sin(beta) * std::sin(beta)) / std::cos(beta);
  EXPECT_DOUBLE_EQ(record().R(4, 3), -0.5 * std::tan(beta - psi));
  // A short bend with a fixed integrated gradient tends to a thin quadrupole plus a kick.
  double q = 0.3, angle = 2e-6, L = 1e-6;
  TransferMap thin = built(KODE_BEND, {L, angle, q / L, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_NEAR(thin.R(2, 1), -q, 1e-5);
  EXPECT_NEAR(thin.R(4, 3), q, 1e-5);
  EXPECT_NEAR(thin.R(2, 6), angle, 1e-12);
  EXPECT_NEAR(thin.R(5, 1), angle, 1e-12);
  EXPECT_NEAR(thin.T(2, 1, 6), q, 1e-5);
  EXPECT_NEAR(thin.R(1, 2), L, 1e-12);
}

TEST(MagnetBuilders, ZeroLengthBendWithAngleStopsTheRun) {
  one_element(KODE_BEND, {0.0, 0.1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_THROW(matgen(1), RunEnd);
  EXPECT_TRUE(contains(listing_text(), " BEND MAG1     HAS ZERO LENGTH AND ANGLE"));
}

TEST(MagnetBuilders, SolenoidTurnedForNegativeGradientAndPureClosedForm) {
  TransferMap neg = built(KODE_SOLENOID, {0.9, -1.4, 0.6, 1, 0});
  Field f{0, -1.4, 0, 0, 0.6};
  expect_maps_near(neg,
                   differentiate([&](const Vec6 &z) { return track_straight(f, 0.9, z); }, AMP),
                   1e-9, 1e-6, "solenoid with K1 < 0");
  // LDF reverses K1: the same solenoid with +1.4 there.
  expect_maps_near(built(KODE_SOLENOID, {0.9, 1.4, 0.6, 1, 0}, 1), neg, 1e-14, 1e-13, "LDF");

  // Pure solenoid: R in closed form; since a particle of momentum 1 + delta sees the
  // strength s/(1 + delta), the chromatic terms are T(i,j,6) = -s dR(i,j)/ds.
  double L = 1.3, s = 0.8;
  TransferMap m = built(KODE_SOLENOID, {L, 0.0, s, 1, 0});
  double c = std::cos(s * L), sn = std::sin(s * L);
  EXPECT_NEAR(m.R(1, 1), c * c, 1e-15);
  EXPECT_NEAR(m.R(1, 2), sn * c / s, 1e-15);
  EXPECT_NEAR(m.R(1, 3), sn * c, 1e-15);
  EXPECT_NEAR(m.R(1, 4), sn * sn / s, 1e-15);
  EXPECT_NEAR(m.R(2, 1), -s * sn * c, 1e-15);
  auto r_of = [&](double strength) {
    one_element(KODE_SOLENOID, {L, 0.0, strength, 1, 0});
    matgen(1);
    return record();
  };
  double e = 1e-6;
  TransferMap up = r_of(s * (1 + e)), down = r_of(s * (1 - e));
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      EXPECT_NEAR(m.T(i, j, 6), -(up.R(i, j) - down.R(i, j)) / (2 * e), 1e-8) << i << j;
}

TEST(MagnetBuilders, MultipoleTermsWithTheirOwnAnglesAndScale) {
  // L, SCALEFAC, m, (2, K1, T1), (3, K2, T2), (4, K3, T3), APERTURE, TILT
  TransferMap m =
      built(KODE_MULTIPOL, {0.8, 1.5, 3, 2, 1.2, 0.3, 3, 4.0, -0.2, 4, 100.0, 0.0, 1, 0});
  // A term at angle theta has the coefficient K exp(i n theta) (n = 2 quadrupole, 3 sextupole).
  std::complex<double> c2 = 1.5 * 1.2 * std::polar(1.0, 2 * 0.3);
  std::complex<double> c3 = 1.5 * 2.0 * std::polar(1.0, 3 * -0.2);
  Field f{0, c2.real(), c3.real(), c3.imag(), 0, c2.imag()};
  expect_maps_near(m, differentiate([&](const Vec6 &z) { return track_straight(f, 0.8, z); }, AMP),
                   1e-9, 1e-6, "multipole");
  // A later term of an order replaces an earlier one; octupole-only is a drift.
  TransferMap twice = built(
      KODE_MULTIPOL, {0.8, 1.5, 4, 2, 7.0, 0.0, 2, 1.2, 0.3, 3, 4.0, -0.2, 4, 100.0, 0.0, 1, 0});
  expect_maps_near(twice, m, 1e-15, 1e-15, "replaced term");
  TransferMap oct = built(KODE_MULTIPOL, {0.5, 1, 1, 4, 30.0, 0, 1, 0});
  EXPECT_EQ(oct.R(1, 2), 0.5);
  EXPECT_EQ(oct.T(2, 1, 1), 0.0);
  EXPECT_EQ(oct.T(5, 2, 2), 0.25);
  // MERIDOXAN: strengths as given (no factorial), angles in degrees.
  TransferMap mer =
      built(KODE_MULTIPOL,
            {0.8, 1.5, 2, 2, 1.2, 0.3 / const_.raddeg, 3, 2.0, -0.2 / const_.raddeg, 1, 0}, 2);
  TransferMap std0 = built(KODE_MULTIPOL, {0.8, 1.5, 2, 2, 1.2, 0.3, 3, 4.0, -0.2, 1, 0});
  expect_maps_near(mer, std0, 1e-13, 1e-12, "MERIDOXAN multipole");
  // A stored count beyond the element's slots reads only its own triples.
  TransferMap over = built(KODE_MULTIPOL, {0.8, 1.5, 1e300, 2, 1.2, 0.3, 3, 4.0, -0.2, 1, 0});
  expect_maps_near(over, std0, 0, 0, "count clipped");
}

TEST(MagnetBuilders, ThinMultipoleIsTheIntegratedKick) {
  TransferMap m = built(KODE_MULTIPOL, {0.0, 2.0, 2, 2, 0.25, 0.0, 3, 3.0, 0.0, 1, 0});
  EXPECT_DOUBLE_EQ(m.R(2, 1), -0.5);
  EXPECT_DOUBLE_EQ(m.R(4, 3), 0.5);
  EXPECT_DOUBLE_EQ(m.T(2, 1, 6), 0.5);  // the kick scales with 1/(1 + delta)
  EXPECT_DOUBLE_EQ(m.T(2, 1, 1), -3.0); // S K2/2
  EXPECT_DOUBLE_EQ(m.T(4, 1, 3), 6.0);
  EXPECT_EQ(m.R(1, 2), 0.0);
}

TEST(MagnetBuilders, SextupoleStrengthPerConvention) {
  for (auto [units, factor] : {std::pair{0, 0.5}, std::pair{1, -0.5}, std::pair{2, 1.0}}) {
    TransferMap m = built(KODE_SEXT, {0.4, 3.0, 1, 0}, units);
    EXPECT_DOUBLE_EQ(m.T(2, 1, 1), -factor * 3.0 * 0.4) << units;
    EXPECT_DOUBLE_EQ(m.T(4, 1, 3), 2 * factor * 3.0 * 0.4) << units;
    EXPECT_EQ(m.R(1, 2), 0.4);
  }
}

TEST(MagnetBuilders, AcceleratingQuadrupoleLimits) {
  // No gain: the plain quadrupole; no gradient: the damped drift of the closed form.
  TransferMap q = built(KODE_QUADAC, {0.7, 1.3, 0.0, 0.2, 500, 1.0, 1, 0});
  TransferMap quad = built(KODE_QUAD, {0.7, 1.3, 1, 0});
  expect_maps_near(q, quad, 0, 0, "gain 0");
  double L = 2.0, de = 0.5, phi = 0.3, e0 = 1.2;
  TransferMap d = built(KODE_QUADAC, {L, 0.0, de, phi, 800, e0, 1, 0});
  double r = de * std::cos(phi) / e0, e_out = e0 + de * std::cos(phi);
  EXPECT_NEAR(d.R(1, 2), L * std::log(1 + r) / r, 1e-14);
  EXPECT_NEAR(d.R(2, 2), e0 / e_out, 1e-15);
  EXPECT_NEAR(d.R(6, 6), e0 / e_out, 1e-15);
  double lambda = const_.clight / 800e6;
  EXPECT_NEAR(d.R(6, 5), const_.twopi * de * std::sin(phi) / (e_out * lambda), 1e-14);
  // A tiny gain: ln(1 + r)/r = 1 - r/2 + r^2/3.
  TransferMap tiny = built(KODE_QUADAC, {L, 0.0, 2e-9, 0.0, 800, 1.0, 1, 0});
  EXPECT_NEAR(tiny.R(1, 2), L * (1 - 1e-9), 1e-15);
  // With gradient the slopes are damped: det of each plane = E_in/E_out.
  TransferMap g = built(KODE_QUADAC, {1.5, 0.8, 0.3, 0.4, 500, 1.0, 1, 0});
  double ratio = 1.0 / (1.0 + 0.3 * std::cos(0.4));
  EXPECT_NEAR(g.R(1, 1) * g.R(2, 2) - g.R(1, 2) * g.R(2, 1), ratio, 1e-13);
  EXPECT_NEAR(g.R(3, 3) * g.R(4, 4) - g.R(3, 4) * g.R(4, 3), ratio, 1e-13);
  // The energy must stay positive through the section.
  one_element(KODE_QUADAC, {1.0, 0.5, -2.0, 0.0, 500, 1.0, 1, 0});
  EXPECT_THROW(matgen(1), RunEnd);
  EXPECT_TRUE(contains(listing_text(), "ENERGY AT ENTRANCE OR EXIT NOT POSITIVE"));
}

} // namespace
} // namespace vorax::test
