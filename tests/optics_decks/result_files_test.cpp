// The tables and plots beside the listing, read back: the same numbers as the listing to its
// printed precision, the periodic results in the MACH header, plots that are SVG documents,
// the fitted values of SIMP and LEAS, and tables that stay whole when the run stops.
#include "harness.h"
#include "support/decks.h"
#include "support/result_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

using namespace vorax::test;

namespace {

std::string source_file(const std::string &name) {
  std::ifstream f(std::string(VORAX_SOURCE_DIR) + "/" + name);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

ParsedTfs table(const DeckRun &run, const std::string &name) {
  ParsedTfs t;
  const auto it = run.files.find("tables/" + name);
  if (it == run.files.end()) {
    ADD_FAILURE() << "no table " << name;
    return t;
  }
  const std::string fault = parse_tfs(it->second, t);
  EXPECT_EQ(fault, "") << name;
  return t;
}

// The lines of the MACH listing: those that follow its column heading and start with a name
// and a position.
std::vector<std::vector<double>> mach_lines(const std::string &listing,
                                            std::vector<std::string> &names) {
  std::vector<std::vector<double>> out;
  bool in = false;
  for (const std::string &l : lines_of(listing)) {
    if (l.rfind(" ELEMENT   #    BETAX", 0) == 0) {
      in = true;
      continue;
    }
    if (!in)
      continue;
    if (l.size() < 20 || l[0] != ' ' || l.find("MAXIMUM") != std::string::npos)
      break;
    names.push_back(l.substr(1, 8));
    out.push_back(numbers_after(l, l.substr(0, 9)));
  }
  return out;
}

} // namespace

TEST(ResultFiles, FodoExampleTablesAndPlotAgreeWithItsListing) {
  const std::string deck = source_file("examples/fodo.vx");
  const DeckRun plain = run_deck(deck);
  const DeckRun run = run_deck_with_results(deck);
  ASSERT_EQ(run.status, 0);
  // The listing, the log and the terminal are those of the run without result files.
  EXPECT_TRUE(run.listing == plain.listing);
  EXPECT_TRUE(run.log == plain.log);
  EXPECT_EQ(run.terminal, plain.terminal);
  EXPECT_EQ(run.files.count("plots/matr_1.svg"), 0u); // MATR has no plot

  const ParsedTfs mach = table(run, "mach_1.tfs");
  std::vector<std::string> names;
  const auto listed = mach_lines(run.listing, names);
  ASSERT_EQ(mach.rows.size(), 65u); // the start and 64 positions
  ASSERT_EQ(listed.size(), 65u);
  const char *columns[] = {"BETX", "ALFX", "BETY", "ALFY", "DX", "DPX", "DY", "DPY", "MUX", "MUY"};
  for (std::size_t r = 1; r < 65; ++r) {
    SCOPED_TRACE("row " + std::to_string(r));
    EXPECT_EQ(mach.text(r, "NAME") + std::string(8 - mach.text(r, "NAME").size(), ' '), names[r]);
    EXPECT_EQ(listed[r][0], static_cast<double>(r)); // the position
    for (int c = 0; c < 10; ++c)
      EXPECT_NEAR(mach.real(r, columns[c]), listed[r][static_cast<std::size_t>(c) + 1], 0.51e-7);
    EXPECT_NEAR(mach.real(r, "L"), listed[r][11], 0.51e-4);
    EXPECT_NEAR(mach.real(r, "S"), listed[r][12], 0.51e-3);
  }
  EXPECT_EQ(mach.text(0, "NAME"), "$START");
  EXPECT_EQ(mach.text(1, "KEYWORD"), "QUADRUPOLE");
  EXPECT_EQ(mach.text(3, "KEYWORD"), "SBEND");

  // The header: the tunes of the periodic analysis that MATR printed, counted in whole turns.
  const std::string horizontal = run.listing.substr(run.listing.find("HORIZONTAL MOVEMENT"));
  const std::string vertical = run.listing.substr(run.listing.find("VERTICAL MOVEMENT"));
  const double q1 = mach.header_real("Q1"), q2 = mach.header_real("Q2");
  EXPECT_EQ(q1, mach.real(64, "MUX"));
  EXPECT_EQ(q2, mach.real(64, "MUY"));
  EXPECT_NEAR(q1 - std::floor(q1), number_after(horizontal, "NU ="), 1e-13);
  EXPECT_NEAR(q2 - std::floor(q2), number_after(vertical, "NU ="), 1e-13);
  EXPECT_NEAR(mach.header_real("DQ1"), number_after(horizontal, "CHROMATICITY   ="), 1e-13);
  EXPECT_NEAR(mach.header_real("ALFA"), number_after(horizontal, "COMPACTION FACTOR ="), 1e-14);
  EXPECT_NEAR(mach.header_real("GAMMATR"), number_after(horizontal, "GAMMA TR ="), 1e-13);
  EXPECT_EQ(mach.header_real("LENGTH"), 56.0);
  EXPECT_EQ(mach.header.at("START"), "PERIODIC SOLUTION");

  // MATR printed one map, after the last position: the table holds it with all its terms.
  const ParsedTfs matr = table(run, "matr_1.tfs");
  ASSERT_EQ(matr.rows.size(), 1u);
  EXPECT_EQ(matr.columns.size(), 4u + 36u + 126u);
  EXPECT_EQ(matr.header.at("ORDER"), "2");
  EXPECT_NEAR(matr.header_real("Q1"), number_after(horizontal, "NU ="), 1e-14);
  const std::string first = run.listing.substr(run.listing.find("FIRST ORDER MATRIX"));
  const std::vector<std::string> lines = lines_of(first);
  for (int i = 1; i <= 6; ++i) {
    const auto printed = numbers_after(lines[static_cast<std::size_t>(i)], "");
    ASSERT_EQ(printed.size(), 6u);
    for (int j = 1; j <= 6; ++j) {
      const double v = matr.real(0, "R" + std::to_string(10 * i + j));
      // E15.7: seven digits of the mantissa 0.ddddddd.
      const double unit =
          v == 0.0 ? 1e-99 : std::pow(10.0, std::floor(std::log10(std::fabs(v))) + 1);
      EXPECT_NEAR(v, printed[static_cast<std::size_t>(j - 1)], 0.51e-7 * unit);
    }
  }
  // A second-order term as the listing prints it (row "11": T111, T112, ...).
  const std::string t11 = run.listing.substr(run.listing.find("\n 11 ") + 1);
  EXPECT_NEAR(matr.real(0, "T112"), numbers_after(t11, " 11 ").at(1), 0.51e-5);

  // The plot: an SVG document with the lattice bar of 32 magnets (two bends, QF and QD per cell).
  const std::string &svg = run.files.at("plots/mach_1.svg");
  EXPECT_EQ(svg_fault(svg), "");
  EXPECT_EQ(count_of(svg, "<rect"), 1 + 2 + 32);
  EXPECT_TRUE(contains(svg, ">FODO RING EXAMPLE</text>"));
  // The README shows the plot that `make run` writes: it is this one.
  EXPECT_TRUE(svg == source_file("docs/fodo/mach_1.svg")) << "run make run to renew docs/fodo";
}

TEST(ResultFiles, FitTablesHoldTheFittedValuesTheListingPrints) {
  const std::string &ring = FIT_FODO_RING;
  const DeckRun run = run_deck_with_results(ring + R"(SIMP
 0 6 1
QF K1 0.001
 2 0.62
 1
QF K1 1
QD K1 -1.0 0.0
LEAS
 1 3 2 2 0 0 0 0 0 0 0 0
QF K1 0
QD K1 0
 2 0.60 1
 12 0.45 1
 0
MACH
 0 0 0 0 0 0 0 10 0 0 0 10 0 0 0 -1;
STOP
)",
                                            {true, false});
  ASSERT_EQ(run.status, 0) << run.listing;
  EXPECT_EQ(run.files.count("plots/mach_1.svg"), 0u); // tables only

