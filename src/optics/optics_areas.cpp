// Program-start values of the matrix-operation areas, and its engine defaults.
#include "optics/optics_areas.h"
#include "common/reset.h"
#include "optics/matrix_operation.h"

namespace vorax {

void reset_optics_areas() {
  func = Func{};
  twf = Twf{};
  cbeam = Cbeam{};
  lum = Lum{};
  zqvo = Zqvo{};
  hardd = Hardd{};
}

void optics_defaults() {
  zqvo.mode = 0;
}

} // namespace vorax
