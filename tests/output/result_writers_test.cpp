// The writers of the result files: TFS tables read back to the same values, SVG documents
// that an independent XML parser accepts whatever text they carry, ticks at nice numbers.
#include "common/halt.h"
#include "common/reset.h"
#include "common/units.h"
#include "harness.h"
#include "output/plots.h"
#include "output/result_files.h"
#include "output/tfs.h"
#include "output/tracking_layout_results.h"
#include "support/result_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <unistd.h>

using namespace vorax;
using namespace vorax::test;

namespace {

std::string read_text(const std::string &path) {
  std::ifstream f(path);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string temporary_directory() {
  char tmpl[] = "/tmp/vorax-results-XXXXXX";
  return ::mkdtemp(tmpl) ? tmpl : "/tmp";
}

} // namespace

TEST(NiceTicks, CoverTheRangeWithOneTwoOrFiveTimesAPowerOfTen) {
  const double ranges[][2] = {{0, 56},    {1.1, 2.25}, {-2.6, 2.5}, {1e-6, 3e-6},    {-1e7, 3e7},
                              {0.3, 0.3}, {0, 0},      {5, -5},     {1e-300, 2e-300}};
  for (const auto &r : ranges) {
    const Ticks t = nice_ticks(r[0], r[1]);
    SCOPED_TRACE(std::to_string(r[0]) + " .. " + std::to_string(r[1]));
    EXPECT_LE(t.first, std::min(r[0], r[1]));
    EXPECT_GE(t.last, std::max(r[0], r[1]));
    EXPECT_LT(t.first, t.last);
    const double mantissa = t.step / std::pow(10.0, std::floor(std::log10(t.step) + 1e-12));
    EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                std::fabs(mantissa - 5) < 1e-9)
        << t.step;
    const double intervals = (t.last - t.first) / t.step;
    EXPECT_NEAR(intervals, std::round(intervals), 1e-6);
    EXPECT_GE(intervals, 2.0);
    EXPECT_LE(intervals, 12.0);
  }
  const Ticks t = nice_ticks(0, 56);
  EXPECT_EQ(tick_label(20, t), "20");
  EXPECT_EQ(tick_label(-1e-17, nice_ticks(-1, 1)), "0.0"); // rounding noise is zero
  EXPECT_EQ(tick_label(2e-6, nice_ticks(1e-6, 3e-6)), "2e-06");
}

TEST(TfsTables, ReadBackToTheValuesWritten) {
  const std::string dir = temporary_directory(), path = dir + "/t.tfs";
  const double values[] = {0.0,
                           -0.0,
                           1.0 / 3.0,
                           -2.5e-300,
                           1e300,
                           6.02e23,
                           -123456.789012345678,
                           std::numeric_limits<double>::denorm_min()};
  {
    TfsHeader h;
    h.text("TITLE", "A \"QUOTED\" TITLE  ").integer("N", -7).real("Q1", 2.658614793920397);
    const TfsColumn columns[] = {{"NAME", TfsType::text}, {"K", TfsType::integer}, {"V"}};
    TfsWriter table(path, h, columns);
    for (std::size_t i = 0; i < std::size(values); ++i)
      table.text(i % 2 ? "Q F" : "")
          .integer(static_cast<long long>(i) - 3)
          .real(values[i])
          .end_row();
  }
  ParsedTfs t;
  ASSERT_EQ(parse_tfs(read_text(path), t), "");
  EXPECT_EQ(t.header["TITLE"], "A 'QUOTED' TITLE");
  EXPECT_EQ(t.header["N"], "-7");
  EXPECT_EQ(t.header_real("Q1"), 2.658614793920397);
  EXPECT_EQ(t.formats, (std::vector<std::string>{"%s", "%d", "%le"}));
  ASSERT_EQ(t.rows.size(), std::size(values));
  for (std::size_t i = 0; i < std::size(values); ++i) {
    EXPECT_EQ(t.real(i, "V"), values[i]); // 17 digits: the same double
    EXPECT_EQ(std::signbit(t.real(i, "V")), std::signbit(values[i]));
    EXPECT_EQ(t.text(i, "NAME"), i % 2 ? "Q F" : "");
    EXPECT_EQ(t.real(i, "K"), static_cast<double>(i) - 3);
  }

  std::remove(path.c_str());
  ::rmdir(dir.c_str());
}

