// Symplecticity of the magnet maps: R^T J R = J for every map without acceleration, in
// every unit convention and with tilts, and the second-order condition in canonical variables.
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
#include "support/symplectic.h"

namespace vorax::test {
namespace {

struct Element {
  std::string name;
  int kode;
  std::vector<double> slots; // the last slot is the tilt (radians; degrees under MERIDOXAN)
};

// Magnets whose parameters make sense in all three conventions.
std::vector<Element> magnets(double tilt) {
  return {
      {"bend", KODE_BEND, {1.2, 0.6, 0.09, 0.3, 0.2, 0.5, 0.03, 0.5, -0.1, -0.4, 0.02, 0.6, tilt}},
      {"gradient bend",
       KODE_BEND,
       {0.8, -0.3, -2.1, 1.0, -0.1, 0.0, 0.0, 0.0, 0.25, 0.3, 0.05, 0.4, tilt}},
      {"sextupole", KODE_SEXT, {0.4, 7.0, 1, tilt}},
      {"quadsext", KODE_QUADSEXT, {0.6, -1.8, 5.0, 1, tilt}},
      {"multipole", KODE_MULTIPOL, {0.7, 1.3, 3, 2, 1.1, 0.2, 3, -6.0, 0.5, 5, 9.0, 0.1, 1, tilt}},
      {"thin multipole", KODE_MULTIPOL, {0.0, 1.0, 2, 2, 0.4, -0.3, 3, 2.0, 0.1, 1, tilt}},
      {"solenoid", KODE_SOLENOID, {1.1, 0.0, 0.7, 1, tilt}},
      {"solenoid k1>0", KODE_SOLENOID, {0.9, 1.5, 0.4, 1, tilt}},
      {"solenoid k1<0", KODE_SOLENOID, {0.9, -1.5, 0.4, 1, tilt}},
      {"quadac no gain", KODE_QUADAC, {0.5, 2.0, 0.0, 0.0, 500, 1.0, 1, tilt}},
  };
}

TransferMap build(const Element &e, int units) {
  one_element(e.kode, {}, units);
  for (std::size_t j = 0; j < e.slots.size(); ++j)
    inputt.eldata(1 + static_cast<int>(j)) = e.slots[j];
  inputt.iadr(2) = 1 + static_cast<int>(e.slots.size());
  matgen(1);
  return record();
}

TEST(MagnetSymplectic, FirstOrderInEveryConventionWithAndWithoutTilt) {
  for (int units : {0, 1, 2})
    for (double tilt : {0.0, units == 2 ? 17.0 : 0.3})
      for (const Element &e : magnets(tilt)) {
        TransferMap m = build(e, units);
        EXPECT_LT(symplectic_error(m), 1e-12) << e.name << " units " << units << " tilt " << tilt;
      }
}

// A geometric map turned canonical, (x, px, y, py, -l, delta), to second order. At the ends of
// a body in the frame following the arc (curvature h) px = x' (1 + delta - h x).
TransferMap canonical(const TransferMap &m, double h_in = 0, double h_out = 0) {
  auto conversion = [](double h, double sign) {
    TransferMap c;
    c.set_identity();
    c.R(5, 5) = -1;
    c.T(2, 2, 6) = sign;
    c.T(4, 4, 6) = sign;
    c.T(2, 1, 2) = -sign * h;
    c.T(4, 1, 4) = -sign * h;
    return c;
  };
  return compose(compose(conversion(h_in, -1), m), conversion(h_out, 1));
}

TEST(MagnetSymplectic, SecondOrderInCanonicalVariables) {
  for (int units : {0, 1, 2})
    for (const Element &e : magnets(units == 2 ? 17.0 : 0.3)) {
      TransferMap m = build(e, units);
      EXPECT_LT(second_order_defect(canonical(m)), 1e-11) << e.name << " units " << units;
    }
  // The pieces of a bend in their own frames: the edges map the straight frame to the arc's.
  one_element(KODE_BEND, {});
  double h = 0.7;
  magt2(BodyBlock{h * 1.3 / const_.raddeg, 1.3, -0.8, 2.5}, 1);
  EXPECT_LT(second_order_defect(canonical(record(), h, h)), 1e-11) << "body";
  entex(EdgeBlock{h, 0.4, 14.0, 1.0, 0.9, 0.05, 0.6, 0.0}, 1);
  EXPECT_LT(second_order_defect(canonical(record(), 0, h)), 1e-11) << "entrance";
  entex(EdgeBlock{h, 0.4, -9.0, -1.0, -1.3, 0.05, 0.6, 0.0}, 1);
  EXPECT_LT(second_order_defect(canonical(record(), h, 0)), 1e-11) << "exit";
  // And the condition does catch a broken map.
  magt2(BodyBlock{h * 1.3 / const_.raddeg, 1.3, -0.8, 2.5}, 1);
  TransferMap broken = record();
  broken.T(1, 1, 1) += 1e-6;
  EXPECT_GT(second_order_defect(canonical(broken, h, h)), 1e-7);
}

TEST(MagnetSymplectic, MapOrderOneKeepsTheSecondOrderOfTheLastBuild) {
  Element e = magnets(0.0)[0];
  TransferMap full = build(e, 0);
  control.map_order = 1;
  inputt.slot(1, 3) = 0.2; // a new gradient, built at first order only
  matgen(1);
  TransferMap first = record();
  for (int i = 1; i <= 6; ++i)
    for (int c = 7; c <= 27; ++c)
      EXPECT_EQ(first(i, c), full(i, c)) << i << " " << c;
  EXPECT_NE(first.R(2, 1), full.R(2, 1));
  EXPECT_LT(symplectic_error(first), 1e-12);
  control.map_order = 2;
}

} // namespace
} // namespace vorax::test
