// The source reader: cursor and continuation rules, token readers with their error texts,
// echo numbering, the error marker's column and the keyword-parameter list.
#include "front_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

std::string word_at(std::string_view deck) {
  at(deck);
  Name8 w;
  int n = 0;
  rdword(w, n);
  return std::string(w.trimmed());
}

struct Number {
  double value;
  int error;
  char next;
};

Number number_at(std::string_view text) {
  at(text);
  Number r{0.0, 0, ' '};
  rdnumb(r.value, r.error);
  r.next = current_char();
  return r;
}

// The record column (1-based) of the first "?" in the log, and of the offending character in
// the echoed line that precedes it.
int question_column(const std::string &log) {
  for (const std::string &l : lines_of(log))
    if (l.rfind(" * COLUMN", 0) == 0)
      return static_cast<int>(l.find('?')) + 1;
  return -1;
}

} // namespace

TEST(Reader, WordsAreCutToEightCharactersAndBlanksAreInsignificant) {
  at("ABCDEFGHIJ,");
  Name8 w;
  int n = 0;
  rdword(w, n);
  EXPECT_EQ(w, Name8("ABCDEFGH"));
  EXPECT_EQ(n, 8);
  EXPECT_EQ(current_char(), ','); // the rest of the word was consumed
  EXPECT_EQ(word_at("quad 1 ;"), "QUAD1");
  EXPECT_EQ(word_at("Q'1X"), "Q'1X");
  EXPECT_EQ(word_at("\"A-B C\" rest"), "\"A-BC\"");
  EXPECT_EQ(word_at("1ABC"), ""); // a word starts with a letter
  at("=X");
  rdword(w, n);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(current_char(), '='); // nothing consumed
}

TEST(Reader, UnclosedQuoteEndsWithItsLine) {
  at("\"ABC\nNEXT");
  Name8 w;
  int n = 0;
  rdword(w, n);
  EXPECT_EQ(w, Name8("\"ABC"));
  EXPECT_EQ(iodata.line_number, 1); // the following line is still unread
}

TEST(Reader, LabelsKeepFourteenCharacters) {
  at("ABCDEFGHIJKLMNOPQ;");
  Label14 l;
  int n = 0;
  rdlabl(l, n);
  EXPECT_EQ(l, Label14("ABCDEFGHIJKLMN"));
  EXPECT_EQ(n, 14);
  EXPECT_EQ(current_char(), ';');
}

TEST(Reader, RealNumbersAcceptedAndTheirValues) {
  struct Case {
    const char *text;
    double value;
  } cases[] = {{"5", 5.0},
               {"-0.5", -0.5},
               {".5", 0.5},
               {"5.", 5.0},
               {"1E3", 1000.0},
               {"1.5D-2", 0.015},
               {"+2E+1", 20.0},
               {"-.5E1", -5.0},
               {"1 000", 1000.0},
               {"0.1", 0.1},
               {"123456789012345678901234567890", 1.2345678901234568e29},
               {"0.000000000000000000000000000001", 1e-30}};
  for (const Case &c : cases) {
    const Number r = number_at(c.text);
    EXPECT_EQ(r.error, 0) << c.text;
    EXPECT_EQ(r.value, c.value) << c.text; // the nearest double, not merely close
    EXPECT_EQ(iodata.error_count, 0) << c.text;
  }
  const Number r = number_at("1.5X");
  EXPECT_EQ(r.value, 1.5);
  EXPECT_EQ(r.next, 'X');
}

TEST(Reader, IncorrectRealValues) {
  for (const char *text : {"1.2.3", "1E", "1E+", ".", "+", "1E5.5", "2D3E", "1E999", "-1D400"}) {
    const Number r = number_at(text);
    EXPECT_EQ(r.error, 1) << text;
    EXPECT_EQ(r.value, 0.0) << text;
    EXPECT_TRUE(contains(log_text(), "*** ERROR *** INCORRECT REAL VALUE")) << text;
    EXPECT_EQ(iodata.error_count, 1) << text;
  }
  const Number r = number_at("X");
  EXPECT_EQ(r.error, 1);
  EXPECT_TRUE(contains(log_text(), "*** ERROR *** REAL VALUE EXPECTED"));
  EXPECT_EQ(r.next, 'X');
}

