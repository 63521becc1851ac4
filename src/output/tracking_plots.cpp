// The character plots of tracking (plotpr): the live particles in phase-space frames, drawn on
// the grids of the character plot with each particle's own symbol, turn after turn into one
// picture or one frame per call, as the plot settings of TRAC ask.
#include "output/tracking_plots.h"

#include "common/control.h"
#include "common/format.h"
#include "common/messages.h"
#include "output/printer_plot.h"
#include "track/tracking_areas.h"

#include <span>
#include <string>

namespace vorax {

namespace {

// The pictures kept between calls: one grid per frame.
struct Trplot {
  Table<PlotGrid, 1, 4> grid;
};
inline Trplot trplot;
inline const AreaRegistration trplot_registration{reset_area<trplot>};

// A frame: the coordinates on the horizontal and vertical axes (store columns) and the four plot
// limits (right, left, top, bottom) it takes.
struct Frame {
  int horizontal, vertical;
  int right, left, top, bottom;
  const char *title;
};
constexpr Frame FRAMES[] = {
    {1, 2, 1, 2, 3, 4, "X - XP"},    // 1: horizontal phase space, limits 1-4
    {3, 4, 5, 6, 7, 8, "Y - YP"},    // 2: vertical phase space, limits 5-8
    {5, 6, 9, 10, 11, 12, "L - DP"}, // 3: longitudinal phase space, limits 9-12
    {1, 3, 1, 2, 5, 6, "X - Y"},     // 4: the beam's cross-section, x from 1-2 and y from 5-6
};

// The frames of a plot type: 1 x, 2 y, 3 x and y, 4 the cross-section, 5 longitudinal, 6 x, y
// and longitudinal. Types 4 and 7 (which becomes 6) keep the picture of the previous TRAC.
int frames_of(int type, int frames[3]) {
  switch (type) {
  case 2:
    frames[0] = 2;
    return 1;
  case 3:
    frames[0] = 1;
    frames[1] = 2;
    return 2;
  case 4:
    frames[0] = 4;
    return 1;
  case 5:
    frames[0] = 3;
    return 1;
  case 6:
    frames[0] = 1;
    frames[1] = 2;
    frames[2] = 3;
    return 3;
  default:
    frames[0] = 1;
    return 1;
  }
}

} // namespace

void plotpr(int continuation) {
  int keep = continuation != 0 ? 1 : 0;
  if (plt.first_frame == 1) {
    keep = 0;
    plt.first_frame = 0;
  }
  const int mode = plt.last_frame == 1 ? 1 : 0;
  // The character plot needs two lines and two columns at least to place a point.
  const int columns = plt.columns < 2 ? 2 : plt.columns;
  const int lines = plt.lines < 2 ? 2 : plt.lines;
  int frames[3] = {1, 1, 1};
  const int count = frames_of(plt.type, frames);
  const int n = trace.npart;
  const std::span<const int> mask(alive.flag.data(), static_cast<std::size_t>(n));
  for (int f = 0; f < count; ++f) {
    const Frame &frame = FRAMES[frames[f] - 1];
    const double right = plt.limits(frame.right), left = plt.limits(frame.left);
    const double top = plt.limits(frame.top), bottom = plt.limits(frame.bottom);
    if (right == left || top == bottom) {
      engine_message(" TRACKING PLOT " + std::string(frame.title) +
                     ": ITS LIMITS ENCLOSE NO AREA, THE FRAME IS NOT DRAWN");
      continue;
    }
    const std::string title = std::string(frame.title) + "  TURN" + fI(trace.iturn, 8);
    plot(std::span<const double>(trace.column(frame.horizontal), static_cast<std::size_t>(n)),
         std::span<const double>(trace.column(frame.vertical), static_cast<std::size_t>(n)), n,
         right, left, top, bottom, mode, keep, 0, columns, lines, title, trplot.grid(frames[f]),
         mask);
  }
}

} // namespace vorax
