// Whole decks for LINE, USE and EXPLODE: expansion results, the messages of every failure with
// the summary box and exit status, and the limit of the machine sequence.
#include "harness.h"

#include "input/beam_lines.h"

#include <gtest/gtest.h>

#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

const char *const ELEMENTS = "D: DRIFT, L = 1\n"
                             "Q: QUADRUPO, L = 0.5, K1 = 1.2\n"
                             "A: DRIFT, L = 0.1\n"
                             "B: DRIFT, L = 0.2\n";

std::string right6(int n) {
  std::string s = std::to_string(n);
  return std::string(6 - s.size(), ' ') + s;
}
std::string summary(int warnings, int errors) {
  return " * NUMBER OF WARNING MESSAGES =" + right6(warnings) + " *\n" +
         " * NUMBER OF FATAL ERRORS     =" + right6(errors) + " *";
}

// A deck that ends after one erroneous command: scan mode, the box, the normal-end stop.
void expect_failed_run(const DeckRun &run, int warnings, int errors) {
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.log, "0... ENTER SCANNING MODE")) << run.log;
  EXPECT_TRUE(contains(run.log, summary(warnings, errors))) << run.log;
  EXPECT_TRUE(
      contains(run.listing, "HALTING WITH ERROR NUMBER :    101  AND ERROR : LDFIN NORMAL END"));
}

TEST(LinesDeck, RepetitionAndReflectionExpandAndExplode) {
  const DeckRun run = run_deck(std::string(ELEMENTS) + "L: LINE = (D, 2*Q, -(A, B))\n"
                                                       "USE, L\n"
                                                       "EXPLODE\n"
                                                       "STOP\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(contains(run.log, "0... BEAM LINE \"L\" EXPANDED:         5 ELEMENTS,         7 "
                                "POSITIONS\n"));
  EXPECT_TRUE(contains(run.log, "... END OF \"USE\" COMMAND, ELAPSED CPU TIME = "));
  EXPECT_TRUE(contains(run.log, " SECONDS\n"));
  EXPECT_TRUE(contains(run.listing, "\n @L\n       D        Q        Q        B        A\n *L\n"))
      << run.listing;
  EXPECT_FALSE(contains(run.log, "NUMBER OF"));
  EXPECT_EQ(period.value(4), 5);
  EXPECT_EQ(period.value(5), 7);
  EXPECT_EQ(flags.value(5), 1);
  EXPECT_EQ(seqflg.value(1), 1);
  EXPECT_EQ(seqflg.value(7), 1);
  for (int p = 2; p <= 6; ++p)
    EXPECT_EQ(seqflg.value(p), 0);
}

