// The orbit plot of the orbit operations: both planes on one printer plot.
#include "output/orbit_plot.h"

#include "common/reset.h"
#include "output/printer_plot.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

namespace vorax {

namespace {

struct Orbplt {
  PlotGrid grid;
};
inline Orbplt orbplt;
inline const AreaRegistration orbplt_registration{reset_area<orbplt>};

int symbol_of(char c) {
  return static_cast<int>(PLOT_SYMBOLS.find(c)) + 1;
}

} // namespace

void plot_orbit_displacements(const double *s, const double *x, const double *y, int n,
                              const char *title) {
  if (n < 1)
    return;
  double reach = 0.0;
  for (int p = 0; p < n; ++p)
    reach = std::max({reach, std::fabs(x[p]), std::fabs(y[p])});
  // An orbit on the design orbit still gets a frame.
  if (reach == 0.0)
    reach = 1e-3;
  double left = s[0], right = s[n - 1];
  if (right <= left)
    right = left + 1.0;
  const auto count = static_cast<std::size_t>(n);
  const std::vector<int> mask(count, 1);
  const std::span<const double> along(s, count);
  plot(along, std::span<const double>(x, count), n, right, left, reach, -reach, 0, 0,
       symbol_of('X'), PLOT_COLUMNS, PLOT_LINES, title, orbplt.grid, mask);
  plot(along, std::span<const double>(y, count), n, right, left, reach, -reach, 1, 1,
       symbol_of('Y'), PLOT_COLUMNS, PLOT_LINES, title, orbplt.grid, mask);
}

} // namespace vorax
