// MOVE (twan): reads the operation, iterates the closed orbit of every momentum deviation by
// one-turn tracking of a pentagon of particles (enanal), analyses each plane of the one-turn
// matrix (movmt) and stores the machine tunes of the first deviation for TUNE and RMAT; the same
// pentagon iteration over several turns finds the fixed points of the resonance study.
#include "optics/energy_scan.h"

#include "common/control.h"
#include "common/format.h"
#include "common/linear_algebra.h"
#include "common/messages.h"
#include "common/result_table.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/deferred_data.h"
#include "engine/operation_data.h"
#include "optics/matrix_operation.h"
#include "track/closed_orbit.h"
#include "track/particle_kernels.h"
#include "track/tracking_areas.h"
#include "track/tracking_loop.h"
#include "track/tracking_steps.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace vorax {

namespace {

// Unit offsets (x, x', y, y') of the five particles around the closed-orbit estimate: the x
// offsets go round a regular pentagon, the y offsets visit its points in another order.
constexpr double PENTAGON[5][4] = {
    {1.0, 0.0, 1.0, 0.0},
    {0.309017, 0.951057, 0.309017, 0.951057},
    {-0.809017, 0.587785, -0.809016, -0.587785},
    {-0.809017, -0.587785, 0.309017, -0.951056},
    {0.309017, -0.951056, -0.809017, 0.587785},
};

// An I - M whose determinant is this small has an eigenvalue 1 to within rounding (a tune on an
// integer): it has no unique closed orbit.
constexpr double SINGULAR_DETERMINANT = 1e-14;

// The relative rounding error of a one-turn matrix measured on the pentagon.
constexpr double ROUNDING = 1e-12;

void say(const std::string &text) {
  write_record(control.output_unit, text);
}

// The particle of energy e and pentagon corner j in the store (surviving energies only).
struct Placement {
  Table<int, 1, MAX_ENERGIES> first; // store index of corner 1; 0 when the energy is lost
};

// Particles to the store at the closed-orbit estimates, for one tracked turn.
void place_particles(Placement &where, bool print) {
  int n = 0;
  for (int e = 1; e <= cmove.ne; ++e) {
    where.first(e) = 0;
    if (cmove.alive(e) == 0)
      continue;
    where.first(e) = n + 1;
    for (int j = 0; j < 5; ++j) {
      ++n;
      for (int k = 1; k <= 4; ++k)
        trace.pcoord(n, k) = cmove.orbit(e, k) + cmove.amplitude * PENTAGON[j][k - 1];
      trace.pcoord(n, 5) = cmove.orbit(e, 5);
      trace.pcoord(n, 6) = cmove.delta(e);
      trace.pcoord(n, 7) = cmove.delta(e);
      alive.flag(n) = 1;
    }
  }
  if (print && control.print_level > 2) {
    say(" INITIAL POSITIONS OF PARTICLES ");
    for (int i = 1; i <= n; ++i) {
      std::string line = " " + fI(i, 4);
      for (int k = 1; k <= 6; ++k)
        line += fE(trace.pcoord(i, k), 14, 5);
      say(line);
    }
  }
  trace.npart = n;
  trace.nlive = n;
}

// Turns of the store in geometric variables, without the tracking printout or plots; a quiet
// search does not report its losses.
void track_turns(int turns, int print_option, bool quiet = false) {
  trace.quiet_losses = quiet ? 1 : 0;
  trace.canonical = 0;
  trace.iturn = 0;
  trace.nturn = turns;
  trace.nprint = print_option;
  trace.nintv = 0;
  plt.nplot = -1;
  trackt();
  if (trace.canonical == 1) {
    const double b0 = tracking_mode().b0;
    for (int i = 1; i <= trace.npart; ++i) {
      double z[6], g[6];
      for (int k = 0; k < 6; ++k)
        z[k] = trace.pcoord(i, k + 1);
      ncvar(z, g, b0);
      for (int k = 0; k < 6; ++k)
        trace.pcoord(i, k + 1) = g[k];
    }
    trace.canonical = 0;
  }
  trace.quiet_losses = 0;
}

// The affine map of five tracked particles (store indices first..first+4) that started at
// center plus amplitude times the pentagon offsets: with the initial coordinates (x, x', y,
// y', 1) as the columns of A and the final ones as those of F, [M m] A = F.
bool affine_map(const double center[4], double amplitude, int first, Matrix<double, 4, 4> &m,
                double column[4]) {
  double a[25], f[20];
  for (int j = 0; j < 5; ++j) {
    for (int k = 0; k < 4; ++k) {
      a[k + 5 * j] = center[k] + amplitude * PENTAGON[j][k];
      f[k + 4 * j] = trace.pcoord(first + j, k + 1);
    }
    a[4 + 5 * j] = 1.0;
  }
  double det = 0.0;
  int l[5], w[5];
  dminv(a, 5, det, l, w);
  if (det == 0.0)
    return false;
  // [M m] = F A^-1: row i of F times column c of the inverse.
  for (int i = 0; i < 4; ++i)
    for (int c = 0; c < 5; ++c) {
      double v = 0.0;
      for (int j = 0; j < 5; ++j)
        v += f[i + 4 * j] * a[j + 5 * c];
      if (c < 4)
        m(i + 1, c + 1) = v;
      else
        column[i] = v;
    }
  return true;
}

bool one_turn_map(int e, int first) {
  double center[4], column[4];
  for (int k = 0; k < 4; ++k)
    center[k] = cmove.orbit(e, k + 1);
  if (!affine_map(center, cmove.amplitude, first, cmove.m(e), column))
    return false;
  for (int k = 0; k < 4; ++k)
    cmove.column(e, k + 1) = column[k];
  return true;
}

double determinant4(const Matrix<double, 4, 4> &m) {
  double a[16];
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      a[(i - 1) + 4 * (j - 1)] = m(i, j);
  double det = 0.0;
  int l[4], w[4];
  dminv(a, 4, det, l, w);
  return det;
}

// The fixed point x of the affine map (M, m): (I - M) x = m; false when I - M is singular.
bool affine_fixed_point(const Matrix<double, 4, 4> &m, const double column[4], double x[4]) {
  double a[16];
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      a[(i - 1) + 4 * (j - 1)] = (i == j ? 1.0 : 0.0) - m(i, j);
  double det = 0.0;
  int l[4], w[4];
  dminv(a, 4, det, l, w);
  if (std::fabs(det) < SINGULAR_DETERMINANT)
    return false;
  for (int i = 0; i < 4; ++i) {
    x[i] = 0.0;
    for (int j = 0; j < 4; ++j)
      x[i] += a[i + 4 * j] * column[j];
  }
  return true;
}

// New closed-orbit estimate of energy e; false (the estimate kept) when I - M is singular.
bool closed_orbit(int e) {
  double column[4], x[4];
  for (int k = 0; k < 4; ++k)
    column[k] = cmove.column(e, k + 1);
  if (!affine_fixed_point(cmove.m(e), column, x))
    return false;
  for (int k = 0; k < 4; ++k)
    cmove.orbit(e, k + 1) = x[k];
  return true;
}

void print_iteration(int e, double det) {
  say(" -----     THE ANALYSIS FOR ENERGY" + fE(cmove.delta(e), 15, 7));
  if (control.print_level > 2) {
    say(" THE TRANSFER MATRIX IS ");
    for (int i = 1; i <= 4; ++i) {
      std::string line = " ";
      for (int j = 1; j <= 4; ++j)
        line += fE(cmove.m(e)(i, j), 15, 5);
      line += fE(cmove.column(e, i), 15, 5);
      say(line);
    }
  }
  if (control.print_level >= 1)
    say(" THE DETERMINANT IS: " + fE(det, 15, 7));
}

void print_orbit(int e) {
  say(" THE CLOSED ORBIT IS");
  say(" XCO=" + fE(cmove.orbit(e, 1), 15, 7) + "   X\"CO=" + fE(cmove.orbit(e, 2), 15, 7) +
      "   ZCO=" + fE(cmove.orbit(e, 3), 15, 7) + "   Z\"CO=" + fE(cmove.orbit(e, 4), 15, 7));
}

// The closed orbits found, tracked once more through the machine with the given listing
// control of the tracking printout.
void detailed_orbits(int print_option) {
  say(" ************************************");
  say(" *    DETAILED CLOSED ORBIT DATA    *");
  say(" ************************************");
  int n = 0;
  for (int e = 1; e <= cmove.ne; ++e) {
    if (cmove.alive(e) == 0)
      continue;
    ++n;
    for (int k = 1; k <= 5; ++k)
      trace.pcoord(n, k) = cmove.orbit(e, k);
    trace.pcoord(n, 6) = cmove.delta(e);
    trace.pcoord(n, 7) = cmove.delta(e);
    alive.flag(n) = 1;
  }
  trace.npart = n;
  trace.nlive = n;
  track_turns(1, print_option);
}

} // namespace

