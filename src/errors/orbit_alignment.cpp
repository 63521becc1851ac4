// ALIG: corrector values fitted so that the beam centroid read at chosen monitors, with the
// machine's misalignments and errors and the monitors' own reading errors, reaches its targets.
// Each evaluation tracks the ALIG particles through one pass of the machine, up to the last
// fitted monitor, with the random streams as they stood when ALIG began.
#include "errors/correctors.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/linear_algebra.h"
#include "common/messages.h"
#include "common/minimiser.h"
#include "common/random_numbers.h"
#include "common/result_table.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "engine/deferred_data.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "maps/element_maps.h"
#include "track/tracking_loop.h"

#include <cminpack.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace vorax {

namespace {

constexpr int TOO_LARGE = 0; // ARR MXLVAR MXLCOND
constexpr int NO_CORR = 201; // ALIG:NOCORR FOUND
constexpr int MORE_MONIT = 202;
constexpr int NO_MONITOR = 203;
constexpr int MON_OPTION = 204;
constexpr int BAD_PARAMETER = 205;
constexpr int MORE_CORR = 206;
// Parameters one varied element parameter sets besides itself.
constexpr int MAX_COUPLED = 6;

// Particles an ALIG beam may hold: a centroid is read, a few particles describe the beam.
constexpr int ALIG_PARTICLES = 1000;
// Step of the corrector values for the response of the linear variant (radians or metres):
// small enough for the orbit to answer linearly, far above the rounding of the orbit.
constexpr double RESPONSE_STEP = 1e-6;

// A parameter set to a * x + b from the variable x.
struct Coupling {
  int element = 0, slot = 0;
  double a = 0.0, b = 0.0;
};

struct Alig {
  int nv = 0, nm = 0;
  int steps = 1;          // |value 1|: minimisations (or linear solutions) one after the other
  bool listing = false;   // value 1 negative: the readings after every step
  int method = 0;         // value 2: 0 least squares on tracking, 1 linear response
  double error_rms = 0.0; // value 5: rms of the monitors' reading errors
  int error_option = 0;   // value 6: 0 none, 1 signs, 2 uniform, 3 Gaussian cut at 2, 4 at 6
  int particles = 0;
  double z[ALIG_PARTICLES][6] = {};
  int entries = 0;
  Table<int, 1, MXLVAR> corrector; // corrector index of each variable (0: an element parameter)
  Table<int, 1, MXLVAR> value;     // its value number, or the parameter's slot
  Table<int, 1, MXLVAR> element;   // the element of a parameter variable
  Table<int, 1, MXLVAR> coupled;   // couplings of a parameter variable
  Coupling coupling[MXLVAR][MAX_COUPLED] = {};
  Table<double, 1, MXLCND> reading_error;
  Cseeds seeds; // the random streams as ALIG found them
  int evaluations = 0;
};
inline Alig alig;
inline const AreaRegistration alig_registration{reset_area<alig>};

// Work space of the minimiser and of the linear variant.
struct Alwork {
  double fvec[MXLCND] = {};
  double fjac[MXLCND * MXLVAR] = {};
  double diag[MXLVAR] = {}, qtf[MXLVAR] = {}, wa1[MXLVAR] = {}, wa2[MXLVAR] = {};
  double wa3[MXLVAR] = {}, wa4[MXLCND] = {};
  int ipvt[MXLVAR] = {}, pivots[MXLVAR] = {};
  double x[MXLVAR] = {};
  double normal[MXLVAR * MXLVAR] = {};
};
inline Alwork alwork;
inline const AreaRegistration alwork_registration{reset_area<alwork>};

// The variables into the corrector table and the element parameters; the maps of the changed
// elements are rebuilt (no length is ever varied, so the path lengths stand).
void put_values(const double *x) {
  for (int j = 1; j <= alig.nv; ++j) {
    if (alig.corrector(j) != 0) {
      corr.value(alig.value(j), alig.corrector(j)) = x[j - 1];
      continue;
    }
    inputt.slot(alig.element(j), alig.value(j)) = x[j - 1];
    if (blank.matrix_number(alig.element(j)) > 0)
      matgen(alig.element(j));
    for (int c = 0; c < alig.coupled(j); ++c) {
      const Coupling &k = alig.coupling[j - 1][c];
      inputt.slot(k.element, k.slot) = k.a * x[j - 1] + k.b;
      if (blank.matrix_number(k.element) > 0)
        matgen(k.element);
    }
  }
}

// The residuals of the corrector values x: weight times (reading + reading error - target).
// A monitor the beam did not reach (every particle lost before it) reads 1 m, far beyond any
// orbit, so that the minimiser turns away from such values.
void residuals(const double *x, double *fvec) {
  put_values(x);
  cseeds = alig.seeds;
  for (int k = 1; k <= monfit.count; ++k)
    monfit.seen(k) = false;
  start_probe(alig.z, alig.particles);
  monfit.fitting = true;
  trackt();
  monfit.fitting = false;
  ++alig.evaluations;
  for (int k = 1; k <= monfit.count; ++k) {
    const double reading = monfit.seen(k) ? monfit.reading(k) + alig.reading_error(k) : 1.0;
    monfit.reading(k) = reading;
    fvec[k - 1] = monfit.weight(k) * (reading - monfit.target(k));
  }
}

double sum_of_squares(const double *fvec, int m) {
  double f = 0.0;
  for (int k = 0; k < m; ++k)
    f += fvec[k] * fvec[k];
  return f;
}

} // namespace

