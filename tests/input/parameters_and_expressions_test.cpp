// Parameters and expressions: compiled node shapes, precedence and associativity against an
// independent evaluation of random expression trees, ordering, guarded evaluation, errors.
#include "front_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

int index_of(std::string_view name) {
  for (int i = 1; i <= pardat.low_count; ++i)
    if (parnam.name(i) == Name8(name))
      return i;
  return 0;
}

// A random expression as text, with the value the language must give it. Right operands of
// equal precedence are parenthesised, so the text fixes the order of every operation and the
// value is exact, not merely close.
struct Expression {
  std::string text;
  double value;
  int precedence; // 3 primary, 2 product, 1 sum
};

class Generator {
public:
  explicit Generator(unsigned seed) : gen_(seed) {}

  Expression make(int depth) {
    const int choice = depth <= 0 ? 0 : pick(10);
    if (choice <= 2)
      return leaf();
    if (choice == 3)
      return function();
    const char op = "+-*/"[pick(4)];
    const Expression a = make(depth - 1), b = make(depth - 1);
    const int p = (op == '+' || op == '-') ? 1 : 2;
    const std::string left = a.precedence < p ? "(" + a.text + ")" : a.text;
    const std::string right = b.precedence <= p ? "(" + b.text + ")" : b.text;
    double v = 0.0;
    switch (op) {
    case '+':
      v = a.value + b.value;
      break;
    case '-':
      v = a.value - b.value;
      break;
    case '*':
      v = a.value * b.value;
      break;
    default:
      v = b.value == 0.0 ? 0.0 : a.value / b.value;
      break;
    }
    return {left + " " + op + " " + right, v, p};
  }

private:
  int pick(int n) { return static_cast<int>(gen_() % static_cast<unsigned>(n)); }

  Expression leaf() {
    static const char *numbers[] = {"1", "2", "0.5", "2.25", "3E-1", "7.", ".125", "1.5D1"};
    static const double values[] = {1, 2, 0.5, 2.25, 3E-1, 7., .125, 1.5e1};
    switch (pick(3)) {
    case 0: {
      const int k = pick(8);
      return {numbers[k], values[k], 3};
    }
    case 1: {
      const int k = pick(8);
      return {"(-" + std::string(numbers[k]) + ")", -values[k], 3};
    }
    default: {
      const int k = 1 + pick(3);
      return {"P" + std::to_string(k), static_cast<double>(k) / 4.0, 3};
    }
    }
  }

  Expression function() {
    const Expression a = make(1);
    switch (pick(4)) {
    case 0:
      return {"NEG(" + a.text + ")", -a.value, 3};
    case 1:
      return {"SIN(" + a.text + ")", std::sin(a.value), 3};
    case 2:
      return {"COS(" + a.text + ")", std::cos(a.value), 3};
    default:
      return {"(" + a.text + ")", a.value, 3};
    }
  }

  std::mt19937 gen_;
};

// Splits a long text over lines continued with "&"; words may be cut anywhere since blanks
// and line ends inside a command do not count.
std::string continued(const std::string &text) {
  std::string out;
  for (std::size_t p = 0; p < text.size(); p += 60)
    // A continuation line must not start in column 1: "(" or "*" there make a comment line.
    out += (p == 0 ? "" : " ") + text.substr(p, 60) + (p + 60 < text.size() ? " &\n" : "\n");
  return out;
}

} // namespace

TEST(Parameters, CompiledNodeShapes) {
  ASSERT_EQ(load("X = 5\nY = X\nZ = A + B*C\nW = -2\nV = -Q\n"), 0);
  const int x = index_of("X"), y = index_of("Y"), z = index_of("Z"), w = index_of("W");
  EXPECT_EQ(pardat.kind(x), PAR_CONSTANT);
  EXPECT_EQ(parval.value(x), 5.0);
  EXPECT_EQ(pardat.kind(y), PAR_EQUALS);
  EXPECT_EQ(pardat.left(y), 0);
  EXPECT_EQ(pardat.right(y), x);
  EXPECT_EQ(pardat.kind(z), PAR_ADD);
  EXPECT_EQ(pardat.left(z), index_of("A"));
  const int product = pardat.right(z);
  EXPECT_EQ(pardat.kind(product), PAR_MULTIPLY);
  EXPECT_EQ(parnam.name(product).str(), "*T" + std::to_string(product) + "*");
  EXPECT_EQ(pardat.kind(w), PAR_CONSTANT); // the number is negated in place
  EXPECT_EQ(parval.value(w), -2.0);
  EXPECT_EQ(pardat.kind(index_of("V")), PAR_NEGATE);
  // Only the intermediate product stays in the upper region; every other result was released.
  EXPECT_EQ(pardat.high_mark, MAXPAR);
  EXPECT_EQ(pardat.kind(index_of("A")), PAR_UNDEFINED);
  EXPECT_EQ(pardat.def_line(index_of("B")), 3);
}

