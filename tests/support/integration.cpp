// The integration reference: Runge-Kutta through the exact equations of motion of straight
// magnets, sector bodies, soft-edged bends and the accelerating quadrupole.
#include "support/integration.h"

#include <cmath>

namespace vorax::test {

namespace {

// Exact equations in the curved frame with kinetic momenta over p0 as variables:
// state (x, px, y, py, l, delta), l the path-length difference (carried as a difference so
// that no precision is lost against the length of the element).
Vec6 body_rhs(const Field &f, const Vec6 &z) {
  double x = z[0], px = z[1], y = z[2], py = z[3], d = z[5];
  double ps = std::sqrt((1 + d) * (1 + d) - px * px - py * py);
  double hs = 1 + f.h * x;
  double by = f.h + f.k1 * x - f.a2 * y + f.b3 * x * x - (f.b3 + 0.5 * f.h * f.k1) * y * y -
              2 * f.a3 * x * y;
  double bx = f.k1 * y + f.a2 * x + 2 * f.b3 * x * y + f.a3 * (x * x - y * y);
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

// Fixed steps, so that the flow is a smooth function of its start and finite differences of it
// are clean: about 190 per unit of length and rate keep the maps derived from the flow within
// 1e-11 (R) and 1e-10 (T) of their converged values, a hundredth of what the tests resolve.
int steps_for(double length, double rate) {
  return 50 + static_cast<int>(std::abs(length) * (rate + 1.0) * 190);
}

// Geometric slopes (x' = px/ps) to momenta and back, in a straight frame.
void to_momenta(Vec6 &z) {
  double d = z[5], n = std::sqrt(1 + z[1] * z[1] + z[3] * z[3]);
  z[1] = (1 + d) * z[1] / n;
  z[3] = (1 + d) * z[3] / n;
}
void to_slopes(Vec6 &z) {
  double d = z[5], ps = std::sqrt((1 + d) * (1 + d) - z[1] * z[1] - z[3] * z[3]);
  z[1] /= ps;
  z[3] /= ps;
}

} // namespace

// A straight magnet (quadrupole, sextupole, skew parts, solenoid) with hard edges: the
// solenoid's edge field -r/2 dBs/ds gives the impulses dpx = +-sol y, dpy = -+sol x.
Vec6 track_straight(const Field &f, double length, Vec6 z) {
  to_momenta(z);
  z[1] += f.sol * z[2];
  z[3] -= f.sol * z[0];
  double rate = std::sqrt(std::abs(f.k1) + std::abs(f.a2)) + std::abs(f.sol) + std::abs(f.b3) +
                std::abs(f.a3);
  z = rk4([&](double, const Vec6 &v) { return body_rhs(f, v); }, z, 0, length,
          steps_for(length, rate));
  z[1] -= f.sol * z[2];
  z[3] += f.sol * z[0];
  to_slopes(z);
  return z;
}

// Slopes are hs px/ps at both ends.
Vec6 sector_body(const Field &f, double length, Vec6 z) {
  double hs = 1 + f.h * z[0], d = z[5];
  double ps = (1 + d) / std::sqrt(1 + (z[1] * z[1] + z[3] * z[3]) / (hs * hs));
  z[1] = ps * z[1] / hs;
  z[3] = ps * z[3] / hs;
  z = rk4([&](double, const Vec6 &v) { return body_rhs(f, v); }, z, 0, length,
          steps_for(length, std::sqrt(std::abs(f.h * f.h + f.k1)) + std::sqrt(std::abs(f.k1))));
  hs = 1 + f.h * z[0];
  ps = std::sqrt((1 + d) * (1 + d) - z[1] * z[1] - z[3] * z[3]);
  z[1] = hs * z[1] / ps;
  z[3] = hs * z[3] / ps;
  return z;
}

// Thin vertical lens of the finite fringe, the kick of the potential
// V = (h y^2/2) [tan(beta - psi/(1+delta)) - tan beta]: dpy = -dV/dy, dl = -dV/d(delta).
void BendModel::fringe(Vec6 &z, const Edge &e) const {
  double psi = 2 * e.fint_gap * f.h * (1 + std::sin(e.beta) * std::sin(e.beta)) / std::cos(e.beta);
  double arg = e.beta - psi / (1 + z[5]), sec2 = 1 + std::tan(arg) * std::tan(arg);
  z[3] -= f.h * z[2] * (std::tan(arg) - std::tan(e.beta));
  z[4] -= 0.5 * f.h * z[2] * z[2] * sec2 * psi / ((1 + z[5]) * (1 + z[5]));
}

// The body over a span of arc (either sign).
Vec6 BendModel::body(Vec6 z, double span) const {
  double rate = std::sqrt(std::abs(f.h * f.h + f.k1)) + std::sqrt(std::abs(f.k1)) + 1.0;
  return rk4([&](double, const Vec6 &v) { return body_rhs(f, v); }, z, 0.0, span,
             steps_for(span, rate) / 2 + 10);
}

// Boundary function N (> 0 inside the magnet) and its derivatives at X, Z.
void BendModel::boundary(const Edge &e, double side, double X, double Z, double &n, double &nx,
                         double &nz, double &lap) {
  double t = std::tan(e.beta), c3 = e.curvature / std::pow(std::cos(e.beta), 3);
  n = side * Z - t * X - 0.5 * c3 * X * X;
  nx = -t - c3 * X;
  nz = side;
  lap = -c3;
}

// Through the soft edge, state (X, PX, Y, PY, l, delta) in a straight frame, Z from z0 to z1
// with the boundary near zc. The steps follow Z = zc + a sinh(w) for uniform w: eps/25 where
// the field rises, growing where it is constant (a tenth of the steps of a uniform grid of
// eps/100, with maps that agree with it to 1e-9).
Vec6 BendModel::layer(const Edge &e, double side, Vec6 v, double z0, double z1, double zc) const {
  auto rhs = [&](double Z, const Vec6 &w) {
    double X = w[0], y = w[2], d = w[5];
    double pz = std::sqrt((1 + d) * (1 + d) - w[1] * w[1] - w[3] * w[3]);
    double xp = w[1] / pz, yp = w[3] / pz;
    double n, nx, nz, lap;
    boundary(e, side, X, Z, n, nx, nz, lap);
    double th = std::tanh(n / eps);
    double f0 = 0.5 * (1 + th), f1 = 0.5 * (1 - th * th) / eps,
           f2 = -th * (1 - th * th) / (eps * eps);
    double g = f.h + f.k1 * X + f.b3 * X * X, g1 = f.k1 + 2 * f.b3 * X, g2 = 2 * f.b3;
    double G = g * f0, gx = g1 * f0 + g * f1 * nx, gz = g * f1 * nz;
    double lapg = g2 * f0 + 2 * g1 * f1 * nx + g * (f2 * (nx * nx + nz * nz) + f1 * lap);
    double bx = y * gx, bz = y * gz, by = G - 0.5 * y * y * lapg;
    return Vec6{
        xp, yp * bz - by, yp, bx - xp * bz, ((w[1] * w[1] + w[3] * w[3]) / (1 + d + pz)) / pz, 0.0};
  };
  const double a = 2 * eps, w0 = std::asinh((z0 - zc) / a), w1 = std::asinh((z1 - zc) / a);
  const int n = static_cast<int>((w1 - w0) * 50) + 1;
  double from = z0;
  for (int k = 1; k <= n; ++k) {
    double to = k == n ? z1 : zc + a * std::sinh(w0 + k * (w1 - w0) / n);
    v = rk4(rhs, v, from, to, 1);
    from = to;
  }
  return v;
}

Vec6 BendModel::operator()(Vec6 zin) const {
  double h = f.h, r = 1 / h, sg = h > 0 ? 1.0 : -1.0, d = zin[5];
  double l = zin[4], half = 20 * eps;
  // Entrance: free line X = x + x' Z to the start of the layer, N = -half.
  double x = zin[0], xp = zin[1], y = zin[2], yp = zin[3];
  double tb = std::tan(in.beta), c3 = in.curvature / std::pow(std::cos(in.beta), 3);
  double qa = 0.5 * c3 * xp * xp, qb = tb * xp + c3 * x * xp - 1;
  double qc = tb * x + 0.5 * c3 * x * x - half;
  double q = -0.5 * (qb + std::copysign(std::sqrt(qb * qb - 4 * qa * qc), qb));
  double za = qc / q; // the root near zero, without cancellation
  double norm = std::sqrt(1 + xp * xp + yp * yp);
  l += za * (xp * xp + yp * yp) / (norm + 1);
  Vec6 v{x + xp * za, (1 + d) * xp / norm, y + yp * za, (1 + d) * yp / norm, 0.0, d};
  double zb = za + 2.4 * half;
  v = layer(in, 1.0, v, za, zb, za + half);
  l += v[4];
  // Curved coordinates of the point and momenta in the turned frame there.
  double X = v[0], Z = zb;
  double angle = std::atan2(sg * Z, sg * (X + r));
  // x = |(X + r, Z)| - |r| written without cancellation.
  double xc =
      sg * (X * X + 2 * X * r + Z * Z) / (std::sqrt((X + r) * (X + r) + Z * Z) + std::abs(r));
  double sb = angle / h;
  double pzs = std::sqrt((1 + d) * (1 + d) - v[1] * v[1] - v[3] * v[3]);
  Vec6 z{xc, v[1] * std::cos(angle) + pzs * std::sin(angle), v[2], v[3], 0.0, d};
  l += zb - sb;
  z = body(z, -sb);
  fringe(z, in);
  z = body(z, length);
  fringe(z, out);
  // Exit: the body trajectory to where it is half inside the boundary.
  // Positions are measured from the exit plane (s1 = arc offset) to keep their precision.
  auto exit_point = [&](const Vec6 &w, double off, double &Xe, double &Ze) {
    double a = h * off, half_sin = std::sin(0.5 * a);
    Xe = w[0] * std::cos(a) - 2 * r * half_sin * half_sin;
    Ze = (r + w[0]) * std::sin(a);
  };
  auto inside = [&](double off, Vec6 &w) {
    w = body(z, off);
    double Xe, Ze, n, nx, nz, lap;
    exit_point(w, off, Xe, Ze);
    boundary(out, -1.0, Xe, Ze, n, nx, nz, lap);
    return n - half;
  };
  double s0 = 0.0, s1 = -std::tan(out.beta) * z[0] * 1.0001 - 1.5 * half;
  Vec6 w0, w1;
  double g0 = inside(s0, w0), g1 = inside(s1, w1);
  for (int it = 0; it < 60 && g1 != g0; ++it) {
    double s2 = s1 - g1 * (s1 - s0) / (g1 - g0);
    s0 = s1;
    g0 = g1;
    s1 = s2;
    g1 = inside(s1, w1);
    if (std::abs(g1) < 1e-22)
      break;
  }
  l += w1[4];
  double Xe, Ze;
  exit_point(w1, s1, Xe, Ze);
  double a = h * s1;
  double psc = std::sqrt((1 + d) * (1 + d) - w1[1] * w1[1] - w1[3] * w1[3]);
  Vec6 u{Xe, w1[1] * std::cos(a) - psc * std::sin(a), w1[2], w1[3], 0.0, d};
  l += s1 - Ze;
  double ze_end = Ze + 2.4 * half;
  u = layer(out, -1.0, u, Ze, ze_end, Ze + half);
  l += u[4];
  double pz = std::sqrt((1 + d) * (1 + d) - u[1] * u[1] - u[3] * u[3]);
  double xo = u[1] / pz, yo = u[3] / pz, dz = -ze_end;
  double n2 = std::sqrt(1 + xo * xo + yo * yo);
  l += dz * (xo * xo + yo * yo) / (n2 + 1);
  return Vec6{u[0] + xo * dz, xo, u[2] + yo * dz, yo, l, d};
}

// The state carries P - E_ref(s) rather than P, whose rounding would swamp delta.
Vec6 QuadacModel::operator()(Vec6 z) const {
  double g_ref = gain_per_m * std::cos(phi0);
  double p = e_in * (1 + z[5]), n = std::sqrt(1 + z[1] * z[1] + z[3] * z[3]);
  Vec6 v{z[0], p * z[1] / n, z[2], p * z[3] / n, z[4], e_in * z[5]};
  auto rhs = [&](double s, const Vec6 &w) {
    double pt = e_in + g_ref * s + w[5];
    double ps = std::sqrt(pt * pt - w[1] * w[1] - w[3] * w[3]);
    double xp = w[1] / ps, yp = w[3] / ps;
    return Vec6{xp,
                -k1 * e_in * w[0],
                yp,
                k1 * e_in * w[2],
                (xp * xp + yp * yp) / (std::sqrt(1 + xp * xp + yp * yp) + 1),
                gain_per_m * (std::cos(phi0 - wave * w[4]) - std::cos(phi0))};
  };
  v = rk4(rhs, v, 0, length, steps_for(length, std::sqrt(std::abs(k1)) + 1));
  double e_out = e_in + g_ref * length, pt = e_out + v[5];
  double ps = std::sqrt(pt * pt - v[1] * v[1] - v[3] * v[3]);
  return Vec6{v[0], v[1] / ps, v[2], v[3] / ps, v[4], v[5] / e_out};
}

// Map by finite differences of a flow: symmetric differences for R, and second differences
// extrapolated (Richardson, step a and 2a) for T. Amplitudes per coordinate in amp.
TransferMap differentiate(const Flow &flow, const Vec6 &amp) {
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

// The bend map in the hard-edge limit: finite differences (amplitude 1e-5) at edge widths
// eps, 2 eps, 4 eps, extrapolated to zero width (errors c1 eps + c2 eps^2 removed).
TransferMap bend_map(BendModel model, double eps) {
  const Vec6 amp{1e-5, 1e-5, 1e-5, 1e-5, 1e-5, 1e-5};
  TransferMap m[3];
  for (int k = 0; k < 3; ++k) {
    model.eps = eps * (1 << k);
    m[k] = differentiate(model, amp);
  }
  TransferMap out;
  for (int i = 1; i <= 6; ++i)
    for (int c = 1; c <= 27; ++c)
      out(i, c) = (8 * m[0](i, c) - 6 * m[1](i, c) + m[2](i, c)) / 3;
  return out;
}

} // namespace vorax::test
