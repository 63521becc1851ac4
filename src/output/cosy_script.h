// The COSY operation: a COSY script of the machine in the engine tables, with error variables
// that carry the field errors and kicks that carry the misalignments tracking would apply.
#pragma once

#include "errors/correctors.h"
#include "errors/misalignments.h"
#include "input/cosy_procedures.h"

namespace vorax {

// The GKICK-form kicks (rotation first, then offsets) that take a particle into the frame of
// a misaligned element at its entry and back out at its exit, as mset and mreset do; the
// longitudinal shift stands in the place of DL.
CosyKick misalignment_entry_kick(const Displacements &d);
CosyKick misalignment_exit_kick(const Displacements &d);
// The kick form of the corrector set at a position (the entrance and the exit).
CosyKick corrector_entry_kick(const Corset &c);
CosyKick corrector_exit_kick(const Corset &c);

// COSY: writes the script and ends the run (it reads no data).
void dcosy(int code, int &end_flag);

} // namespace vorax