void block_eigen_solution(const Matrix<double, 4, 4> &m, int plane, Analc &out) {
  const int i = 2 * plane - 1;
  const double r11 = m(i, i), r12 = m(i, i + 1), r21 = m(i + 1, i), r22 = m(i + 1, i + 1);
  const double c = 0.5 * (r11 + r22);
  const double root = std::sqrt(std::max(0.0, c * c - (r11 * r22 - r12 * r21)));
  out.cosmu(plane) = c;
  for (int w = 1; w <= 2; ++w) {
    const double lambda = w == 1 ? c + root : c - root;
    // (M - lambda) v = 0 from the first row, or the second when the first vanishes; a multiple
    // of the unit matrix has every vector as eigenvector: the coordinate axes are taken.
    double vx = -r12, vxp = r11 - lambda;
    if (vx == 0.0 && vxp == 0.0) {
      vx = lambda - r22;
      vxp = r21;
    }
    if (vx == 0.0 && vxp == 0.0) {
      vx = w == 1 ? 1.0 : 0.0;
      vxp = w == 1 ? 0.0 : 1.0;
    }
    const double norm = std::hypot(vx, vxp);
    out.eigenvalue(plane, w) = lambda;
    out.eigenvector(plane)(1, w) = vx / norm;
    out.eigenvector(plane)(2, w) = vxp / norm;
  }
}

