// What LEAS reports through whole decks: a fitted ring without a periodic solution is a failure
// said as such, and the intermediate targets follow the approach schedule up to iteration N1.
#include "harness.h"
#include "support/decks.h"
#include "support/listings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace vorax::test;

namespace {

const std::string &FODO = vorax::test::FIT_FODO_RING;

const std::string WARNING =
    "\n  **** WARNING : THE FITTED MACHINE HAS NO PERIODIC SOLUTION, THE FIT HAS FAILED ****\n";

std::string leas_on_tune(double target) {
  return FODO + R"(LEAS
 1 3 1 1 0 0 0 0 0 0 0 0
QF K1 0
 2 )" + std::to_string(target) +
         R"( 1
 0,
MATR
 1 -1 ;
STOP
)";
}

} // namespace

TEST(LeastSquaresReport, FittedRingWithoutPeriodicSolutionIsReportedAsAFailure) {
  // A fractional tune of 0 is out of reach of a stable ring, but an unstable analysis leaves
  // the tune at 0: the minimiser ends there with a fit function of 0.
  const DeckRun failed = run_deck(leas_on_tune(0.0));
  ASSERT_EQ(failed.status, 0) << failed.listing;
  const std::string &l = failed.listing;
  EXPECT_EQ(last_number_after(l, "  THE FIT FUNCTION VALUE IS :"), 0.0);
  EXPECT_EQ(count_of(l, WARNING), 1);
  const std::size_t at = l.find(WARNING);
  ASSERT_NE(at, std::string::npos);
  // After the last report of the fit, naming the plane and its half-trace, which the analysis
  // that MATR prints afterwards confirms.
  EXPECT_EQ(l.find("  THE FIT FUNCTION VALUE IS :", at), std::string::npos);
  const std::string reason = lines_of(l.substr(at + WARNING.size()))[0];
  ASSERT_EQ(reason.rfind("  HORIZONTAL MOVEMENT IS UNSTABLE, HALF-TRACE =", 0), 0u) << reason;
  const double half_trace = number_after(reason, "HALF-TRACE =");
  EXPECT_GE(std::fabs(half_trace), 1.0);
  const std::size_t matr = l.find("    HORIZONTAL MOVEMENT ANALYSIS", at);
  ASSERT_NE(matr, std::string::npos);
  EXPECT_TRUE(contains(l.substr(matr, 80), "MOVEMENT IS UNSTABLE"));
  EXPECT_EQ(number_after(l.substr(matr), "  HALF-TRACE ="), half_trace);
  EXPECT_FALSE(contains(l, "  VERTICAL MOVEMENT IS UNSTABLE"));
  // The echo file, which receives the fitted values, receives the warning too.
  EXPECT_TRUE(contains(failed.log, WARNING));

  // The same fit towards a tune the ring can have ends without it.
  const DeckRun fitted = run_deck(leas_on_tune(0.62));
  ASSERT_EQ(fitted.status, 0) << fitted.listing;
  EXPECT_LT(last_number_after(fitted.listing, "  THE FIT FUNCTION VALUE IS :"), 1e-9);
  EXPECT_FALSE(contains(fitted.listing, "WARNING"));
}

TEST(LeastSquaresReport, TargetsApproachByAThirdThenHalvesUntilIterationN1) {
  // N1 = 5, N2 = 1 on a transfer line fitted to R11 (whose periodic analysis plays no part,
  // so no warning whatever it is): divisors 3, 2, 2, 2, then 1 at iterations 5 and 6, each
  // measured from the values achieved before it.
  const DeckRun run = run_deck(R"(TITLE
ONE QUADRUPOLE
D: DRIFT, L=1.0
Q1: QUADRUPOLE, L=0.3, K1=0.5
BL: LINE=(D,Q1,D)
USE, BL
VORAX
LEAS
 5 1 1 1 10 0 0 0 10 0 0 0
Q1 K1 0
 110 0.2 1
 0 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  const std::string &l = run.listing;
  double achieved = number_after(l, "  THE INITIAL VALUES ARE :");
  const double target = 0.2;
  const int divisors[] = {3, 2, 2, 2, 1, 1};
  for (int step = 1; step <= 6; ++step) {
    const std::string label = " REQUESTED VALUES AT STEP :   " + std::to_string(step);
    const std::size_t p = l.find(label);
    ASSERT_NE(p, std::string::npos) << step;
    const double requested = number_after(l.substr(p + label.size()), "\n");
    EXPECT_NEAR(requested, achieved - (achieved - target) / divisors[step - 1], 2e-7) << step;
    achieved = number_after(l.substr(p), " ACHIEVED VALUES");
    EXPECT_NEAR(achieved, requested, 1e-6) << step;
  }
  EXPECT_NEAR(achieved, target, 1e-6);
  EXPECT_FALSE(contains(l, "WARNING"));
}
