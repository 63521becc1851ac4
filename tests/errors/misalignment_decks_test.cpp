// Misalignments from whole decks: SHOM shows the values drawn as the generators give them in
// every random mode and again on every pass; the selection by ranges, by repeated and changed
// lists; the saved set replayed and dropped; long lists read to their end; and every stop of
// the misalignment operations with its name.
#include "harness.h"
#include "support/reference_generator.h"

#include "common/random_numbers.h"
#include "errors/misalignments.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

const double M[7] = {1e-4, -2e-4, 3e-4, 4e-4, 5e-3, 6e-3, 7e-4};

// The seven values of every SHOM line of the position, in the order printed.
std::vector<std::vector<double>> shown(const std::string &listing, int position) {
  std::vector<std::vector<double>> out;
  const std::vector<std::string> lines = lines_of(listing);
  const std::string start =
      " " + std::string(9 - std::to_string(position).size(), ' ') + std::to_string(position) + " ";
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].rfind(start, 0) != 0 || lines[i].size() < 26 + 4 * 25)
      continue;
    std::vector<double> v;
    for (int k = 0; k < 4; ++k)
      v.push_back(std::strtod(lines[i].substr(26 + 25 * k, 25).c_str(), nullptr));
    for (int k = 0; k < 3; ++k)
      v.push_back(std::strtod(lines[i + 1].substr(26 + 25 * k, 25).c_str(), nullptr));
    out.push_back(v);
  }
  return out;
}

std::string misa_qf(int type) {
  return "MISA\n QF 1E-4 -2E-4 3E-4 4E-4 5E-3 6E-3 7E-4 " + std::to_string(type) + ",\n 99\n";
}

TEST(ShowMisalignments, ShowsTheDrawnValuesExactlyInEveryRandomMode) {
  for (int r : {0, 1, 2, 3, 4, 11, 12, 13, 14}) {
    const DeckRun run = run_deck("QF: QUADRUPOLE, L=0.5, K1=1.2\nRING: LINE=(QF)\nUSE, RING\n"
                                 "VORAX\nSEED\n 7\n" +
                                 misa_qf(1) + "SETM\n " + std::to_string(r) +
                                 " 1\n QF 0\nSHOM\n 1\nSHOM\n 1;\nSTOP\n");
    ASSERT_EQ(run.status, 0) << run.terminal;
    const auto lines = shown(run.listing, 1);
    ASSERT_EQ(lines.size(), 2u) << r;
    Reference ref{7};
    const int option = r % 10 == 4 ? 3 : r % 10;
    const double cut = r % 10 == 4 ? 6.0 : 2.0;
    for (int i = 0; i < 7; ++i) {
      double factor = 1.0;
      if (r >= 11) { // table mode from index 1 with stride 1
        const int k = i + 1;
        factor = option == 1   ? cran.signs(k)
                 : option == 2 ? cran.uniform(k)
                 : cut == 2.0  ? cran.gauss_cut2(k)
                               : cran.gauss_cut6(k);
      } else if (r != 0) {
        factor = ref.factor(option, cut);
      }
      EXPECT_EQ(lines[0][static_cast<std::size_t>(i)], M[i] * factor)
          << "option " << r << " A" << i + 1;
    }
    // Every pass starts the stream afresh: the machine is the same each time it is shown.
    EXPECT_EQ(lines[1], lines[0]) << r;
    EXPECT_TRUE(contains(run.listing, "0 STATISTICS OVER     1 MISALIGNED POSITIONS (     1 DRAWN,"
                                      "     0 SAVED)"));
    EXPECT_EQ(contains(run.listing, "  FAST RANDOM SEQUENCE GENERATION USED"), r > 10);
  }
}

const std::string lattice = "QF: QUADRUPOLE, L=0.5, K1=1.2\n"
                            "QD: QUADRUPOLE, L=0.5, K1=-1.2\n"
                            "D: DRIFT, L=1.0\n"
                            "BPM: MONITOR\n"
                            "RING: LINE=(15*(QF,D,QD,D))\n"
                            "USE, RING\n";

std::vector<int> misaligned_positions(const std::string &listing) {
  std::vector<int> out;
  for (int p = 1; p <= 60; ++p)
    if (!shown(listing, p).empty())
      out.push_back(p);
  return out;
}

