// Correctors and orbit correction from whole decks: a kick's closed orbit against the textbook
// formula, the misaligned ring corrected by ALIG (by least squares and by its linear variant)
// with the closed orbit of REFE agreeing with tracking, closed bumps of BASE, the monitor
// reading of READ, and every stop of the corrector and orbit operations with its name.
#include "harness.h"
#include "track/closed_orbit.h"
#include "track/tracked_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

constexpr double K1 = 0.9, LQ = 0.5, LD = 2.5;

// The orbit table of REFE: x and y after every position.
struct Orbit {
  std::vector<double> x, y;
};
Orbit reference_orbit(const std::string &listing) {
  Orbit o;
  bool in = false;
  for (const std::string &line : lines_of(listing)) {
    if (line.find("  #    NAME        X          Y") == 0) {
      in = true;
      continue;
    }
    int p = 0;
    char name[16];
    double x = 0, y = 0;
    if (in && std::sscanf(line.c_str(), "%d %15s %lf %lf", &p, name, &x, &y) == 4) {
      o.x.push_back(x);
      o.y.push_back(y);
    } else if (in) {
      break;
    }
  }
  return o;
}

// 2x2 transfer matrices of the horizontal plane.
struct M2 {
  double a = 1, b = 0, c = 0, d = 1;
  M2 operator*(const M2 &r) const {
    return {a * r.a + b * r.c, a * r.b + b * r.d, c * r.a + d * r.c, c * r.b + d * r.d};
  }
};
M2 quad(double k, double l) {
  if (k > 0) {
    const double w = std::sqrt(k);
    return {std::cos(w * l), std::sin(w * l) / w, -w * std::sin(w * l), std::cos(w * l)};
  }
  const double w = std::sqrt(-k);
  return {std::cosh(w * l), std::sinh(w * l) / w, w * std::sinh(w * l), std::cosh(w * l)};
}
M2 drift(double l) {
  return {1, l, 0, 1};
}

// Coordinates of particle 1 in the last block of printed positions.
std::vector<double> last_printed(const std::string &listing) {
  const std::vector<std::string> lines = lines_of(listing);
  std::vector<double> z(6, NAN);
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].find(" PARTICLE POSITIONS AFTER ELEMENT") != 0)
      continue;
    int n = 0;
    std::sscanf(lines[i + 1].c_str(), "%d %lf %lf %lf %lf %lf %lf", &n, &z[0], &z[1], &z[2], &z[3],
                &z[4], &z[5]);
  }
  return z;
}

const std::string FODO = "QF: QUADRUPOLE, L=0.5, K1=0.9\nQD: QUADRUPOLE, L=0.5, K1=-0.9\n"
                         "D: DRIFT, L=2.5\nKK: GKICK, L=0\n";

// The closed orbit of one type-3 corrector kick is the same whichever operation finds it: REFE's
// orbit at the end of the machine, MOVE's at its start, and the orbit RMAT's reference follows
// round the turn from there.
TEST(ReferenceOrbit, OneKickClosedOrbitAgreesInRefeMoveAndRmat) {
  const DeckRun run = run_deck(FODO + "RING: LINE=(KK, 4*(QF, D, QD, D))\nUSE, RING\nVORAX\n"
                                      "CORR\n KK 1 1,\n 99\nSETC\n KK 1 3 1E-4 0 0 0,\n 99\n"
                                      "REFE\n 11 0.01 0.002 0 0 0 0 2 9,\n"
                                      "MOVE\n 0 0 0 -3 1 0 1E-7 0 0 0 0 0\n 0\n 0 0 0 0 0 0 0\n"
                                      "RMAT\n 0 0 0 0 0 1 1E-8 1E-8 1E-8 1E-8 1E-8 1E-8 0 0;\n"
                                      "STOP\n");
  ASSERT_EQ(run.status, 0) << run.terminal;
  const Orbit o = reference_orbit(run.listing.substr(0, run.listing.find("MOVE")));
  ASSERT_EQ(o.x.size(), 17u);
  const double x0 = o.x.back();
  ASSERT_GT(std::fabs(x0), 1e-6);
  ASSERT_EQ(ctune.found, 1);
  EXPECT_NEAR(ctune.orbit(1), x0, 1e-6 * std::fabs(x0));
  EXPECT_EQ(crmat.reference[0], ctune.orbit(1));
  EXPECT_NEAR(crmat.output[0], ctune.orbit(1), 1e-9 * std::fabs(x0));
  EXPECT_NEAR(crmat.output[1], ctune.orbit(2), 1e-9 * std::fabs(x0));
}

