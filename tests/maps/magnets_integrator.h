// Numerical integration of the exact equations of motion through magnets, and maps recovered
// from it by finite differences: the reference against which the element maps are checked.
#pragma once

#include <array>
#include <cmath>
#include <functional>

#include "common/transfer_map.h"

namespace vorax::test {

using Vec6 = std::array<double, 6>; // x, x', y, y', l, delta
using Flow = std::function<Vec6(const Vec6 &)>;

// Magnet body: curvature h and, in the frame following the reference arc, the field
//   by = h + k1 x + b3 x^2 - (b3 + h k1/2) y^2 - 2 a3 x y,
//   bx = k1 y + 2 b3 x y + a3 (x^2 - y^2),   bs = 2 sol,
// all over the reference rigidity (a3 only for h = 0).
struct Field {
  double h = 0, k1 = 0, b3 = 0, a3 = 0, sol = 0;
};

// Hard edge of a bend: angle beta (radians), face curvature, fringe integral times half gap.
struct Edge {
  double beta = 0, curvature = 0, fint_gap = 0;
};

// Exact equations in the curved frame with kinetic momenta over p0 as variables:
// state (x, px, y, py, l, delta), l the path-length difference (carried as a difference so
// that no precision is lost against the length of the element).
inline Vec6 body_rhs(const Field &f, const Vec6 &z) {
  double x = z[0], px = z[1], y = z[2], py = z[3], d = z[5];
  double ps = std::sqrt((1 + d) * (1 + d) - px * px - py * py);
  double hs = 1 + f.h * x;
  double by = f.h + f.k1 * x + f.b3 * x * x - (f.b3 + 0.5 * f.h * f.k1) * y * y - 2 * f.a3 * x * y;
  double bx = f.k1 * y + 2 * f.b3 * x * y + f.a3 * (x * x - y * y);
  double bs = 2 * f.sol;
  return {hs * px / ps,
          f.h * ps - hs * by + hs * py * bs / ps,
          hs * py / ps,
          hs * bx - hs * px * bs / ps,
          (f.h * x * (1 + d) + (px * px + py * py) / (1 + d + ps)) / ps,
          0.0};
}

// Classical Runge-Kutta of order 4 with fixed steps from s0 to s1 (either direction).
template <class Rhs> Vec6 rk4(const Rhs &rhs, Vec6 z, double s0, double s1, int steps) {
  double hstep = (s1 - s0) / steps;
  for (int n = 0; n < steps; ++n) {
    double s = s0 + n * hstep;
    Vec6 k1 = rhs(s, z), t{};
    for (int i = 0; i < 6; ++i)
      t[i] = z[i] + 0.5 * hstep * k1[i];
    Vec6 k2 = rhs(s + 0.5 * hstep, t);
    for (int i = 0; i < 6; ++i)
      t[i] = z[i] + 0.5 * hstep * k2[i];
    Vec6 k3 = rhs(s + 0.5 * hstep, t);
    for (int i = 0; i < 6; ++i)
      t[i] = z[i] + hstep * k3[i];
    Vec6 k4 = rhs(s + hstep, t);
    for (int i = 0; i < 6; ++i)
      z[i] += hstep / 6 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
  }
  return z;
}

inline int steps_for(double length, double rate) {
  return 400 + static_cast<int>(std::abs(length) * (rate + 1.0) * 1500);
}

// Geometric slopes (x' = px/ps) to momenta and back, in a straight frame.
inline void to_momenta(Vec6 &z) {
  double d = z[5], n = std::sqrt(1 + z[1] * z[1] + z[3] * z[3]);
  z[1] = (1 + d) * z[1] / n;
  z[3] = (1 + d) * z[3] / n;
}
inline void to_slopes(Vec6 &z) {
  double d = z[5], ps = std::sqrt((1 + d) * (1 + d) - z[1] * z[1] - z[3] * z[3]);
  z[1] /= ps;
  z[3] /= ps;
}

// A straight magnet (quadrupole, sextupole, skew parts, solenoid) with hard edges: the
// solenoid's edge field -r/2 dBs/ds gives the impulses dpx = +-sol y, dpy = -+sol x.
inline Vec6 track_straight(const Field &f, double length, Vec6 z) {
  to_momenta(z);
  z[1] += f.sol * z[2];
  z[3] -= f.sol * z[0];
  double rate = std::sqrt(std::abs(f.k1)) + std::abs(f.sol) + std::abs(f.b3) + std::abs(f.a3);
  z = rk4([&](double, const Vec6 &v) { return body_rhs(f, v); }, z, 0, length,
          steps_for(length, rate));
  z[1] -= f.sol * z[2];
  z[3] += f.sol * z[0];
  to_slopes(z);
  return z;
}

// The bend: free flight to the entrance boundary Z = tan(beta) X + (H/2) sec^3(beta) X^2,
// impulse of the edge field Phi delta(n) n, body field back and forth to the reference
// planes (where the fringe lens acts), and the same in reverse at the exit. Everything is
// done in exact geometry, independently of the expansions of the maps.
struct BendModel {
  Field f;
  double length = 0;
  Edge in, out;
  Vec6 operator()(Vec6 z) const;

