// What vorax-import does with the input as a whole: statements skipped with one warning each
// where they stand, bad input refused with its place and no deck written, values set with "="
// kept as the other code keeps them, and names that VORAX can read and the user can join back.
#include "import_fixture.h"

#include "input/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>

using namespace vorax::test;

namespace {

const std::string CELL = "q: quadrupole, l = 1, k1 = 0.1;\n"
                         "s: sequence, l = 3;\n  q, at = 1.5;\nendsequence;\n";

} // namespace

TEST(ImportInput, SkippedStatementsWarnOnceWhereTheyStand) {
  const Import clean = import_text(CELL);
  EXPECT_EQ(clean.status, 0) << clean.terminal;
  EXPECT_FALSE(contains(clean.terminal, "warning:"));

  const Import run = import_text(CELL + "title, \"a cell\";\n"                   // 5
                                        "select, flag = twiss, column = name;\n" // 6
                                        "match, sequence = s;\n"                 // 7
                                        "  vary, name = k;\n  lmdif;\nendmatch;\n"
                                        "if (x > 1) {\n" // 11
                                        "  q->k1 = 2;\n} else {\n  q->k1 = 3;\n}\n"
                                        "mymacro: macro = { twiss; };\n" // 16
                                        "seqedit, sequence = s;\n"       // 17
                                        "  flatten;\nendedit;\n"
                                        "option, -echo, rbarc = false;\n"); // 20
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(count_of(run.terminal, "warning:"), 7) << run.terminal;
  for (const char *w :
       {"lattice.madx:5: warning: TITLE skipped", "lattice.madx:6: warning: SELECT skipped",
        "lattice.madx:7: warning: MATCH ... ENDMATCH skipped", "lattice.madx:11: warning: IF block",
        "lattice.madx:16: warning: macro MYMACRO skipped", "lattice.madx:17: warning: SEQEDIT",
        "lattice.madx:20: warning: OPTION ECHO skipped"})
    EXPECT_TRUE(contains(run.terminal, w)) << w << "\n" << run.terminal;
  // The deck is written all the same: the skipped statements changed nothing.
  EXPECT_EQ(run.deck, clean.deck);
}

