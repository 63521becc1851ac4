// Reset of the output areas to their program-start values.
#include "common/plot.h"
#include "common/reset.h"

namespace vorax {

void reset_output_areas() {
  plotio = Plotio{};
}

} // namespace vorax