TEST(ReferenceOrbit, OneKickGivesTheTextbookClosedOrbitAndNoKickNone) {
  const double theta = 1e-4;
  const DeckRun run = run_deck(FODO + "RING: LINE=(KK, 4*(QF, D, QD, D))\nUSE, RING\nVORAX\n"
                                      "REFE\n 11,\nCORR\n KK 1 1,\n 99\nSETC\n KK 1 3 1E-4 0 0 0,\n"
                                      " 99\nREFE\n 11 0.01 0.002 0 0 0 0 2 9;\nSTOP\n");
  ASSERT_EQ(run.status, 0) << run.terminal;
  const std::string first = run.listing.substr(0, run.listing.find("SETC"));
  const Orbit none = reference_orbit(first);
  ASSERT_EQ(none.x.size(), 17u);
  for (std::size_t p = 0; p < none.x.size(); ++p)
    EXPECT_EQ(none.x[p], 0.0) << p;

  const Orbit o = reference_orbit(run.listing.substr(run.listing.find("SETC")));
  ASSERT_EQ(o.x.size(), 17u);
  // Positions 2..17 after the kick: the matrices from the kick to the end of each.
  std::vector<M2> along{M2{}};
  const M2 cell[4] = {quad(K1, LQ), drift(LD), quad(-K1, LQ), drift(LD)};
  for (int c = 0; c < 4; ++c)
    for (const M2 &m : cell)
      along.push_back(m * along.back());
  const M2 turn = along.back();
  // The cell's phase advance is below pi; the turn's is four times it.
  const double mu = 4 * std::acos((along[4].a + along[4].d) / 2);
  const double nu = mu / (2 * std::numbers::pi);
  const double beta0 = turn.b / std::sin(mu), alpha0 = (turn.a - turn.d) / (2 * std::sin(mu));
  double previous = 0.0, unwrapped = 0.0;
  double largest = 0.0;
  for (std::size_t p = 0; p < along.size(); ++p) {
    const M2 &t = along[p];
    const double u = t.a * beta0 - t.b * alpha0;
    const double beta = (u * u + t.b * t.b) / beta0;
    double phase = std::atan2(t.b, u);
    if (phase < 0)
      phase += 2 * std::numbers::pi;
    if (p > 0 && phase + 1e-12 < previous)
      unwrapped += 2 * std::numbers::pi;
    previous = phase;
    const double mu_p = p == along.size() - 1 ? 2 * std::numbers::pi * nu : phase + unwrapped;
    const double expected = theta * std::sqrt(beta * beta0) *
                            std::cos(mu_p - std::numbers::pi * nu) /
                            (2 * std::sin(std::numbers::pi * nu));
    largest = std::max(largest, std::fabs(expected));
    EXPECT_NEAR(o.x[p], expected, 1e-6 * std::fabs(expected) + 1e-12) << "position " << p + 1;
    EXPECT_NEAR(o.y[p], 0.0, 1e-20);
  }
  EXPECT_NEAR(number_after(run.listing.substr(run.listing.find("SETC")),
                           " THE MAXIMUM X ORBIT DISPLACEMENT IS :"),
              largest, 1e-6 * largest);
  EXPECT_TRUE(contains(run.listing, " BETWEEN POSITION     2  AND POSITION     9"));
  EXPECT_TRUE(contains(run.listing, "REFERENCE ORBIT DISPLACEMENT PLOT"));
}