bool fixed_point(int e, int turns, double z[4], Matrix<double, 4, 4> &m) {
  constexpr int steps = 20;
  // A step that leaves a larger residual than the point it came from overshot (the map of
  // several turns bends away within a step): it is halved, up to this many times.
  constexpr int halvings = 8;
  const double amplitude = cmove.amplitude;
  double previous = 0.0;
  double before[4] = {}, last[4] = {}, residual_before = 0.0;
  int halved = 0;
  for (int iteration = 1; iteration <= steps + halvings; ++iteration) {
    for (int j = 0; j < 5; ++j) {
      for (int k = 1; k <= 4; ++k)
        trace.pcoord(j + 1, k) = z[k - 1] + amplitude * PENTAGON[j][k - 1];
      trace.pcoord(j + 1, 5) = cmove.orbit(e, 5);
      trace.pcoord(j + 1, 6) = cmove.delta(e);
      trace.pcoord(j + 1, 7) = cmove.delta(e);
      alive.flag(j + 1) = 1;
    }
    trace.npart = trace.nlive = 5;
    track_turns(turns, -2, true);
    for (int j = 1; j <= 5; ++j)
      if (alive.flag(j) == 0)
        return false;
    // The map is fitted about z, on the offsets from z: a fit in absolute coordinates would
    // lose the digits of |z| / amplitude, far more than the test below allows when the point
    // lies millimetres out and the pentagon is a nanometre. Its constant column is then the
    // residual F(z) - z.
    const double origin[4] = {0.0, 0.0, 0.0, 0.0};
    for (int j = 1; j <= 5; ++j)
      for (int k = 1; k <= 4; ++k)
        trace.pcoord(j, k) -= z[k - 1];
    double column[4], step[4];
    if (!affine_map(origin, amplitude, 1, m, column))
      return false;
    double residual = 0.0, size = amplitude;
    for (int k = 0; k < 4; ++k) {
      residual += std::fabs(column[k]);
      size += std::fabs(z[k]);
    }
    if (!std::isfinite(residual))
      return false;
    if (iteration > 1 && residual > residual_before && residual > 1e-9 * size &&
        halved < halvings) {
      ++halved;
      for (int k = 0; k < 4; ++k) {
        last[k] *= 0.5;
        z[k] = before[k] + last[k];
      }
      continue;
    }
    halved = 0;
    if (!affine_fixed_point(m, column, step))
      return false;
    double change = 0.0;
    for (int k = 0; k < 4; ++k) {
      before[k] = z[k];
      last[k] = step[k];
      change += std::fabs(step[k]);
      z[k] += step[k];
    }
    residual_before = residual;
    // A start far from any fixed point can send the step out of the finite numbers.
    if (!std::isfinite(change))
      return false;
    // Away from the closed orbit the tracked points carry rounding errors that the fit turns
    // into steps of some 1e-10 of the size: a step that no longer shrinks tenfold has reached
    // that floor.
    if (change <= 1e-12 * size || (change <= 1e-9 * size && change > 0.1 * previous))
      return true;
    previous = change;
  }
  return false;
}