TEST(SelectMisalignments, RangesRepeatedNamesAndKindsTrackedWithout) {
  // Twelve ranges are all kept (any count one record can carry);
  // a range count of -1 keeps QD aligned; D is selected but drifts are tracked without
  // misalignment; the second QF entry has no effect.
  const DeckRun run =
      run_deck(lattice + "VORAX\n" +
               "MISA\n QF 1E-4 0 0 0 0 0 0 1,\n QD 1E-4 0 0 0 0 0 0 1,\n"
               " D 1E-4 0 0 0 0 0 0 1,\n 99\n"
               "SETM\n 0 4\n QF 12\n"
               " 1 1 5 5 9 9 13 13 17 17 21 21 25 25 29 29 33 33 37 37 41 41 45 47\n"
               " QD -1\n D 0\n QF 0\n"
               "SHOM\n 1;\nVORAX\nSHOM\n 1;\nSTOP\n");
  ASSERT_EQ(run.status, 0) << run.terminal;
  EXPECT_EQ(misaligned_positions(run.listing),
            (std::vector<int>{1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 45}));
  EXPECT_TRUE(contains(run.listing, " QF       IS ALREADY SELECTED: THIS ENTRY HAS NO EFFECT"));
  EXPECT_TRUE(contains(run.listing, " NO RANDOM GENERATOR IS USED IN THE MISALIGNEMENT"));
  // A fresh engine entry starts without lists and selections: they named this machine's
  // elements and positions.
  EXPECT_TRUE(contains(run.listing, "0 STATISTICS OVER    12 MISALIGNED POSITIONS"));
  EXPECT_TRUE(contains(run.listing, "0 STATISTICS OVER     0 MISALIGNED POSITIONS"));
}

TEST(SelectMisalignments, ANewListServesTheSelection) {
  const DeckRun run = run_deck(lattice + "VORAX\n" + misa_qf(1) +
                               "SETM\n 0 1\n QF 1\n 1 1\n"
                               "MISA\n QF 9E-4 0 0 0 0 0 0 1,\n 99\nSHOM\n 1\n"
                               "MISA\n QD 1E-4 0 0 0 0 0 0 1,\n 99\nSHOM\n 0;\nSTOP\n");
  ASSERT_EQ(run.status, 0) << run.terminal;
  const auto lines = shown(run.listing, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0][0], 9e-4);
  EXPECT_TRUE(contains(run.listing, " QF       IS SELECTED BY SETM BUT NOT IN THIS LIST: IT IS NO "
                                    "LONGER MISALIGNED"));
  EXPECT_TRUE(contains(run.listing, "0 STATISTICS OVER     0 MISALIGNED POSITIONS"));
}

TEST(SavedMisalignments, AreReplayedOverNewSeedsAndSelectionsUntilDropped) {
  const DeckRun run = run_deck(lattice + "VORAX\nSEED\n 7\n" + misa_qf(1) +
                               "SETM\n 3 1\n QF 1\n 1 1\nSHOM\n -1\n"
                               "SEED\n 9\n"
                               "MISA\n QF 1E-4 0 0 0 0 0 0 1,\n QD 2E-4 0 0 0 0 0 0 1,\n 99\n"
                               "SETM\n 0 2\n QF 1\n 1 1\n QD 1\n 3 3\nSHOM\n -1\n"
                               "SHOM\n 1\nSHOM\n -2\nSHOM\n 1;\nSTOP\n");
  ASSERT_EQ(run.status, 0) << run.terminal;
  const auto first = shown(run.listing, 1);
  ASSERT_EQ(first.size(), 4u);
  // Saved with seed 7, replayed under seed 9 and a selection without random factors.
  EXPECT_EQ(first[1], first[0]);
  EXPECT_EQ(first[2], first[0]);
  EXPECT_EQ(first[3][0], 1e-4); // dropped: drawn from the present selection again
  EXPECT_NE(first[0][0], 1e-4);
  EXPECT_TRUE(contains(run.listing, " A PREVIOUS SHO MIS -1 OPERATION SAVED THE PREVIOUSLY"));
  EXPECT_TRUE(contains(run.listing, " INFORM YOU OF SOME INCOMPATIBILITIES"));
  EXPECT_TRUE(contains(run.listing, " POSITION     1 (QF      ) IS IN THE SAVED SET: ITS SAVED "
                                    "VALUES ARE KEPT, NOT THOSE NOW DRAWN"));
  // The second save extended the set by QD at position 3.
  EXPECT_EQ(shown(run.listing, 3).size(), 3u);
  EXPECT_TRUE(contains(run.listing, " THE MISALIGNMENTS OF     2 POSITIONS ARE SAVED"));
  EXPECT_TRUE(contains(run.listing, " THE SAVED MISALIGNMENTS ARE DROPPED"));
  EXPECT_EQ(missav.count, 0);
}

