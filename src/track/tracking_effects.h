// The effects other operations switch on for the tracking loop: synchrotron radiation (SYNC),
// per-particle momentum offsets (SPAC), ground motion (SEIS), slow parameter changes (ADIA) and
// girder blocks (BLOC); their settings, the handlers that fill them, and what the loop asks of
// them at the start of a turn and at each position.
#pragma once

#include "common/limits.h"
#include "common/reset.h"
#include "common/table.h"
#include "track/tracking_steps.h"

#include <cstdint>

namespace vorax {

// Radiation settings and the constants of the element being prepared.
struct Synch {
  double energy = 0.0; // beam energy, GeV
  double u0 = 0.0;     // mean relative loss of the current bend
  double sigma = 0.0;  // radiation spread of the current bend
  double cq = 0.0;     // quadrupole constants of the current element
  double cl = 0.0;
  int option = 0;       // 0 none, 1 mean loss, 2 random part, 3 both (bends)
  int quadrupoles = 0;  // 1: quadrupoles, sextupoles and their combinations radiate too
  int distribution = 0; // rannum option of the draws
};
inline Synch synch;
inline const AreaRegistration synch_registration{reset_area<synch>};

// Momentum offsets seen by quadrupoles.
struct Cspch {
  int on = 0;
  double a = 0.0, b1 = 0.0, b2 = 0.0;
  Table<double, 1, MAXPART> o1; // offsets of quadrupoles with K1 = 0
  Table<double, 1, MAXPART> o2; // offsets of the others
};
inline Cspch cspch;
inline const AreaRegistration cspch_registration{reset_area<cspch>};

// Ground motion: a sine wave along s in each plane over a range of positions.
struct Cseis {
  double wavelength_x = 0.0, amplitude_x = 0.0, phase_x = 0.0;
  double wavelength_y = 0.0, amplitude_y = 0.0, phase_y = 0.0;
  double previous_dx = 0.0, previous_dy = 0.0;
  int on = 0;
  int first = 0, last = 0;
};
inline Cseis cseis;
inline const AreaRegistration cseis_registration{reset_area<cseis>};

inline constexpr int MAX_ADIA = 15;        // slow-change entries
inline constexpr int MAX_ADIA_POINTS = 99; // (turn, value) points of a type-3 entry

struct AdiaEntry {
  int element = 0;
  int slot = 0;
  int type = 0;
  int points = 0;                             // type 3
  Table<double, 1, 2 * MAX_ADIA_POINTS> data; // type 1: 4 values, 2: 6, 3: the pairs
};
struct Adia {
  int on = 0;
  int frequency = 0; // a cavity's FREQ changes: every cavity must be in the list
  int count = 0;
  AdiaEntry entry[MAX_ADIA + 1]; // 1-based
};
inline Adia adia;
inline const AreaRegistration adia_registration{reset_area<adia>};

inline constexpr int MAX_BLOCKS = 100;

struct Block {
  int start = 0, end = 0; // elements
  double user[7] = {};    // dx, dx', dy, dy', ds, roll, ddelta
  double drawn[7] = {};
  double start_s = 0.0;
  int state = -1; // -1 closed, 0 open, k open with block k open inside it
};
struct Cblock {
  int count = 0;
  Block block[MAX_BLOCKS + 1]; // 1-based
  double entry[7] = {};        // the drawn values of the block entered last
  double exit[8] = {};         // the exit values of the block left last, and the path term
  int position_state = 0;      // 0 nothing, 1 a block starts, 2 a block ends at this position
  int option = 0;
  int random_option = 0;
  std::int32_t index = 0, mode = 0; // the block random stream
  int on = 0;
};
inline Cblock cblock;
inline const AreaRegistration cblock_registration{reset_area<cblock>};

void setsyn(int code, int &end_flag); // SYNC
void spchg(int code, int &end_flag);  // SPAC
void seism(int code, int &end_flag);  // SEIS
void setadi(int code, int &end_flag); // ADIA
void block(int code, int &end_flag);  // BLOC

// The radiation constants of an element of length length (synpre); a bend also gets its U0 and
// sigma from its angle.
void synpre(int element, double length);
// The slow changes of turn t (adichk); true when a parameter, and so a map, changed.
bool adichk(int turn);
// The block check of position p holding element e (blockchk): sets the entry or exit values.
void blockchk(int position, int element);
// The block displacements of one particle, on entry and on exit of a block.
void blin(const double d[7], double z[6]);
void blout(const double e[8], double z[6]);

// What the loop asks. Whether the start of a turn must see the particles as they stand (the
// offsets read every delta, a slow change rebuilds maps the pending steps use).
bool turn_start_reads_particles();
// The start of a turn: block stream restart, offsets, slow changes. True when maps changed.
bool start_turn_effects(int turn);
// Whether any effect is switched on: without one, position_effects would find none.
bool effects_on();
// The effects of position p on its step (blocks, ground motion, radiation, offsets).
void position_effects(int position, const Step &step, StepEffects &effects);
// Whether the step of the element must run alone: its random draws go in particle order, a
// block check there may stop the run, or RMAT reads the particles after it.
bool effects_alone(int element);
// While a cavity's frequency changes slowly, every cavity must be one of the changes: stops
// with 215 otherwise.
void cavity_in_slow_changes(int element);
// Before and after the element's own action, for one particle.
void effects_before(const StepEffects &f, double z[6]);
void effects_after(const StepEffects &f, double z[6]);

} // namespace vorax
