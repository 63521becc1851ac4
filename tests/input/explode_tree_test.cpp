// EXPLODE's indented tree of the expanded machine and the run-time format fields behind it.
#include "lines_tables.h"

#include <gtest/gtest.h>

#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

TEST(Explode, FormWritesTwoCharacterCounts) {
  std::string f = "(5X,nnX,nn(A8,1X))";
  form(7, 5, f);
  EXPECT_EQ(f, "(5X, 7X,nn(A8,1X))");
  form(0, 9, f);
  EXPECT_EQ(f, "(5X, 7X, 0(A8,1X))");
  form(42, 5, f);
  form(150, 9, f); // beyond two digits the field holds its largest value
  EXPECT_EQ(f, "(5X,42X,99(A8,1X))");
  form(3, 40, f); // outside the text: nothing is written
  EXPECT_EQ(f, "(5X,42X,99(A8,1X))");
}

TEST(Explode, NestedLinesAreIndentedAndNamesFillRowsByDepth) {
  start_in_memory();
  for (int i = 1; i <= 10; ++i)
    element("E" + std::to_string(i), KW_DRIFT);
  const int a = element("ALPHA", KW_QUADRUPO);
  const int m = beam_line("M");
  set_body(m, list_of({named(a, 9)}));
  const int l = beam_line("L");
  set_body(l, list_of({named(1), named(2), named(m),
                       sub(list_of({named(3), named(4), named(5), named(6), named(7), named(8),
                                    named(9), named(10)}),
                           1),
                       named(1), named(2)}));
  ASSERT_EQ(expand_line(l).error, 0);
  xplode();
  // Depth 1: (75 - 2) / 8 = 9 names a row; depth 2: 71 / 8 = 8.
  EXPECT_EQ(listing_text(), " @L\n"
                            "       E1       E2\n"
                            "   @M\n"
                            "         ALPHA    ALPHA    ALPHA    ALPHA    ALPHA    ALPHA    "
                            "ALPHA    ALPHA\n"
                            "         ALPHA\n"
                            "   *M\n"
                            "       E3       E4       E5       E6       E7       E8       E9       "
                            "E10      E1\n"
                            "       E2\n"
                            " *L\n");
}

TEST(Explode, NothingWithoutAMachineAndOneNameARowWhenDeeplyNested) {
  start_in_memory();
  xplode();
  EXPECT_EQ(listing_text(), "");

  const int e = element("E", KW_DRIFT);
  constexpr int DEPTH = 60;
  int inner = beam_line("L1");
  set_body(inner, list_of({named(e, 2)}));
  for (int d = 2; d <= DEPTH; ++d) {
    const int outer = beam_line("L" + std::to_string(d));
    set_body(outer, list_of({named(inner)}));
    inner = outer;
  }
  ASSERT_EQ(expand_line(inner).error, 0);
  xplode();
  const auto lines = lines_of(listing_text());
  ASSERT_EQ(lines.size(), 2u * DEPTH + 2);
  // The innermost elements stand one a row, indented by the capped 99 columns.
  EXPECT_EQ(lines[DEPTH], std::string(5 + 99, ' ') + "E");
  EXPECT_EQ(lines[DEPTH + 1], lines[DEPTH]);
  EXPECT_EQ(lines.back(), " *L60");
}

} // namespace
