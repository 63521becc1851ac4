// Whole decks through the command loop: command forms, end of input, CALL/RETURN/OPEN/CLOSE,
// TITLE, ECHO, the unit commands, scan mode, the summary box and the exit status.
#include "common/shared_areas.h"
#include "harness.h"
#include "input/command_loop.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

int element_kind(std::string_view name) {
  for (int i = 1; i <= elmdat.low_count; ++i)
    if (elmnam.name(i) == Name8(name))
      return elmdat.kind(i);
  return -99;
}

} // namespace

TEST(FrontCommands, EndOfDeckReturnsToStandardInputWhoseEndStops) {
  const DeckRun r = run_deck("D1: DRIFT, L=1\n", "D2: DRIFT, L=2\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.log, "0INPUT STREAM AND MESSAGE LOG:"));
  EXPECT_TRUE(contains(r.log, "0... READING STANDARD INPUT FILE"));
  EXPECT_EQ(element_kind("D1"), KW_DRIFT);
  EXPECT_EQ(element_kind("D2"), KW_DRIFT);
  EXPECT_EQ(r.terminal, "");
  EXPECT_FALSE(contains(r.log, "NUMBER OF")); // no summary box without messages
  EXPECT_FALSE(contains(r.listing, "HALTING"));
}

TEST(FrontCommands, LabelFormsAndCommandKeywords) {
  const DeckRun r = run_deck("A: DRIFT, L=1\n"
                             "DRIFT, B, L=2\n"
                             "X = 1\n"
                             "Y := 2\n"
                             "PARAMETER, Z = 3\n"
                             "PARAMETERS, W = 4\n"
                             "UMERIDOXAN\n"
                             "STOP\n"
                             "C: DRIFT\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(element_kind("A"), KW_DRIFT);
  EXPECT_EQ(element_kind("B"), KW_DRIFT);
  EXPECT_EQ(element_kind("C"), -99); // nothing is read after STOP
  EXPECT_EQ(pardat.low_count, 4);
  EXPECT_EQ(units.value, 2);
  EXPECT_EQ(r.log.find("WARNING"), std::string::npos);
}

TEST(FrontCommands, UnitCommandsAndNewbeamSpelling) {
  run_deck("ULDF\n");
  EXPECT_EQ(units.value, 1);
  run_deck("UMERIDOX\nUSTANDARD\n");
  EXPECT_EQ(units.value, 0);
  const DeckRun r = run_deck("NEWBEAM\n");
  EXPECT_EQ(newbm.value, 0); // seven letters do not select NEWBEAMO
  EXPECT_TRUE(contains(r.log, "*** ERROR *** \",\" EXPECTED"));
  run_deck("NEWBEAMOPTICS\n");
  EXPECT_EQ(newbm.value, 1);
}

TEST(FrontCommands, MissingKeywordsAreErrorsThatEnterScanMode) {
  const DeckRun r = run_deck(": DRIFT\nA:\nB: DRIFT, L=1\n");
  EXPECT_TRUE(contains(r.log, " *** ERROR *** COMMAND KEYWORD OR LABEL EXPECTED"));
  EXPECT_TRUE(contains(r.log, " *** ERROR *** COMMAND KEYWORD EXPECTED"));
  EXPECT_EQ(count_of(r.log, "0... ENTER SCANNING MODE"), 1); // entered once
  EXPECT_EQ(element_kind("B"), KW_DRIFT);                    // tables are still filled
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.log, " * NUMBER OF FATAL ERRORS     =     2 *"));
  EXPECT_TRUE(
      contains(r.listing, "  HALTING WITH ERROR NUMBER :    101  AND ERROR : LDFIN NORMAL END"));
  // Each error where editors find it, then the stop naming the log.
  EXPECT_EQ(r.terminal, "deck:1: error: COMMAND KEYWORD OR LABEL EXPECTED\n"
                        "deck:2: error: COMMAND KEYWORD EXPECTED\n"
                        "vorax: run stopped with error number 101: LDFIN NORMAL END (2 errors "
                        "found in the input); see the message log FOR009.DAT\n");
}

TEST(FrontCommands, VoraxInScanModeStopsBeforeTheEngine) {
  const DeckRun r = run_deck("X = 1 +\nVORAX\nD: DRIFT\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(
      contains(r.listing, "  HALTING WITH ERROR NUMBER :    103  AND ERROR : LDFIN SCAN STOP"));
  EXPECT_TRUE(contains(r.log, " * NUMBER OF FATAL ERRORS     =     1 *"));
  EXPECT_EQ(element_kind("D"), -99);
  EXPECT_TRUE(contains(r.terminal, "error number 103: LDFIN SCAN STOP"));
}

