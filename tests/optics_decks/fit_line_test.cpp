// Whole-deck least-squares fits of transfer lines: R and T coefficients, lattice functions at a
// fit point, beam-matrix differences between two fit points, SETL limits, and the approach of
// the targets; all checked against an independent model of the line.
#include "fit_model.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace vorax::test;
using namespace fitmodel;

namespace {

std::string num(double v) {
  char s[40];
  std::snprintf(s, sizeof s, "%.15E", v);
  return s;
}

std::vector<Element> four_quad_line(const std::array<double, 4> &k) {
  return {{DRIFT, 1},        {QUAD, 0.3, k[0]}, {DRIFT, 1},        {QUAD, 0.3, k[1]}, {DRIFT, 1},
          {QUAD, 0.3, k[2]}, {DRIFT, 1},        {QUAD, 0.3, k[3]}, {DRIFT, 1}};
}

// R11, R12, R34 and T126 (= dR12/d delta) of the line.
std::array<double, 4> line_coefficients(const std::array<double, 4> &k) {
  const auto line = four_quad_line(k);
  const M3 x = line_matrix(line, 1), y = line_matrix(line, 2);
  const double h = 1e-6;
  const double t126 = (line_matrix(line, 1, h)[0][1] - line_matrix(line, 1, -h)[0][1]) / (2 * h);
  return {x[0][0], x[0][1], y[0][1], t126};
}

// Beta x after a drift of 1 m and a 0.3 m quadrupole of gradient k, from beta 10, alpha 0.
double beta_after_first_quad(double k) {
  Twiss t{10.0, 0.0, 0.0, 0.0};
  t = propagate(t, slice_matrix({DRIFT, 1.0}, 1.0, 1));
  return propagate(t, slice_matrix({QUAD, 0.3, k}, 0.3, 1)).beta;
}

// One quadrupole between two drifts.
const std::string ONE_QUAD = R"(TITLE
ONE QUADRUPOLE
D: DRIFT, L=1.0
Q1: QUADRUPOLE, L=0.3, K1=0.5
BL: LINE=(D,Q1,D)
USE, BL
VORAX
)";

} // namespace

