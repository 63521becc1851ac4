// RMAT: seven particles through one turn of the tracking loop; after every position the matrix
// of finite differences, printed whole or over an interval, with the centroid before and after
// and the normal modes of the transverse motion.
#include "track/tracked_matrix.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/limits.h"
#include "common/linear_algebra.h"
#include "common/messages.h"
#include "common/result_table.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/deferred_data.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "track/closed_orbit.h"
#include "track/particle_kernels.h"
#include "track/tracking_areas.h"
#include "track/tracking_loop.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace vorax {

namespace {

constexpr int ZERO_STEP = 289;
constexpr int PART_LOST = 288;

void say(const std::string &text) {
  write_record(control.output_unit, text);
}

std::string six(const double v[6]) {
  std::string line = " ";
  for (int k = 0; k < 6; ++k)
    line += fE(v[k], 15, 7);
  return line;
}

// Reads the operation's one record into crmat and the interval list.
void read_record(const DataRecord &r) {
  auto value = [&](int k) { return k >= 1 && k <= r.count ? r.value(k) : 0.0; };
  for (int k = 0; k < 6; ++k) {
    crmat.reference[k] = value(k + 1);
    crmat.step[k] = value(k + 7);
  }
  // A delta of exactly 1 asks for the closed orbit of the latest MOVE. Without one the design
  // orbit, the axis, is taken, and the listing says so.
  if (value(6) == 1.0) {
    const bool found = ctune.found != 0;
    if (!found)
      engine_message(" RMAT: NO CLOSED ORBIT FROM MOVE IS KNOWN; THE REFERENCE IS THE AXIS");
    for (int k : {0, 1, 2, 3, 5})
      crmat.reference[k] = found ? ctune.orbit(k + 1) : 0.0;
    crmat.reference[4] = 0.0;
  }
  crmat.option_a = truncated(value(13));
  const int n = truncated(value(14));
  crmat.intervals = n;
  // The analysis values follow the option B, which follows the intervals (none when n < 0).
  const int j = n < 0 ? 14 : 14 + 2 * n;
  crmat.option_b = r.count == j ? 0 : truncated(value(j + 1));
  for (int k = 0; k < 8; ++k)
    crmat.extra[k] = crmat.option_b > 0 ? value(j + 2 + k) : 0.0;
  if (cprt.selection == 1) {
    crmat.intervals = trace.nintv;
    return;
  }
  if (n > MXLIST) {
    engine_message(" **** TOO MANY INTERVALS ");
    engine_message(" CHANGE MXLIST PARAMETER TO VALUE NEEDED");
    engine_stop(2);
  }
  const int pairs = std::max(n, 0);
  mat.nint = pairs;
  mat.intervals(0) = 2 * pairs;
  for (int k = 1; k <= 2 * pairs; ++k)
    mat.intervals(k) = truncated(value(k + 14));
}

void start_particles() {
  trace.nturn = 1;
  trace.iturn = 0;
  trace.npart = trace.nlive = 7;
  trace.nprint = -2;
  plt.nplot = -1;
  alive.flag.fill(1);
  trace.pcoord.fill(0.0);
  trace.canonical = 0;
  for (int i = 1; i <= 7; ++i) {
    for (int k = 1; k <= 6; ++k)
      trace.pcoord(i, k) = crmat.reference[k - 1];
    if (i >= 2)
      trace.pcoord(i, i - 1) += crmat.step[i - 2];
    trace.pcoord(i, 7) = trace.pcoord(i, 6);
  }
}

// The particle's coordinates in geometric variables, whatever the store holds.
void geometric(int i, double z[6]) {
  double c[6];
  for (int k = 0; k < 6; ++k)
    c[k] = trace.pcoord(i, k + 1);
  if (trace.canonical == 1)
    ncvar(c, z, sym.scale(1) != 0.0 ? sym.scale(1) : 1.0);
  else
    std::copy_n(c, 6, z);
}

double det2(const Matrix<double, 6, 6> &m, int r, int c) {
  return m(r, c) * m(r + 1, c + 1) - m(r, c + 1) * m(r + 1, c);
}

void print_analysis(const Matrix<double, 6, 6> &m);

// RMAT's table while its call runs (with --tables): one row per matrix printed.
ResultTable *matrix_table = nullptr;

void table_row(int p, const Matrix<double, 6, 6> &m, double length) {
  if (matrix_table == nullptr)
    return;
  matrix_table->cell(chinp.elname(blank.mseq(p)).trimmed()).cell(p).cell(length);
  for (int i = 1; i <= 6; ++i)
    for (int k = 1; k <= 6; ++k)
      matrix_table->cell(m(i, k));
}

void print(int p, const Matrix<double, 6, 6> &m, double length) {
  table_row(p, m, length);
  const int option = crmat.option_a > 10 ? 1 : -1;
  if (control.print_level > 0)
    say(" AFTER ELEMENT :" + fI(p, 6) + "=" + chinp.elname(blank.mseq(p)).str());
  prco(crmat.reference, option, 1);
  if (tracked_matrix_seam.hooks().print_matrix != nullptr) {
    TransferMap map;
    map.clear();
    for (int i = 1; i <= 6; ++i)
      for (int k = 1; k <= 6; ++k)
        map.R(i, k) = m(i, k);
    tracked_matrix_seam.hooks().print_matrix(map, 0, 1, length);
  }
  if (control.print_level > 0) {
    say(" DET A=" + fE(det2(m, 1, 1), 15, 7) + " DET B=" + fE(det2(m, 1, 3), 15, 7));
    say(" DET C=" + fE(det2(m, 3, 3), 15, 7) + " DET D=" + fE(det2(m, 3, 1), 15, 7));
  }
  prco(crmat.output, option, 2);
  if (crmat.option_b > 0)
    print_analysis(m);
}

std::string e(double v) {
  return fE(v, 15, 7);
}

void print_2x2(const char *title, const double a[2][2]) {
  say(title);
  for (int i = 0; i < 2; ++i) {
    std::string line = " ";
    line += e(a[i][0]);
    line += e(a[i][1]);
    say(line);
  }
}

// The analysis of option B, value 1 of its eight the tolerance of the symplectic check (1e-6
// when 0); a matrix that fails it is analysed all the same, with a warning.
void print_analysis(const Matrix<double, 6, 6> &m) {
  double t[4][4];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      t[i][j] = m(i + 1, j + 1);
  const NormalModes modes = normal_modes(t);
  const double tolerance = crmat.extra[0] > 0.0 ? crmat.extra[0] : 1e-6;
  say(" Symplectic check" + e(modes.symplectic_error) +
      (modes.symplectic_error > tolerance ? "  NOT SYMPLECTIC WITHIN" + e(tolerance) : ""));
  if (!modes.decomposed) {
    say(" motion 1 is unstable, analysis stopped ");
    return;
  }
  print_2x2(" matrix a is ", modes.a);
  print_2x2(" matrix b is ", modes.b);
  for (int k = 0; k < 2; ++k) {
    const std::string n = std::to_string(k + 1);
    if (!modes.stable[k]) {
      say(" motion " + n + " is unstable, analysis stopped ");
      return;
    }
    say(" mu" + n + " = " + e(modes.mu[k]) + " nu" + n + " = " + e(modes.mu[k] / const_.twopi) +
        " beta" + n + " = " + e(modes.beta[k]) + " alpha" + n + " = " + e(modes.alpha[k]));
  }
}

} // namespace

