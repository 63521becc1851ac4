// The iterative expansion of beam lines and the binding of actual arguments, on tables built
// directly: order, repetition, reflection, markers, formals, and every failure message.
#include "lines_tables.h"

#include "input/reader.h"

#include <gtest/gtest.h>

using namespace vorax;
using namespace vorax::test;

namespace {

class Expansion : public ::testing::Test {
protected:
  void SetUp() override { start_in_memory(); }
};

TEST_F(Expansion, ReflectedLinesKeepTheirMarkersAndNestedReflectionsCancel) {
  const int a = element("A", KW_DRIFT);
  const int b = element("B", KW_DRIFT);
  const int c = element("C", KW_DRIFT);
  const int m = beam_line("M");
  set_body(m, list_of({named(a), named(b)}));
  const int l = beam_line("L");
  set_body(l, list_of({named(m, -2), named(c)}));
  EXPECT_EQ(expand_line(l).text, "@L @M B A *M @M B A *M C *L");

  // -( -(A, B), C): the outer reflection runs C first, the inner pair is reflected twice.
  const int r = beam_line("R");
  set_body(r, list_of({sub(list_of({sub(list_of({named(a), named(b)}), -1), named(c)}), -1)}));
  EXPECT_EQ(expand_line(r).text, "@R C A B *R");

  // Repetition inside a reflected, repeated line: -2*(A, 3*B, M).
  const int s = beam_line("S");
  set_body(s, list_of({sub(list_of({named(a), named(b, 3), named(m)}), -2)}));
  EXPECT_EQ(expand_line(s).text, "@S @M B A *M B B B A @M B A *M B B B A *S");
  EXPECT_TRUE(heads_idle());
}

TEST_F(Expansion, LinesUsedAgainAfterCompletionAreNotSelfReferences) {
  const int a = element("A", KW_DRIFT);
  const int cell = beam_line("CELL");
  set_body(cell, list_of({named(a)}));
  const int arc = beam_line("ARC");
  set_body(arc, list_of({named(cell, 2), named(cell)}));
  const int ring = beam_line("RING");
  set_body(ring, list_of({named(arc, 2)}));
  auto x = expand_line(ring);
  EXPECT_EQ(x.error, 0);
  EXPECT_EQ(x.count, 6);
  EXPECT_EQ(x.length, 2 + 2 * (2 + 3 * 3));
  EXPECT_EQ(iodata.error_count, 0);
}

TEST_F(Expansion, SelfReferenceDirectAndIndirectFailsAndLeavesHeadsIdle) {
  const int a = element("A", KW_DRIFT);
  const int l = beam_line("L");
  set_body(l, list_of({named(a), named(l)}));
  auto x = expand_line(l);
  EXPECT_EQ(x.error, 1);
  EXPECT_EQ(x.first, 0);
  EXPECT_EQ(x.last, 0);
  const std::string log = log_text();
  EXPECT_TRUE(contains(log, "0*** ERROR *** THE BEAM LINE \"L\" REFERS TO ITSELF\n"));
  EXPECT_TRUE(contains(log, "0*** ERROR *** EXPANSION OF \"L\" FAILED\n"));
  EXPECT_FALSE(contains(log, "EXPANDED"));
  EXPECT_EQ(iodata.error_count, 2);
  EXPECT_TRUE(heads_idle());

  const int p = beam_line("P");
  const int q = beam_line("Q");
  set_body(p, list_of({named(a), named(q)}));
  set_body(q, list_of({sub(list_of({named(p)}), 2)}));
  EXPECT_EQ(expand_line(p).error, 1);
  EXPECT_EQ(count_of(log_text(), "THE BEAM LINE \"P\" REFERS TO ITSELF"), 2); // once per pass
  EXPECT_TRUE(heads_idle());
}

TEST_F(Expansion, UndefinedMembersAreReportedEachTimeAndTheRestStillExpands) {
  const int a = element("A", KW_DRIFT);
  const int ghost = undefined_name("GHOST");
  const int l = beam_line("L");
  set_body(l, list_of({named(ghost), named(a), named(ghost, -2)}));
  EXPECT_EQ(expand_line(l).error, 1);
  EXPECT_EQ(count_of(log_text(),
                     "0*** ERROR *** UNDEFINED ELEMENT \"GHOST\" ENCOUNTERED DURING EXPANSION"),
            2);
  EXPECT_EQ(iodata.error_count, 3);
  EXPECT_EQ(seqnum.value(2), a); // the expansion went on past the first fault
}

TEST_F(Expansion, FormalsAreBoundInDeclarationOrderWithRepetitionAndReflection) {
  const int q1 = element("Q1", KW_QUADRUPO);
  const int d = element("D", KW_DRIFT);
  const int a = element("A", KW_DRIFT);
  const int b = element("B", KW_DRIFT);
  std::vector<int> f_formals;
  const int f = beam_line("F", &f_formals, {"X", "Y"});
  ASSERT_EQ(f_formals.size(), 2u);
  set_body(f, list_of({named(f_formals[0]), named(f_formals[1]), named(f_formals[0])}));
  auto x = expand_line(f, list_of({named(q1), named(d, 2)}));
  EXPECT_EQ(x.error, 0);
  EXPECT_EQ(x.text, "@F Q1 D D Q1 *F");

  // A reflected formal bound to a list, and a list bound to a reflected member.
  x = expand_line(
      f, list_of({sub(list_of({named(a), named(b)})), sub(list_of({named(a), named(b)}), -1)}));
  EXPECT_EQ(x.text, "@F A B B A A B *F");

  // A formal passed on as the actual argument of another line.
  std::vector<int> g_formals;
  const int g = beam_line("G", &g_formals, {"Z"});
  set_body(
      g, list_of({named(f, 1, list_of({named(g_formals[0], -1), named(d)})), named(g_formals[0])}));
  x = expand_line(g, list_of({sub(list_of({named(a), named(b)}))}));
  EXPECT_EQ(x.error, 0);
  EXPECT_EQ(x.text, "@G @F B A D B A *F A B *G");
  EXPECT_TRUE(heads_idle());
}

TEST_F(Expansion, ArgumentMismatchesInsideALineSkipTheMemberAndTheRestIsStillChecked) {
  const int a = element("A", KW_DRIFT);
  const int plain = beam_line("PLAIN");
  set_body(plain, list_of({named(a)}));
  std::vector<int> formals;
  const int f = beam_line("F", &formals, {"X", "Y"});
  set_body(f, list_of({named(formals[0]), named(formals[1])}));
  const int outer = beam_line("OUTER");
  set_body(outer, list_of({named(f), named(plain, 1, list_of({named(a)})),
                           named(f, 1, list_of({named(a), named(a), named(a)}))}));
  EXPECT_EQ(expand_line(outer).error, 1);
  const std::string log = log_text();
  EXPECT_TRUE(contains(log, "0*** ERROR *** ACTUAL ARGUMENT LIST IS MISSING FOR LINE \"F\"\n"));
  EXPECT_TRUE(contains(log, "ACTUAL ARGUMENT LIST IS REDUNDANT FOR LINE \"PLAIN\"\n"));
  EXPECT_TRUE(contains(log, "TOO MANY ACTUAL ARGUMENTS FOUND FOR LINE \"F\"\n"));
  EXPECT_EQ(iodata.error_count, 4);
  EXPECT_TRUE(heads_idle());
}

TEST_F(Expansion, MarkersStayDistinctForLinesBeyondTheFirstThousandNames) {
  for (int i = 1; i <= 1200; ++i)
    element("E" + std::to_string(i), KW_DRIFT);
  const int inner = beam_line("INNER");
  set_body(inner, list_of({named(1)}));
  const int outer = beam_line("OUTER");
  set_body(outer, list_of({named(inner), named(2)}));
  EXPECT_EQ(expand_line(outer).text, "@OUTER @INNER E1 *INNER E2 *OUTER");
}

} // namespace
