// The effects other operations switch on for tracking, from decks: radiation against the
// radiation integrals of the machine, momentum offsets, ground motion, slow changes and girder
// blocks, with their stops.
#include "common/units.h"
#include "support/decks.h"
#include "track/tracking_effects.h"
#include "track/tracking_loop.h"
#include "tracking_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace vorax::test {
namespace {

constexpr double PI = 3.141592653589793;
const std::string MACH_1GEV = "MATRIX\n 1 -1,\nMACHINE\n 1 1 1 2 0 1 0 0 0 0 0 0 0 0 0 -1,\n";

TEST(Radiation, MeanLossIsTheSumOverTheBendsAndMatchesTheMachine) {
  const int turns = 3;
  const DeckRun r =
      run_deck(FODO_RING + MACH_1GEV + "SYNC\n 1 1 3,\n" +
               trac(-1, -2, {{0, 0, 0, 0, 0, 0}, {1e-4, 0, 0, 0, 0, 0}}, turns) + "STOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  // 16 bends of angle 2 pi / 16 and length 2 at 1 GeV.
  const double theta = 2 * PI / 16;
  const double u0 = 16 * theta * theta * 1.408e-5 / 2.0;
  // The reference particle loses the sum of the bends' losses, less what its own lowered
  // energy saves: (1 + delta)^2 with delta of the order of the loss.
  for (int i = 1; i <= 2; ++i)
    EXPECT_NEAR(trace.pcoord(i, 6) / (-turns * u0), 1.0, 2.0 * turns * u0) << i;
  // MACH's loss in MeV per turn uses 1.40787e-5; tracking's constant is that rounded.
  const double mach = number_after(r.listing, " ENERGY LOSS =");
  EXPECT_NEAR(u0 * 1000.0 / mach, 1.0, 1e-4);

  // R = 12 is the mean loss alone, quadrupoles quiet; R = 13 lets the quadrupoles radiate.
  const std::vector<Vector6> slope{{1e-3, 1e-4, 0, 0, 0, 0}};
  run_deck(FODO_RING + "SYNC\n 1 12 3,\n" + trac(-1, -2, slope, 1) + "STOP\n");
  const double bends_only = trace.pcoord(1, 6);
  run_deck(FODO_RING + "SYNC\n 1 13 3,\n" + trac(-1, -2, slope, 1) + "STOP\n");
  EXPECT_NEAR(bends_only / -u0, 1.0, 1e-3);
  EXPECT_NE(trace.pcoord(1, 6), bends_only);

  // A short quadrupole turns a particle of 5 % more momentum by about 1/1.05 of the angle, in
  // the same field: it radiates 1.05^2 as much, or 1.05^4 times its angle squared. (Uniform draws
  // are scaled by SEED: before it they are 0, which leaves the mean loss alone.)
  const std::string quad = "Q: QUADRUPOLE, L = 0.01, K1 = 2\nL1: LINE = (Q)\nUSE, L1\nVORAX\n";
  run_deck(quad + "SYNC\n 1 13 2,\n" +
           trac(-1, -2, {{1e-3, 0, 0, 0, 0, 0}, {1e-3, 0, 0, 0, 0, 0.05}}, 1) + "STOP\n");
  const double turned = trace.pcoord(2, 2) / trace.pcoord(1, 2);
  EXPECT_NEAR((0.05 - trace.pcoord(2, 6)) / -trace.pcoord(1, 6),
              std::pow(1.05, 4) * turned * turned, 1e-4); // acos of a cosine near 1
}

// The ring of combined-function bends with turned faces, flat or rolled to bend vertically.
std::string damping_ring(const std::string &tilt) {
  return combined_function_ring("0.9", tilt);
}

TEST(Radiation, LossGrowsWithTheEnergyAsTheDampingPartitionSays) {
  // A particle on the dispersion orbit of delta loses per turn U0 (1 + J_E delta): the slope
  // of the loss against delta, over the loss of the reference, is MACH's J_E = 2 + I4/I2.
  for (const std::string tilt : {"0", "PI/2"}) {
    const DeckRun optics = run_deck(damping_ring(tilt) + MACH_1GEV + "SYNC\n 1 0 3,\n" +
                                    trac(-1, -2, {{0, 0, 0, 0, 0, 0}}, 1) + "STOP\n");
    ASSERT_EQ(optics.status, 0) << optics.listing;
    const double je = number_after(optics.listing, "JE=");
    const int plane = tilt == "0" ? 1 : 2;
    const double eta = analc.eta(plane), etap = analc.etap(plane);
    const double d = 1e-4;
    std::vector<Vector6> set;
    for (const double delta : {0.0, d, -d}) {
      Vector6 z{0, 0, 0, 0, 0, delta};
      z[static_cast<std::size_t>(2 * plane - 2)] = eta * delta;
      z[static_cast<std::size_t>(2 * plane - 1)] = etap * delta;
      set.push_back(z);
    }
    const DeckRun r =
        run_deck(damping_ring(tilt) + "SYNC\n 1 1 3,\n" + trac(-1, -2, set, 1) + "STOP\n");
    ASSERT_EQ(r.status, 0) << r.listing;
    const double loss0 = -trace.pcoord(1, 6);
    const double slope = ((d - trace.pcoord(2, 6)) - (-d - trace.pcoord(3, 6))) / (2 * d);
    // MACH prints J_E to 7 digits.
    EXPECT_NEAR(slope / loss0, je, 2e-5 * je) << tilt;
  }
}

TEST(Radiation, RfHoldsTheEnergySpreadTheIntegralsGive) {
  // 36 FODO cells at 10 GeV lose 1.7 % of the energy a turn: the spread settles within 200
  // turns. The cavity sits before a QD and its harmonic keeps the synchrotron sidebands away
  // from the betatron tunes, so that the motion is the uncoupled one MACH assumes.
  const std::string ring = "PI = 3.141592653589793\n"
                           "QF: QUADRUPOLE, L = 0.2, K1 = 6.5\n"
                           "QD: QUADRUPOLE, L = 0.2, K1 = -6.5\n"
                           "B:  SBEND, L = 0.45, ANGLE = 2*PI/72\n"
                           "D:  DRIFT, L = 0.1\n"
                           "RF: RFCAVITY, L = 0, VOLT = 400, LAG = PI-0.44385, &\n"
                           "    FREQ = 20, ENERGY = 10\n"
                           "CELL: LINE = (QF, D, B, D, QD, D, B, D)\n"
                           "C1: LINE = (QF, D, B, D, RF, QD, D, B, D)\n"
                           "RING: LINE = (C1, 35*CELL)\n"
                           "USE, RING\nVORAX\n";
  const int n = 1000;
  const DeckRun r = run_deck(
      ring + "MATRIX\n 1 -1,\nMACHINE\n 10 10 1 1 0 1 0 0 0 0 0 0 0 0 0 -1,\n" +
      "SYNC\n 10 3 1,\n" + trac(-1, -2, std::vector<Vector6>(n, Vector6{}), 200) + "STOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  double sum = 0.0, squares = 0.0;
  for (int i = 1; i <= n; ++i) {
    ASSERT_NE(alive.flag(i), 0) << i;
    sum += trace.pcoord(i, 6);
    squares += trace.pcoord(i, 6) * trace.pcoord(i, 6);
  }
  const double spread = std::sqrt(squares / n - (sum / n) * (sum / n));
  // Three standard deviations of a spread from n samples.
  EXPECT_NEAR(spread / number_after(r.listing, " SIGE="), 1.0, 3 * std::sqrt(0.5 / n));
  // The cavity's transverse damping holds the horizontal size at MACH's, dispersion included,
  // within the statistics and the 4 % that 3.3 damping times of the emittance leave; without
  // it the size grows tenfold.
  double x = 0.0, xx = 0.0;
  for (int i = 1; i <= n; ++i) {
    x += trace.pcoord(i, 1);
    xx += trace.pcoord(i, 1) * trace.pcoord(i, 1);
  }
  const double size = std::sqrt(xx / n - (x / n) * (x / n));
  EXPECT_NEAR(size / number_after(r.listing, " SIGXT="), 1.0, 0.1);
}

TEST(Radiation, RandomPartGrowsTheSpreadByTheConstantTimesI3) {
  // 64 particles on the axis, random part only: the variance of delta grows per turn by
  // 4.132e-11 E^5 I3 (the points of every bend share it).
  std::vector<Vector6> set(64, Vector6{0, 0, 0, 0, 0, 0});
  const int turns = 20;
  const DeckRun r =
      run_deck(FODO_RING + MACH_1GEV + "SYNC\n 1 2 3,\n" + trac(-1, -2, set, turns) + "STOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  const double i3 = number_after(r.listing, " INTEGRAL X3=");
  double sum = 0.0, squares = 0.0;
  for (int i = 1; i <= 64; ++i) {
    sum += trace.pcoord(i, 6);
    squares += trace.pcoord(i, 6) * trace.pcoord(i, 6);
  }
  const double mean = sum / 64, variance = squares / 64 - mean * mean;
  const double expected = turns * 4.132e-11 * i3;
  // Three standard deviations of a variance from 64 samples.
  EXPECT_NEAR(variance / expected, 1.0, 3 * std::sqrt(2.0 / 63));

  // The draws go in particle order whatever the threads and chunks: the same particles. With
  // chunks of one particle every step is shared among the threads (two turns suffice).
  set_tracking_threads(2);
  set_tracking_chunk(1);
  run_deck(FODO_RING + "SYNC\n 1 5 3,\n" + trac(-1, -2, set, 2) + "STOP\n");
  std::vector<Vector6> quadrupoles_threads;
  for (int i = 1; i <= 64; ++i)
    quadrupoles_threads.push_back(particle(i));
  set_tracking_threads(1);
  set_tracking_chunk(CHUNK);
  run_deck(FODO_RING + "SYNC\n 1 5 3,\n" + trac(-1, -2, set, 2) + "STOP\n");
  set_tracking_threads(0);
  for (int i = 1; i <= 64; ++i)
    EXPECT_EQ(std::memcmp(particle(i).data(),
                          quadrupoles_threads[static_cast<std::size_t>(i - 1)].data(),
                          sizeof(Vector6)),
              0)
        << i;
}

// The light source with MACH's radiation table at energy e, line RING or ARCS.
std::string light_source(double e, const std::string &line) {
  const std::string energy = number(e);
  return light_source_ring(e) + "USE, " + line + "\nVORAX\nMATRIX\n 1 -1,\nMACHINE\n " + energy +
         " " + energy + " 1 1 0 1 0 0 0 0 0 0 0 0 0 -1,\n";
}

TEST(Radiation, TheLightSourceDampsAndLosesAsItsIntegralsSay) {
  // The one-turn matrix by tracking with the mean loss shrinks the areas of the x and the
  // (l, delta) phase planes by exp(-2 T0 / tau), tau MACH's damping times; the reference particle
  // loses MACH's U0 a turn (to its constant's rounding, 9.2e-5, and the loss it saves by losing).
  const DeckRun r = run_deck(light_source(7, "RING") + "SYNC\n 7 1 3,\nRMAT\n" +
                             " 0 0 0 0 0 0 1E-8 1E-8 1E-8 1E-8 1E-8 1E-8 0 -1 0;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  const double turn = number_after(r.listing, " TAUREV=");
  const std::string rmat = r.listing.substr(r.listing.find(" AFTER ELEMENT :"));
  auto element = [&](int i, int j) {
    return number_after(rmat, "FIRST ORDER MATRIX", 6 * (i - 1) + j);
  };
  const double x_area = number_after(r.listing, " DET A=");
  const double l_area = element(5, 5) * element(6, 6) - element(5, 6) * element(6, 5);
  EXPECT_NEAR(std::log(x_area) / (-2 * turn / number_after(r.listing, " TAUX=")), 1.0, 2e-3);
  EXPECT_NEAR(std::log(l_area) / (-2 * turn / number_after(r.listing, " TAUE=")), 1.0, 2e-3);

  const DeckRun arcs = run_deck(light_source(1, "ARCS") + "SYNC\n 1 1 3,\n" +
                                trac(-1, -2, {Vector6{}}, 1) + "STOP\n");
  ASSERT_EQ(arcs.status, 0) << arcs.listing;
  EXPECT_NEAR(-trace.pcoord(1, 6) / (number_after(arcs.listing, " ENERGY LOSS =") / 1000), 1.0,
              1e-4);
}

TEST(Radiation, TheLightSourceSettlesAtTheEmittanceOfItsIntegrals) {
  // 64 particles from the axis, radiating with the random part at 7 GeV, where the emittance
  // damps in 94 turns: after 1000 turns they have forgotten where they started, and 7000 more,
  // sampled every 5, give the emittance and the energy spread to about 1.7 % and 1 %. Along the
  // bends the dispersion invariant changes severalfold: radiated at the faces alone, the
  // emittance comes out 1.27 times MACH's.
  const int n = 64, samples = 1400;
  const DeckRun r = run_deck(light_source(7, "RING") + "SYNC\n 7 3 3,\n" +
                             trac(-1, -2, std::vector<Vector6>(n, Vector6{}), 1000) + "STOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  // The turn ends in the middle of a straight: alpha and the dispersion are 0 there.
  ASSERT_NEAR(analc.eta(1), 0.0, 1e-9);
  bind_units_in_memory("", "");
  const int column[3] = {1, 2, 6}; // x, x', delta
  double sum[3] = {}, squares[3] = {};
  for (int k = 0; k < samples; ++k) {
    trace.nturn = trace.iturn + 5;
    trackt();
    for (int i = 1; i <= n; ++i)
      for (int c = 0; c < 3; ++c) {
        sum[c] += trace.pcoord(i, column[c]);
        squares[c] += trace.pcoord(i, column[c]) * trace.pcoord(i, column[c]);
      }
  }
  ASSERT_EQ(trace.nlive, n);
  // Spreads about the closed orbit, whose energy is lowered by the loss since the last cavity.
  const double m = static_cast<double>(samples) * n, beta = analc.beta(1);
  auto variance = [&](int c) { return squares[c] / m - (sum[c] / m) * (sum[c] / m); };
  EXPECT_NEAR((variance(0) / beta + beta * variance(1)) / 2 / number_after(r.listing, " EPSX="),
              1.0, 0.07);
  EXPECT_NEAR(std::sqrt(variance(2)) / number_after(r.listing, " SIGE="), 1.0, 0.04);
}

TEST(Effects, MomentumOffsetsAreSeenByTheQuadrupoleOnly) {
  const std::string line = "Q: QUADRUPOLE, L = 1, K1 = 0.5\nL1: LINE = (Q)\nUSE, L1\nVORAX\n";
  // d = ((|delta| + a) - |d0|) / a = 1 for an unchanged delta: the quadrupole sees -b2.
  run_deck(line + "SPAC\n 1 1 0 0.01,\n" + trac(-1, -2, {{1e-3, 0, 0, 0, 0, 0}}, 1) + "STOP\n");
  const Vector6 offset = particle(1);
  run_deck(line + trac(-1, -2, {{1e-3, 0, 0, 0, 0, -0.01}}, 1) + "STOP\n");
  const Vector6 shifted = particle(1);
  for (int k = 0; k < 5; ++k)
    EXPECT_EQ(offset[static_cast<std::size_t>(k)], shifted[static_cast<std::size_t>(k)]) << k;
  EXPECT_EQ(offset[5], 0.0);
  // A count of 0 leaves the offsets off; so does an a of 0, with a message.
  run_deck(line + "SPAC\n 0 1 0 0.01,\n" + trac(-1, -2, {{1e-3, 0, 0, 0, 0, 0}}, 1) + "STOP\n");
  EXPECT_EQ(cspch.on, 0);
  const DeckRun zero = run_deck(line + "SPAC\n 1 0 0 0.01;\n");
  EXPECT_EQ(cspch.on, 0);
  EXPECT_TRUE(contains(zero.listing, " SPAC: THE VALUE A IS 0"));
}

TEST(Effects, GroundMotionShiftsByTheWaveAlongTheRange) {
  // Drifts leave x alone: after the range the shifts add up to the wave at its last position.
  const std::string line = "D: DRIFT, L = 1.5\nE: DRIFT, L = 1\n"
                           "L1: LINE = (D, D, E, D)\nUSE, L1\nVORAX\n";
  const DeckRun r = run_deck(line + "SEIS\n 10 1E-3 30 0 1E-3 0\n D\n E\n" +
                             trac(-1, -2, {{0, 0, 0, 0, 0, 0}}, 1) + "STOP\n");
  ASSERT_EQ(r.status, 0) << r.listing;
  EXPECT_NEAR(trace.pcoord(1, 1), 1e-3 * std::sin(2 * PI * 4.0 / 10 + PI / 6), 1e-15);
  // A wavelength of 0 has no wave (and no division by it).
  EXPECT_TRUE(contains(r.listing, " SEIS: WAVELENGTH 0 IN Y, NO GROUND MOTION IN Y"));
  EXPECT_EQ(trace.pcoord(1, 3), 0.0);
}

const std::string ADIA_LINE = "Q: QUADRUPOLE, L = 1, K1 = 0\nR: QUADRUPOLE, L = 1, K1 = 0\n"
                              "L1: LINE = (Q, R)\nUSE, L1\nVORAX\n";

double k1_after(const std::string &changes, int turns) {
  const DeckRun r = run_deck(ADIA_LINE + "ADIA\n" + changes + " 99\n" +
                             trac(-1, -2, {{1e-3, 0, 0, 0, 0, 0}}, turns) + "STOP\n");
  EXPECT_EQ(r.status, 0) << r.listing;
  return inputt.slot(blank.mseq(1), slot::quad::K1);
}

TEST(Effects, SlowChangesFollowTheirWindows) {
  // A ramp over turns 1..11 from 0 to 1: 0.5 on turn 6, 1 after turn 11.
  const std::string ramp = " Q\n K1 1\n 1 11 0 1\n";
  EXPECT_DOUBLE_EQ(k1_after(ramp, 6), 0.5);
  EXPECT_DOUBLE_EQ(k1_after(ramp, 20), 1.0);
  // A ramp of one turn is a step; the map is rebuilt, so tracking equals the lattice written
  // with the new value.
  k1_after(" Q\n K1 1\n 1 1 0 0.3\n", 3);
  const Vector6 changed = particle(1);
  run_deck("Q: QUADRUPOLE, L = 1, K1 = 0.3\nR: QUADRUPOLE, L = 1, K1 = 0\n"
           "L1: LINE = (Q, R)\nUSE, L1\nVORAX\n" +
           trac(-1, -2, {{1e-3, 0, 0, 0, 0, 0}}, 3) + "STOP\n");
  EXPECT_EQ(std::memcmp(changed.data(), particle(1).data(), sizeof(Vector6)), 0);
  // An entry whose window has not begun holds back the entries after it ...
  k1_after(" R\n K1 1\n 5 10 0 1\n Q\n K1 1\n 1 20 0 1\n", 3);
  EXPECT_EQ(inputt.slot(blank.mseq(1), slot::quad::K1), 0.0);
  // ... but a finished one does not freeze them.
  EXPECT_DOUBLE_EQ(k1_after(" R\n K1 1\n 1 2 0 1\n Q\n K1 1\n 1 21 0 1\n", 11), 0.5);
  // A changed length moves the positions after the element: the path lengths and the machine
  // length follow (R ends at 1.5 + 1 once Q is 1.5 long).
  k1_after(" Q\n L 1\n 1 2 1.25 1.5\n", 3);
  EXPECT_EQ(blank.path_length(2), 2.5);
  EXPECT_EQ(blank.machine_length, 2.5);
  // A type-3 entry interpolates between its points; a sine of type 2 keeps its window.
  EXPECT_DOUBLE_EQ(k1_after(" Q\n K1 3\n 3\n 1 0 5 2 9 0\n", 7), 1.0);
  EXPECT_NEAR(k1_after(" Q\n K1 2\n 1 9 0.5 0.1 8 0\n", 2), 0.5 + 0.1, 1e-15);
}

TEST(Effects, SlowChangeStops) {
  const DeckRun type =
      run_deck(ADIA_LINE + "ADIA\n Q\n K1 4\n 99\n" + trac(-1, -2, {{0, 0, 0, 0, 0, 0}}, 1));
  EXPECT_EQ(type.status, 1);
  EXPECT_TRUE(contains(type.listing, " ERROR IN OPTION NUMBER FOR ADIABATIC CHANGE"));
  EXPECT_TRUE(contains(type.listing, "ADIA:OPTION ERR"));
  std::string many;
  for (int k = 0; k < 16; ++k)
    many += " Q\n K1 1\n 1 2 0 1\n";
  const DeckRun sixteen = run_deck(ADIA_LINE + "ADIA\n" + many + " 99;\n");
  EXPECT_EQ(sixteen.status, 1);
  EXPECT_TRUE(contains(sixteen.listing, " TOO MANY PARAMETERS TO BE VARIED ADIABATICALLY"));
  EXPECT_TRUE(contains(sixteen.listing, "ARRSIZE ADIAPAR"));
  // A cavity's frequency changing slowly asks every cavity to be in the list.
  const DeckRun cavity =
      run_deck("C1: RFCAVITY, L = 0.1, ENERGY = 1, VOLT = 0.1, FREQ = 2\n"
               "C2: RFCAVITY, L = 0.1, ENERGY = 1, VOLT = 0.1, FREQ = 2\nD: DRIFT, L = 5\n"
               "L1: LINE = (C1, D, C2, D)\nUSE, L1\nVORAX\nADIA\n C1\n FREQ 1\n 1 5 2 2\n 99\n" +
               trac(-1, -2, {{0, 0, 0, 0, 0, 0}}, 1));
  EXPECT_EQ(cavity.status, 1);
  EXPECT_TRUE(contains(cavity.listing, " NO MATCH WAS FOUND FOR CAVITY ID IN CAVPRE"));
  EXPECT_TRUE(contains(cavity.listing, "CAV:NOT A CAVITY"));
}

// A quadrupole between drifts; blocks over parts of it.
const std::string BLOCK_LINE =
    "A: DRIFT, L = 1\nB: DRIFT, L = 2\nQ: QUADRUPOLE, L = 0.5, K1 = 0.4\n"
    "C: DRIFT, L = 0.5\nL1: LINE = (A, B, C, Q, C)\nUSE, L1\nVORAX\n";
const std::vector<Vector6> BLOCK_SET{{1e-3, 2e-4, -5e-4, 1e-4, 0, 1e-3}};

Vector6 blocked(const std::string &blocks) {
  const DeckRun r = run_deck(BLOCK_LINE + blocks + trac(-1, -2, BLOCK_SET, 1) + "STOP\n");
  EXPECT_EQ(r.status, 0) << r.listing;
  return particle(1);
}

TEST(Blocks, AFieldFreeBlockIsInvisibleAndAQuadrupoleBlockIsNot) {
  const Vector6 plain = blocked("");
  // A displaced, rolled, shifted girder of drifts changes no trajectory (but for rounding).
  const std::string values = " 1E-3 2E-4 -3E-4 1E-4 0.01 0.1 0\n";
  const Vector6 drifts = blocked("BLOC\n 0 0\n A\n B\n" + values + " 99\n");
  for (std::size_t k = 0; k < 4; ++k)
    EXPECT_NEAR(drifts[k], plain[k], 1e-15) << k;
  // A block of one element is entered before it and left after it.
  const Vector6 single = blocked("BLOC\n 0 0\n B\n B\n" + values + " 99\n");
  for (std::size_t k = 0; k < 4; ++k)
    EXPECT_NEAR(single[k], plain[k], 1e-15) << k;
  // Displaced, the quadrupole kicks: x' changes by K1 L dx to first order.
  const Vector6 quad = blocked("BLOC\n 0 0\n Q\n Q\n 1E-3 0 0 0 0 0 0\n 99\n");
  EXPECT_NEAR(quad[1] - plain[1], 0.4 * 0.5 * 1e-3, 2e-5);
}

TEST(Blocks, OpeningTwiceAndClosingOverAnInnerBlockStop) {
  // C opens the block at position 5 again, and it is still open when turn 2 meets position 3.
  const DeckRun twice = run_deck(BLOCK_LINE + "BLOC\n 0 0\n C\n Q\n 0 0 0 0 0 0 0\n 99\n" +
                                 trac(-1, -2, BLOCK_SET, 2));
  EXPECT_EQ(twice.status, 1);
  EXPECT_TRUE(contains(twice.listing, " a block starting with the name : C        has already"));
  EXPECT_TRUE(contains(twice.listing, "BLOC:REOPENED"));
  const DeckRun nested =
      run_deck(BLOCK_LINE + "BLOC\n 0 0\n A\n C\n 0 0 0 0 0 0 0\n B\n Q\n 0 0 0 0 0 0 0\n 99\n" +
               trac(-1, -2, BLOCK_SET, 1));
  EXPECT_EQ(nested.status, 1);
  EXPECT_TRUE(contains(nested.listing, " because another open block is nested . Run is stopped"));
  EXPECT_TRUE(contains(nested.listing, "BLOC:NESTED CLOSE"));
}

} // namespace
} // namespace vorax::test
