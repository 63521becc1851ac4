// The command loop and the commands it handles itself.
#pragma once

#include "common/hooks.h"
#include "common/reset.h"
#include "common/table.h"

namespace vorax {

// Unit convention of element attributes: 0 standard, 1 LDF, 2 MERIDOXAN.
struct Units {
  int value = 0;
};
inline Units units;
inline const AreaRegistration units_registration{reset_area<units>};

// 1 after NEWBEAMO, never reset: every later conversion keeps the element tables.
struct Newbm {
  int value = 0;
};
inline Newbm newbm;
inline const AreaRegistration newbm_registration{reset_area<newbm>};

// Values read by the engine's map and matrix routines.
struct Prtcls {
  Table<double, 1, 19> value;
  Prtcls() { set_defaults(); }
  void set_defaults() {
    static constexpr double d[19] = {0, 1, 1, 1, 1, 0, 1, 1, 1, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1};
    for (int i = 1; i <= 19; ++i)
      value(i) = d[i - 1];
  }
};
inline Prtcls prtcls;
inline const AreaRegistration prtcls_registration{reset_area<prtcls>};

// Units whose latest OPEN failed (1). A CALL of one is refused: an unconnected unit would
// otherwise be read from its default file, which the deck never named.
struct FailedOpens {
  Table<int, 1, 99> unit;
};
inline FailedOpens failed_opens;
inline const AreaRegistration failed_opens_registration{reset_area<failed_opens>};

// The command loop's seam to the engine, which the program installs: the lattice language
// itself knows nothing of the operations.
struct CommandLoopHooks {
  // Runs the engine on the machine just converted (VORAX); returns true when the engine ended
  // the run, as STOP would. Left empty: no operation runs and the command loop reads on.
  bool (*engine_entry)() = nullptr;
  // Sets up the engine's output after TITLE has stored a new title, from which the echo file
  // is named. Left empty: the title is only stored.
  void (*title_output)() = nullptr;
};
inline Seam<CommandLoopHooks> command_loop_seam;

void clear();
void cntrol();
int intrac();
// Table-overflow stop: kind 1 elements, 2 parameters, 3 list cells, 4 sequence, 5 harmonics.
void ovflow(int kind, int limit);

// Commands handled by the loop itself; each reads its operands from the cursor and sets
// command_error when it rejects the command.
void title();
void xcall();
void xretrn();
void xopen();
void xclose();
void dump();
// Prints the element, parameter and link tables on the listing.
void dumpex();
// Writes a COSY script of the defined elements and the used line on the listing.
void cosy();

} // namespace vorax