TEST(ImportInput, BadInputIsAnErrorAtItsPlaceAndNoDeckIsWritten) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"call, file = \"nothere.madx\";\n" + CELL,
       "lattice.madx:1: error: cannot read nothere.madx"},
      {CELL + "k = (1 + 2;\n", "lattice.madx:5: error: in the value of K: \")\" expected"},
      {"q: quad, l = 1;\n" + CELL, "lattice.madx:1: error: undefined element class QUAD"},
      {CELL + "l: line = (q, nothere);\nuse, period = l;\n",
       "lattice.madx:5: error: undefined element or line NOTHERE"},
      {CELL + "use, sequence = nothere;\n",
       "lattice.madx:5: error: undefined sequence or line NOTHERE"},
      {"q: quadrupole, l = 1;\ns: sequence, l = 3;\n  q, at = 1;\n  q, at = 1.5;\nendsequence;\n",
       "lattice.madx:4: error: Q overlaps Q by 0.5 m"},
      {"s: sequence, l = 3;\n  q: quadrupole, l = 1, at = 1;\n", "SEQUENCE S is not ended"},
      {CELL + "x = table(summ, q1);\nq, k1 := x;\n",
       "lattice.madx:5: error: a TABLE look-up has no value"},
  };
  for (const auto &[madx, message] : cases) {
    SCOPED_TRACE(madx);
    const Import run = import_files({{"lattice.madx", madx}, {"deck.vx", "old\n"}},
                                    {"lattice.madx", "-o", "deck.vx", "--names", "names.tfs"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.terminal, message)) << run.terminal;
    // The deck of an earlier run is left as it was, and nothing else is written.
    EXPECT_EQ(run.files.at("deck.vx"), "old\n");
    EXPECT_EQ(run.files.size(), 2u);
    EXPECT_TRUE(run.deck.empty());
  }
  const Import missing = import_files({}, {"missing.madx"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(contains(missing.terminal, "missing.madx:0: error: cannot read missing.madx"));
  EXPECT_EQ(
      import_files({{"lattice.madx", CELL}}, {"lattice.madx", "--sequence", "nothere"}).status, 2);
  EXPECT_EQ(import_files({{"lattice.madx", CELL}}, {"lattice.madx", "-o", "lattice.madx"}).status,
            2);
}

TEST(ImportInput, ValuesSetWithEqualsKeepTheValueOfTheirMoment) {
  const Import run = import_text("b = 2;\n"
                                 "a = b*3;\n"     // nothing it uses changes: the formula stays
                                 "c = d + 1;\n"   // d is set afterwards: c stays 1
                                 "c2 := d + 1;\n" // deferred: follows d
                                 "d = 5;\n"
                                 "int n = 7.9;\n"
                                 "const k = 1;\nk = 2;\n"
                                 "q: quadrupole, l = 1, k1 = a + c + c2 + n + k + e^2;\n"
                                 "l: line = (q);\n");
  EXPECT_EQ(run.status, 1) << run.terminal; // the constant is not set again
  EXPECT_TRUE(contains(run.terminal, "lattice.madx:8: warning: the constant K is not set again"));
  for (const char *line : {"A = B*3\n", "C = 1\n", "C2 = D + 1\n", "N = 7\n", "K = 1\n"})
    EXPECT_TRUE(contains(run.deck, line)) << line << run.deck;
  // The quadrupole's K1 was evaluated when it was set (C2 was 6 then): VORAX finds that value.
  EXPECT_NEAR(slots_of(run.deck, 1).at(1), 6 + 1 + 6 + 7 + 1 + std::exp(2.0), 1e-13);
}

TEST(ImportInput, NamesAreShortUniqueStableAndJoinBack) {
  const std::string madx = R"(kqf.a12b1 := 0.1; kqf.a12b2 := 0.1;
mq: quadrupole, l = 1;   mqs: mq;
mq.12r1.b1: mq, k1 := kqf.a12b1;   mq.13r1.b1: mq, k1 := kqf.a12b1;
mq.12r1.b2: mq, k1 := kqf.a12b2;   mq_12r1_b1: mq, k1 := 0.2;
bpm.12r1.b1: monitor;  bpm.13r1.b1: monitor;  ip1: marker;  ip1.l1: marker;
long.sequence.name: sequence, l = 20, refer = entry;
  ip1, at = 0;
  mq.12r1.b1, at = 1;  bpm.12r1.b1, at = 2;
  mq.13r1.b1, at = 5;  bpm.13r1.b1, at = 6;
  mq.12r1.b2, at = 9;  mq_12r1_b1, at = 12; ip1.l1, at = 14;
endsequence;
)";
  const Import first = import_text(madx, {"--names", "names.tfs"});
  ASSERT_EQ(first.status, 0) << first.terminal;
  EXPECT_EQ(import_text(madx, {"--names", "names.tfs"}).deck, first.deck);
  // Every line fits in 80 columns; every name VORAX reads is 8 characters at most.
  for (const std::string &line : lines_of(first.deck))
    EXPECT_LE(line.size(), 80u) << line;
  ParsedTfs names;
  ASSERT_EQ(parse_tfs(first.files.at("names.tfs"), names), "");
  std::map<std::string, std::set<std::string>> vorax_of;
  for (std::size_t r = 0; r < names.rows.size(); ++r)
    if (!names.text(r, "MADX_NAME").empty())
      vorax_of[names.text(r, "MADX_NAME")].insert(names.text(r, "NAME"));
  // The two quadrupoles of one strength are one element named after their class; the others
  // and the named places keep names of their own.
  EXPECT_EQ(vorax_of["MQ.12R1.B1"], (std::set<std::string>{"MQ"}));
  EXPECT_EQ(vorax_of["MQ.13R1.B1"], (std::set<std::string>{"MQ"}));
  std::set<std::string> distinct;
  for (const char *n :
       {"MQ.12R1.B2", "MQ_12R1_B1", "BPM.12R1.B1", "BPM.13R1.B1", "IP1", "IP1.L1"}) {
    ASSERT_EQ(vorax_of[n].size(), 1u) << n;
    const std::string v = *vorax_of[n].begin();
    EXPECT_LE(v.size(), 8u);
    EXPECT_TRUE(distinct.insert(v).second) << v;
  }
  EXPECT_EQ(*vorax_of["IP1"].begin(), "IP1");
  // The deck runs, and its positions are those of the table.
  const DeckRun run = run_deck(first.deck + "VORAX\nOUTP\n 1;\nSTOP\n");
  EXPECT_EQ(run.status, 0) << run.log;
  EXPECT_EQ(names.rows.size(), 14u);
}

