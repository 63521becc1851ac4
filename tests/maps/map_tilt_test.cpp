// Tilt of a finished map about the beam axis (tiltm, tiltmm): exact quarter turn, zero tilt,
// reversibility, the skew quadrupole and the angle conventions.
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

TransferMap quad_map(double length, double k1) {
  prodct.ncol = 27;
  flen2m(length, k1, 1);
  return blank.maps(1);
}

} // namespace

TEST(Tilt, QuarterTurnExchangesThePlanesWithoutResidue) {
  start();
  const TransferMap defocusing = quad_map(0.6, -1.9);
  quad_map(0.6, 1.9);
  tiltmm(0, 1, const_.pi / 2);
  const TransferMap &turned = blank.maps(1);
  // A focusing quadrupole turned by 90 degrees is the defocusing one, entry for entry.
  for (int c = 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      EXPECT_EQ(turned(i, c), defocusing(i, c)) << i << "," << c;
  EXPECT_EQ(turned.R(1, 3), 0.0);
}

TEST(Tilt, ZeroTiltLeavesTheRecordUntouched) {
  start();
  const int q = add_element(KODE_QUAD, {0.5, 1.0, 1.0, 0.0}, "Q");
  give_matrix(q);
  TransferMap &record = blank.maps(1);
  for (int c = 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      record(i, c) = 0.1 * i + 0.01 * c;
  const TransferMap before = record;
  control.map_order = 1;
  tiltm(q, 1);
  EXPECT_EQ(prodct.ncol, 6);
  control.map_order = 2;
  tiltm(q, 1);
  EXPECT_EQ(prodct.ncol, 27);
  for (int c = 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      EXPECT_EQ(record(i, c), before(i, c));
}

TEST(Tilt, TiltThenReverseTiltRestoresTheMap) {
  start();
  const TransferMap original = quad_map(0.45, 3.3);
  for (double psi : {0.2, 1.0, -2.5}) {
    blank.maps(1) = original;
    tiltmm(0, 1, psi);
    tiltmm(0, 1, -psi);
    for (int c = 1; c <= 27; ++c)
      for (int i = 1; i <= 6; ++i)
        EXPECT_NEAR(blank.maps(1)(i, c), original(i, c), 2e-15 * (1 + std::fabs(original(i, c))));
  }
}

TEST(Tilt, SkewQuadrupoleCouplesThePlanes) {
  start();
  const double l = 0.5, k1 = 2.0, phi = std::sqrt(k1) * l;
  quad_map(l, k1);
  tiltmm(0, 1, const_.pi / 4);
  const TransferMap &m = blank.maps(1);
  EXPECT_NEAR(m.R(1, 1), (std::cos(phi) + std::cosh(phi)) / 2, 1e-15);
  EXPECT_NEAR(m.R(1, 3), (std::cosh(phi) - std::cos(phi)) / 2, 1e-15);
  EXPECT_NEAR(m.R(3, 1), m.R(1, 3), 1e-15);
  EXPECT_LT(symplectic_defect(first_order(m), false), 1e-14);
  EXPECT_TRUE(symplectic_to_second_order(m));
}

TEST(Tilt, AngleConventionsOfTheLastSlot) {
  // The same physical tilt given in each convention gives the same map.
  const double psi = 0.4;
  TransferMap reference;
  for (int units : {0, 1, 2}) {
    start();
    inputt.eunits = units;
    const double stored = units == 0 ? psi : units == 1 ? -psi : psi / const_.raddeg;
    const double k1 = units == 1 ? -1.5 : 1.5;
    const int q = add_element(KODE_QUAD, {0.5, k1, 1.0, stored}, "Q");
    give_matrix(q);
    matgen(q);
    if (units == 0)
      reference = blank.maps(1);
    for (int c = 1; c <= 27; ++c)
      for (int i = 1; i <= 6; ++i)
        EXPECT_NEAR(blank.maps(1)(i, c), reference(i, c), 1e-15) << units;
  }
}

TEST(Tilt, MapOrderOneTurnsOnlyTheFirstOrderPart) {
  start();
  quad_map(0.5, 1.0);
  const TransferMap before = blank.maps(1);
  control.map_order = 1;
  tiltmm(0, 1, 0.7);
  for (int c = 7; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      EXPECT_EQ(blank.maps(1)(i, c), before(i, c));
  EXPECT_NE(blank.maps(1).R(1, 3), 0.0);
}