TEST(SvgPlots, EveryPlotIsAnSvgDocumentWhateverItsTextAndData) {
  const std::string hostile = "A & <B> \"C\" \x01\xff ]]>";
  const double nan = std::nan("");
  const std::vector<double> s{0, 1, 2, 3, 4}, b{1, 2, nan, 2, 1}, z{0, 0, 0, 0, 0};
  const BarElement bar[] = {{0, 1, BarKind::focusing},
                            {1, 1, BarKind::bend},
                            {2, 0, BarKind::defocusing},
                            {3, 1, BarKind::sextupole},
                            {4, 1, BarKind::other}};
  const std::string lattice = lattice_functions_plot(hostile, {s, b, s, z, z, bar});
  EXPECT_EQ(svg_fault(lattice), "");
  // The point that is not finite breaks the beta x curve in two.
  EXPECT_EQ(count_of(lattice, "<polyline"), 4);     // beta x twice, beta y, eta x (eta y is zero)
  EXPECT_EQ(count_of(lattice, "<rect"), 1 + 2 + 4); // background, two frames, four magnets

  const std::string phase = phase_space_plot(hostile, s, b, b, s);
  EXPECT_EQ(svg_fault(phase), "");
  EXPECT_EQ(count_of(phase, "<circle"), 8); // four finite points in each portrait

  const FloorPoint ring[] = {{0, 0, BarKind::other},
                             {1, 0, BarKind::bend},
                             {1.5, 0.5, BarKind::focusing},
                             {1.5, 1.5, BarKind::bend}};
  const std::string floor = floor_plot(hostile, ring);
  EXPECT_EQ(svg_fault(floor), "");
  EXPECT_EQ(svg_fault(floor_plot("", {})), "");
  EXPECT_NE(svg_fault("<svg><g></svg>"), ""); // the check itself sees a broken document
}

TEST(ResultFiles, AFileThatCannotBeWrittenEndsTheRun) {
  const std::string dir = temporary_directory();
  start_in_memory();
  try {
    write_result_file(dir + "/missing/x.svg", "<svg/>");
    ADD_FAILURE() << "the run went on";
  } catch (const RunEnd &end) {
    EXPECT_EQ(end.code, WRITE_FAILURE);
    EXPECT_EQ(write_failure(), "the plot " + dir + "/missing/x.svg: No such file or directory");
  }
  reset_units();
  ::rmdir(dir.c_str());
}

TEST(ResultFiles, TrackingAndLayoutResultsAreATableAndAPlotEach) {
  const std::string dir = temporary_directory();
  start_in_memory();
  resout.tables_dir = resout.plots_dir = dir;
  {
    TrackingResults trac("trac");
    for (int turn = 1; turn <= 3; ++turn)
      for (int n = 1; n <= 2; ++n)
        trac.add(n, turn, 56.0, {1e-3 * n, -2e-4 * turn, 0.0, 1e-5, 0.0, 1e-3});
    trac.finish();
  }
  write_layout_results(
      "layo", {{1, "B", "SBEND", 2.0, 0.1, 0.0, 1.9, 0.2, 0.0, 0.0, BarKind::bend},
               {2, "Q", "QUADRUPOLE", 2.5, 0.2, 0.0, 2.4, 0.2, 0.0, 0.0, BarKind::focusing}});
  ParsedTfs t;
  ASSERT_EQ(parse_tfs(read_text(dir + "/trac_1.tfs"), t), "");
  EXPECT_EQ(t.columns,
            (std::vector<std::string>{"NUMBER", "TURN", "S", "X", "PX", "Y", "PY", "L", "DELTA"}));
  ASSERT_EQ(t.rows.size(), 6u);
  EXPECT_EQ(t.real(5, "PX"), -2e-4 * 3); // the double written
  EXPECT_EQ(svg_fault(read_text(dir + "/trac_1.svg")), "");
  EXPECT_EQ(count_of(read_text(dir + "/trac_1.svg"), "<circle"), 12);
  ASSERT_EQ(parse_tfs(read_text(dir + "/layo_1.tfs"), t), "");
  EXPECT_EQ(svg_fault(read_text(dir + "/layo_1.svg")), "");
  reset_all_areas();
  for (const char *f : {"trac_1.tfs", "trac_1.svg", "layo_1.tfs", "layo_1.svg"})
    std::remove((dir + "/" + f).c_str());
  ::rmdir(dir.c_str());
}
