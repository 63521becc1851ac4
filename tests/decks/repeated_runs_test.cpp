// Whole decks through the engine: repeated runs, NEWBEAMO, the ends of the operation stream.
#include "harness.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "engine/lookup.h"

#include <gtest/gtest.h>

namespace vorax::test {
namespace {

const std::string lattice = "KQ = 1.2\n"
                            "D: DRIFT, L=1.0\n"
                            "QF: QUADRUPOLE, L=0.5, K1=KQ\n"
                            "QD: QUADRUPOLE, L=0.5, K1=-KQ\n"
                            "CELL: LINE=(QF,D,QD,D)\n"
                            "USE, CELL\n";

const std::string banner = "* VORAX PROGRAM : LAST MODIFIED ON MAY      20, 1991 ***";

double qf_strength() {
  return inputt.slot(elid(Name8("QF")), 2);
}

TEST(EngineRuns, TwoRunsWithAParameterChangeInBetween) {
  const DeckRun r = run_deck("TITLE\nFODO TEST\n" + lattice +
                             "VORAX\n"
                             "cons\n 1 3.0,\n"
                             "* a comment between operations\n"
                             "\n"
                             "SHOV\n"
                             "OUTP\n 3 ;\n"
                             "KQ = 2.5\n"
                             "VORAX\n"
                             "SHOV\n"
                             "OUTP\n 2;\n"
                             "STOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, banner), 2);
  EXPECT_EQ(count_of(r.listing, " TOTAL LENGTH OF MACHINE IS:     3.000 METERS"), 2);
  EXPECT_EQ(count_of(r.listing, "     4 ELEMENTS IN MACHINE.MAX IS MAXPOS : 10000"), 2);
  EXPECT_TRUE(contains(r.listing, "   * A COMMENT BETWEEN OPERATIONS"));
  // The first run changed pi; the fresh second run starts from the defaults again.
  EXPECT_EQ(count_of(r.listing, "                 PI    =  3.0000000000000000"), 2);
  EXPECT_EQ(count_of(r.listing, "                 PI    =  3.1415926535897931"), 1);
  EXPECT_EQ(qf_strength(), 2.5);
  // The engine's echo of its operations goes to the message log, in the file named from the
  // title.
  EXPECT_EQ(r.files.count("FODO_T.ech"), 1u);
  EXPECT_TRUE(contains(r.log, "\n   CONS\n  1 3.0,\n"));
}

TEST(EngineRuns, NewbeamoKeepsElementDataAndSettings) {
  const DeckRun r = run_deck(lattice + "VORAX\n"
                                       "OUTP\n 1;\n"
                                       "KQ = 2.5\n"
                                       "NEWBEAMO\n"
                                       "SHOV\n"
                                       "OUTP\n 3;\n"
                                       "STOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, banner), 1);
  EXPECT_EQ(qf_strength(), 1.2);
  // The print level 1 of the first run still holds: no length line, no headings.
  EXPECT_EQ(count_of(r.listing, " TOTAL LENGTH OF MACHINE IS:"), 1);
  EXPECT_EQ(count_of(r.listing, " OPERATION LIST ,"), 1);
  EXPECT_EQ(count_of(r.listing, " IN THIS RUN THERE ARE :"), 2);
  EXPECT_TRUE(contains(r.listing, "\n   SHOV\n"));
  EXPECT_TRUE(contains(r.listing, "  THE PARTICLE IS      : ELECTRON"));
}

TEST(EngineRuns, CosyEndsTheRunAsStopWould) {
  const DeckRun r = run_deck(lattice + "VORAX\nCOSY\n 1;\nTHIS IS NOT READ\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, "\n endprocedure ;\n"));
  EXPECT_FALSE(contains(r.log, "THIS IS NOT READ"));
  EXPECT_EQ(r.terminal, "");
}

TEST(EngineRuns, EndsOfTheInputInsideTheOperationStream) {
  // Waiting for an operation: back to the command loop, which ends the run normally.
  DeckRun r = run_deck(lattice + "VORAX\nOUTP\n 3,\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  // Waiting for data: the operation cannot complete.
  r = run_deck(lattice + "VORAX\nCONS\n 1 3.0\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing, "   END OF INPUT WHILE READING OPERATION DATA"));
  EXPECT_TRUE(
      contains(r.listing, "  HALTING WITH ERROR NUMBER :    272  AND ERROR : INPUT:BAD FORMAT"));
  EXPECT_TRUE(contains(r.terminal, "272"));
}

TEST(EngineRuns, UnknownOperationStopsTheRun) {
  const DeckRun r = run_deck(lattice + "VORAX\nMATCH 1 2\nSTOP\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing, "   ERROR IN OPERATION NAME : MATCH 1 2  : JOB STOPPED"));
  EXPECT_TRUE(
      contains(r.listing, "  HALTING WITH ERROR NUMBER :    280  AND ERROR : OPER:BAD OPER NAME"));
}

TEST(EngineRuns, FrontEndLineNumbersCountTheOperationLines) {
  // Lines 1..6 lattice, 7 VORAX, 8 and 9 an operation, 10 the faulty command.
  const DeckRun r = run_deck(lattice + "VORAX\nOUTP\n 3;\nQX: QUADRUPOLE L=1\nSTOP\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.log, "* LINE   10 * QX: QUADRUPOLE L=1")) << r.log;
}

} // namespace
} // namespace vorax::test
