// Printer plots: points placed in a character grid with a ticked frame, printed in the listing
// with the axis limits beside and below the grid.
#include "output/printer_plot.h"

#include "common/control.h"
#include "common/format.h"
#include "common/units.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vorax {

namespace {

constexpr int CORNER = 36;
constexpr int SIDE_TICK = 38;
constexpr int EDGE_TICK = 40;
constexpr int MARK = 39; // "*", for a symbol number outside the table
constexpr int TICK_SPACING = 5;
constexpr int TITLE_WIDTH = 28;

char symbol_char(int k) {
  return PLOT_SYMBOLS[static_cast<std::size_t>(k - 1)];
}

char point_symbol(int symbol, int point) {
  if (symbol == 0)
    return symbol_char((point - 1) % POINT_SYMBOLS + 1);
  if (symbol < 1 || symbol > static_cast<int>(PLOT_SYMBOLS.size()))
    return symbol_char(MARK);
  return symbol_char(symbol);
}

void draw_frame(PlotGrid &grid, int columns, int lines) {
  grid.clear();
  for (int c = 1; c <= columns; c += TICK_SPACING) {
    grid(1, c) = symbol_char(EDGE_TICK);
    grid(lines, c) = symbol_char(EDGE_TICK);
  }
  for (int l = 1; l <= lines; l += TICK_SPACING) {
    grid(l, 1) = symbol_char(SIDE_TICK);
    grid(l, columns) = symbol_char(SIDE_TICK);
  }
  for (int l : {1, lines})
    for (int c : {1, columns})
      grid(l, c) = symbol_char(CORNER);
}

// A cell number computed in floating point, truncated; 0 when it is not a number. Rounding at
// the edges may give a hair outside 1..last, which stays on the edge.
int cell(double value, int last) {
  if (!std::isfinite(value))
    return 0;
  if (value < 1.0)
    return 1;
  if (value >= static_cast<double>(last))
    return last;
  return static_cast<int>(value);
}

// An empty range (both edges equal, or too close to divide) holds only points at that very
// value: they are drawn on the middle column or line instead of dividing by zero.
int column_of(double x, double left, double right, int columns) {
  const double step = (right - left) / (columns - 1);
  if (step == 0.0)
    return (columns + 1) / 2;
  return cell((x - left) / step + 1.5, columns);
}

int line_of(double y, double bottom, double top, int lines) {
  const double step = (top - bottom) / (lines - 1);
  if (step == 0.0)
    return (lines + 1) / 2;
  return cell(lines - (y - bottom) / step + 0.5, lines);
}

// Blanks between the x labels, so that the right label moves out with the grid's width.
int label_gap(int columns) {
  const int tens = columns / 10;
  return tens < 2 ? 5 : 10 * tens;
}

void print_grid(const PlotGrid &grid, double right, double left, double top, double bottom,
                int mode, int columns, int lines, std::string_view title) {
  if (control.print_level < 2)
    return;
  const int unit = mode == -1 ? control.echo_unit : control.output_unit;
  if (mode != -1) {
    write_record(unit, "-" + blanks(40) + Chars<TITLE_WIDTH>(title).str());
    write_record(unit, " ");
    write_record(unit, " ");
  }
  const std::string gap = blanks(3);
  write_record(unit, " " + fE(top, 10, 3) + gap + std::string(grid.text(1, columns)));
  for (int l = 2; l < lines; ++l)
    write_record(unit, blanks(14) + std::string(grid.text(l, columns)));
  write_record(unit, " " + fE(bottom, 10, 3) + gap + std::string(grid.text(lines, columns)));
  write_record(unit, blanks(10) + fE(left, 10, 3) + blanks(label_gap(columns)) + fE(right, 10, 3));
  write_record(unit, "1");
}

} // namespace

// Sizes outside the grid are held to 2..101 columns and 2..51 lines: one column or line would
// divide by zero, a larger one would run past the grid. Only as many points are read as all
// three arrays hold.
void plot(std::span<const double> x, std::span<const double> y, int n, double right, double left,
          double top, double bottom, int mode, int keep, int symbol, int columns, int lines,
          std::string_view title, PlotGrid &grid, std::span<const int> mask) {
  columns = std::clamp(columns, 2, PLOT_COLUMNS);
  lines = std::clamp(lines, 2, PLOT_LINES);
  const std::size_t held = std::min({x.size(), y.size(), mask.size()});
  const std::size_t points = n > 0 ? std::min(static_cast<std::size_t>(n), held) : 0;

  if (keep == 0)
    draw_frame(grid, columns, lines);

  for (std::size_t k = 0; k < points; ++k) {
    if (mask[k] == 0)
      continue;
    if (!((x[k] - right) * (x[k] - left) <= 0.0) || !((y[k] - top) * (y[k] - bottom) <= 0.0))
      continue;
    const int c = column_of(x[k], left, right, columns);
    const int l = line_of(y[k], bottom, top, lines);
    if (c != 0 && l != 0)
      grid(l, c) = point_symbol(symbol, static_cast<int>(k) + 1);
  }

  if (mode != 0)
    print_grid(grid, right, left, top, bottom, mode, columns, lines, title);
}

} // namespace vorax
