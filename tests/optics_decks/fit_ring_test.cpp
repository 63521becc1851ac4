// Whole-deck fits of a FODO ring: tunes by SIMP and by LEAS (with a beta condition) against an
// independent model of the cell matrices, a coupled family of opposite strength, approach
// schedules, a varied length, a periodic start that follows the fitted lattice, and the
// chromaticity corrected by two sextupole families.
#include "fit_model.h"
#include "support/decks.h"

#include <gtest/gtest.h>

#include <regex>

using namespace vorax::test;
using namespace fitmodel;

namespace {

const std::string &RING = vorax::test::FIT_FODO_RING;

constexpr double NUX = 0.62, NUY = 0.48; // fractional tunes; whole tunes 1.62 and 1.48

std::vector<Element> cell(double kf, double kd) {
  return {{QUAD, 0.5, kf}, {DRIFT, 2.0}, {QUAD, 0.5, -kd}, {DRIFT, 2.0}};
}

std::vector<Element> ring_of(const std::vector<Element> &c) {
  std::vector<Element> ring;
  for (int n = 0; n < 8; ++n)
    ring.insert(ring.end(), c.begin(), c.end());
  return ring;
}

// How far the cell's half-trace in the plane is from that of a ring of 8 cells with the whole
// tune 1 + nu.
double cell_residual(const std::vector<Element> &c, int plane, double nu) {
  const M3 m = line_matrix(c, plane);
  return (m[0][0] + m[1][1]) / 2 - std::cos(2 * PI * (1 + nu) / 8);
}

std::array<double, 2> tune_residual(double kf, double kd) {
  return {cell_residual(cell(kf, kd), 1, NUX), cell_residual(cell(kf, kd), 2, NUY)};
}

// The analysis block of the last periodic analysis printed for the plane ("HORIZONTAL" or
// "VERTICAL").
std::string last_analysis(const std::string &listing, const std::string &plane) {
  const std::size_t p = listing.rfind(plane + " MOVEMENT ANALYSIS");
  return p == std::string::npos ? "" : listing.substr(p);
}

void expect_parameter_lines(const std::string &listing) {
  // "  PARAMETER # ",I3," OF ",A8," = ",E22.14
  const std::regex line(R"(  PARAMETER # +\d{1,3} OF .{8} = +-?0\.\d{14}E[+-]\d\d)");
  int lines = 0;
  for (const std::string &l : lines_of(listing))
    if (l.rfind("  PARAMETER #", 0) == 0) {
      EXPECT_TRUE(std::regex_match(l, line)) << l;
      EXPECT_EQ(l.size(), 14u + 3 + 4 + 8 + 3 + 22) << l;
      ++lines;
    }
  EXPECT_GT(lines, 0);
}

} // namespace

