// Element maps against numerical integration of the exact equations of motion.
#include <gtest/gtest.h>

#include <cmath>

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "harness.h"
#include "maps/builders.h"
#include "support/integration.h"
#include "support/maps.h"

namespace vorax::test {
namespace {

const Vec6 AMP{1e-3, 1e-3, 1e-3, 1e-3, 1e-3, 1e-3};

struct BodyCase {
  double h, n, beta2, length;
};

TEST(MagnetIntegration, SectorBodyInAllRegimesOfTheFieldIndex) {
  // kx^2 > 0 and ky^2 > 0; n = 1 (kx^2 = 0); n = 0 (ky^2 = 0); n > 1 and n < 0 (hyperbolic).
  const BodyCase cases[] = {{0.8, 0.4, 0.7, 1.3},
                            {0.8, 1.0, -0.5, 1.1},
                            {0.5, 0.0, 0.0, 2.0},
                            {0.6, 2.5, 1.2, 0.9},
                            {-0.7, -1.5, 0.3, 1.2}};
  for (const BodyCase &c : cases) {
    one_element(KODE_BEND, {});
    magt2(BodyBlock{c.h * c.length / const_.raddeg, c.length, c.n, c.beta2}, 1);
    Field f{c.h, -c.n * c.h * c.h, c.beta2 * c.h * c.h * c.h};
    TransferMap want =
        differentiate([&](const Vec6 &z) { return sector_body(f, c.length, z); }, AMP);
    expect_maps_near(record(), want, 1e-9, 1e-6, "body n=" + std::to_string(c.n));
  }
}

struct BendCase {
  double h, n, beta2, length;
  Edge in, out; // beta, face curvature, fint * half gap
};

TransferMap bend_from_pieces(const BendCase &c) {
  auto edge = [&](const Edge &e, double side) {
    // fint * gap split as fint = 1, gap = product.
    entex(EdgeBlock{c.h, c.n, e.beta / const_.raddeg, side, e.curvature, e.fint_gap, 1.0, c.beta2},
          1);
    return record();
  };
  TransferMap a = edge(c.in, 1.0);
  magt2(BodyBlock{c.h * c.length / const_.raddeg, c.length, c.n, c.beta2}, 1);
  TransferMap b = record();
  TransferMap e = edge(c.out, -1.0);
  return compose(compose(a, b), e);
}

// The whole bend against the soft-edge integration extrapolated to zero edge width; that
// extrapolation limits the reference to about 3e-7 (R) and 3e-5 (T). Edge angles, face
// curvature, fringe, gradient and sextupole.
TEST(MagnetIntegration, WholeBendWithEdgesFaceCurvatureAndFringe) {
  const BendCase cases[] = {
      {0.5, 0.0, 0.0, 1.0, {0, 0, 0}, {0, 0, 0}},
      {0.7, -0.6, -0.4, 0.9, {0, 0.8, 0.03}, {0, -1.1, 0.02}},
      {0.5, 0.3, 0.8, 1.2, {0.25, 0, 0}, {-0.15, 0, 0}},
      {-0.6, 0.5, 0.5, 1.0, {-0.2, 0.4, 0.04}, {0.3, 0.7, 0.02}},
  };
  for (const BendCase &c : cases) {
    one_element(KODE_BEND, {});
    TransferMap got = bend_from_pieces(c);
    BendModel model{Field{c.h, -c.n * c.h * c.h, c.beta2 * c.h * c.h * c.h}, c.length, c.in, c.out};
    expect_maps_near(got, bend_map(model), 3e-7, 3e-5, "bend h=" + std::to_string(c.h));
  }
}

TEST(MagnetIntegration, SextupoleAndQuadrupoleSextupoleBodies) {
  one_element(KODE_SEXT, {0.7, 3.0, 1, 0});
  hexa2(1, 1);
  Field sext{0, 0, 1.5};
  expect_maps_near(record(),
                   differentiate([&](const Vec6 &z) { return track_straight(sext, 0.7, z); }, AMP),
                   1e-9, 1e-6, "sextupole");
  for (double k1 : {1.7, -2.2}) {
    one_element(KODE_QUADSEXT, {0.9, k1, -4.0, 1, 0});
    quasex(1, 1);
    Field f{0, k1, -2.0};
    expect_maps_near(record(),
                     differentiate([&](const Vec6 &z) { return track_straight(f, 0.9, z); }, AMP),
                     1e-9, 1e-6, "quadsext k1=" + std::to_string(k1));
  }
  // A skew part beside the upright sextupole, as multipoles with turned terms use it.
  one_element(KODE_MULTIPOL, {});
  quad_sext_body(0.8, 1.3, 2.0, -1.4, 1);
  Field skew{0, 1.3, 2.0, -1.4};
  expect_maps_near(record(),
                   differentiate([&](const Vec6 &z) { return track_straight(skew, 0.8, z); }, AMP),
                   1e-9, 1e-6, "skew sextupole");
}

TEST(MagnetIntegration, SolenoidWithAndWithoutQuadrupoleAndTheDrift) {
  struct Case {
    double length, k1, ks;
  };
  for (Case c :
       {Case{1.2, 0.0, 0.9}, Case{0.8, 1.6, 0.7}, Case{1.0, 3.0, 0.2}, Case{1.5, 0.0, 0.0}}) {
    one_element(KODE_SOLENOID, {c.length, c.k1, c.ks, 1, 0});
    solqua(1, 1);
    Field f{0, c.k1, 0, 0, c.ks};
    expect_maps_near(
        record(), differentiate([&](const Vec6 &z) { return track_straight(f, c.length, z); }, AMP),
        1e-9, 1e-6, "solenoid k1=" + std::to_string(c.k1));
  }
}

TEST(MagnetIntegration, QuadrupoleInAnAcceleratingSection) {
  struct Case {
    double length, k1, delta_e, phi0, freq, e0;
  };
  // Focusing and defocusing, gain and loss; small and large Bessel arguments; no gradient.
  for (Case c : {Case{1.5, 0.8, 0.3, 0.4, 500, 1.0}, Case{1.0, -1.2, 0.05, -0.3, 2856, 2.0},
                 Case{2.0, 0.5, -0.2, 0.2, 1300, 1.5}, Case{1.2, 2.0, 0.001, 0.1, 500, 5.0},
                 Case{1.0, 0.0, 0.4, 0.5, 500, 0.8}}) {
    one_element(KODE_QUADAC, {c.length, c.k1, c.delta_e, c.phi0, c.freq, c.e0, 1, 0});
    quadac(1, 1);
    QuadacModel model{c.length,
                      c.k1,
                      1e9 * c.delta_e / c.length,
                      c.phi0,
                      const_.twopi * 1e6 * c.freq / const_.clight,
                      1e9 * c.e0};
    expect_maps_near(record(), differentiate(model, AMP), 1e-9, 1e-6,
                     "quadac k1=" + std::to_string(c.k1));
  }
}

} // namespace
} // namespace vorax::test
