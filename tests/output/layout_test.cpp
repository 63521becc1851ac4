// The machine layout through whole decks: closed rings, the quarter circle, tilted bends as their
// maps turn them, rolls, S against the machine length, length units, the magnet listing in every
// unit convention, drawing records, the geometry conditions of both fits and the stop.
#include "harness.h"
#include "support/listings.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "maps/element_maps.h"
#include "output/layout.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

const double PI = 3.141592653589793;

// S X Y Z THETA PHI PSI ALPHA and the side letter of the last printed row of position p (NaN
// when there is none).
struct Row {
  std::array<double, 8> v;
  char side = ' ';
};
Row row_of(const std::string &listing, int p) {
  Row row;
  row.v.fill(std::nan(""));
  char head[8];
  std::snprintf(head, sizeof head, " %5d ", p);
  for (const std::string &line : lines_of(listing)) {
    if (line.rfind(head, 0) != 0 || (line.back() != 'R' && line.back() != 'L'))
      continue;
    std::istringstream words(line.substr(16, line.size() - 17));
    for (double &x : row.v)
      words >> x;
    row.side = line.back();
  }
  return row;
}

// The layout results after a run: S X Y Z THETA PHI PSI at the end of the machine.
std::vector<double> end_values() {
  std::vector<double> v;
  for (int k = 1; k <= 7; ++k)
    v.push_back(geometry_result(k));
  return v;
}

// The listing of each LAYO of a run.
std::vector<std::string> layo_listings(const std::string &listing) {
  std::vector<std::string> op;
  for (std::size_t p = listing.find("   LAYO"); p != std::string::npos;) {
    const std::size_t next = listing.find("   LAYO", p + 1);
    op.push_back(listing.substr(p, next - p));
    p = next;
  }
  return op;
}

DeckRun run_ok(const std::string &deck) {
  DeckRun r = run_deck(deck);
  EXPECT_EQ(r.status, 0) << r.terminal << r.listing;
  return r;
}

TEST(Layout, ClosedRingsReturnToTheirStartPointAndDirection) {
  // Untilted, and in a plane tilted by 0.4 about the start direction, from an offset start.
  for (const char *tilt : {"0", "0.4"}) {
    run_ok(std::string("PI = 3.141592653589793\nQF: QUADRUPOLE, L=0.5, K1=0.9\n"
                       "QD: QUADRUPOLE, L=0.5, K1=-0.9\nD: DRIFT, L=0.7\n"
                       "B: SBEND, L=2.0, ANGLE=2*PI/32, TILT=") +
           tilt +
           "\nCELL: LINE=(QF,D,B,D,QD,D,B,D)\nRING: LINE=(16*CELL)\nUSE, RING\nVORAX\n"
           "LAYO\n 100 3 -1 -2 30 10 5 1 -1;\nSTOP\n");
    const double c = blank.machine_length, tol = 1e-12 * c;
    const std::vector<double> end = end_values();
    EXPECT_NEAR(end[0], 100 + c, tol);
    EXPECT_NEAR(end[1], 3, tol) << tilt;
    EXPECT_NEAR(end[2], -1, tol) << tilt;
    EXPECT_NEAR(end[3], -2, tol) << tilt;
    for (int k = 4; k < 7; ++k)
      EXPECT_NEAR(std::remainder(end[k] - std::vector<double>{30, 10, 5}[k - 4], 360.0), 0.0,
                  1e-12 * 180 / PI)
          << tilt << " angle " << k;
  }
}