void prco(const double v[6], int mode, int which) {
  if (mode == -1) {
    say(which == 1 ? " THE INPUT COORDINATES OF THE BEAM CENTROID ARE :"
                   : " THE OUTPUT COORDINATES OF THE BEAM CENTROID ARE :");
    say(six(v));
    return;
  }
  // Element definitions the lattice language reads back (a blank carriage control ahead): the
  // entrance kick takes the centroid to the axis, the exit kick puts it back.
  const double sign = which == 1 ? -1.0 : 1.0;
  say(which == 1 ? " * ENTRANCE KICK TO SHIFT CENTROID OF BEAM "
                 : " * EXIT KICK TO SHIFT CENTROID OF BEAM ");
  say(std::string(which == 1 ? " KIN:GKICK,DX=" : " KOUT:GKICK,DX=") + e(sign * v[0]) +
      ",DXP=" + e(sign * v[1]) + "       &");
  say(" ,DY=" + e(sign * v[2]) + ",DYP=" + e(sign * v[3]) + "      &");
  say(" ,DL=" + e(sign * v[4]) + ",DP=" + e(sign * v[5]));
}

void rmpre(int, int &end_flag) {
  bool read = false;
  read_rmat_data(end_flag, [&](const DataRecord &r) {
    read_record(r);
    read = true;
  });
  if (!read)
    return;
  // A step of 0 gives no difference to divide by.
  for (int k = 0; k < 6; ++k)
    if (crmat.step[k] == 0.0) {
      engine_message(" RMAT: STEP SIZE D" + std::to_string(k + 1) +
                     " IS 0, NO MATRIX CAN BE FORMED. JOB IS ABORTED ");
      engine_stop(ZERO_STEP);
    }
  crmat.cursor = 1;
  crmat.start.fill(0.0);
  for (int i = 1; i <= 6; ++i)
    crmat.start(i, i) = 1.0;
  crmat.start_s = 0.0;
  ResultTable table("rmat", "MATRIX");
  table.text("UNITS", "S in m: the length the matrix spans; R11 .. R66 in the units of x, x', "
                      "y, y', l, delta");
  table.column("NAME", TfsType::text).column("NUMBER", TfsType::integer).column("S");
  for (const char i : {'1', '2', '3', '4', '5', '6'})
    for (const char k : {'1', '2', '3', '4', '5', '6'})
      table.column(std::string{'R', i, k});
  struct Scope {
    ~Scope() { matrix_table = nullptr; }
  } scope;
  matrix_table = result_tables_wanted() ? &table : nullptr;
  start_particles();
  crmat.collecting = 1;
  trackt();
  crmat.collecting = 0;
  if (matrix_table != nullptr)
    write_result_table(table);
  if (trace.nlive == 0) {
    engine_message("  ALL PARTICLES WERE LOST, JOB IS ABORTED ");
    engine_stop(PART_LOST);
  }
}