TEST(Reader, UnsignedIntegers) {
  at("12.5;");
  int v = -1, e = 0;
  rdint(v, e);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(e, 1);
  EXPECT_EQ(current_char(), ';');
  EXPECT_TRUE(contains(log_text(), "*** ERROR *** REAL VALUE NOT PERMITTED"));

  at("-3");
  rdint(v, e);
  EXPECT_EQ(e, 1);
  EXPECT_TRUE(contains(log_text(), "*** ERROR *** UNSIGNED INTEGER EXPECTED"));

  at("4 2,");
  rdint(v, e);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(e, 0);

  // A digit string continued over many lines saturates instead of overflowing.
  std::string deck;
  for (int i = 0; i < 30; ++i)
    deck += "9999999999&\n";
  deck += "9;";
  at(deck);
  rdint(v, e);
  EXPECT_EQ(e, 0);
  EXPECT_EQ(v, 2147483647);
}

TEST(Reader, CharacterTestMessages) {
  at("X");
  int e = 0;
  rdtest("=", e);
  EXPECT_EQ(e, 1);
  EXPECT_TRUE(contains(log_text(), " *** ERROR *** \"=\" EXPECTED"));
  rdtest(",;", e);
  EXPECT_TRUE(contains(log_text(), " *** ERROR *** ONE OF \",;\" EXPECTED"));
  EXPECT_EQ(current_char(), 'X'); // never consumed
  rdtest("XY", e);
  EXPECT_EQ(e, 0);
}

TEST(Reader, CommentsContinuationAndLineEnds) {
  // "!" ends the command; the end of a line acts as ";".
  at("Q1: QUAD , L = 1 ! focusing\nNEXT");
  rdfind(";");
  EXPECT_EQ(iodata.column, 81);
  EXPECT_EQ(iodata.line_number, 1);

  // "&" joins the next line seamlessly, so blanks and line ends inside a word vanish.
  Name8 w;
  int n = 0;
  at("Q &  ! the rest is ignored\n  1 ;");
  rdword(w, n);
  EXPECT_EQ(w, Name8("Q1"));
  EXPECT_EQ(iodata.line_number, 2);

  // A line of exactly 80 characters has no room for "&": its end is the ";" of column 81.
  // A following line holding only "&" is passed over when that ";" is consumed.
  const std::string eighty = "A" + std::string(78, ' ') + "B";
  at(eighty + "\n&\nC");
  rdword(w, n);
  EXPECT_EQ(w, Name8("AB"));
  EXPECT_EQ(iodata.column, 81);
  rdnext();
  EXPECT_EQ(current_char(), 'C');
  EXPECT_EQ(iodata.line_number, 3);

  // After "&", a blank line, a comment line or a line starting "(" ends the command.
  for (const char *next : {"\n", "(D, E)\n", "* note\n", "@ note\n"}) {
    at(std::string("A &\n") + next + "B");
    rdword(w, n);
    EXPECT_EQ(w, Name8("A")) << next;
    EXPECT_EQ(current_char(), ';') << next;
  }
}

TEST(Reader, EndOfFileLeavesTheEndTextAndStaysPut) {
  at("");
  EXPECT_EQ(ioflag.end_of_file, 1);
  EXPECT_EQ(current_char(), '!');
  rdnext();
  rdfind(";");
  rdskip("!");
  EXPECT_EQ(current_char(), '!');
  EXPECT_EQ(iodata.line_number, 1);
  std::string text;
  for (int i = 1; i <= 19; ++i)
    text += rdbuff(i);
  EXPECT_EQ(text, "!!! END OF FILE !!!");
}

TEST(Reader, EchoNumbersEveryFifthLineAndNoechoSuppressesIt) {
  start_reader("a\nb\nc\nd\ne\nf");
  for (int i = 0; i < 6; ++i)
    rdline();
  const auto lines = lines_of(listing_text());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "               A");
  EXPECT_EQ(lines[4], "         5     E");
  EXPECT_EQ(lines_of(log_text()), lines);

  start_reader("a\nb");
  noecho.value = 1;
  rdline();
  EXPECT_EQ(listing_text(), "");
  rdnext();
  rdfail(); // the marker still shows the line
  EXPECT_TRUE(contains(listing_text(), "0* LINE    1 * A"));
}

TEST(Reader, MarkerQuestionMarkStandsUnderTheOffendingCharacter) {
  for (const char *line : {"X = 12.5.5", "   QUADRUPO, Q1, L=1, L=2, K5=1", "ABC DEF ?"}) {
    at(line);
    rdfind("?.");
    if (current_char() == '.')
      rdnext();
    const int column = iodata.column;
    rdfail();
    const std::string echo = lines_of(listing_text()).front();
    const int q = question_column(log_text());
    ASSERT_GT(q, 0);
    // The echoed line and the marker's line record put text column c in record column 15 + c.
    EXPECT_EQ(q, 15 + column) << line;
    EXPECT_EQ(echo[static_cast<std::size_t>(q - 1)], line[column - 1]) << line;
    EXPECT_EQ(iodata.error_count, 1);
  }
  at("AB");
  rdwarn();
  EXPECT_EQ(iodata.warning_count, 1);
  EXPECT_FALSE(contains(listing_text(), "* LINE")); // warnings go to the log only
  EXPECT_TRUE(contains(log_text(), "0* LINE    1 * AB"));
}

