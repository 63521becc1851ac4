// Whole decks: an LCAVITY that stands at several positions accelerates each time from the energy
// its position is entered at, in MATR, MACH, BEAM and the least-squares fit, and its DELTAE is
// gained at every one of its positions.
#include "harness.h"

#include "common/control.h"
#include "common/shared_areas.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

// One cavity, used twice: 1 -> 1.5 -> 2 GeV.
const std::string LINAC = "D: DRIFT, L=1.0\n"
                          "A: LCAVITY, L=2.0, E0=1.0, DELTAE=0.5\n"
                          "L1: LINE=(D, A, D, A, D)\n"
                          "USE, L1\n"
                          "VORAX\n";

double momentum(double e) {
  return std::sqrt(e * e - const_.emass * const_.emass);
}

// x and x' through the line in closed form: drifts of 1 m, and at each cavity the slope carried
// over L P_in/DELTAE ln((E_out + P_out)/(E_in + P_in)) and damped by P_in/P_out.
using M2 = std::array<double, 4>; // r11, r12, r21, r22
M2 times(const M2 &b, const M2 &a) {
  return {b[0] * a[0] + b[1] * a[2], b[0] * a[1] + b[1] * a[3], b[2] * a[0] + b[3] * a[2],
          b[2] * a[1] + b[3] * a[3]};
}
M2 cavity(double e_in, double gain) {
  const double e_out = e_in + gain, p_in = momentum(e_in), p_out = momentum(e_out);
  return {1.0, 2.0 * p_in / gain * std::log((e_out + p_out) / (e_in + p_in)), 0.0, p_in / p_out};
}
M2 line(double gain) {
  const M2 drift{1.0, 1.0, 0.0, 1.0};
  M2 m = drift;
  m = times(cavity(1.0, gain), m);
  m = times(drift, m);
  m = times(cavity(1.0 + gain, gain), m);
  return times(drift, m);
}

// The first-order matrix printed after the first occurrence of label, row by row.
std::vector<double> first_order_after(const std::string &listing, const std::string &label) {
  std::vector<double> r;
  const std::size_t at = listing.find("FIRST ORDER MATRIX", listing.find(label));
  if (at == std::string::npos)
    return r;
  std::istringstream rows(listing.substr(at + 18));
  double v;
  while (r.size() < 36 && rows >> v)
    r.push_back(v);
  return r;
}

