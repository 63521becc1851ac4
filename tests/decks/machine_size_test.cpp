// Machines larger than the classic tables: what stops a deck at the classic sizes runs once the
// tables are sized for more positions, with the same physics, and the listing widens its
// position fields only where the raised limit needs it.
#include "harness.h"

#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "engine/lookup.h"
#include "optics/lattice_functions.h"
#include "optics/optics_areas.h"

#include <gtest/gtest.h>

#include <string>

namespace vorax::test {
namespace {

std::string quadrupoles(int n) {
  std::string deck;
  for (int i = 1; i <= n; ++i)
    deck += "Q" + std::to_string(i) + ": QUADRUPOLE, L = 0.1, K1 = " + std::to_string(i) + "E-4\n";
  return deck + "D: DRIFT, L = 1\nL: LINE = (D, Q1, D, Q" + std::to_string(n) +
         ")\nUSE, L\nVORAX\nMATRIX\n 2 -1;\nSTOP\n";
}

// A ring of identical FODO cells with sector bends, the whole bend angle 2 pi.
std::string fodo_ring(int cells) {
  return "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
         "B: SBEND, L = 2, ANGLE = 3.141592653589793/" +
         std::to_string(cells) +
         "\nD: DRIFT, L = 0.5\nCELL: LINE = (QF, D, B, D, QD, D, B, D)\n"
         "RING: LINE = (" +
         std::to_string(cells) +
         "*CELL)\nUSE, RING\nVORAX\nMATRIX\n 1 -1,\n"
         "MACHINE\n 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 -1;\nSTOP\n";
}

// The stop of a full table tells the person at the terminal which option raises it.
void expect_named_option(const DeckRun &run, const std::string &stop) {
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.terminal, "error number " + stop)) << run.terminal;
  EXPECT_TRUE(contains(run.terminal, "--max-positions N raises this limit")) << run.terminal;
}

TEST(MachineSize, SevenHundredDistinctQuadrupolesNeedMoreMapRecords) {
  const DeckRun classic = run_deck(quadrupoles(700));
  expect_named_option(classic, "3: ARRSIZE MAXMAT");
  EXPECT_TRUE(contains(classic.listing, "  TOO MANY MATRICES : MAXIMUM IS :   500"));

  const SizedMachine sized(10'000);
  const DeckRun run = run_deck(quadrupoles(700));
  EXPECT_EQ(run.status, 0) << run.terminal;
  EXPECT_EQ(sym.matrix_count, 700);
  // Every map is its element's own: the last quadrupole's focusing, not a neighbour's.
  const TransferMap &last = blank.maps(blank.matrix_number(element_named(Name8("Q700"))));
  EXPECT_NEAR(last.R(2, 1), -0.07 * 0.1, 1e-5);
}

// A thousand cells are 8000 positions, and with the two markers of every pass over a cell the
// expanded sequence overflows its 10000 entries; with room for more the ring is the cell a
// thousand times over: the same periodic functions, a thousand times the cell's tune.
TEST(MachineSize, ARingOfAThousandCellsRunsWithRoomForItsMarkers) {
  expect_named_option(run_deck(fodo_ring(1000)), "11: ARRSIZE SEQUENCE");

  const SizedMachine sized(10'000);
  const DeckRun ring = run_deck(fodo_ring(1000));
  ASSERT_EQ(ring.status, 0) << ring.terminal;
  EXPECT_EQ(mat.npos, 8000);
  const Twf whole = twf;
  // One cell of the same ring (bend angle 2 pi / 2000) alone.
  std::string cell = fodo_ring(1000);
  cell.replace(cell.find("1000*CELL"), 9, "CELL");
  ASSERT_EQ(run_deck(cell).status, 0);
  for (int plane = 1; plane <= 2; ++plane) {
    EXPECT_NEAR(whole.beta(plane), twf.beta(plane), 1e-9 * twf.beta(plane));
    EXPECT_NEAR(whole.nu(plane), 1000 * twf.nu(plane), 1e-8);
  }
  EXPECT_GT(whole.nu(1), 100.0);
}

// Positions are printed in five columns while no machine can reach 100,000 positions; from a
// limit of 100,000 every position field has six, and the headings move with them.
TEST(MachineSize, PositionFieldsWidenOnlyForMachinesOfSixDigitPositions) {
  const std::string cell = "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
                           "D: DRIFT, L = 1\nCELL: LINE = (QF, D, QD, D)\nUSE, CELL\nVORAX\n"
                           "MATRIX\n 1 -1,\nMACHINE\n 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0;\nSTOP\n";
  {
    const SizedMachine sized(99'999);
    const DeckRun run = run_deck(cell);
    EXPECT_TRUE(contains(run.listing, "\n ELEMENT   #    BETAX")) << run.listing;
    EXPECT_TRUE(contains(run.listing, "\n QD          3 ")) << run.listing;
    EXPECT_EQ(lattice_line("QF      ", 99'999, 0, 0, 0, 0).substr(0, 14), " QF      99999");
  }
  const SizedMachine sized(100'000);
  const DeckRun run = run_deck(cell);
  ASSERT_EQ(run.status, 0) << run.terminal;
  EXPECT_TRUE(contains(run.listing, "\n ELEMENT   #     BETAX")) << run.listing;
  EXPECT_TRUE(contains(run.listing, "\n QD           3 ")) << run.listing;
  EXPECT_EQ(lattice_line("QF      ", 123'456, 0, 0, 0, 0).substr(0, 15), " QF      123456");
  // The run summary gives the raised limits.
  EXPECT_TRUE(contains(run.listing, " DISTINCT ELEMENTS.  MAX IS MXELMD : 30007")) << run.listing;
}

} // namespace
} // namespace vorax::test