TEST(FitLine, LeasMatchesRCoefficientsAndAChromaticTerm) {
  const std::array<double, 4> truth{1.1, -1.3, 0.9, -0.6};
  const auto target = line_coefficients(truth);
  const DeckRun run = run_deck(R"(TITLE
LINE MATCH
D: DRIFT, L=1.0
Q1: QUADRUPOLE, L=0.3, K1=1.0
Q2: QUADRUPOLE, L=0.3, K1=-1.2
Q3: QUADRUPOLE, L=0.3, K1=1.0
Q4: QUADRUPOLE, L=0.3, K1=-0.5
BL: LINE=(D,Q1,D,Q2,D,Q3,D,Q4,D)
USE, BL
VORAX
LEAS
 1 6 4 4 10 0 0 0 10 0 0 0
Q1 K1 0
Q2 K1 0
Q3 K1 0
Q4 K1 0
 110 )" + num(target[0]) + R"( 1
 120 )" + num(target[1]) + R"( 1
 340 )" + num(target[2]) + R"( 1
 126 )" + num(target[3]) + R"( 1
 0 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  std::array<double, 4> k{};
  for (int q = 0; q < 4; ++q)
    k[static_cast<std::size_t>(q)] =
        last_number_after(run.listing, "OF Q" + std::to_string(q + 1) + "       =");
  // The gradients found need not be the ones the targets came from; the model must see the
  // requested coefficients at them.
  const auto got = line_coefficients(k);
  for (int c = 0; c < 4; ++c)
    EXPECT_NEAR(got[static_cast<std::size_t>(c)], target[static_cast<std::size_t>(c)], 1e-8) << c;
}

TEST(FitLine, FitPointIsTheFirstPositionOfItsElement) {
  // M stands at positions 3 and 6; beta x at the first M depends on Q1 alone.
  const double truth = 1.0;
  const double beta = beta_after_first_quad(truth);
  const DeckRun run = run_deck(R"(TITLE
FIT POINT
D: DRIFT, L=1.0
M: MARKER
Q1: QUADRUPOLE, L=0.3, K1=0.8
Q2: QUADRUPOLE, L=0.3, K1=-0.8
BL: LINE=(D,Q1,M,D,Q2,M,D)
USE, BL
VORAX
SETF
 1
M
LEAS
 1 4 1 1 10 0 0 0 10 0 0 0
Q1 K1 0
 31 )" + num(beta) + R"( 1
 0 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  EXPECT_NEAR(last_number_after(run.listing, "OF Q1       ="), truth, 1e-8);
}

TEST(FitLine, BeamMatrixDifferenceBetweenTwoFitPoints) {
  // Condition 1071: sigma11 at M2 minus sigma11 at M1; only Q2 lies between them.
  const double truth = -0.9;
  const auto sigma11 = [](const std::vector<Element> &line) {
    const M3 m = line_matrix(line, 1);
    return m[0][0] * m[0][0] * 1e-6 + m[0][1] * m[0][1] * 1e-8;
  };
  const std::vector<Element> to_m1{{DRIFT, 1}, {QUAD, 0.3, 0.8}};
  std::vector<Element> to_m2 = to_m1;
  to_m2.insert(to_m2.end(), {{DRIFT, 1}, {QUAD, 0.3, truth}, {DRIFT, 1}});
  const double difference = sigma11(to_m2) - sigma11(to_m1);
  // Fit point 2 may also stand before fit point 1: the difference then changes sign.
  for (const bool reversed : {false, true}) {
    const DeckRun run = run_deck(R"(TITLE
BEAM DIFFERENCE
D: DRIFT, L=1.0
M1: MARKER
M2: MARKER
Q1: QUADRUPOLE, L=0.3, K1=0.8
Q2: QUADRUPOLE, L=0.3, K1=-0.6
BL: LINE=(D,Q1,M1,D,Q2,D,M2,D)
USE, BL
VORAX
BEAM
 1E-3 0 0 0 0 0 1E-4 0 0 0 0 1E-3 0 0 0 1E-4 0 0 1E-3 0 1E-3 -2 ,
SETF
 2
)" + std::string(reversed ? "M2 M1" : "M1 M2") +
                                 R"(
LEAS
 1 4 1 1 10 0 0 0 10 0 0 0
Q2 K1 0
 1071 )" + num(reversed ? -difference : difference) +
                                 R"( 1E6
 0 ;
STOP
)");
    ASSERT_EQ(run.status, 0) << run.listing;
    EXPECT_NEAR(last_number_after(run.listing, "OF Q2       ="), truth, 1e-7) << reversed;
  }
}