TEST(Parameters, GeneratedConstantNames) {
  ASSERT_EQ(load("X = 1 + 2\n"), 0);
  const int x = index_of("X");
  EXPECT_EQ(parnam.name(pardat.left(x)), Name8("*C19000*"));
  EXPECT_EQ(parnam.name(pardat.right(x)), Name8("*C18999*"));
}

TEST(Parameters, RandomExpressionsEvaluateExactly) {
  Generator g(1994u);
  for (int round = 0; round < 40; ++round) {
    std::string deck;
    std::vector<double> expected;
    for (int i = 1; i <= 12; ++i) {
      const Expression e = g.make(4);
      deck += continued("E" + std::to_string(i) + " = " + e.text);
      expected.push_back(e.value);
    }
    // The parameters are defined after their use.
    deck += "P1 = 0.25\nP2 = 0.5\nP3 = 0.75\n";
    ASSERT_EQ(load(deck), 0) << deck;
    ASSERT_EQ(iodata.error_count, 0) << deck << log_text();
    EXPECT_EQ(evaluate(), 0);
    for (int i = 1; i <= 12; ++i)
      EXPECT_EQ(parameter("E" + std::to_string(i)), expected[static_cast<std::size_t>(i - 1)])
          << deck;
  }
}

TEST(Parameters, PrecedenceAndAssociativity) {
  ASSERT_EQ(load("A = 2+3*4\nB = 10-4-3\nC = 8/2/2\nD = -2*3\nE = -(1+2)*2\n"
                 "F = SQRT(16)+EXP(0)+SIN(0)+COS(0)\nG = NEG(2)-1\nH = 2*(-3)\nI = +4\n"
                 "J = LOG(1)\nK = (((1)))\nL = SQRT(-(-9))\n"),
            0);
  EXPECT_EQ(evaluate(), 0);
  EXPECT_EQ(parameter("A"), 14.0);
  EXPECT_EQ(parameter("B"), 3.0);
  EXPECT_EQ(parameter("C"), 2.0);
  EXPECT_EQ(parameter("D"), -6.0);
  EXPECT_EQ(parameter("E"), -6.0);
  EXPECT_EQ(parameter("F"), 6.0);
  EXPECT_EQ(parameter("G"), -3.0);
  EXPECT_EQ(parameter("H"), -6.0);
  EXPECT_EQ(parameter("I"), 4.0);
  EXPECT_EQ(parameter("J"), 0.0);
  EXPECT_EQ(parameter("K"), 1.0);
  EXPECT_EQ(parameter("L"), 3.0);
  EXPECT_EQ(iodata.warning_count, 0);
}

TEST(Parameters, ForwardReferencesAndRedefinitionsFollowAtEvaluation) {
  ASSERT_EQ(load("A = B + 1\nB = 2\nC = D * 2\nD = 1\nD = 3\nE = UNSET\n"
                 "LONGNAME1 = 1\nLONGNAME2 = 2\n"),
            0);
  EXPECT_EQ(evaluate(), 0);
  EXPECT_EQ(parameter("A"), 3.0);
  EXPECT_EQ(parameter("C"), 6.0); // the last definition wins
  EXPECT_EQ(parameter("E"), 0.0); // never defined: 0 without a message
  EXPECT_EQ(parameter("LONGNAME"), 2.0);
  const std::string log = log_text();
  EXPECT_TRUE(contains(log, "0* LINE    5 * D = 3\n * COLUMN  3 *   ?\n"
                            " ** WARNING ** THE ABOVE NAME WAS DEFINED IN LINE     4, IT WILL BE "
                            "REDEFINED\n"));
  EXPECT_TRUE(contains(log, "DEFINED IN LINE     7, IT WILL BE REDEFINED"));
  EXPECT_EQ(iodata.warning_count, 2);
  EXPECT_EQ(iodata.error_count, 0);
}