bool track_points(int e, int turns, double (*z)[4], int n) {
  for (int j = 1; j <= n; ++j) {
    for (int k = 1; k <= 4; ++k)
      trace.pcoord(j, k) = z[j - 1][k - 1];
    trace.pcoord(j, 5) = cmove.orbit(e, 5);
    trace.pcoord(j, 6) = cmove.delta(e);
    trace.pcoord(j, 7) = cmove.delta(e);
    alive.flag(j) = 1;
  }
  trace.npart = trace.nlive = n;
  track_turns(turns, -2, true);
  bool kept = true;
  for (int j = 1; j <= n; ++j) {
    kept = kept && alive.flag(j) != 0;
    for (int k = 1; k <= 4; ++k) {
      z[j - 1][k - 1] = trace.pcoord(j, k);
      kept = kept && std::isfinite(z[j - 1][k - 1]);
    }
  }
  return kept;
}

namespace {

struct MoveData {
  double settings[12] = {};
  double deviations[MAX_ENERGIES] = {};
  int energies = 0;
  double plot[7] = {};
  bool complete = false;
};

void read_move(int &end_flag, MoveData &d) {
  read_move_data(end_flag, [&d](const DataRecord &r) {
    const std::string role = r.role;
    if (role == "SETTINGS") {
      for (int k = 1; k <= std::min(r.count, 12); ++k)
        d.settings[k - 1] = r.value(k);
      d.complete = true;
    } else if (role == "DEVIATIONS") {
      d.energies = r.count;
      for (int k = 1; k <= std::min(r.count, MAX_ENERGIES); ++k)
        d.deviations[k - 1] = r.value(k);
    } else {
      for (int k = 1; k <= std::min(r.count, 7); ++k)
        d.plot[k - 1] = r.value(k);
    }
  });
}

} // namespace

void enanal(int iterations, bool last_only) {
  Placement where;
  for (int n = 1; n <= iterations; ++n) {
    const bool printed = !last_only || n == iterations;
    place_particles(where, printed);
    track_turns(1, -2);
    bool any = false;
    for (int e = 1; e <= cmove.ne; ++e) {
      if (where.first(e) == 0)
        continue;
      for (int j = 0; j < 5; ++j)
        if (alive.flag(where.first(e) + j) == 0)
          cmove.alive(e) = 0;
      any = any || cmove.alive(e) != 0;
    }
    if (!any) {
      engine_message(" OPERATION STOPPED DUE TO LOSS OF PARTICLES ");
      engine_stop(304);
    }
    for (int e = 1; e <= cmove.ne; ++e) {
      if (cmove.alive(e) == 0)
        continue;
      // A pentagon of zero size has no extent to measure the map on.
      const double det = one_turn_map(e, where.first(e)) ? determinant4(cmove.m(e)) : 0.0;
      if (printed)
        print_iteration(e, det);
      if (std::fabs(det - 1.0) > 0.5) {
        engine_message(" THE DETERMINANT OF THE ONE-TURN MATRIX IS" + fE(det, 15, 7));
        engine_stop(305);
      }
      if (!closed_orbit(e) && printed)
        say(" I - M IS SINGULAR (A TUNE ON AN INTEGER): THE CLOSED-ORBIT ESTIMATE IS KEPT");
      if (printed)
        print_orbit(e);
    }
    if (n < iterations)
      cmove.amplitude *= 0.3;
  }
}