// A ring of eight cells, each a kick, a monitor and a misaligned focusing quadrupole.
std::string misaligned_ring(const std::string &operations) {
  return "QF: QUADRUPOLE, L=0.5, K1=0.9\nQD: QUADRUPOLE, L=0.5, K1=-0.9\n"
         "D: DRIFT, L=1.2\nHC: GKICK, L=0\nBPM: MONITOR, L=0.2\n"
         "CELL: LINE=(HC, QF, D, QD, D, BPM)\nRING: LINE=(8*CELL)\nUSE, RING\nVORAX\nSEED\n 7\n"
         "MISA\n QF 1E-4 0 5E-5 0 0 0 0 1,\n 99\nSETM\n 1 1\n QF 0\n"
         "CORR\n HC 1 48,\n 99\n" +
         operations + "STOP\n";
}

// The ALIG operation; last: the operation stream ends with it.
std::string alig(int method, int correctors, int plane, bool last = true) {
  std::string s = "ALIG\n 1 " + std::to_string(method) + " " + std::to_string(correctors) +
                  " 8 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1\n 0 0 0 0 0 0\n";
  for (int c = 0; c < correctors; ++c)
    s +=
        " HC " + std::to_string(1 + 6 * c * (8 / correctors)) + " " + std::to_string(plane) + ",\n";
  for (int c = 1; c <= 8; ++c)
    s += " BPM " + std::to_string(6 * c) + " " + std::to_string(plane) + " 0 1,\n";
  return s + (last ? " 99;\n" : " 99\n");
}

std::vector<double> values_after(const std::string &listing, const std::string &label) {
  std::vector<double> v;
  for (int k = 1; k <= 8; ++k)
    v.push_back(number_after(listing, label, k));
  return v;
}

double rms(const std::vector<double> &v) {
  double s = 0;
  for (double x : v)
    s += x * x;
  return std::sqrt(s / static_cast<double>(v.size()));
}

TEST(OrbitAlignment, OneCorrectorPerMonitorZeroesTheReadingsInEitherPlaneAndMethod) {
  for (int plane : {1, 2})
    for (int method : {0, 1}) {
      const DeckRun run = run_deck(misaligned_ring(alig(method, 8, plane)));
      ASSERT_EQ(run.status, 0) << run.terminal << run.listing;
      const double before = rms(values_after(run.listing, "  THE INITIAL VALUES ARE :"));
      const double after = rms(values_after(run.listing, "  THE ACHIEVED VALUES ARE :"));
      EXPECT_GT(before, 1e-5) << plane << method;
      EXPECT_LT(after, 1e-6 * before) << plane << method;
      EXPECT_EQ(count_of(run.listing, " PARM"), 8);
      EXPECT_TRUE(contains(run.listing, " AFTER STEP    1 THE FIT FUNCTION VALUE IS "));
    }
}

TEST(OrbitAlignment, BothPlanesAreCorrectedAtTheSameMonitorsInOneAlig) {
  // Sixteen readings, x and y at each of the eight monitors, by both values of each kick.
  std::string s = "ALIG\n 1 1 16 16 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1\n 0 0 0 0 0 0\n";
  for (int c = 0; c < 8; ++c)
    for (int plane : {1, 2})
      s += " HC " + std::to_string(1 + 6 * c) + " " + std::to_string(plane) + ",\n";
  for (int c = 1; c <= 8; ++c)
    for (int plane : {1, 2})
      s += " BPM " + std::to_string(6 * c) + " " + std::to_string(plane) + " 0 1,\n";
  const DeckRun run = run_deck(misaligned_ring(s + " 99;\n"));
  ASSERT_EQ(run.status, 0) << run.terminal << run.listing;
  for (int plane : {1, 2}) {
    std::vector<double> before, after;
    for (int k = plane; k <= 16; k += 2) {
      before.push_back(number_after(run.listing, "  THE INITIAL VALUES ARE :", k));
      after.push_back(number_after(run.listing, "  THE ACHIEVED VALUES ARE :", k));
    }
    EXPECT_GT(rms(before), 1e-5) << plane;
    EXPECT_LT(rms(after), 1e-6 * rms(before)) << plane;
  }
}