// The residual function handed to the minimiser.
int falct(void *, int, int, const double *x, double *fvec, int) {
  residuals(x, fvec);
  return 0;
}

namespace {

void print_block(const std::string &heading, int count, double (*value)(int)) {
  engine_message(heading);
  std::string line;
  for (int k = 1; k <= count; ++k) {
    line += fE(value(k), 15, 7);
    if (k % 5 == 0 || k == count) {
      engine_message(" " + line);
      line.clear();
    }
  }
}

double reading_of(int k) {
  return monfit.reading(k);
}
double target_of(int k) {
  return monfit.target(k);
}

void print_positions() {
  engine_message(" MONITOR POSITIONS ARE : ");
  std::string line;
  for (int k = 1; k <= monfit.count; ++k) {
    line += fI(monfit.position(k), 7);
    if (k % 10 == 0 || k == monfit.count) {
      engine_message(" " + line);
      line.clear();
    }
  }
}

// One minimisation by least squares on tracking.
void minimise() {
  const int m = alig.nm, n = alig.nv;
  const double tolerance = const_.lsq_tolerance;
  const int maxfev = 20 * const_.max_call_factor * (n + 1);
  int nfev = 0;
  const int info =
      lmdif(falct, nullptr, m, n, alwork.x, alwork.fvec, tolerance, tolerance, tolerance, maxfev,
            tolerance, alwork.diag, 1, 100.0, 0, &nfev, alwork.fjac, m, alwork.ipvt, alwork.qtf,
            alwork.wa1, alwork.wa2, alwork.wa3, alwork.wa4);
  lmdmes(info, nfev);
}

// One step of the linear variant: the response of every reading to every variable by one
// tracking each, and the values that cancel the residuals in the least-squares sense (the
// normal equations solved with the matrix inverse).
void linear_step() {
  const int m = alig.nm, n = alig.nv;
  double f0[MXLCND], f1[MXLCND];
  residuals(alwork.x, f0);
  double *response = alwork.fjac; // (k, j) at k + m * j
  for (int j = 0; j < n; ++j) {
    const double keep = alwork.x[j];
    const double step = RESPONSE_STEP * std::max(1.0, std::fabs(keep));
    alwork.x[j] = keep + step;
    residuals(alwork.x, f1);
    alwork.x[j] = keep;
    for (int k = 0; k < m; ++k)
      response[k + m * j] = (f1[k] - f0[k]) / step;
  }
  double *normal = alwork.normal;
  double right[MXLVAR];
  for (int i = 0; i < n; ++i) {
    right[i] = 0.0;
    for (int k = 0; k < m; ++k)
      right[i] -= response[k + m * i] * f0[k];
    for (int j = 0; j < n; ++j) {
      double a = 0.0;
      for (int k = 0; k < m; ++k)
        a += response[k + m * i] * response[k + m * j];
      normal[i + n * j] = a;
    }
  }
  double det = 0.0;
  dminv(normal, n, det, alwork.ipvt, alwork.pivots);
  if (det == 0.0) {
    engine_message(" THE RESPONSE OF THE MONITORS TO THE CORRECTORS IS SINGULAR: NO CHANGE");
    return;
  }
  for (int i = 0; i < n; ++i) {
    double dx = 0.0;
    for (int j = 0; j < n; ++j)
      dx += normal[i + n * j] * right[j];
    alwork.x[i] += dx;
  }
}

void read_settings(const DataRecord &r) {
  const int first = truncated(r.value(1));
  alig.listing = first < 0;
  alig.steps = std::max(1, std::abs(first));
  alig.method = truncated(r.value(2));
  alig.nv = truncated(r.value(3));
  alig.nm = truncated(r.value(4));
  alig.error_rms = r.value(5);
  alig.error_option = truncated(r.value(6));
  alig.particles = 0;
  if (alig.nm > MXLCND || alig.nv > MXLVAR || alig.nm < 0 || alig.nv < 0) {
    engine_message("  # OF CONDITIONS" + fI(alig.nm, 6) + " OR # OF VARIABLES" + fI(alig.nv, 6) +
                   " EXCEEDS" + " MAX # OF CONDITIONS" + fI(MXLCND, 6) + " MAX # OF VARIABLES" +
                   fI(MXLVAR, 6) + " CHANGE PARAMETERS MXLCND OR MXLVAR ACCORDINGLY ");
    engine_stop(TOO_LARGE);
  }
  if (alig.error_option < 0 || alig.error_option > 4) {
    engine_message(" ERROR IN MONITOR ERROR OPTION NUMBER " + fI(alig.error_option, 6));
    engine_stop(MON_OPTION);
  }
  // Each monitor reads both planes, so NM readings need at least half as many monitors: a
  // correction of both planes uses the x and the y reading of the same monitors.
  int monitors = 0;
  for (int p = 1; p <= mat.npos; ++p)
    if (inputt.kode(blank.mseq(p)) == KODE_MONITOR)
      ++monitors;
  if ((alig.nm + 1) / 2 > monitors) {
    engine_message(" OUT OF MONITORS TO MANY REQUIRED RUN STOPPED " + fI(monitors, 6) +
                   " MONITORS FOUND");
    engine_stop(MORE_MONIT);
  }
}

int slot_count(int element) {
  return inputt.iadr(element + 1) - inputt.iadr(element);
}

// A parameter that ALIG may set: one of the element's own, and not a length (the path lengths
// of the machine stay those of the design).
void check_parameter(const Name8 &name, int element, int slot) {
  const bool length =
      slot == slot::L || (inputt.kode(element) == KODE_GKICK && slot == slot::gkick::DZ);
  if (slot >= 1 && slot <= slot_count(element) && !length)
    return;
  engine_message("  PARAMETER # " + fI(slot, 4) + " OF " + name.str() +
                 " CANNOT BE VARIED: NOT A PARAMETER OF THE ELEMENT, OR A LENGTH");
  engine_stop(BAD_PARAMETER);
}

// A variable: the corrector of the element at the position and its value number (1 or 2); or,
// with position 0, the element's parameter of the given number.
void read_variable(const DataRecord &r) {
  const Name8 name(r.name);
  const int element = elid(name);
  const int position = r.count >= 1 ? truncated(r.value(1)) : 0;
  const int value = r.count >= 2 ? truncated(r.value(2)) : 1;
  if (position == 0) {
    check_parameter(name, element, value);
    const int j = ++alig.entries;
    alig.corrector(j) = 0;
    alig.element(j) = element;
    alig.value(j) = value;
    return;
  }
  int index = 0;
  for (int i = 1; i <= corr.count && index == 0; ++i)
    if (corr.element(i) == element && corr.position(i) == position)
      index = i;
  if (index == 0) {
    engine_message(" " + name.str() + " AT POSITION :" + fI(position, 6));
    engine_message("  NO MATCH WAS FOUND FOR CORRECTOR ID AND POSITION");
    engine_message(" IN THE CORRECTOR LIST");
    engine_message(" DEFINED IN THE CORRECTOR DEFINITION");
    engine_message(" OPERATION . RUN IS STOPPED");
    engine_stop(NO_CORR);
  }
  const int j = ++alig.entries;
  alig.corrector(j) = index;
  alig.value(j) = value == 2 ? 2 : 1;
}

// The element at the position must be a monitor, and the named one (the check of the lookup
// routines only finds an element's first position).
void require_monitor_at(const Name8 &name, int element, int position) {
  if (inputt.kode(element) != KODE_MONITOR) {
    engine_message(" ELEMENT " + name.str() + " AT " + fI(position, 6) + " IS NOT A MONITOR, " +
                   "RUN IS STOPPED ");
    engine_stop(NO_MONITOR);
  }
  if (position < 1 || position > mat.npos || blank.mseq(position) != element) {
    engine_message("  MONITOR " + name.str() + " IS NOT AT POSITION " + fI(position, 6) +
                   " RUN STOPPED ");
    engine_stop(NO_MONITOR);
  }
}

// A monitor: the element at the position (it must be a monitor there), the plane read (1 x,
// 2 y), the target and the weight (1 when not given).
void read_monitor_entry(const DataRecord &r) {
  const Name8 name(r.name);
  const int element = elid(name);
  const int position = r.count >= 1 ? truncated(r.value(1)) : 0;
  require_monitor_at(name, element, position);
  const int plane = r.count >= 2 ? truncated(r.value(2)) : 1;
  if (plane != 1 && plane != 2) {
    engine_message(" MONITOR " + name.str() + " READS PLANE 1 (X) OR 2 (Y), NOT" + fI(plane, 4));
    engine_stop(MON_OPTION);
  }
  ++alig.entries;
  const int k = ++monfit.count;
  monfit.position(k) = position;
  monfit.plane(k) = plane;
  monfit.target(k) = r.count >= 3 ? r.value(3) : 0.0;
  monfit.weight(k) = r.count >= 4 ? r.value(4) : 1.0;
}

// A coupled parameter: the element's parameter n becomes a * x + b, x the variable number j
// (which must be an element parameter).
void read_coupling(const DataRecord &r) {
  const Name8 name(r.name);
  const int element = elid(name);
  const int slot = r.count >= 1 ? truncated(r.value(1)) : 0;
  const int j = r.count >= 4 ? truncated(r.value(4)) : 0;
  check_parameter(name, element, slot);
  if (j < 1 || j > alig.nv || alig.corrector(j) != 0) {
    engine_message(" ELEMENT NAME AND PARAMETER # IS NOT IN BASE LIST");
    engine_message(" OF VARIED ELEMENTS");
    engine_stop(BAD_PARAMETER);
  }
  if (alig.coupled(j) == MAX_COUPLED) {
    engine_message("  MORE THAN" + fI(MAX_COUPLED, 3) + " PARAMETERS COUPLED TO VARIABLE" +
                   fI(j, 4));
    engine_stop(BAD_PARAMETER);
  }
  alig.coupling[j - 1][alig.coupled(j)++] =
      Coupling{element, slot, r.count >= 2 ? r.value(2) : 1.0, r.count >= 3 ? r.value(3) : 0.0};
}

void draw_reading_errors() {
  RandomStream &s = cseeds.monitor;
  if (s.mode == 0 && s.index == 0)
    s.index = cseeds.master_seed;
  for (int k = 1; k <= alig.nm; ++k) {
    double factor = 0.0;
    switch (alig.error_option) {
    case 0:
      break;
    case 3:
      factor = rannum(s.index, 3, 2.0, s.mode);
      break;
    case 4:
      factor = rannum(s.index, 3, 6.0, s.mode);
      break;
    default:
      factor = rannum(s.index, alig.error_option, 0.0, s.mode);
      break;
    }
    alig.reading_error(k) = alig.error_rms * factor;
  }
}

} // namespace

