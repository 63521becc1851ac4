// How the result files name and draw an element of the engine tables: the keyword it was
// defined with, and its kind on the lattice bar and the floor plot.
#pragma once

#include "output/svg.h"

#include <string>

namespace vorax {

// The keyword an engine element was defined with, spelled out ("QUADRUPOLE"); the engine's
// kind name when the lattice no longer defines it.
std::string keyword_of_element(int element);

// Quadrupoles are drawn by the sign of their horizontal focusing as their own map has it, so
// that the unit convention and a tilt are taken into account.
BarKind bar_kind(int element);

} // namespace vorax
