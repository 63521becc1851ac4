// Reset of the output areas to their program-start values.
#include "common/reset.h"
#include "output/plot.h"

namespace vorax {

void reset_output_areas() {
  plotio = Plotio{};
}

} // namespace vorax
