// MATR, MACH, BEAM, HARD and ZQVO through whole decks: print selections, interval mode and the
// MATRIX definitions it writes, the limits, and the cases without a periodic solution.
#include "harness.h"
#include "support/listings.h"

#include "common/reset.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "optics/matrix_operation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

// One FODO cell with bends, 8 positions.
const std::string cell = "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\n"
                         "QD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
                         "B: SBEND, L = 2.0, ANGLE = 0.2\n"
                         "D: DRIFT, L = 0.5\n"
                         "CELL: LINE = (QF, D, B, D, QD, D, B, D)\n";

DeckRun run_cell(const std::string &ops) {
  return run_deck(cell + "USE, CELL\nVORAX\n" + ops + "STOP\n");
}

// The six rows of the first printed first-order matrix after from.
std::vector<std::string> first_order_rows(const std::string &listing, std::size_t from = 0) {
  std::vector<std::string> rows;
  std::size_t at = listing.find("FIRST ORDER MATRIX", from);
  if (at == std::string::npos)
    return rows;
  for (const std::string &l : lines_of(listing.substr(at))) {
    if (rows.size() == 6)
      break;
    if (!contains(l, "FIRST ORDER"))
      rows.push_back(l);
  }
  return rows;
}

TEST(OpticsOperations, NintZeroPrintsEveryPositionThenTheAnalysis) {
  const DeckRun r = run_cell("MATRIX\n 1 0;\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, "  AFTER :"), 8);
  EXPECT_TRUE(contains(r.listing, "  AFTER :QF       ELEMENT #:    1"));
  EXPECT_EQ(count_of(r.listing, "FIRST ORDER MATRIX"), 8);
  EXPECT_EQ(count_of(r.listing, "SECOND ORDER TERMS"), 0);
  EXPECT_EQ(count_of(r.listing, "    HORIZONTAL MOVEMENT ANALYSIS"), 1);
  EXPECT_FALSE(contains(r.listing, "CHROMATICITY"));
  // The analysis follows the last map.
  EXPECT_GT(r.listing.find("HORIZONTAL MOVEMENT"), r.listing.rfind("AFTER :"));
}

TEST(OpticsOperations, PairsAndTheLastPosition) {
  const DeckRun r = run_cell("MATRIX\n 1 2 2 3 6 6,\nMATRIX\n 1 -1,\nMATRIX\n 1 -2;\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  // Positions 2, 3 and 6 for the pairs, then position 8 alone, then none.
  EXPECT_EQ(count_of(r.listing, "  AFTER :"), 4);
  EXPECT_TRUE(contains(r.listing, " ELEMENT #:    2"));
  EXPECT_TRUE(contains(r.listing, " ELEMENT #:    3"));
  EXPECT_TRUE(contains(r.listing, " ELEMENT #:    6"));
  EXPECT_TRUE(contains(r.listing, "  AFTER :D        ELEMENT #:    8"));
  // NINT = -2 prints nothing at all, not even the analysis.
  EXPECT_EQ(count_of(r.listing, "HORIZONTAL MOVEMENT ANALYSIS"), 2);
}

TEST(OpticsOperations, IntervalModeWithSecondOrderBanners) {
  const DeckRun r = run_cell("MATRIX\n -12 2 1 4 5 8;\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(
      contains(r.listing, "  BETWEEN  QF        ELEMENT #     1  AND D         ELEMENT #     4"));
  EXPECT_TRUE(
      contains(r.listing, "  BETWEEN  QD        ELEMENT #     5  AND D         ELEMENT #     8"));
  EXPECT_EQ(count_of(r.listing, "*   TRANSFORMATION  MATRIX   *"), 2);
  EXPECT_EQ(count_of(r.listing, "SECOND ORDER TERMS"), 2);
  EXPECT_FALSE(contains(r.listing, ":MATRIX"));
  // The second pair ends the machine: its map (half the cell) is analysed.
  EXPECT_EQ(count_of(r.listing, "HORIZONTAL MOVEMENT ANALYSIS"), 1);
}

TEST(OpticsOperations, TooManyIntervalsStopTheRun) {
  // 82 positions over several data lines (a data line holds 72 columns).
  std::string data = " 1 41\n";
  for (int k = 0; k < 82; ++k)
    data += (k % 20 == 19) ? " 1\n" : " 1";
  const DeckRun r = run_cell("MATRIX\n" + data + ";\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing,
                       " **** TOO MANY INTERVALS    41 CHANGE MXLIST PARAMETER TO VALUE NEEDED"));
  EXPECT_TRUE(
      contains(r.listing, "  HALTING WITH ERROR NUMBER :      2  AND ERROR : ARRSIZE MXLIST"));
  EXPECT_FALSE(contains(r.listing, "AFTER :"));
}

// The MATRIX definition written in interval mode, with a label in front, as a deck reads it.
std::string definition(const std::string &listing, const std::string &label) {
  std::string out;
  bool in = false;
  for (const std::string &l : lines_of(listing)) {
    if (contains(l, ":MATRIX,L="))
      in = true;
    if (!in)
      continue;
    out += (out.empty() ? label : "") + l.substr(1) + "\n";
    if (l.find('&') == std::string::npos)
      break;
  }
  return out;
}

TEST(OpticsOperations, MatrixDefinitionsReadBackAsTheSameMachine) {
  for (const char *option : {"-1", "-2"}) {
    SCOPED_TRACE(option);
    const DeckRun first =
        run_cell(std::string("MATRIX\n ") + option + " 1 1 8,\nOUTP\n 3,\nMATRIX\n 2 -1;\n");
    ASSERT_EQ(first.status, 0) << first.terminal;
    const std::string def = definition(first.listing, "M");
    ASSERT_FALSE(def.empty());
    for (const std::string &l : lines_of(def))
      EXPECT_LE(l.size(), 80u) << l;
    const DeckRun second =
        run_deck(def + "ONE: LINE = (M)\nUSE, ONE\nVORAX\nMATRIX\n 2 -1;\nSTOP\n");
    ASSERT_EQ(second.status, 0) << second.terminal;
    const auto a = first_order_rows(first.listing), b = first_order_rows(second.listing);
    ASSERT_EQ(a.size(), 6u);
    EXPECT_EQ(a, b);
    EXPECT_DOUBLE_EQ(number_after(first.listing, "   NU ="),
                     number_after(second.listing, "   NU ="));
    EXPECT_DOUBLE_EQ(number_after(first.listing, "COMPACTION FACTOR ="),
                     number_after(second.listing, "COMPACTION FACTOR ="));
    // With the second-order terms written, the chromaticity comes back too.
    if (std::string(option) == "-2") {
      EXPECT_NEAR(number_after(first.listing, "CHROMATICITY   ="),
                  number_after(second.listing, "CHROMATICITY   ="), 1e-12);
    }
  }
}

TEST(OpticsOperations, DriftOnlyMachineWarnsInBothPlanes) {
  const DeckRun r =
      run_deck("D: DRIFT, L = 2\nL1: LINE = (D, D)\nUSE, L1\nVORAX\nMATRIX\n 2 -1;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, " ******** WARNING : NEAR +-UNIT MATRIX FOLLOWING"), 2);
  EXPECT_TRUE(contains(r.listing, "SINGULAR SET OF EQUATIONS SENT TO DSIMQ"));
  EXPECT_FALSE(contains(r.listing, "NaN"));
}

TEST(OpticsOperations, MachNeedsAPeriodicSolutionAndRadiatesOnlyWithAnEnergy) {
  const std::string mach = "MACHINE\n 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 -1,\n";
  const DeckRun r = run_cell(mach + "MATRIX\n 1 -2,\n" + mach + "OUTP\n 1;\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  // Before any analysis there are no starting values.
  EXPECT_EQ(count_of(r.listing, "MACH NOT PERFORMED"), 1);
  EXPECT_EQ(count_of(r.listing, " ELEMENT   #    BETAX"), 1);
  EXPECT_FALSE(contains(r.listing, "SYNCHROTRON INTEGRALS"));
  // The line at the last position shows the periodic functions again.
  EXPECT_TRUE(contains(r.listing, "\n D           8"));
  // Given starting values need no analysis; the first line (position 0) repeats them.
  const DeckRun g = run_cell("MACHINE\n 0 0 0 0 0 0 0 7.5 0.5 0 0 3.25 -0.5 0 0 -1;\n");
  ASSERT_EQ(g.status, 0) << g.terminal;
  EXPECT_TRUE(
      contains(g.listing, "             0   7.5000000   0.5000000   3.2500000  -0.5000000"));
}

TEST(OpticsOperations, BeamFromTheAnalysisWithGivenEmittances) {
  const DeckRun r = run_cell("OUTP\n 1,\nMATRIX\n 1 -2,\n"
                             "BEAM\n 0 0 0 0 0 1E-6 0 0 0 0 2E-7 0 0 1000,\n"
                             "BEAM\n 0 0 0 0 0 1E-6 0 0 0 0 2E-7 0 0 -2;\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, " INPUT BEAM IS :"), 2);
  EXPECT_EQ(count_of(r.listing, "   BEAM ENVELOPES"), 1);
  // Matched to the periodic solution: sigma x = sqrt(beta eps) at both ends, and the projected
  // emittance stays the given one everywhere.
  const auto rows = lines_of(r.listing);
  std::vector<std::vector<double>> env;
  for (const std::string &l : rows)
    if (l.size() > 14 && (l.substr(1, 2) == "QF" || l.substr(1, 2) == "QD" ||
                          l.substr(1, 2) == "D " || l.substr(1, 2) == "B "))
      env.push_back(numbers_after(l, l.substr(1, 8)));
  ASSERT_EQ(env.size(), 8u); // one line per position, only for the run with envelopes
  for (const auto &e : env) {
    ASSERT_EQ(e.size(), 9u);
    EXPECT_NEAR(e[3], 1e-6, 1e-10);
    EXPECT_NEAR(e[6], 2e-7, 2e-11);
  }
  const double sigma1 = number_after(r.listing, " INPUT BEAM IS :");
  EXPECT_NEAR(env.back()[1], sigma1, 1e-4 * sigma1);
}

TEST(OpticsOperations, HardAndZqvo) {
  const DeckRun r = run_cell("HARD\n 3.0,\nZQVO\n 1,\nMATRIX\n 1 -1;\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, " VALUES ARE FOR ENERGY :   3.00000000 GEV"));
  // Six groups of six code/value pairs, and no banner.
  int pairs = 0;
  for (const std::string &l : lines_of(r.listing))
    if (l.size() == 28 && l[3] == '0' && l[1] >= '1' && l[1] <= '6' && l[2] >= '1' && l[2] <= '6')
      ++pairs;
  EXPECT_EQ(pairs, 36);
  EXPECT_FALSE(contains(r.listing, "TRANSFORMATION"));
}

TEST(OpticsOperations, ZqvoModeEndsWithTheEngineRun) {
  const DeckRun r = run_deck(cell + "USE, CELL\nVORAX\nZQVO\n 1;\nVORAX\nMATRIX\n 1 -1;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, "*   TRANSFORMATION  MATRIX   *"));
}

TEST(OpticsOperations, QuietMachineForTheFitsPrintsNothingAndKeepsTheIntervals) {
  const DeckRun r = run_cell("MATRIX\n 2 2 1 2 5 6;\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  // The engine tables and maps stay after the run; compute again as a fit evaluation does.
  bind_units_in_memory("", "");
  reset_in_place(analc);
  machine_quiet(2);
  EXPECT_TRUE(captured_output(LISTING_UNIT).empty());
  EXPECT_NEAR(analc.nu(1), number_after(r.listing, "   NU ="), 1e-14);
  EXPECT_NEAR(analc.chrom(2), nth_number(r.listing, "CHROMATICITY   =", 2), 1e-14);
  EXPECT_EQ(mat.nint, 2);
  EXPECT_EQ(mat.intervals(3), 5);
  EXPECT_EQ(mat.print_option, 2);
  reset_units();
}

} // namespace
} // namespace vorax::test