TEST(Parameters, CircularDefinitionsAreReportedOnceAndGiveZero) {
  ASSERT_EQ(load("A = B\nC = 7\nB = A\n"), 0);
  EXPECT_EQ(evaluate(), 1);
  EXPECT_EQ(parameter("A"), 0.0);
  EXPECT_EQ(parameter("B"), 0.0);
  EXPECT_EQ(parameter("C"), 7.0);
  EXPECT_EQ(iodata.error_count, 1);
  EXPECT_TRUE(contains(log_text(), "0*** ERROR *** CIRCULAR PARAMETER DEFINITION(S):\n"
                                   "               A        = EQUALS   (          , B        )\n"
                                   "               B        = EQUALS   (          , A        )\n"));
  // A second evaluation reports it again.
  EXPECT_EQ(evaluate(), 1);
  EXPECT_EQ(iodata.error_count, 2);
}

TEST(Parameters, GuardedArithmeticWarnsAndGivesZero) {
  ASSERT_EQ(load("X = 1/0\nS = SQRT(-1)\nL = LOG(0)\nM = LOG(-2)\nOK = 2*LOG(1)\nY = X + 1\n"), 0);
  EXPECT_EQ(evaluate(), 0);
  for (const char *name : {"X", "S", "L", "M", "OK"})
    EXPECT_EQ(parameter(name), 0.0) << name;
  EXPECT_EQ(parameter("Y"), 1.0);
  EXPECT_EQ(iodata.warning_count, 4);
  const std::string log = log_text();
  EXPECT_TRUE(contains(log, "0** WARNING ** DIVISION BY ZERO ATTEMPTED --- RESULT SET TO ZERO\n"
                            "               X        = DIVIDE   ( *C19000* , *C18999* )\n"));
  EXPECT_TRUE(contains(log, "0** WARNING ** SQUARE ROOT OF A NUMBER < 0.0 --- RESULT SET TO ZERO"));
  EXPECT_EQ(count_of(log, "0** WARNING ** LOGARITHM OF A NUMBER <= 0.0 --- RESULT SET TO ZERO"), 2);
}

TEST(Parameters, SyntaxErrorsLeaveTheTargetUndefined) {
  struct Case {
    const char *deck;
    const char *message;
    bool x_is_target;
  } cases[] = {
      {"X = 2*-3",
       "*** ERROR *** OPERAND MUST BE NUMBER, PARAMETER NAME, FUNCTION CALL, OR "
       "EXPRESSION IN \"()\"",
       true},
      {"X = (1+2", "*** ERROR *** RIGHT PARENTHESIS MISSING", true},
      {"X = 1+2)", "*** ERROR *** UNBALANCED RIGHT PARENTHESIS", true},
      {"X = FOO(1)", "*** ERROR *** UNKNOWN FUNCTION \"FOO\"", true},
      {"X = 1 Y", "*** ERROR *** \";\" EXPECTED", true},
      {"X = --1", "*** ERROR *** OPERAND MUST BE", true},
      {"X := 1.2.3", "*** ERROR *** INCORRECT REAL VALUE", true},
      {"PARAMETER, X 5", "*** ERROR *** \"=\" EXPECTED", false}, // the name read is X5
      {"PARAMETER; Y = 5", "*** ERROR *** \",\" EXPECTED", false},
      {"PARAMETER, = 5", "*** ERROR *** PARAMETER NAME EXPECTED", false},
  };
  for (const Case &c : cases) {
    load(std::string("X = 9\n") + c.deck + "\n");
    EXPECT_TRUE(contains(log_text(), c.message)) << c.deck << "\n" << log_text();
    EXPECT_EQ(iodata.error_count, 1) << c.deck;
    EXPECT_EQ(ioflag.scan_mode, 1) << c.deck;
    const int x = index_of("X");
    EXPECT_EQ(pardat.kind(x), c.x_is_target ? PAR_UNDEFINED : PAR_CONSTANT) << c.deck;
    EXPECT_EQ(parval.value(x), c.x_is_target ? 0.0 : 9.0) << c.deck;
  }
  // Blanks do not separate words: PARAMETER X reads as one word, cut to PARAMETE, whose "="
  // makes it the name of a parameter.
  ASSERT_EQ(load("PARAMETER X = 5\n"), 0);
  EXPECT_EQ(pardat.kind(index_of("PARAMETE")), PAR_CONSTANT);
}