TEST(LinesDeck, ZeroAndNegativeCountsNestedLinesAndBothCommandForms) {
  const DeckRun run = run_deck(std::string(ELEMENTS) + "LINE, P = (A, B)\n"
                                                       "L: line = (0*Q, -3*(A, B), -2*P)\n"
                                                       "USE, L\n"
                                                       "EXPLODE\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(contains(run.log, "EXPANDED:        10 ELEMENTS,        16 POSITIONS"));
  EXPECT_TRUE(contains(run.listing, " @L\n       B        A        B        A        B        A\n"
                                    "   @P\n         B        A\n   *P\n"
                                    "   @P\n         B        A\n   *P\n *L\n"))
      << run.listing;
}

TEST(LinesDeck, FormalArgumentsBindInOrderAcrossLines) {
  const DeckRun run = run_deck("Q1: QUADRUPO, L = 1\n"
                               "D: DRIFT, L = 2\n"
                               "F(X, Y): LINE = (X, Y, X)\n"
                               "LINE, G(Z) = (F(-Z, D))\n"
                               "USE, F(Q1, 2*D)\n"
                               "EXPLODE\n"
                               "USE, G((Q1, D))\n"
                               "EXPLODE\n");
  EXPECT_EQ(run.status, 0) << run.log;
  EXPECT_TRUE(contains(run.listing, " @F\n       Q1       D        D        Q1\n *F\n"));
  EXPECT_TRUE(contains(run.listing, " @G\n   @F\n         D        Q1       D        D        Q1\n"
                                    "   *F\n *G\n"))
      << run.listing;
}

TEST(LinesDeck, ExpansionFailuresAreReportedAtUse) {
  {
    const DeckRun run = run_deck("A: DRIFT\nL: LINE = (A, L)\nUSE, L\n");
    EXPECT_TRUE(contains(run.log, "0*** ERROR *** THE BEAM LINE \"L\" REFERS TO ITSELF\n"));
    EXPECT_TRUE(contains(run.log, "0*** ERROR *** EXPANSION OF \"L\" FAILED\n"));
    expect_failed_run(run, 0, 2);
    EXPECT_EQ(flags.value(5), 0);
  }
  {
    // The undefined member is accepted by LINE and reported only when the line is expanded.
    const DeckRun run = run_deck("A: DRIFT\nL: LINE = (A, GHOST)\nEXPLODE\nUSE, L\n");
    const std::size_t use_at = run.log.find("USE, L");
    ASSERT_NE(use_at, std::string::npos);
    EXPECT_FALSE(contains(run.log.substr(0, use_at), "ERROR"));
    EXPECT_TRUE(contains(run.log, "0*** ERROR *** UNDEFINED ELEMENT \"GHOST\" ENCOUNTERED DURING "
                                  "EXPANSION\n"));
    expect_failed_run(run, 0, 2);
  }
  struct Case {
    const char *deck;
    const char *message;
  };
  const Case cases[] = {
      {"F(X): LINE = (X)\nUSE, F\n", "ACTUAL ARGUMENT LIST IS MISSING FOR LINE \"F\""},
      {"L: LINE = (A)\nUSE, L(A)\n", "ACTUAL ARGUMENT LIST IS REDUNDANT FOR LINE \"L\""},
      {"F(X, Y): LINE = (X, Y)\nUSE, F(A)\n", "TOO FEW ACTUAL ARGUMENTS FOUND FOR LINE \"F\""},
      {"F(X): LINE = (X)\nUSE, F(A, A)\n", "TOO MANY ACTUAL ARGUMENTS FOUND FOR LINE \"F\""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.deck);
    const DeckRun run = run_deck(std::string("A: DRIFT\n") + c.deck);
    EXPECT_TRUE(contains(run.log, std::string("0*** ERROR *** ") + c.message + "\n"));
    expect_failed_run(run, 0, 2);
  }
}

TEST(LinesDeck, SyntaxErrorsOfLineAndUse) {
  struct Case {
    const char *deck;
    const char *message;
    int errors;
  };
  const Case cases[] = {
      {"L: LINE = (A, , B)\n",
       " *** ERROR *** BEAM LINE MEMBER MUST BE BEAM ELEMENT NAME, BEAM LINE NAME, OR LIST IN "
       "\"()\"\n",
       1},
      {"L: LINE = (A, , (B, , C), D)\n", "BEAM LINE MEMBER MUST BE", 2},
      {"L: LINE = (A = B)\n", "ONE OF", 1},
      {"L: LINE = (2.5*A)\n", "REAL VALUE NOT PERMITTED", 1},
      {"L: LINE = (2 A)\n", "\"*\" EXPECTED", 1},
      {"L: LINE = A\n", "\"(\" EXPECTED", 1},
      {"F(X, X): LINE = (X)\n", " *** ERROR *** DUPLICATE FORMAL ARGUMENT \"X\"\n", 1},
      {"F(X, ): LINE = (X)\n", " *** ERROR *** FORMAL ARGUMENT NAME EXPECTED\n", 1},
      {"LINE, = (A)\n", " *** ERROR *** BEAM LINE NAME EXPECTED\n", 1},
      {"USE, NOPE\n", " *** ERROR *** UNKNOWN BEAM LINE NAME \"NOPE\"\n", 1},
      {"A: DRIFT\nUSE, A\n", " *** ERROR *** \"A\" IS NOT A BEAM LINE\n", 1},
      {"USE\n", "\",\" EXPECTED", 1},
      {"USE,\n", " *** ERROR *** BEAM LINE NAME EXPECTED\n", 1},
      {"A: DRIFT\nL: LINE = (A)\nUSE, L, FOO\n", "UNKNOWN PARAMETER KEYWORD \"FOO\"", 1},
      {"A: DRIFT\nL: LINE = (A)\nUSE, L(A, (B, ))\n", "BEAM LINE MEMBER MUST BE", 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.deck);
    const DeckRun run = run_deck(c.deck);
    EXPECT_TRUE(contains(run.log, c.message)) << run.log;
    EXPECT_EQ(count_of(run.log, "*** ERROR ***"), c.errors);
    expect_failed_run(run, 0, c.errors);
  }
}

TEST(LinesDeck, RedefinedLineWarnsAndTheLastDefinitionIsUsed) {
  const DeckRun run = run_deck(std::string(ELEMENTS) + "L: LINE = (A)\n"
                                                       "L: LINE = (B, -(A, D))\n"
                                                       "USE, L\n"
                                                       "EXPLODE\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(contains(run.log, " ** WARNING ** THE ABOVE NAME WAS DEFINED IN LINE     5, IT WILL "
                                "BE REDEFINED\n"));
  EXPECT_TRUE(contains(run.log, summary(1, 0)));
  EXPECT_TRUE(contains(run.listing, " @L\n       B        D        A\n *L\n"));
}