TEST(FrontCommands, CallNestsOnlyFromStandardInput) {
  const std::map<std::string, std::string> files = {{"FOR020.DAT", "D20: DRIFT, L=3\n"}};
  DeckRun r = run_deck("CALL, 20\n", "", files);
  EXPECT_TRUE(contains(r.log, " ** WARNING ** \"CALL\"S CANNOT BE NESTED --- \"CALL\" IGNORED"));
  EXPECT_EQ(element_kind("D20"), -99);
  EXPECT_EQ(r.status, 0);

  r = run_deck("", "CALL, 20 ! from the terminal\nD5: DRIFT\n", files);
  EXPECT_TRUE(contains(r.log, "0... READING LOGICAL UNIT NUMBER 20"));
  EXPECT_EQ(count_of(r.log, "0... READING STANDARD INPUT FILE"), 2); // after the deck, after 20
  EXPECT_EQ(element_kind("D20"), KW_DRIFT);
  EXPECT_EQ(element_kind("D5"), KW_DRIFT);
  EXPECT_EQ(r.status, 0);

  r = run_deck("", "CALL, 20; D6: DRIFT\n", files);
  EXPECT_TRUE(contains(r.log, " ** WARNING ** TEXT AFTER \"CALL\" COMMAND SKIPPED"));
  EXPECT_EQ(element_kind("D6"), -99);
  EXPECT_EQ(element_kind("D20"), KW_DRIFT);

  r = run_deck("", "CALL, 100\n");
  EXPECT_TRUE(contains(r.log, "*** ERROR *** LOGICAL UNIT NUMBER MUST BE IN THE RANGE 1...99"));
  EXPECT_TRUE(contains(r.log, "0... ENTER SCANNING MODE"));
  EXPECT_EQ(r.status, 1);
}

TEST(FrontCommands, CallOfAMissingUnitEndsWithTheReadError) {
  const DeckRun r = run_deck("", "CALL, 33\nD: DRIFT\n");
  EXPECT_TRUE(contains(r.log, "0... READING LOGICAL UNIT NUMBER 33"));
  EXPECT_TRUE(contains(r.log, "0*** ERROR *** READ ERROR ON LOGICAL UNIT 33, LINE    3 --- "
                              "EXECUTION TERMINATED"));
  EXPECT_TRUE(
      contains(r.listing, "HALTING WITH ERROR NUMBER :    102  AND ERROR : LDFIN READ ERROR"));
  EXPECT_EQ(iodata.error_count, 1);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.terminal, "FOR033.DAT:1: error: READ ERROR ON LOGICAL UNIT 33, LINE    3 --- "
                        "EXECUTION TERMINATED\nvorax: run stopped with error number 102: LDFIN "
                        "READ ERROR; see the message log FOR009.DAT\n");
  EXPECT_EQ(element_kind("D"), -99);
}

TEST(FrontCommands, ReturnRules) {
  DeckRun r = run_deck("", "RETURN\n");
  EXPECT_TRUE(contains(r.log, " ** WARNING ** \"RETURN\" NOT PERMITTED ON STANDARD INPUT FILE "
                              "--- \"RETURN\" IGNORED"));
  EXPECT_EQ(r.status, 0);
  r = run_deck("RETURN; D1: DRIFT\nD2: DRIFT\n", "D3: DRIFT\n");
  EXPECT_TRUE(contains(r.log, " ** WARNING ** TEXT AFTER \"RETURN\" SKIPPED"));
  EXPECT_EQ(element_kind("D1"), -99);
  EXPECT_EQ(element_kind("D2"), -99);
  EXPECT_EQ(element_kind("D3"), KW_DRIFT);
  EXPECT_TRUE(contains(r.log, " * NUMBER OF WARNING MESSAGES =     1 *"));
}