TEST(MisalignmentList, LongerThanItsTableIsReadToItsEnd) {
  std::string misa = "MISA\n";
  for (int i = 0; i < 102; ++i)
    misa += std::string(i % 2 ? " QD" : " QF") + " 1E-4 0 0 0 0 0 0 1,\n";
  const DeckRun run = run_deck(lattice + "VORAX\n" + misa + " 99\nMATRIX\n 1 -1;\nSTOP\n");
  ASSERT_EQ(run.status, 0) << run.terminal;
  EXPECT_TRUE(contains(run.listing, " TOO MANY MISALIGNED ELEMENTS FIRST  100 ONLY KEPT"));
  EXPECT_TRUE(contains(run.listing, "    2 FURTHER ENTRIES WERE READ AND NOT KEPT:\n QF       QD"));
  EXPECT_TRUE(contains(run.listing, " TOTAL NUMBER OF MISALIGNED ELEMENTS :  100"));
  EXPECT_TRUE(contains(run.listing, " QF       IS ALREADY IN THE LIST: ITS FIRST VALUES ARE USED"));
  EXPECT_EQ(count_of(run.listing, "FIRST ORDER MATRIX"), 1);
  EXPECT_EQ(mis.list_count, 100);
}

// Each stop of the misalignment operations from a deck, with its number and name.
TEST(MisalignmentStops, EveryStopFromADeckWithItsName) {
  struct Case {
    std::string operations, message, stop;
  };
  const std::vector<Case> cases = {
      {misa_qf(1) + "SETM\n 0 1\n QD 0\n",
       "  NAME QD       IS NOT IN THE LIST OF THE\n"
       " MISALIGNED ELEMENTS DEFINED IN MISDAT",
       "278: MIS:ELEM NOT MISAL"},
      {misa_qf(1) + "SETM\n 5 1\n QF 0\nSHOM\n 0\n", "    ERROR IN OPTION NUMBER",
       "275: MIS:BAD RAN OPT"},
      {misa_qf(5) + "SETM\n 1 1\n QF 0\nSHOM\n 0\n",
       "  ERROR IN THE MISALIGNMENT OPTION NUMBER :    5", "276: MIS:BAD MIS OPT"},
      {"MISA\n B 1E-4 0 0 0 0 0.1 0 4,\n 99\nSETM\n 0 1\n B 0\nSHOM\n 0\n",
       "  ERROR IN THE MISALIGNMENT OPTION NUMBER :    4", "276: MIS:BAD MIS OPT"},
      {"MISA\n BPM 1E-4 2E-4 0 0 0 0 0 2,\n 99\nSETM\n 0 1\n BPM 0\nSHOM\n 0\n",
       " A TYPE 2 MISALIGNMENT NEEDS A LENGTH: BPM HAS LENGTH 0", "276: MIS:BAD MIS OPT"},
      {"MISA\n QX 1E-4 0 0 0 0 0 0 1,\n 99\n",
       " ELEMENT NAME DID NOT MATCH MACHINE ELEMENT LIST QX", "245: ELID:NO MATCH"},
  };
  for (const Case &c : cases) {
    const DeckRun run = run_deck("QF: QUADRUPOLE, L=0.5, K1=1.2\nQD: QUADRUPOLE, L=0.5, K1=-1\n"
                                 "B: SBEND, L=1, ANGLE=0.1\nBPM: MONITOR\n"
                                 "RING: LINE=(QF,B,BPM,QD)\nUSE, RING\nVORAX\n" +
                                 c.operations + "MATRIX\n 1 -1;\nSTOP\n");
    EXPECT_EQ(run.status, 1) << c.operations;
    EXPECT_TRUE(contains(run.listing, c.message)) << c.operations << run.listing;
    EXPECT_TRUE(contains(run.terminal, "run stopped with error number " + c.stop))
        << c.operations << run.terminal;
  }
}

} // namespace
} // namespace vorax::test