TEST(Layout, QuarterCircleAndTiltedBendsFollowTheirMaps) {
  // The quarter circle, then with TILT = pi/2 upwards: Y, not X, as its map (R36 < 0) says.
  const DeckRun r = run_ok("PI = 3.141592653589793\nB: SBEND, L=PI/2, ANGLE=PI/2\n"
                           "BV: SBEND, L=PI/2, ANGLE=PI/2, TILT=PI/2\nL1: LINE=(B)\nL2: LINE=(BV)\n"
                           "USE, L1\nVORAX\nLAYO\n 0 0 0 0 0 0 0 1 0;\n"
                           "USE, L2\nVORAX\nLAYO\n 0 0 0 0 0 0 0 1 0;\nSTOP\n");
  const std::vector<std::string> op = layo_listings(r.listing);
  ASSERT_EQ(op.size(), 2u);
  const std::vector<double> quarter{PI / 2, -1, 0, 1, -90, 0, 0, 0}, up{PI / 2, 0, 1, 1, 0, 90};
  const Row flat = row_of(op[0], 1), vertical = row_of(op[1], 1);
  for (int k = 0; k < 8; ++k)
    EXPECT_NEAR(flat.v[k], quarter[k], 1e-7) << k;
  for (int k = 0; k < 6; ++k)
    EXPECT_NEAR(vertical.v[k], up[k], 1e-7) << k;

  // TILT t is ROLL(-t), bend, ROLL(t) in every convention, and the bend turns the orbit
  // against its dispersion (R16, R36).
  const double deg = 180 / PI;
  struct Case {
    std::string units, tilt, back, angle;
  } cases[] = {{"USTANDARD", "0.3", "-0.3", "0.25"},
               {"ULDF", "-0.3", "0.3", "0.25"},
               {"UMERIDOXAN", std::to_string(0.3 * deg), std::to_string(-0.3 * deg),
                std::to_string(0.25 * deg)}};
  for (const Case &c : cases) {
    const std::string lattice = c.units + "\nBT: SBEND, L=1.5, ANGLE=" + c.angle +
                                ", TILT=" + c.tilt + "\nBU: SBEND, L=1.5, ANGLE=" + c.angle +
                                "\nR1: ROLL, ANGLE=" + c.back + "\nR2: ROLL, ANGLE=" + c.tilt +
                                "\nLT: LINE=(BT)\nLR: LINE=(R1,BU,R2)\n";
    const std::string layo = "VORAX\nLAYO\n 0 0 0 0 0 0 0 1 -1;\nSTOP\n";
    run_ok(lattice + "USE, LR\n" + layo);
    const std::vector<double> rolled = end_values();
    run_ok(lattice + "USE, LT\n" + layo);
    const std::vector<double> tilted = end_values();
    for (int k = 0; k < 7; ++k)
      EXPECT_NEAR(tilted[k], rolled[k], 1e-12) << c.units << " value " << k + 1;
    const TransferMap m = element_map(blank.mseq(1), map_context());
    const double t = tilted[4] / deg, p = tilted[5] / deg;
    const double dx = std::cos(p) * std::sin(t), dy = std::sin(p);
    EXPECT_NEAR(dx * m.R(3, 6) - dy * m.R(1, 6), 0.0, 1e-12) << c.units;
    EXPECT_LT(dx * m.R(1, 6) + dy * m.R(3, 6), -1e-3) << c.units;
  }
}