TEST(Reader, LookupIsExactOverTheGivenRange) {
  const Name8 table[3] = {Name8("ONE"), Name8("TWO"), Name8("THREE")};
  EXPECT_EQ(rdlook(Name8("TWO"), table, 1, 3), 2);
  EXPECT_EQ(rdlook(Name8("TW"), table, 1, 3), 0);
  EXPECT_EQ(rdlook(Name8("ONE"), table, 2, 3), 0);
  EXPECT_EQ(rdlook(Name8("ONE"), table, 0, 3), 0);
  EXPECT_EQ(rdlook(Name8("ONE"), table, 3, 1), 0);
}

TEST(Reader, FileUnitArgument) {
  int unit = -1, e = 0;
  at(", 20");
  rdfile(unit, e);
  EXPECT_EQ(unit, 20);
  EXPECT_EQ(e, 0);
  at(", 100");
  rdfile(unit, e);
  EXPECT_EQ(e, 1);
  EXPECT_EQ(unit, 0);
  EXPECT_TRUE(
      contains(log_text(), "*** ERROR *** LOGICAL UNIT NUMBER MUST BE IN THE RANGE 1...99"));
  at(", 0");
  rdfile(unit, e);
  EXPECT_EQ(e, 1);
  at(", 12 X");
  rdfile(unit, e);
  EXPECT_EQ(e, 1);
}

TEST(Reader, KeywordParameterList) {
  // SYMM flag, SUPER integer, GAIN real, MODE one of the value words FAST, SLOW.
  const Name8 keys[6] = {Name8("SYMM"), Name8("SUPER"), Name8("GAIN"),
                         Name8("MODE"), Name8("FAST"),  Name8("SLOW")};
  const int types[4] = {0, 1, 2, 100 * 4 + 2};
  int seen[4], iv[4] = {0, 1, 0, 0}, e = 0;
  double rv[4] = {0, 0, 0, 0};

  at(", SUPER = 4, SYMM, GAIN=2.5, MODE = SLOW");
  rdpara(4, keys, types, seen, iv, rv, e);
  EXPECT_EQ(e, 0);
  EXPECT_EQ(seen[0] + seen[1] + seen[2] + seen[3], 4);
  EXPECT_EQ(iv[1], 4);
  EXPECT_EQ(rv[2], 2.5);
  EXPECT_EQ(iv[3], 2);

  at(", SUPER=2, SUPER=3, FOO, , MODE=MEDIUM, MODE=, GAIN=1");
  rdpara(4, keys, types, seen, iv, rv, e);
  EXPECT_EQ(e, 1);
  const std::string log = log_text();
  EXPECT_TRUE(contains(log, "*** ERROR *** DUPLICATE PARAMETER \"SUPER\""));
  EXPECT_TRUE(contains(log, "*** ERROR *** UNKNOWN PARAMETER KEYWORD \"FOO\""));
  EXPECT_TRUE(contains(log, "*** ERROR *** PARAMETER KEYWORD EXPECTED"));
  EXPECT_TRUE(contains(log, "*** ERROR *** UNKNOWN VALUE KEYWORD \"MEDIUM\""));
  EXPECT_TRUE(contains(log, "*** ERROR *** VALUE KEYWORD EXPECTED"));
  EXPECT_EQ(iv[1], 2);   // the first SUPER stands
  EXPECT_EQ(seen[2], 1); // the list goes on after each error
  EXPECT_EQ(current_char(), ';');
}

TEST(Reader, SummaryBoxCountsWarningsAndErrors) {
  at("X");
  rdend(101); // nothing counted: no box
  EXPECT_FALSE(contains(log_text(), "NUMBER OF"));
  rdwarn();
  rdwarn();
  rdfail();
  rdend(101);
  const auto lines = lines_of(log_text());
  ASSERT_GE(lines.size(), 4u);
  const std::size_t n = lines.size();
  EXPECT_EQ(lines[n - 4], "1" + std::string(38, '*'));
  EXPECT_EQ(lines[n - 3], " * NUMBER OF WARNING MESSAGES =     2 *");
  EXPECT_EQ(lines[n - 2], " * NUMBER OF FATAL ERRORS     =     1 *");
  EXPECT_EQ(lines[n - 1], " " + std::string(38, '*'));
  ioflag.scan_mode = 1;
  EXPECT_THROW(rdend(103), RunEnd);
}
