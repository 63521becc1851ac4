// Every operation, computed or not, reads all of its records by its own layout, so that every
// operation after it reads its own data: whole decks per family of operations, the layouts'
// counts, options and name lists, and the reader's stops inside them.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>

namespace vorax::test {
namespace {

const std::string lattice = "KQ = 1.2\n"
                            "D: DRIFT, L=1.0\n"
                            "QF: QUADRUPOLE, L=0.5, K1=KQ\n"
                            "QD: QUADRUPOLE, L=0.5, K1=-KQ\n"
                            "CELL: LINE=(QF,D,QD,D)\n"
                            "USE, CELL\n";

const std::string not_available = " IS NOT AVAILABLE IN THIS VERSION; ITS DATA ARE SKIPPED";

// The operations, then a matrix operation that ends the stream, then the lattice language.
DeckRun run_operations(const std::string &operations) {
  return run_deck(lattice + "VORAX\n" + operations + "MATRIX\n 1 -1;\nSTOP\n");
}

// Each operation said once that it is not available, and the matrix operation after them ran.
void expect_in_step(const DeckRun &r, std::initializer_list<const char *> names) {
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, not_available), static_cast<int>(names.size()));
  for (const char *n : names) {
    const auto times = std::count_if(names.begin(), names.end(),
                                     [&](const char *m) { return std::string(m) == n; });
    EXPECT_EQ(count_of(r.listing, std::string(" OPERATION ") + n + not_available), times) << n;
  }
  EXPECT_EQ(count_of(r.listing, "FIRST ORDER MATRIX"), 1);
}

TEST(StreamInStep, OpticsOperations) {
  expect_in_step(run_operations("MOVE\n"
                                " 0 0 0 1 3 2 1E-4 0 0 0 0 0\n"
                                " -0.001 0 0.001\n"
                                " 0 0 1 0 1 0 0\n"
                                "MODI\n"
                                " 2\n"
                                " QF K1 1.3\n"
                                " QDLONGNAME K1\n"
                                " -1.3\n"
                                "TUNE\n"
                                " 0 QF K1\n"
                                " 0.25 0.1\n"
                                "BEAM\n"
                                " 1E-3 0 0 0 0 0 1E-4 0 0 0 0 1E-3 0 0 0 1E-4 0 0 1E-3 0 1E-4 -2,\n"
                                "GENE\n"
                                " 3 10 10 10 10 10 10 1 4\n"
                                " 0 0 0 0 0 0,\n"),
                 {});
}

