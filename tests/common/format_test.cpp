// Fortran edit descriptors: widths, rounding, exponent forms and overflow asterisks.
#include "common/format.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vorax;

TEST(Format, IntegerRightJustifiedAndStarsOnOverflow) {
  EXPECT_EQ(fI(42, 5), "   42");
  EXPECT_EQ(fI(-42, 5), "  -42");
  EXPECT_EQ(fI(0, 3), "  0");
  EXPECT_EQ(fI(123456, 5), "*****");
  EXPECT_EQ(fI(-1234, 4), "****");
  EXPECT_EQ(fI(10000, 5), "10000");
}

TEST(Format, FixedPointRoundsAndKeepsLeadingZeroWhenItFits) {
  EXPECT_EQ(fF(3.14159, 10, 4), "    3.1416");
  EXPECT_EQ(fF(0.5, 6, 4), "0.5000");
  EXPECT_EQ(fF(0.5, 5, 4), ".5000");
  EXPECT_EQ(fF(-0.5, 6, 4), "-.5000");
  EXPECT_EQ(fF(-0.5, 7, 4), "-0.5000");
  EXPECT_EQ(fF(12345.678, 10, 3), " 12345.678");
  EXPECT_EQ(fF(123456.7, 8, 3), "********");
  EXPECT_EQ(fF(0.0, 11, 3), "      0.000");
  EXPECT_EQ(fF(7.0, 5, 0), "   7.");
  EXPECT_EQ(fF(3.141592653589793, 19, 16), " 3.1415926535897931");
}

TEST(Format, ExponentFormHasZeroPointMantissa) {
  EXPECT_EQ(fE(1.0, 15, 7), "  0.1000000E+01");
  EXPECT_EQ(fE(-1.0, 15, 7), " -0.1000000E+01");
  EXPECT_EQ(fE(0.0, 15, 7), "  0.0000000E+00");
  EXPECT_EQ(fE(299792458.0, 17, 10), " 0.2997924580E+09");
  EXPECT_EQ(fE(0.00051099906, 12, 4), "  0.5110E-03");
  EXPECT_EQ(fE(1.5e-3, 21, 14), " 0.15000000000000E-02");
  // Rounding that carries into a new decade.
  EXPECT_EQ(fE(9.99999999, 12, 4), "  0.1000E+02");
  // Three-digit exponents drop the letter; four digits do not fit.
  EXPECT_EQ(fE(1.0e100, 12, 4), "  0.1000+101");
  EXPECT_EQ(fE(1.0e-120, 12, 4), "  0.1000-119");
  // Without room for the leading zero it is dropped; with less room, asterisks.
  EXPECT_EQ(fE(-1.0, 10, 4), "-.1000E+01");
  EXPECT_EQ(fE(-1.0, 9, 4), "*********");
  EXPECT_EQ(fD(2.5, 12, 4), "  0.2500D+01");
}

TEST(Format, NonFiniteValues) {
  EXPECT_EQ(fE(std::nan(""), 10, 3), "       NaN");
  EXPECT_EQ(fF(INFINITY, 10, 3), "  Infinity");
  EXPECT_EQ(fF(-INFINITY, 4, 1), "-Inf");
  EXPECT_EQ(fE(INFINITY, 2, 1), "**");
}

TEST(Format, CharacterFieldsAreRightJustifiedOrCut) {
  EXPECT_EQ(fA("QF", 4), "  QF");
  EXPECT_EQ(fA("QUADRUPOLE", 8), "QUADRUPO");
  EXPECT_EQ(fA("ABCDEFGH", 8), "ABCDEFGH");
  EXPECT_EQ(blanks(3), "   ");
  EXPECT_EQ(repeat('*', 4), "****");
}
