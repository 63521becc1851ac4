// Synchrotron integrals of single bends against numerical integration of the dispersion and
// the lattice functions along the body, and the closed forms of an isomagnetic ring.
#include "optics/synchrotron.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vorax;

namespace {

constexpr double PI = 3.141592653589793;

// The same quantities integrated along the body by Simpson's rule, from the local transfer
// matrix of length s (focusing K), the local Twiss functions and the local dispersion.
BendIntegrals integrate(const BendShape &b, EntranceFunctions in, int steps = 4000) {
  const double l = b.length, h = b.angle / l, k = (1.0 - b.n) * h * h;
  // Entrance edge: a thin lens of strength h tan e1.
  const double kick = h * std::tan(b.e1);
  const double eta0 = in.eta, etap0 = in.etap + kick * in.eta;
  const double beta0 = in.beta, alpha0 = in.alpha - kick * in.beta;
  const double gamma0 = (1 + alpha0 * alpha0) / beta0;
  auto at = [&](double s, double &eta, double &hfun) {
    double c, sn, cp; // C, S and C' = -K S
    if (k > 0) {
      const double q = std::sqrt(k);
      c = std::cos(q * s);
      sn = std::sin(q * s) / q;
    } else if (k < 0) {
      const double q = std::sqrt(-k);
      c = std::cosh(q * s);
      sn = std::sinh(q * s) / q;
    } else {
      c = 1;
      sn = s;
    }
    cp = -k * sn;
    const double d = (k != 0) ? (1 - c) / k : s * s / 2; // D, D' = S
    eta = c * eta0 + sn * etap0 + h * d;
    const double etap = cp * eta0 + c * etap0 + h * sn;
    const double beta = c * c * beta0 - 2 * c * sn * alpha0 + sn * sn * gamma0;
    const double alpha = -c * cp * beta0 + (c * c + sn * cp) * alpha0 - sn * c * gamma0;
    const double gamma = (1 + alpha * alpha) / beta;
    hfun = gamma * eta * eta + 2 * alpha * eta * etap + beta * etap * etap;
  };
  double se = 0, sh = 0;
  for (int i = 0; i <= steps; ++i) {
    const double w = (i == 0 || i == steps) ? 1 : (i % 2 ? 4 : 2);
    double eta, hf;
    at(l * i / steps, eta, hf);
    se += w * eta;
    sh += w * hf;
  }
  const double ds = l / steps / 3;
  double eta_exit, dummy;
  at(l, eta_exit, dummy);
  BendIntegrals r;
  r.i1 = se * ds * h;
  r.i2 = l * h * h;
  r.i3 = l * std::fabs(h * h * h);
  r.i4 = se * ds * h * h * h * (1 - 2 * b.n) -
         (std::tan(b.e1) * eta0 + std::tan(b.e2) * eta_exit) * h * h;
  r.i5 = sh * ds * std::fabs(h * h * h);
  return r;
}

TEST(SynchrotronIntegrals, BendsOfEveryFocusingRegimeMatchNumericalIntegration) {
  struct Case {
    const char *what;
    BendShape bend;
    EntranceFunctions in;
  };
  const Case cases[] = {
      {"pure sector bend", {2.0, 0.3, 0.0, 0.0, 0.0}, {10.0, 1.5, 0.8, 0.1}},
      {"gradient n = 0.5 with edges", {1.5, 0.2, 0.5, 0.1, 0.05}, {5.0, -0.7, 0.3, -0.02}},
      {"strong focusing, phi above 1", {3.0, 0.5, -10.0, 0.0, 0.2}, {7.0, 0.2, 1.0, 0.0}},
      {"defocusing, hyperbolic", {2.5, 0.25, 6.0, 0.05, 0.0}, {4.0, 0.3, -0.5, 0.05}},
      {"no focusing at all, n = 1", {1.0, 0.1, 1.0, 0.0, 0.0}, {3.0, 0.0, 0.2, 0.01}},
      {"negative angle", {2.0, -0.15, 0.0, -0.07, -0.07}, {6.0, -1.0, -0.4, 0.03}},
      {"tiny angle, long magnet", {6.0, 1e-3, 0.0, 0.0, 0.0}, {20.0, 0.5, 0.01, 0.0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const BendIntegrals a = bend_integrals(c.bend, c.in);
    const BendIntegrals n = integrate(c.bend, c.in);
    auto near = [](double x, double y) { return std::fabs(x - y) <= 1e-9 * std::fabs(y) + 1e-18; };
    EXPECT_PRED2(near, a.i1, n.i1);
    EXPECT_PRED2(near, a.i2, n.i2);
    EXPECT_PRED2(near, a.i3, n.i3);
    EXPECT_PRED2(near, a.i4, n.i4);
    EXPECT_PRED2(near, a.i5, n.i5);
  }
}

TEST(SynchrotronIntegrals, RadiationFunctionsAreContinuousAndHaveTheirLimits) {
  double f[6];
  radiation_functions(0.0, f);
  EXPECT_DOUBLE_EQ(f[1], 1.0);
  EXPECT_DOUBLE_EQ(f[2], 0.5);
  EXPECT_DOUBLE_EQ(f[3], 1.0 / 6.0);
  EXPECT_DOUBLE_EQ(f[4], 2.0 / 3.0); // mean of S^2 = l^2/3 = l^2 f4/2
  EXPECT_DOUBLE_EQ(f[5], 0.1);       // mean of D^2 = l^4/20 = l^4 f5/2
  // The series below |u| = 1 and the closed forms above meet without a step.
  for (double u : {1.0, -1.0}) {
    double below[6], above[6];
    radiation_functions(u * (1 - 1e-12), below);
    radiation_functions(u, above);
    for (int k = 1; k <= 5; ++k)
      EXPECT_NEAR(below[k], above[k], 1e-12 * std::fabs(above[k])) << k << " at " << u;
  }
  // Against the closed forms written out where they are still accurate.
  const double u = 0.6, phi = std::sqrt(u), s = std::sin(phi), c = std::cos(phi);
  radiation_functions(u, f);
  EXPECT_NEAR(f[4], (phi - s * c) / (u * phi), 1e-14);
  EXPECT_NEAR(f[5], (3 * phi - 4 * s + s * c) / (u * u * phi), 1e-12);
}

TEST(SynchrotronIntegrals, IsomagneticRingHasTheClosedFormSums) {
  // A ring of 16 sector bends of radius rho: I2 = 2 pi / rho, I3 = 2 pi / rho^2, and for any
  // lattice functions at the entrances I1 = sum of the mean dispersion times l/rho.
  const double rho = 12.0, theta = 2 * PI / 16, l = rho * theta;
  double i1 = 0, i2 = 0, i3 = 0, expected_i1 = 0;
  for (int k = 0; k < 16; ++k) {
    const EntranceFunctions in{8.0 + k, 0.1 * k - 0.5, 0.5 + 0.02 * k, 0.01};
    const BendIntegrals r = bend_integrals({l, theta, 0.0, 0.0, 0.0}, in);
    i1 += r.i1;
    i2 += r.i2;
    i3 += r.i3;
    // Mean dispersion of a sector bend: eta sin(t)/t + rho eta' (1 - cos t)/t + rho (t - sin t)/t.
    const double eta_mean = in.eta * std::sin(theta) / theta +
                            rho * in.etap * (1 - std::cos(theta)) / theta +
                            rho * (theta - std::sin(theta)) / theta;
    expected_i1 += eta_mean * l / rho;
  }
  EXPECT_NEAR(i2, 2 * PI / rho, 1e-14);
  EXPECT_NEAR(i3, 2 * PI / (rho * rho), 1e-15);
  EXPECT_NEAR(i1, expected_i1, 1e-13);
}

} // namespace
