// TRAC: reads the particle set (new, continued or appended), the print intervals and the plot
// settings, tracks, and stops the run when no particle is left (trapre); and the particle
// printout (trakpr).
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/messages.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "common/terminal_report.h"
#include "common/units.h"
#include "engine/operation_data.h"
#include "track/tracking_areas.h"
#include "track/tracking_hooks.h"
#include "track/tracking_loop.h"

#include <algorithm>
#include <climits>
#include <string>

namespace vorax {

namespace {

// Reads one particle record into particle i (when it fits the store) in the variables the store
// holds; returns false when the data ended before it.
bool read_particle(int &end_flag, int i) {
  if (end_flag == 1)
    return false;
  input_record(end_flag, 6);
  if (i < 1 || i > MAXPART)
    return true;
  double z[6];
  for (int k = 0; k < 6; ++k)
    z[k] = cintak.values(k + 1);
  trace.pcoord(i, 7) = z[5];
  if (trace.canonical == 1) {
    double c[6];
    cvar(z, c, sym.scale(1) != 0.0 ? sym.scale(1) : 1.0);
    std::copy_n(c, 6, z);
  }
  for (int k = 0; k < 6; ++k)
    trace.pcoord(i, k + 1) = z[k];
  return true;
}

void too_many_particles(long long wanted) {
  engine_message(" **** TOO MANY PARTICLES: " + fI(wanted, 10) +
                 " ARE ASKED FOR, THE PARTICLE STORE HOLDS " + fI(MAXPART, 7));
  engine_stop(8);
}

// The last record: print intervals, then the plot block.
void read_last_record(int &end_flag, int plot_step) {
  if (end_flag == 1)
    return;
  const int count = input_record(end_flag, -1);
  auto value = [&](int k) { return k >= 1 && k <= count ? cintak.values(k) : 0.0; };
  const int n = truncated(value(1));
  // The record holds the interval list whenever prints or plots go by interval; the plot block
  // follows it then (also for a plot at every position), and starts the record otherwise.
  const bool with_intervals = trace.nprint > 0 || plot_step > 0;
  if (with_intervals && cprt.selection != 1) {
    if (n > MXLIST) {
      engine_message(" **** TOO MANY INTERVALS ");
      engine_message(" CHANGE MXLIST PARAMETER TO VALUE NEEDED");
      engine_stop(2);
    }
    const int pairs = std::max(n, 0);
    trace.nintv = pairs;
    mat.nint = pairs;
    mat.intervals(0) = 2 * pairs;
    for (int k = 1; k <= 2 * pairs; ++k)
      mat.intervals(k) = truncated(value(k + 1));
  }
  if (plot_step < 0) {
    plt.limits.fill(0.0);
    plt.columns = 0;
    plt.lines = 0;
    return;
  }
  const int b = with_intervals ? 2 * std::max(n, 0) + 2 : 1;
  int type = truncated(value(b));
  for (int k = 1; k <= 8; ++k)
    plt.limits(k) = value(b + k);
  for (int k = 9; k <= 12; ++k)
    plt.limits(k) = value(b + k + 2);
  plt.columns = truncated(value(b + 9));
  plt.lines = truncated(value(b + 10));
  if (plt.columns < 1 || plt.columns > 101 || plt.lines < 1 || plt.lines > 51) {
    engine_message(" ERROR IN NUMBER OF LINES OR COLUMNS: DEFAULT VALUES");
    engine_message("USED: 101,51");
    plt.columns = 101;
    plt.lines = 51;
  }
  plt.first_frame = 1;
  plt.last_frame = type <= 10 ? 1 : 0;
  if (type > 10)
    type -= 10;
  if (type == 4 || type == 7)
    plt.first_frame = 0;
  if (type == 7)
    type = 6;
  plt.type = type;
}

// A kick whose period truncates to 0 would never act (and divides by its period): refused.
void check_kick_periods() {
  for (int p = 1; p <= mat.npos; ++p) {
    const int e = blank.mseq(p);
    if (inputt.kode(e) != KODE_GKICK)
      continue;
    const double v = inputt.slot(e, slot::gkick::V);
    if (kick_period(v) >= 1)
      continue;
    engine_message(" **** KICK " + chinp.elname(e).str() + " AT POSITION" + fI(p, 6) +
                   " HAS V =" + fE(v, 15, 7) + ": ITS KICK PERIOD ABS(V) MUST BE AT LEAST 1");
    engine_stop(8);
  }
}

// The last turn of a continued run, held within the range of a turn counter.
int more_turns(int turns) {
  return static_cast<int>(
      std::min<long long>(static_cast<long long>(trace.nturn) + turns, INT_MAX));
}

// One line on the terminal for the whole run, after the losses it told: what was tracked, how
// many turns, what was lost and where the first loss was.
void tell_tracking_summary(int tracked, int first_turn) {
  tell_held_losses();
  const int lost = tracked - trace.nlive;
  std::string line = "TRAC: " + count_text(tracked, "particle") + " tracked, " +
                     std::to_string(lost) + " lost, " + std::to_string(trace.nlive) +
                     " surviving; " + count_text(trace.iturn - first_turn, "turn") + " done";
  if (first_turn > 0)
    line += " (to turn " + std::to_string(trace.iturn) + ")";
  if (lost > 0 && termrep.first_loss_noted)
    line += "; first loss in turn " + std::to_string(termrep.first_loss_turn) + " at position " +
            std::to_string(termrep.first_loss_position) + " (" + termrep.first_loss_element + ")";
  terminal(line);
}

} // namespace

void trapre(int, int &end_flag) {
  input_record(end_flag, 4);
  const int plot_step = truncated(cintak.values(1));
  const int print_option = truncated(cintak.values(2));
  const int particles = truncated(cintak.values(3));
  const int turns = std::max(truncated(cintak.values(4)), 0);
  plt.nplot = plot_step;
  trace.nprint = print_option;
  if (particles > 0) {
    trace.nturn = turns;
    trace.iturn = 0;
    trace.canonical = 0;
    alive.flag.fill(1);
    int read = 0;
    for (int i = 1; i <= particles && read_particle(end_flag, i); ++i)
      ++read;
    if (particles > MAXPART)
      too_many_particles(particles);
    trace.npart = read;
    trace.nlive = read;
  } else if (particles == 0) {
    trace.nturn = more_turns(turns);
  } else {
    trace.nturn = more_turns(turns);
    const long long extra = -static_cast<long long>(particles);
    int read = 0;
    for (long long k = 1; k <= extra; ++k) {
      const long long i = trace.npart + k;
      if (!read_particle(end_flag, i <= MAXPART ? static_cast<int>(i) : 0))
        break;
      ++read;
    }
    if (trace.npart + extra > MAXPART)
      too_many_particles(trace.npart + extra);
    // Appended particles start alive, also when no set was read before them, and with cavity
    // phases of their own: their places may hold those an earlier run left, which turn 1 of
    // this run clears only for the particles it began with.
    for (int k = 1; k <= read; ++k) {
      alive.flag(trace.npart + k) = 1;
      cav.phase(trace.npart + k) = 0.0;
      cav.previous_l(trace.npart + k) = 0.0;
    }
    trace.npart += read;
    trace.nlive += read;
  }
  if (!(plot_step <= -1 && print_option <= -2 && particles == 0))
    read_last_record(end_flag, plot_step);
  check_kick_periods();
  const int tracked = trace.nlive;
  const int first_turn = trace.iturn;
  forget_loss_place();
  trackt(true);
  tell_tracking_summary(tracked, first_turn);
  if (trace.nlive == 0) {
    const std::string text = "  WARNING--RUN STOPPED DUE TO LOSS OF PARTICLES";
    write_record(control.output_unit, text);
    if (control.echo_flag)
      terminal(text);
    engine_stop(302);
  }
}

void trakpr(int mode, int position) {
  const int unit = control.output_unit;
  if (mode < 0) {
    write_record(unit, " INITIAL POSITIONS OF PARTICLES ");
  } else {
    const int e = blank.mseq(position);
    write_record(unit, " PARTICLE POSITIONS AFTER ELEMENT" + fI(position, 6) + "(" +
                           chinp.elname(e).str() + ")" + "DURING TURN" + fI(trace.iturn, 8));
  }
  // The line layout follows the output option (OUTP): the element name is added from 4 on, and
  // 14 shows the particle's accumulated cavity phase in place of l.
  const int layout = control.print_level;
  const std::string name =
      mode < 0 || position < 1 ? std::string(8, ' ') : chinp.elname(blank.mseq(position)).str();
  const auto record = tracking_seam.hooks().printed_coordinates;
  const double s = mode < 0 || position < 1 ? 0.0 : blank.path_length(position);
  for (int i = 1; i <= trace.npart; ++i) {
    if (alive.flag(i) == 0)
      continue;
    std::string line(" ");
    line += fI(i, 6);
    if (layout >= 4 && layout != 14) {
      line += ' ';
      line += name;
    }
    for (int k = 1; k <= 6; ++k)
      line += fE(layout == 14 && k == 5 ? cav.phase(i) : trace.pcoord(i, k), 20, 12);
    write_record(unit, line);
    if (record != nullptr) {
      double z[6];
      for (int k = 0; k < 6; ++k)
        z[k] = trace.pcoord(i, k + 1);
      record(i, trace.iturn, s, z);
    }
  }
}

} // namespace vorax
