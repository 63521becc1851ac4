// Whole decks through VORAX: the engine tables built from parsed definitions, the failed
// parameter ordering, and the limits of the engine tables with their stops.
#include "harness.h"

#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "input/command_loop.h"

#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

using namespace vorax;
using namespace vorax::test;

namespace {

constexpr double PI = 3.141592653589793;

std::vector<double> slots(int k) {
  std::vector<double> v;
  for (int i = inputt.iadr(k); i < inputt.iadr(k + 1); ++i)
    v.push_back(inputt.eldata(i));
  return v;
}

// n element definitions NAME1..NAMEn of one keyword.
std::string many(const std::string &name, int n, const std::string &definition) {
  std::string deck;
  for (int i = 1; i <= n; ++i)
    deck += name + std::to_string(i) + ": " + definition + "\n";
  return deck;
}

TEST(VoraxDeck, DriftQuadrupoleDriftMachine) {
  const DeckRun run = run_deck("D: DRIFT, L = 2\n"
                               "Q: QUADRUPO, L = 0.5, K1 = 1.2\n"
                               "L: LINE = (D, Q, D)\n"
                               "USE, L\n"
                               "VORAX\n");
  EXPECT_EQ(run.status, 0) << run.log;
  EXPECT_EQ(mat.npos, 3);
  EXPECT_EQ(blank.mseq(1), 1);
  EXPECT_EQ(blank.mseq(2), 2);
  EXPECT_EQ(blank.mseq(3), 1);
  EXPECT_EQ(inputt.nelm, 2);
  EXPECT_EQ(inputt.kode(1), KODE_DRIFT);
  EXPECT_EQ(inputt.kode(2), KODE_QUAD);
  EXPECT_EQ(inputt.iadr(1), 1);
  EXPECT_EQ(inputt.iadr(2), 2);
  EXPECT_EQ(inputt.iadr(3), 6);
  EXPECT_EQ(slots(1), (std::vector<double>{2.0}));
  EXPECT_EQ(slots(2), (std::vector<double>{0.5, 1.2, 1.0, 0.0}));
}

TEST(VoraxDeck, DefaultsFlagsAndLaterParametersReachTheSlots) {
  // The slot layouts themselves are checked on tables built directly; here the values come
  // through the parser: built-in defaults, flag values, HGAPX following HGAP, and a parameter
  // defined after the element that uses it.
  const DeckRun run = run_deck("KF = K0*2\n"
                               "SB: SBEND, L = 1, ANGLE = 0.2, E1 = 0.05, HGAP = 0.02\n"
                               "MP: MULTIPOL, K2 = 3, T2\n"
                               "UNUSED: QUADRUPO, L = 0.3, K1 = KF, TILT\n"
                               "G: GKICK, V = 0\n"
                               "W: WIGGLER, L = 2.5\n"
                               "K0 = 0.75\n"
                               "L: LINE = (SB, MP, G, W)\n"
                               "USE, L\n"
                               "VORAX\n");
  EXPECT_EQ(run.status, 0) << run.log;
  ASSERT_EQ(inputt.nelm, 5);
  EXPECT_EQ(mat.npos, 4);
  EXPECT_EQ(slots(1), (std::vector<double>{1, 0.2, 0, 0, 0.05, 0, 0.02, 0.5, 0, 0, 0.02, 0.5, 0}));
  EXPECT_EQ(slots(2), (std::vector<double>{0, 1, 1, 3, 3, PI / 6, 1, 0}));
  EXPECT_EQ(chinp.elname(3), Name8("UNUSED"));
  EXPECT_EQ(slots(3), (std::vector<double>{0.3, 1.5, 1.0, PI / 4}));
  EXPECT_EQ(slots(4)[9], 1.0);
  EXPECT_EQ(inputt.kode(5), KODE_DRIFT);
  EXPECT_EQ(lngth.ellen(5), 2.5);
  EXPECT_TRUE(
      contains(run.listing, " NO WIGGLER IN VORAX, TREATED LIKE A DRIFT OF LENGTH     2.5000\n"));
}

TEST(VoraxDeck, KickTiltFollowsTheUnitConvention) {
  const DeckRun run = run_deck("UMERIDOXAN\n"
                               "H: HKICK, KICK = 0.002, TILT = 90\n"
                               "L: LINE = (H)\n"
                               "USE, L\n"
                               "VORAX\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(inputt.eunits, 2);
  EXPECT_NEAR(slots(1)[2], 0.0, 1e-18);
  EXPECT_DOUBLE_EQ(slots(1)[4], -0.002);
  // Under LDF a tilt turns the other way, as for every other kind.
  const DeckRun ldf = run_deck("ULDF\nH: HKICK, KICK = 0.002, TILT = 0.3\nL: LINE = (H)\n"
                               "USE, L\nVORAX\n");
  EXPECT_EQ(ldf.status, 0);
  EXPECT_DOUBLE_EQ(slots(1)[2], 0.002 * std::cos(0.3));
  EXPECT_DOUBLE_EQ(slots(1)[4], 0.002 * std::sin(0.3));
}

TEST(VoraxDeck, CircularParametersStopTheConversionAndEnterScanMode) {
  const DeckRun run = run_deck("A = B\nB = A\nD: DRIFT, L = A\nL: LINE = (D)\nUSE, L\nVORAX\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.listing, " ERROR FROM PARORD, RETURNING FROM VXMATD\n"));
  EXPECT_TRUE(contains(run.log, "CIRCULAR PARAMETER DEFINITION(S):"));
  EXPECT_TRUE(contains(run.log, "0... ENTER SCANNING MODE"));
  EXPECT_TRUE(
      contains(run.listing, "HALTING WITH ERROR NUMBER :    101  AND ERROR : LDFIN NORMAL END"));
  // The engine never sees a machine whose elements it has no tables for.
  EXPECT_EQ(mat.npos, 0);
  EXPECT_EQ(inputt.nelm, 0);
}

TEST(VoraxDeck, AnElementRedefinedAsALineAfterUseStopsTheConversion) {
  const DeckRun run = run_deck("D: DRIFT, L = 1\nL: LINE = (D, D)\nUSE, L\n"
                               "A: DRIFT\nD: LINE = (A)\nVORAX\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.listing,
                       " \"D\" IN THE USED LINE IS NO LONGER AN ELEMENT, RETURNING FROM VXMATD\n"));
  EXPECT_TRUE(contains(run.log, "0... ENTER SCANNING MODE"));
  EXPECT_EQ(mat.npos, 0);
  EXPECT_EQ(inputt.nelm, 0);
}

TEST(VoraxDeck, NewbeamoAsFirstConversionBuildsTheTables) {
  const DeckRun run = run_deck("D: DRIFT, L = 2\nL: LINE = (D, D)\nUSE, L\nNEWBEAMO\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(newbm.value, 1);
  EXPECT_EQ(inputt.nelm, 1);
  EXPECT_EQ(mat.npos, 2);
  EXPECT_EQ(slots(1), (std::vector<double>{2.0}));
}

TEST(VoraxDeck, DistinctElementLimit) {
  const DeckRun full = run_deck(many("D", MXELMD, "DRIFT") + "L: LINE = (D1)\nUSE, L\nVORAX\n");
  EXPECT_EQ(full.status, 0);
  EXPECT_EQ(inputt.nelm, MXELMD);
  EXPECT_EQ(chinp.elname(MXELMD), Name8("D3000"));

  const DeckRun over = run_deck(many("D", MXELMD + 1, "DRIFT") + "L: LINE = (D1)\nUSE, L\nVORAX\n");
  EXPECT_EQ(over.status, 1);
  EXPECT_TRUE(contains(over.listing, " TOO MANY DISTINCT ELEMENT TYPES FOR VORAX,>MXELMD QUIT\n"
                                     "  HALTING WITH ERROR NUMBER :      7  AND ERROR : ARRSIZE "
                                     "MXELMD"));
}

TEST(VoraxDeck, PositionLimit) {
  const DeckRun full = run_deck("A: DRIFT, L = 1\nL: LINE = (2*(4999*A))\nUSE, L\nVORAX\n");
  EXPECT_EQ(full.status, 0);
  EXPECT_EQ(mat.npos, 9998);
  EXPECT_EQ(blank.mseq(9998), 1);

  // One more element position cannot even be expanded: with the two markers of the used line
  // it overflows the machine sequence before the conversion is reached.
  const DeckRun over = run_deck("A: DRIFT, L = 1\nL: LINE = (9999*A)\nUSE, L\nVORAX\n");
  EXPECT_EQ(over.status, 1);
  EXPECT_TRUE(contains(over.log, "0*** ERROR STOP *** ELEMENT SEQUENCE OVERFLOW"));
  EXPECT_TRUE(
      contains(over.listing, "HALTING WITH ERROR NUMBER :     11  AND ERROR : ARRSIZE SEQUENCE"));
}

TEST(VoraxDeck, DataSlotLimit) {
  // 761 general elements of 21 slots and 19 drifts fill the 16000 slots exactly.
  const std::string filled = many("A", 761, "ARBITELM, P20 = 7") + many("D", 19, "DRIFT, L = 1");
  const DeckRun full = run_deck(filled + "L: LINE = (D1)\nUSE, L\nVORAX\n");
  EXPECT_EQ(full.status, 0);
  EXPECT_EQ(inputt.iadr(inputt.nelm + 1), MAXDAT + 1);
  EXPECT_EQ(inputt.eldata(inputt.iadr(761) + 20), 7.0);

  const DeckRun over = run_deck(filled + "ONEMORE: MARKER\nL: LINE = (D1)\nUSE, L\nVORAX\n");
  EXPECT_EQ(over.status, 1);
  EXPECT_TRUE(contains(over.listing, " NOT ENOUGH PARAMETER SPACE FOR VORAX,>MAXDAT QUIT\n"
                                     "  HALTING WITH ERROR NUMBER :      6  AND ERROR : ARRSIZE "
                                     "MAXDAT"));
}

} // namespace
