// Element definitions: both syntaxes, attribute lists and their order, built-in and flag
// defaults in both angle conventions, TYPE and LABEL, and the warnings and errors of a definition.
#include "front_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

constexpr double PI = 3.141592653589793;

} // namespace

TEST(Elements, BothSyntaxesDefineTheSameElement) {
  ASSERT_EQ(load("Q1: QUADRUPO, L=0.5, K1=1.2\n"), 0);
  const int first = elmdat.first(1);
  ASSERT_EQ(load("QUADRUPO, Q1, L=0.5, K1=1.2\n"), 0);
  EXPECT_EQ(elmdat.first(1), first);
  EXPECT_EQ(elmdat.kind(element_index("Q1")), KW_QUADRUPO);
  EXPECT_EQ(attribute("Q1", "L"), 0.5);
  EXPECT_EQ(attribute("Q1", "K1"), 1.2);
  EXPECT_EQ(elmdat.last(1) - elmdat.first(1) + 1, 4);
  EXPECT_EQ(iodata.warning_count + iodata.error_count, 0);
}

TEST(Elements, AttributeListsInOrder) {
  const int counts[ELEMENT_KEYWORDS + 1] = {0, 1, 13, 13, 13, 4, 4, 4,  46, 5, 5,   3, 1,  1, 3, 3,
                                            5, 5, 5,  0,  3,  3, 5, 11, 21, 7, 163, 7, 15, 8, 4};
  for (int kw = 1; kw <= ELEMENT_KEYWORDS; ++kw)
    EXPECT_EQ(attribute_count(kw), counts[kw]) << element_keyword(kw).str();
  EXPECT_EQ(element_keyword(KW_TARVOCAV), Name8("TARVOCAV"));
  EXPECT_EQ(element_keyword(KW_QUADRUPO), Name8("QUADRUPO"));
  struct Position {
    int keyword, k;
    const char *name;
  } positions[] = {
      {KW_MATRIX, 2, "R11"},         {KW_MATRIX, 8, "T111"},        {KW_MATRIX, 28, "T166"},
      {KW_MATRIX, 29, "R21"},        {KW_MATRIX, 163, "T666"},      {KW_MATRIX, 14, "T122"},
      {KW_MULTIPOL, 2, "K0"},        {KW_MULTIPOL, 3, "T0"},        {KW_MULTIPOL, 43, "T20"},
      {KW_MULTIPOL, 44, "SCALEFAC"}, {KW_MULTIPOL, 46, "TILT"},     {KW_SBEND, 12, "HGAPX"},
      {KW_ARBITELM, 21, "P20"},      {KW_HCOLLIMA, 15, "INELASTI"}, {KW_GKICK, 10, "V"}};
  for (const Position &p : positions)
    EXPECT_EQ(attribute_name(p.keyword, p.k), Name8(p.name)) << p.name;

  // In the parameter table, attribute k of an element is node first + k - 1.
  ASSERT_EQ(load("M: MATRIX, T166 = 0.5, R21 = 2\n"), 0);
  const int m = element_index("M");
  EXPECT_EQ(parval.value(elmdat.first(m) + 27), 0.5);
  EXPECT_EQ(parval.value(elmdat.first(m) + 28), 2.0);
  EXPECT_EQ(elmdat.last(m) - elmdat.first(m) + 1, 163);
}