TEST(OrbitAlignment, FewerCorrectorsReachTheSameLeastSquaresOptimumByBothMethods) {
  const DeckRun fit = run_deck(misaligned_ring(alig(0, 4, 1)));
  const DeckRun linear = run_deck(misaligned_ring(alig(1, 4, 1)));
  ASSERT_EQ(fit.status, 0) << fit.terminal;
  ASSERT_EQ(linear.status, 0) << linear.terminal;
  const double before = rms(values_after(fit.listing, "  THE INITIAL VALUES ARE :"));
  const double a = rms(values_after(fit.listing, "  THE ACHIEVED VALUES ARE :"));
  const double b = rms(values_after(linear.listing, "  THE ACHIEVED VALUES ARE :"));
  EXPECT_LT(a, 0.9 * before);
  EXPECT_GT(a, 1e-3 * before); // four correctors cannot cancel eight readings
  EXPECT_NEAR(a, b, 1e-4 * a);
}

TEST(OrbitAlignment, TrackedClosedOrbitAfterCorrectionAgreesWithReferenceOrbit) {
  const DeckRun run = run_deck(misaligned_ring(alig(1, 8, 1, false) + "REFE\n 11;\n"));
  ASSERT_EQ(run.status, 0) << run.terminal;
  const Orbit o = reference_orbit(run.listing);
  ASSERT_EQ(o.x.size(), 48u);
  // The fitted start, tracked one turn with a print after every position.
  const std::string rest = run.listing.substr(run.listing.find(" THE FITTED CLOSED ORBIT"));
  const std::vector<std::string> lines = lines_of(rest);
  ASSERT_GE(lines.size(), 2u);
  // Three values a line: operation data are read from 72 columns.
  double z0[6];
  ASSERT_EQ(std::sscanf(lines[1].c_str(), "%lf %lf %lf %lf %lf %lf", &z0[0], &z0[1], &z0[2], &z0[3],
                        &z0[4], &z0[5]),
            6);
  char particle[200];
  std::snprintf(particle, sizeof particle, " %.17g %.17g %.17g\n %.17g %.17g %.17g\n", z0[0], z0[1],
                z0[2], z0[3], z0[4], z0[5]);
  const std::string trac = "TRAC\n -1 0 1 1\n" + std::string(particle) + " 0;\n";
  const DeckRun tracked = run_deck(misaligned_ring(alig(1, 8, 1, false) + trac));
  ASSERT_EQ(tracked.status, 0) << tracked.terminal;
  const std::vector<std::string> t = lines_of(tracked.listing);
  int p = 0;
  for (std::size_t i = 0; i + 1 < t.size(); ++i) {
    if (t[i].find(" PARTICLE POSITIONS AFTER ELEMENT") != 0)
      continue;
    int n = 0;
    double z[6];
    ASSERT_EQ(std::sscanf(t[i + 1].c_str(), "%d %lf %lf %lf %lf %lf %lf", &n, &z[0], &z[1], &z[2],
                          &z[3], &z[4], &z[5]),
              7);
    EXPECT_NEAR(z[0], o.x[static_cast<std::size_t>(p)], 1e-6 * std::fabs(z[0]) + 1e-12);
    EXPECT_NEAR(z[2], o.y[static_cast<std::size_t>(p)], 1e-6 * std::fabs(z[2]) + 1e-12);
    ++p;
  }
  EXPECT_EQ(p, 48);
  // Closed: after the last position the orbit is back at its start.
  EXPECT_NEAR(o.x.back(), z0[0], 1e-9);
}

