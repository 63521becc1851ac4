// What the front end warns about when it hands the lattice to the engine: values that overflow
// a double reach the engine as 0 with a warning, never as Infinity or NaN, and an engine start
// with no machine selected says so.
#include "harness.h"

#include "common/engine_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vorax::test {
namespace {

TEST(EngineEntry, OverflowingParametersWarnAndReachTheEngineAsZero) {
  const DeckRun r = run_deck("BIG = EXP(1000)\n"
                             "PRODUCT = 1E200 * 1E200\n"
                             "SUM = 1E308 + 1E308\n"
                             "QUOTIENT = 1 / 1E-310\n"
                             "USES = BIG * 2 + 1\n" // its operands are already safe: no warning
                             "FITS = EXP(709)\n"
                             "D: DRIFT, L = BIG\n"
                             "Q: QUADRUPO, L = 1, K1 = PRODUCT, TILT = SUM\n"
                             "S: SEXTUPOL, L = USES, K2 = QUOTIENT\n"
                             "DE: DRIFT, L = FITS / 1E308\n"
                             "L1: LINE = (D, Q, S, DE)\n"
                             "USE, L1\n"
                             "VORAX\n"
                             "OUTP\n 3;\n"
                             "STOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.log, "0** WARNING ** EXPONENTIAL OVERFLOW --- RESULT SET TO ZERO\n"
                              "               BIG      = EXP      (          , *C19000* )\n"));
  EXPECT_EQ(count_of(r.log, "0** WARNING ** ARITHMETIC OVERFLOW --- RESULT SET TO ZERO\n"), 3);
  EXPECT_TRUE(contains(r.log, "               PRODUCT  = MULTIPLY ("));
  EXPECT_TRUE(contains(r.log, "               SUM      = ADD      ("));
  EXPECT_TRUE(contains(r.log, "               QUOTIENT = DIVIDE   ("));
  EXPECT_TRUE(contains(r.log, " * NUMBER OF WARNING MESSAGES =     4 *"));
  for (int i = 1; i < inputt.iadr(inputt.nelm + 1); ++i)
    EXPECT_TRUE(std::isfinite(inputt.eldata(i))) << "slot " << i;
  // Length 0 + 1 + 1 + exp(709)/1e308: the overflowing lengths count as 0.
  EXPECT_TRUE(contains(r.listing, " TOTAL LENGTH OF MACHINE IS:     2.822 METERS"));
  EXPECT_FALSE(contains(r.listing, "NAN"));
  EXPECT_FALSE(contains(r.listing, "INF"));
}

TEST(EngineEntry, VoraxWithoutUseWarnsAndRunsOnAnEmptyMachine) {
  DeckRun r = run_deck("D: DRIFT, L = 1\nVORAX\nOUTP\n 3;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.log, " ** WARNING ** NO BEAM LINE SELECTED BY \"USE\" --- THE ENGINE "
                              "STARTS ON AN EMPTY MACHINE\n"));
  EXPECT_TRUE(contains(r.listing, " TOTAL LENGTH OF MACHINE IS:     0.000 METERS"));
  // After a USE, neither the first start nor a later one warns.
  r = run_deck("D: DRIFT, L = 1\nL1: LINE = (D)\nUSE, L1\nVORAX\nOUTP\n 3;\nNEWBEAMO\n"
               "OUTP\n 3;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_FALSE(contains(r.log, "WARNING"));
}

TEST(EngineEntry, AnEmptyMachineRefusesTheOperationsThatComputeAlongIt) {
  // Settings run; tracking, which would look up position 0, and the matrix product stop.
  for (const char *operation : {"TRAC\n -1 -1 1 1\n 0 0 0 0 0 0\n 0;\n", "MATR\n 1 0;\n"}) {
    const DeckRun r =
        run_deck(std::string("D: DRIFT, L = 1\nVORAX\nOUTP\n 3,\n") + operation + "STOP\n");
    EXPECT_EQ(r.status, 1) << operation;
    EXPECT_TRUE(contains(r.listing, "  THE MACHINE IS EMPTY (NO BEAM LINE SELECTED BY USE): "))
        << operation;
    EXPECT_TRUE(contains(r.listing, "246  AND ERROR : ELEM NOT IN MACH"));
    EXPECT_TRUE(contains(r.terminal, "deck:5: error: THE MACHINE IS EMPTY")) << r.terminal;
    EXPECT_FALSE(contains(r.listing, std::string(1, '\0')));
    EXPECT_FALSE(contains(r.listing, "POSITIONS"));
  }
}

} // namespace
} // namespace vorax::test