  const ParsedTfs simp = table(run, "simp_1.tfs");
  ASSERT_EQ(simp.rows.size(), 2u);
  EXPECT_EQ(simp.rows[0],
            (std::vector<std::string>{"QF", "K1", "2", "VARIED", simp.rows[0][4],
                                      "1.0000000000000000e+00", "0.0000000000000000e+00"}));
  EXPECT_EQ(simp.text(1, "ROLE") + simp.text(1, "NAME"), "COUPLEDQD");
  EXPECT_EQ(simp.real(1, "VALUE"), -simp.real(0, "VALUE")); // coefficient -1
  const std::string after_simp = run.listing.substr(run.listing.find("THE FITTED PARAMETERS ARE"));
  EXPECT_NEAR(simp.real(0, "VALUE"), number_after(after_simp, "OF QF       ="), 1e-14);

  const ParsedTfs leas = table(run, "leas_1.tfs");
  ASSERT_EQ(leas.rows.size(), 2u);
  const std::string last = run.listing.substr(run.listing.rfind("FITTED PARAMETERS VALUES"));
  EXPECT_NEAR(leas.real(1, "VALUE"), number_after(last, "OF QD       ="), 1e-14);
  EXPECT_NEAR(leas.header_real("FITFUNCTION"), number_after(last, "THE FIT FUNCTION VALUE IS :"),
              1e-6 * std::fabs(leas.header_real("FITFUNCTION")) + 1e-20);

