// Program-start state of the fit areas, and the hooks through which the map computation asks
// whether a least-squares evaluation is collecting values.
#include "fit/fit_areas.h"
#include "common/reset.h"
#include "fit/fitting.h"

namespace vorax {

bool fit_collecting() {
  return fitl.active != 0;
}
bool fit_needs_beam() {
  return fitl.active != 0 && fitl.need_beam != 0;
}

void reset_fit_areas() {
  fitm = Fitm{};
  fitl = Fitl{};
  fout = Fout{};
  lmwork.clear();
}

} // namespace vorax
