// MODI and TUNE through whole decks: a changed value gives the machine of the same value
// written in the lattice, lengths follow L (and a GKICK's DZ), TUNE moves by the tune distance,
// and vary's three modes.
#include "harness.h"

#include "common/engine_tables.h"
#include "common/slots.h"
#include "optics/parameter_changes.h"
#include "track/closed_orbit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vorax::test {
namespace {

std::string ring(const std::string &kf, const std::string &ld) {
  return "QF: QUADRUPOLE, L = 0.4, K1 = " + kf +
         "\nQD: QUADRUPOLE, L = 0.4, K1 = -0.5\nD: DRIFT, L = " + ld +
         "\nB: SBEND, L = 1.0, ANGLE = 0.1\n"
         "CELL: LINE = (QF, D, B, QD, D, B)\nRING: LINE = (8*CELL)\nUSE, RING\nVORAX\n";
}

int element(const char *name) {
  for (int e = 1; e <= inputt.nelm; ++e)
    if (chinp.elname(e) == name)
      return e;
  return 0;
}

// The listing from the first map printed on up to the echo of STOP: everything the operations
// before it printed, and the line count of the deck, are cut away.
std::string from_matrix(const std::string &listing) {
  const std::size_t from = listing.find("*   TRANSFORMATION  MATRIX   *");
  return listing.substr(from, listing.rfind('\n', listing.rfind("STOP")) - from);
}

TEST(ParameterChanges, ModiGivesTheMachineOfTheValueWrittenInTheLattice) {
  const DeckRun written = run_deck(ring("0.61", "1.7") + "MATRIX\n 2 -1;\nSTOP\n");
  const DeckRun changed =
      run_deck(ring("0.55", "2.0") + "MODI\n 2\n QF K1 0.61\n D L 1.7\nMATRIX\n 2 -1;\nSTOP\n");
  ASSERT_EQ(written.status, 0) << written.terminal;
  ASSERT_EQ(changed.status, 0) << changed.terminal;
  EXPECT_EQ(from_matrix(changed.listing), from_matrix(written.listing));
  // The drift's new L changed the machine length: 8 * (2 * 0.4... ) with D = 1.7.
  EXPECT_DOUBLE_EQ(blank.machine_length, 8 * (0.8 + 2 * 1.7 + 2.0));
  EXPECT_DOUBLE_EQ(blank.path_length(3), 0.4 + 1.7 + 1.0);
}

TEST(ParameterChanges, ModiReportsAMisspeltElementAndGoesOn) {
  const DeckRun r =
      run_deck(ring("0.55", "2.0") + "MODI\n 2\n QX K1 0.7\n QF K1 0.61\nMATRIX\n 1 -1;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, " COULDNT MATCH ELEMENTQX       IN OPERATION 400"));
  const DeckRun written = run_deck(ring("0.61", "2.0") + "MATRIX\n 1 -1;\nSTOP\n");
  EXPECT_EQ(from_matrix(r.listing), from_matrix(written.listing));
  // An unknown parameter name of a known element stops as the lookup does.
  const DeckRun bad = run_deck(ring("0.55", "2.0") + "MODI\n 1\n QF XX 0.7;\nSTOP\n");
  EXPECT_EQ(bad.status, 1);
  EXPECT_TRUE(contains(bad.listing, "NOT A PARM NAME"));
}

TEST(ParameterChanges, TuneMovesByTheDistanceFromTheTuneOfMove) {
  const std::string move = "MOVE\n 0 0 0 -2 1 0 1E-7 0 0 0 0 0\n 0\n 0 0 0 0 0 0 0\n";
  // Q equal to the tune found: nothing changes, to the bit.
  DeckRun r = run_deck(ring("0.55", "2.0") + move + "MATRIX\n 1 -2,\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  const double nux = ctune.nux;
  const auto q = [](double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return std::string(text);
  };
  r = run_deck(ring("0.55", "2.0") + move + "TUNE\n 0 QF K1\n " + q(nux) +
               " 0.3\nMATRIX\n 1 -2;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(inputt.slot(element("QF"), slot::quad::K1), 0.55);
  EXPECT_TRUE(contains(r.listing, " NEW VALUE OF K1"));
  // A distance of 0.01 with gain 2 adds 0.02.
  r = run_deck(ring("0.55", "2.0") + move + "TUNE\n 0 QF K1\n " + q(nux + 0.01) +
               " 2\nMATRIX\n 1 -2;\nSTOP\n");
  EXPECT_NEAR(inputt.slot(element("QF"), slot::quad::K1), 0.57, 1e-12);
  // Without a MOVE there is no tune to start from: nothing is changed.
  r = run_deck(ring("0.55", "2.0") + "TUNE\n 0 QF K1\n 0.3 2\nMATRIX\n 1 -2;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, " NO TUNE FOUND BY A MOVE OPERATION"));
  EXPECT_EQ(inputt.slot(element("QF"), slot::quad::K1), 0.55);
}

TEST(ParameterChanges, VaryModesAndTheLengthsOfAKick) {
  const DeckRun r = run_deck("K: GKICK, L = 0.5, DZ = 0.1\nD: DRIFT, L = 1\n"
                             "RING: LINE = (D, K, D)\nUSE, RING\nVORAX\nMATRIX\n 1 -2;\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_DOUBLE_EQ(blank.machine_length, 2.6);
  const int kick = element("K");
  ASSERT_EQ(inputt.kode(kick), KODE_GKICK);
  EXPECT_DOUBLE_EQ(vary(kick, slot::gkick::DZ, 0.3, VaryMode::add), 0.4);
  EXPECT_DOUBLE_EQ(blank.machine_length, 2.9);
  EXPECT_DOUBLE_EQ(vary(kick, slot::L, 2.0, VaryMode::multiply), 1.0);
  EXPECT_DOUBLE_EQ(blank.machine_length, 3.4);
  EXPECT_DOUBLE_EQ(lngth.ellen(kick), 1.0);
  EXPECT_DOUBLE_EQ(vary(element("D"), slot::L, 0.25, VaryMode::set), 0.25);
  EXPECT_DOUBLE_EQ(blank.machine_length, 1.9);
  EXPECT_DOUBLE_EQ(blank.path_length(1), 0.25);
}

} // namespace
} // namespace vorax::test