TEST(OrbitAlignment, AnElementParameterIsFittedWithTheParametersCoupledToIt) {
  // The kick angle of H1 is varied and H2 follows it with the opposite sign: the monitor between
  // them reads the target, the one after both reads the offset of H1 alone drifted back.
  const DeckRun run =
      run_deck("H1: GKICK, L=0\nH2: GKICK, L=0\nD: DRIFT, L=2\nM: MONITOR, L=0\n"
               "RING: LINE=(H1, D, M, H2, D, M)\nUSE, RING\nVORAX\n"
               "ALIG\n 1 0 1 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n H1 0 3,\n M 3 1 1E-3 1,\n"
               " H2 3 -1 0 1,\n 99;\nSTOP\n");
  ASSERT_EQ(run.status, 0) << run.terminal << run.listing;
  EXPECT_NEAR(number_after(run.listing, "  PARAMETER #    3 OF H1       = "), 5e-4, 1e-12);
  EXPECT_NEAR(number_after(run.listing, "  THE ACHIEVED VALUES ARE :"), 1e-3, 1e-12);
}

TEST(Bumps, EveryBumpIsClosedAndZeroOutsideIt) {
  const std::string ring = "QF: QUADRUPOLE, L=0.5, K1=0.9\nQD: QUADRUPOLE, L=0.5, K1=-0.9\n"
                           "D: DRIFT, L=1.2\nK: GKICK, L=0.2\nCELL: LINE=(K, QF, D, QD, D)\n"
                           "RING: LINE=(6*CELL, K)\nUSE, RING\nVORAX\nSEED\n 7\n";
  // The second bump alone (kicks 3, 4, 5 at positions 11, 16, 21), 1 mrad, both planes.
  const DeckRun run = run_deck(ring + "BASE\n 3 -1E-3 2,\nREFE\n 1;\nSTOP\n");
  ASSERT_EQ(run.status, 0) << run.terminal << run.listing;
  const Orbit o = reference_orbit(run.listing);
  ASSERT_EQ(o.x.size(), 31u);
  for (std::size_t p = 0; p < o.x.size(); ++p) {
    const bool inside = p + 1 >= 11 && p + 1 < 21;
    if (!inside) {
      EXPECT_LT(std::fabs(o.x[p]), 1e-12) << p + 1;
      EXPECT_LT(std::fabs(o.y[p]), 1e-12) << p + 1;
    }
  }
  EXPECT_GT(std::fabs(o.x[12]), 1e-4);
  EXPECT_GT(std::fabs(o.y[12]), 1e-4);
  // A negative amplitude is the first kick's angle as written: -1 mrad, which sends the orbit
  // to -x and -y over the second half of the first kick's length.
  EXPECT_NEAR(numbers_after(run.listing, "  BUMP   2 X KICKS AT")[3], -1e-3, 1e-15);
  EXPECT_NEAR(o.x[10], -1e-3 * 0.1, 1e-15);
  EXPECT_NEAR(o.y[10], -1e-3 * 0.1, 1e-15);
  // Every bump, random amplitudes: still zero after the last kick and the orbit closed.
  const DeckRun all = run_deck(ring + "BASE\n 1 1E-3 0,\nREFE\n 1;\nSTOP\n");
  ASSERT_EQ(all.status, 0) << all.terminal;
  const Orbit a = reference_orbit(all.listing);
  EXPECT_EQ(count_of(all.listing, "  BUMP"), 3);
  EXPECT_LT(std::fabs(a.x.back()), 1e-12);
  EXPECT_NE(a.x[7], 0.0);
}