TEST(LinesDeck, SuperperiodsAndSymmetry) {
  run_deck("A: DRIFT\nL: LINE = (A)\nUSE, L, SUPER = 0\n");
  EXPECT_EQ(period.value(3), 1);
  EXPECT_EQ(flags.value(7), 0);
  run_deck("A: DRIFT\nL: LINE = (A)\nUSE, L, SYMM, SUPER = 4\n");
  EXPECT_EQ(period.value(3), 4);
  EXPECT_EQ(flags.value(7), 1);
  const DeckRun run = run_deck("A: DRIFT\nL: LINE = (A)\nUSE, L, SYMM, SUPER = 4\nUSE, L\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(period.value(3), 1);
  EXPECT_EQ(flags.value(7), 0);
}

TEST(LinesDeck, TheSequenceHoldsTenThousandPositionsAndNoMore) {
  const DeckRun full = run_deck("A: DRIFT, L = 1\nL: LINE = (9998*A)\nUSE, L\nEXPLODE\n");
  EXPECT_EQ(full.status, 0);
  EXPECT_TRUE(contains(full.log, "EXPANDED:      9998 ELEMENTS,     10000 POSITIONS"));
  EXPECT_EQ(count_of(full.listing, "A        A        A        A        A        A        A        "
                                   "A        A\n"),
            1110); // 9998 names at nine a row: 1110 full rows and one of eight

  const DeckRun over = run_deck("A: DRIFT, L = 1\nC: LINE = (4999*A)\nL: LINE = (2*C)\nUSE, L\n");
  EXPECT_EQ(over.status, 1);
  EXPECT_TRUE(contains(over.log, "0*** ERROR STOP *** ELEMENT SEQUENCE OVERFLOW\n")) << over.log;
  EXPECT_TRUE(contains(over.log, "ACCEPTS     10000 ENTRIES"));
  EXPECT_TRUE(
      contains(over.listing, "HALTING WITH ERROR NUMBER :     11  AND ERROR : ARRSIZE SEQUENCE"));
  EXPECT_FALSE(contains(over.log, "EXPANDED"));
}

} // namespace
