// The operation-data reader: number forms, count modes, names, lines, echo, stops; OUTP; halt.
#include "engine_fixture.h"

#include "common/control.h"
#include "engine/operation_data.h"

#include <cstdlib>
#include <cstring>

namespace vorax::test {
namespace {

struct Read {
  std::vector<double> values;
  int count = 0;
  int end_flag = 0;
  std::string name;
};

// One call of the reader on the data already bound.
Read read(int count, int capacity = 100, int name_width = 0, int echo_mode = 1) {
  Read r;
  double values[100] = {};
  int width = name_width;
  r.count = count;
  input(r.name, width, values, capacity, r.end_flag, r.count, echo_mode);
  r.values.assign(values, values + (r.count > 0 ? r.count : 0));
  return r;
}

double one(const std::string &text) {
  start_engine_test(text + "\n");
  return read(1).values.at(0);
}

int stop_on(const std::string &data, int count, int capacity = 100) {
  start_engine_test(data);
  return stop_code([&] { read(count, capacity); });
}

TEST(OperationData, NumberFormsGiveTheNearestDouble) {
  EXPECT_EQ(one("1.5E-3"), 0.0015);
  EXPECT_EQ(one("-.5"), -0.5);
  EXPECT_EQ(one("+2"), 2.0);
  EXPECT_EQ(one("7."), 7.0);
  EXPECT_EQ(one("1E50"), 1e50);
  EXPECT_EQ(one("2.5E+050"), 2.5e50);
  EXPECT_EQ(one("-3E-50"), -3e-50);
  EXPECT_EQ(one("0.000"), 0.0);
  // Up to 16 significant digits are kept exactly: the result is what a correctly rounding
  // conversion of the same text gives.
  for (const char *text : {"1234567890123456", "0.1234567890123456", "3.141592653589793",
                           "-9.876543210987654", "9999999999999999", "299792458.0000001",
                           "0.0000000000000001234567890123456", "6.02214076E23"})
    EXPECT_EQ(one(text), std::strtod(text, nullptr)) << text;
}

TEST(OperationData, DigitsBeyondSixteenKeepTheMagnitude) {
  // Extra digits after the point are dropped, extra digits before it still scale the value.
  EXPECT_EQ(one("3.14159265358979323846"), 3.141592653589793);
  EXPECT_EQ(one("12345678901234567890"), 1234567890123456e4);
  EXPECT_EQ(one("-12345678901234567.9E-3"), -1234567890123456e-2);
  // Leading zeros are not significant digits.
  EXPECT_EQ(one("0.00000000000000000000123"), 1.23e-21);
}

TEST(OperationData, CountModesAndTerminators) {
  start_engine_test(" 2,\n");
  Read r = read(-1);
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.values[0], 2.0);
  EXPECT_EQ(r.end_flag, 2);

  start_engine_test(" 2;\n");
  r = read(-1);
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.end_flag, 1);

  start_engine_test(" ;\n");
  r = read(-1);
  EXPECT_EQ(r.count, 0);
  EXPECT_EQ(r.end_flag, 1);