  double phi(double x, double y) const { // scalar potential of the body field
    return f.h * y + f.k1 * x * y + f.b3 * x * x * y - (f.b3 + 0.5 * f.h * f.k1) * y * y * y / 3;
  }
  Vec6 body(Vec6 z, double s0, double s1) const {
    double rate = std::sqrt(std::abs(f.h * f.h + f.k1)) + std::sqrt(std::abs(f.k1)) + 1.0;
    return rk4([&](double, const Vec6 &v) { return body_rhs(f, v); }, z, s0, s1,
               steps_for(s1 - s0, rate) / 4 + 40);
  }
  // Thin vertical lens of the finite fringe: dpy = -h y [tan(beta - psi/(1+delta)) - tan beta].
  void fringe(Vec6 &z, const Edge &e) const {
    double psi = 2 * e.fint_gap * f.h * (1 + std::sin(e.beta) * std::sin(e.beta)) / std::cos(e.beta);
    z[3] -= f.h * z[2] * (std::tan(e.beta - psi / (1 + z[5])) - std::tan(e.beta));
  }
  // Impulse (t x n) Phi/|t.n| in a straight frame; n = +-(-slope, 0, 1).
  void kick(double &px, double &py, double &pz, double slope, double phi_value,
            double sign) const {
    double nx = -slope * sign, nz = sign, nn = std::sqrt(nx * nx + nz * nz);
    nx /= nn;
    nz /= nn;
    double p = std::sqrt(px * px + py * py + pz * pz);
    double tx = px / p, ty = py / p, tz = pz / p;
    double dot = std::abs(tx * nx + tz * nz);
    double cx = ty * nz, cy = tz * nx - tx * nz, cz = -ty * nx;
    px += cx * phi_value / dot;
    py += cy * phi_value / dot;
    pz += cz * phi_value / dot;
  }
};

inline Vec6 BendModel::operator()(Vec6 zin) const {
  double h = f.h, r = 1 / h, sg = h > 0 ? 1.0 : -1.0;
  double d = zin[5];
  // Entrance: straight line X = x + x' Z, Y = y + y' Z to the boundary.
  double x = zin[0], xp = zin[1], y = zin[2], yp = zin[3];
  double tb = std::tan(in.beta), c3 = in.curvature / std::pow(std::cos(in.beta), 3);
  // Z = tb (x + xp Z) + (c3/2)(x + xp Z)^2: root nearest zero.
  double qa = 0.5 * c3 * xp * xp, qb = tb * xp + c3 * x * xp - 1, qc = tb * x + 0.5 * c3 * x * x;
  double q = -0.5 * (qb + std::copysign(std::sqrt(qb * qb - 4 * qa * qc), qb));
  double zc = qc / q; // the root near zero, without cancellation
  double norm = std::sqrt(1 + xp * xp + yp * yp);
  double path = zc * norm;
  double X = x + xp * zc, Y = y + yp * zc, Z = zc;
  double P = 1 + d, PX = P * xp / norm, PY = P * yp / norm, PZ = P / norm;
  // Curved coordinates of the crossing point.
  double hs_angle = std::atan2(sg * Z, sg * (X + r));
  double xc = sg * std::sqrt((X + r) * (X + r) + Z * Z) - r;
  double sc = hs_angle / h;
  kick(PX, PY, PZ, tb + c3 * X, phi(xc, Y), 1.0);
  double ca = std::cos(hs_angle), sa = std::sin(hs_angle);
  Vec6 z{xc, PX * ca + PZ * sa, Y, PY, zin[4], d};
  z = body(z, sc, 0.0);
  fringe(z, in);
  z = body(z, 0.0, length);
  fringe(z, out);
  // Exit: find s where the body trajectory meets Z' = -tan(beta2) X' - (H2/2) sec^3 X'^2.
  double tb2 = std::tan(out.beta), c32 = out.curvature / std::pow(std::cos(out.beta), 3);
  auto exit_frame = [&](const Vec6 &v, double s, double &Xe, double &Ze) {
    double a = h * (s - length);
    Xe = (r + v[0]) * std::cos(a) - r;
    Ze = (r + v[0]) * std::sin(a);
  };
  auto gap = [&](double s, Vec6 &v) {
    v = body(z, length, s);
    double Xe, Ze;
    exit_frame(v, s, Xe, Ze);
    return Ze + tb2 * Xe + 0.5 * c32 * Xe * Xe;
  };
  double s0 = length, s1 = length - tb2 * z[0] * 1.0001 - 1e-9;
  Vec6 v0, v1;
  double g0 = gap(s0, v0), g1 = gap(s1, v1);
  for (int it = 0; it < 60 && g1 != g0; ++it) {
    double s2 = s1 - g1 * (s1 - s0) / (g1 - g0);
    s0 = s1;
    g0 = g1;
    v0 = v1;
    s1 = s2;
    g1 = gap(s1, v1);
    if (std::abs(g1) < 1e-17)
      break;
  }
  Vec6 v = v1;
  double a = h * (s1 - length), Xe, Ze;
  exit_frame(v, s1, Xe, Ze);
  double pxc = v[1], pyc = v[3];
  double psc = std::sqrt((1 + d) * (1 + d) - pxc * pxc - pyc * pyc);
  double ca2 = std::cos(a), sa2 = std::sin(a);
  PX = pxc * ca2 - psc * sa2;
  PZ = pxc * sa2 + psc * ca2;
  PY = pyc;
  kick(PX, PY, PZ, -(tb2 + c32 * Xe), phi(v[0], v[2]), -1.0);
  // Free flight from Z' = Ze to Z' = 0.
  double dz = -Ze;
  Vec6 zout{Xe + PX / PZ * dz, PX / PZ, v[2] + PY / PZ * dz, PY / PZ, 0.0, d};
  double seg = dz * std::sqrt(PX * PX + PY * PY + PZ * PZ) / PZ;
  // Path: free flight in, the body from sc to s1 (its arc plus the difference l), free out.
  zout[4] = v[4] + (path - sc) + (s1 - length) + seg;
  return zout;
}

// Map by finite differences of a flow: symmetric differences for R, and second differences
// extrapolated (Richardson, step a and 2a) for T. Amplitudes per coordinate in amp.
inline TransferMap differentiate(const Flow &flow, const Vec6 &amp) {
  TransferMap m;
  m.clear();
  auto eval = [&](int j, double aj, int k, double ak) {
    Vec6 z{};
    if (j >= 0)
      z[j] += aj;
    if (k >= 0)
      z[k] += ak;
    return flow(z);
  };
  Vec6 zero = eval(-1, 0, -1, 0);
  for (int j = 0; j < 6; ++j) {
    double a = amp[j];
    auto first = [&](double s) {
      Vec6 p = eval(j, s, -1, 0), q = eval(j, -s, -1, 0);
      Vec6 r{};
      for (int i = 0; i < 6; ++i)
        r[i] = (p[i] - q[i]) / (2 * s);
      return r;
    };
    Vec6 r1 = first(a * 0.01), r2 = first(a * 0.02);
    for (int i = 0; i < 6; ++i)
      m.R(i + 1, j + 1) = (4 * r1[i] - r2[i]) / 3;
  }
  for (int j = 0; j < 6; ++j)
    for (int k = j; k < 6; ++k) {
      auto second = [&](double s) {
        Vec6 r{};
        if (j == k) {
          Vec6 p = eval(j, s * amp[j], -1, 0), q = eval(j, -s * amp[j], -1, 0);
          for (int i = 0; i < 6; ++i)
            r[i] = (p[i] + q[i] - 2 * zero[i]) / (2 * s * s * amp[j] * amp[j]);
        } else {
          Vec6 pp = eval(j, s * amp[j], k, s * amp[k]), pm = eval(j, s * amp[j], k, -s * amp[k]);
          Vec6 mp = eval(j, -s * amp[j], k, s * amp[k]), mm = eval(j, -s * amp[j], k, -s * amp[k]);
          for (int i = 0; i < 6; ++i)
            r[i] = (pp[i] - pm[i] - mp[i] + mm[i]) / (4 * s * s * amp[j] * amp[k]);
        }
        return r;
      };
      Vec6 t1 = second(1.0), t2 = second(2.0);
      for (int i = 0; i < 6; ++i)
        m.T(i + 1, j + 1, k + 1) = (4 * t1[i] - t2[i]) / 3;
    }
  return m;
}

} // namespace vorax::test