TEST(StreamInStep, TrackingOperations) {
  // Every tracking operation is computed now: each reads its own records, and the matrix
  // operation after them still finds its data (RMAT prints its matrix over the interval too).
  const DeckRun r = run_operations("TRAC\n"
                                   " -1 0 2 10\n"
                                   " 0.001 0 0 0 0 0\n"
                                   " 0 0 0.001 0 0 0\n"
                                   " 1 1 4,\n"
                                   "BLOC\n"
                                   " 0 0\n"
                                   " QF QD\n"
                                   " 1E-4 0 0 0 0 0 0\n"
                                   " 99\n"
                                   "RMAT\n"
                                   " 0 0 0 0 0 0 1E-6 1E-6 1E-6 1E-6 1E-6 1E-6\n"
                                   " 0 1 1 4,\n"
                                   "SYNC\n"
                                   " 3.0 3 1\n"
                                   "SPAC\n"
                                   " 1 1E-3 0.1 0.1,\n"
                                   "SEIS\n"
                                   " 100 1E-6 0 100 1E-6 90\n"
                                   " QF\n"
                                   " QD\n"
                                   "ADIA\n"
                                   " QF\n"
                                   " K1 1\n"
                                   " 1 100 1.2 1.3\n"
                                   " QD K1 2 1 100 -1.2 0.01 50 0\n"
                                   " D\n"
                                   " L 3\n"
                                   " 2\n"
                                   " 1 1.0 100 1.1\n"
                                   " 99\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, not_available), 0);
  EXPECT_EQ(count_of(r.listing, " AFTER ELEMENT :     4=D"), 1);
  EXPECT_EQ(count_of(r.listing, "FIRST ORDER MATRIX"), 2);
}

TEST(StreamInStep, TrackingRecordsFollowTheParticleCountAndTheOptions) {
  // Appended particles (M < 0) have their records and a last record.
  expect_in_step(run_operations("TRAC\n -1 -2 -2 5\n 0 0 0 0 0 0\n 0 0 0 0 0 1E-3\n 0,\n"), {});
  // Continuing (M = 0) with neither plot (P <= -1) nor print (<= -2): no last record, so the
  // next line is already the next operation.
  expect_in_step(run_operations("TRAC\n -1 -2 1 5\n 0 0 0 0 0 0\n 0,\n"
                                "TRAC\n -1 -2 0 5\nTRAC\n -2.5 -3 0 5\n"),
                 {});
  // Any one of the three otherwise reads the last record.
  expect_in_step(run_operations("TRAC\n -1 -2 1 5\n 0 0 0 0 0 0\n 0,\n"
                                "TRAC\n 0 -2 0 5\n 0,\n"
                                "TRAC\n -1 -1 0 5\n 0,\n"),
                 {});
  // A ";" among the particle records ends the data: the particles read are tracked and nothing
  // after it is read as a record.
  const DeckRun r = run_deck(lattice + "VORAX\nTRAC\n -1 -1 3 5\n 0 0 0 0 0 0;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, " PARTICLE POSITIONS AFTER ELEMENT     4(D       )DURING TURN"
                                "       5"),
            1);
  // A particle record with too few coordinates stops the run in the reader.
  const DeckRun short_record = run_operations("TRAC\n -1 -2 1 5\n 0 0 0 0 0,\n 0,\n");
  EXPECT_EQ(short_record.status, 1);
  EXPECT_TRUE(contains(short_record.listing, "   ERROR--  6 ELEMENTS WERE NOT FOUND"));
}

