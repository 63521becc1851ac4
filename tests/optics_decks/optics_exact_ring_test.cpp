// The periodic analysis of MATR against an independent model: a ring of rectangular bends,
// quadrupoles and sextupoles tracked exactly (straight lines, circular arcs in the bends with the
// Maxwellian impulse of each hard pole face, Runge-Kutta through the sextupoles). Its closed
// orbits, one-turn matrices and tunes are found by differences with Richardson extrapolation,
// and tunes, beta, alpha, dispersion, compaction and both chromaticities must agree.
#include "harness.h"
#include "support/listings.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

constexpr double PI = 3.141592653589793;
const double TH = 2 * PI / 16; // bend angle

// x, x' = dx/ds, y, y', l (path-length difference); delta is a parameter of the pass.
using State = std::array<double, 5>;
using V3 = std::array<double, 3>;

double dot(const V3 &a, const V3 &b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
V3 cross(const V3 &a, const V3 &b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

State drift(State z, double len) {
  z[4] += len * (std::sqrt(1 + z[1] * z[1] + z[3] * z[3]) - 1);
  z[0] += len * z[1];
  z[2] += len * z[3];
  return z;
}

// Hard-edge quadrupole with the chromatic strength K1/(1+delta). Its path length is second order
// in the amplitudes and cancels in the central differences, so it is left out.
State quad(State z, double len, double k1, double delta) {
  auto plane = [len](double k, double &u, double &up) {
    if (k > 0) {
      const double w = std::sqrt(k), c = std::cos(w * len), s = std::sin(w * len);
      const double u1 = c * u + s / w * up;
      up = -w * s * u + c * up;
      u = u1;
    } else {
      const double w = std::sqrt(-k), c = std::cosh(w * len), s = std::sinh(w * len);
      const double u1 = c * u + s / w * up;
      up = w * s * u + c * up;
      u = u1;
    }
  };
  const double k = k1 / (1 + delta);
  plane(k, z[0], z[1]);
  plane(-k, z[2], z[3]);
  return z;
}

// Sextupole field By = (K2/2)(x^2 - y^2), Bx = K2 x y, by fourth-order Runge-Kutta.
State sextupole(State z, double len, double k2, double delta) {
  auto f = [&](const State &u) {
    return State{u[1], -(k2 / 2) * (u[0] * u[0] - u[2] * u[2]) / (1 + delta), u[3],
                 k2 * u[0] * u[2] / (1 + delta), std::sqrt(1 + u[1] * u[1] + u[3] * u[3]) - 1};
  };
  const int n = 100;
  const double h = len / n;
  for (int step = 0; step < n; ++step) {
    State k1 = f(z), a, b, c;
    for (int i = 0; i < 5; ++i)
      a[i] = z[i] + h / 2 * k1[i];
    State k2s = f(a);
    for (int i = 0; i < 5; ++i)
      b[i] = z[i] + h / 2 * k2s[i];
    State k3 = f(b);
    for (int i = 0; i < 5; ++i)
      c[i] = z[i] + h * k3[i];
    State k4 = f(c);
    for (int i = 0; i < 5; ++i)
      z[i] += h / 6 * (k1[i] + 2 * k2s[i] + 2 * k3[i] + k4[i]);
  }
  return z;
}

// Rectangular bend of arc length len and angle th with pole faces rotated by th/2: straight line
// to the entrance face, impulse of the face's field B = -B0 y delta(xi) n (which curl-free
// completion of the step in By demands), helix to the exit face, impulse, straight line to the
// exit reference plane. Global frame: centre of curvature at the origin, vertical third axis.
State rbend(State z, double len, double th, double delta) {
  const double rho = len / th, h = 1 / rho;
  auto rot = [](const V3 &v, double a) {
    return V3{std::cos(a) * v[0] - std::sin(a) * v[1], std::sin(a) * v[0] + std::cos(a) * v[1], 0};
  };
  const V3 p0{rho, 0, 0}, t0{0, 1, 0}, n0{1, 0, 0};
  const V3 p1{rho * std::cos(th), rho * std::sin(th), 0}, t1{-std::sin(th), std::cos(th), 0};
  const V3 nrm1{std::cos(th), std::sin(th), 0};
  const V3 face1 = rot(t0, th / 2), face2 = rot(t1, -th / 2);
  V3 r{p0[0] + z[0], 0, z[2]};
  const double nn = std::sqrt(1 + z[1] * z[1] + z[3] * z[3]);
  V3 d{z[1] / nn, 1 / nn, z[3] / nn};
  double path = 0;
  auto line_to = [&](const V3 &point, const V3 &normal) {
    const double tau =
        -((r[0] - point[0]) * normal[0] + (r[1] - point[1]) * normal[1]) / dot(d, normal);
    for (int i = 0; i < 3; ++i)
      r[i] += tau * d[i];
    path += tau;
  };
  auto impulse = [&](const V3 &normal, double sign) {
    const V3 k = cross(d, normal);
    const double c = sign * h * r[2] / dot(d, normal);
    V3 p{(1 + delta) * d[0] + c * k[0], (1 + delta) * d[1] + c * k[1],
         (1 + delta) * d[2] + c * k[2]};
    const double pn = std::sqrt(dot(p, p));
    d = {p[0] / pn, p[1] / pn, p[2] / pn};
  };
  (void)n0;
  line_to(p0, face1);
  impulse(face1, -1);
  const double dh = std::hypot(d[0], d[1]), radius = rho * (1 + delta) * dh;
  const double ux = d[0] / dh, uy = d[1] / dh;
  const double cx = r[0] - radius * uy, cy = r[1] + radius * ux;
  const double rx = r[0] - cx, ry = r[1] - cy;
  double psi = th;
  for (int it = 0; it < 80; ++it) {
    const double cs = std::cos(psi), sn = std::sin(psi);
    const double qx = cx + cs * rx - sn * ry, qy = cy + sn * rx + cs * ry;
    const double f = (qx - p1[0]) * face2[0] + (qy - p1[1]) * face2[1];
    const double fp = (-sn * rx - cs * ry) * face2[0] + (cs * rx - sn * ry) * face2[1];
    const double step = f / fp;
    psi -= step;
    if (std::fabs(step) < 1e-17)
      break;
  }
  const double cs = std::cos(psi), sn = std::sin(psi);
  const double arc = radius * psi;
  r = {cx + cs * rx - sn * ry, cy + sn * rx + cs * ry, r[2] + d[2] / dh * arc};
  path += arc / dh;
  d = {(cs * ux - sn * uy) * dh, (sn * ux + cs * uy) * dh, d[2]};
  impulse(face2, +1);
  line_to(p1, t1);
  const double dt = dot(d, t1);
  return {(r[0] - p1[0]) * nrm1[0] + (r[1] - p1[1]) * nrm1[1], dot(d, nrm1) / dt, r[2], d[2] / dt,
          z[4] + path - len};
}

// The cell of the deck below, eight times.
State turn(State z, double delta) {
  for (int cell = 0; cell < 8; ++cell) {
    z = quad(z, 0.4, 1.1, delta);
    z = drift(z, 0.3);
    z = sextupole(z, 0.2, 2.0, delta);
    z = drift(z, 0.3);
    z = rbend(z, 1.5, TH, delta);
    z = drift(z, 0.5);
    z = quad(z, 0.4, -1.0, delta);
    z = drift(z, 0.3);
    z = sextupole(z, 0.2, -3.0, delta);
    z = drift(z, 0.3);
    z = rbend(z, 1.5, TH, delta);
    z = drift(z, 0.5);
  }
  return z;
}
const double CIRCUMFERENCE = 8 * 6.4;

using M4 = std::array<std::array<double, 4>, 4>;

M4 jacobian_at(const State &orbit, double delta, double eps) {
  M4 j{};
  for (int c = 0; c < 4; ++c) {
    State zp = orbit, zm = orbit;
    zp[c] += eps;
    zm[c] -= eps;
    const State fp = turn(zp, delta), fm = turn(zm, delta);
    for (int r = 0; r < 4; ++r)
      j[r][c] = (fp[r] - fm[r]) / (2 * eps);
  }
  return j;
}

// Central differences at two steps, extrapolated (errors of order eps^4, rounding of order 1e-12).
M4 jacobian(const State &orbit, double delta) {
  const M4 a = jacobian_at(orbit, delta, 2e-4), b = jacobian_at(orbit, delta, 1e-4);
  M4 j{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      j[r][c] = (4 * b[r][c] - a[r][c]) / 3;
  return j;
}

std::array<double, 4> solve4(M4 a, std::array<double, 4> b) {
  for (int i = 0; i < 4; ++i) {
    int p = i;
    for (int r = i + 1; r < 4; ++r)
      if (std::fabs(a[r][i]) > std::fabs(a[p][i]))
        p = r;
    std::swap(a[i], a[p]);
    std::swap(b[i], b[p]);
    for (int r = 0; r < 4; ++r)
      if (r != i) {
        const double f = a[r][i] / a[i][i];
        for (int c = i; c < 4; ++c)
          a[r][c] -= f * a[i][c];
        b[r] -= f * b[i];
      }
  }
  return {b[0] / a[0][0], b[1] / a[1][1], b[2] / a[2][2], b[3] / a[3][3]};
}

State closed_orbit(double delta) {
  State z{};
  for (int it = 0; it < 20; ++it) {
    const State f = turn(z, delta);
    M4 a = jacobian_at(z, delta, 1e-6);
    for (int i = 0; i < 4; ++i)
      a[i][i] -= 1;
    const auto dz = solve4(a, {z[0] - f[0], z[1] - f[1], z[2] - f[2], z[3] - f[3]});
    double big = 0;
    for (int i = 0; i < 4; ++i) {
      z[i] += dz[i];
      big = std::max(big, std::fabs(dz[i]));
    }
    if (big < 1e-16)
      break;
  }
  z[4] = 0;
  return z;
}

struct Plane {
  double nu, beta, alpha;
};

std::array<Plane, 2> optics(double delta) {
  const M4 j = jacobian(closed_orbit(delta), delta);
  std::array<Plane, 2> out{};
  for (int p = 0; p < 2; ++p) {
    const int a = 2 * p;
    const double c = (j[a][a] + j[a + 1][a + 1]) / 2;
    const double s = std::copysign(std::sqrt(1 - c * c), j[a][a + 1]);
    double mu = std::atan2(s, c);
    if (mu < 0)
      mu += 2 * PI;
    out[static_cast<std::size_t>(p)] = {mu / (2 * PI), j[a][a + 1] / s,
                                        (j[a][a] - j[a + 1][a + 1]) / (2 * s)};
  }
  return out;
}

const char *DECK = "PI = 3.141592653589793\n"
                   "TH = 2*PI/16\n"
                   "QF: QUADRUPOLE, L = 0.4, K1 = 1.1\n"
                   "QD: QUADRUPOLE, L = 0.4, K1 = -1.0\n"
                   "SF: SEXTUPOLE, L = 0.2, K2 = 2.0\n"
                   "SD: SEXTUPOLE, L = 0.2, K2 = -3.0\n"
                   "B: RBEND, L = 1.5, ANGLE = TH\n"
                   "D1: DRIFT, L = 0.3\n"
                   "D2: DRIFT, L = 0.5\n"
                   "CELL: LINE = (QF, D1, SF, D1, B, D2, QD, D1, SD, D1, B, D2)\n"
                   "RING: LINE = (8*CELL)\n"
                   "USE, RING\n"
                   "VORAX\n"
                   "MATR\n"
                   " 2 -1;\n"
                   "STOP\n";

TEST(OpticsExactRing, PeriodicAnalysisAgreesWithExactTracking) {
  const DeckRun r = run_deck(DECK);
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string &t = r.listing;

  const auto on = optics(0.0);
  EXPECT_NEAR(nth_number(t, "NU =", 1), on[0].nu, 1e-10);
  EXPECT_NEAR(nth_number(t, "NU =", 2), on[1].nu, 1e-10);
  EXPECT_NEAR(nth_number(t, "BETA =", 1), on[0].beta, 1e-9 * on[0].beta);
  EXPECT_NEAR(nth_number(t, "BETA =", 2), on[1].beta, 1e-9 * on[1].beta);
  EXPECT_NEAR(nth_number(t, "ALPHA =", 1), on[0].alpha, 1e-9);
  EXPECT_NEAR(nth_number(t, "ALPHA =", 2), on[1].alpha, 1e-9);

  // Dispersion and compaction from the closed orbits at +-delta.
  auto eta = [](double h) {
    const State p = closed_orbit(h), m = closed_orbit(-h);
    const double lp = turn(p, h)[4], lm = turn(m, -h)[4];
    return std::array<double, 3>{(p[0] - m[0]) / (2 * h), (p[1] - m[1]) / (2 * h),
                                 (lp - lm) / (2 * h) / CIRCUMFERENCE};
  };
  const auto ea = eta(2e-4), eb = eta(1e-4);
  EXPECT_NEAR(nth_number(t, " ETA =", 1), (4 * eb[0] - ea[0]) / 3, 1e-9);
  EXPECT_NEAR(nth_number(t, "ETAP =", 1), (4 * eb[1] - ea[1]) / 3, 1e-9);
  EXPECT_NEAR(nth_number(t, "COMPACTION FACTOR =", 1), (4 * eb[2] - ea[2]) / 3, 1e-9);

  // Chromaticities: the tune derivative on the off-momentum closed orbit, which tests every
  // second-order term that couples the orbit to the betatron motion, the pole faces' included.
  auto chrom = [](double h) {
    const auto p = optics(h), m = optics(-h);
    return std::array<double, 2>{(p[0].nu - m[0].nu) / (2 * h), (p[1].nu - m[1].nu) / (2 * h)};
  };
  const auto ca = chrom(4e-4), cb = chrom(2e-4);
  const double cx = (4 * cb[0] - ca[0]) / 3, cy = (4 * cb[1] - ca[1]) / 3;
  EXPECT_NEAR(nth_number(t, "CHROMATICITY   =", 1), cx, 5e-8 * std::fabs(cx));
  EXPECT_NEAR(nth_number(t, "CHROMATICITY   =", 2), cy, 5e-8 * std::fabs(cy));
}

} // namespace
} // namespace vorax::test
