// One rotation rule for every element kind: an element with TILT = t is the untilted element
// seen through R(t) (x <- c x - s y, y <- s x + c y, the slopes alike) with R(-t) after it, in
// every unit convention, and a multipole term angle follows the same rule (rolls: the deck test
// rotated_elements_test).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "harness.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "support/maps.h"

namespace vorax::test {
namespace {

struct Element {
  std::string name;
  int kode;
  std::vector<double> slots; // the last slot is the tilt
};

// Every kind whose map is turned by its tilt, with parameters that make sense in all three
// conventions. The tilt slot is filled in by the test.
std::vector<Element> tiltable() {
  return {
      {"bend", KODE_BEND, {1.2, 0.6, 0.09, 0.3, 0.2, 0.5, 0.03, 0.5, -0.1, -0.4, 0.02, 0.6, 0}},
      {"quadrupole", KODE_QUAD, {0.5, 1.7, 1, 0}},
      {"sextupole", KODE_SEXT, {0.4, 7.0, 1, 0}},
      {"quadsext", KODE_QUADSEXT, {0.6, -1.8, 5.0, 1, 0}},
      {"multipole", KODE_MULTIPOL, {0.7, 1.3, 3, 2, 1.1, 0.2, 3, -6.0, 0.5, 5, 9.0, 0.1, 1, 0}},
      {"thin multipole", KODE_MULTIPOL, {0.0, 1.0, 2, 2, 0.4, -0.3, 3, 2.0, 0.1, 1, 0}},
      {"octupole", KODE_MULTIPOL, {0.5, 1, 1, 4, 30.0, 0, 1, 0}},
      {"solenoid k1>0", KODE_SOLENOID, {0.9, 1.5, 0.4, 1, 0}},
      {"solenoid k1<0", KODE_SOLENOID, {0.9, -1.5, 0.4, 1, 0}},
      {"quadac", KODE_QUADAC, {0.5, 2.0, 0.0, 0.0, 500, 1.0, 1, 0}},
      {"quadac with gain", KODE_QUADAC, {0.5, 2.0, 0.02, 0.1, 500, 1.0, 1, 0}},
  };
}

TransferMap build(int kode, const std::vector<double> &slots, int units) {
  one_element(kode, {}, units);
  for (std::size_t j = 0; j < slots.size(); ++j)
    inputt.eldata(1 + static_cast<int>(j)) = slots[j];
  inputt.iadr(2) = 1 + static_cast<int>(slots.size());
  matgen(1);
  return record();
}

TransferMap with_tilt(const Element &e, double stored, int units) {
  std::vector<double> slots = e.slots;
  slots.back() = stored;
  return build(e.kode, slots, units);
}

// The stored value that means the angle t (radians) in a convention.
double stored_angle(double t, int units) {
  return units == 1 ? -t : units == 2 ? t / const_.raddeg : t;
}

// x <- c x - s y, y <- s x + c y, x' and y' alike.
TransferMap rotation(double t) {
  TransferMap r;
  r.set_identity();
  for (int i = 1; i <= 2; ++i) {
    r.R(i, i) = std::cos(t);
    r.R(i, i + 2) = -std::sin(t);
    r.R(i + 2, i) = std::sin(t);
    r.R(i + 2, i + 2) = std::cos(t);
  }
  return r;
}

// The common rule: R(-t) o M o R(t), R(t) acting first.
TransferMap turned(const TransferMap &m, double t) {
  return compose(compose(rotation(t), m), rotation(-t));
}

TEST(TiltRule, EveryTiltableKindTurnsTheSameWayInEveryConvention) {
  for (int units : {0, 1, 2})
    for (double t : {0.3, -1.1, const_.pi / 2})
      for (const Element &e : tiltable()) {
        const TransferMap upright = with_tilt(e, 0.0, units);
        const TransferMap tilted = with_tilt(e, stored_angle(t, units), units);
        expect_maps_near(tilted, turned(upright, t), 1e-14, 1e-13,
                         e.name + " units " + std::to_string(units) + " t " + std::to_string(t));
      }
}

// A term at angle T is the same magnet as the single-order element with TILT = T, and a
// multipole's own TILT adds to its term angles.
TEST(TiltRule, MultipoleTermAnglesTurnLikeTheElementTilt) {
  const double t = 0.3, psi = -0.45;
  for (int units : {0, 1, 2}) {
    const double k1 = units == 1 ? -0.8 : 0.8; // LDF reverses the sign of K1 in both
    const double a = stored_angle(t, units), p = stored_angle(psi, units);
    const TransferMap quad = build(KODE_QUAD, {0.4, k1, 1, a}, units);
    const TransferMap term = build(KODE_MULTIPOL, {0.4, 1, 1, 2, k1, a, 1, 0}, units);
    expect_maps_near(term, quad, 1e-15, 1e-14, "K1 term units " + std::to_string(units));
    const TransferMap both = build(KODE_MULTIPOL, {0.4, 1, 1, 2, k1, a, 1, p}, units);
    const TransferMap sum = build(KODE_QUAD, {0.4, k1, 1, stored_angle(t + psi, units)}, units);
    expect_maps_near(both, sum, 1e-14, 1e-13, "K1 term and tilt units " + std::to_string(units));
    const TransferMap thin = build(KODE_MULTIPOL, {0.0, 1, 1, 2, k1, a, 1, 0}, units);
    const TransferMap thin_upright = build(KODE_MULTIPOL, {0.0, 1, 1, 2, k1, 0.0, 1, 0}, units);
    expect_maps_near(thin, turned(thin_upright, t), 1e-15, 1e-14,
                     "thin K1 term units " + std::to_string(units));
  }
  // Under LDF a SEXTUPOLE K2 and a MULTIPOLE K2 have opposite signs (docs/coordinates.md), so
  // the sextupole equality is a statement about the standard and the degree conventions.
  for (int units : {0, 2}) {
    const double k2 = 7.0;
    const double a = stored_angle(t, units);
    const TransferMap sext = build(KODE_SEXT, {0.4, k2, 1, a}, units);
    const TransferMap term = build(KODE_MULTIPOL, {0.4, 1, 1, 3, k2, a, 1, 0}, units);
    expect_maps_near(term, sext, 1e-15, 1e-14, "K2 term units " + std::to_string(units));
  }
  // Quadrupole and sextupole terms at different angles: the whole is the sum of the two turned
  // magnets, here checked against the term angles moved by the element tilt.
  const TransferMap mixed =
      build(KODE_MULTIPOL, {0.6, 1, 2, 2, 1.2, 0.2, 3, 5.0, -0.35, 1, psi}, 0);
  const TransferMap moved =
      build(KODE_MULTIPOL, {0.6, 1, 2, 2, 1.2, 0.2 + psi, 3, 5.0, -0.35 + psi, 1, 0}, 0);
  expect_maps_near(mixed, moved, 1e-14, 1e-13, "mixed terms");
}

// A quadrupole of K1 > 0 turned by pi/4 focuses along the diagonal x = -y and defocuses along
// x = y: R13 = R31 = (cosh phi - cos phi)/2 and R23 = R41 = k (sinh phi + sin phi)/2, both
// positive, so that the thin lens kicks x' = K1 L y, y' = K1 L x.
TEST(TiltRule, SkewQuadrupoleCouplesWithThePositiveSign) {
  const double l = 0.5, k1 = 2.0, k = std::sqrt(k1), phi = k * l;
  const TransferMap m = build(KODE_QUAD, {l, k1, 1, const_.pi / 4}, 0);
  EXPECT_NEAR(m.R(1, 3), (std::cosh(phi) - std::cos(phi)) / 2, 1e-15);
  EXPECT_NEAR(m.R(3, 1), (std::cosh(phi) - std::cos(phi)) / 2, 1e-15);
  EXPECT_NEAR(m.R(2, 3), k * (std::sinh(phi) + std::sin(phi)) / 2, 1e-15);
  EXPECT_NEAR(m.R(4, 1), k * (std::sinh(phi) + std::sin(phi)) / 2, 1e-15);
  // The slope a particle on either diagonal gains: towards the axis on x = -y, away on x = y.
  const double xp_focus = m.R(2, 1) - m.R(2, 3), yp_focus = m.R(4, 1) - m.R(4, 3);
  EXPECT_NEAR(xp_focus, -k * std::sin(phi), 1e-15);
  EXPECT_NEAR(yp_focus, k * std::sin(phi), 1e-15);
  EXPECT_NEAR(m.R(2, 1) + m.R(2, 3), k * std::sinh(phi), 1e-15);
  // A thin lens: the kicks of a skew quadrupole of integrated strength K1 L.
  const TransferMap thin = build(KODE_QUAD, {1e-4, 1e4 * 0.3, 1, const_.pi / 4}, 0);
  EXPECT_NEAR(thin.R(2, 3), 0.3, 1e-5);
  EXPECT_NEAR(thin.R(4, 1), 0.3, 1e-5);
}

} // namespace
} // namespace vorax::test