TEST(StreamInStep, ErrorOperations) {
  const DeckRun errors = run_operations("SEED\n"
                                        " 7\n"
                                        "MISA\n"
                                        " QF\n"
                                        " 1E-4 0 1E-4 0 0 0 0 1,\n"
                                        " QD 1E-4 0 0 0 0 0 0 1,\n"
                                        " 99\n"
                                        "ERRO\n"
                                        " QF\n"
                                        " K1 0.01 L 0.001,\n"
                                        " QD,\n"
                                        " K1 0.02\n"
                                        " L 0.001,\n"
                                        " 99\n"
                                        "SETM\n"
                                        " 13 2\n"
                                        " QF 0\n"
                                        " QD 2\n"
                                        " 1 2 3 4\n"
                                        "SETE\n"
                                        " 3 2\n"
                                        " QF -1\n"
                                        " QD 1 2 2\n"
                                        "SHOM\n"
                                        " -1\n"
                                        "SHOE\n");
  expect_in_step(errors, {});
  EXPECT_TRUE(contains(errors.listing, " TOTAL NUMBER OF MISALIGNED ELEMENTS :    2"));
  EXPECT_TRUE(contains(errors.listing, " THE MISALIGNMENTS OF     2 POSITIONS ARE SAVED"));
  // A misalignment record takes at most 8 values.
  const DeckRun r = run_operations("MISA\n QF 1 2 3 4 5 6 7 8 9,\n 99\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing, "    9 ELEMENTS READ IN: EXEEDS ARRAY SIZE    8"));
}

// The correction operations are computed: their records, option and name lists included, are
// read to their ends, and the operation after them reads its own data.
TEST(StreamInStep, CorrectionOperations) {
  expect_in_step(run_operations("CORR\n"
                                " QF\n"
                                " 1 4,\n"
                                " QD 1 2 3 4,\n"
                                " 99\n"
                                "SETC\n"
                                " QF 1 3 1E-4 0 0 0\n"
                                " QD 3 3 0 0 0 0\n"
                                " 99\n"
                                "CHAN\n"
                                " 2\n"
                                " QF 1.0 2\n"
                                " QF 0 1 1E-4 0\n"
                                " QD 2 1 1E-4 0\n"
                                " QD 0.5 0\n"
                                "SHOC\n"
                                " 3\n"
                                " QF\n"
                                "READ\n"
                                " 1\n"
                                " Q*\n"
                                " QF QD\n"
                                "ALIG\n"
                                " 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
                                " 0 0 1\n"
                                " 1E-3 0 0 0 0 0\n"
                                " 99\n"
                                "REFE\n"
                                " 11,\n"),
                 {});
}

TEST(StreamInStep, CountsOfZeroAndListsEndedAtOnce) {
  expect_in_step(run_operations("MOVE\n 0 0 0 1 0 0 1E-4 0 0 0 0 0\n 0 0 0 0 0 0 0\n"
                                "MODI\n 0\n"
                                "CHAN\n 0\n"
                                "SETM\n 0 0\n"
                                "SETE\n 0 0\n"
                                "READ\n 0\n"
                                "ALIG\n 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n 99\n"
                                "MISA\n 99\n"
                                "ERRO\n 99\n"
                                "CORR\n 99\n"
                                "SETC\n 99\n"
                                "BLOC\n 0 0\n 99\n"
                                "ADIA\n QF K1 3\n 0\n 99\n"),
                 {});
  // The "99" that ends a list may end the operation stream too, and a ";" inside a list ends
  // the list with the stream.
  for (const char *data : {"SETC\n 99;\n", "MISA\n QF 1 0 0 0 0 0 0 1;\n", "ERRO\n QF K1 0.1;\n",
                           "ADIA\n QF K1 1 1 10 0 1;\n"}) {
    const DeckRun r = run_deck(lattice + "VORAX\n" + data + "STOP\n");
    EXPECT_EQ(r.status, 0) << data << r.terminal;
    EXPECT_EQ(count_of(r.listing, not_available), 0) << data;
  }
  // A slow change of type 3 takes at most 99 points.
  const DeckRun r = run_operations("ADIA\n QF K1 3\n 100\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing, " too many parameters in the adiabatic option 3 ."));
  EXPECT_TRUE(contains(r.listing, "  Maximum is :    99"));
  EXPECT_TRUE(contains(r.terminal, "13"));
}

TEST(StreamInStep, OutputOperations) {
  // The ranges of LAYO may go on on the next line; CADO takes exactly its two values.
  DeckRun r = run_operations("LAYO\n 0 0 0 0 0 0 0 1 1\n 1 4,\nCADO\n 1 1\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, "THE SXYZ COORDINATES"), 1);
  EXPECT_EQ(count_of(r.listing, "FIRST ORDER MATRIX"), 1);
  // A ";" after the drawing values ends the stream as after any operation.
  r = run_deck(lattice + "VORAX\nCADO\n 1 1;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  // COSY has no data and ends the run, so it may be the last line of a deck.
  r = run_deck(lattice + "VORAX\nMATRIX\n 1 -1,\nCOSY\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, "FIRST ORDER MATRIX"));
  EXPECT_TRUE(contains(r.listing, "\n procedure mach ;\n"));
}

TEST(StreamInStep, NamesInOperationDataAreCutToEightCharacters) {
  const DeckRun r = run_deck("QFLONGNAME: QUADRUPOLE, L=0.5, K1=1.2\n"
                             "D: DRIFT, L=1.0\n"
                             "CELL: LINE=(QFLONGNAME,D)\n"
                             "USE, CELL\n"
                             "VORAX\n"
                             "SETL\n"
                             " QFLONGNAME K1 0 2 0.1 0, 99\n"
                             "MATRIX\n 1 -1;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, " LIMIT  1 : QFLONGNA K1       SLOT   2"));
  EXPECT_TRUE(contains(r.listing, "FIRST ORDER MATRIX"));
}

} // namespace
} // namespace vorax::test
