// The terminal beside the listing: the warnings of decks that run but may not do what was
// meant, the closing count, the capped floods of losses and errors, the tracking summary and
// progress, the error line of every operation-data stop, and lower-case file names.
#include "harness.h"

#include "common/terminal_progress.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include <string>

namespace vorax::test {
namespace {

const std::string RING = "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\n"
                         "QD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
                         "D: DRIFT, L = 2.0\n"
                         "C: RCOLLIMATOR, L = 0, XSIZE = 2E-3, YSIZE = 1\n"
                         "CELL: LINE = (QF, D, C, QD, D)\n"
                         "RING: LINE = (8*CELL)\n"
                         "USE, RING\n"
                         "VORAX\n"; // line 8

// A TRAC of n particles on the x axis, 1e-4 m apart, for the given turns.
std::string tracking(int particles, int turns) {
  std::string deck =
      RING + "TRACK\n -1 -1 " + std::to_string(particles) + " " + std::to_string(turns) + "\n";
  for (int i = 1; i <= particles; ++i)
    deck += " " + std::to_string(1e-4 * i) + " 0 0 0 0 0\n";
  return deck + " 0;\nSTOP\n";
}

int warnings_in(const std::string &terminal) {
  return count_of(terminal, ": warning: ");
}

TEST(Terminal, EachDeckThatMayNotDoWhatWasMeantIsWarnedOnceWithItsLine) {
  struct Case {
    std::string deck, warning;
  };
  const std::string long_line = "D: DRIFT, L = 2.0" + std::string(63, ' ') + "E-3\n";
  const Case cases[] = {
      {"QF: QUADRUPOLE, L = 0.5, K1 = KF\nQD: QUADRUPOLE, L = 0.5, K1 = -KF\n"
       "CELL: LINE = (QF, QD)\nUSE, CELL\nVORAX\nMATRIX\n 1 -1;\nSTOP\n",
       "deck:1: warning: parameter KF is used but never defined: its value is 0"},
      {long_line + "STOP\n", "deck:1: warning: text beyond column 80 is ignored: \"E-3\""},
      {RING + "MATRIX\n 1" + std::string(68, ' ') + "-1E-3;\nSTOP\n",
       "deck:10: warning: text beyond column 72 of operation data is ignored: \"E-3;\""},
      {"QF: QUADRUPOLE, L = 0.5, K1 = 5.9\nD: DRIFT, L = 2.0\nCELL: LINE = (QF, D)\n"
       "USE, CELL\nVORAX\nMACHINE\n 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0;\nSTOP\n",
       "deck:6: warning: MACH not performed"},
      {RING + "SIMP\n 0 1 2\nQF K1 0.001\nQD K1 0.001\n 2 0.60 12 0.40\n 0 ;\nSTOP\n",
       "deck:9: warning: SIMP ended after 1 iteration with 2 of 2 targets unmet: code 2 is"},
      {RING + "CONS\n 8 1,\nLEAS\n 1 1 2 2 0 0 0 0 0 0 0 0\nQF K1 0\nQD K1 0\n 2 0.70 1\n"
              " 12 0.20 1\n 0 ;\nSTOP\n",
       "deck:11: warning: LEAS ended on its call limit"},
      {RING + "LEAS\n 1 3 2 2 0 0 0 0 0 0 0 0\nQF K1 0\nQD K1 0\n 2 1.60 1\n 12 0.45 1\n"
              " 0 ;\nSTOP\n",
       "deck:9: warning: LEAS: the target 1.6 of code 2 (nu x) is a total tune"},
      {RING + "MATRIX\n 1 -1,\n 0;\nSTOP\n",
       "deck:11: warning: \"0;\" looks like data but is read as an operation name: the data of "
       "MATR had ended before this line"},
      {RING + "ERRO\nC XSIZE 1E-3,\n99\nOUTP\n 3;\nSTOP\n",
       "deck:10: warning: the field error on C XSIZE changes nothing: tracking applies no field "
       "errors to collimators"},
      {RING + "ERRO\nQF APERTURE 1E-3 K1 1E-3,\n99\nOUTP\n 3;\nSTOP\n",
       "deck:10: warning: the field error on QF APERTURE changes nothing: tracking does not use "
       "a magnet's APERTURE"},
  };
  for (const Case &c : cases) {
    const DeckRun run = run_deck(c.deck);
    EXPECT_TRUE(contains(run.terminal, c.warning)) << c.deck << "\n" << run.terminal;
    EXPECT_EQ(warnings_in(run.terminal), 1) << c.deck << "\n" << run.terminal;
    // A warning never reaches the listing or the log.
    EXPECT_FALSE(contains(run.listing + run.log, c.warning.substr(c.warning.find("warning:"))));
    // The closing line counts it, and a warning alone leaves the exit status as it was.
    if (run.status == 0) {
      EXPECT_TRUE(contains(run.terminal, "vorax: no errors, 1 warning\n")) << run.terminal;
    }
  }
}

TEST(Terminal, ACleanDeckHasNoWarningAndNoClosingLine) {
  const DeckRun run = run_deck(RING + "SIMP\n 0 6 2\nQF K1 0.001\nQD K1 0.001\n"
                                      " 2 0.60 12 0.40\n 0 ;\nSTOP\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.terminal, "");
}

TEST(Terminal, ALongListOfLossesIsCappedAndEveryTrackingRunIsSummarised) {
  const DeckRun run = run_deck(tracking(40, 50));
  EXPECT_EQ(run.status, 0);
  // The listing keeps every loss, the terminal the first ten and a count of the rest.
  const int lost = count_of(run.listing, "IS LOST BEFORE ELEMENT");
  ASSERT_GT(lost, 20);
  EXPECT_EQ(count_of(run.terminal, "IS LOST BEFORE ELEMENT"), 10);
  EXPECT_TRUE(contains(run.terminal,
                       "... and " + std::to_string(lost - 10) + " more losses: see the listing\n"));
  // The first loss is the first the listing tells.
  const int first = static_cast<int>(number_after(run.listing, "IS LOST BEFORE ELEMENT"));
  EXPECT_TRUE(contains(run.terminal, "TRAC: 40 particles tracked, " + std::to_string(lost) +
                                         " lost, " + std::to_string(40 - lost) +
                                         " surviving; 50 turns done; first loss in turn 1 at "
                                         "position " +
                                         std::to_string(first) + " (C)\n"))
      << run.terminal;
}

TEST(Terminal, AnErrorFloodShowsItsFirstHundredLinesAndCountsTheRest) {
  std::string deck;
  for (int i = 0; i < 130; ++i)
    deck += "= =\n";
  const DeckRun run = run_deck(deck + "STOP\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(count_of(run.terminal, ": error: "), 100);
  EXPECT_TRUE(contains(run.terminal, "vorax: 30 more errors not shown here (the first 100 are)"))
      << run.terminal;
  EXPECT_EQ(count_of(run.log, "*** ERROR ***"), 130);
}

TEST(Terminal, EveryStopOnOperationDataHasItsErrorLine) {
  // Unknown elements and parameters of a fit, and a stop whose message is written elsewhere.
  const std::pair<std::string, std::string> cases[] = {
      {"QX K1 0.001\nQD K1 0.001\n", "deck:11: error: ELEMENT NAME DID NOT MATCH MACHINE ELEMENT "
                                     "LIST QX\n"},
      {"QF K9 0.001\nQD K1 0.001\n", "deck:11: error: NO SUCH PARAMETER NAME, K9\n"},
  };
  for (const auto &[records, line] : cases) {
    const DeckRun run = run_deck(RING + "SIMP\n 0 1 2\n" + records + " 2 0.6 12 0.4\n 0 ;\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.terminal, line)) << run.terminal;
    EXPECT_EQ(count_of(run.terminal, ": error: "), 1) << run.terminal;
  }
}

TEST(Terminal, ProgressElsewhereThanOnAScreenIsAFewFixedLines) {
  // 25 particles over 40 positions for 1000 turns: a million passes, a long run.
  const DeckRun run = run_deck(tracking(25, 1000));
  EXPECT_EQ(count_of(run.terminal, "TRAC: turn "), 19) << run.terminal;
  EXPECT_TRUE(contains(run.terminal, "TRAC: turn 50 of 1000 (5%), 25 of 25 particles alive\n"));
  EXPECT_FALSE(contains(run.terminal, "\r"));
  // A short run says nothing of its progress.
  EXPECT_FALSE(contains(run_deck(tracking(2, 100)).terminal, "TRAC: turn "));
}

TEST(Terminal, OnAScreenTheProgressIsOneLineRedrawnInPlace) {
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(slave, STDERR_FILENO);
  ProgressTiming &timing = progress_timing();
  const ProgressTiming kept = timing;
  timing = {0.0, 0.0}; // drawn at every look
  const DeckRun run = run_deck_with_results(tracking(4, 200), {false, false});
  timing = kept;
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  ::close(slave);
  ::close(master);
  EXPECT_EQ(count_of(run.terminal, "\r\033[KTRAC: turn "), count_of(run.terminal, "TRAC: turn "));
  EXPECT_GT(count_of(run.terminal, "TRAC: turn "), 1);
  // The last drawing shows the end, and the summary starts on a line of its own.
  EXPECT_TRUE(contains(run.terminal, "TRAC: turn 200 of 200 (100%), 4 of 4 particles alive, "));
  EXPECT_TRUE(contains(run.terminal, " left\nTRAC: 4 particles tracked")) << run.terminal;
}

TEST(Terminal, AFileOpenedUnderItsLowerCaseNameIsRead) {
  const DeckRun run = run_deck("OPEN, 21\nsub.dat\n", "CALL, 21\nSTOP\n",
                               {{"sub.dat", "DX: DRIFT, L = 1\nRETURN\n"}});
  EXPECT_EQ(run.status, 0) << run.terminal;
  EXPECT_TRUE(contains(run.log, "SUCCESSFUL TO OPEN FILE:sub.dat"));
  EXPECT_TRUE(contains(run.listing, "DX: DRIFT, L = 1"));
  // Without such a file the name is the upper-cased one, as always.
  const DeckRun classic = run_deck("OPEN, 21\nother.dat\n", "STOP\n");
  EXPECT_TRUE(contains(classic.log, "SUCCESSFUL TO OPEN FILE:OTHER.DAT"));
}

} // namespace
} // namespace vorax::test
