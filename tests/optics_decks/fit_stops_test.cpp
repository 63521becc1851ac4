// Fit data that cannot be fitted end the run with a message and their stop code: wrong counts,
// unknown or unsupported conditions, missing fit points or beam, unstable motion, a singular
// Jacobian, improper minimiser input and bad SETF names.
#include "fit_model.h"

#include <gtest/gtest.h>

using namespace vorax::test;

namespace {

const std::string RING = R"(TITLE
FIT STOPS
QF: QUADRUPOLE, L=0.5, K1=0.9
QD: QUADRUPOLE, L=0.5, K1=-0.9
D: DRIFT, L=2.0
M: MARKER
LONE: MARKER
CELL: LINE=(QF,D,QD,D)
RING: LINE=(M,8*CELL)
USE, RING
VORAX
)";

struct Stop {
  int code;
  std::string listing;
};

Stop run_stop(const std::string &operations) {
  const DeckRun run = run_deck(RING + operations + "STOP\n");
  EXPECT_EQ(run.status, 1) << run.listing;
  return {static_cast<int>(number_after(run.listing, "HALTING WITH ERROR NUMBER :")), run.listing};
}

// A LEAS of one variable and the given condition records.
std::string leas(int nc, const std::string &conditions, const std::string &head = " 1 2 1 ") {
  return "LEAS\n" + head + std::to_string(nc) + " 10 0 0 0 10 0 0 0\nQF K1 0\n" + conditions +
         " 0 ;\n";
}

} // namespace

TEST(FitStops, SimpDataOutsideItsTables) {
  std::string eleven = "SIMP\n 0 2 11\n";
  for (int i = 0; i < 11; ++i)
    eleven += "QF K1 0.001\n";
  Stop s = run_stop(eleven);
  EXPECT_EQ(s.code, 0);
  EXPECT_TRUE(contains(s.listing, " IS NOT BETWEEN 1 AND 10")) << s.listing;

  for (const char *code : {"28", "31"}) {
    s = run_stop("SIMP\n 0 2 1\nQF K1 0.001\n " + std::string(code) + " 3.0\n 0 ;\n");
    EXPECT_EQ(s.code, 0);
    EXPECT_TRUE(contains(s.listing, "IS NOT A CODE OF 1 TO 27")) << s.listing;
  }
}

TEST(FitStops, SimpCouplingOfAParameterThatIsNotVaried) {
  const Stop s = run_stop("SIMP\n 0 2 1\nQF K1 0.001\n 2 0.62\n 1\nQD K1 1\nQF K1 -1 0\n");
  EXPECT_EQ(s.code, 257);
  EXPECT_TRUE(
      contains(s.listing, " ELEMENT NAME AND PARAMETER # IS NOT IN BASE LIST OF VARIED ELEMENTS"));
  EXPECT_TRUE(contains(s.listing, "FIT: WRONG ELEM PARM"));
}

TEST(FitStops, SimpOnAnUnstableMachine) {
  const DeckRun run = run_deck(R"(TITLE
UNSTABLE
QF: QUADRUPOLE, L=0.5, K1=3.0
QD: QUADRUPOLE, L=0.5, K1=-3.0
D: DRIFT, L=2.0
CELL: LINE=(QF,D,QD,D)
RING: LINE=(8*CELL)
USE, RING
VORAX
SIMP
 0 2 1
QF K1 0.001
 2 0.62
 0 ;
STOP
)");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.listing, "   UNSTABLE MOTION ENCOUNTERED DURING FIT COMPUTATION"));
  EXPECT_EQ(number_after(run.listing, "HALTING WITH ERROR NUMBER :"), 258);
}

TEST(FitStops, SimpWithAConditionThatNoVariedParameterMoves) {
  // The aperture does not enter the map: the Jacobian is exactly zero.
  const Stop s = run_stop("SIMP\n 0 2 1\nQF APERTURE 0.001\n 2 0.62\n 0 ;\n");
  EXPECT_EQ(s.code, 320);
  EXPECT_TRUE(contains(s.listing, " SIMP: SINGULAR JACOBIAN AT STEP    1")) << s.listing;
  EXPECT_TRUE(contains(s.listing, "SIMEQ:SING SET OF EQ"));
}