TEST(Layout, RollsPathLengthUnitsAndRowSelection) {
  const std::string lattice = "PI = 3.141592653589793\nD: DRIFT, L=2.0\n"
                              "GK: GKICK, L=1.0, DZ=0.5, ANGLE=150*PI/180\n"
                              "Q: QUADRUPOLE, L=0.5, K1=0.3\nL1: LINE=(D,GK,Q)\nUSE, L1\nVORAX\n";
  const DeckRun r = run_ok(lattice + "LAYO\n 10 0 0 0 0 0 0 1 0,\n"
                                     "LAYO\n 0 0 0 0 0 0 0 0.3048 -1,\n"
                                     "LAYO\n 0 0 0 0 0 0 0 2 -1,\n"
                                     "LAYO\n 0 0 0 0 0 0 0 0 -1,\n"
                                     "LAYO\n 0 0 0 0 0 0 0 1 -2;\nSTOP\n");
  const std::vector<std::string> op = layo_listings(r.listing);
  ASSERT_EQ(op.size(), 5u);
  // The roll turns the axes: PSI 150 is ALPHA -30 on the left. The kick's DZ lengthens both
  // the path and the orbit, so a straight machine ends at Z = S - S0 = its length.
  const Row roll = row_of(op[0], 2);
  EXPECT_NEAR(roll.v[6], 150, 1e-7);
  EXPECT_NEAR(roll.v[7], -30, 1e-7);
  EXPECT_EQ(roll.side, 'L');
  EXPECT_NEAR(row_of(op[0], 1).v[3], 2.0, 1e-7);
  EXPECT_NEAR(row_of(op[0], 3).v[0], 14.0, 1e-7);
  EXPECT_NEAR(row_of(op[0], 3).v[3], 4.0, 1e-7);
  EXPECT_TRUE(contains(op[1], "MEASURED IN FEET   ,THE ANGLES IN DEGREES"));
  EXPECT_NEAR(row_of(op[1], 3).v[3], 4.0 / 0.3048, 1e-7);
  EXPECT_TRUE(std::isnan(row_of(op[1], 1).v[0])); // the ranges print only the last position
  EXPECT_TRUE(contains(op[2], "***SPECIAL UNITS ARE USED FOR THE LENGTHS!!!!****"));
  // A zero unit would divide by zero: metres are used and said to be.
  EXPECT_TRUE(contains(op[3], " **** THE LENGTH UNIT IS NOT POSITIVE: METERS ARE USED"));
  EXPECT_TRUE(contains(op[3], "MEASURED IN METERS"));
  EXPECT_NEAR(row_of(op[3], 3).v[3], 4.0, 1e-7);
  EXPECT_FALSE(contains(r.listing, "NaN") || contains(r.listing, "Inf"));
  EXPECT_TRUE(std::isnan(row_of(op[4], 3).v[0]));             // nprint -2 prints no row
  EXPECT_FALSE(contains(r.listing, "VALUES ARE FOR ENERGY")); // LAYO lists no magnets
}

// The numbers of the magnet listing, TILT lines left out.
std::vector<double> listing_numbers(const std::string &listing) {
  std::vector<double> v;
  for (const std::string &line : lines_of(listing.substr(listing.find("VALUES ARE FOR ENERGY")))) {
    if (!contains(line, "=") || contains(line, "TILT") || contains(line, "ENERGY :"))
      continue;
    for (std::size_t p = line.find('='); p != std::string::npos; p = line.find('=', p + 1))
      v.push_back(std::stod(line.substr(p + 1)));
  }
  return v;
}

