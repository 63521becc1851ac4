// The registries of the areas and of the engine defaults, filled during static initialisation.
#include "common/reset.h"

#include "common/limits.h"
#include "common/units.h"

#include <vector>

namespace vorax {

namespace {

// Built on first use, so that a registration made from any translation unit finds it.
std::vector<AreaReset> &area_resets() {
  static std::vector<AreaReset> resets;
  return resets;
}

std::vector<void (*)()> &engine_defaults() {
  static std::vector<void (*)()> defaults;
  return defaults;
}

} // namespace

AreaRegistration::AreaRegistration(AreaReset reset) {
  area_resets().push_back(reset);
}

EngineDefaultsRegistration::EngineDefaultsRegistration(void (*set_defaults)()) {
  engine_defaults().push_back(set_defaults);
}

void reset_all_areas() {
  reset_units();
  for (const AreaReset &area : area_resets())
    area.reset();
}

// Only the areas with machine tables are built again: the others (the particle store among them)
// stay untouched, and so does their memory.
void size_machine_tables(int max_positions) {
  const int n = max_positions < MAXPOS_ELEMENTS         ? MAXPOS_ELEMENTS
                : max_positions > LARGEST_MAX_POSITIONS ? LARGEST_MAX_POSITIONS
                                                        : max_positions;
  detail::run_limits = limits_for_positions(n);
  for (const AreaReset &area : area_resets())
    if (area.machine_sized)
      area.reset();
}

void set_engine_defaults() {
  for (void (*set_defaults)() : engine_defaults())
    set_defaults();
}

} // namespace vorax
