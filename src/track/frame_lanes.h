// The vectors of four particles the column kernels work on, and the displaced-element and
// corrector frames on them: the operations of the one-particle forms (element_frames.h) in their
// order, lane by lane, so that every particle gets the same bits. For the kernels' own files:
// inlined into functions compiled for the instruction set they choose.
#pragma once

#include "track/element_frames.h"

#include <cstdint>

namespace vorax::lanes {

typedef double Lanes __attribute__((vector_size(32)));
typedef std::int64_t LaneMask __attribute__((vector_size(32)));
typedef std::int32_t Flags __attribute__((vector_size(16)));
inline constexpr int LANES = 4;

// A scalar operand of a lane operation stands for the same value in every lane.

[[gnu::always_inline]] inline void enter_corrector(const Corset &c, Lanes &x, Lanes &xp, Lanes &y,
                                                   Lanes &yp, Lanes &delta) {
  x = x + c.x_in;
  xp = xp + (c.xp_in + c.kick_x / (1.0 + delta));
  y = y + c.y_in;
  yp = yp + (c.yp_in + c.kick_y / (1.0 + delta));
  delta = delta + c.ddelta;
}

[[gnu::always_inline]] inline void leave_corrector(const Corset &c, Lanes &x, Lanes &xp, Lanes &y,
                                                   Lanes &yp, Lanes &delta) {
  x = x + c.x_out;
  xp = xp + c.xp_out;
  y = y + c.y_out;
  yp = yp + c.yp_out;
  delta = delta - c.ddelta;
}

[[gnu::always_inline]] inline void enter_frame(const Displacements &d, Lanes &x, Lanes &xp,
                                               Lanes &y, Lanes &yp, Lanes &delta) {
  const Lanes xp1 = xp - d.dxp_in;
  const Lanes yp1 = yp - d.dyp_in;
  delta = delta - d.ddelta;
  const Lanes x1 = x - d.dx_in - d.ds_in * xp1;
  const Lanes y1 = y - d.dy_in - d.ds_in * yp1;
  const double c = d.cos_in, s = d.sin_in;
  x = c * x1 - s * y1;
  y = c * y1 + s * x1;
  xp = c * xp1 - s * yp1;
  yp = c * yp1 + s * xp1;
}

[[gnu::always_inline]] inline void leave_frame(const Displacements &d, Lanes &x, Lanes &xp,
                                               Lanes &y, Lanes &yp, Lanes &delta) {
  const double c = d.cos_out, s = d.sin_out;
  const Lanes xpr = c * xp - s * yp;
  const Lanes ypr = c * yp + s * xp;
  const Lanes x1 = c * x - s * y - d.ds_out * xpr - d.dx_out;
  const Lanes y1 = c * y + s * x - d.ds_out * ypr - d.dy_out;
  x = x1;
  y = y1;
  xp = xpr - d.dxp_out;
  yp = ypr - d.dyp_out;
  delta = delta + d.ddelta;
}

} // namespace vorax::lanes