TEST(Layout, MagnetListingIsTheSameMagnetInEveryConvention) {
  const double deg = 180 / PI;
  auto d = [&](double rad) { return std::to_string(rad * deg); };
  // A bend of radius 10 with gradient and sextupole terms, a straight bend, a quadrupole, one
  // with kL = pi, a sextupole and a quadrupole-sextupole; each convention writes the same magnets.
  struct Case {
    std::string units, angle, e1, k1, k2, quad_k1, pi_k1, sext_k2, qs_k1, qs_k2;
  } cases[] = {
      {"USTANDARD", "0.2", "0.05", "0.004", "0.0008", "0.9", "PI*PI/0.25", "3", "1.2", "4"},
      {"ULDF", "0.2", "0.05", "-0.004", "-0.0008", "-0.9", "-PI*PI/0.25", "-3", "-1.2", "-4"},
      {"UMERIDOXAN", d(0.2), d(0.05), "-0.4", "0.4", "0.9", "PI*PI/0.25", "1.5", "1.2", "2"},
  };
  std::vector<double> reference;
  for (const Case &c : cases) {
    const DeckRun r = run_ok(
        c.units + "\nPI = 3.141592653589793\nB: SBEND, L=2, ANGLE=" + c.angle + ", E1=" + c.e1 +
        ", &\n K1=" + c.k1 + ", K2=" + c.k2 + ", HGAP=0.03, H1=0.1, TILT\nB0: SBEND, L=1\n" +
        "Q: QUADRUPOLE, L=0.5, K1=" + c.quad_k1 + ", APERTURE=0.05\nQP: QUADRUPOLE, L=0.5, K1=" +
        c.pi_k1 + "\nS: SEXTUPOLE, L=0.2, K2=" + c.sext_k2 +
        ", APERTURE=0.04\nQS: QUADSEXT, L=0.3, K1=" + c.qs_k1 + ", K2=" + c.qs_k2 +
        ", APERTURE=0.02\nL1: LINE=(B,B0,Q,QP,S,QS)\nUSE, L1\nVORAX\nHARD\n 3.0;\nSTOP\n");
    EXPECT_FALSE(contains(r.listing, "THE SXYZ")); // HARD with one value: no geometry
    const std::vector<double> v = listing_numbers(r.listing);
    ASSERT_EQ(v.size(), 47u) << c.units << r.listing;
    if (reference.empty()) {
      reference = v;
      const double brho = 33.35640951981521 * 3.0;
      EXPECT_NEAR(v[1], 0.2 * deg, 1e-7);    // bending angle in degrees
      EXPECT_NEAR(v[2], 10.0, 1e-7);         // radius
      EXPECT_NEAR(v[4], brho / 10.0, 1e-7);  // induction
      EXPECT_NEAR(v[5], -0.004 * 100, 1e-4); // n = -K1 rho^2
      EXPECT_NEAR(v[6], 0.0008 * 500, 1e-4); // beta = K2 rho^3 / 2
      EXPECT_NEAR(v[13], 0.0, 0.0);          // a straight bend: radius 0
      const double k = std::sqrt(0.9);
      EXPECT_NEAR(v[25], 1 / (k * std::sin(k * 0.5)), 1e-6); // focal length
      EXPECT_EQ(v[31], 0.0);                                 // kL = pi: no focal length
      EXPECT_NEAR(v[37], 1.5 * brho * 0.04 * 0.04, 1e-7);    // sextupole pole tip
    } else {
      for (std::size_t i = 0; i < v.size(); ++i)
        EXPECT_NEAR(v[i], reference[i], 1e-7 * (1 + std::fabs(reference[i])))
            << c.units << " number " << i;
    }
  }
}

TEST(Layout, DrawingRecordsPlaceEveryMagnetOnce) {
  const DeckRun r = run_ok(
      "D: DRIFT, L=1\nB: SBEND, L=1, ANGLE=0.17453292519943295\nB2: SBEND, L=3, ANGLE=0.01\n"
      "QW: QUADRUPOLE, L=0.3, K1=0.1\nQS: QUADRUPOLE, L=0.3, K1=8\nQL: QUADRUPOLE, L=1, K1=0.1\n"
      "S: SEXTUPOLE, L=0.2, K2=1\nM: MONITOR\nL1: LINE=(D,B,QW,QS,QL,S,M,B2,D)\nUSE, L1\nVORAX\n"
      "CADO\n 1 1,\nLAYO\n 0 0 0 0 -175 0 0 1 0,\nLAYO\n 0 0 0 0 0 0 0 1 -2;\nSTOP\n");
  EXPECT_EQ(count_of(r.listing, " ADD L31      :P "), 2);
  for (const char *symbol :
       {"DIPOL036", "DIPOL120", "QPOLE12A", "QPOLE12 ", "QPOLE24 ", "SPOLE10 "})
    EXPECT_EQ(count_of(r.listing, std::string(" ADD ") + symbol + " :R "), 1) << symbol;
  // The first bend turns the orbit from -175 to +175 degrees: drawn at 180, not at 0.
  EXPECT_NEAR(std::fabs(number_after(r.listing, " ADD DIPOL036 :R ")), 180.0, 1e-4);
  EXPECT_EQ(count_of(r.listing, " ADD "), 8); // nprint -2 draws nothing
}

