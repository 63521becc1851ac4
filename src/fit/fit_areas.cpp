// Program-start state of the fit areas.
#include "fit/fit_areas.h"
#include "common/reset.h"

namespace vorax {

void reset_fit_areas() {
  fitm = Fitm{};
  fitl = Fitl{};
  fout = Fout{};
  lmwork.clear();
}

} // namespace vorax
