// The lattice functions inside the elements, for the plot of MACH: an element is cut at points of
// its body with the same map builders the machine pass uses, and the stationary points of beta
// and of the dispersion inside it are among the points, so that waists and peaks are drawn where
// they are and as high as they are.
#pragma once

#include "common/transfer_map.h"
#include "maps/element_maps.h"
#include "optics/lattice_functions.h"

#include <vector>

namespace vorax {

// A point of the curves: s and beta x, beta y, eta x, eta y (m).
struct CurvePoint {
  double s = 0.0, beta_x = 0.0, beta_y = 0.0, eta_x = 0.0, eta_y = 0.0;
};

// The element at a position as the machine pass met it.
struct ElementSpan {
  int position = 0;
  double s_entry = 0.0;                // path length at its entrance (m)
  double phase_x = 0.0, phase_y = 0.0; // phase advance across it (turns)
  double machine_length = 0.0;         // (m)
};

// Appends the points strictly inside the element, in order of s: the functions MACH would print
// at a marker placed there. before is the map from the start of the machine to the element's
// entrance, start the starting values, ctx the context the machine pass composes under. Drifts
// (and collimators, monitors, RF cavities, sextupoles, whose first-order maps are drifts),
// quadrupoles, bends and solenoids are cut; every other element, and one whose map couples the
// planes other than a solenoid's, appends nothing and is drawn from end to end.
void points_inside(const ElementSpan &span, const TransferMap &before, const Optics &start,
                   const MapContext &ctx, std::vector<CurvePoint> &out);

} // namespace vorax
