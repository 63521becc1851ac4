// The plots of the system.
#include "output/plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace vorax {

namespace {

// The name of a curve with its largest value along the machine, and its smallest when asked and
// below zero (dispersion changes sign; beta does not).
std::string with_extremes(std::string_view name, std::span<const double> v, bool smallest) {
  double hi = -HUGE_VAL, lo = HUGE_VAL;
  for (double x : v)
    if (std::isfinite(x)) {
      hi = std::max(hi, x);
      lo = std::min(lo, x);
    }
  std::string text(name);
  if (hi < lo)
    return text;
  char buf[64];
  std::snprintf(buf, sizeof buf, "  max %.6g m", hi);
  text += buf;
  if (smallest && lo < 0.0) {
    std::snprintf(buf, sizeof buf, ", min %.6g m", lo);
    text += buf;
  }
  return text;
}

} // namespace

std::string lattice_functions_plot(std::string_view title, const LatticeCurves &c) {
  SvgFigure fig(900, 640, title);
  const Extent s = extent_of({c.s});
  const int betas =
      fig.frame({80, 110, 780, 250}, s, extent_of({c.beta_x, c.beta_y}), "", "beta [m]");
  fig.data_curve(betas, c.s, c.beta_x, Colour::blue, with_extremes("beta x", c.beta_x, false));
  fig.data_curve(betas, c.s, c.beta_y, Colour::red, with_extremes("beta y", c.beta_y, false));
  bool vertical = false;
  for (double v : c.eta_y)
    vertical = vertical || v != 0.0;
  const int dispersion = fig.frame({80, 400, 780, 180}, s,
                                   vertical ? extent_of({c.eta_x, c.eta_y}) : extent_of({c.eta_x}),
                                   "s [m]", "dispersion [m]");
  fig.data_curve(dispersion, c.s, c.eta_x, Colour::green, with_extremes("eta x", c.eta_x, true));
  if (vertical)
    fig.data_curve(dispersion, c.s, c.eta_y, Colour::orange, with_extremes("eta y", c.eta_y, true));
  fig.lattice_bar(betas, 40, 50, c.elements);
  fig.note(80, 632,
           "max, min: over the whole machine, inside the elements too (the listing's maxima are "
           "those at element ends)");
  return fig.text();
}

std::string phase_space_plot(std::string_view title, std::span<const double> x,
                             std::span<const double> xp, std::span<const double> y,
                             std::span<const double> yp) {
  SvgFigure fig(960, 480, title);
  const int h = fig.frame({90, 50, 350, 360}, extent_of({x}), extent_of({xp}), "x [m]", "x' [rad]");
  fig.markers(h, x, xp, Colour::blue, "");
  const int v =
      fig.frame({570, 50, 350, 360}, extent_of({y}), extent_of({yp}), "y [m]", "y' [rad]");
  fig.markers(v, y, yp, Colour::red, "");
  return fig.text();
}

std::string floor_plot(std::string_view title, std::span<const FloorPoint> points) {
  std::vector<double> z, x;
  for (const FloorPoint &p : points) {
    z.push_back(p.z);
    x.push_back(p.x);
  }
  SvgFigure fig(800, 800, title);
  const int f =
      fig.frame({90, 50, 680, 680}, extent_of({z}), extent_of({x}), "z [m]", "x [m]", true);
  fig.curve(f, z, x, Colour::grey, "reference orbit", 1.0);
  const auto colour_of = [](BarKind k) {
    return k == BarKind::bend                                   ? Colour::blue
           : k == BarKind::focusing || k == BarKind::defocusing ? Colour::red
                                                                : Colour::green;
  };
  for (std::size_t i = 1; i < points.size(); ++i) {
    if (points[i].kind == BarKind::other)
      continue;
    const double zz[2] = {z[i - 1], z[i]}, xx[2] = {x[i - 1], x[i]};
    fig.curve(f, zz, xx, colour_of(points[i].kind), "", 4.0);
  }
  return fig.text();
}

} // namespace vorax