// A drift, a bend of unit length and a drift of 2: the end X for the bend angle a.
double line_end_x(double a) {
  return -(1 - std::cos(a)) / a - 2 * std::sin(a);
}

TEST(Layout, GeometryConditionsOfBothFits) {
  const std::string line = "D1: DRIFT, L=1\nB: SBEND, L=1, ANGLE=0.1\nD2: DRIFT, L=2\n"
                           "L1: LINE=(D1,B,D2)\nUSE, L1\nVORAX\nCADO\n 1 1,\n";
  // A line has no periodic solution: a fit of its geometry alone needs none.
  for (const char *fit : {"SIMP\n 0 6 1\nB ANGLE 0.01\n 22 -0.5\n 0;\n",
                          "LEAS\n 1 3 1 1 1 0 0 0 1 0 0 0\nB ANGLE 0\n 282 -0.5 1\n 0;\n"}) {
    const DeckRun r = run_ok(line + fit + "STOP\n");
    const double a = last_number_after(r.listing, "OF B        =");
    EXPECT_NEAR(line_end_x(a), -0.5, 1e-8) << fit << r.listing;
    EXPECT_FALSE(contains(r.listing, "THE SXYZ")) << fit; // quiet evaluations
    EXPECT_FALSE(contains(r.listing, " ADD ")) << fit;    // and nothing drawn
  }
  // Geometry beside the periodic analysis: the tune and the azimuth at the end of a ring.
  const DeckRun r = run_ok(
      "PI = 3.141592653589793\nQF: QUADRUPOLE, L=0.5, K1=0.9\nQD: QUADRUPOLE, L=0.5, K1=-0.9\n"
      "D: DRIFT, L=0.5\nB: SBEND, L=2, ANGLE=2*PI/16\nCELL: LINE=(QF,D,B,D,QD,D,B,D)\n"
      "RING: LINE=(8*CELL)\nUSE, RING\nVORAX\nSIMP\n 0 5 2\nQF K1 0.01\nB ANGLE 0.001\n"
      " 2 0.68 25 20\n 0;\nSTOP\n");
  EXPECT_NEAR(analc.nu(1), 0.68, 1e-6);
  EXPECT_NEAR(geometry_result(5), 20.0, 1e-6);
  EXPECT_NEAR(last_number_after(r.listing, "OF B        ="), (360.0 - 20.0) / 16 / 180 * PI, 1e-9);
}

TEST(Layout, StopsOfTheLayoutData) {
  std::string ranges = " 41\n";
  for (int k = 1; k <= 41; ++k)
    ranges += k % 10 == 0 ? " 1 1\n" : " 1 1";
  const std::string lattice = "D: DRIFT, L=1\nL1: LINE=(D)\nUSE, L1\nVORAX\n";
  for (const std::string &op :
       {"LAYO\n 0 0 0 0 0 0 0 1" + ranges + ";\n", "HARD\n 1 0 0 0 0 0 0 0 1" + ranges + ";\n"}) {
    const DeckRun r = run_deck(lattice + op + "STOP\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.listing, " **** TOO MANY INTERVALS    41 CHANGE MXLIST PARAMETER"));
    EXPECT_TRUE(
        contains(r.listing, "HALTING WITH ERROR NUMBER :      2  AND ERROR : ARRSIZE MXLIST"))
        << r.listing;
  }
}

TEST(Layout, FocalLengthsOfDefocusingAndEmptyLenses) {
  const double k = std::sqrt(0.9);
  EXPECT_NEAR(quadrupole_focal_length(-0.9, 0.5), -1 / (k * std::sinh(k * 0.5)), 1e-15);
  EXPECT_EQ(quadrupole_focal_length(4.0, 0.0), 0.0);
}

} // namespace
} // namespace vorax::test
