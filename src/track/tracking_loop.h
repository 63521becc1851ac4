// TRAC and the tracking loop: trapre reads the operation and starts the run, trackt tracks the
// particle store turn by turn, trakpr prints it. The step builders and the per-position
// preparations the loop calls are declared here for the loop's own files and their tests.
#pragma once

#include "common/engine_tables.h"
#include "track/tracking_steps.h"

namespace vorax {

void trapre(int code, int &end_flag); // TRAC
// result_files: TRAC's own runs write the printed coordinates to the result files (--tables,
// --plots); the runs other operations make for their own measurements (RMAT, MOVE, ALIG, REFE)
// write none.
void trackt(bool result_files = false);
void trakpr(int mode, int position);

// Sizes the loop's scratch for the present store and machine, and forgets the maps prepared
// for an earlier run.
void prepare_run();
// Forgets the maps prepared from the element records: a slow change rebuilt some of them.
void forget_prepared_maps();
// The step of position p in the given turn into s. changed: field errors changed the element at
// this position: its map is taken as it now stands, not from the design prepared for the run,
// into changed_map (null: the single record of a step that runs alone). An ARBITELM's parameters
// go to arbitrary.
void build_step(int p, int turn, bool changed, Step &s, SparseMap *changed_map,
                ArbitraryElement *arbitrary);
// The pieces a radiating bend is tracked through, prepared from its values as they stand (for
// this one step when changed); null when the element does not bend.
const BendPieces *bend_pieces(int element, bool changed);
CavityStep cavpre(int position, int element, int turn);
// Whether the element at position p can be tracked as it stands: an RF cavity that kicks needs
// its ENERGY, an ARBITELM's wake its P5. refuse_element stops the run naming it;
// check_tracked_elements does so for the first such position of the machine.
bool trackable(int p);
[[noreturn]] void refuse_element(int p);
void check_tracked_elements();
KickStep kick_step(int position, int element, int turn, double length);
// The kick period of a V: abs(V) + 0.01 truncated.
int kick_period(double v);

// The kinds whose positions the loop asks about misalignments (the others - drifts,
// collimators, RF cavities, kicks, HCOLLIMA - are tracked without one), and about field errors
// (the same less monitors and TARVOCAV cavities, plus GKICK).
inline bool uses_misalignment(int kind) {
  switch (kind) {
  case KODE_BEND:
  case KODE_QUAD:
  case KODE_SEXT:
  case KODE_QUADSEXT:
  case KODE_MULTIPOL:
  case KODE_MTWISS:
  case KODE_MATRIX:
  case KODE_ARBITRAR:
  case KODE_MONITOR:
  case KODE_SOLENOID:
  case KODE_LCAVITY:
  case KODE_QUADAC:
  case KODE_TARVOCAV:
    return true;
  default:
    return false;
  }
}

inline bool uses_errors(int kind) {
  return kind == KODE_GKICK ||
         (uses_misalignment(kind) && kind != KODE_MONITOR && kind != KODE_TARVOCAV);
}

// The kinds a corrector acts on: the map kinds, the kicks (at their centre) and ARBITELM.
inline bool takes_corrector(int kind) {
  return kind == KODE_GKICK || kind == KODE_ARBITRAR ||
         (uses_misalignment(kind) && kind != KODE_MULTIPOL && kind != KODE_MONITOR &&
          kind != KODE_TARVOCAV);
}

// The loss message of a particle (also used for the aperture of collimators, whose coordinate
// line goes to the terminal too).
void report_loss(int particle, int position, bool aperture);
// The loss of a particle that a position gave coordinates that are not finite numbers; the
// store still holds those it entered the position with.
void report_non_finite(int particle, int position);

} // namespace vorax