// The manual's example: each MAD-X file of docs/import.md, imported under the name its deck
// gives in its second line, is the VORAX deck that follows it (which tests/docs runs).
TEST(ImportManual, EachExampleImportsToTheDeckShownBesideIt) {
  std::ifstream file(std::string(VORAX_SOURCE_DIR) + "/docs/import.md");
  std::string line, madx, vorax, *open = nullptr;
  int examples = 0;
  const auto check = [&] {
    const std::vector<std::string> deck = lines_of(vorax);
    ASSERT_GT(deck.size(), 2u);
    const std::string name = deck[1].substr(3);
    const Import run = import_files({{name, madx}}, {name});
    EXPECT_EQ(run.status, 0) << run.terminal;
    EXPECT_EQ(run.deck, vorax);
    ++examples;
    madx.clear();
  };
  while (std::getline(file, line)) {
    if (!open && line == "```madx") {
      open = &madx;
    } else if (!open && line == "```vorax" && !madx.empty()) {
      vorax.clear();
      open = &vorax;
    } else if (open && line == "```") {
      if (open == &vorax)
        check();
      open = nullptr;
    } else if (open) {
      *open += line + "\n";
    }
  }
  EXPECT_GE(examples, 1);
}

// Expressions outside VORAX's language (a sign after an operator, powers, functions it lacks)
// are rewritten; VORAX's value of each parameter is the value of the MAD-X expression.
TEST(ImportInput, RewrittenExpressionsKeepTheirValues) {
  const std::vector<std::pair<std::string, double>> cases = {
      {"2*-3", -6},
      {"-2^2", -4},
      {"2^-1", 0.5},
      {"1 - (2 - 3)", 2},
      {"8/(4/2) + 8/4/2", 5},
      {"-(1 + 2)*3", -9},
      {"abs(-1.5) + tan(0.3)", 1.5 + std::tan(0.3)},
      {"cosh(0.5) + log10(1000)", std::cosh(0.5) + 3},
      {"invsqrt(4) - atan2(1, 2)", 0.5 - std::atan2(1.0, 2.0)},
      {"1.5^0.5 + sinh(0.2) + floor(2.7)", std::sqrt(1.5) + std::sinh(0.2) + 2},
      {"twopi/4 + raddeg*180 - e", 3.141592653589793 * 1.5 - std::exp(1.0)},
      {"x1*x2 - -x3^2", -6.0 * -4.0 - -(0.5 * 0.5)},
      {"beam->pc*2 + beam->brho", 14 + 7 / 0.299792458},
  };
  std::string madx;
  std::string sum = "0";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    madx += "x" + std::to_string(i + 1) + " := " + cases[i].first + ";\n";
    sum += " + x" + std::to_string(i + 1);
  }
  madx += "q: quadrupole, l = 1, k1 := " + sum + ";\nl: line = (q);\n";
  madx += "beam, particle = proton, pc = 7;\n";
  const Import run = import_text(madx);
  ASSERT_EQ(run.status, 0) << run.terminal;
  const DeckRun deck = run_deck(run.deck + "VORAX\nOUTP\n 1;\nSTOP\n");
  ASSERT_EQ(deck.status, 0) << deck.log;
  std::map<std::string, double> values;
  for (int i = 1; i <= vorax::pardat.low_count; ++i)
    values[std::string(vorax::parnam.name(i).trimmed())] = vorax::parval.value(i);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].first);
    const std::string name = "X" + std::to_string(i + 1);
    ASSERT_EQ(values.count(name), 1u) << run.deck;
    EXPECT_NEAR(values[name], cases[i].second, 1e-15 * std::fmax(1.0, std::fabs(cases[i].second)));
  }
}
