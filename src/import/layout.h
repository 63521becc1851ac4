// The machine to import laid out as positions: a sequence with the drifts between its elements
// made (and overlapping elements refused), or a beam line expanded with its repetitions,
// reflections and arguments.
#pragma once

#include "import/diagnostics.h"
#include "import/lattice.h"

#include <string>
#include <vector>

namespace vorax::importer {

struct Position {
  std::string element; // the element at this position; "" for a drift made between elements
  double drift = 0.0;  // the length of such a drift
  Location where;      // where the element was placed
};

struct Layout {
  std::string name; // the sequence or line
  bool sequence = false;
  double length = 0.0; // the sum of the lengths along the positions
  std::vector<Position> positions;
};

// The length an element takes in a sequence: its L (an RBEND's arc under OPTION, RBARC), 0 for
// the kinds that have no length.
double element_length(Lattice &lattice, const std::string &element);

// Lays out the sequence or line `name`; false after reported errors.
bool lay_out(Lattice &lattice, const std::string &name, Diagnostics &diagnostics, Layout &out);

} // namespace vorax::importer
