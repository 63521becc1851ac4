// Printer plots: a character grid of up to 51 lines of 101 columns, with ticks on the frame,
// one symbol per point and the axis limits beside and below it, printed in the listing.
#pragma once

#include "common/table.h"

#include <array>
#include <span>
#include <string_view>

namespace vorax {

inline constexpr int PLOT_COLUMNS = 101;
inline constexpr int PLOT_LINES = 51;

// The grid a caller owns and may fill over several calls; line 1 is the top, column 1 the
// left edge.
struct PlotGrid {
  std::array<std::array<char, PLOT_COLUMNS>, PLOT_LINES> cells;

  PlotGrid() { clear(); }
  void clear() {
    for (auto &line : cells)
      line.fill(' ');
  }
  char &operator()(int line, int column) {
    VORAX_INDEX_CHECK(line, 1, PLOT_LINES);
    VORAX_INDEX_CHECK(column, 1, PLOT_COLUMNS);
    return cells[static_cast<std::size_t>(line - 1)][static_cast<std::size_t>(column - 1)];
  }
  char operator()(int line, int column) const {
    VORAX_INDEX_CHECK(line, 1, PLOT_LINES);
    VORAX_INDEX_CHECK(column, 1, PLOT_COLUMNS);
    return cells[static_cast<std::size_t>(line - 1)][static_cast<std::size_t>(column - 1)];
  }
  // The first columns characters of a line.
  std::string_view text(int line, int columns) const {
    VORAX_INDEX_CHECK(line, 1, PLOT_LINES);
    return std::string_view(cells[static_cast<std::size_t>(line - 1)].data(),
                            static_cast<std::size_t>(columns));
  }
};

// The symbols: 1..35 ("1" to "Z") mark points, 36 the corners, 38 the ticks of the left and
// right edges, 40 those of the top and bottom edges, 42 the background.
inline constexpr std::string_view PLOT_SYMBOLS = "123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ+.-*!= ";
inline constexpr int POINT_SYMBOLS = 35;

// Adds the first n points (x(i), y(i)) whose mask is not 0 to the grid and, unless mode is 0,
// prints it: on the output unit with the title, or on the echo unit without it when mode is
// -1; nothing is printed below print level 2. keep 0 clears the grid and draws the frame
// first. symbol 0 cycles the point symbols 1..35 along the points, k marks every point with
// symbol k. right/left are x at the right and left edges, top/bottom y at the top and bottom.
void plot(std::span<const double> x, std::span<const double> y, int n, double right, double left,
          double top, double bottom, int mode, int keep, int symbol, int columns, int lines,
          std::string_view title, PlotGrid &grid, std::span<const int> mask);

} // namespace vorax