TEST(Elements, TiltFlagDefaultsInBothConventions) {
  struct Case {
    const char *keyword;
    double radians, degrees;
  } cases[] = {{"SBEND", PI / 2, 90},    {"RBEND", PI / 2, 90},    {"WIGGLER", PI / 2, 90},
               {"QUADRUPO", PI / 4, 45}, {"SEXTUPOL", PI / 6, 30}, {"OCTUPOLE", PI / 8, 22.5},
               {"SOLENOID", PI / 4, 45}, {"QUADSEXT", PI / 4, 45}, {"QUADAC", PI / 4, 45}};
  for (const Case &c : cases) {
    const std::string k = c.keyword;
    ASSERT_EQ(load("A: " + k + ", L=1, TILT\nB: " + k + ", L=1\nC: " + k +
                   ", TILT=0.1\n"
                   "UMERIDOX\nD: " +
                   k + ", TILT\n"),
              0);
    EXPECT_EQ(attribute("A", "TILT"), c.radians) << k;
    EXPECT_EQ(attribute_kind("A", "TILT"), PAR_CONSTANT) << k;
    EXPECT_EQ(attribute("B", "TILT"), 0.0) << k; // a flag default not requested is 0
    EXPECT_EQ(attribute_kind("B", "TILT"), PAR_UNDEFINED) << k;
    EXPECT_EQ(attribute("C", "TILT"), 0.1) << k;
    EXPECT_EQ(attribute("D", "TILT"), c.degrees) << k;
    EXPECT_EQ(iodata.warning_count, 0) << k;
  }
  ASSERT_EQ(load("M: MULTIPOL, K2=3, T2, T0, T20\nUMERIDOX\nN: MULTIPOL, T1, T5\n"), 0);
  EXPECT_EQ(attribute("M", "T2"), PI / 6);
  EXPECT_EQ(attribute("M", "T0"), PI / 2);
  EXPECT_EQ(attribute("M", "T20"), PI / 42);
  EXPECT_EQ(attribute("M", "T1"), 0.0);
  EXPECT_EQ(attribute("N", "T1"), 45.0);
  EXPECT_EQ(attribute("N", "T5"), 15.0);
}

TEST(Elements, BuiltInDefaults) {
  ASSERT_EQ(load("M: MULTIPOL\nQ: QUADRUPO\nS: SEXTUPOL\nO: OCTUPOLE\nSO: SOLENOID\n"
                 "QS: QUADSEXT\nQA: QUADAC\nE: ECOLLIMA\nR: RCOLLIMA\nG: GKICK\nT: MTWISS\n"
                 "H: HCOLLIMA\nB: RBEND\nD: DRIFT\n"),
            0);
  for (const char *name : {"Q", "S", "O", "SO", "QS", "QA", "M"})
    EXPECT_EQ(attribute(name, "APERTURE"), 1.0) << name;
  EXPECT_EQ(attribute("M", "SCALEFAC"), 1.0);
  EXPECT_EQ(attribute("M", "K3"), 0.0);
  for (const char *name : {"E", "R"}) {
    EXPECT_EQ(attribute(name, "XSIZE"), 1.0);
    EXPECT_EQ(attribute(name, "YSIZE"), 1.0);
  }
  EXPECT_EQ(attribute("G", "V"), 1.0);
  EXPECT_EQ(attribute("T", "BETAX"), 1.0);
  EXPECT_EQ(attribute("T", "BETAY"), 1.0);
  EXPECT_EQ(attribute("T", "ALPHAX"), 0.0);
  EXPECT_EQ(attribute("H", "MU"), 1.399999976158142);
  EXPECT_EQ(attribute("H", "INELASTI"), 2.0);
  EXPECT_EQ(attribute("B", "FINT"), 0.5);
  EXPECT_EQ(attribute("B", "FINTX"), 0.5);
  EXPECT_EQ(attribute("D", "L"), 0.0);
  // Built-in values stand until given and are not definitions.
  EXPECT_EQ(attribute_kind("Q", "APERTURE"), PAR_UNDEFINED);
  // They hold through evaluation.
  EXPECT_EQ(evaluate(), 0);
  EXPECT_EQ(attribute("H", "MU"), 1.399999976158142);
}