TEST(LinacEnergies, EachPositionOfACavityAcceleratesFromItsOwnEntryEnergy) {
  const DeckRun r = run_deck(
      LINAC + "MATR\n -11 3 2 2 4 4 1 5,\n" + "MACH\n 0 0 0 0 0 0 0 10 0 0 0 10 0 0 0 -1,\n" +
      "BEAM\n 0.001 0 0 0 0 0 0.0001 0 0 0 0 0.001 0 0 0 0.0001 0 0 0.01 0 0.001 999;\n" +
      "STOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  // MATR: each position on its own, then the whole line.
  const auto first = first_order_after(r.listing, "AND A         ELEMENT #     2");
  const auto second = first_order_after(r.listing, "AND A         ELEMENT #     4");
  const auto whole = first_order_after(r.listing, "AND D         ELEMENT #     5");
  ASSERT_EQ(first.size(), 36u);
  ASSERT_EQ(second.size(), 36u);
  ASSERT_EQ(whole.size(), 36u);
  EXPECT_NEAR(first[35], momentum(1.0) / momentum(1.5), 1e-7);
  EXPECT_NEAR(second[35], momentum(1.5) / momentum(2.0), 1e-7);
  EXPECT_NEAR(second[35], 0.75, 1e-6); // E_in / E_out, the mass aside
  EXPECT_NEAR(second[1], cavity(1.5, 0.5)[1], 1e-6);
  // The whole line damps by E0 / E_final, and its R12 is the closed-form product.
  EXPECT_NEAR(whole[35], momentum(1.0) / momentum(2.0), 1e-7);
  EXPECT_NEAR(whole[35], 0.5, 1e-6);
  EXPECT_NEAR(whole[1], line(0.5)[1], 1e-6);
  EXPECT_NEAR(whole[7], whole[35], 1e-7);

  // MACH from beta 10, alpha 0: beta = (b0 + R12^2 / b0) / R22 and alpha = -R12 / b0 at the end.
  const M2 m = line(0.5);
  const auto end = numbers_after(r.listing, " D           5  ");
  ASSERT_GE(end.size(), 4u);
  EXPECT_NEAR(end[0], (10.0 + m[1] * m[1] / 10.0) / m[3], 1e-6);
  EXPECT_NEAR(end[1], -m[1] / 10.0, 1e-6);
  EXPECT_NEAR(end[2], end[0], 1e-7);

  // BEAM: the momentum spread shrinks with the momentum, position by position.
  const auto at2 = numbers_after(r.listing, " A           2 ");
  const auto at4 = numbers_after(r.listing, " A           4 ");
  ASSERT_EQ(at2.size(), 8u);
  ASSERT_EQ(at4.size(), 8u);
  EXPECT_NEAR(at2[7], 1e-3 * momentum(1.0) / momentum(1.5), 1e-7);
  EXPECT_NEAR(at4[7], 1e-3 * momentum(1.0) / momentum(2.0), 1e-7);
}

// The fit varies DELTAE of the one cavity until the line damps by 1/4: both positions gain it,
// so the final energy is 4 GeV and DELTAE 1.5 (one map for both positions would give 1).
TEST(LinacEnergies, LeastSquaresFitSeesEveryPositionGainTheVariedDeltae) {
  char target[40];
  std::snprintf(target, sizeof target, "%.15E", momentum(1.0) / momentum(4.0));
  const DeckRun r = run_deck(LINAC + "LEAS\n 1 6 1 1 10 0 0 0 10 0 0 0\nA DELTAE 0\n 660 " +
                             target + " 1\n 0 ;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  const std::size_t at = r.listing.rfind("OF A        =");
  ASSERT_NE(at, std::string::npos) << r.listing;
  EXPECT_NEAR(number_after(r.listing.substr(at), "OF A        ="), 1.5, 1e-8);
  EXPECT_NEAR(lincav.ereal(2), 2.5, 1e-8);
  EXPECT_NEAR(lincav.ereal(5), 4.0, 1e-8);
  // The fitted gain is the design: the design energies are the current ones.
  EXPECT_EQ(lincav.eideal(2), lincav.ereal(2));
  EXPECT_EQ(lincav.eideal(5), lincav.ereal(5));
}

// MODI of the first cavity's E0 and gain and of the second's length: the lattice functions, the
// energies MACH prints and the tracking are those of the lattice written with the new values.
TEST(LinacEnergies, ModiOfACavityGivesTheMachineOfTheValuesWrittenInTheLattice) {
  const auto deck = [](const std::string &a, const std::string &b_length) {
    return "D: DRIFT, L=1.0\nQ: QUADRUPOLE, L=0.5, K1=0.2\nK: GKICK, L=0.1, DXP=1E-4\n"
           "A: LCAVITY, L=2.0, " +
           a + "\nB: LCAVITY, L=" + b_length +
           ", E0=3.0, DELTAE=0.8, PHI0=20, KICKCOEF=0.01, T=-1\n"
           "L1: LINE=(D, A, Q, D, B, K, A, D)\nUSE, L1\nVORAX\n";
  };
  const std::string operations = "MATR\n 1 -1,\nMACH\n 0 0 0 0 0 0 0 10 0 0 0 10 0 0 0 0,\n"
                                 "TRAC\n -1 -1 1 2\n 1E-3 1E-4 -5E-4 2E-4 0 1E-3\n 0;\nSTOP\n";
  const DeckRun written = run_deck(deck("E0=1.2, DELTAE=0.7", "1.0") + operations);
  const DeckRun changed = run_deck(deck("E0=1.0, DELTAE=0.5", "1.5") +
                                   "MODI\n 3\n A E0 1.2\n A DELTAE 0.7\n B L 1.0\n" + operations);
  ASSERT_EQ(written.status, 0) << written.listing;
  ASSERT_EQ(changed.status, 0) << changed.listing;
  const auto from_matrix = [](const std::string &listing) {
    const std::size_t at = listing.find("   MATR");
    return at == std::string::npos ? std::string() : listing.substr(at);
  };
  ASSERT_NE(from_matrix(written.listing), "");
  EXPECT_EQ(from_matrix(changed.listing), from_matrix(written.listing));
}

// A decelerating cavity whose second position would end below the particle mass: that position
// is a drift, and the build of the cavity says so although its first position is sound.
TEST(LinacEnergies, APositionThatEndsBelowTheMassIsReportedAndDrifts) {
  const DeckRun r = run_deck("D: DRIFT, L=1.0\n"
                             "A: LCAVITY, L=2.0, E0=1.0, DELTAE=-0.6\n"
                             "L1: LINE=(D, A, D, A, D)\n"
                             "USE, L1\nVORAX\nMATR\n -11 2 2 2 4 4;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(
      count_of(r.listing, "LCAVITY A        ENTRY OR EXIT ENERGY NOT ABOVE THE PARTICLE MASS"), 1);
  const auto first = first_order_after(r.listing, "AND A         ELEMENT #     2");
  const auto second = first_order_after(r.listing, "AND A         ELEMENT #     4");
  ASSERT_EQ(first.size(), 36u);
  ASSERT_EQ(second.size(), 36u);
  EXPECT_NEAR(first[35], momentum(1.0) / momentum(0.4), 1e-6);
  EXPECT_EQ(second[35], 1.0);
  EXPECT_EQ(second[1], 2.0);
}

} // namespace
} // namespace vorax::test
