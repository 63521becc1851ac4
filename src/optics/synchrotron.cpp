// Synchrotron-radiation integrals of the bends (closed forms over each body), and the radiation
// table: energy loss, damping, energy spread and equilibrium emittances over an energy range.
#include "optics/synchrotron.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/slots.h"
#include "common/units.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"

#include <cmath>

namespace vorax {

namespace {

void say(std::string_view text) {
  write_record(control.output_unit, text);
}

// Radiation constants for electrons, energies in GeV: energy loss per turn C_gamma/(2 pi) in
// MeV per metre^-1, half of it in GeV for the damping rates, and sqrt(C_q) gamma per GeV.
constexpr double LOSS_FACTOR = 0.014078691601753235;
constexpr double DAMPING_FACTOR = 7.039346201054286e-06;
constexpr double SPREAD_FACTOR = 0.001211334951221943;
// The radiation table never runs longer than this many energies.
constexpr int MAX_ENERGIES = 1000;

} // namespace

void radiation_functions(double u, double f[6]) {
  // Below |u| = 1 the closed forms lose digits to cancellation (phi - sin phi ~ phi^3/6, and
  // f5 ~ phi^5/10), so the power series in u, which converge fast there, are used instead.
  if (std::fabs(u) < 1.0) {
    double p = 1.0;    // (-u)^j
    double fact = 1.0; // (2j+1)!
    double four = 1.0; // 4^j
    for (int k = 1; k <= 5; ++k)
      f[k] = 0.0;
    for (int j = 0; j < 20; ++j) {
      const double f1 = fact;                           // (2j+1)!
      const double f2 = f1 * (2 * j + 2);               // (2j+2)!
      const double f3 = f2 * (2 * j + 3);               // (2j+3)!
      const double f5 = f3 * (2 * j + 4) * (2 * j + 5); // (2j+5)!
      f[1] += p / f1;
      f[2] += p / f2;
      f[3] += p / f3;
      f[4] += p * 4.0 * four / f3;
      f[5] += p * (16.0 * four - 4.0) / f5;
      p *= -u;
      fact = f3;
      four *= 4.0;
    }
    return;
  }
  const double phi = std::sqrt(std::fabs(u));
  const double c = u > 0.0 ? std::cos(phi) : std::cosh(phi);
  const double s = u > 0.0 ? std::sin(phi) : std::sinh(phi);
  f[1] = s / phi;
  f[2] = (1.0 - c) / u;
  f[3] = (phi - s) / (u * phi);
  f[4] = (phi - s * c) / (u * phi);
  f[5] = (3.0 * phi - 4.0 * s + s * c) / (u * u * phi);
}

BendIntegrals bend_integrals(const BendShape &bend, const EntranceFunctions &in) {
  BendIntegrals r;
  const double l = bend.length;
  const double h = bend.angle / l;
  const double u = (1.0 - bend.n) * bend.angle * bend.angle; // K l^2
  double f[6];
  radiation_functions(u, f);
  const double cphi = 1.0 - u * f[2];

  // The entrance edge is a thin lens of strength h tan(e1): it changes eta' and alpha only.
  const double t1 = std::tan(bend.e1), t2 = std::tan(bend.e2);
  const double eta = in.eta;
  const double etap1 = in.etap + t1 * eta * h;
  const double beta = in.beta;
  const double alpha1 = in.alpha - t1 * beta * h;
  const double gamma1 = (1.0 + alpha1 * alpha1) / beta;

  // Dispersion in the body: eta C + eta' S + h D with C = cos, S = sin/sqrt(K), D = (1-C)/K.
  const double eta_mean = f[1] * eta + f[2] * l * etap1 + f[3] * l * l * h;
  const double eta_exit = cphi * eta + l * f[1] * etap1 + h * l * l * f[2];

  const double h2 = h * h, ah3 = std::fabs(h2 * h);
  r.i1 = eta_mean * l * h;
  r.i2 = l * h2;
  r.i3 = l * ah3;
  // Body term eta h (h^2 + 2 k1) with k1 = -n h^2, and the edge terms of both pole faces.
  r.i4 = eta_mean * l * h2 * h * (1.0 - 2.0 * bend.n) - (t1 * eta + t2 * eta_exit) * h2;
  // H along the body is the entrance Courant-Snyder form of (eta - h D, eta' + h S); its
  // average needs the means of S, D, S^2, D S and D^2: l f2, l^2 f3, l^2 f4/2, l^3 f2^2/2 and
  // l^4 f5/2.
  const double h_mean =
      gamma1 * eta * eta + 2.0 * alpha1 * eta * etap1 + beta * etap1 * etap1 +
      2.0 * h *
          ((alpha1 * eta + beta * etap1) * l * f[2] -
           (alpha1 * etap1 + gamma1 * eta) * l * l * f[3]) +
      h2 * l * l * (gamma1 * l * l * f[5] / 2.0 - alpha1 * l * f[2] * f[2] + beta * f[4] / 2.0);
  r.i5 = h_mean * l * ah3;
  return r;
}

void add_bend_integrals(int position) {
  if (position < 1 || position > mat.npos)
    return;
  const int k = blank.mseq(position);
  if (inputt.kode(k) != KODE_BEND)
    return;
  BendShape bend;
  double tilt = 0.0;
  if (!bend_shape(k, bend, tilt))
    return;
  const double half_pi = 0.5 * const_.pi;
  int plane = 1;
  bool reversed = false;
  if (std::fabs(tilt - half_pi) < 1e-4 || std::fabs(tilt + half_pi) < 1e-4) {
    // Rolled by +-90 degrees the bend deflects vertically, with curvature -h sin(tilt) in y.
    plane = 2;
    reversed = tilt > 0.0;
  } else {
    if (std::fabs(tilt) >= 1e-4 && !lum.tilt_warned) {
      say(" A BEND WITH A TILT OTHER THAN 0 OR 90 DEGREES WAS MET" +
          fF(tilt / const_.raddeg, 12, 6) + " SYNCHROTRON INTEGRALS MAY BE ERRONEOUS ");
      lum.tilt_warned = 1;
    }
    reversed = std::cos(tilt) < 0.0; // rolled upside down: it bends the other way
  }
  // Seen in a plane where it bends the other way, the bend is the mirror image of itself: its
  // faces turn the other way too, so that each edge keeps its focusing h tan(e).
  if (reversed) {
    bend.angle = -bend.angle;
    bend.e1 = -bend.e1;
    bend.e2 = -bend.e2;
  }
  EntranceFunctions in;
  in.beta = twf.beta(plane);
  in.alpha = twf.alpha(plane);
  in.eta = twf.eta(plane);
  in.etap = twf.etap(plane);
  const BendIntegrals r = bend_integrals(bend, in);
  lum.integral(plane, 1) += r.i1;
  lum.integral(plane, 2) += r.i2;
  lum.integral(plane, 3) += r.i3;
  lum.integral(plane, 4) += r.i4;
  lum.integral(plane, 5) += r.i5;
}

void radiation_summary() {
  const auto e15 = [](double v) { return fE(v, 15, 7); };
  say(" ");
  say("   SYNCHROTRON INTEGRALS ARE  ");
  for (int k = 1; k <= 5; ++k)
    say(" INTEGRAL X" + std::to_string(k) + "=" + fE(lum.integral(1, k), 18, 11) + "   INTEGRAL Y" +
        std::to_string(k) + "=" + fE(lum.integral(2, k), 18, 11));
  double s[5];
  for (int k = 1; k <= 4; ++k)
    s[k] = lum.integral(1, k) + lum.integral(2, k);
  const double length = func.map_length;
  lum.compaction = length != 0.0 ? s[1] / length : 0.0;
  if (std::fabs(s[2]) < 1e-30)
    return;
  const double i4x = lum.integral(1, 4), i4y = lum.integral(2, 4);
  const double i5x = lum.integral(1, 5), i5y = lum.integral(2, 5);
  const int n = func.interaction_points;
  lum.jx = 1.0 - i4x / s[2];
  lum.jy = 1.0 - i4y / s[2];
  lum.je = s[4] / s[2] + 2.0;
  lum.taurev = length * n / const_.clight;
  lum.frev = lum.taurev != 0.0 ? 1.0 / lum.taurev : 0.0;
  say(" LUMINOSITY RESULTS FOR OPTIMUM AND MAXIMUM COUPLING ONLY ");
  say(" TOTAL LENGTH = " + e15(length * n) + " (M)   # INTERACTION PTS = " + fI(n, 5) +
      " # BUNCHES = " + e15(func.bunches) + " DNU FOR OPTIMUM = " + e15(func.dnu));
  say(" MOMENTUM COMPACTION=" + e15(lum.compaction) + " JX=" + e15(lum.jx) + " JY=" + e15(lum.jy) +
      " JE=" + e15(lum.je));
  say(" TAUREV=" + e15(lum.taurev) + "(SEC)" + " FREV=" + e15(lum.frev) + "(HZ)");

  // Energies E0 + k step up to the end energy; the end is widened by a part in 1e9 of a step
  // so that an end reached by repeated steps is not lost to rounding. An end below the start
  // gives the start energy alone.
  const double e0 = func.energy_start;
  const double step = func.energy_step;
  const double e_end = std::max(func.energy_end, e0) + 1e-9 * step;
  for (int k = 0;; ++k) {
    const double e = e0 + k * step;
    if (e > e_end)
      break;
    if (k == MAX_ENERGIES) {
      say(" RADIATION TABLE CUT AFTER " + std::to_string(MAX_ENERGIES) + " ENERGIES");
      break;
    }
    lum.energy = e;
    lum.u0 = s[2] * e * e * e * e * LOSS_FACTOR * n;
    const double a = e * e * e * DAMPING_FACTOR * lum.frev * n;
    lum.ax = (s[2] - i4x) * a;
    lum.ay = (s[2] - i4y) * a;
    lum.ae = (2.0 * s[2] + s[4]) * a;
    lum.taux = 1.0 / lum.ax;
    lum.tauy = 1.0 / lum.ay;
    lum.taue = 1.0 / lum.ae;
    const double g = SPREAD_FACTOR * e;
    // Without longitudinal damping (2 I2 + I4 <= 0) there is no equilibrium; the size of the
    // ratio is still reported, as for the emittances.
    lum.sige = g * std::sqrt(std::fabs(s[3] / (2.0 * s[2] + s[4])));
    lum.epsx = g * g * std::fabs(i5x / (s[2] - i4x));
    lum.epsy = g * g * std::fabs(i5y / (s[2] - i4y));
    lum.sigx = std::sqrt(func.start(1) * lum.epsx);
    lum.sigy = std::sqrt(func.start(5) * lum.epsy);
    lum.sigxt = std::hypot(func.start(3) * lum.sige, lum.sigx);
    lum.sigyt = std::hypot(func.start(7) * lum.sige, lum.sigy);
    say("0ENERGY = " + e15(e) + "(GEV)" + " ENERGY LOSS =" + e15(lum.u0) + "(MEV/REV)");
    say(" AX=" + e15(lum.ax) + " AY=" + e15(lum.ay) + " AE=" + e15(lum.ae) + "(1/SEC)");
    say(" TAUX=" + e15(lum.taux) + " TAUY=" + e15(lum.tauy) + " TAUE=" + e15(lum.taue) + "(SEC)");
    say(" SIGE=" + e15(lum.sige));
    say(" EPSX=" + e15(lum.epsx) + " SIGX=" + e15(lum.sigx) + " SIGXT=" + e15(lum.sigxt));
    say(" EPSY=" + e15(lum.epsy) + " SIGY=" + e15(lum.sigy) + " SIGYT=" + e15(lum.sigyt));
    if (func.sync_option >= 2)
      lumin();
  }
}

} // namespace vorax