  // MACH from given values: no periodic results in its header, the phase advance as Q1.
  const ParsedTfs mach = table(run, "mach_1.tfs");
  EXPECT_EQ(mach.header.at("START"), "GIVEN VALUES");
  EXPECT_EQ(mach.header.count("ALFA"), 0u);
  EXPECT_EQ(mach.header_real("Q1"), mach.real(mach.rows.size() - 1, "MUX"));
}

TEST(ResultFiles, TablesWrittenBeforeAnErrorStopStayWhole) {
  const DeckRun run = run_deck_with_results(R"(D: DRIFT, L=1
Q: QUADRUPOLE, L=0.2, K1=1
L1: LINE=(D,Q,D,-Q)
USE, L1
VORAX
MACH
 0 0 0 0 0 0 0 5 0 0 0 5 0 0 0 0,
MATR
 1 2X ;
)");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.terminal, "deck:9: error: IMPROPER NUMBER FORMAT (COLUMN 5)\n"))
      << run.terminal;
  const ParsedTfs mach = table(run, "mach_1.tfs");
  EXPECT_EQ(mach.rows.size(), 5u);
  EXPECT_EQ(svg_fault(run.files.at("plots/mach_1.svg")), "");
  for (const auto &[name, text] : run.files)
    EXPECT_EQ(name.find(".part"), std::string::npos) << name; // no file left half written
}

namespace {

// The particle lines of TRAC's printout with the turn of their heading: number, turn and the
// six printed coordinates.
std::vector<std::vector<double>> printed_particles(const std::string &listing) {
  std::vector<std::vector<double>> out;
  bool in = false;
  double turn = 0;
  for (const std::string &l : lines_of(listing)) {
    if (l.rfind(" INITIAL POSITIONS OF PARTICLES", 0) == 0) {
      in = true;
      turn = 0;
    } else if (l.rfind(" PARTICLE POSITIONS AFTER ELEMENT", 0) == 0) {
      in = true;
      turn = number_after(l, "DURING TURN");
    } else if (const auto v = numbers_after(l, ""); in && v.size() == 7) {
      out.push_back({v[0], turn, v[1], v[2], v[3], v[4], v[5], v[6]});
    } else {
      in = false;
    }
  }
  return out;
}

constexpr const char *TRACKED_RING = R"(TITLE
TRACKED RING
QF: QUADRUPOLE, L=0.5, K1=0.9
QD: QUADRUPOLE, L=0.5, K1=-0.9
B: SBEND, L=1.0, ANGLE=0.1
D: DRIFT, L=1.0
RING: LINE=(QF,D,B,D,QD,D,B,D)
USE, RING
VORAX
)";

} // namespace

