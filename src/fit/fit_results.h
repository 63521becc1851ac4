// The table of a fit's results beside the listing (--tables): every varied parameter and
// every parameter that follows it, with its final value.
#pragma once

#include "fit/fit_areas.h"

#include <string>
#include <string_view>

namespace vorax {

// Writes the table of operation ("simp" or "leas") for lists 1..count; fit_function is the
// final value of the least-squares fit function (not written when it is not finite).
void write_fit_results(std::string_view operation, const CoupledList *lists, int count,
                       double fit_function);

// The attribute name of an element's data slot as the operation data name it ("K1", "T2",
// "R16"); "" when the slot has no name of its own.
std::string slot_attribute_name(int element, int slot);

} // namespace vorax