TEST(FrontCommands, OpenTakesItsFileNameFromTheNextLine) {
  // The file name is upper-cased like every input line.
  DeckRun r = run_deck("OPEN, 21 ; ignored\nextra.dat\n", "CALL, 21\n",
                       {{"EXTRA.DAT", "Q9: QUADRUPO, L=1\n"}});
  EXPECT_TRUE(contains(r.log, " ** WARNING ** TEXT AFTER \"OPEN\" SKIPPED"));
  EXPECT_TRUE(contains(r.log, "0... SUCCESSFUL TO OPEN FILE:EXTRA.DAT"));
  EXPECT_EQ(element_kind("Q9"), KW_QUADRUPO);

  r = run_deck("OPEN, 22\n/no-such-directory/out.dat\nD: DRIFT\n");
  EXPECT_TRUE(contains(r.log, " ** WARNING ** FAIL TO OPEN FILE: /NO-SUCH-DIRECTORY/OUT.DAT"));
  EXPECT_EQ(element_kind("D"), KW_DRIFT);
  EXPECT_EQ(r.status, 0);

  r = run_deck("OPEN, 22\n");
  EXPECT_TRUE(contains(r.log, " *** ERROR *** END OF FILE SEEN WHEN READING FILE NAME"));
  EXPECT_EQ(r.status, 1);

  // A unit whose OPEN failed is not read from its default file when it is called; a later
  // OPEN that succeeds connects it again.
  const std::map<std::string, std::string> files = {{"FOR022.DAT", "D22: DRIFT\n"},
                                                    {"EXTRA.DAT", "Q9: QUADRUPO, L=1\n"}};
  r = run_deck("OPEN, 22\n/no-such-directory/out.dat\n", "CALL, 22\nD: DRIFT\n", files);
  EXPECT_TRUE(contains(r.log, " ** WARNING ** LOGICAL UNIT 22 WAS NEVER OPENED: ITS \"OPEN\" "
                              "FAILED --- \"CALL\" IGNORED"));
  EXPECT_FALSE(contains(r.log, "READING LOGICAL UNIT NUMBER 22"));
  EXPECT_EQ(element_kind("D22"), -99);
  EXPECT_EQ(element_kind("D"), KW_DRIFT);
  r = run_deck("OPEN, 22\n/no-such-directory/out.dat\nOPEN, 22\nextra.dat\n", "CALL, 22\n", files);
  EXPECT_EQ(element_kind("Q9"), KW_QUADRUPO);
}

TEST(FrontCommands, ListingLogAndTheUnitBeingReadAreProtected) {
  const DeckRun r = run_deck("CLOSE, 16\nCLOSE, 15\nOPEN, 9\nlog.txt\nOPEN, 15\nother.dat\n"
                             "CLOSE, 40\nD: DRIFT\n",
                             "CALL, 16\nCALL, 9\n");
  EXPECT_EQ(count_of(r.log, "HOLDS THE LISTING OR THE MESSAGE LOG"), 4);
  EXPECT_TRUE(contains(r.log, " ** WARNING ** LOGICAL UNIT 16 HOLDS THE LISTING OR THE MESSAGE "
                              "LOG --- \"CLOSE\" IGNORED"));
  EXPECT_EQ(count_of(r.log, "IS BEING READ"), 2);
  EXPECT_TRUE(contains(r.log, " ** WARNING ** LOGICAL UNIT 15 IS BEING READ --- \"OPEN\" IGNORED"));
  EXPECT_EQ(element_kind("D"), KW_DRIFT); // the deck went on to its end
  EXPECT_EQ(r.files.count("LOG.TXT"), 0u);
  EXPECT_EQ(r.status, 0);
}

TEST(FrontCommands, CloseInScanModeDoesNothing) {
  const std::map<std::string, std::string> files = {{"A.DAT", "D1: DRIFT\n"}};
  const DeckRun r = run_deck("OPEN, 23\na.dat\nX = (\nCLOSE, 23\n", "CALL, 23\n", files);
  EXPECT_EQ(element_kind("D1"), KW_DRIFT); // unit 23 stayed on A.DAT
}

TEST(FrontCommands, TitleIsTheNextLine) {
  DeckRun r = run_deck("TITLE; text here\nFodo ring, 12 cells\nD: DRIFT\n");
  EXPECT_TRUE(contains(r.log, " ** WARNING ** TEXT AFTER \"TITLE\" SKIPPED"));
  EXPECT_EQ(pagtit.title.trimmed(), "FODO RING, 12 CELLS");
  EXPECT_EQ(element_kind("D"), KW_DRIFT);
  EXPECT_EQ(pagtit.version.trimmed(), "1.01");

  r = run_deck("TITLE\n");
  EXPECT_TRUE(pagtit.title.blank());
  EXPECT_EQ(r.status, 0);

  r = run_deck("TITLE, my title\nD: DRIFT\n");
  EXPECT_TRUE(contains(r.log, "*** ERROR *** \";\" EXPECTED"));
  EXPECT_EQ(r.status, 1);
}