void movmt(int e, int plane) {
  const Matrix<double, 4, 4> &m = cmove.m(e);
  const int i = 2 * plane - 1;
  const double m11 = m(i, i), m12 = m(i, i + 1), m21 = m(i + 1, i), m22 = m(i + 1, i + 1);
  const double c = 0.5 * (m11 + m22);
  if (control.print_level > 2)
    say(" THE COS(MU) IS " + fE(c, 17, 10));
  cmove.stable(e, plane) = 0;
  cmove.nu(e, plane) = cmove.beta(e, plane) = cmove.alpha(e, plane) = 0.0;
  // A tracked matrix carries rounding errors of the order of ROUNDING: a half-trace within it
  // of +-1 is taken as on the edge of stability. There cos mu = -1 (a half-integer tune) has
  // no beta, sin mu vanishing, and is reported with its eigen-solution as an unstable plane.
  if (std::fabs(c) < 1.0 - ROUNDING) {
    double s = std::sqrt(1.0 - c * c);
    if (m12 < 0.0)
      s = -s;
    double mu = std::atan2(s, c);
    if (mu < 0.0)
      mu += const_.twopi;
    const double nu = mu / const_.twopi, b = m12 / s, a = (m11 - m22) / (2.0 * s);
    say(" MU = " + fE(mu, 17, 10) + "   NU = " + fE(nu, 17, 10));
    say(" A = " + fE(a, 17, 10) + "   B = " + fE(b, 17, 10));
    cmove.stable(e, plane) = 1;
    cmove.nu(e, plane) = nu;
    cmove.beta(e, plane) = b;
    cmove.alpha(e, plane) = a;
    return;
  }
  if (std::fabs(c - 1.0) <= ROUNDING && std::fabs(m12) <= ROUNDING && std::fabs(m21) <= ROUNDING) {
    say(" TRANSFER MATRIX IS THE IDENTITY.");
    return;
  }
  say(" MOVEMENT IS UNSTABLE.");
  Analc eigen;
  block_eigen_solution(m, plane, eigen);
  print_unstable_plane(eigen, plane);
}

namespace {

// The closed orbit's slope against the deviation at e, between its neighbours in the list
// (central with two, one-sided at the ends); nan where a neighbour is lost or there is none.
double orbit_slope(int e, int k) {
  const int lo = e > 1 ? e - 1 : e, hi = e < cmove.ne ? e + 1 : e;
  const bool usable =
      hi > lo && cmove.alive(lo) != 0 && cmove.alive(hi) != 0 && cmove.delta(hi) != cmove.delta(lo);
  return usable ? (cmove.orbit(hi, k) - cmove.orbit(lo, k)) / (cmove.delta(hi) - cmove.delta(lo))
                : std::numeric_limits<double>::quiet_NaN();
}

// MOVE's table: one row per momentum deviation analysed.
void movement_table() {
  if (!result_tables_wanted())
    return;
  ResultTable t("move", "MOVEMENT");
  t.text("UNITS", "BETX BETY X Y L DX DY in m; PX PY rad; DPX DPY rad per unit of DELTA");
  t.text("VARIABLES", "at the start of the machine, from the one-turn map tracked at each "
                      "deviation; DX .. DPY the slope of the closed orbit against DELTA");
  t.column("DELTA").column("ALIVE", TfsType::integer);
  t.column("STABLE_X", TfsType::integer).column("STABLE_Y", TfsType::integer);
  for (const char *name : {"Q1", "Q2", "BETX", "BETY", "ALFX", "ALFY", "X", "PX", "Y", "PY", "L",
                           "DX", "DPX", "DY", "DPY"})
    t.column(name);
  for (int e = 1; e <= cmove.ne; ++e) {
    t.cell(cmove.delta(e)).cell(cmove.alive(e)).cell(cmove.stable(e, 1)).cell(cmove.stable(e, 2));
    t.cell(cmove.nu(e, 1)).cell(cmove.nu(e, 2)).cell(cmove.beta(e, 1)).cell(cmove.beta(e, 2));
    t.cell(cmove.alpha(e, 1)).cell(cmove.alpha(e, 2));
    for (int k = 1; k <= 5; ++k)
      t.cell(cmove.orbit(e, k));
    for (int k = 1; k <= 4; ++k)
      t.cell(orbit_slope(e, k));
  }
  write_result_table(t);
}

} // namespace

