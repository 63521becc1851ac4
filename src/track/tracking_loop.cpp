// The tracking loop (trackt): turn by turn, position by position. The positions of a turn are
// walked in order; each is prepared (hooks, map, kick, cavity) and queued, and the queue runs on
// the particles whenever something must see the particles as they stand (a print, a plot, the
// displaced frame of a misaligned element, the wake's bunch length) and at the end of the turn.
// What the particles met is then told position by position, with the per-position output and the
// progress line, exactly in the order of a loop over particles inside a loop over positions.
#include "track/tracking_loop.h"
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/interruption.h"
#include "common/messages.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "common/terminal_progress.h"
#include "common/terminal_report.h"
#include "common/units.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "track/tracked_matrix.h"
#include "track/tracking_areas.h"
#include "track/tracking_effects.h"
#include "track/tracking_hooks.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace vorax {

namespace {

// The program's count of negative roots in the canonical conversion: the first two are told.
struct Trwarn {
  int negative_roots = 0;
};
inline Trwarn trwarn;
inline const AreaRegistration trwarn_registration{reset_area<trwarn>};

std::string coordinates_line(const double *z) {
  std::string line = " ";
  for (int k = 0; k < 6; ++k)
    line += fE(z[k], 20, 12);
  return line;
}

void warn_negative_root() {
  if (trwarn.negative_roots >= 2)
    return;
  ++trwarn.negative_roots;
  const char *lines[] = {" ********************************************",
                         " Excessive transverse momentum produced a negative argument",
                         " for the canonical variable transformation.", " Check your results ",
                         " *********************************************"};
  for (const char *line : lines) {
    write_record(control.output_unit, line);
    if (control.echo_flag)
      terminal(line);
  }
}

bool all_finite(const double *z) {
  for (int k = 0; k < 6; ++k)
    if (!std::isfinite(z[k]))
      return false;
  return true;
}

void report_no_convergence(int particle, const double *start) {
  write_record(control.output_unit, " DURING TURN # " + fI(trace.iturn, 8));
  write_record(control.output_unit, " NEWTON SEARCH FAILS TO CONVERGE IN 50 ITERATIONS ");
  write_record(control.output_unit, " WHILE TRACKING PARTICLE #" + fI(particle, 8));
  write_record(control.output_unit, " WITH INITIAL COORDINATES");
  write_record(control.output_unit, coordinates_line(start));
}

class Loop {
public:
  void run(bool result_files);

private:
  void turn();
  void turn_end();
  void position(int p);
  void plan_position(int p, PlannedPosition &planned);
  void forget_slow_changes();
  bool needs_output(int p);
  void flush();
  void replay(int count);
  void outputs(int p);
  void plot(int continuation);
  void convert_store();
  void drift_store(int position, double length);
  // The turn the print and plot schedules follow: once the last particle is lost, the rest of
  // its turn is scheduled as the last turn (the final print and the last frame come with it),
  // while everything printed still names the turn in progress.
  long long schedule_turn() const { return emptied_ ? trace.nturn : trace.iturn; }

