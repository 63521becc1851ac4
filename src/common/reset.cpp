// Reset of all global areas to their program-start values.
#include "common/reset.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/units.h"

namespace vorax {

void reset_common_areas() {
  control = Control{};
  cinter = Cinter{};
  const_ = Const{};
  condef = Condef{};
  inputt.clear();
  chinp = Chinp{};
  lngth = Lngth{};
  blank.clear();
  pagtit = Pagtit{};
  mat = Mat{};
  prodct = Prodct{};
  sym = Sym{};
  lincav.clear();
  cintak = Cintak{};
  limit = Limit{};
  cprt = Cprt{};
  analc = Analc{};
}

void reset_all_areas() {
  reset_units();
  reset_common_areas();
  reset_input_areas();
  reset_engine_areas();
  reset_maps_areas();
  reset_optics_areas();
  reset_fit_areas();
  reset_errors_areas();
  reset_output_areas();
}

} // namespace vorax
