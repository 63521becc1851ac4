// COCO: closed-orbit correction of a ring. The orbit corrected is the closed orbit that
// tracking finds with every imperfection, read at the centre of the monitors; its response to
// each corrector is the exact linear one about that orbit, from tracking too (ring_orbit.cpp),
// so that misaligned monitors, coupling and every corrector type are in it. The corrector
// changes minimise the sum of the squared readings; the machine is not linear, so the
// correction may be repeated on the new closed orbit with the same response.
#include "errors/ring_correction.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/messages.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "engine/deferred_data.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "errors/correction_solvers.h"
#include "errors/correctors.h"
#include "errors/ring_orbit.h"
#include "input/elements.h"
#include "track/tracking_loop.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vorax {

namespace {

constexpr int BAD_DATA = 225;        // COCO:BAD DATA
constexpr int NO_CLOSED_ORBIT = 226; // COCO:NO CLOSED ORBIT

constexpr int X = 1, Y = 2, BOTH = 3; // plane bit sets
// Singular values below this fraction of the largest are left out unless the data say
// otherwise: only those of correctors that act alike to rounding, so that the result is the
// least-squares optimum of the response wherever the problem has one.
constexpr double DEFAULT_CUT = 1e-6;
constexpr int MAX_ITERATIONS = 20;

struct Request {
  int planes = BOTH;
  int best = 0;
  double cut = DEFAULT_CUT;
  int iterations = 1;
  bool listing = false;
  bool monitors_named = false, correctors_named = false;
  std::vector<int> monitor_planes;   // by position (0: not read)
  std::vector<int> corrector_planes; // by corrector (0: not varied)
};

[[noreturn]] void bad_data(const std::string &message) {
  engine_message(message + "  RUN STOPPED");
  engine_stop(BAD_DATA);
}

void read_settings(const DataRecord &r, Request &q) {
  const int planes = truncated(r.value(1));
  if (planes < 0 || planes > 3)
    bad_data("  ERROR IN PLANE OPTION :" + fI(planes, 6) + " (0 OR 3 BOTH, 1 X, 2 Y)");
  q.planes = planes == 0 ? BOTH : planes;
  q.best = truncated(r.value(2));
  if (q.best < 0)
    bad_data("  ERROR IN NUMBER OF BEST CORRECTORS :" + fI(q.best, 6));
  const double cut = r.value(3);
  if (!(cut >= 0.0 && cut < 1.0))
    bad_data("  ERROR IN SINGULAR VALUE CUT :" + fE(cut, 15, 7) + " (0 TO 1)");
  q.cut = cut == 0.0 ? DEFAULT_CUT : cut;
  const int iterations = truncated(r.value(4));
  if (iterations < 0 || iterations > MAX_ITERATIONS)
    bad_data("  ERROR IN NUMBER OF ITERATIONS :" + fI(iterations, 6) + " (0 TO" +
             fI(MAX_ITERATIONS, 3) + ")");
  q.iterations = std::max(iterations, 1);
  const int listing = truncated(r.value(5));
  if (listing != 0 && listing != 1)
    bad_data("  ERROR IN LISTING OPTION :" + fI(listing, 6) + " (0 OR 1)");
  q.listing = listing == 1;
}

// The planes a corrector acts in when the data do not say: a horizontal or vertical kicker in
// its own plane, any other element in both.
int own_corrector_planes(int element) {
  const Name8 &name = chinp.elname(element);
  for (int i = 1; i <= elmdat.low_count; ++i)
    if (elmdat.kind(i) >= 1 && elmnam.name(i) == name)
      return elmdat.kind(i) == KW_HKICK ? X : elmdat.kind(i) == KW_VKICK ? Y : BOTH;
  return BOTH;
}

int own_monitor_planes(int element) {
  const int planes = static_cast<int>(inputt.slot(element, slot::monitor::PLANES));
  return planes >= X && planes <= BOTH ? planes : BOTH;
}

bool acts(int corrector) {
  return takes_corrector(inputt.kode(corr.element(corrector)));
}

bool in_ranges(int position, const std::vector<int> &ranges) {
  if (ranges.empty())
    return true;
  for (std::size_t k = 0; k + 1 < ranges.size(); k += 2)
    if (position >= ranges[k] && position <= ranges[k + 1])
      return true;
  return false;
}

// An entry: the element's monitor positions, or its correctors, in the ranges, read or varied
// in the planes given (0: the element's own).
void select(const std::string &name, int planes, const std::vector<int> &ranges, Request &q) {
  const int element = elid(Name8(name));
  int selected = 0;
  if (inputt.kode(element) == KODE_MONITOR) {
    if (!q.monitors_named)
      std::fill(q.monitor_planes.begin(), q.monitor_planes.end(), 0);
    q.monitors_named = true;
    for (int p = 1; p <= mat.npos; ++p)
      if (blank.mseq(p) == element && in_ranges(p, ranges)) {
        q.monitor_planes[static_cast<std::size_t>(p)] =
            planes == 0 ? own_monitor_planes(element) : planes;
        ++selected;
      }
  } else {
    bool listed = false;
    for (int i = 1; i <= corr.count; ++i)
      listed = listed || corr.element(i) == element;
    if (!listed)
      bad_data("  ELEMENT " + Name8(name).str() + " IS NEITHER A MONITOR NOR A CORRECTOR");
    if (!q.correctors_named)
      std::fill(q.corrector_planes.begin(), q.corrector_planes.end(), 0);
    q.correctors_named = true;
    for (int i = 1; i <= corr.count; ++i)
      if (corr.element(i) == element && acts(i) && in_ranges(corr.position(i), ranges)) {
        q.corrector_planes[static_cast<std::size_t>(i)] =
            planes == 0 ? own_corrector_planes(element) : planes;
        ++selected;
      }
  }
  if (selected == 0)
    bad_data("  " + Name8(name).str() + " HAS NO MONITOR OR ACTING CORRECTOR IN THE RANGES GIVEN");
}

void read_request(int &end_flag, Request &q) {
  q.monitor_planes.assign(static_cast<std::size_t>(mat.npos) + 1, 0);
  for (int p = 1; p <= mat.npos; ++p)
    if (inputt.kode(blank.mseq(p)) == KODE_MONITOR)
      q.monitor_planes[static_cast<std::size_t>(p)] = own_monitor_planes(blank.mseq(p));
  q.corrector_planes.assign(static_cast<std::size_t>(corr.count) + 1, 0);
  for (int i = 1; i <= corr.count; ++i)
    if (acts(i))
      q.corrector_planes[static_cast<std::size_t>(i)] = own_corrector_planes(corr.element(i));
  std::string name;
  int planes = 0, count = 0;
  read_coco_data(end_flag, [&](const DataRecord &r) {
    const std::string role = r.role;
    if (role == "SETTINGS") {
      read_settings(r, q);
      return;
    }
    if (role == "ENTRY") {
      name = r.name;
      planes = truncated(r.value(1));
      count = truncated(r.value(2));
      if (planes < 0 || planes > 3)
        bad_data("  ERROR IN PLANE OPTION OF " + Name8(name).str() + " :" + fI(planes, 6));
      if (count < 0)
        bad_data("  ERROR IN RANGE COUNT OF " + Name8(name).str() + " :" + fI(count, 6));
      if (count == 0)
        select(name, planes, {}, q);
      return;
    }
    std::vector<int> ranges;
    for (int k = 1; k <= r.count; ++k)
      ranges.push_back(truncated(r.value(k)));
    select(name, planes, ranges, q);
  });
}

// The correction's unknowns and readings: a corrector value (1 x, 2 y) or a reading (1 x, 2 y).
struct Column {
  int corrector = 0, value = 0;
};
struct Row {
  int monitor = 0, plane = 0; // monitor index into the list
};

struct Statistics {
  double rms[2] = {}, peak[2] = {};
};

// rms and peak of the readings of each plane over the monitors that read it.
Statistics reading_statistics(const std::vector<int> &planes, const RingOrbit &orbit) {
  Statistics s;
  for (int c = 0; c < 2; ++c) {
    double sum = 0.0;
    int n = 0;
    for (std::size_t k = 0; k < planes.size(); ++k) {
      if ((planes[k] & (c == 0 ? X : Y)) == 0)
        continue;
      const double v = c == 0 ? orbit.x[k] : orbit.y[k];
      sum += v * v;
      s.peak[c] = std::max(s.peak[c], std::fabs(v));
      ++n;
    }
    s.rms[c] = n > 0 ? std::sqrt(sum / n) : 0.0;
  }
  return s;
}

std::vector<double> readings_of(const std::vector<Row> &rows, const RingOrbit &orbit) {
  std::vector<double> b;
  for (const Row &r : rows)
    b.push_back(r.plane == X ? orbit.x[static_cast<std::size_t>(r.monitor)]
                             : orbit.y[static_cast<std::size_t>(r.monitor)]);
  return b;
}

double sum_of_squares(const std::vector<double> &b) {
  double s = 0.0;
  for (double v : b)
    s += v * v;
  return s;
}

void change_correctors(const std::vector<Column> &columns, const std::vector<double> &x,
                       double sign) {
  for (std::size_t j = 0; j < columns.size(); ++j)
    if (x[j] != 0.0)
      corr.value(columns[j].value, columns[j].corrector) += sign * x[j];
}

std::string plane_name(int plane) {
  return plane == X ? "X" : "Y";
}

// The rows of the listing's tables: a label (or name and position) of this width, then numbers.
constexpr int LABEL = 17;

void print_statistics(const std::string &label, const Statistics &s) {
  engine_message(label + blanks(LABEL - static_cast<int>(label.size())) + fE(s.rms[0], 16, 7) +
                 fE(s.peak[0], 16, 7) + fE(s.rms[1], 16, 7) + fE(s.peak[1], 16, 7));
}

// What one COCO works on: the monitors read with their planes, the rows (readings) and columns
// (corrector values) of the response, the correctors varied, and the orbits before and now.
struct Correction {
  Request q;
  std::vector<int> monitors, monitor_planes;
  std::vector<Row> rows;
  std::vector<Column> columns;
  std::vector<int> varied;
  std::vector<bool> was_set;
  RingOrbit before, now;
  RingCorrectionResult result;
};

void lay_out(Correction &c) {
  for (int p = 1; p <= mat.npos; ++p)
    if (c.q.monitor_planes[static_cast<std::size_t>(p)] != 0) {
      c.monitors.push_back(p);
      c.monitor_planes.push_back(c.q.monitor_planes[static_cast<std::size_t>(p)]);
    }
  for (std::size_t k = 0; k < c.monitors.size(); ++k)
    for (int plane : {X, Y})
      if ((c.monitor_planes[k] & plane & c.q.planes) != 0)
        c.rows.push_back({static_cast<int>(k), plane});
  for (int i = 1; i <= corr.count; ++i) {
    const int planes = c.q.corrector_planes[static_cast<std::size_t>(i)] & c.q.planes;
    for (int plane : {X, Y})
      if ((planes & plane) != 0)
        c.columns.push_back({i, plane});
    if (planes != 0)
      c.varied.push_back(i);
  }
  if (c.rows.empty())
    bad_data("  NO MONITOR READS A PLANE TO BE CORRECTED");
  if (c.columns.empty())
    bad_data("  NO CORRECTOR OF THE CORRECTOR LIST ACTS IN A PLANE TO BE CORRECTED");
}

// The varied correctors act in every pass; one that SETC has not set becomes a thin kick.
void switch_on(Correction &c) {
  for (int i : c.varied) {
    c.was_set.push_back(corr.set(i));
    if (!corr.set(i)) {
      corr.set(i) = true;
      corr.type(i) = 3;
    }
    RingCorrectionResult::Corrector r;
    r.name = std::string(chinp.elname(corr.element(i)).trimmed());
    r.position = corr.position(i);
    r.s = blank.path_length(r.position);
    r.planes = c.q.corrector_planes[static_cast<std::size_t>(i)] & c.q.planes;
    r.value1_before = corr.value(1, i);
    r.value2_before = corr.value(2, i);
    c.result.correctors.push_back(r);
  }
  corr.active = true;
}

// Correctors the correction left as they were are put back as they were, set or not; the
// correctors act in tracking when they did before or when the correction changed one.
void switch_back(const Correction &c, bool was_active) {
  bool changed = false;
  for (std::size_t k = 0; k < c.varied.size(); ++k) {
    const int i = c.varied[k];
    const RingCorrectionResult::Corrector &r = c.result.correctors[k];
    const bool same = corr.value(1, i) == r.value1_before && corr.value(2, i) == r.value2_before;
    changed = changed || !same;
    if (same && !c.was_set[k]) {
      corr.set(i) = false;
      corr.type(i) = 0;
    }
  }
  corr.active = was_active || changed;
}

Response measure_response(const Correction &c) {
  Response response;
  response.m = static_cast<int>(c.rows.size());
  response.n = static_cast<int>(c.columns.size());
  response.a.resize(static_cast<std::size_t>(response.m) * response.n);
  std::vector<double> dx, dy;
  for (int j = 0; j < response.n; ++j) {
    const Column &col = c.columns[static_cast<std::size_t>(j)];
    if (!corrector_response(c.now, col.corrector, col.value, dx, dy)) {
      end_ring_passes();
      engine_message("  THE PARTICLE IS LOST WHEN CORRECTOR" + fI(col.corrector, 5) +
                     " AT POS :" + fI(corr.position(col.corrector), 6) + " CHANGES  RUN STOPPED");
      engine_stop(NO_CLOSED_ORBIT);
    }
    for (int i = 0; i < response.m; ++i) {
      const Row &r = c.rows[static_cast<std::size_t>(i)];
      response.a[static_cast<std::size_t>(i + response.m * j)] =
          (r.plane == X ? dx : dy)[static_cast<std::size_t>(r.monitor)];
    }
  }
  return response;
}

// The columns that vary: every one, or the best chosen one at a time (listed).
std::vector<int> columns_used(const Correction &c, const Response &response,
                              const std::vector<double> &b) {
  std::vector<int> used;
  if (c.q.best == 0) {
    for (int j = 0; j < response.n; ++j)
      used.push_back(j);
    return used;
  }
  std::vector<int> group;
  for (const Column &col : c.columns)
    group.push_back(col.value);
  used = best_correctors(response, b, group, c.q.best);
  engine_message("   BEST CORRECTORS, IN THE ORDER CHOSEN :");
  for (int j : used) {
    const Column &col = c.columns[static_cast<std::size_t>(j)];
    engine_message("   " + chinp.elname(corr.element(col.corrector)).str() + " AT POS :" +
                   fI(corr.position(col.corrector), 6) + "   " + plane_name(col.value));
  }
  return used;
}

// The iterations: each applies the least-squares changes for the readings of the orbit now and
// finds the closed orbit again; one that loses it or leaves more is taken back and ends them.
void iterate(Correction &c) {
  std::vector<double> b = readings_of(c.rows, c.now);
  if (sum_of_squares(b) == 0.0) {
    engine_message("   THE CLOSED ORBIT IS 0 AT EVERY MONITOR READ: NOTHING IS CHANGED");
    return;
  }
  const Response response = measure_response(c);
  const std::vector<int> used = columns_used(c, response, b);
  const LeastSquares solver(response, c.q.cut, used);
  c.result.kept = solver.kept();
  engine_message("   SINGULAR VALUES KEPT :" + fI(solver.kept(), 6) + " OF" +
                 fI(static_cast<long long>(used.size()), 6) + "   CUT :" + fE(c.q.cut, 15, 7) +
                 " OF THE LARGEST");
  for (int iteration = 1; iteration <= c.q.iterations && solver.kept() > 0; ++iteration) {
    const std::vector<double> x = solver.changes(b);
    change_correctors(c.columns, x, 1.0);
    RingOrbit next;
    const bool found = find_ring_orbit(c.now.start, next) == RingSearch::found;
    const std::vector<double> nb = found ? readings_of(c.rows, next) : std::vector<double>{};
    if (!found || sum_of_squares(nb) > sum_of_squares(b)) {
      change_correctors(c.columns, x, -1.0);
      engine_message(std::string("   ITERATION") + fI(iteration, 3) +
                     (found ? " DOES NOT REDUCE THE ORBIT" : " LOSES THE CLOSED ORBIT") +
                     ": ITS CHANGE IS TAKEN BACK");
      return;
    }
    c.now = next;
    b = nb;
    c.result.iterations = iteration;
    const Statistics s = reading_statistics(c.monitor_planes, c.now);
    engine_message("   AFTER ITERATION" + fI(iteration, 3) + "   RMS X" + fE(s.rms[0], 16, 7) +
                   "   RMS Y" + fE(s.rms[1], 16, 7));
    if (sum_of_squares(b) == 0.0)
      return;
  }
}

void report_orbit(Correction &c) {
  const Statistics s0 = reading_statistics(c.monitor_planes, c.before);
  const Statistics s1 = reading_statistics(c.monitor_planes, c.now);
  engine_message("0 ORBIT AT THE MONITORS");
  engine_message(blanks(LABEL) + fA("RMS X", 16) + fA("PEAK X", 16) + fA("RMS Y", 16) +
                 fA("PEAK Y", 16));
  print_statistics("   BEFORE", s0);
  print_statistics("   AFTER", s1);
  if (c.q.listing) {
    engine_message("0 READINGS AT THE MONITORS");
    engine_message(fA("NAME", 7) + fA("POS", 10) + fA("X BEFORE", 16) + fA("Y BEFORE", 16) +
                   fA("X AFTER", 16) + fA("Y AFTER", 16));
  }
  for (std::size_t k = 0; k < c.monitors.size(); ++k) {
    RingCorrectionResult::Monitor m;
    const int p = c.monitors[k];
    m.name = std::string(chinp.elname(blank.mseq(p)).trimmed());
    m.position = p;
    m.s = blank.path_length(p) - blank.element_length(blank.mseq(p)) / 2;
    m.planes = c.monitor_planes[k];
    m.x_before = c.before.x[k];
    m.y_before = c.before.y[k];
    m.x_after = c.now.x[k];
    m.y_after = c.now.y[k];
    if (c.q.listing)
      engine_message("   " + chinp.elname(blank.mseq(p)).str() + fI(p, 6) + fE(m.x_before, 16, 7) +
                     fE(m.y_before, 16, 7) + fE(m.x_after, 16, 7) + fE(m.y_after, 16, 7));
    c.result.monitors.push_back(m);
  }
  for (int plane = 0; plane < 2; ++plane) {
    c.result.rms_before[plane] = s0.rms[plane];
    c.result.peak_before[plane] = s0.peak[plane];
    c.result.rms_after[plane] = s1.rms[plane];
    c.result.peak_after[plane] = s1.peak[plane];
  }
}

// The settings of the correctors varied, with the rms and peak of each value over the
// correctors that vary it.
void report_correctors(Correction &c) {
  engine_message("0 CORRECTOR SETTINGS");
  engine_message(fA("NAME", 7) + fA("POS", 10) + fA("VALUE 1 (X)", 16) + fA("VALUE 2 (Y)", 16));
  double sum[2] = {};
  int n[2] = {};
  for (std::size_t k = 0; k < c.varied.size(); ++k) {
    const int i = c.varied[k];
    RingCorrectionResult::Corrector &r = c.result.correctors[k];
    r.type = corr.type(i);
    r.value1_after = corr.value(1, i);
    r.value2_after = corr.value(2, i);
    engine_message("   " + chinp.elname(corr.element(i)).str() + fI(corr.position(i), 6) +
                   fE(r.value1_after, 16, 7) + fE(r.value2_after, 16, 7));
    for (int v = 0; v < 2; ++v)
      if ((r.planes & (v == 0 ? X : Y)) != 0) {
        const double value = v == 0 ? r.value1_after : r.value2_after;
        sum[v] += value * value;
        c.result.peak_value[v] = std::max(c.result.peak_value[v], std::fabs(value));
        ++n[v];
      }
  }
  for (int v = 0; v < 2; ++v)
    c.result.rms_value[v] = n[v] > 0 ? std::sqrt(sum[v] / n[v]) : 0.0;
  engine_message(fA("RMS", 6) + blanks(LABEL - 6) + fE(c.result.rms_value[0], 16, 7) +
                 fE(c.result.rms_value[1], 16, 7));
  engine_message(fA("PEAK", 7) + blanks(LABEL - 7) + fE(c.result.peak_value[0], 16, 7) +
                 fE(c.result.peak_value[1], 16, 7));
}

} // namespace

