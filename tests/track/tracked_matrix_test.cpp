// RMAT from decks: the tracked matrix against the machine's map, the finite-difference error of
// a nonlinear ring, intervals, the kick form of the centroid, the stops, and the normal modes of
// coupled motion.
#include "track/tracked_matrix.h"
#include "tracking_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace vorax::test {
namespace {

// RMAT's record: reference, steps, option A, interval count and what follows.
std::string rmat(const std::string &reference, double step, const std::string &rest) {
  const std::string d = number(step);
  return "RMAT\n " + reference + "\n " + d + " " + d + " " + d + " " + d + " " + d + " " + d +
         "\n " + rest + "\n";
}

const std::string AXIS = "0 0 0 0 0 0";

double largest_difference(const TransferMap &m) {
  double worst = 0.0;
  for (int i = 1; i <= 6; ++i)
    for (int k = 1; k <= 6; ++k)
      worst = std::max(worst, std::fabs(crmat.matrix(i, k) - m.R(i, k)));
  return worst;
}

TEST(TrackedMatrix, EqualsTheMachineMapAndItsPlanesAreUnimodular) {
  // Quadrupoles and drifts with steps so small that their second-order terms (path length and
  // chromatic ones) stay far below the tolerance.
  run_deck("QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
           "D: DRIFT, L = 2.5\nRING: LINE = (4*(QF, D, QD, D))\nUSE, RING\nVORAX\n" +
           rmat(AXIS, 1e-12, "0 0;") + "STOP\n");
  EXPECT_LT(largest_difference(machine_map()), 1e-10);
  const DeckRun r = run_deck(FODO_RING + rmat(AXIS, 1e-11, "0 0;") + "STOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  EXPECT_LT(largest_difference(machine_map()), 1e-8);
  // Without intervals only the last position prints.
  EXPECT_EQ(count_of(r.listing, " AFTER ELEMENT :"), 1);
  EXPECT_TRUE(contains(r.listing, " AFTER ELEMENT :    64=D"));
  EXPECT_NEAR(number_after(r.listing, " DET A="), 1.0, 1e-6);
  EXPECT_NEAR(number_after(r.listing, " DET C="), 1.0, 1e-6);
  EXPECT_NEAR(number_after(r.listing, " DET B="), 0.0, 1e-9);
  EXPECT_TRUE(contains(r.listing, " THE INPUT COORDINATES OF THE BEAM CENTROID ARE :"));
  EXPECT_TRUE(contains(r.listing, " THE OUTPUT COORDINATES OF THE BEAM CENTROID ARE :"));
  // RMAT leaves the accumulated map of the matrix operation alone.
  EXPECT_EQ(crmat.collecting, 0);
}

TEST(TrackedMatrix, NonlinearDifferenceShrinksWithTheStep) {
  run_deck(SEXTUPOLE_RING + rmat(AXIS, 1e-4, "0 0;") + "STOP\n");
  const double coarse = largest_difference(machine_map());
  run_deck(SEXTUPOLE_RING + rmat(AXIS, 1e-5, "0 0;") + "STOP\n");
  const double fine = largest_difference(machine_map());
  EXPECT_GT(coarse, 1e-8);
  EXPECT_NEAR(coarse / fine, 10.0, 1.0);
}

TEST(TrackedMatrix, IntervalsPrintTheMatrixOfTheirStretch) {
  // (3, 5) is the matrix of positions 3 to 5, printed as the product with the inverse of the
  // matrix at position 2; (9, 9) one position, whole; (11, 64) the rest of the turn.
  const DeckRun r = run_deck(FODO_RING + rmat(AXIS, 1e-11, "0 3 3 5 9 9 11 64;") + "STOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  EXPECT_EQ(count_of(r.listing, " AFTER ELEMENT :"), 3);
  TransferMap stretch;
  stretch.set_identity();
  for (int p = 3; p <= 5; ++p)
    compose_position(p, stretch);
  // The first row of the matrix printed after position 5.
  const std::vector<std::string> lines =
      lines_of(r.listing.substr(r.listing.find(" AFTER ELEMENT :     5")));
  std::size_t row = 0;
  while (row < lines.size() && !contains(lines[row], "FIRST ORDER MATRIX"))
    ++row;
  ASSERT_LT(row + 1, lines.size());
  double first[6] = {};
  ASSERT_EQ(std::sscanf(lines[row + 1].c_str(), "%lf %lf %lf %lf %lf %lf", &first[0], &first[1],
                        &first[2], &first[3], &first[4], &first[5]),
            6);
  for (int k = 1; k <= 6; ++k)
    EXPECT_NEAR(first[k - 1], stretch.R(1, k), 1e-6) << k;
}

TEST(TrackedMatrix, KickFormStopsAndTheAnalysisValues) {
  // Option A above 10: the centroid as GKICK definitions, the entrance one negated.
  const DeckRun kick =
      run_deck(FODO_RING + rmat("1E-9 0 0 0 0 0", 1e-8, "11 -1 1 0.5 2 3 4 5 6 7 8;") + "STOP\n");
  ASSERT_EQ(kick.status, 0) << kick.listing;
  EXPECT_TRUE(contains(kick.listing, " * ENTRANCE KICK TO SHIFT CENTROID OF BEAM"));
  EXPECT_TRUE(contains(kick.listing, " KIN:GKICK,DX= -0.1000000E-08,DXP="));
  EXPECT_TRUE(contains(kick.listing, " KOUT:GKICK,DX="));
  // With n below 0 the eight values follow option B directly.
  EXPECT_EQ(crmat.option_b, 1);
  EXPECT_EQ(crmat.extra[0], 0.5);
  EXPECT_EQ(crmat.extra[7], 8.0);
  // The uncoupled ring's first mode is its horizontal motion.
  const TransferMap m = machine_map();
  const double cosmu = (m.R(1, 1) + m.R(2, 2)) / 2;
  const double beta = std::fabs(m.R(1, 2)) / std::sqrt(1 - cosmu * cosmu);
  EXPECT_NEAR(number_after(kick.listing, " beta1 = "), beta, 1e-5 * beta);
  EXPECT_TRUE(contains(kick.listing, " Symplectic check"));

  const DeckRun zero = run_deck(FODO_RING + "RMAT\n 0 0 0 0 0 0 1E-6 1E-6 0 1E-6 1E-6 1E-6 0 0;\n");
  EXPECT_EQ(zero.status, 1);
  EXPECT_TRUE(contains(zero.listing, " RMAT: STEP SIZE D3 IS 0"));
  EXPECT_TRUE(contains(zero.listing, "RMAT:ZERO STEP"));

  // A lost particle stops the run before any matrix is printed from it.
  const DeckRun lost = run_deck(FODO_RING + rmat("0.9999 0 0 0 0 0", 1e-3, "0 0;"));
  EXPECT_EQ(lost.status, 1);
  EXPECT_TRUE(contains(lost.listing, "  PARTICLE #      2 IS LOST BEFORE ELEMENT     1"));
  EXPECT_TRUE(contains(lost.listing, "RMAT:PART LOST"));
  EXPECT_FALSE(contains(lost.listing, " AFTER ELEMENT :"));

  // A delta of exactly 1 asks for MOVE's closed orbit; without a MOVE the axis is taken.
  const DeckRun orbit = run_deck(FODO_RING + rmat("1E-3 0 0 0 0 1", 1e-8, "0 0;") + "STOP\n");
  ASSERT_EQ(orbit.status, 0);
  EXPECT_TRUE(contains(orbit.listing, " RMAT: NO CLOSED ORBIT FROM MOVE IS KNOWN"));
  EXPECT_EQ(crmat.reference[0], 0.0);
  EXPECT_EQ(crmat.reference[5], 0.0);

  // Losing all of them at one position is the loss of every particle, not of some.
  const DeckRun all = run_deck(FODO_RING + rmat("2 0 0 0 0 0", 1e-3, "0 0;"));
  EXPECT_EQ(all.status, 1);
  EXPECT_TRUE(contains(all.listing, "\n  ALL PARTICLES WERE LOST, JOB IS ABORTED\n"));
  EXPECT_FALSE(contains(all.listing, "PARTICLES WERE LOST DURING RMAT"));
  EXPECT_TRUE(contains(lost.listing, "PARTICLES WERE LOST DURING RMAT"));
}

// After a MOVE, a delta of exactly 1 starts the reference particle on MOVE's closed orbit at its
// first deviation: the particle comes back where it started after the turn.
TEST(TrackedMatrix, ReferenceOnTheClosedOrbitOfMove) {
  const DeckRun r =
      run_deck(FODO_RING + "MOVE\n 0 0 0 -3 1 0 1E-7 0 0 0 0 0\n 1E-3\n 0 0 0 0 0 0 0\n" +
               rmat("0 0 0 0 0 1", 1e-8, "0 0;") + "STOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  EXPECT_FALSE(contains(r.listing, " RMAT: NO CLOSED ORBIT FROM MOVE IS KNOWN"));
  EXPECT_EQ(crmat.reference[5], 1e-3);
  EXPECT_GT(std::fabs(crmat.reference[0]), 1e-5); // the dispersion orbit of the bends
  for (int k : {0, 1, 2, 3})
    EXPECT_NEAR(crmat.output[k], crmat.reference[k], 1e-12) << k;
}

TEST(NormalModes, RecoverTheModesOfACoupledMatrix) {
  // U = diag(A, B) in Twiss form, V = [[g I, C], [-C^, g I]] with g^2 + det C = 1; T = V U V^-1
  // has the modes of U.
  auto twiss = [](double mu, double beta, double alpha, double out[2][2]) {
    const double c = std::cos(mu), s = std::sin(mu), gamma = (1 + alpha * alpha) / beta;
    out[0][0] = c + alpha * s;
    out[0][1] = beta * s;
    out[1][0] = -gamma * s;
    out[1][1] = c - alpha * s;
  };
  double a[2][2], b[2][2];
  twiss(1.1, 7.0, 0.4, a);
  twiss(2.3, 3.0, -0.7, b);
  const double c[2][2] = {{0.1, 0.3}, {-0.2, 0.05}};
  const double det = c[0][0] * c[1][1] - c[0][1] * c[1][0];
  const double g = std::sqrt(1 - det);
  const double cb[2][2] = {{c[1][1], -c[0][1]}, {-c[1][0], c[0][0]}};
  double v[4][4] = {}, vi[4][4] = {}, u[4][4] = {}, t[4][4] = {}, w[4][4] = {};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      v[i][j] = v[i + 2][j + 2] = vi[i][j] = vi[i + 2][j + 2] = i == j ? g : 0.0;
      v[i][j + 2] = c[i][j];
      v[i + 2][j] = -cb[i][j];
      vi[i][j + 2] = -c[i][j];
      vi[i + 2][j] = cb[i][j];
      u[i][j] = a[i][j];
      u[i + 2][j + 2] = b[i][j];
    }
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k)
        w[i][j] += v[i][k] * u[k][j];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k)
        t[i][j] += w[i][k] * vi[k][j];
  const NormalModes modes = normal_modes(t);
  ASSERT_TRUE(modes.decomposed);
  EXPECT_LT(modes.symplectic_error, 1e-13);
  EXPECT_NEAR(modes.mu[0], 1.1, 1e-12);
  EXPECT_NEAR(modes.mu[1], 2.3, 1e-12);
  EXPECT_NEAR(modes.beta[0], 7.0, 1e-11);
  EXPECT_NEAR(modes.alpha[1], -0.7, 1e-11);
  // A mode outside the unit circle is unstable and has no lattice functions.
  double h[4][4] = {{1.5, 1, 0, 0}, {0.25, 0.833333333333333, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  EXPECT_FALSE(normal_modes(h).stable[0]);
}

} // namespace
} // namespace vorax::test