TEST(ResultFiles, TrackingTableHoldsThePrintedCoordinatesAndStaysWholeThroughAStop) {
  const std::string deck = std::string(TRACKED_RING) + R"(TRAC
 -1 0 3 2
 1E-3 0 0 0 0 0
 0 0 1E-3 2E-4 0 0
 5E-4 -1E-4 -5E-4 0 1E-3 1E-3
 0;
STOP
)";
  const DeckRun plain = run_deck(deck);
  const DeckRun run = run_deck_with_results(deck);
  ASSERT_EQ(run.status, 0) << run.terminal;
  EXPECT_TRUE(run.listing == plain.listing);
  EXPECT_EQ(run.terminal, plain.terminal);

  const ParsedTfs trac = table(run, "trac_1.tfs");
  EXPECT_EQ(trac.header.at("TITLE"), "TRACKED RING");
  const auto printed = printed_particles(run.listing);
  ASSERT_EQ(printed.size(), 3u + 2u * 8u * 3u); // the initial positions, then every position
  ASSERT_EQ(trac.rows.size(), printed.size());
  const char *columns[] = {"NUMBER", "TURN", "X", "PX", "Y", "PY", "L", "DELTA"};
  for (std::size_t r = 0; r < printed.size(); ++r) {
    SCOPED_TRACE("row " + std::to_string(r));
    for (std::size_t c = 0; c < 8; ++c) {
      // E20.12: twelve digits of the mantissa 0.dddddddddddd.
      const double v = printed[r][c];
      const double unit = v == 0.0 ? 0.0 : std::pow(10.0, std::floor(std::log10(std::fabs(v))) + 1);
      EXPECT_NEAR(trac.real(r, columns[c]), v, 0.51e-12 * unit) << columns[c];
    }
  }
  // S is the path length at the end of the position: 0 at the start, then 0.5 m ... 7 m in
  // each turn.
  EXPECT_EQ(trac.real(0, "S"), 0.0);
  EXPECT_EQ(trac.real(3, "S"), 0.5);
  EXPECT_EQ(trac.real(3 + 8 * 3 - 1, "S"), 7.0);
  EXPECT_EQ(trac.real(3 + 8 * 3, "S"), 0.5);
  EXPECT_EQ(trac.real(trac.rows.size() - 1, "S"), 7.0);

  const std::string &svg = run.files.at("plots/trac_1.svg");
  EXPECT_EQ(svg_fault(svg), "");
  EXPECT_EQ(count_of(svg, "<circle"), 2 * static_cast<int>(printed.size())); // x-x' and y-y'

  // Symplectic tracking prints the canonical variables of its store: the table holds them too,
  // and says so.
  const DeckRun canonical = run_deck_with_results(std::string(TRACKED_RING) + R"(SETS
 2 1.0
TRAC
 -1 -1 1 3
 1E-3 2E-4 0 0 0 1E-3
 0;
STOP
)");
  ASSERT_EQ(canonical.status, 0) << canonical.terminal;
  const ParsedTfs symplectic = table(canonical, "trac_1.tfs");
  EXPECT_TRUE(contains(symplectic.header.at("VARIABLES"), "canonical"));
  const auto canonical_lines = printed_particles(canonical.listing);
  ASSERT_EQ(symplectic.rows.size(), 2u); // the initial and the final positions
  ASSERT_EQ(canonical_lines.size(), 2u);
  EXPECT_EQ(symplectic.real(1, "TURN"), 3.0);
  EXPECT_NEAR(symplectic.real(1, "PX"), canonical_lines[1][3], 1e-14);

  // The runs other operations track for their own measurements write no tracking table.
  const DeckRun measured = run_deck_with_results(
      std::string(TRACKED_RING) + "RMAT\n 0 0 0 0 0 0 1E-6 1E-6 1E-6 1E-6 1E-6 1E-6 0 0;\nSTOP\n");
  ASSERT_EQ(measured.status, 0) << measured.terminal;
  EXPECT_TRUE(contains(measured.listing, "THE OUTPUT COORDINATES")) << measured.listing;
  for (const auto &[name, text] : measured.files)
    EXPECT_EQ(name.find("trac_"), std::string::npos) << name;

  // A bend cannot take a misalignment of type 4: the run stops when tracking first meets it,
  // at the third position; what was printed before is in whole files.
  const DeckRun stopped = run_deck_with_results(std::string(TRACKED_RING) + R"(MISA
 B 1E-4 0 0 0 0 0 0 4,
 99
SETM
 0 1
 B 0
TRAC
 -1 0 2 2
 1E-3 0 0 0 0 0
 0 0 1E-3 2E-4 0 0
 0;
STOP
)");
  EXPECT_EQ(stopped.status, 1);
  EXPECT_TRUE(contains(stopped.terminal, "error number 276")) << stopped.terminal;
  const ParsedTfs partial = table(stopped, "trac_1.tfs");
  EXPECT_EQ(partial.rows.size(), printed_particles(stopped.listing).size());
  EXPECT_EQ(partial.rows.size(), 2u + 2u * 2u);
  EXPECT_EQ(svg_fault(stopped.files.at("plots/trac_1.svg")), "");
  for (const auto &[name, text] : stopped.files)
    EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

