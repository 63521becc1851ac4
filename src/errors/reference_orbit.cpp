// REFE: the closed orbit fitted by least squares on one tracked pass (forb), then followed
// position by position and reported with its statistics; BASE: closed three-kick bumps built
// with correctors at the machine's kicks. Both see the orbit through the tracking's orbit
// observation.
#include "errors/correctors.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/messages.h"
#include "common/minimiser.h"
#include "common/random_numbers.h"
#include "common/result_table.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "engine/deferred_data.h"
#include "engine/operation_data.h"
#include "track/particle_kernels.h"
#include "track/tracking_areas.h"
#include "track/tracking_loop.h"
#include "track/tracking_steps.h"

#include <cminpack.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace vorax {

namespace {

constexpr int NO_BEGIN_KICK = 210;
constexpr int NO_END_KICK = 211;

struct Orbrec {
  static constexpr bool machine_sized = true;
  bool on = false;
  MachineMatrix<double, 4> z{
      machine_limits().maxpos}; // (coordinate, position): the centroid after it
};
inline Orbrec orbrec;
inline const AreaRegistration orbrec_registration{reset_area<orbrec>};

// The fit of the closed orbit: the start vector with its free coordinates.
struct Refit {
  double start[6] = {};
  int free = 0;
  Cseeds seeds;
  double fvec[6] = {}, fjac[36] = {}, diag[6] = {}, qtf[6] = {};
  double wa1[6] = {}, wa2[6] = {}, wa3[6] = {}, wa4[6] = {};
  int ipvt[6] = {};
};
inline Refit refit;
inline const AreaRegistration refit_registration{reset_area<refit>};

// One pass of the particle from z, the orbit recorded position by position when asked.
bool track_once(const double z[6], bool record) {
  const double particle[1][6] = {{z[0], z[1], z[2], z[3], z[4], z[5]}};
  start_probe(particle, 1);
  orbrec.on = record;
  trackt();
  orbrec.on = false;
  return trace.nlive > 0;
}

} // namespace

bool orbit_observing() {
  return orbrec.on;
}

void orbit_observe(int position) {
  double mean[4];
  live_centroid(mean);
  for (int k = 0; k < 4; ++k)
    orbrec.z(k + 1, position) = mean[k];
}

// The residuals of the closed orbit: what one pass changes in the free coordinates of the
// start (1 m each when the particle is lost, far beyond any closed orbit).
int forb(void *, int m, int n, const double *x, double *fvec, int) {
  double z[6];
  std::copy_n(refit.start, 6, z);
  std::copy_n(x, n, z);
  cseeds = refit.seeds;
  const bool live = track_once(z, false);
  double end[6];
  for (int k = 0; k < 6; ++k)
    end[k] = trace.pcoord(1, k + 1);
  // The symplectic option's canonical modes leave the store in canonical variables.
  if (trace.canonical == 1) {
    double canonical[6];
    std::copy_n(end, 6, canonical);
    ncvar(canonical, end, tracking_mode().b0);
  }
  for (int k = 0; k < m; ++k)
    fvec[k] = live ? end[k] - x[k] : 1.0;
  return 0;
}

