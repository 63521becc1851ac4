// Slow changes of linac cavities while particles are tracked: after the change the tracking is
// that of the lattice written with the new values, to the bit.
#include "tracking_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vorax::test {
namespace {

// Two cavities, the second with a coupler kick after it, a quadrupole and a kick whose slopes
// follow the momentum after the first cavity; A stands twice, so B's entrance energy and A's
// second one follow A's gain and the initial energy.
std::string lattice(const std::string &a, const std::string &b) {
  return "D: DRIFT, L=1.0\nQ: QUADRUPOLE, L=0.5, K1=0.2\nK: GKICK, L=0.1, DXP=1E-4, DP=1E-5\n"
         "A: LCAVITY, L=2.0, " +
         a + "\nB: LCAVITY, E0=3.0, DELTAE=0.8, KICKCOEF=0.01, T=1, " + b +
         "\nL1: LINE=(D, A, Q, D, B, K, A, D)\nUSE, L1\nVORAX\n";
}
const std::string OLD = lattice("E0=1.0, DELTAE=0.5", "L=1.5, PHI0=10");
const std::string NEW = lattice("E0=1.2, DELTAE=0.7", "L=1.0, PHI0=40");

const std::vector<Vector6> START{{1e-3, 1e-4, -5e-4, 2e-4, 0, 1e-3}};

// Each change is a step to its new value at the given turn.
const std::string STEPS = " A\n E0 1\n 1 1 1.0 1.2\n A\n DELTAE 1\n 1 1 0.5 0.7\n"
                          " B\n L 1\n 1 1 1.5 1.0\n B\n PHI0 1\n 1 1 10 40\n 99\n";

Vector6 tracked(const std::string &deck, const std::vector<Vector6> &start, int turns) {
  const DeckRun r = run_deck(deck + trac(-1, -2, start, turns) + "STOP\n");
  EXPECT_EQ(r.status, 0) << r.listing;
  return particle(1);
}

bool same(const Vector6 &a, const Vector6 &b) {
  return std::memcmp(a.data(), b.data(), sizeof(Vector6)) == 0;
}

TEST(LinacSlowChanges, TrackingAfterTheChangeIsTheLatticeWrittenWithTheNewValues) {
  // From the first turn on: the energies, every cavity's map and the coupler kick follow.
  const Vector6 written = tracked(NEW, START, 2);
  EXPECT_TRUE(same(tracked(OLD + "ADIA\n" + STEPS, START, 2), written));
  // The energy tables are the lattice's: the design and the current ones alike.
  EXPECT_DOUBLE_EQ(lincav.initial_energy, 1.2);
  EXPECT_DOUBLE_EQ(lincav.eideal(8), 1.2 + 0.7 + 0.8 + 0.7);
  EXPECT_EQ(lincav.eideal(8), lincav.ereal(8));
  // The same changes from the second turn on: the first pass is the old lattice's, the second
  // that of the new values set between two runs of the same particle.
  std::string later = STEPS;
  for (std::size_t at = later.find(" 1 1 "); at != std::string::npos; at = later.find(" 1 1 "))
    later.replace(at, 5, " 2 2 ");
  const Vector6 stepped = tracked(OLD + "ADIA\n" + later, START, 2);
  const DeckRun r = run_deck(OLD + trac(-1, -2, START, 1, "0", ",") +
                             "MODI\n 4\n A E0 1.2\n A DELTAE 0.7\n B L 1.0\n B PHI0 40\n"
                             "TRAC\n -1 -2 0 1;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  EXPECT_TRUE(same(stepped, particle(1)));
}

// An error on a cavity's gain raises the energy every later cavity is entered at, and only the
// visits it is selected at gain it: tracking is that of the lattice written with the gains the
// errors give, A standing twice being C where it has none.
TEST(LinacSlowChanges, CavitiesWithErrorsGainWhereTheyAreSelectedAndTheOnesAfterFollow) {
  const auto deck = [](const std::string &line, const std::string &gain) {
    return "D: DRIFT, L=1.0\nA: LCAVITY, L=2.0, E0=1.0, DELTAE=" + gain +
           "\nC: LCAVITY, L=2.0, DELTAE=0.5\n"
           "B: LCAVITY, L=1.5, E0=3.0, DELTAE=0.8, PHI0=10, KICKCOEF=0.01, T=1\n"
           "L1: LINE=(" +
           line + ")\nUSE, L1\nVORAX\n";
  };
  const std::string errors = "ERRO\n A DELTAE 0.2,\n 99\nSETE\n 0 1\n A ";
  EXPECT_TRUE(same(tracked(deck("D, A, D, B, D", "0.5") + errors + "0\n", START, 2),
                   tracked(deck("D, A, D, B, D", "0.7"), START, 2)));
  EXPECT_TRUE(same(tracked(deck("D, A, D, A, D, B, D", "0.5") + errors + "1 2 2\n", START, 2),
                   tracked(deck("D, A, D, C, D, B, D", "0.7"), START, 2)));
}

} // namespace
} // namespace vorax::test