TEST(FitLine, SetlLimitsKeepTheVariableInsideTheMargin) {
  // R11 = -1 needs a gradient far above the upper limit 1.0; the fit may only enter the margin
  // 0.05 above it, and ends there.
  const DeckRun run = run_deck(ONE_QUAD + R"(SETL
Q1 K1 0.2 1.0 0.05 0
99
LEAS
 1 4 1 1 10 0 0 0 10 0 0 0
Q1 K1 0
 110 -1.0 1
 0 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  const std::string listing = run.listing;
  std::size_t p = listing.find("OF Q1       =");
  ASSERT_NE(p, std::string::npos);
  for (; p != std::string::npos; p = listing.find("OF Q1       =", p + 1)) {
    const double k = number_after(listing.substr(p), "OF Q1       =");
    EXPECT_GT(k, 0.2 - 0.05);
    EXPECT_LT(k, 1.0 + 0.05);
  }
  EXPECT_GT(last_number_after(listing, "OF Q1       ="), 1.0);
}

TEST(FitLine, FirstIterationsApproachTheTargetsInThirdsAndHalves) {
  // N1 = 3: iteration 1 aims at a third of the remaining distance, iteration 2 at half of it,
  // iteration 3 at the target; each measured from the values achieved before it.
  const DeckRun run = run_deck(ONE_QUAD + R"(LEAS
 3 1 1 1 10 0 0 0 10 0 0 0
Q1 K1 0
 110 0.2 1
 0 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  const std::string &l = run.listing;
  double achieved = number_after(l, "  THE INITIAL VALUES ARE :");
  const double target = 0.2;
  for (int step = 1; step <= 4; ++step) {
    const std::string label =
        " REQUESTED VALUES AT STEP :" + std::string(step < 10 ? "   " : "  ") +
        std::to_string(step);
    const std::size_t p = l.find(label);
    ASSERT_NE(p, std::string::npos) << step;
    const double divisor = step == 1 ? 3 : step == 2 ? 2 : 1;
    const double requested = number_after(l.substr(p + label.size()), "\n");
    EXPECT_NEAR(requested, achieved - (achieved - target) / divisor, 2e-7) << step;
    achieved = number_after(l.substr(p), " ACHIEVED VALUES");
    EXPECT_NEAR(achieved, requested, 1e-6) << step;
  }
}

TEST(FitLine, LatticeFunctionsAtTheEndAndTheirDifferenceBetweenFitPoints) {
  // Codes 21 and 26: beta x and beta y at the end from the given start; code 1031: beta x at
  // fit point 2 minus fit point 1, with only Q3 between them.
  const std::array<double, 3> truth{1.2, -1.1, 0.7};
  const auto line = [](double k1, double k2, double k3) {
    return std::vector<Element>{{DRIFT, 1}, {QUAD, 0.3, k1}, {DRIFT, 1}, {QUAD, 0.3, k2},
                                {DRIFT, 1}, {QUAD, 0.3, k3}, {DRIFT, 1}};
  };
  const Twiss start{10.0, 0.0, 0.0, 0.0};
  const auto full = line(truth[0], truth[1], truth[2]);
  const double beta_x = propagate(start, line_matrix(full, 1)).beta;
  const double beta_y = propagate(start, line_matrix(full, 2)).beta;
  const std::vector<Element> to_m1(full.begin(), full.begin() + 4);
  const std::vector<Element> to_m2(full.begin(), full.begin() + 6);
  const double difference =
      propagate(start, line_matrix(to_m2, 1)).beta - propagate(start, line_matrix(to_m1, 1)).beta;
  const DeckRun run = run_deck(R"(TITLE
LATTICE CONDITIONS
D: DRIFT, L=1.0
M1: MARKER
M2: MARKER
Q1: QUADRUPOLE, L=0.3, K1=1.0
Q2: QUADRUPOLE, L=0.3, K1=-1.0
Q3: QUADRUPOLE, L=0.3, K1=0.6
BL: LINE=(D,Q1,D,Q2,M1,D,Q3,M2,D)
USE, BL
VORAX
SETF
 2
M1 M2
LEAS
 1 6 3 3 10 0 0 0 10 0 0 0
Q1 K1 0
Q2 K1 0
Q3 K1 0
 21 )" + num(beta_x) + R"( 1
 26 )" + num(beta_y) + R"( 1
 1031 )" + num(difference) + R"( 1
 0 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  const double k1 = last_number_after(run.listing, "OF Q1       =");
  const double k2 = last_number_after(run.listing, "OF Q2       =");
  const double k3 = last_number_after(run.listing, "OF Q3       =");
  const auto fitted = line(k1, k2, k3);
  EXPECT_NEAR(propagate(start, line_matrix(fitted, 1)).beta, beta_x, 1e-7);
  EXPECT_NEAR(propagate(start, line_matrix(fitted, 2)).beta, beta_y, 1e-7);
  const std::vector<Element> m1(fitted.begin(), fitted.begin() + 4);
  const std::vector<Element> m2(fitted.begin(), fitted.begin() + 6);
  EXPECT_NEAR(propagate(start, line_matrix(m2, 1)).beta - propagate(start, line_matrix(m1, 1)).beta,
              difference, 1e-7);
}
