// Puts every global area of the system back to its program-start values (used by the tests).
#pragma once

namespace vorax {

void reset_all_areas();

// Each subsystem resets the areas it declares.
void reset_common_areas();
void reset_input_areas();
void reset_engine_areas();
void reset_maps_areas();
void reset_optics_areas();
void reset_fit_areas();
void reset_errors_areas();
void reset_output_areas();

} // namespace vorax