// The first record: value 1 the number of steps (negative: the readings are listed after every
// step), value 2 the method (0 least squares on tracking, 1 linear response), values 3 and 4 NV
// and NM, value 5 the rms reading error of the monitors and value 6 its distribution, values 7
// to 22 kept for the beam description, value 23 the number of particles. Then the particles,
// NV corrector entries and NM monitor entries, and "99".
namespace {

// ALIG's tables: the readings fitted, before and after (alig_N.tfs), and the values varied
// (alig_N_correctors.tfs).
void alignment_tables(const std::vector<double> &before) {
  if (!result_tables_wanted())
    return;
  ResultTable readings("alig", "READINGS");
  readings.real("FIT_FUNCTION", sum_of_squares(alwork.fvec, alig.nm));
  readings.text("UNITS", "S and the readings in m; PLANE 1 x, 2 y");
  readings.column("NAME", TfsType::text).column("NUMBER", TfsType::integer).column("S");
  readings.column("PLANE", TfsType::integer).column("TARGET").column("WEIGHT");
  readings.column("BEFORE").column("AFTER");
  for (int k = 1; k <= alig.nm; ++k) {
    const int p = monfit.position(k);
    readings.cell(chinp.elname(blank.mseq(p)).trimmed()).cell(p).cell(blank.path_length(p));
    readings.cell(monfit.plane(k)).cell(monfit.target(k)).cell(monfit.weight(k));
    readings.cell(before[static_cast<std::size_t>(k)]).cell(monfit.reading(k));
  }
  write_result_table(readings);
  ResultTable varied("alig", "CORRECTORS", "correctors");
  varied.text("UNITS", "S in m; the values as SETC and the element's parameters give them");
  varied.column("NAME", TfsType::text).column("NUMBER", TfsType::integer).column("S");
  varied.column("CORRECTOR", TfsType::integer).column("VALUE_NUMBER", TfsType::integer);
  varied.column("VALUE");
  for (int j = 1; j <= alig.nv; ++j) {
    const int i = alig.corrector(j);
    const int e = i != 0 ? corr.element(i) : alig.element(j);
    const int p = i != 0 ? corr.position(i) : 0;
    varied.cell(chinp.elname(e).trimmed()).cell(p).cell(p > 0 ? blank.path_length(p) : 0.0);
    varied.cell(i).cell(alig.value(j));
    varied.cell(i != 0 ? corr.value(alig.value(j), i) : inputt.slot(e, alig.value(j)));
  }
  write_result_table(varied);
}

} // namespace

