// Correctors and monitors of the machine: the corrector list (CORR, SETC, CHAN, SHOC) and the
// effect of a corrector on the particles tracked through its element, the monitor reading
// (READ) and the monitors that orbit alignment reads, and the orbit operations built on them
// (ALIG, REFE, BASE).
#pragma once

#include "common/hooks.h"
#include "common/limits.h"
#include "common/reset.h"
#include "common/table.h"
#include "track/element_frames.h"

#include <string_view>

namespace vorax {

inline constexpr int CORRECTOR_VALUES = 4; // p1..p4

// The corrector list, sorted by position.
struct Corr {
  static constexpr bool machine_sized = true;
  int count = 0;
  MachineTable<int> element{machine_limits().maxcor};
  MachineTable<int> position{machine_limits().maxcor};
  MachineTable<bool> set{machine_limits().maxcor}; // SETC has set it
  MachineTable<int> type{machine_limits().maxcor};
  MachineMatrix<double, CORRECTOR_VALUES> value{machine_limits().maxcor}; // (k, corrector)
  int variables = 0;   // correctors that the last ALIG varied
  bool active = false; // SETC has switched the correctors on for tracking
  int cursor = 1;      // the next corrector along the machine
  double length = 0.0; // length of the element at the current corrector
};
inline Corr corr;
inline const AreaRegistration corr_registration{reset_area<corr>};

// The effect of the current corrector on a particle.
inline Corset corset;
inline const AreaRegistration corset_registration{reset_area<corset>};

// The monitor reading of READ: monitors whose name matches the pattern between the first and
// the last position print the beam centroid at their centre.
struct Crdmon {
  Name8 pattern;
  int first = 0, last = 0;
  bool reading = false;
  bool read_here = false; // the current monitor is read
};
inline Crdmon crdmon;
inline const AreaRegistration crdmon_registration{reset_area<crdmon>};

// The monitors that orbit alignment fits, and their readings (the centroid at the centre of
// each, in the pass being tracked).
inline constexpr int MAX_FIT_MONITORS = MXLCND;
struct Monfit {
  int count = 0;
  Table<int, 1, MAX_FIT_MONITORS> position;
  Table<int, 1, MAX_FIT_MONITORS> plane; // 1 x, 2 y
  Table<double, 1, MAX_FIT_MONITORS> target;
  Table<double, 1, MAX_FIT_MONITORS> weight;
  Table<double, 1, MAX_FIT_MONITORS> reading;
  Table<bool, 1, MAX_FIT_MONITORS> seen; // read in the pass
  bool fitting = false;                  // the tracking reads these monitors
  int state = 0;                         // of the monitor last checked: 0, 1 or 2 (the last)
};
inline Monfit monfit;
inline const AreaRegistration monfit_registration{reset_area<monfit>};

// Operation handlers.
void cordat(int code, int &end_flag); // CORR
void setcor(int code, int &end_flag); // SETC
void chgcor(int code, int &end_flag); // CHAN
void shocor(int code, int &end_flag); // SHOC
void rdmon(int code, int &end_flag);  // READ
void align(int code, int &end_flag);  // ALIG
void reforb(int code, int &end_flag); // REFE
void base(int code, int &end_flag);   // BASE

// The residual function of ALIG as the minimiser calls it: the weighted differences between the
// monitor readings and their targets for the corrector values x.
int falct(void *data, int m, int n, const double *x, double *fvec, int iflag);

// Tracking hooks. corchk: a set corrector stands at the position (its effect is then in
// corset); cset and creset: its entrance and exit parts on one particle.
bool corchk(int position, int element);
void cset(double z[6]);
void creset(double z[6]);

// The monitor hooks: rmochk (READ's window and pattern), monchk (the state of a fitted
// monitor), and the reading at the centre of a monitor the tracking stops at.
bool rmochk(int position);
int monchk(int position);
int monitor_state(int position, int element);
void read_monitor(int position, bool misaligned);

// The centroid (x, x', y, y') of the live particles; false when none lives.
bool live_centroid(double mean[4]);

// The corrector effect of one corrector on an element of the given length (no set corrector:
// all zero).
Corset corrector_effect(int type, const double p[CORRECTOR_VALUES], double length);

// Fills the particle store for one probing pass of the machine (one turn, nothing printed or
// plotted) with the given particles.
void start_probe(const double (*particles)[6], int count);

// The orbit observation of the tracking: on while REFE and BASE follow an orbit, which is then
// kept position by position.
bool orbit_observing();
void orbit_observe(int position);
// The residual function of REFE: what one pass changes in the free start coordinates x.
int forb(void *data, int m, int n, const double *x, double *fvec, int iflag);

// What the orbit operations ask of the folders above: the plot of an orbit along the machine
// (x and y against s). Empty: no plot.
struct CorrectionHooks {
  void (*orbit_plot)(const double *s, const double *x, const double *y, int n,
                     const char *title) = nullptr;
};
inline Seam<CorrectionHooks> correction_seam;

// With --tables: every corrector of the list with its values, as the table operation_N.tfs.
void corrector_table(std::string_view operation);

// A fresh engine entry: correctors, readings and fitted monitors belong to the machine they
// were given for.
void clear_correctors();
inline const EngineDefaultsRegistration corrector_defaults_registration{clear_correctors};

} // namespace vorax
