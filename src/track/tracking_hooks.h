// What the tracking loop asks of the folders above it at each turn and position: the machine's
// imperfections (misalignments and field errors), its correctors and monitors, and the plots of
// the tracked particles. The
// loop sits below them, so it reaches them only through this seam, which the program installs
// at its start. An empty hook means a perfect machine, or no plot.
#pragma once

#include "common/hooks.h"
#include "track/element_frames.h"

namespace vorax {

struct TrackingHooks {
  // Start of a pass over the positions of one turn. Normal mode (partial = false): the
  // misalignment and field-error random streams restart from the master seed (or from index 1
  // and stride 1 in table mode), the field-error factor counter returns to its first value and
  // the cursor of a replayed misalignment set to the first misaligned position, so that every
  // turn meets the same imperfect machine. Partial mode: the streams and the counter come back
  // from the copies saved at the end of the previous partial pass.
  void (*pass_start)(bool partial) = nullptr;
  // End of a pass: in partial mode the streams and the counter are saved for the next pass.
  void (*pass_end)(bool partial) = nullptr;

  // Whether misalignments or field errors are switched on. When it is installed and answers
  // false, the loop asks neither misaligned nor apply_errors during the run; when it is empty,
  // the loop asks them at every position.
  bool (*active)() = nullptr;
  // Whether the imperfections of the pass about to start may stop the run or print a message at
  // a position (a bad random option or misalignment type, factors of the file used up): the loop
  // then tells everything before such a position first. Empty: they may.
  bool (*may_stop)() = nullptr;

  // Misalignment of the position about to be tracked (position p holds element e): true when
  // p is misaligned, with its entry and exit displacements in at. The loop moves the particles
  // into the displaced frame before the element and out of it after, with those values.
  bool (*misaligned)(int position, int element, Displacements &at) = nullptr;

  // Field errors of the position: changes the element's parameters and, where its tracking
  // reads a map, rebuilds the map record of the slot. True when anything was changed; the loop
  // then takes what it needs of the changed element for this visit and calls restore_element
  // before it goes on to the next position, which puts back the design values and the design
  // map bit for bit.
  bool (*apply_errors)(int position, int element, int map_slot) = nullptr;
  void (*restore_element)(int element, int map_slot) = nullptr;

  // Correctors. corrector(p, e, effect) is asked before an element that a corrector may act on
  // (map kinds, general kicks, arbitrary elements): true when a set corrector stands at p, with
  // its effect, which wraps the element (and its misalignment) for every particle. Empty: no
  // correctors.
  bool (*corrector)(int position, int element, Corset &effect) = nullptr;

  // Monitors. monitor(p, e) is asked at every monitor: 0 the monitor is not read (the particles
  // drift through it), 1 it is read at its centre, 2 it is read and is the last one the pass
  // needs (the pass ends after it). read_monitor(p, misaligned) is then called with the
  // particles standing at the centre. Empty: monitors are drifts.
  int (*monitor)(int position, int element) = nullptr;
  void (*read_monitor)(int position, bool misaligned) = nullptr;

  // Orbit observation: when observing() answers true at the start of a run, the particles are
  // moved position by position and observe(p) sees them after each position. Empty: none.
  bool (*observing)() = nullptr;
  void (*observe)(int position) = nullptr;

  // The character plot of the tracked particles (continuation flag as the plot routine takes it)
  // and the per-position orbit plot.
  void (*plot_particles)(int continuation) = nullptr;
  void (*plot_orbit)(int position, int element, int positions) = nullptr;

  // The result files of the printed coordinates (tables and plots beside the listing).
  // results_begin opens them at the start of a run, told whether the store holds canonical
  // variables; printed_coordinates receives every particle line that the printout writes, with
  // its turn, the path length s of the position (0 for the initial positions) and the six
  // coordinates of the store; results_end completes the files when the run ends, also when it
  // ends through the error stop (then a failure of its own is not reported). Empty: nothing is
  // written. They are called only where the printout is written, never in the particle loops.
  void (*results_begin)(bool canonical) = nullptr;
  void (*printed_coordinates)(int particle, int turn, double s, const double z[6]) = nullptr;
  void (*results_end)() = nullptr;
  // Every particle lost, in the order the listing tells them: its number, the position where
  // it is lost and the coordinates the listing prints with it. Empty: not recorded.
  void (*lost)(int particle, int position, const double z[6]) = nullptr;
};

inline Seam<TrackingHooks> tracking_seam;

} // namespace vorax