TEST(Parameters, ElementAttributeReferences) {
  ASSERT_EQ(load("Q1: QUADRUPO, L=0.5, K1=1.2\n"
                 "X = Q1[L]*2 + Q1[ APERTURE ]\n"
                 "PARAMETER, Q1[K1] = X\n"
                 "B: SBEND, L=2, ANGLE=Q1[K1]/10\n"),
            0);
  EXPECT_TRUE(contains(log_text(), "** WARNING ** THE ABOVE NAME WAS DEFINED IN LINE     1, IT "
                                   "WILL BE REDEFINED"));
  EXPECT_EQ(evaluate(), 0);
  EXPECT_EQ(parameter("X"), 2.0);
  EXPECT_EQ(attribute("Q1", "K1"), 2.0);
  EXPECT_EQ(attribute("B", "ANGLE"), 0.2);

  for (const char *deck : {"Q1: QUADRUPO\nX = Q1[K5]\n", "Q1: QUADRUPO\nPARAMETER, Q1[K5] = 1\n"}) {
    load(deck);
    EXPECT_TRUE(contains(log_text(), "*** ERROR *** UNKNOWN ELEMENT PARAMETER \"Q1[K5]\""));
  }
  load("X = NOPE[L]\n");
  EXPECT_TRUE(contains(log_text(), "*** ERROR *** UNKNOWN BEAM ELEMENT \"NOPE\""));
  load("M: MARKER\nX = M[L]\n");
  EXPECT_TRUE(contains(log_text(), "*** ERROR *** UNKNOWN ELEMENT PARAMETER \"M[L]\""));
  load("Q1: QUADRUPO\nX = Q1[]\n");
  EXPECT_TRUE(contains(log_text(), "*** ERROR *** PARAMETER KEYWORD EXPECTED"));
  load("Q1: QUADRUPO\nX = Q1[L\n");
  EXPECT_TRUE(contains(log_text(), "*** ERROR *** \"]\" EXPECTED"));
}

TEST(Parameters, EvaluationOrderPutsOperandsFirst) {
  ASSERT_EQ(load("A = B*C + D\nB = C - 1\nC = D / 2\nD = 8\nQ: QUADRUPO, L = A/10, K1 = -B\n"), 0);
  int error = 0;
  parord(error);
  ASSERT_EQ(error, 0);
  std::vector<int> position(MAXPAR + 1, 0);
  int n = 0;
  for (int i = parlst.head; i != 0; i = parlst.link(i))
    position[static_cast<std::size_t>(i)] = ++n;
  for (int i = parlst.head; i != 0; i = parlst.link(i)) {
    for (int operand : {pardat.left(i), pardat.right(i)})
      if (operand > 0 && pardat.kind(operand) >= 1) {
        EXPECT_LT(position[static_cast<std::size_t>(operand)],
                  position[static_cast<std::size_t>(i)]);
      }
  }
  parevl();
  EXPECT_EQ(parameter("A"), 12.0 + 8.0);
  EXPECT_EQ(attribute("Q", "L"), 2.0);
  EXPECT_EQ(attribute("Q", "K1"), -3.0);
}

TEST(Parameters, FullTableStopsEvenInTheRecoverableErrorMode) {
  start_reader("");
  cinter.mode = 1; // the error stop would return here
  pardat.low_count = MAXPAR - 1;
  pardat.high_mark = MAXPAR;
  try {
    parcon(1, 2.0);
    FAIL() << "no stop";
  } catch (const RunEnd &end) {
    EXPECT_EQ(end.code, 9);
  }
  EXPECT_EQ(pardat.high_mark, MAXPAR);
  EXPECT_THROW(fndpar(1, Name8("NEW")), RunEnd);
  EXPECT_EQ(pardat.low_count, MAXPAR - 1);
}
