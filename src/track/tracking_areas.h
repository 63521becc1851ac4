// The global areas of tracking: the particle store with its live flags, the plot settings of
// the last TRAC, the per-particle cavity phases, and the settings of the effects that other
// operations switch on (ground motion, momentum offsets). All live for the whole run and are
// reset in place.
#pragma once

#include "common/limits.h"
#include "common/reset.h"
#include "common/table.h"

#include <cstdint>

namespace vorax {

// The particle store. Column k = 1..6 of pcoord holds coordinate k of every particle (x, x', y,
// y', l, delta), column 7 the delta each particle was read with: seven contiguous arrays.
struct Trace {
  Matrix<double, MAXPART, 7> pcoord;
  int npart = 0;  // particles defined, 1..npart
  int nlive = 0;  // particles not yet lost
  int nprint = 0; // print option of the last TRAC
  int iturn = 0;  // turn being tracked, 0 before the first
  int nintv = 0;  // print intervals of the last TRAC
  int nturn = 0;  // tracking runs while iturn is below it
  // 1 when the store holds canonical variables (x, px, y, py, -l, pt) instead of geometric ones:
  // the symplectic option's canonical modes track in them, and the store is converted when the
  // mode in force changes.
  int canonical = 0;
  // 1 while a search probes how far particles go: their losses are expected and not reported.
  int quiet_losses = 0;
  double *column(int k) { return pcoord.column(k); }
};
inline Trace trace;
inline const AreaRegistration trace_registration{reset_area<trace>};

// 1 while a particle is tracked, 0 once it is lost.
struct Alive {
  Table<std::int32_t, 1, MAXPART> flag;
};
inline Alive alive;
inline const AreaRegistration alive_registration{reset_area<alive>};

// Plot settings of the last TRAC.
struct Plt {
  int nplot = -1; // plot step: below 0 none, 0 every position, above 0 every nplot turns
  int type = 0;
  Table<double, 1, 12> limits; // in the order given: three frames of right, left, top, bottom
  int columns = 101;           // grid sizes of the character plot
  int lines = 51;
  int first_frame = 0; // 1: the next frame starts a new picture
  int last_frame = 0;  // 1: the next frame is printed (the picture is complete)
  int orbit = 0;       // 1: the centroid is plotted position by position (plporb)
};
inline Plt plt;
inline const AreaRegistration plt_registration{reset_area<plt>};

// RF cavities: the run values of the reference particle and, per particle, the phase
// accumulated over the cavities passed and the path length at the last of them.
struct Cav {
  double inverse_gamma = 0.0;
  double beta = 1.0;
  double k1 = 0.0;
  double previous_s = 0.0;
  int frequency_printed = 0; // the first cavity of the program prints its frequency
  Table<double, 1, MAXPART> phase;
  Table<double, 1, MAXPART> previous_l;
};
inline Cav cav;
inline const AreaRegistration cav_registration{reset_area<cav>};

// Kick-frame state carried from turn to turn: the phase of the synchrotron-oscillation kicks.
struct Kickph {
  int set = 0;       // 0: unset (turn 1 of a run)
  double base = 0.0; // phase at the start of the turn
  double current = 0.0;
  int first_kick = 0; // 1 until the first oscillation kick of the turn
};
inline Kickph kickph;
inline const AreaRegistration kickph_registration{reset_area<kickph>};

// The number of threads tracking uses (--threads): not program state, so it survives the
// reset of the areas. 0 means the machine's processors.
void set_tracking_threads(int threads);
int tracking_threads();
// Particles per chunk of the threads' work (1..256, 256 unless a test asks for smaller chunks
// to see several chunks with few particles). The results do not depend on it.
void set_tracking_chunk(int particles);
int tracking_chunk();

} // namespace vorax
