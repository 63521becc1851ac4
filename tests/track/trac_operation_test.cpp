// TRAC from decks: apertures and their edges, continued and appended sets, kick periods and the
// synchrotron-oscillation kick, the print and plot schedules, interval limits, the loss of every
// particle, and the data TRAC refuses.
#include "tracking_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace vorax::test {
namespace {

std::string line_deck(const std::string &elements, const std::string &line) {
  return elements + "L1: LINE = (" + line + ")\nUSE, L1\nVORAX\n";
}

TEST(TracOperation, LossLimitsAndApertureEdges) {
  // The loss limit is the square of a radius: x = 1 at the default limit 1 is lost before the
  // first element with a loss test, and only there; drifts, kicks, monitors and HCOLLIMA pass
  // every particle. A collimator keeps a particle exactly on its edge.
  const std::string elements = "D: DRIFT, L = 1\nK: HKICK\nM: MONITOR, L = 0.5\n"
                               "H: HCOLLIMA, L = 0.5\nQ: QUADRUPOLE, L = 0.2, K1 = 0\n"
                               "R: RCOLLIMA, XSIZE = 0.01, YSIZE = 0.02\n"
                               "E: ECOLLIMA, L = 0, XSIZE = 0.01, YSIZE = 0\n";
  const DeckRun r = run_deck(line_deck(elements, "D, K, M, H, Q, R, E") +
                             trac(-1, -2,
                                  {{1.0, 0, 0, 0, 0, 0},
                                   {0.6, 0, 0.8, 0, 0, 0},
                                   {0.01, 0, 0, 0, 0, 0},
                                   {0.01, 0, 0.0200001, 0, 0, 0},
                                   {0.0100001, 0, 0, 0, 0, 0},
                                   {0.005, 0, 1e-12, 0, 0, 0}},
                                  1) +
                             "STOP\n");
  EXPECT_EQ(r.status, 0) << r.listing;
  EXPECT_TRUE(contains(r.listing, "  PARTICLE #      1 IS LOST BEFORE ELEMENT     5(Q       )"
                                  " DURING TURN:       1"));
  EXPECT_TRUE(contains(r.listing, "  PARTICLE #      2 IS LOST BEFORE ELEMENT     5(Q "));
  EXPECT_TRUE(contains(r.listing, "  PARTICLE #      4 IS LOST BEFORE ELEMENT     6(R "));
  EXPECT_TRUE(contains(r.listing, "  PARTICLE #      5 IS LOST BEFORE ELEMENT     6(R "));
  // The elliptic collimator with no vertical aperture passes only particles on the plane.
  EXPECT_TRUE(contains(r.listing, "  PARTICLE #      6 IS LOST BEFORE ELEMENT     7(E "));
  EXPECT_EQ(trace.nlive, 1);
  EXPECT_EQ(alive.flag(3), 1);
  // The coordinates are told on the listing; on the terminal only for a collimator.
  EXPECT_EQ(count_of(r.listing, " ITS POSITION IS :"), 5);
  EXPECT_EQ(count_of(r.terminal, " ITS POSITION IS :"), 5);
  EXPECT_TRUE(contains(r.terminal, "  0.100001000000E-01"));
  EXPECT_FALSE(contains(r.terminal, "  0.100000000000E+01"));
}

// A ring whose tracking depends on the turn: an RF cavity, a kick every third turn, a
// synchrotron-oscillation kick.
const std::string TURN_RING =
    "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
    "D: DRIFT, L = 2.5\nC: RFCAVITY, L = 0.2, ENERGY = 1, VOLT = 0.5, "
    "FREQ = 7, LAG = 0.3\nK3: GKICK, DXP = 1E-5, V = 3\n"
    "KS: GKICK, T = -50, L = 0.1\n"
    "RING: LINE = (4*(QF, D, QD, D), C, K3, KS)\nUSE, RING\nVORAX\n";

TEST(TracOperation, ContinuedAndAppendedSets) {
  const std::vector<Vector6> set{{1e-3, 0, 5e-4, 1e-4, 0, 1e-3}, {-1e-3, 2e-4, 0, 0, 1e-3, 0}};
  run_deck(TURN_RING + trac(-1, -2, set, 30) + "STOP\n");
  const Vector6 one_run[2] = {particle(1), particle(2)};
  const DeckRun two =
      run_deck(TURN_RING + trac(-1, -2, set, 20, "0", ",") + "TRAC\n -1 -2 0 10;\nSTOP\n");
  ASSERT_EQ(two.status, 0) << two.listing;
  EXPECT_EQ(trace.iturn, 30);
  for (int i = 1; i <= 2; ++i)
    EXPECT_EQ(std::memcmp(particle(i).data(), one_run[i - 1].data(), sizeof(Vector6)), 0) << i;

  // A particle appended after 5 turns starts on turn 6 and is printed with the others.
  const DeckRun appended = run_deck(line_deck("Q: QUADRUPOLE, L = 1, K1 = 0.3\n", "Q") +
                                    trac(-1, -2, {set[0]}, 5, "0", ",") + "TRAC\n -1 -1 -1 5\n" +
                                    " 1E-3 0 0 0 0 0\n 0;\nSTOP\n");
  ASSERT_EQ(appended.status, 0) << appended.listing;
  EXPECT_EQ(trace.npart, 2);
  const Vector6 late = particle(2);
  run_deck(line_deck("Q: QUADRUPOLE, L = 1, K1 = 0.3\n", "Q") +
           trac(-1, -2, {Vector6{1e-3, 0, 0, 0, 0, 0}}, 5) + "STOP\n");
  EXPECT_EQ(std::memcmp(particle(1).data(), late.data(), sizeof(Vector6)), 0);
  EXPECT_EQ(printed(appended.listing, "AFTER ELEMENT", 2).size(), 1u);

  // Two equal particles appended where an earlier, larger set left its cavity phases end equal.
  const std::string rf = line_deck("Q: QUADRUPOLE, L = 0.5, K1 = 0.9\nD: DRIFT, L = 2.5\n"
                                   "C: RFCAVITY, L = 0.2, ENERGY = 1, VOLT = 0.5, FREQ = 7\n",
                                   "Q, D, C");
  run_deck(rf + trac(-1, -2, {set[0], set[0], set[1]}, 20, "0", ",") +
           trac(-1, -2, {set[1]}, 5, "0", ",") + "TRAC\n -1 -2 -2 5\n 0 0 0 0 0 5E-4\n" +
           " 0 0 0 0 0 5E-4\n 0;\nSTOP\n");
  EXPECT_NE(particle(2)[5], 5e-4);
  EXPECT_EQ(particle(2)[5], particle(3)[5]);
}

TEST(TracOperation, KickPeriodsAndTheSynchrotronOscillationKick) {
  // V = 3 kicks on turns 3, 6 and 9; its half drifts act on every turn.
  run_deck(line_deck("K: GKICK, L = 2, DXP = 1E-3, V = 3\n", "K") + trac(-1, -2, {Vector6{}}, 10) +
           "STOP\n");
  EXPECT_DOUBLE_EQ(particle(1)[1], 3e-3);
  EXPECT_NEAR(particle(1)[0], 1e-3 * 27, 1e-15);
  // T = -100: on turn 1 delta is the initial delta times cos(2 pi s / (100 Ltot)) at the kick.
  run_deck(line_deck("D: DRIFT, L = 3\nK: GKICK, T = -100\n", "D, K, D") +
           trac(-1, -2, {Vector6{0, 0, 0, 0, 0, 2e-3}}, 1) + "STOP\n");
  EXPECT_DOUBLE_EQ(particle(1)[5], 2e-3 * std::cos(2 * M_PI * 0.5 / 100));
  // A period below 1 is refused before anything is tracked.
  const DeckRun r = run_deck(line_deck("K: GKICK, DXP = 1E-3, V = 0.5\n", "K") +
                             trac(-1, 0, {Vector6{}}, 3) + "STOP\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing, "ITS KICK PERIOD ABS(V) MUST BE AT LEAST 1"));
  EXPECT_FALSE(contains(r.listing, "INITIAL POSITIONS"));
}

TEST(TracOperation, PrintSchedules) {
  const std::string deck = line_deck("Q: QUADRUPOLE, L = 1, K1 = 0.3\nD: DRIFT, L = 1\n", "Q, D");
  const Vector6 z{1e-3, 0, 0, 0, 0, 0};
  // -2 prints nothing; -1 the initial and the final positions only.
  EXPECT_FALSE(contains(run_deck(deck + trac(-1, -2, {z}, 4) + "STOP\n").listing, "POSITIONS"));
  const DeckRun last = run_deck(deck + trac(-1, -1, {z}, 4) + "STOP\n");
  EXPECT_EQ(count_of(last.listing, " INITIAL POSITIONS OF PARTICLES"), 1);
  EXPECT_EQ(count_of(last.listing, " PARTICLE POSITIONS AFTER ELEMENT"), 1);
  EXPECT_TRUE(contains(last.listing, "AFTER ELEMENT     2(D       )DURING TURN       4"));
  // 2 without intervals prints after the last position every second turn; 0 after every one.
  const DeckRun every2 = run_deck(deck + trac(-1, 2, {z}, 5) + "STOP\n");
  EXPECT_EQ(count_of(every2.listing, " PARTICLE POSITIONS AFTER ELEMENT     2"), 2);
  EXPECT_EQ(count_of(every2.listing, " PARTICLE POSITIONS AFTER ELEMENT"), 2);
  const DeckRun each = run_deck(deck + trac(-1, 0, {z}, 2) + "STOP\n");
  EXPECT_EQ(count_of(each.listing, " PARTICLE POSITIONS AFTER ELEMENT"), 4);
  // With intervals, every nprint turns at the positions inside them.
  const DeckRun at1 = run_deck(deck + trac(-1, 1, {z}, 3, "1 1 1") + "STOP\n");
  EXPECT_EQ(count_of(at1.listing, " PARTICLE POSITIONS AFTER ELEMENT     1(Q"), 3);
  EXPECT_EQ(count_of(at1.listing, " PARTICLE POSITIONS AFTER ELEMENT     2"), 0);
  // No turns asked for: the initial positions and nothing tracked.
  const DeckRun none = run_deck(deck + trac(-1, 0, {z}, 0) + "STOP\n");
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(count_of(none.listing, " PARTICLE POSITIONS AFTER ELEMENT"), 0);
  EXPECT_EQ(trace.iturn, 0);
}

TEST(TracOperation, IntervalLimitAndTheOutputFormats) {
  const std::string deck = line_deck("D: DRIFT, L = 1\n", "50*D");
  std::string forty = "40", forty_one = "41";
  for (int k = 1; k <= 41; ++k) {
    if (k <= 40)
      forty += " " + std::to_string(k) + " " + std::to_string(k);
    forty_one += " " + std::to_string(k) + " " + std::to_string(k);
  }
  const DeckRun ok = run_deck(deck + trac(-1, 1, {Vector6{}}, 1, forty) + "STOP\n");
  EXPECT_EQ(ok.status, 0) << ok.listing;
  EXPECT_EQ(count_of(ok.listing, " PARTICLE POSITIONS AFTER ELEMENT"), 40);
  const DeckRun refused = run_deck(deck + trac(-1, 1, {Vector6{}}, 1, forty_one) + "STOP\n");
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(contains(refused.listing, " **** TOO MANY INTERVALS"));
  EXPECT_TRUE(contains(refused.listing, " CHANGE MXLIST PARAMETER TO VALUE NEEDED"));
  // OUTP 4 adds the element name to each particle line.
  const DeckRun named =
      run_deck(deck + "OUTP\n 4,\n" + trac(-1, -1, {Vector6{1e-3, 0, 0, 0, 0, 0}}, 1) + "STOP\n");
  EXPECT_TRUE(contains(named.listing, "      1 D         0.100000000000E-02"));
}

TEST(TracOperation, LosingEveryParticleFinishesTheTurnAndStops) {
  const DeckRun r =
      run_deck(line_deck("Q: QUADRUPOLE, L = 1, K1 = 0.3\nD: DRIFT, L = 1\n", "D, Q, D, Q, D") +
               trac(-1, 0, {Vector6{0.8, 0.5, 0, 0, 0, 0}}, 3) + "STOP\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing, "IS LOST BEFORE ELEMENT     2(Q"));
  // The rest of the turn still prints its positions, under the turn it is.
  EXPECT_TRUE(
      contains(r.listing, " PARTICLE POSITIONS AFTER ELEMENT     5(D       )DURING TURN       1"));
  EXPECT_EQ(count_of(r.listing, "DURING TURN       1"), 5);
  EXPECT_EQ(count_of(r.listing, " PARTICLE POSITIONS AFTER ELEMENT"), 5);
  EXPECT_TRUE(contains(r.listing, "  WARNING--RUN STOPPED DUE TO LOSS OF PARTICLES"));
  EXPECT_TRUE(contains(r.listing, "302"));
  // Lost in turn 3 of 10 with only the final print asked for: the final print comes after
  // that turn, and nothing of the turns after it.
  const DeckRun quiet = run_deck(line_deck("K: GKICK, DXP = 0.2\nD: DRIFT, L = 1\n"
                                           "Q: QUADRUPOLE, L = 0.1, K1 = 0\n",
                                           "K, D, Q") +
                                 trac(-1, -1, {Vector6{}}, 10) + "STOP\n");
  EXPECT_EQ(quiet.status, 1);
  EXPECT_TRUE(contains(quiet.listing, "  PARTICLE #      1 IS LOST BEFORE ELEMENT     3(Q       )"
                                      " DURING TURN:       3"));
  EXPECT_EQ(count_of(quiet.listing, " PARTICLE POSITIONS AFTER ELEMENT"), 1);
  EXPECT_TRUE(contains(quiet.listing, "AFTER ELEMENT     3(Q       )DURING TURN       3"));
  EXPECT_EQ(trace.iturn, 3);
}

TEST(TracOperation, ElementsTrackingCannotPassStopEveryTrackingOperationBeforeAnythingMoves) {
  // A cavity that kicks without ENERGY has no phase constants: TRAC, MOVE, RMAT and REFE refuse
  // it, naming it, before a particle moves.
  const std::string cell = "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, "
                           "K1 = -0.9\nD: DRIFT, L = 2.5\n";
  const std::string ring = cell + "C: RFCAVITY, L = 0.2, VOLT = 0.5, FREQ = 7\n";
  const std::string operations[] = {trac(-1, -1, {Vector6{1e-3, 0, 0, 0, 0, 0}}, 3),
                                    "MOVE\n 0 0 0 -1 1 0 1E-6 0 0 0 0 0\n 0\n 0 0 0 0 0 0 0;\n",
                                    "RMAT\n 0 0 0 0 0 0 1E-6 1E-6 1E-6 1E-6 1E-6 1E-6 0 0;\n",
                                    "REFE\n 10 0 0 0 0 0 0;\n"};
  for (const std::string &operation : operations) {
    const DeckRun r = run_deck(line_deck(ring, "QF, D, QD, D, C") + operation + "STOP\n");
    EXPECT_EQ(r.status, 1) << operation;
    const std::vector<std::string> lines = lines_of(r.listing);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              " **** RF CAVITY C AT POSITION     5 HAS VOLT =  0.5000000E+00"
              " AND NO ENERGY: A CAVITY THAT KICKS NEEDS AN ENERGY ABOVE 0")
        << operation;
    EXPECT_TRUE(contains(lines.back(), "306  AND ERROR : TRACK:BAD ELEM PAR")) << operation;
  }
  // A wake without P5 is refused too; one of no strength gives no kick.
  const std::vector<Vector6> bunch{{0, 0, 0, 0, 1e-3, 0}, {0, 0, 0, 0, -1e-3, 0}};
  const DeckRun wake = run_deck(line_deck("W: ARBITELM, P1 = 1, P2 = 1E-3, P4 = 1\n", "W") +
                                trac(-1, -2, bunch, 1) + "STOP\n");
  EXPECT_EQ(wake.status, 1);
  EXPECT_TRUE(contains(wake.listing, " **** ARBITELM W AT POSITION     1 HAS A WAKE"));
  run_deck(line_deck("W: ARBITELM, P1 = 1, P4 = 1\n", "W") + trac(-1, -2, bunch, 1) + "STOP\n");
  EXPECT_EQ(particle(1)[5], 0.0);

  // Switched off (VOLT = 0) and without ENERGY, as converted lattices keep unused cavities, a
  // cavity is the drift of its length: the cavity that kicks tracks exactly as without it.
  const std::string rf = "C: RFCAVITY, L = 0.2, ENERGY = 1, VOLT = 0.5, FREQ = 7, LAG = 0.3\n";
  const Vector6 z{1e-3, 1e-4, 0, 2e-4, 1e-3, 1e-3};
  run_deck(line_deck(cell + rf + "O: DRIFT, L = 0.4\n", "QF, D, QD, D, O, C, O") +
           trac(-1, -2, {z}, 20) + "STOP\n");
  const Vector6 with_drift = particle(1);
  const DeckRun off =
      run_deck(line_deck(cell + rf + "O: RFCAVITY, L = 0.4, FREQ = 7\n", "QF, D, QD, D, O, C, O") +
               trac(-1, -2, {z}, 20) + "STOP\n");
  ASSERT_EQ(off.status, 0) << off.listing;
  EXPECT_EQ(std::memcmp(particle(1).data(), with_drift.data(), sizeof(Vector6)), 0);
}

TEST(TracOperation, AParticleWhoseCoordinatesStopBeingFiniteIsLostWhereItHappens) {
  // The second-order terms of MX overflow for particle 2 (which passes the loss test) and give
  // particle 4 a slope whose square overflows in the drift after it; a kick scaled by
  // 1/(1 + delta) divides by 0 at delta = -1. Each such particle is lost at that element, told
  // with the coordinates it entered it with and in particle order with the aperture losses;
  // the others go on, and no number that is not finite is printed.
  const DeckRun map = run_deck(
      line_deck("MX: MATRIX, L = 1, R11 = 1, R22 = 1, R33 = 1, R44 = 1, R55 = 1, &\n"
                " R66 = 1, T211 = 1E308, T212 = 1E308, T222 = 1E308\nD: DRIFT, L = 1\n",
                "MX, D") +
      trac(
          -1, -1,
          {{0, 0, 1e-3, 0, 0, 0}, {0.9, 0.9, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0}, {0.1, 0, 0, 0, 0, 0}},
          2) +
      "STOP\n");
  EXPECT_EQ(trace.nlive, 1);
  EXPECT_EQ(alive.flag(1), 1);
  const DeckRun kick =
      run_deck(line_deck("K: GKICK, T = 1, DXP = 1E-3\n", "K") +
               trac(-1, -1, {{0, 0, 0, 0, 0, -1}, {1e-3, 0, 0, 0, 0, 0}}, 2) + "STOP\n");
  for (const DeckRun *r : {&map, &kick}) {
    EXPECT_EQ(r->status, 0) << r->listing;
    EXPECT_FALSE(contains(r->listing, "NaN"));
    EXPECT_FALSE(contains(r->listing, "Inf"));
  }
  EXPECT_EQ(count_of(map.listing, " ITS COORDINATES STOPPED BEING FINITE NUMBERS"), 2);
  const std::size_t lost = map.listing.find("  PARTICLE #      2 IS LOST AT ELEMENT     1(MX      )"
                                            " DURING TURN:       1");
  ASSERT_NE(lost, std::string::npos) << map.listing;
  EXPECT_LT(lost, map.listing.find("  PARTICLE #      3 IS LOST BEFORE ELEMENT     1(MX"));
  EXPECT_TRUE(contains(map.listing.substr(lost), "  0.900000000000E+00  0.900000000000E+00"));
  EXPECT_TRUE(contains(map.listing, "  PARTICLE #      4 IS LOST AT ELEMENT     2(D "));
  EXPECT_TRUE(contains(kick.listing, "  PARTICLE #      1 IS LOST AT ELEMENT     1(K "));
}

TEST(TracOperation, PlotSchedule) {
  // Every third turn of ten: frames at turns 3, 6 and 9, each printed; with the type plus 10
  // the three go into one picture, printed at turn 9.
  const std::string deck = line_deck("Q: QUADRUPOLE, L = 1, K1 = 0.3\n", "Q");
  const std::string limits = "0 1 0.01 -0.01 0.01 -0.01 0.01 -0.01 0.01 -0.01 51 21 1 -1 1 -1";
  const DeckRun each =
      run_deck(deck + trac(3, -2, {Vector6{1e-3, 0, 0, 0, 0, 0}}, 10, limits) + "STOP\n");
  ASSERT_EQ(each.status, 0) << each.listing;
  EXPECT_EQ(count_of(each.listing, "X - XP  TURN"), 3);
  EXPECT_TRUE(contains(each.listing, "X - XP  TURN       9"));
  const std::string together = "0 11" + limits.substr(3);
  const DeckRun one =
      run_deck(deck + trac(3, -2, {Vector6{1e-3, 0, 0, 0, 0, 0}}, 10, together) + "STOP\n");
  EXPECT_EQ(count_of(one.listing, "X - XP  TURN"), 1);
  EXPECT_TRUE(contains(one.listing, "X - XP  TURN       9"));
  // Grid sizes out of range fall back to the full grid.
  const DeckRun wide =
      run_deck(deck + trac(3, -2, {Vector6{}}, 3, "0 1 1 -1 1 -1 1 -1 1 -1 200 21") + "STOP\n");
  EXPECT_TRUE(contains(wide.listing, " ERROR IN NUMBER OF LINES OR COLUMNS: DEFAULT VALUES"));
}

TEST(TracOperation, MultipoleKicks) {
  // A dipole term alone kicks; a thick element keeps the path length of its first half.
  run_deck(line_deck("M: MULTIPOLE, K0 = 2E-3\n", "M") + trac(-1, -2, {Vector6{}}, 1) + "STOP\n");
  EXPECT_DOUBLE_EQ(particle(1)[1], -2e-3);
  run_deck(line_deck("M: MULTIPOLE, L = 2, K3 = 0\n", "M") +
           trac(-1, -2, {Vector6{0, 1e-3, 0, 0, 0, 0}}, 1) + "STOP\n");
  EXPECT_DOUBLE_EQ(particle(1)[0], 2e-3);
  EXPECT_NEAR(particle(1)[4], 2 * 1e-6 / 2, 1e-20);
}

TEST(TracOperation, SetsBeyondTheStoreAreRefused) {
  const DeckRun r =
      run_deck(line_deck("D: DRIFT, L = 1\n", "D") + trac(-1, -2, {Vector6{}}, 1, "0", ",") +
               "TRAC\n -1 -2 -128000 1;\nSTOP\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing, " **** TOO MANY PARTICLES:     128001 ARE ASKED FOR"));
}

} // namespace
} // namespace vorax::test