  TrackingMode mode_;
  TrackingHooks hooks_;
  bool imperfect_ = false;
  bool may_stop_ = true; // the imperfections of this pass may stop the run at a position
  bool effects_ = false; // effects of other operations are switched on
  int first_ = 1, last_ = 0;
  TrackingProgress progress_;
  long long next_plot_ = 0, last_plot_ = 0; // wide: the plot step and the turns may be near 2^31
  int walk_cursor_ = 0, replay_cursor_ = 0;
  int pending_ = 0;
  int pass_ = 0, replay_pass_ = 0;
  bool emptied_ = false;    // the last particle was lost in the turn being told
  bool finished_ = false;   // that turn has ended: the run is over
  bool observing_ = false;  // the particles are seen after every position
  bool pass_ended_ = false; // the last monitor a pass needs has been read
  std::vector<int> cursors_;
};

void Loop::convert_store() {
  if (static_cast<int>(mode_.canonical) == trace.canonical)
    return;
  for (int i = 1; i <= trace.npart; ++i) {
    if (alive.flag(i) == 0)
      continue;
    double z[6], out[6];
    for (int k = 0; k < 6; ++k)
      z[k] = trace.pcoord(i, k + 1);
    if (mode_.canonical)
      cvar(z, out, mode_.b0);
    else if (ncvar(z, out, mode_.b0))
      warn_negative_root();
    if (!all_finite(out)) {
      // Lost where the run starts, in the variables it had.
      alive.flag(i) = 0;
      --trace.nlive;
      report_non_finite(i, first_);
      continue;
    }
    for (int k = 0; k < 6; ++k)
      trace.pcoord(i, k + 1) = out[k];
  }
  trace.canonical = mode_.canonical ? 1 : 0;
}

// The result files of one run: opened after the store holds the run's variables, completed at
// the end of the run, and also when the error stop unwinds through it, so that what was written
// stays whole.
class ResultsScope {
public:
  ResultsScope(const TrackingHooks &hooks, bool wanted)
      : end_(wanted ? hooks.results_end : nullptr) {
    if (wanted && hooks.results_begin != nullptr)
      hooks.results_begin(trace.canonical == 1);
  }
  ~ResultsScope() {
    if (end_ == nullptr)
      return;
    try {
      end_();
    } catch (...) {
      // The run is already ending with its own stop; that one is reported.
    }
  }
  ResultsScope(const ResultsScope &) = delete;
  ResultsScope &operator=(const ResultsScope &) = delete;
  void close() {
    const auto end = end_;
    end_ = nullptr;
    if (end != nullptr)
      end();
  }

private:
  void (*end_)();
};

void Loop::run(bool result_files) {
  mode_ = tracking_mode();
  hooks_ = tracking_seam.hooks();
  imperfect_ = hooks_.active != nullptr
                   ? hooks_.active()
                   : (hooks_.misaligned != nullptr || hooks_.apply_errors != nullptr);
  observing_ = hooks_.observing != nullptr && hooks_.observe != nullptr && hooks_.observing();
  effects_ = effects_on();
  // Before any particle moves: an element tracking cannot pass stops the run here.
  check_tracked_elements();
  prepare_run();
  convert_store();
  ResultsScope results(hooks_, result_files);
  first_ = 1;
  last_ = mat.npos;
  pass_ = replay_pass_ = 0;
  emptied_ = finished_ = false;
  if (trace.nprint != -2)
    trakpr(-1, 0);
  if (plt.nplot == 0) {
    next_plot_ = static_cast<long long>(trace.nturn) + trace.iturn;
    last_plot_ = next_plot_;
  } else {
    next_plot_ = static_cast<long long>(plt.nplot) + trace.iturn;
    last_plot_ = static_cast<long long>(trace.nturn / plt.nplot) * plt.nplot;
  }
  // The resonance searches track quietly, and so does their progress.
  progress_.begin(trace.quiet_losses == 0, trace.iturn, trace.nturn, trace.nlive,
                  last_ - first_ + 1);
  cav.inverse_gamma = 0.0;
  cav.beta = 1.0;
  cav.k1 = 0.0;
  // A run asked for no turns (or a continuation for none) tracks none.
  while (trace.iturn < trace.nturn && !finished_)
    turn();
  progress_.finish(trace.iturn, trace.nlive);
  results.close();
  note_tracking(0, 0);
}

void Loop::turn() {
  if (turn_start_reads_particles()) {
    flush();
    if (finished_)
      return;
  }
  progress_.turn(trace.iturn, trace.nlive);
  ++trace.iturn;
  ++pass_;
  kickph.first_kick = 1;
  if (trace.iturn == 1) {
    // Only the particles of the run: the operations that track a few particles for one turn
    // many times (MOVE, its resonance study, the fits on tracking) would otherwise clear the
    // whole store's phases at every call.
    const int n = std::clamp(trace.npart, 0, MAXPART);
    std::fill_n(cav.phase.data(), n, 0.0);
    std::fill_n(cav.previous_l.data(), n, 0.0);
    cav.previous_s = 0.0;
    kickph.set = 0;
  }
  kickph.base = kickph.current;
  if (start_turn_effects(trace.iturn))
    forget_slow_changes();
  if (hooks_.pass_start != nullptr)
    hooks_.pass_start(false);
  may_stop_ = imperfect_ && (hooks_.may_stop == nullptr || hooks_.may_stop());
  walk_cursor_ = 0;
  pass_ended_ = false;
  for (int p = first_; p <= last_ && !finished_ && !pass_ended_; ++p) {
    position(p);
    if (observing_) {
      flush();
      if (!finished_)
        hooks_.observe(p);
    }
  }
  if (finished_)
    return;
  // The end of the pass: what the imperfections changed for it alone (the energies of linac
  // cavities with errors) is put back before the next pass is prepared.
  if (hooks_.pass_end != nullptr)
    hooks_.pass_end(false);
  TrackingWork &w = tracking_work();
  if (pending_ > 0 && w.visits[static_cast<std::size_t>(pending_ - 1)].pass == pass_)
    w.visits[static_cast<std::size_t>(pending_ - 1)].turn_last = true;
  // A turn that prints or plots nothing, neither at its positions nor at its end, leaves its
  // steps to run with those of the next turns: the threads then meet once for many turns.
  const bool at_positions = trace.nprint == 0 || plt.nplot == 0 || plt.orbit != 0 ||
                            (trace.nprint >= 1 && trace.iturn % trace.nprint == 0) ||
                            (plt.nplot >= 1 && trace.iturn % plt.nplot == 0);
  const bool at_end = trace.iturn >= trace.nturn || emptied_ ||
                      (plt.nplot > 0 && trace.nintv == 0 && trace.iturn == next_plot_);
  const std::size_t room = w.visits.size() - static_cast<std::size_t>(pending_);
  if (!at_positions && !at_end && room > static_cast<std::size_t>(last_ - first_ + 1))
    return;
  flush();
  if (finished_)
    return;
  turn_end();
  // The turn that lost the last particle is the run's last.
  finished_ = emptied_;
}

// The last turn prints the positions after the last element when only the initial and final
// positions are asked for (every nprint turns the print intervals print, the last position when
// there are none, which the position steps do); a plotted turn plots.
void Loop::turn_end() {
  const long long turn = schedule_turn();
  if (turn >= trace.nturn && trace.nprint == -1)
    trakpr(1, last_);
  if (plt.nplot > 0 && trace.nintv == 0 && turn == next_plot_) {
    int continuation = turn != plt.nplot ? 1 : 0;
    if (plt.last_frame == 1)
      continuation = 0;
    // The frame that completes the picture is the one printed.
    if (turn == last_plot_)
      plt.last_frame = 1;
    plot(continuation);
    next_plot_ += plt.nplot;
  }
}

// What the walk keeps of position p for the run, and its step when that is the same at every
// visit. Prepared at the first visit, before any imperfection changes the element.
void Loop::plan_position(int p, PlannedPosition &planned) {
  const int e = blank.mseq(p);
  const int kind = inputt.kode(e);
  planned.known = true;
  planned.skip = kind == 16;
  planned.imperfect = imperfect_ && (uses_misalignment(kind) || uses_errors(kind));
  planned.corrector = hooks_.corrector != nullptr && takes_corrector(kind);
  planned.monitor =
      kind == KODE_MONITOR && hooks_.monitor != nullptr && hooks_.read_monitor != nullptr;
  // While imperfections are on, cavities with errors move the energies the linac cavities after
  // them are entered with: each cavity position is prepared at its visit from the energies the
  // pass has reached, alone, so that no waiting step keeps a map made for other energies.
  const bool moving_linac = imperfect_ && kind == KODE_LCAVITY;
  planned.alone = sym.option == 1 || mode_.canonical || effects_alone(e) || moving_linac;
  bool varies =
      kind == KODE_RFCAVITY || kind == KODE_ARBITRAR || kind == KODE_TARVOCAV || moving_linac;
  if (kind == KODE_GKICK) {
    // A kick acts on every turn or on none unless it has a period; the oscillation kicks follow
    // a phase, and in a linac with imperfections the energies its kicks scale with move.
    using namespace slot::gkick;
    varies = kick_period(inputt.slot(e, V)) > 1 || truncated(inputt.slot(e, T)) < 0 ||
             (imperfect_ && lincav.linac != 0);
  }
  planned.every_visit = varies;
  planned.step = Step{};
  planned.step.position = p;
  planned.step.element = e;
  if (!planned.skip && !varies)
    build_step(p, trace.iturn, false, planned.step, nullptr, nullptr);
  if (kind == KODE_GKICK) {
    // A kick's drifts keep the design length when errors change the element.
    planned.step.gkick.half = inputt.slot(e, slot::L) / 2;
    planned.step.gkick.rest = inputt.slot(e, slot::L) / 2 + inputt.slot(e, slot::gkick::DZ);
  }
}

// Slow changes rebuilt the maps of their elements at the start of this turn: the positions
// holding them are prepared again. A changed length (or a kick's DZ) moves the path lengths, and
// a changed linac cavity the energies after it: then every position is.
void Loop::forget_slow_changes() {
  forget_prepared_maps();
  TrackingWork &w = tracking_work();
  bool all = false;
  for (int j = 1; j <= adia.count; ++j) {
    const AdiaEntry &a = adia.entry[j];
    const int kind = inputt.kode(a.element);
    all = all || a.slot == slot::L || kind == KODE_LCAVITY ||
          (kind == KODE_GKICK && a.slot == slot::gkick::DZ);
  }
  for (int p = 1; p <= mat.npos; ++p) {
    PlannedPosition &planned = w.plan[static_cast<std::size_t>(p)];
    if (!planned.known)
      continue;
    bool changed = all;
    for (int j = 1; j <= adia.count && !changed; ++j)
      changed = adia.entry[j].element == planned.step.element;
    if (changed)
      planned.known = false;
  }
}

void Loop::position(int p) {
  TrackingWork &w = tracking_work();
  PlannedPosition &planned = w.plan[static_cast<std::size_t>(p)];
  if (!planned.known)
    plan_position(p, planned);
  if (planned.skip)
    return;
  const int e = planned.step.element;
  const int kind = inputt.kode(e);
  bool misaligned = false, changed = false;
  Displacements frame;
  if (planned.imperfect) {
    // The hooks draw their random numbers and may stop the run: when they may, everything
    // before them is told first.
    if (may_stop_ || planned.alone) {
      flush();
      if (finished_)
        return;
    }
    if (uses_misalignment(kind) && hooks_.misaligned != nullptr)
      misaligned = hooks_.misaligned(p, e, frame);
    if (uses_errors(kind) && hooks_.apply_errors != nullptr)
      changed = hooks_.apply_errors(p, e, blank.matrix_number(e));
  }
  // The element changed by errors takes its design values back once its step holds what it
  // needs of it, before any other position is prepared (also when the run ends before).
  bool restored = !changed;
  const auto restore = [&] {
    if (!restored && hooks_.restore_element != nullptr)
      hooks_.restore_element(e, blank.matrix_number(e));
    restored = true;
  };
  if (kind == KODE_TARVOCAV) {
    // The matrices of these cavities come from the cavity operation, which this version does
    // not compute: no position can be identified.
    flush();
    engine_message("  error in tarvo type cavities identification, ");
    engine_message(" this is a programming error. Job is stopped ");
    engine_stop(8);
  }
  // The corrector's effect is kept for this visit's step alone.
  Corset correction;
  const bool corrected = planned.corrector && hooks_.corrector(p, e, correction);
  bool alone = planned.alone;
  // A changed multipole, a changed bend radiating through its pieces and a changed linac cavity
  // keep what errors changed in single records: their step runs alone.
  if (changed && (kind == KODE_MULTIPOL || kind == KODE_LCAVITY ||
                  (kind == KODE_BEND && effects_ && synch.option != 0)))
    alone = true;
  // Slow changes and field errors may have changed the element since the run was checked.
  if ((kind == KODE_RFCAVITY || kind == KODE_ARBITRAR) && !trackable(p)) {
    flush();
    if (!finished_)
      refuse_element(p);
    restore();
    return;
  }
  if (kind == KODE_RFCAVITY && cav.frequency_printed == 0)
    flush();
  const bool wake = kind == KODE_ARBITRAR && inputt.slot(e, slot::arbitrary::P(1)) > 0.0;
  if (alone || wake)
    flush();
  // The map errors changed is kept beside the visit; when those places are all taken, the
  // waiting visits run first.
  SparseMap *changed_map = nullptr;
  if (changed && !alone && w.changed_used == CHANGED_MAPS)
    flush();
  if (finished_) {
    restore();
    return;
  }
  if (changed && !alone)
    changed_map = &w.changed[static_cast<std::size_t>(w.changed_used++)];
  std::size_t slot = static_cast<std::size_t>(pending_);
  // The visit's own step, when the planned one does not serve.
  Step *own = nullptr;
  if (planned.every_visit || changed) {
    own = &w.steps[slot];
    build_step(p, trace.iturn, changed, *own, changed_map, &w.arbitrary[slot]);
    if (kind == KODE_GKICK) {
      own->gkick.half = planned.step.gkick.half;
      own->gkick.rest = planned.step.gkick.rest;
    }
  } else if (misaligned || corrected) {
    own = &w.steps[slot];
    *own = planned.step;
  }
  const Step &step = own != nullptr ? *own : planned.step;
  StepEffects *effects = nullptr;
  if (effects_) {
    StepEffects &f = w.effects[slot];
    f = StepEffects{};
    position_effects(p, step, f);
    if (f.radiation != 0)
      f.pieces = bend_pieces(e, changed);
    if (f.any)
      effects = &f;
  }
  restore();
  if (wake) {
    // The bunch length the wake scales with: the spread of l over the live particles at the
    // element, summed in particle order.
    double sum = 0.0;
    int n = 0;
    for (int i = 1; i <= trace.npart; ++i)
      if (alive.flag(i) != 0) {
        sum += trace.pcoord(i, 5);
        ++n;
      }
    double spread = 0.0;
    if (n > 0) {
      const double mean = sum / n;
      double squares = 0.0;
      for (int i = 1; i <= trace.npart; ++i)
        if (alive.flag(i) != 0)
          squares += (trace.pcoord(i, 5) - mean) * (trace.pcoord(i, 5) - mean);
      spread = std::sqrt(squares / n);
    }
    own->sigma = spread;
  }
  if (own != nullptr) {
    own->misaligned = misaligned;
    own->frame = frame;
    own->corrected = corrected;
    own->corrector = correction;
  }
  if (planned.monitor) {
    // A monitor that is read: the particles stop at its centre to be seen there.
    const int state = hooks_.monitor(p, e);
    if (state != 0) {
      const Step read = step;
      const StepEffects kept = effects != nullptr ? *effects : StepEffects{};
      flush();
      if (finished_)
        return;
      slot = static_cast<std::size_t>(pending_);
      own = &w.steps[slot];
      *own = read;
      if (effects != nullptr) {
        effects = &w.effects[slot];
        *effects = kept;
      }
      drift_store(p, own->length / 2);
      hooks_.read_monitor(p, misaligned);
      own->length = own->length / 2;
      own->half = own->length / 2;
      alone = true;
      pass_ended_ = state == 2;
    }
  }
  w.visits[static_cast<std::size_t>(pending_++)] =
      Visit{own != nullptr ? own : &planned.step, effects, trace.iturn, pass_, false};
  // A segment holds at most SEGMENT_STEPS visits: the steps and effects prepared for single
  // visits stay a few megabytes whatever the size of the machine, and a long machine's turn runs
  // in several segments.
  if (alone || wake || needs_output(p) || static_cast<std::size_t>(pending_) == w.visits.size())
    flush();
  if (crmat.collecting != 0 && !finished_)
    rmat(p);
}

bool Loop::needs_output(int p) {
  if (trace.nprint == 0 || plt.nplot == 0 || plt.orbit != 0)
    return true;
  const long long a = trace.nprint < 1 ? 1 : schedule_turn() % trace.nprint;
  const long long b = plt.nplot < 1 ? 1 : schedule_turn() % plt.nplot;
  if (a != 0 && b != 0)
    return false;
  int result = 0;
  prttst(p, walk_cursor_, result);
  return result != 0;
}

// The live particles through a field-free length, outside the steps (no loss test): the first
// half of the monitor at the position.
void Loop::drift_store(int position, double length) {
  if (length == 0.0)
    return;
  for (int i = 1; i <= trace.npart; ++i) {
    if (alive.flag(i) == 0)
      continue;
    double z[6], g[6];
    for (int k = 0; k < 6; ++k)
      z[k] = trace.pcoord(i, k + 1);
    if (mode_.canonical) {
      if (ncvar(z, g, mode_.b0))
        warn_negative_root();
      trdrif(g, length, length / 2);
      cvar(g, z, mode_.b0);
    } else {
      trdrif(z, length, length / 2);
    }
    if (!all_finite(z)) {
      alive.flag(i) = 0;
      --trace.nlive;
      report_non_finite(i, position);
      continue;
    }
    for (int k = 0; k < 6; ++k)
      trace.pcoord(i, k + 1) = z[k];
  }
}

void Loop::flush() {
  if (pending_ == 0)
    return;
  const int count = pending_;
  pending_ = 0;
  TrackingWork &w = tracking_work();
  run_segment(w.visits.data(), count, mode_);
  w.changed_used = 0;
  replay(count);
  walk_cursor_ = replay_cursor_;
}

void Loop::replay(int count) {
  TrackingWork &w = tracking_work();
  const int chunks = chunk_count();
  std::vector<int> &cursor = cursors_;
  cursor.assign(static_cast<std::size_t>(chunks), 0);
  // Most segments meet no event: their visits are told without looking into the chunks.
  bool events = false;
  for (int c = 0; c < chunks && !events; ++c)
    events = w.events[static_cast<std::size_t>(c)].count > 0;
  // The walk may be turns ahead: each visit is told in the turn it was prepared for.
  const int walk_turn = trace.iturn;
  for (int index = 0; index < count && !finished_; ++index) {
    const Visit &v = w.visits[static_cast<std::size_t>(index)];
    const int position = v.step->position;
    if (v.pass != replay_pass_) {
      replay_pass_ = v.pass;
      replay_cursor_ = 0;
      emptied_ = false;
    }
    trace.iturn = v.turn;
    for (int c = 0; c < chunks && events; ++c) {
      ChunkEvents &e = w.events[static_cast<std::size_t>(c)];
      for (int &k = cursor[static_cast<std::size_t>(c)]; k < e.count && e.event[k].step == index;
           ++k) {
        const Event &ev = e.event[k];
        switch (ev.type) {
        case EventType::LOSS:
        case EventType::APERTURE_LOSS:
          report_loss(ev.particle, position, ev.type == EventType::APERTURE_LOSS);
          --trace.nlive;
          break;
        case EventType::NON_FINITE:
          report_non_finite(ev.particle, position);
          --trace.nlive;
          break;
        case EventType::NO_CONVERGENCE:
          report_no_convergence(ev.particle, e.start[ev.data]);
          break;
        case EventType::NEGATIVE_ROOT:
          warn_negative_root();
          break;
        }
      }
    }
    // With the last particle lost the rest of the turn is scheduled as the last turn, and the
    // run ends with it.
    if (trace.nlive == 0) {
      emptied_ = true;
      next_plot_ = trace.nturn;
    }
    outputs(position);
    // The position is told whole: a stop signal may end the run here.
    note_tracking(trace.iturn, position);
    interruption_point();
    if (emptied_ && v.turn_last) {
      turn_end();
      finished_ = true;
    }
  }
  // A run that ended stays at the turn it ended in.
  if (!finished_)
    trace.iturn = walk_turn;
}

void Loop::plot(int continuation) {
  if (hooks_.plot_particles != nullptr)
    hooks_.plot_particles(continuation);
}

void Loop::outputs(int p) {
  if (plt.orbit != 0 && hooks_.plot_orbit != nullptr)
    hooks_.plot_orbit(p, blank.mseq(p), last_);
  if (trace.nprint == 0)
    trakpr(1, p);
  if (plt.nplot == 0) {
    plt.last_frame = 1;
    plot(0);
  }
  const long long a = trace.nprint < 1 ? 1 : schedule_turn() % trace.nprint;
  const long long b = plt.nplot < 1 ? 1 : schedule_turn() % plt.nplot;
  if (a != 0 && b != 0)
    return;
  int result = 0;
  prttst(p, replay_cursor_, result);
  if (result == 0)
    return;
  if (a == 0)
    trakpr(1, p);
  if (b == 0 && trace.nintv != 0) {
    plt.last_frame = 1;
    plot(0);
  }
}

} // namespace

