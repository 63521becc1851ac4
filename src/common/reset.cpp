// The registries of the areas and of the engine defaults, filled during static initialisation.
#include "common/reset.h"

#include "common/units.h"

#include <vector>

namespace vorax {

namespace {

// Built on first use, so that a registration made from any translation unit finds it.
std::vector<void (*)()> &area_resets() {
  static std::vector<void (*)()> resets;
  return resets;
}

std::vector<void (*)()> &engine_defaults() {
  static std::vector<void (*)()> defaults;
  return defaults;
}

} // namespace

AreaRegistration::AreaRegistration(void (*reset)()) {
  area_resets().push_back(reset);
}

EngineDefaultsRegistration::EngineDefaultsRegistration(void (*set_defaults)()) {
  engine_defaults().push_back(set_defaults);
}

void reset_all_areas() {
  reset_units();
  for (void (*reset)() : area_resets())
    reset();
}

void set_engine_defaults() {
  for (void (*set_defaults)() : engine_defaults())
    set_defaults();
}

} // namespace vorax
