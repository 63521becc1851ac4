// What the latest MOVE found at its first momentum deviation: the machine tunes, betas and
// alphas of both planes and the closed orbit there. MOVE (optics) writes it; RMAT (asked for the
// closed orbit by a reference delta of exactly 1.0) and TUNE read it, which is why it sits in
// the tracking folder, below both.
#pragma once

#include "common/reset.h"
#include "common/table.h"

namespace vorax {

struct Ctune {
  int found = 0;    // 1 once a MOVE analysed its first momentum with surviving particles
  double nux = 0.0; // tunes, betas and alphas (stable planes; 0 for an unstable one)
  double nuy = 0.0;
  double betax = 0.0;
  double betay = 0.0;
  double alphax = 0.0;
  double alphay = 0.0;
  // closed orbit (x, x', y, y', l, delta) at the first momentum deviation of the latest MOVE
  Table<double, 1, 6> orbit;
};
inline Ctune ctune;
inline const AreaRegistration ctune_registration{reset_area<ctune>};

} // namespace vorax
