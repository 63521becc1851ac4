// Reset of the random-number areas to their program-start values: master seed 0, every stream
// in direct mode, empty tables.
#include "common/reset.h"
#include "errors/random_numbers.h"

namespace vorax {

void reset_errors_areas() {
  cseeds = Cseeds{};
  cran.clear();
}

} // namespace vorax
