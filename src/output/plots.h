// The plots of the system, each a few calls of the SVG layer: lattice functions along the
// machine under the lattice bar, phase-space portraits, and the machine seen from above.
#pragma once

#include "output/svg.h"

#include <span>
#include <string>
#include <string_view>

namespace vorax {

// Columns along the machine: the points of the curves in order of s (m), element ends and
// points inside elements alike, and the elements of the lattice bar.
struct LatticeCurves {
  std::span<const double> s, beta_x, beta_y, eta_x, eta_y;
  std::span<const BarElement> elements;
};
// Beta x and y (m) in one frame, the dispersion (m) in a second, both against s, with the
// lattice bar above them; the vertical dispersion is drawn only where it is not zero. Each
// legend gives the curve's largest value over all its points (the dispersion's smallest too,
// when negative), and the curves carry their values to ten digits.
std::string lattice_functions_plot(std::string_view title, const LatticeCurves &curves);

// x against x' and y against y' side by side, one dot per particle and printed turn
// (coordinates in m and rad, as the listing prints them).
std::string phase_space_plot(std::string_view title, std::span<const double> x,
                             std::span<const double> xp, std::span<const double> y,
                             std::span<const double> yp);

// The machine seen from above: the reference orbit through the points (z along the floor, x
// across it, in m, equal scales) with each element drawn over the stretch that ends at its
// point, coloured by kind.
struct FloorPoint {
  double z = 0.0, x = 0.0;
  BarKind kind = BarKind::other;
};
std::string floor_plot(std::string_view title, std::span<const FloorPoint> points);

} // namespace vorax