namespace {

void record_loss(int particle, int position, const double z[6]) {
  if (const TrackingHooks &hooks = tracking_seam.hooks(); hooks.lost != nullptr)
    hooks.lost(particle, position, z);
}

} // namespace

void report_loss(int particle, int position, bool aperture) {
  if (trace.quiet_losses != 0)
    return;
  const int e = blank.mseq(position);
  note_loss_place(trace.iturn, position, chinp.elname(e).trimmed());
  const std::string head = "  PARTICLE #" + fI(particle, 7) + " IS LOST BEFORE ELEMENT" +
                           fI(position, 6) + "(" + chinp.elname(e).str() + ")" +
                           " DURING TURN:" + fI(trace.iturn, 8);
  double z[6];
  for (int k = 0; k < 6; ++k)
    z[k] = trace.pcoord(particle, k + 1);
  record_loss(particle, position, z);
  const std::string coordinates = coordinates_line(z);
  write_record(control.output_unit, head);
  write_record(control.output_unit, " ITS POSITION IS :");
  write_record(control.output_unit, coordinates);
  if (control.echo_flag && tell_loss_on_terminal()) {
    terminal(head);
    terminal(" ITS POSITION IS :");
    if (aperture)
      terminal(coordinates);
  }
}

void report_non_finite(int particle, int position) {
  if (trace.quiet_losses != 0)
    return;
  const int e = blank.mseq(position);
  note_loss_place(trace.iturn, position, chinp.elname(e).trimmed());
  const std::string head = "  PARTICLE #" + fI(particle, 7) + " IS LOST AT ELEMENT" +
                           fI(position, 6) + "(" + chinp.elname(e).str() + ")" +
                           " DURING TURN:" + fI(trace.iturn, 8);
  const std::string why = " ITS COORDINATES STOPPED BEING FINITE NUMBERS; BEFORE IT THEY WERE :";
  double z[6];
  for (int k = 0; k < 6; ++k)
    z[k] = trace.pcoord(particle, k + 1);
  record_loss(particle, position, z);
  write_record(control.output_unit, head);
  write_record(control.output_unit, why);
  write_record(control.output_unit, coordinates_line(z));
  if (control.echo_flag && tell_loss_on_terminal()) {
    terminal(head);
    terminal(why);
  }
}

void trackt(bool result_files) {
  Loop loop;
  loop.run(result_files);
}

} // namespace vorax