void rmat(int p) {
  // A lost particle leaves its coordinates where it was lost: no matrix can be formed from it.
  // When the last of them went at this position, the stop is that of a pass that lost them all.
  if (trace.nlive < 7) {
    crmat.collecting = 0;
    engine_message(
        trace.nlive == 0
            ? "  ALL PARTICLES WERE LOST, JOB IS ABORTED "
            : "  PARTICLES WERE LOST DURING RMAT, NO MATRIX CAN BE FORMED. JOB IS ABORTED ");
    engine_stop(PART_LOST);
  }
  enum { NONE, FULL, INTERVAL } action = NONE;
  bool store = false;
  const int n = crmat.intervals;
  const int npos = mat.npos;
  if (n < 1) {
    if (p == npos)
      action = FULL;
  } else if (crmat.cursor <= 2 * n) {
    int &c = crmat.cursor;
    const int f = mat.intervals(c), g = mat.intervals(c + 1);
    if (f != g && p == 1 && f == 1) {
      crmat.start.fill(0.0);
      for (int i = 1; i <= 6; ++i)
        crmat.start(i, i) = 1.0;
      crmat.start_s = 0.0;
      return;
    }
    if (p == g) {
      action = f == g ? FULL : INTERVAL;
      c += 2;
    }
    // The matrix before the first position of the pair now walked starts its interval (also
    // when the pair just printed was a single position).
    store = c <= 2 * n && p + 1 == mat.intervals(c);
  }
  if (action == NONE && cprt.selection == 1) {
    int cursor = 0, result = 0;
    prttst(p, cursor, result);
    if (result != 0)
      action = FULL;
  }
  if (action == NONE && !store)
    return;
  double ref[6], z[6];
  geometric(1, ref);
  Matrix<double, 6, 6> &r = crmat.matrix;
  for (int k = 1; k <= 6; ++k) {
    geometric(k + 1, z);
    for (int i = 1; i <= 6; ++i)
      r(i, k) = (z[i - 1] - ref[i - 1]) / crmat.step[k - 1];
  }
  std::copy_n(ref, 6, crmat.output);
  const double s = blank.path_length(p);
  if (action == FULL)
    print(p, r, s);
  if (action == INTERVAL) {
    // R over the interval is R times the inverse of R at its start; a singular start matrix has
    // none, and the interval is not printed (the stored matrix stays as it was).
    Matrix<double, 6, 6> inverse = crmat.start;
    double det = 0.0;
    int l[6], m[6];
    dminv(inverse.data(), 6, det, l, m);
    if (det == 0.0) {
      engine_message(" RMAT: THE MATRIX AT THE START OF THE INTERVAL ENDING AT" + fI(p, 6) +
                     " IS SINGULAR, NO INTERVAL MATRIX IS PRINTED");
    } else {
      Matrix<double, 6, 6> product;
      for (int i = 1; i <= 6; ++i)
        for (int k = 1; k <= 6; ++k) {
          double sum = 0.0;
          for (int j = 1; j <= 6; ++j)
            sum += r(i, j) * inverse(j, k);
          product(i, k) = sum;
        }
      print(p, product, s - crmat.start_s);
    }
  }
  if (store) {
    crmat.start = r;
    crmat.start_s = s;
  }
}