namespace {

double element_length(int p) {
  return p == 1 ? blank.path_length(1) : blank.path_length(p) - blank.path_length(p - 1);
}

// sqrt of the mean of the squares of coordinate k over positions first..last, each weighted
// by the length of its element (plain weights when the range has no length).
double integrated_rms(int k, int first, int last) {
  double sum = 0.0, length = 0.0, plain = 0.0;
  for (int p = first; p <= last; ++p) {
    const double v = orbrec.z(k, p);
    sum += v * v * element_length(p);
    length += element_length(p);
    plain += v * v;
  }
  if (last < first)
    return 0.0;
  return length > 0.0 ? std::sqrt(sum / length) : std::sqrt(plain / (last - first + 1));
}

void extreme(const char *what, const char *plane, int k, bool maximum) {
  int at = 1;
  for (int p = 2; p <= mat.npos; ++p)
    if (maximum ? orbrec.z(k, p) > orbrec.z(k, at) : orbrec.z(k, p) < orbrec.z(k, at))
      at = p;
  engine_message(std::string(" THE ") + what + " " + plane +
                 " ORBIT DISPLACEMENT IS :" + fE(orbrec.z(k, at), 15, 7) + " AT ELEMENT " +
                 chinp.elname(blank.mseq(at)).str() + " POSITION" + fI(at, 6));
}

void report_orbit(bool full, const double *pairs, int pair_values) {
  const int n = mat.npos;
  if (n < 1)
    return;
  if (full) {
    engine_message("1REFERENCE ORBIT DISPLACEMENTS");
    engine_message("  #    NAME        X          Y");
    for (int p = 1; p <= n; ++p)
      engine_message(" " + fI(p, position_width(5)) + "  " + chinp.elname(blank.mseq(p)).str() +
                     fE(orbrec.z(1, p), 15, 7) + fE(orbrec.z(3, p), 15, 7));
    const CorrectionHooks hooks = correction_seam.hooks();
    if (hooks.orbit_plot != nullptr) {
      std::vector<double> s(static_cast<std::size_t>(n)), x(s.size()), y(s.size());
      for (int p = 1; p <= n; ++p) {
        s[static_cast<std::size_t>(p - 1)] = blank.path_length(p);
        x[static_cast<std::size_t>(p - 1)] = orbrec.z(1, p);
        y[static_cast<std::size_t>(p - 1)] = orbrec.z(3, p);
      }
      engine_message(" REFERENCE ORBIT DISPLACEMENT PLOT");
      hooks.orbit_plot(s.data(), x.data(), y.data(), n, "X AND Y AGAINST S");
    }
  }
  double sx = 0.0, sy = 0.0;
  for (int p = 1; p <= n; ++p) {
    sx += orbrec.z(1, p) * orbrec.z(1, p);
    sy += orbrec.z(3, p) * orbrec.z(3, p);
  }
  engine_message(" THE RMS X ORBIT DISPLACEMENT IS :" + fE(std::sqrt(sx / n), 15, 7));
  engine_message(" THE RMS Y ORBIT DISPLACEMENT IS :" + fE(std::sqrt(sy / n), 15, 7));
  engine_message(" THE INTEGRATED RMS X ORBIT DISPLACEMENT IS :" +
                 fE(integrated_rms(1, 1, n), 15, 7));
  engine_message(" THE INTEGRATED RMS Y ORBIT DISPLACEMENT IS :" +
                 fE(integrated_rms(3, 1, n), 15, 7));
  extreme("MAXIMUM", "X", 1, true);
  extreme("MINIMUM", "X", 1, false);
  extreme("MAXIMUM", "Y", 3, true);
  extreme("MINIMUM", "Y", 3, false);
  for (int k = 0; k + 1 < pair_values; k += 2) {
    const int first = std::max(1, truncated(pairs[k]));
    const int last = std::min(n, truncated(pairs[k + 1]));
    engine_message(" BETWEEN POSITION" + fI(first, 6) + "  AND POSITION" + fI(last, 6) +
                   " INTEGRATED RMS X AND Y :" + fE(integrated_rms(1, first, last), 15, 7) +
                   fE(integrated_rms(3, first, last), 15, 7));
  }
}

// REFE's table: the orbit after every position, the start found and the statistics printed.
void orbit_table(int free) {
  if (!result_tables_wanted())
    return;
  const int n = mat.npos;
  double sx = 0.0, sy = 0.0;
  for (int p = 1; p <= n; ++p) {
    sx += orbrec.z(1, p) * orbrec.z(1, p);
    sy += orbrec.z(3, p) * orbrec.z(3, p);
  }
  ResultTable t("refe", "ORBIT");
  t.integer("FITTED", free).text("UNITS", "S, X, Y in m; PX, PY in rad");
  const char *start[6] = {"X0", "PX0", "Y0", "PY0", "L0", "DELTA0"};
  for (int k = 0; k < 6; ++k)
    t.real(start[k], refit.start[k]);
  t.real("RMS_X", std::sqrt(sx / n)).real("RMS_Y", std::sqrt(sy / n));
  t.real("INTEGRATED_RMS_X", integrated_rms(1, 1, n));
  t.real("INTEGRATED_RMS_Y", integrated_rms(3, 1, n));
  t.column("NAME", TfsType::text).column("NUMBER", TfsType::integer).column("S");
  t.column("X").column("PX").column("Y").column("PY");
  for (int p = 1; p <= n; ++p) {
    t.cell(chinp.elname(blank.mseq(p)).trimmed()).cell(p).cell(blank.path_length(p));
    for (int k = 1; k <= 4; ++k)
      t.cell(orbrec.z(k, p));
  }
  write_result_table(t);
}

} // namespace

