// Tables and plots of MATR and MACH beside the listing (--tables, --plots): the handlers open a
// collection, the machine pass notes what it computed at each position, and the close writes
// the files. Without the options nothing is collected.
#pragma once

#include "common/reset.h"
#include "common/transfer_map.h"
#include "maps/element_maps.h"
#include "optics/lattice_samples.h"

#include <array>
#include <string>
#include <vector>

namespace vorax {

// One call's collection: the rows of MACH's lattice functions, or MATR's maps.
struct OpticsResults {
  int operation = 0;           // 0: nothing is being collected
  bool periodic_start = false; // MACH started from the periodic solution
  std::vector<int> position;   // 0: the starting values
  std::vector<double> s, length;
  // MACH: beta x, alpha x, mu x, eta x, eta' x, and the same for y, by row.
  std::vector<std::array<double, 10>> lattice;
  // MATR: R and, when second order is carried, T by row.
  std::vector<std::vector<double>> map;
  int columns = 6; // map columns carried: 6 or 27
  // MACH's plot: the points of its curves (element ends and points inside elements), the map
  // to the entrance of the next position, and the context the machine pass composes under.
  std::vector<CurvePoint> curve;
  TransferMap before;
  MapContext context;
};
inline OpticsResults optics_results;
inline const AreaRegistration optics_results_registration{reset_area<optics_results>};

// Starts the result files of one call of MATR (500) or MACH (510); periodic_start tells that
// MACH starts from the periodic solution of the latest analysis.
void open_optics_results(int operation, bool periodic_start = false);
// MACH: the lattice functions twf at position, as the listing line shows them.
void note_lattice_position(int position);
// MATR: the map mat.amap printed after position, covering func.map_length.
void note_map_position(int position);
// Writes the files of the call and ends the collection.
void close_optics_results();

} // namespace vorax
