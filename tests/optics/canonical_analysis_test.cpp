// The periodic analysis reports the same physical quantities whether the maps are geometric or,
// after SETS, canonical: a ring analysed both ways, and fits on the momentum compaction.
#include "harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <utility>
#include <vector>

using namespace vorax::test;

namespace {

// Every "LABEL= number" of the n-th periodic analysis printed (both planes), in order.
std::vector<std::pair<std::string, double>> analysis_values(const std::string &listing, int n) {
  std::size_t at = 0;
  for (int k = 1; k <= n; ++k) {
    at = listing.find("    HORIZONTAL MOVEMENT ANALYSIS", k == 1 ? 0 : at + 1);
    if (at == std::string::npos)
      return {};
  }
  const std::size_t next = listing.find("    HORIZONTAL MOVEMENT ANALYSIS", at + 1);
  const std::string block = listing.substr(at, next == std::string::npos ? next : next - at);
  const std::regex pair(R"(([A-Z][A-Z /()-]*?=) *(-?\d\.\d{14}E[+-]\d\d))");
  std::vector<std::pair<std::string, double>> values;
  for (auto it = std::sregex_iterator(block.begin(), block.end(), pair);
       it != std::sregex_iterator(); ++it)
    values.emplace_back((*it)[1].str(), std::stod((*it)[2].str()));
  return values;
}

double last_after(const std::string &text, const std::string &label) {
  const std::size_t at = text.rfind(label);
  return at == std::string::npos ? NAN : number_after(text.substr(at), label);
}

} // namespace