void align(int, int &end_flag) {
  reset_in_place(alig);
  reset_in_place(monfit);
  read_alig_data(end_flag, [&](const DataRecord &r) {
    const std::string role = r.role;
    if (role == "SETTINGS") {
      read_settings(r);
    } else if (role == "PARTICLE") {
      if (alig.particles == ALIG_PARTICLES) {
        engine_message(" ALIG TRACKS ITS FIRST" + fI(ALIG_PARTICLES, 6) + " PARTICLES ONLY");
        ++alig.particles; // told once
      }
      if (alig.particles > ALIG_PARTICLES)
        return;
      for (int k = 0; k < 6; ++k)
        alig.z[alig.particles][k] = r.value(k + 1);
      ++alig.particles;
    } else if (alig.entries < alig.nv) {
      read_variable(r);
    } else if (alig.entries < alig.nv + alig.nm) {
      read_monitor_entry(r);
    } else {
      read_coupling(r);
    }
  });
  if (alig.entries < alig.nv) {
    engine_message(corr.count < alig.nv ? " NOT ENOUGH CORRECTORS WERE DEFINED "
                                        : " NOT ENOUGH CORRECTORS IN BEAMLINE ");
    engine_stop(MORE_CORR);
  }
  if (monfit.count < alig.nm) {
    engine_message(" OUT OF MONITORS TO MANY REQUIRED RUN STOPPED " + fI(monfit.count, 6) +
                   " MONITORS FOUND");
    engine_stop(MORE_MONIT);
  }
  alig.particles = std::min(alig.particles, ALIG_PARTICLES);
  // No particle given: the reference particle alone.
  if (alig.particles == 0)
    alig.particles = 1;
  // A varied corrector that SETC has not set becomes a thin kick.
  for (int j = 1; j <= alig.nv; ++j) {
    const int i = alig.corrector(j);
    if (i == 0) {
      alwork.x[j - 1] = inputt.slot(alig.element(j), alig.value(j));
      continue;
    }
    if (!corr.set(i)) {
      corr.set(i) = true;
      corr.type(i) = 3;
    }
    alwork.x[j - 1] = corr.value(alig.value(j), i);
  }
  corr.active = true;
  corr.variables = alig.nv;
  draw_reading_errors();
  alig.seeds = cseeds;

  print_positions();
  print_block("  THE REQUESTED VALUES ARE :", alig.nm, target_of);
  residuals(alwork.x, alwork.fvec);
  print_block("  THE INITIAL VALUES ARE :", alig.nm, reading_of);
  std::vector<double> before(static_cast<std::size_t>(alig.nm) + 1);
  for (int k = 1; k <= alig.nm; ++k)
    before[static_cast<std::size_t>(k)] = monfit.reading(k);
  if (alig.nv > alig.nm) // the minimiser reports improper input and stops
    lmdmes(0, 0);
  for (int step = 1; step <= alig.steps && alig.nv > 0; ++step) {
    if (alig.method == 1)
      linear_step();
    else
      minimise();
    residuals(alwork.x, alwork.fvec);
    engine_message(" AFTER STEP " + fI(step, 4) + " THE FIT FUNCTION VALUE IS " +
                   fE(sum_of_squares(alwork.fvec, alig.nm), 15, 7));
    if (alig.listing && step < alig.steps)
      print_block("  THE ACHIEVED VALUES ARE :", alig.nm, reading_of);
  }
  print_block("  THE ACHIEVED VALUES ARE :", alig.nm, reading_of);
  engine_message(" THE FITTED PARAMETERS ARE : ");
  engine_message("  CORRECTOR SETTINGS ");
  for (int j = 1; j <= alig.nv; ++j) {
    const int i = alig.corrector(j);
    if (i == 0)
      continue;
    engine_message(" PARM" + fI(alig.value(j), 2) + " OF " + chinp.elname(corr.element(i)).str() +
                   " CORR" + fI(i, 5) + " AT POS :" + fI(corr.position(i), 6) +
                   " IS:" + fE(corr.value(alig.value(j), i), 15, 7));
  }
  for (int j = 1; j <= alig.nv; ++j)
    if (alig.corrector(j) == 0)
      engine_message("  PARAMETER # " + fI(alig.value(j), 4) + " OF " +
                     chinp.elname(alig.element(j)).str() + " = " +
                     fE(inputt.slot(alig.element(j), alig.value(j)), 15, 7));
  alignment_tables(before);
}

} // namespace vorax