void twan(int, int &end_flag) {
  MoveData d;
  read_move(end_flag, d);
  if (!d.complete)
    return;
  const double *v = d.settings;
  const int listing = truncated(v[0]), second = truncated(v[1]);
  cmove.order = truncated(v[2]);
  // No iteration would leave the one-turn matrix undefined: at least one is made.
  const int iterations = std::max(truncated(std::fabs(v[3]) + 0.1), 1);
  const bool last_only = truncated(v[3] - 0.1) < 0;
  const int ne = truncated(v[4] + 0.01);
  if (ne > MAX_ENERGIES) {
    engine_message(" *****TOO MANY ENERGIES:OPERATION STOPPED******");
    cmove.order = 0;
    return;
  }
  if (ne < 1) {
    engine_message(" *****NO ENERGY GIVEN:OPERATION STOPPED******");
    cmove.order = 0;
    return;
  }
  int nc = truncated(v[5]);
  if (nc > MAX_COEFFICIENTS) {
    engine_message(" *TOO MANY COEFS REQUESTED:VALUE DEFAULTED TO 9***");
    nc = MAX_COEFFICIENTS;
  }
  cmove.ne = ne;
  cmove.coefficients = nc;
  cmove.amplitude = v[6];
  cmove.first_amplitude = v[6];
  for (int e = 1; e <= ne; ++e) {
    for (int k = 1; k <= 5; ++k)
      cmove.orbit(e, k) = v[6 + k];
    cmove.delta(e) = d.deviations[e - 1];
    cmove.alive(e) = 1;
  }
  cmove.plot = truncated(d.plot[0]);
  for (int k = 1; k <= 4; ++k)
    cmove.plot_limits(k) = d.plot[k];
  cmove.plot_option1 = truncated(d.plot[5]);
  cmove.plot_option2 = truncated(d.plot[6]);

  enanal(iterations, last_only);

  say(" ***************************");
  say(" *    MOVEMENT ANALYSIS    *");
  say(" ***************************");
  reset_in_place(ctune);
  for (int e = 1; e <= ne; ++e) {
    if (cmove.alive(e) == 0)
      continue;
    say(" -----     ENERGY" + fE(cmove.delta(e), 15, 7));
    say(" HORIZONTAL MOVEMENT");
    movmt(e, 1);
    say(" VERTICAL MOVEMENT");
    movmt(e, 2);
  }
  if (cmove.alive(1) != 0) {
    ctune.found = 1;
    ctune.nux = cmove.nu(1, 1);
    ctune.nuy = cmove.nu(1, 2);
    ctune.betax = cmove.beta(1, 1);
    ctune.betay = cmove.beta(1, 2);
    ctune.alphax = cmove.alpha(1, 1);
    ctune.alphay = cmove.alpha(1, 2);
    for (int k = 1; k <= 5; ++k)
      ctune.orbit(k) = cmove.orbit(1, k);
    ctune.orbit(6) = cmove.delta(1);
  }
  movement_table();
  if (cmove.order > 1)
    res();
  lsq();
  if (cmove.plot == 1)
    ploten();
  if (listing != second)
    detailed_orbits(listing);
  cmove.order = 0;
}

} // namespace vorax
