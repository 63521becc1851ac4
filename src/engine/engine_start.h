// Engine services of the start-up that operations use again: the units and the echo file, the
// path lengths, and the linac cavities with the energy after each position.
#pragma once

#include "common/reset.h"

namespace vorax {

// Cavity-request flag of kind 20: 1 when the machine holds at least one such element.
struct Tarvocav {
  int request = 0;
};
inline Tarvocav tarvocav;
inline const AreaRegistration tarvocav_registration{reset_area<tarvocav>};

void setup(); // binds the engine's input, output and echo units
// Element lengths, cumulative path lengths, machine length; report: the machine length is
// printed at print level 2 and above.
void leng(bool report = true);
// The kind-20 request and the linac cavities' positions, in machine order.
void scan_positions();
// Energy after each position: the first cavity's E0 (1.0 without cavities) plus the gains of
// the cavities at or before the position.
void fill_energies();

} // namespace vorax