TEST(CanonicalAnalysis, SetsLeavesEveryQuantityOfThePeriodicAnalysisUnchanged) {
  // Every map kind that has path-length and chromatic terms: sector bends with edges and a
  // gradient, a rectangular bend, a vertical bend (vertical dispersion), a slightly tilted
  // quadrupole, sextupoles, a combined quadrupole-sextupole and a thin multipole.
  const DeckRun run = run_deck(R"(TITLE
RING IN BOTH VARIABLES
QF: QUADRUPOLE, L=0.5, K1=0.7
QD: QUADRUPOLE, L=0.5, K1=-0.7
QT: QUADRUPOLE, L=0.2, K1=0.05, TILT=0.1
SF: SEXTUPOLE, L=0.2, K2=2.0
SD: SEXTUPOLE, L=0.2, K2=-3.0
B: SBEND, L=2.0, ANGLE=0.2, E1=0.05, E2=0.07, K1=0.02
R: RBEND, L=1.0, ANGLE=0.05
BV: SBEND, L=1.0, ANGLE=0.01, TILT
D: DRIFT, L=0.3
QS: QUADSEXT, L=0.3, K1=0.1, K2=0.5
M: MULTIPOL, K2=0.3, K1=0.01
CELL: LINE=(QF,SF,D,B,D,QD,SD,D,B,D,R,QS,M,D)
RING: LINE=(7*CELL,BV,QT)
USE, RING
VORAX
MATR
 2 -1,
SETS
 0 1.0,
MATR
 2 -1 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  const auto before = analysis_values(run.listing, 1);
  const auto after = analysis_values(run.listing, 2);
  // Compaction and gamma tr, then 6 lines of two values per plane.
  ASSERT_EQ(before.size(), 2u + 2 * 12);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_GT(before[0].second, 0.0); // the compaction of a ring of positive bends
  EXPECT_NE(before[1].second, 0.0);
  // The variable change is exact through second order, so only rounding separates the two.
  for (std::size_t k = 0; k < before.size(); ++k) {
    EXPECT_EQ(after[k].first, before[k].first);
    EXPECT_NEAR(after[k].second, before[k].second, 1e-11 * std::fabs(before[k].second) + 1e-14)
        << before[k].first;
  }
}

TEST(CanonicalAnalysis, FitsOnTheCompactionReachTheSameStrengthsInBothVariables) {
  // SIMP on the compaction and the vertical tune, then LEAS towards another compaction; MACH's
  // radiation summary measures the compaction again from the bends' dispersion integral.
  const auto run = [](bool canonical) {
    return run_deck(std::string(R"(TITLE
COMPACTION FIT
QF: QUADRUPOLE, L=0.5, K1=0.7
QD: QUADRUPOLE, L=0.5, K1=-0.7
B: SBEND, L=2.0, ANGLE=0.2
D: DRIFT, L=0.3
CELL: LINE=(QF,D,B,D,QD,D,B,D)
RING: LINE=(8*CELL)
USE, RING
VORAX
)") + (canonical ? "SETS\n 0 1.0,\n" : "") +
                    R"(SIMP
 0 6 2
QF K1 0.001
QD K1 0.001
 1 0.1 12 0.45
 0,
MACH
 1.0 1.0 1.0 1 0 1 1 0 0 0 0 0 0 0 0 -1,
LEAS
 1 3 2 2 0 0 0 0 0 0 0 0
QF K1 0
QD K1 0
 1 0.09 1
 12 0.45 1
 0,
MACH
 1.0 1.0 1.0 1 0 1 1 0 0 0 0 0 0 0 0 -1 ;
STOP
)");
  };
  const DeckRun plain = run(false), sets = run(true);
  ASSERT_EQ(plain.status, 0) << plain.listing;
  ASSERT_EQ(sets.status, 0) << sets.listing;
  for (const DeckRun *r : {&plain, &sets}) {
    const std::string &l = r->listing;
    const std::size_t leas = l.find("   LEAS");
    ASSERT_NE(leas, std::string::npos);
    const std::string simp_part = l.substr(0, leas), leas_part = l.substr(leas);
    EXPECT_NEAR(number_after(simp_part, "COMPACTION FACTOR ="), 0.1, 1e-12);
    EXPECT_NEAR(number_after(simp_part, " MOMENTUM COMPACTION="), 0.1, 1e-7);
    EXPECT_NEAR(number_after(leas_part, " MOMENTUM COMPACTION="), 0.09, 1e-7);
    EXPECT_LT(last_after(l, "  THE FIT FUNCTION VALUE IS :"), 1e-10);
  }
  for (const char *label : {"OF QF       =", "OF QD       ="}) {
    const std::size_t p = plain.listing.find("   LEAS"), s = sets.listing.find("   LEAS");
    EXPECT_NEAR(last_after(sets.listing.substr(0, s), label),
                last_after(plain.listing.substr(0, p), label), 1e-11)
        << label;
    EXPECT_NEAR(last_after(sets.listing, label), last_after(plain.listing, label), 1e-11) << label;
  }
}

TEST(CanonicalAnalysis, BeamAndMapCoefficientFitsSeeTheGeometricMaps) {
  // BEAM with a bunch length and momentum spread (its correlations with l follow R5j), then LEAS
  // on R56 (code 560) and T126, which the canonical momentum changes by R12.
  const std::string ring = "QF: QUADRUPOLE, L=0.5, K1=0.7\nQD: QUADRUPOLE, L=0.5, K1=-0.7\n"
                           "B: SBEND, L=2.0, ANGLE=0.2\nD: DRIFT, L=0.3\n"
                           "RING: LINE=(8*(QF,D,B,D,QD,D,B,D))\nUSE, RING\nVORAX\n";
  const std::string operations = "BEAM\n 0 0 0 0 0 1E-6 0 0 0 0 1E-6 0.01 0.001 -1,\n"
                                 "LEAS\n 1 3 2 2 0 0 0 0 0 0 0 0\nQF K1 0\nQD K1 0\n"
                                 " 560 6.2 1\n 126 66 1\n 0;\nSTOP\n";
  const DeckRun plain = run_deck(ring + "MATR\n 2 -1,\n" + operations);
  const DeckRun sets = run_deck(ring + "SETS\n 0 1.0,\nMATR\n 2 -1,\n" + operations);
  ASSERT_EQ(plain.status, 0) << plain.listing;
  ASSERT_EQ(sets.status, 0) << sets.listing;
  // The beam matrix at the end of the ring, lower triangle: 21 numbers after the position.
  for (int k = 2; k <= 22; ++k) {
    const double want = number_after(plain.listing, "  BEAM AT :D", k);
    EXPECT_NEAR(number_after(sets.listing, "  BEAM AT :D", k), want, 1e-9 * std::fabs(want) + 1e-15)
        << k;
  }
  EXPECT_GT(std::fabs(number_after(plain.listing, "  BEAM AT :D", 12)), 0.1); // r51
  for (const DeckRun *r : {&plain, &sets})
    EXPECT_LT(last_after(r->listing, "  THE FIT FUNCTION VALUE IS :"), 1e-10);
  for (const char *label : {"OF QF       =", "OF QD       ="})
    EXPECT_NEAR(last_after(sets.listing, label), last_after(plain.listing, label), 1e-10) << label;
}
