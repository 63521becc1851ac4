// The minimiser library sees the program's precision constants, and its termination codes are
// reported with their texts and the error stop.
#include "common/minimiser.h"

#include "common/control.h"
#include "common/halt.h"
#include "harness.h"

#include <cminpack.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace vorax;

namespace {

// Residual x - 3 for one variable; remembers the points of the difference quotients.
std::vector<double> jacobian_points;

int shifted(void *, int, int, const double *x, double *fvec, int iflag) {
  if (iflag == 2)
    jacobian_points.push_back(x[0]);
  fvec[0] = x[0] - 3.0;
  return 0;
}

} // namespace

TEST(Minimiser, DynamicLinkerBindsTheProgramsPrecisionConstants) {
  using Dpmpar = double (*)(int);
  auto resolved = reinterpret_cast<Dpmpar>(dlsym(RTLD_DEFAULT, "dpmpar"));
  ASSERT_NE(resolved, nullptr);
  EXPECT_EQ(resolved, &dpmpar);
  EXPECT_EQ(resolved(1), 1e-15);
  EXPECT_EQ(resolved(2), 1e-300);
  EXPECT_EQ(resolved(3), 1e+300);
}

TEST(Minimiser, DifferenceStepOfTheLibraryFollowsTheProgramsPrecision) {
  // With epsfcn = 0 the library steps each variable by sqrt(epsmch) |x|; the exact double
  // precision would give sqrt(2.2e-16) = 1.5e-8 instead of sqrt(1e-15) = 3.2e-8.
  double x = 1.0, fvec = 0.0, fjac = 0.0, diag = 0.0, qtf = 0.0;
  double wa1 = 0.0, wa2 = 0.0, wa3 = 0.0, wa4 = 0.0;
  int nfev = 0, ipvt = 0;
  jacobian_points.clear();
  const int info = lmdif(shifted, nullptr, 1, 1, &x, &fvec, 1e-10, 1e-10, 0.0, 100, 0.0, &diag, 1,
                         100.0, 0, &nfev, &fjac, 1, &ipvt, &qtf, &wa1, &wa2, &wa3, &wa4);
  EXPECT_GE(info, 1);
  EXPECT_NEAR(x, 3.0, 1e-9);
  ASSERT_FALSE(jacobian_points.empty());
  EXPECT_NEAR(jacobian_points.front() - 1.0, std::sqrt(1e-15), 1e-15);
}

TEST(Minimiser, TerminationCodesPrintTheirMeaningAtPrintLevelThree) {
  test::start_in_memory();
  lmdmes(5, 40);
  lmdmes(3, 7);
  const std::string out = test::listing_text();
  EXPECT_TRUE(test::contains(out, " LMDIF: NUMBER OF CALLS TO FUNCTION HAS MET OR EXCEEDED MAXFEV\n"
                                  " THE NUMBER OF FUNCTION CALLS WAS :     40\n"));
  EXPECT_TRUE(test::contains(out, " LMDIF: THIS IS YOUR LUCKY DAY!\n"));

  test::start_in_memory();
  control.print_level = 2;
  for (int info = 1; info <= 8; ++info)
    lmdmes(info, 1);
  EXPECT_EQ(test::listing_text(), "");
}

TEST(Minimiser, ImproperInputStopsWithError310) {
  test::start_in_memory();
  control.print_level = 0; // the stop is reported whatever the print level
  try {
    lmdmes(0, 0);
    FAIL() << "lmdmes returned";
  } catch (const RunEnd &end) {
    EXPECT_EQ(end.code, 310);
  }
  const std::string out = test::listing_text();
  EXPECT_TRUE(test::contains(out, " LMDIF: IMPROPER INPUT PARAMETERS:\n"));
  EXPECT_TRUE(test::contains(out, "LMDIF:INFORM"));
}
