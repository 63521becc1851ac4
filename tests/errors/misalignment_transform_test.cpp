// The transforms into and out of a displaced element: nothing between them is the identity, a
// field-free element between them is the drift it is, a roll alone turns an element as its TILT
// does, and the bend terms of a rolled bend are the orbit difference that the geometry of the
// rolled arc gives, finite and continuous at angle 0 and length 0.
#include "harness.h"
#include "support/maps.h"

#include "common/engine_tables.h"
#include "errors/misalignments.h"
#include "maps/element_maps.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

namespace vorax::test {
namespace {

using Amplitudes = Table<double, 1, MISALIGNMENT_AMPLITUDES>;

Amplitudes amplitudes(std::array<double, 7> a) {
  Amplitudes t;
  for (int i = 1; i <= 7; ++i)
    t(i) = a[static_cast<std::size_t>(i - 1)];
  return t;
}

// The particle through mset, f and mreset with the given displacements.
template <class F> Vec through(const Displacements &d, Vec v, F f) {
  misset.current.at = d;
  double z[6];
  for (int i = 0; i < 6; ++i)
    z[i] = v[static_cast<std::size_t>(i + 1)];
  mset(z);
  f(z);
  mreset(z);
  for (int i = 0; i < 6; ++i)
    v[static_cast<std::size_t>(i + 1)] = z[i];
  return v;
}

void drift(double z[6], double length) {
  z[0] += length * z[1];
  z[2] += length * z[3];
  z[4] += 0.5 * length * (z[1] * z[1] + z[3] * z[3]);
}

const Vec particle{0, 1.3e-3, -0.7e-3, -0.4e-3, 0.9e-3, 2e-4, -1.5e-3};
const Amplitudes offsets_and_angles = amplitudes({2e-4, -3e-4, 1.5e-4, 4e-4, 0.01, 0.0, 1e-3});

void expect_near(const Vec &got, const Vec &want, double tol, const std::string &what) {
  for (int i = 1; i <= 6; ++i)
    EXPECT_NEAR(got[static_cast<std::size_t>(i)], want[static_cast<std::size_t>(i)], tol)
        << what << " coordinate " << i;
}

TEST(MisalignmentTransforms, NothingBetweenEntryAndExitIsTheIdentity) {
  for (double psi : {0.0, 0.3, -1.2, std::acos(-1.0) / 2}) {
    Amplitudes a = offsets_and_angles;
    a(6) = psi;
    // Types 1 and 3 over a zero-length element: the entry and exit displacements cancel.
    for (int type : {1, 3}) {
      const Vec out = through(displacements(type, 0.0, a, {}), particle, [](double *) {});
      expect_near(out, particle, 1e-18, "type " + std::to_string(type));
    }
    // Type 4 gives each end half of the angles: the two halves add to a kick of -a4, -a2.
    Vec kicked = particle;
    kicked[2] -= a(4);
    kicked[4] -= a(2);
    expect_near(through(displacements(4, 0.0, a, {}), particle, [](double *) {}), kicked, 1e-18,
                "type 4");
  }
}

TEST(MisalignmentTransforms, OffsetsOnAFieldFreeElementChangeNothing) {
  const double L = 1.7;
  for (int type : {1, 2, 3})
    for (double psi : {0.0, 0.4}) {
      Amplitudes a = offsets_and_angles;
      a(6) = psi;
      const std::string what = "type " + std::to_string(type) + " roll " + std::to_string(psi);
      Vec plain = particle;
      double z[6];
      for (int i = 0; i < 6; ++i)
        z[i] = plain[static_cast<std::size_t>(i + 1)];
      drift(z, L);
      for (int i = 0; i < 6; ++i)
        plain[static_cast<std::size_t>(i + 1)] = z[i];
      const Vec out =
          through(displacements(type, L, a, {}), particle, [&](double *w) { drift(w, L); });
      // The particle's line in space is the same: only the path length inside the tilted
      // element differs, by the second-order term of the slopes the element sees.
      for (int i : {1, 2, 3, 4, 6})
        EXPECT_NEAR(out[static_cast<std::size_t>(i)], plain[static_cast<std::size_t>(i)], 1e-17)
            << what << " coordinate " << i;
      const Displacements d = displacements(type, L, a, {});
      const double xp = particle[2] - d.dxp_in, yp = particle[4] - d.dyp_in;
      const double expected_l =
          particle[5] + 0.5 * L * (xp * xp + yp * yp); // the roll keeps x'^2 + y'^2
      EXPECT_NEAR(out[5], expected_l, 1e-18) << what;
    }
  // Offsets without angles leave the path length alone too.
  const Amplitudes pure = amplitudes({2e-4, 0, -1e-4, 0, 0.02, 0.7, 0});
  const Vec out =
      through(displacements(1, 1.0, pure, {}), particle, [](double *w) { drift(w, 1.0); });
  EXPECT_NEAR(out[5], particle[5] + 0.5 * (particle[2] * particle[2] + particle[4] * particle[4]),
              1e-18);
}

// mreset(M(0)(mset(z))) = M(psi)(z): the roll of a misalignment turns the element the way its
// TILT turns it.
TEST(MisalignmentTransforms, ARollAloneTracksAsTheElementWithThatTilt) {
  for (double psi : {0.25, -0.9, std::acos(-1.0) / 2}) {
    one_element(KODE_QUAD, {0.6, 2.1, 1.0, 0.0});
    const TransferMap upright = element_map(1, MapContext{});
    inputt.slot(1, slot::quad::TILT) = psi;
    const TransferMap tilted = element_map(1, MapContext{});
    const Amplitudes a = amplitudes({0, 0, 0, 0, 0, psi, 0});
    const Vec got = through(displacements(1, 0.6, a, {}), particle, [&](double *z) {
      Vec v{};
      for (int i = 0; i < 6; ++i)
        v[static_cast<std::size_t>(i + 1)] = z[i];
      v = act(upright, v);
      for (int i = 0; i < 6; ++i)
        z[i] = v[static_cast<std::size_t>(i + 1)];
    });
    expect_near(got, act(tilted, particle), 1e-17, "roll " + std::to_string(psi));
  }
}

// 3-vectors (x, y, s) for the geometry of the arcs.
using V3 = std::array<double, 3>;
V3 operator+(V3 a, V3 b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
V3 operator-(V3 a, V3 b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
V3 operator*(double c, V3 a) {
  return {c * a[0], c * a[1], c * a[2]};
}
double dot(V3 a, V3 b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
// Turns the transverse part about the beam axis (math sense, x towards y).
V3 turn(V3 a, double angle) {
  return {std::cos(angle) * a[0] - std::sin(angle) * a[1],
          std::sin(angle) * a[0] + std::cos(angle) * a[1], a[2]};
}

struct Orbit {
  V3 point, tangent;
};

// A particle on the orbit given in the frame of the design orbit at arc angle theta: (x, y, x',
// y') where its line meets the design's transverse plane there.
std::array<double, 4> seen_from_design(const Orbit &o, double rho, V3 u, double theta) {
  const V3 s{0, 0, 1};
  const V3 w{-u[1], u[0], 0}; // out of the bend plane
  const V3 origin = rho * std::sin(theta) * s + rho * (1 - std::cos(theta)) * u;
  const V3 t0 = std::sin(theta) * u + std::cos(theta) * s;
  const V3 e1 = std::cos(theta) * u - std::sin(theta) * s;
  // The lab's x and y axes carried along the design orbit.
  const V3 X = u[0] * e1 + w[0] * w;
  const V3 Y = u[1] * e1 + w[1] * w;
  const double along = -dot(o.point - origin, t0) / dot(o.tangent, t0);
  const V3 q = o.point + along * o.tangent - origin;
  const double t = dot(o.tangent, t0);
  return {dot(q, X), dot(q, Y), dot(o.tangent, X) / t, dot(o.tangent, Y) / t};
}

TEST(BendTerms, AreTheOrbitOfTheRolledArcSeenFromTheDesignOrbit) {
  const double L = 2.0, alpha = 0.004;
  const double rho = L / alpha;
  const double pi = std::acos(-1.0);
  for (double tilt : {0.0, pi / 2, -pi / 2, 0.7})
    for (double psi : {0.3, -0.8, pi})
      for (int type : {1, 2, 3}) {
        const V3 u{-std::cos(tilt), std::sin(tilt), 0}; // where the maps bend it
        // Type 1 rolls about the entry tangent, type 3 about the middle tangent, type 2 about
        // the chord; the design arc runs over theta in [first, last] from the roll's point.
        const double first = type == 1 ? 0.0 : -alpha / 2, last = type == 1 ? alpha : alpha / 2;
        const V3 axis_point =
            type == 2 ? rho * std::sin(first) * V3{0, 0, 1} + rho * (1 - std::cos(first)) * u
                      : V3{0, 0, 0};
        auto rolled = [&](double theta) {
          const V3 p = rho * std::sin(theta) * V3{0, 0, 1} + rho * (1 - std::cos(theta)) * u;
          const V3 t = std::sin(theta) * u + std::cos(theta) * V3{0, 0, 1};
          return Orbit{axis_point + turn(p - axis_point, -psi), turn(t, -psi)};
        };
        const BendTerms b = bend_terms(type, L, alpha, tilt, psi);
        const std::string what = "type " + std::to_string(type) + " tilt " + std::to_string(tilt) +
                                 " roll " + std::to_string(psi);
        const double scale_b = L * alpha, scale_a = alpha;
        const auto exit = seen_from_design(rolled(last), rho, u, last);
        EXPECT_NEAR(exit[0], b.bx, 1e-3 * scale_b) << what;
        EXPECT_NEAR(exit[1], b.by, 1e-3 * scale_b) << what;
        EXPECT_NEAR(exit[2], b.ax, 1e-3 * scale_a) << what;
        EXPECT_NEAR(exit[3], b.ay, 1e-3 * scale_a) << what;
        if (type != 1) {
          const auto entry = seen_from_design(rolled(first), rho, u, first);
          EXPECT_NEAR(entry[0], b.bx, 1e-3 * scale_b) << what;
          EXPECT_NEAR(entry[2], -b.ax, 1e-3 * scale_a) << what;
          EXPECT_NEAR(entry[3], -b.ay, 1e-3 * scale_a) << what;
        }
      }
}

TEST(BendTerms, AreFiniteAndContinuousAtAngleZeroAndLengthZero) {
  for (int type : {1, 2, 3})
    for (double psi : {0.2, -2.5}) {
      // Angle 0: no bend, no terms; a small angle gives small terms.
      const BendTerms zero = bend_terms(type, 1.5, 0.0, 0.3, psi);
      EXPECT_EQ(zero.ax, 0.0);
      EXPECT_EQ(zero.by, 0.0);
      const BendTerms tiny = bend_terms(type, 1.5, 1e-12, 0.3, psi);
      for (double v : {tiny.ax, tiny.ay, tiny.bx, tiny.by}) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_LT(std::fabs(v), 1e-11);
      }
      // Length 0: the thin bend keeps the kick of its angle and has no offset; the terms of a
      // short bend tend to it.
      const BendTerms thin = bend_terms(type, 0.0, 0.05, 0.3, psi);
      const BendTerms short_bend = bend_terms(type, 1e-9, 0.05, 0.3, psi);
      EXPECT_EQ(thin.bx, 0.0);
      EXPECT_EQ(thin.by, 0.0);
      EXPECT_TRUE(std::isfinite(thin.ax) && std::isfinite(thin.ay));
      EXPECT_NE(thin.ax, 0.0);
      EXPECT_NEAR(short_bend.ax, thin.ax, 1e-15);
      EXPECT_NEAR(short_bend.ay, thin.ay, 1e-15);
      EXPECT_NEAR(short_bend.bx, 0.0, 1e-10);
    }
  // The upright bend about its entry: the closed forms 2A sin^2(psi/2) and A sin(psi), A1 =
  // 2 L sin^2(alpha/2) / alpha, and the angles over L/2 in both planes.
  const double L = 1.3, alpha = 0.2, psi = 0.45;
  const double a1 = 2 * L * std::pow(std::sin(alpha / 2), 2) / alpha;
  const BendTerms b = bend_terms(1, L, alpha, 0.0, psi);
  EXPECT_NEAR(b.bx, 2 * a1 * std::pow(std::sin(psi / 2), 2), 1e-16);
  EXPECT_NEAR(b.by, a1 * std::sin(psi), 1e-16);
  EXPECT_NEAR(b.ax, b.bx / (L / 2), 1e-16);
  EXPECT_NEAR(b.ay, b.by / (L / 2), 1e-16);
}

} // namespace
} // namespace vorax::test