// One record of 5 values: the planes (0 or 3 both, 1 x, 2 y); the number of best correctors per
// plane (0: all, by least squares); the singular-value cut (0: 1E-6); the iterations (0 is 1);
// the listing option (1: every monitor's readings). Then entries naming the monitors and
// correctors used (none: every monitor, every corrector of the list), up to "99".
void correct_closed_orbit(int, int &end_flag) {
  Correction c;
  read_request(end_flag, c.q);
  lay_out(c);
  const bool was_active = corr.active;
  switch_on(c);

  start_ring_passes(c.monitors);
  const double origin[4] = {};
  const RingSearch search = find_ring_orbit(origin, c.before);
  if (search != RingSearch::found) {
    end_ring_passes();
    engine_message(std::string("  NO CLOSED ORBIT WAS FOUND: ") +
                   (search == RingSearch::lost             ? "A PARTICLE IS LOST IN THE TURN"
                    : search == RingSearch::no_convergence ? "THE SEARCH DOES NOT CONVERGE"
                                                           : "THE MOTION ABOUT IT IS UNSTABLE") +
                   "  RUN STOPPED");
    engine_stop(NO_CLOSED_ORBIT);
  }
  c.now = c.before;
  engine_message("0 CLOSED ORBIT CORRECTION");
  engine_message("   MONITORS :" + fI(static_cast<long long>(c.monitors.size()), 6) +
                 "   READINGS :" + fI(static_cast<long long>(c.rows.size()), 6) +
                 "   CORRECTORS :" + fI(static_cast<long long>(c.varied.size()), 6) +
                 "   VALUES VARIED :" + fI(static_cast<long long>(c.columns.size()), 6));
  c.result.planes = c.q.planes;
  c.result.best = c.q.best;
  c.result.cut = c.q.cut;
  iterate(c);
  end_ring_passes();
  switch_back(c, was_active);

  report_orbit(c);
  report_correctors(c);
  const RingCorrectionHooks hooks = ring_correction_seam.hooks();
  if (hooks.tables != nullptr)
    hooks.tables(c.result);
}

} // namespace vorax
