// Reset of the random-number areas to their program-start values: master seed 0, every stream
// in direct mode, empty tables.
#include "common/random_numbers.h"
#include "common/reset.h"

namespace vorax {

void reset_errors_areas() {
  cseeds = Cseeds{};
  cran.clear();
}

} // namespace vorax