NormalModes normal_modes(const double t[4][4]) {
  NormalModes out;
  // T^t J T - J with J the unit symplectic form of two planes.
  auto jform = [](int i, int j) {
    if (i / 2 != j / 2)
      return 0.0;
    return (i % 2 == 0 && j % 2 == 1) ? 1.0 : (i % 2 == 1 && j % 2 == 0) ? -1.0 : 0.0;
  };
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0.0;
      for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b)
          sum += t[a][i] * jform(a, b) * t[b][j];
      out.symplectic_error = std::max(out.symplectic_error, std::fabs(sum - jform(i, j)));
    }
  // Blocks: M (x), N (y), m (x from y), n (y from x); the symplectic conjugate of a 2x2 block
  // is its adjugate.
  using M2 = std::array<std::array<double, 2>, 2>;
  auto block = [&](int r, int c) {
    M2 b;
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j)
        b[i][j] = t[r + i][c + j];
    return b;
  };
  auto bar = [](const M2 &a) { return M2{{{a[1][1], -a[0][1]}, {-a[1][0], a[0][0]}}}; };
  auto mul = [](const M2 &a, const M2 &b) {
    M2 c{};
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j)
        c[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j];
    return c;
  };
  auto add = [](const M2 &a, const M2 &b, double f) {
    M2 c;
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j)
        c[i][j] = a[i][j] + f * b[i][j];
    return c;
  };
  const M2 bm = block(0, 0), bn = block(2, 2), um = block(0, 2), ln = block(2, 0);
  const M2 h = add(um, bar(ln), 1.0);
  const double deth = h[0][0] * h[1][1] - h[0][1] * h[1][0];
  const double dtr = (bm[0][0] + bm[1][1]) - (bn[0][0] + bn[1][1]);
  const double disc = dtr * dtr + 4.0 * deth;
  if (disc < 0.0)
    return out;
  double gamma = 1.0;
  M2 c{};
  if (disc > 0.0) {
    gamma = std::sqrt(0.5 + 0.5 * std::fabs(dtr) / std::sqrt(disc));
    const double sign = dtr < 0.0 ? -1.0 : 1.0;
    c = add(c, h, -sign / (gamma * std::sqrt(disc)));
  }
  const M2 cb = bar(c);
  // A = g^2 M - g (m C^ + C n) + C N C^,  B = g^2 N + g (C^ m + n C) + C^ M C.
  const M2 a = add(add(add(M2{}, bm, gamma * gamma), add(mul(um, cb), mul(c, ln), 1.0), -gamma),
                   mul(mul(c, bn), cb), 1.0);
  const M2 b = add(add(add(M2{}, bn, gamma * gamma), add(mul(cb, um), mul(ln, c), 1.0), gamma),
                   mul(mul(cb, bm), c), 1.0);
  out.decomposed = true;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      out.a[i][j] = a[i][j];
      out.b[i][j] = b[i][j];
    }
  const M2 *modes[2] = {&a, &b};
  for (int k = 0; k < 2; ++k) {
    const M2 &u = *modes[k];
    const double cosmu = (u[0][0] + u[1][1]) / 2;
    if (!(std::fabs(cosmu) < 1.0))
      continue;
    const double sinmu = std::copysign(std::sqrt(1.0 - cosmu * cosmu), u[0][1]);
    out.stable[k] = true;
    double mu = std::atan2(sinmu, cosmu);
    if (mu < 0.0)
      mu += 2.0 * std::acos(-1.0);
    out.mu[k] = mu;
    out.beta[k] = u[0][1] / sinmu;
    out.alpha[k] = (u[0][0] - u[1][1]) / (2.0 * sinmu);
  }
  return out;
}

} // namespace vorax
