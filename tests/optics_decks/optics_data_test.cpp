// Operation data of the matrix operation at the edges of what a record holds.
#include "harness.h"

#include <gtest/gtest.h>

#include <string>

namespace vorax::test {
namespace {

TEST(OpticsData, BeamIntervalsBeyondTheRecordAreNotGiven) {
  // Direct form: 21 beam values, NINT = 40 at value 22, and the 78 values left in a record
  // of 100 for the pairs: the 40th pair cannot be given and must be taken as absent.
  std::string data = " 1E-3 0 0 0 0 0 1E-4 0 0 0 0 1E-3 0 0 0 1E-4 0 0 1E-2 0 1E-3 40\n";
  for (int k = 0; k < 78; ++k)
    data += (k % 20 == 19) ? " 2\n" : " 2";
  const DeckRun r = run_deck("D: DRIFT, L = 1\nQ: QUADRUPOLE, L = 0.5, K1 = 0.4\n"
                             "A: LINE = (D, Q, D)\nUSE, A\nVORAX\nOUTP\n 2,\nBEAM\n" +
                             data + ";\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  // The 39 given pairs are all (2, 2): position 2 is printed once, nothing else.
  EXPECT_EQ(count_of(r.listing, "  BEAM AT :Q        ELEMENT #:    2"), 1);
  EXPECT_EQ(count_of(r.listing, "  BEAM AT :"), 1);
}

} // namespace
} // namespace vorax::test
