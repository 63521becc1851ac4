// The lattice part of a VORAX deck made from the laid-out machine: parameters, elements (equal
// ones merged, except named places), the beam line and USE; and the table of the VORAX and
// MAD-X names of every position.
#pragma once

#include "import/diagnostics.h"
#include "import/lattice.h"
#include "import/layout.h"

#include <string>
#include <vector>

namespace vorax::importer {

struct DeckText {
  std::string deck;
  std::string names; // a TFS table: one row per position
  std::size_t positions = 0, elements = 0, parameters = 0;
};

// False after reported errors; the texts are then incomplete.
bool make_deck(Lattice &lattice, const Layout &layout, const std::vector<std::string> &files,
               Diagnostics &diagnostics, DeckText &out);

} // namespace vorax::importer