  // Exactly three, over two lines; the end flag is not touched.
  start_engine_test(" 1 2\n 3\n");
  r = read(3);
  EXPECT_EQ(r.values, (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(r.end_flag, 0);

  // The reading position is shared by the calls of one operation.
  start_engine_test(" 1 2 3 ;\n");
  EXPECT_EQ(read(1).values[0], 1.0);
  EXPECT_EQ(read(1).values[0], 2.0);
  r = read(1);
  EXPECT_EQ(r.values[0], 3.0);
  EXPECT_EQ(r.end_flag, 1); // the character after the number is looked at
}

TEST(OperationData, TooFewAndTooManyValuesStop) {
  EXPECT_EQ(stop_on(" 1 2;\n", 3), 273);
  EXPECT_TRUE(contains(listing_text(), "   ERROR--  3 ELEMENTS WERE NOT FOUND"));
  // A terminator after a blank is as early as one right after the number.
  EXPECT_EQ(stop_on(" 1 2 ;\n", 3), 273);
  EXPECT_EQ(stop_on(" 1 2 ,\n", 3), 273);
  EXPECT_EQ(stop_on(" 1 2 3;\n", -1, 2), 271);
  EXPECT_TRUE(contains(listing_text(), "    3 ELEMENTS READ IN: EXEEDS ARRAY SIZE    2"));
}

TEST(OperationData, FormatErrorsMarkTheOffendingColumn) {
  for (const char *bad : {" 1.2.3", " 1E51", " 1X", " --1", " 1E+ 2", " E5", " 1.5D3", " .;"}) {
    EXPECT_EQ(stop_on(std::string(bad) + "\n", -1), 272) << bad;
    EXPECT_TRUE(contains(listing_text(), "   IMPROPER NUMBER FORMAT")) << bad;
  }
  // The marker stands under the second point of 1.2.3.
  EXPECT_EQ(stop_on("   1.2.3 4\n", -1), 272);
  const std::vector<std::string> lines = lines_of(listing_text());
  ASSERT_GE(lines.size(), 3u);
  const std::string &echoed = lines[lines.size() - 3];
  const std::string &marker = lines[lines.size() - 2];
  const std::size_t star = marker.find('*');
  ASSERT_NE(star, std::string::npos);
  EXPECT_EQ(echoed.substr(0, star + 1), " " + std::string("   1.2.").substr(0, star));
  EXPECT_EQ(echoed[star], '.');
  EXPECT_EQ(echoed.find('.', echoed.find('.') + 1), star);
  EXPECT_TRUE(contains(lines.back(), "272  AND ERROR : INPUT:BAD FORMAT"));
}

TEST(OperationData, LineEndEndsACompleteNumberOnly) {
  // A number ending in column 72 is kept, not dropped with the line.
  start_engine_test(std::string(69, ' ') + "1.5\n 2;\n");
  Read r = read(-1);
  EXPECT_EQ(r.values, (std::vector<double>{1.5, 2.0}));
  // Columns 73 on are not data.
  start_engine_test(std::string(70, ' ') + "17999\n;\n");
  EXPECT_EQ(read(-1).values, (std::vector<double>{17.0}));
  // A number cut after its exponent letter cannot be completed on the next line.
  EXPECT_EQ(stop_on(std::string(68, ' ') + "1.5E\n3;\n", -1), 272);
}

TEST(OperationData, NamesComeBeforeTheNumbers) {
  start_engine_test("  qf1 1.5 2;\n");
  Read r = read(-1, 100, 8);
  EXPECT_EQ(r.name, "QF1     ");
  EXPECT_EQ(r.values, (std::vector<double>{1.5, 2.0}));
  EXPECT_EQ(r.end_flag, 1);

  // A comma before the name: blank name, no numbers.
  start_engine_test(" , 1 2\n");
  r = read(-1, 100, 8);
  EXPECT_EQ(r.name, std::string(8, ' '));
  EXPECT_EQ(r.count, 0);
  EXPECT_EQ(r.end_flag, 2);

  // A name cut to its width; the name-only call leaves the numbers for the next call.
  start_engine_test("AB;\n");
  r = read(0, 100, 8);
  EXPECT_EQ(r.name, "AB      ");
  EXPECT_EQ(r.end_flag, 1);

  // A word longer than the width is read whole and cut; what follows it is read next, and a
  // terminator right after it still counts.
  start_engine_test(" QFLONGNAME K1 1.5;\n");
  r = read(0, 100, 8);
  EXPECT_EQ(r.name, "QFLONGNA");
  r = read(1, 100, 8);
  EXPECT_EQ(r.name, "K1      ");
  EXPECT_EQ(r.values, (std::vector<double>{1.5}));
  start_engine_test(" QFLONGNAME; 2\n");
  r = read(0, 100, 8);
  EXPECT_EQ(r.name, "QFLONGNA");
  EXPECT_EQ(r.end_flag, 1);

  // A name that fills the line up to column 72 leaves its numbers to the next line.
  start_engine_test(std::string(66, ' ') + "ABCDEF\n 4 5;\n");
  r = read(2, 100, 8);
  EXPECT_EQ(r.name, "ABCDEF  ");
  EXPECT_EQ(r.values, (std::vector<double>{4, 5}));
}

TEST(OperationData, CommentsBlankLinesAndEcho) {
  start_engine_test("* a comment\n\n   \n! another\n 1 2;\n");
  control.print_level = 2;
  Read r = read(-1);
  EXPECT_EQ(r.values, (std::vector<double>{1, 2}));
  EXPECT_TRUE(contains(listing_text(), " * A COMMENT"));
  EXPECT_TRUE(contains(listing_text(), "\n  1 2;\n"));

  // Mode 2 puts the position count in front; the data are echoed only from print level 2.
  start_engine_test(" 7;\n");
  control.print_level = 2;
  mat.npos = 12;
  read(-1, 100, 0, 2);
  EXPECT_TRUE(contains(listing_text(), "    12  7;"));

  start_engine_test("* hidden\n 7;\n");
  control.print_level = 2;
  read(-1, 100, 0, -1);
  EXPECT_EQ(listing_text(), "");

  start_engine_test("* shown\n 7;\n");
  control.print_level = 1;
  read(-1);
  EXPECT_EQ(listing_text(), "");
}

TEST(OperationData, InlinePrintLevelLine) {
  start_engine_test(" output\n\n 0\n 5;\n");
  Read r = read(-1);
  EXPECT_EQ(control.print_level, 0);
  EXPECT_EQ(r.values, (std::vector<double>{5}));

  start_engine_test("OU TP\n 7\n 1;\n");
  read(-1);
  EXPECT_EQ(control.print_level, 7);

  EXPECT_EQ(stop_on("OUTPUT\n X\n", -1), 270);
  EXPECT_TRUE(contains(listing_text(), "  ERROR IN OUTPUT CODE NUMBER"));
}

TEST(OperationData, EndOfInputWhileWaitingStopsCleanly) {
  EXPECT_EQ(stop_on("", -1), 272);
  EXPECT_TRUE(contains(listing_text(), "END OF INPUT WHILE READING OPERATION DATA"));
  EXPECT_EQ(stop_on(" 1 2\n", 3), 272);
  EXPECT_EQ(stop_on("OUTPUT\n\n", -1), 272);
  start_engine_test("");
  EXPECT_EQ(stop_code([] { read(0, 100, 8); }), 272);
}

TEST(OperationData, OutpSetsThePrintLevel) {
  start_engine_test(" 3 ;\n");
  control.print_level = 5;
  int end_flag = 0;
  outcon(2600, end_flag);
  EXPECT_EQ(control.print_level, 3);
  EXPECT_EQ(end_flag, 1);

  start_engine_test(" 7.9\n");
  end_flag = 0;
  outcon(2600, end_flag);
  EXPECT_EQ(control.print_level, 7);
  EXPECT_EQ(end_flag, 0);
}

// A ";" ends the operation stream wherever it stands, also where a name is due: the lines
// after it are the lattice language's again, never names or values of the operation.
TEST(OperationData, ASemicolonEndsTheDataWhereverItStands) {
  const std::string machine = "QF: QUADRUPOLE, L = 1, K1 = 0.1\nR: LINE = (QF)\nUSE, R\nVORAX\n";
  const std::string after = "D: DRIFT, L = 2\nSTOP\n";
  for (const char *data : {
           "SETL\n QF K1 0 1 0 1;\n",      // after SETL's values
           "SETL\n QF K1 0 1 0 1\n\n ;\n", // alone, after a blank line, where a name is due
           "PRIN\n NAME QF ;\n",           // after a name of a list
           "PRIN\n NAME QF 99\n ;\n",      // where PRIN's next keyword is due
           "PRIN\n TYPE QUADRUPO;\n",      // right after a name
       }) {
    const DeckRun r = run_deck(machine + data + after);
    EXPECT_EQ(r.status, 0) << data << r.listing;
    EXPECT_TRUE(contains(r.listing, "D: DRIFT, L = 2")) << data;
  }

  // An entry cut short has too few values; OUTP without its level keeps the level it had.
  for (const char *data : {"SETL\n QF ;\n", "SETL\n QF K1;\n", "OUTP\n 1\nOUTP\n ;\n"}) {
    const DeckRun r = run_deck(machine + data + after);
    EXPECT_EQ(r.status, 1) << data;
    EXPECT_TRUE(contains(r.listing, " ELEMENTS WERE NOT FOUND\n")) << data << r.listing;
  }
  EXPECT_EQ(control.print_level, 1);
}

TEST(OperationData, HaltNamesEveryCode) {
  start_engine_test();
  EXPECT_EQ(stop_code([] { halt(999); }), 999);
  EXPECT_TRUE(contains(listing_text(),
                       "  HALTING WITH ERROR NUMBER :    999  AND ERROR : ERROR NOT IN TABLE"));
  EXPECT_EQ(error_name(999), "ERROR NOT IN TABLE  ");
  EXPECT_EQ(error_name(280), "OPER:BAD OPER NAME  ");
}

} // namespace
} // namespace vorax::test
