// Placeholders: program start and front-end areas (reader, command loop, parameters, elements).
#include "common/reset.h"
#include "input/program.h"
namespace vorax {
int run_program() { return 0; }
void reset_input_areas() {}
} // namespace vorax