TEST(Correctors, EveryCorrectorTypeOnAFieldFreeElementLeavesTheOrbitAndKicksActAsGiven) {
  // A quadrupole without gradient is a drift: a displaced or turned one changes nothing.
  const std::string deck = "Q0: QUADRUPOLE, L=0.5, K1=0\nQZ: QUADRUPOLE, L=0, K1=0\n"
                           "D: DRIFT, L=1\nRING: LINE=(D, Q0, D, QZ, D)\nUSE, RING\nVORAX\n"
                           "CORR\n Q0 1 5,\n QZ 1 5 3 4,\n 99\n";
  for (int type : {0, 1, 2}) {
    const std::string t = std::to_string(type);
    const DeckRun run = run_deck(deck + "SETC\n Q0 2 " + t + " 1E-3 2E-3 0 0,\n QZ 4 " + t +
                                 " 1E-3 2E-3 0 0,\n 99\nTRAC\n -1 -1 1 1\n 1E-3 0 0 0 0 0\n"
                                 " 0;\nSTOP\n");
    ASSERT_EQ(run.status, 0) << run.terminal;
    const std::vector<double> z = last_printed(run.listing);
    EXPECT_NEAR(z[0], 1e-3, 1e-15) << type;
    EXPECT_NEAR(z[1], 0.0, 1e-15) << type;
    EXPECT_NEAR(z[2], 0.0, 1e-15) << type;
    EXPECT_FALSE(contains(run.listing, "NAN") || contains(run.listing, "INF")) << type;
  }
  // A type-3 corrector at a thin kick changes x' by p1 / (1 + delta) and leaves x.
  const DeckRun kick = run_deck(
      "K: GKICK, L=0\nD: DRIFT, L=1\nRING: LINE=(K, D)\nUSE, RING\nVORAX\nCORR\n K 1 1,\n 99\n"
      "SETC\n K 1 3 1E-3 0 0 0,\n 99\nTRAC\n -1 -1 1 1\n 0 0 0 0 0 0.25\n 0;\nSTOP\n");
  ASSERT_EQ(kick.status, 0) << kick.terminal;
  const std::vector<double> z = last_printed(kick.listing);
  // x unchanged at the kick, then the drift of 1 m.
  EXPECT_NEAR(z[1], 1e-3 / 1.25, 1e-15);
  EXPECT_NEAR(z[0], z[1], 1e-15);
}

TEST(Correctors, OverlappingRangesDefineOneCorrectorPerPositionAndShocShowsThem) {
  const DeckRun run = run_deck(
      "K: GKICK, L=0\nD: DRIFT, L=1\nRING: LINE=(2*D, K, 6*D, K, 9*D, K, D)\nUSE, RING\nVORAX\n"
      "CORR\n K 1 15 5 12,\n D 1 2,\n 99\nSETC\n K 3 3 1E-3 2E-3 0 0,\n K 10 3 3E-3 -2E-3 0 0,\n"
      " 99\n"
      "CHAN\n 1\n K 2 1\n K 7 1 0.5 1E-4,\nSHOC\n 1\nSHOC\n 3\n K\nSHOC\n 4;\nSTOP\n");
  ASSERT_EQ(run.status, 0) << run.terminal;
  // Positions 3 and 10 of K once each, 1 and 2 of the drift, which takes no corrector.
  EXPECT_EQ(number_after(run.listing, " TOTAL NUMBER OF CORRECTORS DEFINED :"), 4);
  EXPECT_EQ(count_of(run.listing, " CORRECTORS ON D        HAVE NO EFFECT IN TRACKING"), 1);
  // CHAN: 3E-3 + 2 * 0.5 + 1E-4 at position 3 + 7.
  EXPECT_NEAR(number_after(run.listing, "  VALUES 1 AND 2 FOR CORRECTOR  : K", 4), 10, 1e-12);
  EXPECT_NEAR(number_after(run.listing, "  VALUES 1 AND 2 FOR CORRECTOR  : K", 5), 1.0031, 1e-12);
  EXPECT_NEAR(number_after(run.listing, " AVERAGE CORRECTOR VALUES"), (1e-3 + 1.0031) / 2, 1e-9);
  EXPECT_NEAR(number_after(run.listing, " MINIMUM CORRECTOR VALUES", 2), -2e-3, 1e-12);
  // The listing of option 4 is SETC data: read back, it lists the same correctors.
  const std::string shown = run.listing.substr(run.listing.rfind("  4;") + 5);
  const std::string data = shown.substr(0, shown.find("99,") + 3);
  const DeckRun again = run_deck(
      "K: GKICK, L=0\nD: DRIFT, L=1\nRING: LINE=(2*D, K, 6*D, K, 9*D, K, D)\nUSE, RING\nVORAX\n"
      "CORR\n K 1 20,\n 99\nSETC\n" +
      data + "\nSHOC\n 4;\nSTOP\n");
  ASSERT_EQ(again.status, 0) << again.listing;
  const std::string shown_again = again.listing.substr(again.listing.rfind("  4;") + 5);
  EXPECT_EQ(shown_again.substr(0, shown_again.find("99,") + 3), data);
}