TEST(FitStops, LeasCountsBeyondItsTables) {
  Stop s = run_stop("LEAS\n 1 2 51 1 10 0 0 0 10 0 0 0\n");
  EXPECT_EQ(s.code, 0);
  EXPECT_TRUE(
      contains(s.listing, "  TOO MANY VARIABLES, MAXIMUM IS :    50 CHANGE PARAMETER MXLVAR"));
  s = run_stop("LEAS\n 1 2 1 101 10 0 0 0 10 0 0 0\n");
  EXPECT_EQ(s.code, 0);
  EXPECT_TRUE(
      contains(s.listing, "  TOO MANY VARIABLES, MAXIMUM IS :   100 CHANGE PARAMETER MXLCND"));
}

TEST(FitStops, LeasConditionsWithoutASource) {
  // Codes that name no value, and results of computations the fit cannot run.
  for (const char *code : {" 62", " 170", " 93", " 275", " 288", " 1050"}) {
    const Stop s = run_stop(leas(1, std::string(code) + " 1 1\n"));
    EXPECT_EQ(s.code, 0) << code;
    EXPECT_TRUE(contains(s.listing, "  CONDITION CODE")) << code;
  }
}

TEST(FitStops, LeasConditionsAtFitPointsThatDoNotExist) {
  Stop s = run_stop(leas(1, " 1031 1 1\n"));
  EXPECT_EQ(s.code, 255);
  EXPECT_TRUE(contains(s.listing, "  NO SECOND FITPOINT WAS DEFINED, JOB STOPPED"));
  s = run_stop(leas(1, " 31 1 1\n"));
  EXPECT_EQ(s.code, 255);
  EXPECT_TRUE(contains(s.listing, "  NO FIRST FITPOINT WAS DEFINED, JOB STOPPED"));
  // A beam condition needs a beam defined by BEAM.
  s = run_stop("SETF\n 1\nM\n" + leas(1, " 71 1 1\n"));
  EXPECT_EQ(s.code, 260);
}

TEST(FitStops, LeasDrivenListOfAnElementThatIsNotVaried) {
  const Stop s = run_stop("LEAS\n 1 2 1 1 10 0 0 0 10 0 0 0\nQF K1 0\n 2 0.62 1\n 1\nQD\n 1\n"
                          "QF K1 -1\n");
  EXPECT_EQ(s.code, 259);
  EXPECT_TRUE(contains(s.listing, "  ELEMENT NAME QD       NOT IN BASE ELEMENT LIST"));
}

TEST(FitStops, LeasWithoutEvaluationBudgetIsImproperInput) {
  // N2 = 0 gives the minimiser no function calls.
  const Stop s = run_stop(leas(1, " 2 0.62 1\n", " 1 0 1 "));
  EXPECT_EQ(s.code, 310);
  EXPECT_TRUE(contains(s.listing, " LMDIF: IMPROPER INPUT PARAMETERS:"));
  EXPECT_TRUE(contains(s.listing, " THE NUMBER OF FUNCTION CALLS WAS :"));
}

TEST(FitStops, SetfNames) {
  Stop s = run_stop("SETF\n 3\nM QF QD\n");
  EXPECT_EQ(s.code, 256);
  EXPECT_TRUE(contains(s.listing, "  TOO MANY FITPOINTS :"));
  s = run_stop("SETF\n 1\nNOWHERE\n");
  EXPECT_EQ(s.code, 256);
  EXPECT_TRUE(contains(s.listing, "  FITNAME IS NOT IN NAMELIST :NOWHERE"));
  s = run_stop("SETF\n 2\nM LONE\n");
  EXPECT_EQ(s.code, 256);
  EXPECT_TRUE(contains(s.listing, "  FITNAME IS NOT IN MACHINE LIST :LONE"));
  EXPECT_TRUE(contains(s.listing, "FIT:NO FITPT MATCH"));
}

TEST(FitStops, CoupledListsHoldFiveParametersBesideTheVariedOne) {
  std::string simp = "SIMP\n 0 2 1\nQF K1 0.001\n 2 0.62\n 1\nQF K1 6\n";
  for (int r = 0; r < 6; ++r)
    simp += "QD K1 -1 0\n";
  Stop s = run_stop(simp);
  EXPECT_EQ(s.code, 0);
  EXPECT_TRUE(contains(s.listing, " SIMP: MORE THAN 5 COUPLED PARAMETERS"));
  std::string lsq = "LEAS\n 1 2 1 1 10 0 0 0 10 0 0 0\nQF K1 0\n 2 0.62 1\n 1\nQF\n 6\n";
  for (int r = 0; r < 6; ++r)
    lsq += "QD K1 -1\n";
  s = run_stop(lsq);
  EXPECT_EQ(s.code, 0);
  EXPECT_TRUE(contains(s.listing, "  MORE THAN 5 DRIVEN PARAMETERS FOR ONE VARIABLE"));
}