TEST(FitRing, SimpReachesTheTunesOfTheCellModelAndLeavesThemInForce) {
  double kf = 0.9, kd = 0.9;
  ASSERT_TRUE(solve2(tune_residual, kf, kd));
  const DeckRun run = run_deck(RING + R"(SIMP
 0 6 2
QF K1 0.001
QD K1 0.001
 2 0.62 12 0.48
 0
MATR
 1 -1 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  EXPECT_TRUE(contains(run.listing, "\n THE FITTED PARAMETERS ARE :\n"));
  expect_parameter_lines(run.listing);
  EXPECT_NEAR(last_number_after(run.listing, "OF QF       ="), kf, 1e-10);
  EXPECT_NEAR(last_number_after(run.listing, "OF QD       ="), -kd, 1e-10);
  // The analysis that MATR prints afterwards sees the fitted gradients.
  const std::size_t matr = run.listing.rfind("   MATR");
  ASSERT_NE(matr, std::string::npos);
  const std::string after = run.listing.substr(matr);
  EXPECT_NEAR(number_after(last_analysis(after, "HORIZONTAL"), "NU ="), NUX, 1e-12);
  EXPECT_NEAR(number_after(last_analysis(after, "VERTICAL"), "NU ="), NUY, 1e-12);
}

TEST(FitRing, LeasReachesTheSameTunesWithTheModelsBeta) {
  double kf = 0.9, kd = 0.9;
  ASSERT_TRUE(solve2(tune_residual, kf, kd));
  const Twiss start = periodic(line_matrix(ring_of(cell(kf, kd)), 1));
  char beta[40];
  std::snprintf(beta, sizeof beta, "%.15f", start.beta);
  const DeckRun run = run_deck(RING + R"(LEAS
 1 3 2 3 0 0 0 0 0 0 0 0
QF K1 0
QD K1 0
 2 0.62 1
 12 0.48 1
 6 )" + beta + R"( 1
 0
MATR
 1 -1 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  expect_parameter_lines(run.listing);
  EXPECT_NEAR(last_number_after(run.listing, "OF QF       ="), kf, 1e-9);
  EXPECT_NEAR(last_number_after(run.listing, "OF QD       ="), -kd, 1e-9);
  EXPECT_LT(last_number_after(run.listing, "THE FIT FUNCTION VALUE IS :"), 1e-9);
  const std::string after = run.listing.substr(run.listing.rfind("   MATR"));
  EXPECT_NEAR(number_after(last_analysis(after, "HORIZONTAL"), "BETA ="), start.beta, 1e-8);
  // One report per iteration, and the requested targets once.
  EXPECT_EQ(count_of(run.listing, "  FITTED PARAMETERS VALUES"), 4);
  EXPECT_EQ(count_of(run.listing, " THE REQUESTED FINAL VALUES ARE :"), 1);
}

TEST(FitRing, CoupledFamilyWithCoefficientMinusOneStaysOpposite) {
  // One varied gradient drives the other as -1 times itself: a symmetric FODO whose
  // horizontal tune alone is fitted.
  double k = 0.9, unused = 0.0;
  const auto residual = [](double a, double b) {
    return std::array<double, 2>{cell_residual(cell(a, a), 1, NUX), b};
  };
  ASSERT_TRUE(solve2(residual, k, unused));
  const DeckRun run = run_deck(RING + R"(SIMP
 0 6 1
QF K1 0.001
 2 0.62
 1
QF K1 1
QD K1 -1.0 0.0
MATR
 1 -1 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  const double qf = last_number_after(run.listing, "OF QF       =");
  const double qd = last_number_after(run.listing, "OF QD       =");
  EXPECT_NEAR(qf, k, 1e-10);
  EXPECT_EQ(qd, -qf);
  // Both planes of a symmetric FODO have the same tune.
  const std::string after = run.listing.substr(run.listing.rfind("   MATR"));
  EXPECT_NEAR(number_after(last_analysis(after, "VERTICAL"), "NU ="), NUX, 1e-12);
}

TEST(FitRing, LeasDrivenGradientFollowsItsVariable) {
  // QD is driven as -1.1 times the varied QF gradient; only the horizontal tune is fitted.
  double k = 0.9, unused = 0.0;
  const auto residual = [](double a, double b) {
    return std::array<double, 2>{cell_residual(cell(a, 1.1 * a), 1, NUX), b};
  };
  ASSERT_TRUE(solve2(residual, k, unused));
  const DeckRun run = run_deck(RING + R"(LEAS
 1 3 1 1 0 0 0 0 0 0 0 0
QF K1 0
 2 0.62 1
 1
QF
 1
QD K1 -1.1 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  const double qf = last_number_after(run.listing, "OF QF       =");
  EXPECT_NEAR(qf, k, 1e-9);
  EXPECT_NEAR(last_number_after(run.listing, "OF QD       ="), -1.1 * qf, 1e-13);
}

TEST(FitRing, ApproachStepsAndShrinkingStepsBothReachTheTunes) {
  double kf = 0.9, kd = 0.9;
  ASSERT_TRUE(solve2(tune_residual, kf, kd));
  // NS = 4, NE = 0: four steps at a quarter, a third, a half and all of the remaining distance,
  // with the steps as given. NS = 0, NE = 3: Newton steps with steps shrinking by 5 each time.
  // The last of the four approach steps is a single Newton step with the coarse difference
  // step, so it lands within its truncation error; three shrinking steps converge fully.
  const std::pair<const char *, double> schedules[] = {{" 4 0 2", 1e-3}, {" 0 3 2", 1e-9}};
  for (const auto &[schedule, tolerance] : schedules) {
    const DeckRun run = run_deck(RING + "SIMP\n" + schedule + R"(
QF K1 0.001
QD K1 0.001
 2 0.62 12 0.48
 0 ;
STOP
)");
    ASSERT_EQ(run.status, 0) << run.listing;
    EXPECT_NEAR(last_number_after(run.listing, "OF QF       ="), kf, tolerance) << schedule;
    EXPECT_NEAR(last_number_after(run.listing, "OF QD       ="), -kd, tolerance) << schedule;
  }
}

TEST(FitRing, VariedDriftLengthEntersThePathLengths) {
  // The drift length sets the tune; a fit that did not recompute the path lengths would see no
  // change at all and stop on a singular Jacobian.
  double length = 2.0, unused = 0.0;
  const auto residual = [](double l, double b) {
    const std::vector<Element> c{{QUAD, 0.5, 0.9}, {DRIFT, l}, {QUAD, 0.5, -0.9}, {DRIFT, l}};
    return std::array<double, 2>{cell_residual(c, 1, NUX), b};
  };
  ASSERT_TRUE(solve2(residual, length, unused));
  const DeckRun run = run_deck(RING + R"(SIMP
 0 5 1
D L 0.001
 2 0.62
 0
OUTP
 2 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  EXPECT_NEAR(last_number_after(run.listing, "PARAMETER #   1 OF D        ="), length, 1e-9);
  // The fit recomputes the lengths silently; only the engine start reported one.
  EXPECT_EQ(count_of(run.listing, " TOTAL LENGTH OF MACHINE IS:"), 1);
}

TEST(FitRing, PeriodicStartFollowsTheLatticeBeingFitted) {
  // Start value 0: the lattice functions at a fit point come from the periodic solution of the
  // gradients under trial, so beta x after the first QD of the fitted ring is the model's.
  double kf = 0.9, kd = 0.9;
  ASSERT_TRUE(solve2(tune_residual, kf, kd));
  const auto c = cell(kf, kd);
  const Twiss start = periodic(line_matrix(ring_of(c), 1));
  const std::vector<Element> to_qd(c.begin(), c.begin() + 3);
  const double beta = propagate(start, line_matrix(to_qd, 1)).beta;
  char text[40];
  std::snprintf(text, sizeof text, "%.15f", beta);
  const DeckRun run = run_deck(RING + R"(SETF
 1
QD
LEAS
 1 3 2 3 0 0 0 0 0 0 0 0
QF K1 0
QD K1 0
 2 0.62 1
 12 0.48 1
 31 )" + text + R"( 1
 0 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  EXPECT_NEAR(last_number_after(run.listing, "OF QF       ="), kf, 1e-9);
  EXPECT_NEAR(last_number_after(run.listing, "OF QD       ="), -kd, 1e-9);
  EXPECT_LT(last_number_after(run.listing, "THE FIT FUNCTION VALUE IS :"), 1e-9);
}

TEST(FitRing, FittedParametersGoToTheEchoFileWhateverThePrintLevel) {
  const DeckRun run = run_deck(RING + R"(OUTP
 0
SIMP
 0 3 2
QF K1 0.001
QD K1 0.001
 2 0.62 12 0.48
 0
LEAS
 1 1 2 2 0 0 0 0 0 0 0 0
QF K1 0
QD K1 0
 2 0.62 1
 12 0.48 1
 0 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  EXPECT_FALSE(contains(run.listing, "  PARAMETER #"));
  EXPECT_TRUE(contains(run.log, " THE FITTED PARAMETERS ARE :"));
  EXPECT_TRUE(contains(run.log, "  FITTED PARAMETERS VALUES"));
  EXPECT_EQ(count_of(run.log, "  PARAMETER #   2 OF QF       ="), 1 + 2); // SIMP, two LEAS steps
  EXPECT_TRUE(contains(run.log, "  THE FIT FUNCTION VALUE IS :"));
}

TEST(FitRing, TwoSextupoleFamiliesCorrectTheChromaticity) {
  // Short sextupoles beside the quadrupoles and weak bends for dispersion. The model's
  // chromaticity is linear in the sextupole strengths; its solution must match the fit to the
  // neglected chromatic term of the bends (relative 1e-4).
  const double kf = 0.7, kd = 0.7, angle = 0.005;
  const auto ring = [&](double sf, double sd) {
    return ring_of({{QUAD, 0.5, kf},
                    {SEXT, 0.2, 0, sf},
                    {DRIFT, 0.3},
                    {SBEND, 2.0, 0, 0, angle},
                    {DRIFT, 0.3},
                    {QUAD, 0.5, -kd},
                    {SEXT, 0.2, 0, sd},
                    {DRIFT, 0.3},
                    {SBEND, 2.0, 0, 0, angle},
                    {DRIFT, 0.3}});
  };
  double xi0[2], df[2], dd[2];
  for (int plane = 1; plane <= 2; ++plane) {
    xi0[plane - 1] = chromaticity(ring(0, 0), plane);
    df[plane - 1] = chromaticity(ring(1, 0), plane) - xi0[plane - 1];
    dd[plane - 1] = chromaticity(ring(0, 1), plane) - xi0[plane - 1];
  }
  const double det = df[0] * dd[1] - dd[0] * df[1];
  const double sf = (-xi0[0] * dd[1] + dd[0] * xi0[1]) / det;
  const double sd = (-df[0] * xi0[1] + xi0[0] * df[1]) / det;

  const DeckRun run = run_deck(R"(TITLE
CHROMATICITY
QF: QUADRUPOLE, L=0.5, K1=0.7
QD: QUADRUPOLE, L=0.5, K1=-0.7
SF: SEXTUPOLE, L=0.2, K2=0
SD: SEXTUPOLE, L=0.2, K2=0
B: SBEND, L=2.0, ANGLE=0.005
D: DRIFT, L=0.3
CELL: LINE=(QF,SF,D,B,D,QD,SD,D,B,D)
RING: LINE=(8*CELL)
USE, RING
VORAX
SIMP
 0 3 2
SF K2 1.0
SD K2 1.0
 8 0.0 18 0.0
 0 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  EXPECT_NEAR(last_number_after(run.listing, "OF SF       ="), sf, 5e-4 * std::abs(sf));
  EXPECT_NEAR(last_number_after(run.listing, "OF SD       ="), sd, 5e-4 * std::abs(sd));
  // The final analysis is of second order and shows both chromaticities gone.
  EXPECT_NEAR(number_after(last_analysis(run.listing, "HORIZONTAL"), "CHROMATICITY   ="), 0.0,
              1e-8);
  EXPECT_NEAR(number_after(last_analysis(run.listing, "VERTICAL"), "CHROMATICITY   ="), 0.0, 1e-8);
}