// One record: value 1 the option (above 20: the closed orbit is fitted in all six coordinates;
// above 10: in x, x', y, y'; else the orbit from the given start is followed; what remains
// after taking off 20 or 10 is 1 or more for the table and plot, else the statistics only), values
// 2 to 7 the start (or the first guess) x, x', y, y', l, delta, then pairs of positions between
// which the integrated rms orbit is reported.
void reforb(int, int &end_flag) {
  double values[NINPUT] = {};
  int count = 0;
  read_refe_data(end_flag, [&](const DataRecord &r) {
    count = std::min(r.count, NINPUT);
    std::copy_n(r.values, count, values);
  });
  if (count == 0)
    return;
  int option = truncated(values[0]);
  reset_in_place(refit);
  refit.free = option > 20 ? 6 : option > 10 ? 4 : 0;
  option -= option > 20 ? 20 : option > 10 ? 10 : 0;
  for (int k = 0; k < 6 && k + 1 < count; ++k)
    refit.start[k] = values[k + 1];
  refit.seeds = cseeds;
  if (refit.free > 0) {
    double x[6];
    std::copy_n(refit.start, 6, x);
    const double tolerance = const_.lsq_tolerance;
    int nfev = 0;
    const int info =
        lmdif(forb, nullptr, refit.free, refit.free, x, refit.fvec, tolerance, tolerance, tolerance,
              20 * const_.max_call_factor, tolerance, refit.diag, 1, 100.0, 0, &nfev, refit.fjac,
              refit.free, refit.ipvt, refit.qtf, refit.wa1, refit.wa2, refit.wa3, refit.wa4);
    lmdmes(info, nfev);
    std::copy_n(x, refit.free, refit.start);
  }
  engine_message(" THE FITTED CLOSED ORBIT COORDINATES ARE :");
  std::string line = " ";
  for (double v : refit.start)
    line += fE(v, 21, 13);
  engine_message(line);
  cseeds = refit.seeds;
  track_once(refit.start, true);
  report_orbit(option >= 1, values + 7, std::max(count - 7, 0));
  if (mat.npos >= 1)
    orbit_table(refit.free);
}

namespace {

// The orbit after position c caused by a kick of angle theta (plane 1 x, 2 y) from the
// corrector i alone, relative to the orbit with no bump kick: (x at the centre of c, x').
void response(int i, int plane, double theta, int c, const double base[2], double out[2]) {
  const double keep = corr.value(plane, i);
  corr.value(plane, i) = keep + theta;
  const double origin[6] = {};
  track_once(origin, true);
  corr.value(plane, i) = keep;
  const int e = blank.mseq(c);
  const double rest = inputt.slot(e, slot::L) / 2 + inputt.slot(e, slot::gkick::DZ);
  const int k = plane == 1 ? 1 : 3;
  const double x = orbrec.z(k, c) - rest * orbrec.z(k + 1, c);
  out[0] = x - base[0];
  out[1] = orbrec.z(k + 1, c) - base[1];
}

} // namespace