TEST(Elements, VerticalGapAndFringeFollowTheHorizontalOnes) {
  ASSERT_EQ(load("B1: SBEND, L=1, ANGLE=0.1, HGAP=0.02\n"
                 "B2: SBEND, L=1, HGAP=0.02, HGAPX=0.03, FINT=0.7, FINTX=0.1\n"
                 "B3: RBEND, L=1, HGAP=G, FINT=2*F\nG = 0.025\nF = 0.3\n"
                 "B4: WIGGLER, L=1\n"),
            0);
  EXPECT_EQ(attribute("B1", "HGAPX"), 0.02);
  EXPECT_EQ(attribute("B1", "FINTX"), 0.5);
  EXPECT_EQ(attribute("B2", "HGAPX"), 0.03);
  EXPECT_EQ(attribute("B2", "FINTX"), 0.1);
  EXPECT_EQ(attribute("B4", "HGAPX"), 0.0);
  EXPECT_EQ(evaluate(), 0);
  // Written as expressions, HGAP and FINT give their evaluated values to HGAPX and FINTX.
  EXPECT_EQ(attribute("B3", "HGAPX"), 0.025);
  EXPECT_EQ(attribute("B3", "FINTX"), 0.6);
}

TEST(Elements, TypeAndLabel) {
  ASSERT_EQ(load("Q1: QUADRUPO, TYPE=QFOCUSING, LABEL=ABCDEFGHIJKLMNOP, L=1\n"), 0);
  EXPECT_EQ(elmnam.type(1), Chars<4>("QFOC"));
  EXPECT_EQ(elmnam.label(1), Label14("ABCDEFGHIJKLMN"));
  EXPECT_EQ(attribute("Q1", "L"), 1.0);
  for (const char *deck :
       {"Q1: QUADRUPO, TYPE=, L=1\n", "Q1: QUADRUPO, LABEL=1A\n", "Q1: QUADRUPO, TYPE:5\n"}) {
    load(deck);
    EXPECT_EQ(elmdat.kind(1), -1) << deck;
    EXPECT_EQ(iodata.error_count, 1) << deck;
  }
  load("Q1: QUADRUPO, TYPE=, L=1\n");
  EXPECT_TRUE(contains(log_text(), " *** ERROR *** TYPE IDENTIFIER EXPECTED"));
  load("Q1: QUADRUPO, LABEL=1A\n");
  EXPECT_TRUE(contains(log_text(), " *** ERROR *** LABEL IDENTIFIER EXPECTED"));
}

TEST(Elements, WarningsKeepTheDefinitionGoing) {
  ASSERT_EQ(load("Q1: QUADRUPO, L=1, L=2, K5=1, TILT\n"
                 "X: FOO, L=1\n"
                 "Q2: QUADRUPO, L\n"
                 "M: MARKER, L=1\n"
                 "N: MARKER\n"),
            0);
  const std::string log = log_text();
  EXPECT_TRUE(contains(log, " ** WARNING ** MULTIPLE DEFINITION OF PARAMETER \"L\" --- PREVIOUS "
                            "VALUE USED"));
  EXPECT_TRUE(
      contains(log, " ** WARNING ** UNKNOWN PARAMETER KEYWORD \"K5\" --- PARAMETER IGNORED"));
  EXPECT_TRUE(
      contains(log, " ** WARNING ** UNKNOWN ELEMENT KEYWORD \"FOO\" --- \"DRIFT\" ASSUMED"));
  EXPECT_TRUE(contains(log, " ** WARNING ** \"=\" EXPECTED --- DEFAULT VALUE USED"));
  EXPECT_TRUE(
      contains(log, " ** WARNING ** UNKNOWN PARAMETER KEYWORD \"L\" --- PARAMETER IGNORED"));
  EXPECT_EQ(iodata.warning_count, 5);
  EXPECT_EQ(iodata.error_count, 0);
  EXPECT_EQ(attribute("Q1", "L"), 1.0);
  EXPECT_EQ(attribute("Q1", "TILT"), PI / 4); // the list went on after the warnings
  EXPECT_EQ(elmdat.kind(element_index("X")), KW_DRIFT);
  EXPECT_EQ(attribute("X", "L"), 1.0);
  EXPECT_EQ(attribute("Q2", "L"), 0.0);
  EXPECT_EQ(elmdat.kind(element_index("M")), KW_MARKER);
  EXPECT_EQ(elmdat.first(element_index("N")), 0);
  EXPECT_EQ(elmdat.last(element_index("N")), 0);
  // The marker of the "=" warning points at the character after the keyword.
  EXPECT_TRUE(contains(log, "0* LINE    3 * Q2: QUADRUPO, L\n * COLUMN 16 *                ?\n"));
}

