// The frames a particle is moved into and out of around an element that is displaced
// (misaligned) or carries a corrector: the values a position's imperfections give, and the
// transforms of one particle and of the live particles of coordinate columns. The column forms
// do each particle's arithmetic in the order of the one-particle forms, so both give the same
// bits; tracking prepares the values once per position and turn and applies them to the columns.
#pragma once

#include "track/map_kernels.h"

#include <cstdint>

namespace vorax {

// The entry and exit displacements of one misaligned position: the 15 values of the two
// transforms (a saved misalignment set keeps them too).
struct Displacements {
  double dx_in = 0.0, dxp_in = 0.0, dy_in = 0.0, dyp_in = 0.0;
  double dx_out = 0.0, dxp_out = 0.0, dy_out = 0.0, dyp_out = 0.0;
  double ds_in = 0.0, ds_out = 0.0;
  double cos_in = 1.0, sin_in = 0.0, cos_out = 1.0, sin_out = 0.0;
  double ddelta = 0.0;
};

// The effect of a set corrector on a particle: offsets and angle changes at the entrance and at
// the exit, kicks divided by 1 + delta at the entrance, a momentum change added at the entrance
// and taken off at the exit.
struct Corset {
  double x_in = 0.0, xp_in = 0.0, y_in = 0.0, yp_in = 0.0;
  double x_out = 0.0, xp_out = 0.0, y_out = 0.0, yp_out = 0.0;
  double kick_x = 0.0, kick_y = 0.0;
  double ddelta = 0.0;
};

// Into the displaced element's frame: the entry angles, offsets (along the slopes by ds) and
// momentum offset are taken off, then the frame turns by the roll. Out of it: the roll turns
// back, then the exit offsets and angles are taken off and the momentum offset is put back.
void enter_displaced_frame(const Displacements &d, double z[6]);
void leave_displaced_frame(const Displacements &d, double z[6]);
void enter_corrector(const Corset &c, double z[6]);
void leave_corrector(const Corset &c, double z[6]);

// The same on the particles of n columns whose flag is not 0; the others keep their bits. The
// leaving forms also list the live particles whose coordinates are not all finite afterwards in
// failed (0-based, increasing; room for n), and return their count (failed null: not checked).
void enter_displaced_frame(const Displacements &d, const Columns &z, const std::int32_t *alive,
                           int n);
int leave_displaced_frame(const Displacements &d, const Columns &z, const std::int32_t *alive,
                          int n, int *failed);
void enter_corrector(const Corset &c, const Columns &z, const std::int32_t *alive, int n);
int leave_corrector(const Corset &c, const Columns &z, const std::int32_t *alive, int n,
                    int *failed);

} // namespace vorax