TEST(FrontCommands, EchoAndNoechoTakeEffectFromTheNextLine) {
  const DeckRun r = run_deck("NOECHO\nA1 = 1\nECHO\nA2 = 2\n");
  EXPECT_TRUE(contains(r.listing, "NOECHO"));
  EXPECT_FALSE(contains(r.listing, "A1 = 1"));
  EXPECT_FALSE(contains(r.listing, "               ECHO"));
  EXPECT_TRUE(contains(r.listing, "A2 = 2"));
  EXPECT_EQ(pardat.low_count, 2);
}

TEST(FrontCommands, LinesAreNumberedOverAllFiles) {
  const DeckRun r = run_deck("A1 = 1\nA2 = 2\nA3 = 3\n", "A4 = 4\nA5 = 5\n");
  // Deck lines 1..3, the end of the deck is line 4, standard input starts at line 5.
  EXPECT_TRUE(contains(r.listing, "         5     A4 = 4"));
}

TEST(FrontCommands, CosyWithoutAMachineWritesAnEmptyOne) {
  const DeckRun r = run_deck("COSY\n");
  EXPECT_TRUE(contains(r.listing, "\n procedure mach ;\n endprocedure ;\n"));
  EXPECT_EQ(r.status, 0);
}

TEST(FrontCommands, DumpPrintsTheTables) {
  const DeckRun r = run_deck("Q1: QUADRUPO, L=0.5, TYPE=QFOCUS\nK = 1.25\nDUMP\n");
  const auto lines = lines_of(r.listing);
  auto find = [&](std::string_view start) -> std::string {
    for (const auto &l : lines)
      if (l.rfind(start, 0) == 0)
        return l;
    return "";
  };
  EXPECT_EQ(find("1DUMP OF ELEMENT TABLE (1)"), "1DUMP OF ELEMENT TABLE (1)");
  EXPECT_EQ(find("         1     Q1"),
            "         1     Q1           QFOC       5   18997   19000       0       1");
  EXPECT_EQ(find("         1     K "),
            "         1     K              0       0       0       2       1.250000");
  EXPECT_EQ(find("     19000"),
            "     19000     APERTURE      -1       0       0       1       1.000000");
  EXPECT_EQ(find("1DUMP OF ELEMENT TABLE (2)"), ""); // empty regions print nothing
  EXPECT_EQ(find("1DUMP OF LINK TABLE"), "");
}

TEST(FrontCommands, TheExampleDeckRunsCleanly) {
  // From the source root: a compiler cache may make __FILE__ relative to the build.
  const std::string path = std::string(VORAX_SOURCE_DIR) + "/examples/fodo.vx";
  std::FILE *f = std::fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr) << path;
  std::string deck;
  for (int c; (c = std::fgetc(f)) != EOF;)
    deck += static_cast<char>(c);
  std::fclose(f);
  const DeckRun r = run_deck(deck);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.terminal, "");
  EXPECT_FALSE(contains(r.log, "WARNING"));
  EXPECT_FALSE(contains(r.log, "ERROR"));
  EXPECT_EQ(pagtit.title.trimmed(), "FODO RING EXAMPLE");
  EXPECT_TRUE(contains(r.log, "64 ELEMENTS"));
}

TEST(FrontCommands, MarkerStandsUnderTheOffendingCharacterOfTheEcho) {
  const DeckRun r = run_deck("D: DRIFT, L=1\n  Q1: QUADRUPO, L=1, K1=2*-3\n");
  std::string echo, question;
  for (const std::string &l : lines_of(r.log)) {
    if (echo.empty() && contains(l, "K1=2*-3"))
      echo = l;
    if (l.rfind(" * COLUMN", 0) == 0)
      question = l;
  }
  ASSERT_FALSE(echo.empty());
  ASSERT_FALSE(question.empty());
  const std::size_t q = question.find('?');
  ASSERT_LT(q, echo.size());
  EXPECT_EQ(echo[q], '-');
  EXPECT_EQ(question.substr(0, 14), " * COLUMN 27 *");
  EXPECT_TRUE(contains(r.listing, "0* LINE    2 *   Q1: QUADRUPO, L=1, K1=2*-3"));
}
