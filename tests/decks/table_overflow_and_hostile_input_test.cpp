// Decks that push the front end to its limits: full tables stop cleanly with their overflow
// message and stop code, and no input (random bytes, long lines, deep nesting) crashes or hangs.
#include "harness.h"
#include "input/elements.h"
#include "input/parameters.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace vorax;
using namespace vorax::test;

TEST(FrontRobustness, ParameterSpaceOverflowStopsWithCode9) {
  // Each line X = 1+1+...+1 (35 terms) takes 35 constants and 34 sums, one of which becomes X.
  std::string deck;
  for (int i = 1; i <= 300; ++i) {
    deck += "X" + std::to_string(i) + " = 1";
    for (int k = 1; k < 35; ++k)
      deck += "+1";
    deck += "\n";
  }
  deck += "D: DRIFT\n";
  const DeckRun r = run_deck(deck);
  EXPECT_TRUE(contains(r.log, "0*** ERROR STOP *** PARAMETER SPACE OVERFLOW\n"
                              "                    THIS VERSION OF \"LDF\" ACCEPTS     19000 "
                              "ENTRIES\n"));
  EXPECT_TRUE(
      contains(r.listing, "  HALTING WITH ERROR NUMBER :      9  AND ERROR : ARRSIZE MAXPAR"));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.terminal, ": error: PARAMETER SPACE OVERFLOW: THIS VERSION ACCEPTS "
                                   "19000 ENTRIES\nvorax: run stopped with error number 9: "
                                   "ARRSIZE MAXPAR; see the message log FOR009.DAT\n"));
  EXPECT_EQ(pardat.low_count + (MAXPAR + 1 - pardat.high_mark), MAXPAR); // every node in use
  EXPECT_FALSE(contains(r.log, "NUMBER OF FATAL ERRORS"));               // no summary after a stop
}

TEST(FrontRobustness, ElementSpaceOverflowStopsWithCode5) {
  std::string deck;
  for (int i = 1; i <= MAXELM + 1; ++i)
    deck += "M" + std::to_string(i) + ": MARKER\n";
  const DeckRun r = run_deck(deck);
  EXPECT_TRUE(contains(r.log, "0*** ERROR STOP *** ELEMENT SPACE OVERFLOW"));
  EXPECT_TRUE(contains(r.log, "ACCEPTS      5000 ENTRIES"));
  EXPECT_TRUE(contains(r.listing, "ERROR NUMBER :      5  AND ERROR : ARRSIZE MAXELM"));
  EXPECT_EQ(elmdat.low_count, MAXELM);
  EXPECT_EQ(r.status, 1);
}

TEST(FrontRobustness, DeepNestingIsASyntaxErrorOfTheCommand) {
  const std::string open(60, '('), close(60, ')');
  const DeckRun r = run_deck("X = " + open + "1" + close + "\nY = 2\n");
  EXPECT_TRUE(contains(r.log, " *** ERROR *** EXPRESSION TOO COMPLEX --- MORE THAN 50 PENDING "
                              "OPERATORS OR OPERANDS"));
  EXPECT_EQ(count_of(r.log, "*** ERROR ***"), 1);
  EXPECT_EQ(r.status, 1);
  // 35 levels are within the stack and parse normally.
  const std::string open35(35, '('), close35(35, ')');
  const DeckRun ok = run_deck("X = " + open35 + "-1" + close35 + "\n");
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.log.find("ERROR"), std::string::npos);
}

TEST(FrontRobustness, LongLinesAndUnbalancedBracketsEndCleanly) {
  const std::string long_line = "Q1: DRIFT, L=1" + std::string(486, 'X');
  DeckRun r = run_deck(long_line + "\n");
  EXPECT_EQ(r.status, 1); // the line is cut at 80 columns: L=1XXX... is not a number
  r = run_deck("X = ((1+2)\nY = 1+2))\nPARAMETER, Q[L = 3\nZ = Q[L\nW = SQRT(2\nV = [\n");
  EXPECT_TRUE(contains(r.log, "*** ERROR *** RIGHT PARENTHESIS MISSING"));
  EXPECT_TRUE(contains(r.log, "*** ERROR *** UNBALANCED RIGHT PARENTHESIS"));
  EXPECT_TRUE(contains(r.log, "*** ERROR *** UNKNOWN BEAM ELEMENT \"Q\""));
  EXPECT_TRUE(contains(r.log, " * NUMBER OF FATAL ERRORS     =     6 *"));
  EXPECT_EQ(r.status, 1);
}

TEST(FrontRobustness, RandomDecksNeverCrashOrHang) {
  // Tokens of the language mixed with arbitrary bytes; '/' and '\n' inside OPEN file names
  // are left out so that the runs write nothing outside their own directory.
  const char *tokens[] = {"QUADRUPO", "DRIFT",    "SBEND",     "MULTIPOL", "MATRIX",
                          "LINE",     "USE",      "PARAMETER", "CALL",     "RETURN",
                          "OPEN",     "CLOSE",    "TITLE",     "DUMP",     "ECHO",
                          "NOECHO",   "UMERIDOX", "COSY",      "L",        "K1",
                          "TILT",     "T5",       "TYPE",      "LABEL",    "SQRT",
                          "LOG",      "Q1",       "A",         "B",        ":",
                          "=",        ":=",       "(",         ")",        "[",
                          "]",        ",",        ";",         "&",        "!",
                          "*",        "+",        "-",         "/",        "\"",
                          "1",        "2.5",      "1E3",       "1.2.3",    "9999999999999",
                          " ",        "  ",       "@",         "'"};
  std::mt19937 gen(20240611u);
  auto pick = [&](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
  const int ntokens = static_cast<int>(sizeof tokens / sizeof tokens[0]);
  for (int run = 0; run < 150; ++run) {
    std::string deck, input;
    for (std::string *text : {&deck, &input}) {
      const int lines = 1 + pick(25);
      for (int l = 0; l < lines; ++l) {
        const int items = pick(30);
        for (int i = 0; i < items; ++i) {
          if (pick(8) == 0) {
            const char c = static_cast<char>(1 + pick(255));
            if (c != '\n' && c != '/') {
              *text += c;
            }
          } else {
            *text += tokens[pick(ntokens)];
          }
        }
        *text += '\n';
      }
    }
    const DeckRun r = run_deck(deck, input);
    ASSERT_TRUE(r.status == 0 || r.status == 1) << deck;
    if (r.status == 1) {
      EXPECT_FALSE(r.terminal.empty()) << deck;
    }
  }
}