TEST(ResultFiles, LayoutTableHoldsThePrintedRowsAndThePlotTheWholeMachine) {
  // Feet as the length unit, the rows of positions 2 to 3 and the last; HARD with layout data
  // writes its own table.
  const DeckRun run = run_deck_with_results(std::string(TRACKED_RING) + R"(LAYO
 0 0 0 0 0 0 0 0.3048 1 2 3,
HARD
 3.0 0 0 0 0 0 0 0 1 0,
MATR
 1 2X ;
)");
  EXPECT_EQ(run.status, 1); // the last record stops the run: the files are complete before it
  const ParsedTfs layo = table(run, "layo_1.tfs");
  EXPECT_EQ(layo.header_real("LENGTHUNIT"), 0.3048);
  std::vector<std::vector<double>> rows;
  for (const std::string &l : lines_of(run.listing.substr(0, run.listing.find("VALUES ARE FOR"))))
    if (l.size() > 20 && (l.find(" D        ") == 6 || l.find(" B        ") == 6))
      rows.push_back(numbers_after(l, l.substr(0, 15)));
  ASSERT_EQ(rows.size(), 3u);
  ASSERT_EQ(layo.rows.size(), 3u);
  const char *columns[] = {"S", "X", "Y", "Z", "THETA", "PHI", "PSI"};
  for (std::size_t r = 0; r < 3; ++r)
    for (std::size_t c = 0; c < 7; ++c)
      EXPECT_NEAR(layo.real(r, columns[c]), rows[r][c], 0.51e-7) << r << " " << columns[c];
  EXPECT_EQ(layo.text(0, "NAME") + layo.text(0, "KEYWORD"), "DDRIFT");
  EXPECT_EQ(layo.text(1, "KEYWORD"), "SBEND");
  EXPECT_EQ(layo.real(2, "NUMBER"), 8.0);
  // Two bends of 0.1 rad turn the orbit by 0.2 rad: the last row's azimuth.
  EXPECT_NEAR(layo.real(2, "THETA"), -0.2 / (std::atan(1.0) / 45.0), 1e-12);

  // The plot draws all eight positions from the start: bends and quadrupoles coloured over the
  // grey orbit.
  const std::string &svg = run.files.at("plots/layo_1.svg");
  EXPECT_EQ(svg_fault(svg), "");
  EXPECT_EQ(count_of(svg, "<polyline"), 1 + 4);
  EXPECT_EQ(table(run, "hard_1.tfs").rows.size(), 8u);
  EXPECT_EQ(svg_fault(run.files.at("plots/hard_1.svg")), "");
}
