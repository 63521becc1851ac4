// Printer plots: where points land, the frame, symbols, a grid built over two calls, the
// printed layout and its gates, and grids or ranges that would divide by zero or overrun.
#include "harness.h"

#include "common/control.h"
#include "output/printer_plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace vorax::test {
namespace {

struct Points {
  std::vector<double> x, y;
  std::vector<int> mask;
  Points &add(double xv, double yv, int m = 1) {
    x.push_back(xv);
    y.push_back(yv);
    mask.push_back(m);
    return *this;
  }
};

// Plots (symbol 0 unless given) on a fresh frame and prints when mode asks; returns the cells
// holding anything but the frame and the background, as "line,column=symbol".
std::vector<std::string> place(const Points &p, PlotGrid &grid, double right, double left,
                               double top, double bottom, int columns, int lines, int symbol = 0,
                               int mode = 0, int n = -1) {
  plot(p.x, p.y, n < 0 ? static_cast<int>(p.x.size()) : n, right, left, top, bottom, mode, 0,
       symbol, columns, lines, "TITLE", grid, p.mask);
  std::vector<std::string> out;
  columns = std::clamp(columns, 2, PLOT_COLUMNS);
  lines = std::clamp(lines, 2, PLOT_LINES);
  for (int l = 1; l <= lines; ++l)
    for (int c = 1; c <= columns; ++c) {
      const char ch = grid(l, c);
      const bool edge = l == 1 || l == lines || c == 1 || c == columns;
      if (ch != ' ' && !(edge && (ch == '+' || ch == '-' || ch == '!')))
        out.push_back(std::to_string(l) + "," + std::to_string(c) + "=" + ch);
    }
  return out;
}

TEST(PrinterPlot, PointsLandInTheCellsOfTheRules) {
  start_in_memory();
  PlotGrid grid;
  // y = x/5 - 1 on x = 0..10 over the full grid: column 10 x + 1, line 51 - 5 x; the left edge
  // is column 1, the right edge nc, the bottom line nl and the top line 1.
  Points line;
  for (int k = 10; k >= 0; --k)
    line.add(k, k / 5.0 - 1.0);
  line.add(10.5, 0.0).add(5.0, -1.01).add(3.0, 0.0, 0).add(NAN, 0.0); // outside, masked
  std::vector<std::string> expected;
  for (int k = 10; k >= 0; --k)
    expected.push_back(std::to_string(51 - 5 * k) + "," + std::to_string(10 * k + 1) + "=" +
                       PLOT_SYMBOLS[static_cast<std::size_t>(10 - k)]);
  EXPECT_EQ(place(line, grid, 10.0, 0.0, 1.0, -1.0, PLOT_COLUMNS, PLOT_LINES), expected);
  // Half a cell: a column rounds up from the half, a line toward the bottom; axes that run the
  // other way mirror this.
  const std::vector<std::string> half{"10,2=2", "11,1=1"};
  EXPECT_EQ(place(Points{}.add(0.49, 0.5).add(0.5, 0.51), grid, 10, 0, 10, 0, 11, 11), half);
  EXPECT_EQ(place(Points{}.add(9.51, 9.5).add(9.5, 9.49), grid, 0, 10, 0, 10, 11, 11), half);
}

TEST(PrinterPlot, FrameAndSymbols) {
  start_in_memory();
  PlotGrid grid;
  grid(30, 80) = 'Q'; // cleared with the frame
  EXPECT_TRUE(place(Points{}, grid, 1.0, 0.0, 1.0, 0.0, 23, 12).empty());
  EXPECT_EQ(grid.text(1, 24), "+    !    !    !    ! + ");
  EXPECT_EQ(grid.text(12, 23), "+    !    !    !    ! +");
  for (int l = 2; l <= 11; ++l)
    EXPECT_EQ(grid.text(l, 23), l % 5 == 1 ? "-                     -" : std::string(23, ' '));

  Points p;
  for (int i = 1; i <= 40; ++i)
    p.add(i, 0.0);
  place(p, grid, 101.0, 1.0, 1.0, -1.0, PLOT_COLUMNS, PLOT_LINES);
  EXPECT_EQ(std::string(grid.text(26, 41)), "123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ12345 ");
  place(p, grid, 101.0, 1.0, 1.0, -1.0, PLOT_COLUMNS, PLOT_LINES, 39);
  EXPECT_EQ(std::string(grid.text(26, 41)), std::string(40, '*') + " ");
  place(p, grid, 101.0, 1.0, 1.0, -1.0, PLOT_COLUMNS, PLOT_LINES, 77); // outside the table
  EXPECT_EQ(grid(26, 2), '*');
}

TEST(PrinterPlot, TwoCallsPrintOneGridWithTheLayoutAndGates) {
  start_in_memory();
  PlotGrid grid;
  const Points first = Points{}.add(0.0, 1.0).add(11.0, -1.0), second = Points{}.add(5.0, 0.0);
  plot(first.x, first.y, 2, 11.0, 0.0, 1.0, -1.0, 0, 0, 0, 12, 3, "T", grid, first.mask);
  EXPECT_EQ(listing_text(), ""); // mode 0 prints nothing
  plot(second.x, second.y, 1, 11.0, 0.0, 1.0, -1.0, 1, 1, 39, 12, 3, "TWO CURVES", grid,
       second.mask);
  EXPECT_EQ(listing_text(), "-" + std::string(40, ' ') + "TWO CURVES\n\n\n" +
                                "  0.100E+01   1    !    !+\n" + std::string(19, ' ') + "*\n" +
                                " -0.100E+01   +    !    !2\n" + std::string(11, ' ') +
                                "0.000E+00" + std::string(6, ' ') + "0.110E+02\n1\n");

  start_in_memory(); // below print level 2 nothing, though the grid is built
  control.print_level = 1;
  EXPECT_EQ(place(second, grid, 11.0, 0.0, 1.0, -1.0, 12, 3, 0, 1),
            std::vector<std::string>{"2,6=1"});
  EXPECT_EQ(listing_text() + log_text(), "");
  start_in_memory(); // mode -1: the echo unit, without the title
  place(second, grid, 11.0, 0.0, 1.0, -1.0, 12, 3, 0, -1);
  EXPECT_EQ(listing_text(), "");
  EXPECT_EQ(lines_of(log_text()).size(), 5u);
  EXPECT_EQ(lines_of(log_text())[1], std::string(19, ' ') + "1");
}

TEST(PrinterPlot, LabelGapFollowsTheWidth) {
  // Blanks between the two x labels: 5 below 20 columns, else 10 per full ten.
  const std::pair<int, int> widths[] = {{2, 5}, {19, 5}, {20, 20}, {35, 30}, {101, 100}};
  for (const auto &[columns, gap] : widths) {
    start_in_memory();
    PlotGrid grid;
    place(Points{}, grid, 2.0, -1.0, 1.0, 0.0, columns, 5, 0, 1);
    const std::vector<std::string> out = lines_of(listing_text());
    EXPECT_EQ(out[out.size() - 2],
              std::string(10, ' ') + "-0.100E+01" + std::string(gap, ' ') + " 0.200E+01")
        << columns;
  }
}

TEST(PrinterPlot, SizesOutOfTheGridAndEmptyRangesAreSafe) {
  start_in_memory();
  PlotGrid grid;
  const Points p = Points{}.add(0.0, 0.0).add(1.0, 1.0);
  // One column and one line are held to two, the points on the corners.
  place(p, grid, 1.0, 0.0, 1.0, 0.0, 1, 1, 0, 1);
  EXPECT_TRUE(contains(listing_text(), "  0.100E+01   +2\n  0.000E+00   1+\n"));
  start_in_memory(); // a grid larger than the array is held to 101 x 51
  EXPECT_EQ(place(p, grid, 1.0, 0.0, 1.0, 0.0, 500, 400, 0, 1),
            (std::vector<std::string>{"1,101=2", "51,1=1"}));
  EXPECT_EQ(lines_of(listing_text()).size(), 3u + 51u + 2u);

  // An empty range keeps only the points on its one value, on the middle column or line.
  const Points q = Points{}.add(2.0, 0.25).add(2.5, 0.75).add(2.0, 3.0);
  EXPECT_EQ(place(q, grid, 2.0, 2.0, 1.0, 0.0, 21, 11), std::vector<std::string>{"9,11=1"});
  EXPECT_EQ(place(q, grid, 3.0, 2.0, 3.0, 3.0, 21, 11), std::vector<std::string>{"6,1=3"});
  // Infinite edges draw nothing; a count beyond the arrays reads only what they hold.
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(place(q, grid, inf, -inf, 1.0, 0.0, 21, 11).empty());
  EXPECT_EQ(place(q, grid, 3.0, 2.0, 1.0, 0.0, 21, 11, 0, 0, 1000),
            (std::vector<std::string>{"4,11=2", "9,1=1"}));
}

} // namespace
} // namespace vorax::test