TEST(MonitorReading, ReadShowsTheCentroidAtTheCentreOfTheMatchingMonitorsOnly) {
  const DeckRun run =
      run_deck("D: DRIFT, L=1\nBPMA: MONITOR, L=2\nXPM: MONITOR, L=2\n"
               "RING: LINE=(D, BPMA, D, XPM, D, BPMA)\nUSE, RING\nVORAX\n"
               "READ\n 1\n BPM*\n D XPM\n"
               "TRAC\n -1 -2 2 1\n 0 1E-3 0 0 0 0\n 0 3E-3 1E-3 0 0 0\n 0;\nSTOP\n");
  ASSERT_EQ(run.status, 0) << run.terminal;
  EXPECT_EQ(count_of(run.terminal, " MONITOR AT"), 1);
  // At the centre of the first monitor (s = 2): mean x = 2 * 2E-3.
  EXPECT_NEAR(number_after(run.terminal, " MONITOR AT", 2), 4e-3, 1e-15);
  EXPECT_NEAR(number_after(run.terminal, " MONITOR AT", 3), 2e-3, 1e-15);
  EXPECT_NEAR(number_after(run.terminal, " MONITOR AT", 4), 5e-4, 1e-15);
  const DeckRun off = run_deck("D: DRIFT, L=1\nBPMA: MONITOR, L=2\nRING: LINE=(D, BPMA)\n"
                               "USE, RING\nVORAX\nREAD\n 1\n BPM*\n D BPMA\nREAD\n 0\n"
                               "TRAC\n -1 -2 1 1\n 0 1E-3 0 0 0 0\n 0;\nSTOP\n");
  EXPECT_EQ(count_of(off.terminal, " MONITOR AT"), 0);
  // A displaced monitor reads the beam relative to its own centre.
  const DeckRun displaced = run_deck(
      "D: DRIFT, L=1\nBPMA: MONITOR, L=2\nRING: LINE=(D, BPMA)\nUSE, RING\nVORAX\nSEED\n 7\n"
      "MISA\n BPMA 1E-3 0 -2E-3 0 0 0 0 1,\n 99\nSETM\n 0 1\n BPMA 0\nREAD\n 1\n BPM*\n D BPMA\n"
      "TRAC\n -1 -2 1 1\n 0 1E-3 0 0 0 0\n 0;\nSTOP\n");
  EXPECT_NEAR(number_after(displaced.terminal, " MONITOR AT", 2), 2e-3 - 1e-3, 1e-15);
  EXPECT_NEAR(number_after(displaced.terminal, " MONITOR AT", 4), 0 + 2e-3, 1e-15);
}

struct Stop {
  std::string deck;
  int code;
  std::string text;
};

