// MOVE through whole decks: its one-turn analysis against the periodic analysis of MATR, its
// tune fit against MATR's chromaticity, the closed orbit of a single kick against its closed
// form, and the limits, degenerate machines and stops of the operation.
#include "harness.h"

#include "optics/energy_scan.h"
#include "track/closed_orbit.h"
#include "track/tracking_areas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vorax::test {
namespace {

constexpr double PI = 3.141592653589793;

// Eight FODO cells of thick quadrupoles and drifts, with optional extras inside the cell.
std::string fodo(const std::string &extra_elements, const std::string &cell, int cells = 8) {
  return "QF: QUADRUPOLE, L = 0.4, K1 = 0.55\n"
         "QD: QUADRUPOLE, L = 0.4, K1 = -0.5\n"
         "D: DRIFT, L = 2.0\n" +
         extra_elements + "CELL: LINE = (" + cell + ")\n" + "RING: LINE = (" +
         std::to_string(cells) + "*CELL)\nUSE, RING\nVORAX\n";
}

// MOVE with nc coefficients, iteration value it, amplitude a and the given deviations.
std::string move(const std::string &deviations, int ne, int nc, int it = -3,
                 const std::string &amplitude = "1E-7") {
  return "MOVE\n 0 0 0 " + std::to_string(it) + " " + std::to_string(ne) + " " +
         std::to_string(nc) + " " + amplitude + " 0 0 0 0 0\n " + deviations + "\n 0 0 0 0 0 0 0\n";
}

std::string after(const std::string &text, const std::string &mark) {
  const std::size_t at = text.find(mark);
  return at == std::string::npos ? std::string() : text.substr(at);
}

TEST(EnergyScan, AtZeroDeviationItReproducesThePeriodicAnalysis) {
  const DeckRun r = run_deck(fodo("", "QF, D, QD, D") + "MATRIX\n 1 -1,\n" + move("0", 1, 0) +
                             "MATRIX\n 1 -2;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string hm = after(r.listing, "    HORIZONTAL MOVEMENT ANALYSIS");
  const std::string vm = after(r.listing, "    VERTICAL MOVEMENT ANALYSIS");
  const std::string moved = after(r.listing, "*    MOVEMENT ANALYSIS    *");
  const std::string hmove = after(moved, " HORIZONTAL MOVEMENT");
  const std::string vmove = after(moved, " VERTICAL MOVEMENT");
  // MATR prints 14 digits; MOVE's own results are compared at full precision.
  for (int p = 1; p <= 2; ++p) {
    const std::string &matr = p == 1 ? hm : vm;
    EXPECT_NEAR(cmove.nu(1, p), number_after(matr, "NU ="), 1e-9);
    EXPECT_NEAR(cmove.beta(1, p), number_after(matr, "BETA ="), 1e-9);
    EXPECT_NEAR(cmove.alpha(1, p), number_after(matr, "ALPHA ="), 1e-9);
  }
  EXPECT_NEAR(number_after(hmove, "NU = "), cmove.nu(1, 1), 1e-10);
  EXPECT_NEAR(number_after(vmove, " B = "), cmove.beta(1, 2), 1e-8);
  // The machine tunes of the first deviation are kept for TUNE and RMAT.
  EXPECT_EQ(ctune.found, 1);
  EXPECT_NEAR(ctune.nux, number_after(hm, "NU ="), 1e-9);
  EXPECT_NEAR(ctune.betay, number_after(vm, "BETA ="), 1e-9);
  EXPECT_EQ(count_of(r.listing, "LEAST SQUARE FIT NOT DONE"), 1);
}

TEST(EnergyScan, TheTuneFitGivesTheChromaticityOfTheMap) {
  const std::string elements = "B: SBEND, L = 1.0, ANGLE = 0.1\n"
                               "SF: SEXTUPOLE, L = 0.2, K2 = 2.0\n"
                               "SD: SEXTUPOLE, L = 0.2, K2 = -3.0\n";
  const DeckRun r =
      run_deck(fodo(elements, "QF, SF, D, B, QD, SD, D, B") + "MATRIX\n 2 -1,\n" +
               move("0 -1E-4 -5E-5 5E-5 1E-4", 5, 4, -4, "1E-7") + "MATRIX\n 1 -2;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  const double chrom_x =
      number_after(after(r.listing, "HORIZONTAL MOVEMENT ANALYSIS"), "CHROMATICITY   =");
  const double chrom_y =
      number_after(after(r.listing, "VERTICAL MOVEMENT ANALYSIS"), "CHROMATICITY   =");
  ASSERT_EQ(clsq.count, 4);
  EXPECT_NEAR(clsq.coefficient(2, 1), chrom_x, 1e-5);
  EXPECT_NEAR(clsq.coefficient(2, 2), chrom_y, 1e-5);
  // The sextupoles make the chromaticities differ from the natural ones by an order of one.
  EXPECT_GT(std::fabs(chrom_x), 0.1);
  // The constant terms are the tunes at zero deviation; the fits pass close to their points.
  EXPECT_NEAR(clsq.coefficient(1, 1), ctune.nux, 1e-8);
  EXPECT_LT(clsq.max_error(1), 1e-8);
  EXPECT_TRUE(contains(r.listing, "   THE REFERENCE ENERGY IS : "));
  EXPECT_EQ(count_of(r.listing, " MAXIMUM ABSOLUTE ERRORS "), 2);
}

TEST(EnergyScan, ASingleKickGivesTheTextbookClosedOrbit) {
  // Four cells, the kick after the first: the phase from the kick round to the start of the
  // machine is three cells, and beta at the kick is the periodic beta at the start.
  const double theta = 1e-5;
  const std::string lattice = "QF: QUADRUPOLE, L = 0.4, K1 = 0.55\n"
                              "QD: QUADRUPOLE, L = 0.4, K1 = -0.5\n"
                              "D: DRIFT, L = 2.0\n"
                              "K: HKICK, KICK = 1E-5\n"
                              "CELL: LINE = (QF, D, QD, D)\n"
                              "RING: LINE = (CELL, K, 3*CELL)\nUSE, RING\nVORAX\n";
  const DeckRun r = run_deck(lattice + "MATRIX\n 1 -1,\n" + move("0", 1, 0, -4, "1E-6") +
                             "MATRIX\n 1 -2;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string hm = after(r.listing, "    HORIZONTAL MOVEMENT ANALYSIS");
  const double nu = number_after(hm, "NU ="), beta = number_after(hm, "BETA =");
  const double dmu = 3.0 * 2.0 * PI * nu / 4.0;
  const double expected = theta * beta * std::cos(dmu - PI * nu) / (2.0 * std::sin(PI * nu));
  EXPECT_NEAR(ctune.orbit(1), expected, 1e-7 * std::fabs(expected));
  EXPECT_NEAR(ctune.orbit(3), 0.0, 1e-15);
  EXPECT_NEAR(number_after(after(r.listing, " THE CLOSED ORBIT IS"), "XCO="), expected,
              1e-6 * std::fabs(expected));

  // With listing controls that differ, the orbit found is tracked once more: one turn brings
  // it back onto itself.
  const DeckRun again = run_deck(lattice + "MOVE\n -1 -2 0 -4 1 0 1E-6 0 0 0 0 0\n 0\n"
                                           " 0 0 0 0 0 0 0;\nSTOP\n");
  ASSERT_EQ(again.status, 0) << again.terminal;
  const std::string detail = after(again.listing, " *    DETAILED CLOSED ORBIT DATA    *");
  EXPECT_TRUE(contains(detail, " PARTICLE POSITIONS AFTER ELEMENT"));
  for (int k = 1; k <= 4; ++k)
    EXPECT_NEAR(trace.pcoord(1, k), ctune.orbit(k), 1e-12 * std::fabs(expected)) << k;
}

TEST(EnergyScan, LimitsIterationsAndTheFitCondition) {
  const std::string ring = fodo("", "QF, D, QD, D");
  // Too many energies ends the operation, and the next one reads its own data.
  DeckRun r =
      run_deck(ring + move("0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0", 16, 0) + "MATRIX\n 1 -1;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, " *****TOO MANY ENERGIES:OPERATION STOPPED******"));
  EXPECT_FALSE(contains(r.listing, "MOVEMENT ANALYSIS    *"));
  EXPECT_EQ(count_of(r.listing, "FIRST ORDER MATRIX"), 1);

  // Ten coefficients are cut to nine; six with four energies are not fitted.
  r = run_deck(ring + move("0 1E-4 2E-4 3E-4", 4, 10) + move("0 1E-4 2E-4 3E-4", 4, 6) +
               "MATRIX\n 1 -2;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, " *TOO MANY COEFS REQUESTED:VALUE DEFAULTED TO 9***"));
  EXPECT_EQ(count_of(r.listing, "   LEAST SQUARE FIT NOT DONE,LESS THAN FIVE PTS"), 2);

  // -3 runs three iterations and prints the third; 3 prints all three; 0 still runs one.
  for (const auto &[it, printed] : {std::pair{-3, 1}, std::pair{3, 3}, std::pair{0, 1}}) {
    r = run_deck(ring + move("0", 1, 0, it) + "MATRIX\n 1 -2;\nSTOP\n");
    EXPECT_EQ(r.status, 0) << it << r.terminal;
    EXPECT_EQ(count_of(r.listing, "THE ANALYSIS FOR ENERGY"), printed) << it;
    EXPECT_EQ(count_of(r.listing, " THE CLOSED ORBIT IS"), printed) << it;
    EXPECT_EQ(count_of(r.listing, " HORIZONTAL MOVEMENT"), 1) << it;
    EXPECT_NEAR(cmove.amplitude, 1e-7 * std::pow(0.3, std::max(std::abs(it), 1) - 1), 1e-20);
  }
}

TEST(EnergyScan, DegenerateOneTurnMatrices) {
  // A machine of markers: the identity, whose I - M has no inverse (every tune an integer).
  DeckRun r = run_deck("M: MARKER\nRING: LINE = (M, M)\nUSE, RING\nVORAX\n" + move("0", 1, 0) +
                       "MATRIX\n 1 -2;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, " TRANSFER MATRIX IS THE IDENTITY."), 2);
  EXPECT_TRUE(contains(r.listing, " I - M IS SINGULAR"));
  // A drift: half-trace 1 but not the identity.
  r = run_deck("D: DRIFT, L = 1\nRING: LINE = (D)\nUSE, RING\nVORAX\n" + move("0", 1, 0) +
               "MATRIX\n 1 -2;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, " MOVEMENT IS UNSTABLE."), 2);
  EXPECT_FALSE(contains(r.listing, "IS THE IDENTITY"));
  // A half-integer tune (x block -1): cos mu = -1 is reported with its eigen-solution, with no
  // beta from a vanishing sin mu.
  r = run_deck("H: MATRIX, R11 = -1, R22 = -1, R33 = 1, R34 = 1, R43 = -1, R44 = 0, R55 = 1, "
               "R66 = 1\nRING: LINE = (H)\nUSE, RING\nVORAX\n" +
               move("0", 1, 0) + "MATRIX\n 1 -2;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  const std::string h = after(r.listing, " HORIZONTAL MOVEMENT");
  EXPECT_TRUE(contains(h.substr(0, h.find(" VERTICAL MOVEMENT")), " MOVEMENT IS UNSTABLE."));
  EXPECT_TRUE(contains(h, " EIGENVALUE1 =  "));
  // The vertical block has half-trace 1/2: a sixth of a turn.
  EXPECT_NEAR(number_after(after(r.listing, " VERTICAL MOVEMENT"), "NU = "), 1.0 / 6.0, 1e-9);
  EXPECT_EQ(cmove.beta(1, 1), 0.0);
}

TEST(EnergyScan, ResonanceStudyOfUnstableAndStableEnergies) {
  // Quadrupoles too strong for a stable horizontal plane.
  const std::string strong = "QF: QUADRUPOLE, L = 0.4, K1 = 3.0\nQD: QUADRUPOLE, L = 0.4, K1 = "
                             "-0.5\nD: DRIFT, L = 2.0\nRING: LINE = (QF, D, QD, D)\nUSE, "
                             "RING\nVORAX\n";
  const DeckRun r = run_deck(strong + "MOVE\n 0 0 2 -1 1 0 1E-6 0 0 0 0 0\n 0\n 0 0 0 0 0 0 0\n" +
                             "MOVE\n 0 0 3 -1 1 0 1E-6 0 0 0 0 0\n 0\n 0 0 0 0 0 0 0;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, "ORDER TWO RESONANCE STUDY : C.O. ASSUMED"));
  EXPECT_TRUE(contains(r.listing, " STABLE ORBIT IS :"));
  EXPECT_TRUE(contains(r.listing, " ORDER THREE RESONANCE STUDY"));
  EXPECT_TRUE(contains(r.listing, "    XP3 = "));
  EXPECT_EQ(count_of(r.listing, "   THE STABLE AREA ENCLOSED BY THE SEPARATRICES IS "), 2);
  // A linear machine has no fixed point but its closed orbit (here 0): the searches started a
  // pentagon amplitude away end on it, and no area is enclosed.
  const std::string two = after(r.listing, "ORDER TWO RESONANCE STUDY");
  EXPECT_LT(std::fabs(number_after(two, "X1 =")), 1e-15);
  EXPECT_LT(std::fabs(number_after(two, "XP2 =")), 1e-15);
  EXPECT_EQ(number_after(two, "SEPARATRICES IS"), 0.0);
  EXPECT_EQ(number_after(after(r.listing, "ORDER THREE"), "SEPARATRICES IS"), 0.0);
  EXPECT_FALSE(contains(r.listing, "NOT FOUND BY TRACKING"));
  // The order is reset when MOVE ends: a stable machine studied again says so, also at order
  // three, where a linear machine has no fixed point round its stable closed orbit.
  EXPECT_EQ(cmove.order, 0);
  const DeckRun s = run_deck(fodo("", "QF, D, QD, D") +
                             "MOVE\n 0 0 2 -1 1 0 1E-6 0 0 0 0 0\n 0\n 0 0 0 0 0 0 0\n"
                             "MOVE\n 0 0 3 -1 1 0 1E-6 0 0 0 0 0\n 0\n 0 0 0 0 0 0 0;\nSTOP\n");
  EXPECT_EQ(count_of(s.listing, " *** ANALYSIS FOR ENERGY "), 2);
  EXPECT_EQ(count_of(s.listing, " MOVEMENT IS STABLE"), 2);
  EXPECT_FALSE(contains(s.listing, "RESONANCE STUDY"));
}

TEST(EnergyScan, PlotsAndTheStops) {
  const std::string ring = fodo("", "QF, D, QD, D");
  DeckRun r = run_deck(ring + "MOVE\n 0 0 0 -2 3 0 1E-6 0 0 0 0 0\n -1E-3 0 1E-3\n"
                              " 1 0 0 0 0 0 21;\nSTOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, "VERSUS DP/P"), 4);
  // The first plot starts a new page, as every later one does.
  EXPECT_EQ(count_of(r.listing, "\n1\n-" + std::string(40, ' ') + "NUX VERSUS DP/P"), 1);
  r = run_deck(ring + "MOVE\n 0 0 0 -2 3 0 1E-6 0 0 0 0 0\n -1E-3 0 1E-3\n"
                      " 1 0 0 0 0 1 21;\nSTOP\n");
  EXPECT_EQ(count_of(r.listing, "VERSUS DP/P"), 2);

  // Every particle lost on a narrow collimator.
  r = run_deck(fodo("C: RCOLLIMATOR, L = 0, XSIZE = 1E-4, YSIZE = 1E-4\n", "QF, D, C, QD, D") +
               move("0", 1, 0, -1, "1E-2") + "MATRIX\n 1 -2;\nSTOP\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing, " OPERATION STOPPED DUE TO LOSS OF PARTICLES"));
  EXPECT_TRUE(contains(r.listing, "MOVMT:PART LOST"));
  // A one-turn matrix of determinant 3.
  r = run_deck("H: MATRIX, R11 = 3, R22 = 1, R33 = 1, R44 = 1, R55 = 1, R66 = 1\n"
               "RING: LINE = (H)\nUSE, RING\nVORAX\n" +
               move("0", 1, 0) + "MATRIX\n 1 -2;\nSTOP\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing, "MOVMT:BAD DETERM"));
}

} // namespace
} // namespace vorax::test