// One record: value 1 the plane (1 x, 2 y, 3 both), value 2 the amplitude of the first kick of
// every bump (above 0 the rms of Gaussian amplitudes, below 0 the angle itself, sign and all: a
// user who writes -1E-3 means a kick of -1 mrad), value 3
// the one bump to build (0 every bump). The bumps run over the kicks of the machine, three at a
// time, each sharing its last kick with the next; the first kick is given and the other two
// close the bump in position and angle at the centre of its last kick.
void base(int, int &end_flag) {
  double values[3] = {};
  int count = 0;
  read_base_data(end_flag, [&](const DataRecord &r) {
    count = std::min(r.count, 3);
    std::copy_n(r.values, count, values);
  });
  const int n = mat.npos;
  if (n < 1 || inputt.kode(blank.mseq(1)) != KODE_GKICK) {
    engine_message("  YOUR FORGOT TO USE A KICK AT THE BEGINNING");
    engine_message(" OF THE MACHINE");
    engine_stop(NO_BEGIN_KICK);
  }
  if (inputt.kode(blank.mseq(n)) != KODE_GKICK) {
    engine_message("  YOUR FORGOT TO USE A KICK AT THE END");
    engine_message(" OF THE MACHINE");
    engine_stop(NO_END_KICK);
  }
  const int planes = truncated(values[0]);
  const double amplitude = values[1];
  const int only = truncated(values[2]);
  // The bumps' kicks become the corrector list: thin kicks, set, at every kick of the machine.
  reset_in_place(corr);
  for (int p = 1; p <= n; ++p) {
    if (inputt.kode(blank.mseq(p)) != KODE_GKICK || corr.count == machine_limits().maxcor)
      continue;
    const int i = ++corr.count;
    corr.element(i) = blank.mseq(p);
    corr.position(i) = p;
    corr.set(i) = true;
    corr.type(i) = 3;
  }
  corr.active = true;
  const int bumps = (corr.count - 1) / 2;
  RandomStream &stream = cseeds.monitor;
  if (stream.index == 0)
    stream.index = cseeds.master_seed;
  const Cseeds seeds = cseeds;
  int built = 0;
  for (int b = 1; b <= bumps; ++b) {
    if (only != 0 && b != only)
      continue;
    const int ia = 2 * b - 1, ib = 2 * b, ic = 2 * b + 1;
    const int c = corr.position(ic);
    for (int plane = 1; plane <= 2; ++plane) {
      if (planes != 3 && planes != plane)
        continue;
      const double theta = amplitude < 0.0 ? amplitude : amplitude * gauss(stream.index);
      const Cseeds kept = cseeds;
      cseeds = seeds;
      const double origin[6] = {};
      track_once(origin, true);
      const int e = blank.mseq(c);
      const double rest = inputt.slot(e, slot::L) / 2 + inputt.slot(e, slot::gkick::DZ);
      const int k = plane == 1 ? 1 : 3;
      const double before[2] = {orbrec.z(k, c) - rest * orbrec.z(k + 1, c), orbrec.z(k + 1, c)};
      // The orbit answers linearly to a small probe kick.
      const double probe = 1e-6;
      double ra[2], rb[2];
      cseeds = seeds;
      response(ia, plane, probe, c, before, ra);
      cseeds = seeds;
      response(ib, plane, probe, c, before, rb);
      cseeds = kept;
      if (std::fabs(rb[0]) <= 1e-12 * std::fabs(ra[0]) || rb[0] == 0.0) {
        engine_message("  BUMP" + fI(b, 4) + " CANNOT BE CLOSED: ITS MIDDLE AND LAST KICKS ARE" +
                       " HALF A PERIOD APART");
        continue;
      }
      const double ang1 = -theta * ra[0] / rb[0];
      const double ang2 = -(theta * ra[1] + ang1 * rb[1]) / probe;
      corr.value(plane, ia) += theta;
      corr.value(plane, ib) += ang1;
      corr.value(plane, ic) += ang2;
      if (control.print_level > 5) {
        engine_message(" IN BASE IP,IS,AL0,AL1,ALF,ANG1,ANG2,");
        engine_message(" " + fI(corr.position(ia), 6) + fI(corr.position(ib), 6) +
                       fE(ra[0] / probe, 15, 7) + fE(rb[0] / probe, 15, 7) + fE(theta, 15, 7) +
                       fE(ang1, 15, 7) + fE(ang2, 15, 7));
      }
      engine_message("  BUMP" + fI(b, 4) + (plane == 1 ? " X" : " Y") + " KICKS AT" +
                     fI(corr.position(ia), 6) + fI(corr.position(ib), 6) + fI(c, 6) + " ANGLES" +
                     fE(theta, 15, 7) + fE(ang1, 15, 7) + fE(ang2, 15, 7));
    }
    ++built;
  }
  engine_message(" NUMBER OF BUMPS BUILT :" + fI(built, 6));
}

} // namespace vorax