TEST(CorrectionStops, EveryStopWithItsName) {
  const std::string ring = "K: GKICK, L=0\nD: DRIFT, L=1\nM: MONITOR, L=0\n"
                           "RING: LINE=(K, D, M, D, K)\nUSE, RING\nVORAX\n";
  const std::string settings = " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
  const std::vector<Stop> stops = {
      {ring + "CORR\n K 1,\n 99\n", 222, "  EVEN NUMBER OF DATA NEEDED : RUN STOPPED "},
      {"K: GKICK, L=0\nRING: LINE=(601*K)\nUSE, RING\nVORAX\nCORR\n K 1 601,\n 99\n", 1,
       "  CHANGE PARAMETER MAXCOR"},
      {ring + "CORR\n K 1 5,\n 99\nSETC\n K 2 3 0 0 0 0,\n 99\n", 223,
       " OPERATION . RUN IS STOPPED"},
      {ring + "CORR\n K 1 5,\n 99\nCHAN\n 1\n K 0 1\n K 1 1 1 0,\n", 220,
       " OPERATION . RUN IS STOPPED"},
      {ring + "CORR\n K 1 5,\n 99\nCHAN\n 1\n K 0 1\n K 4 1 1 0,\n", 221, " IS NOT SET"},
      {ring + "SHOC\n 7\n", 290, "  ERROR IN OPTION NUMBER "},
      {ring + "ALIG\n 1 0 51 1 0 0" + settings + ",\n 99\n", 0, " EXCEEDS"},
      {ring + "CORR\n K 1 5,\n 99\nALIG\n 1 0 1 1 0 0" + settings + ",\n D 2 1,\n", 201,
       " NO MATCH WAS FOUND"},
      {ring + "CORR\n K 1 5,\n 99\nALIG\n 1 0 1 3 0 0" + settings + ",\n", 202,
       " OUT OF MONITORS TO MANY REQUIRED RUN STOPPED "},
      {ring + "CORR\n K 1 5,\n 99\nALIG\n 1 0 1 1 0 0" + settings + ",\n K 1 1,\n D 2 1,\n", 203,
       " IS NOT A MONITOR, RUN IS STOPPED "},
      {ring + "CORR\n K 1 5,\n 99\nALIG\n 1 0 1 1 0 0" + settings + ",\n K 1 1,\n M 2 1,\n", 203,
       "  MONITOR M        IS NOT AT POSITION "},
      {ring + "ALIG\n 1 0 0 1 0 7" + settings + ",\n", 204,
       " ERROR IN MONITOR ERROR OPTION NUMBER "},
      {ring + "CORR\n K 1 5,\n 99\nALIG\n 1 0 3 1 0 0" + settings + ",\n 99\n", 206,
       " NOT ENOUGH CORRECTORS WERE DEFINED "},
      {ring + "CORR\n K 1 5,\n 99\nALIG\n 1 0 2 1 0 0" + settings + ",\n K 1 1,\n 99\n", 206,
       " NOT ENOUGH CORRECTORS IN BEAMLINE "},
      {ring + "ALIG\n 1 0 1 1 0 0" + settings + ",\n K 0 3,\n M 3 1,\n K 5 1 0 2,\n", 205,
       " ELEMENT NAME AND PARAMETER # IS NOT IN BASE LIST"},
      {ring + "ALIG\n 1 0 1 1 0 0" + settings + ",\n K 0 1,\n", 205, " CANNOT BE VARIED"},
      {"D: DRIFT, L=1\nK: GKICK, L=0\nRING: LINE=(D, K)\nUSE, RING\nVORAX\nBASE\n 1 1E-3 0,\n", 210,
       "  YOUR FORGOT TO USE A KICK AT THE BEGINNING"},
      {"D: DRIFT, L=1\nK: GKICK, L=0\nRING: LINE=(K, D)\nUSE, RING\nVORAX\nBASE\n 1 1E-3 0,\n", 211,
       "  YOUR FORGOT TO USE A KICK AT THE END"},
  };
  for (const Stop &s : stops) {
    const DeckRun run = run_deck(s.deck + "STOP\n");
    EXPECT_EQ(run.status, 1) << s.code;
    // Listing records are written without their trailing blanks.
    const std::string text = s.text.substr(0, s.text.find_last_not_of(' ') + 1);
    EXPECT_TRUE(contains(run.listing, text)) << s.code << run.listing;
    EXPECT_TRUE(contains(run.terminal, "error number " + std::to_string(s.code) + ":"))
        << s.code << run.terminal;
    EXPECT_FALSE(contains(run.terminal, "ERROR NOT IN TABLE")) << s.code;
  }
}

} // namespace
} // namespace vorax::test