TEST(Elements, RedefinitionWarnsWithTheLineOfFirstAppearance) {
  ASSERT_EQ(load("D: DRIFT, L=1\nX = 2\nQ1: QUADRUPO, L=1\nQ1: SEXTUPOL, L=3, K2=4\n"), 0);
  EXPECT_TRUE(contains(log_text(), "0* LINE    4 * Q1: SEXTUPOL, L=3, K2=4\n"
                                   " * COLUMN 13 *             ?\n"
                                   " ** WARNING ** THE ABOVE NAME WAS DEFINED IN LINE     3, IT "
                                   "WILL BE REDEFINED\n"));
  const int q = element_index("Q1");
  EXPECT_EQ(elmdat.kind(q), KW_SEXTUPOL);
  EXPECT_EQ(attribute("Q1", "K2"), 4.0);
  EXPECT_EQ(elmdat.def_line(q), 3);
  EXPECT_EQ(elmdat.low_count, 2);
}

TEST(Elements, ErrorsLeaveTheElementUndefined) {
  struct Case {
    const char *deck;
    const char *message;
  } cases[] = {
      {"QUADRUPO, , L=1", "*** ERROR *** ELEMENT NAME EXPECTED"},
      {"QUADRUPO Q1", "*** ERROR *** \",\" EXPECTED"},
      {"Q1: QUADRUPO, L=(1", "*** ERROR *** RIGHT PARENTHESIS MISSING"},
      {"Q1: QUADRUPO, , L=1", "*** ERROR *** PARAMETER KEYWORD EXPECTED"},
      {"Q1: QUADRUPO L=1", "*** ERROR *** ONE OF \",;\" EXPECTED"},
      {"Q1: QUADRUPO, L:1", "*** ERROR *** ONE OF \"=,;\" EXPECTED"},
  };
  for (const Case &c : cases) {
    load(std::string("Q1: QUADRUPO, L=7\n") + c.deck + "\nD: DRIFT\n");
    EXPECT_TRUE(contains(log_text(), c.message)) << c.deck << "\n" << log_text();
    EXPECT_EQ(iodata.error_count, 1) << c.deck;
    EXPECT_EQ(ioflag.scan_mode, 1) << c.deck;
    EXPECT_EQ(elmdat.kind(element_index("D")), KW_DRIFT) << c.deck; // parsing went on
  }
  // An expression error inside the list: the rest of the list is still read, the element
  // ends undefined, and a later reference by attribute finds no element.
  load("Q1: QUADRUPO, L=(1, K1=2, K1=3\nX = Q1[L]\n");
  EXPECT_EQ(elmdat.kind(element_index("Q1")), -1);
  EXPECT_TRUE(contains(log_text(), "MULTIPLE DEFINITION OF PARAMETER \"K1\""));
  EXPECT_TRUE(contains(log_text(), "*** ERROR *** UNKNOWN BEAM ELEMENT \"Q1\""));
}

TEST(Elements, LowerCaseInputAndBlanksInsideNames) {
  ASSERT_EQ(load("q 1 : quadrupole , l = 0 . 5 , k1 = - 1 E 1\ndrift, d1, l=2\n"), 0);
  EXPECT_EQ(elmdat.kind(element_index("Q1")), KW_QUADRUPO);
  EXPECT_EQ(attribute("Q1", "L"), 0.5);
  EXPECT_EQ(attribute("Q1", "K1"), -10.0);
  EXPECT_EQ(elmdat.kind(element_index("D1")), KW_DRIFT);
}
