// MOVE's resonance study on thin-lens machines (a linear one-turn matrix and one thin multipole),
// whose fixed points, their matrices and the separatrices are worked out here independently:
// the fixed points come back onto themselves when TRAC tracks them, the half-integer islands
// of a stop band are where the closed form puts them, the point pairs lie along the directions
// of the fixed point's own matrix, and the area is that of the traced separatrix or triangle.
#include "harness.h"

#include "optics/energy_scan.h"
#include "track/tracking_areas.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

using Point = std::array<double, 2>;
using Block = std::array<double, 4>; // b11, b12, b21, b22

// One turn of the thin-lens model: the kick x' += k x^n, then the linear block.
struct ThinRing {
  Block r;
  double k;
  int n;
  Point turn(Point z) const {
    z[1] += k * std::pow(z[0], n);
    return {r[0] * z[0] + r[1] * z[1], r[2] * z[0] + r[3] * z[1]};
  }
  // The matrix of `turns` turns at z, the product of the kick and block matrices.
  Block jacobian(Point z, int turns) const {
    Block j{1, 0, 0, 1};
    for (int t = 0; t < turns; ++t) {
      const double g = k * n * std::pow(z[0], n - 1);
      const Block one{r[0] + r[1] * g, r[1], r[2] + r[3] * g, r[3]};
      j = {one[0] * j[0] + one[1] * j[2], one[0] * j[1] + one[1] * j[3],
           one[2] * j[0] + one[3] * j[2], one[2] * j[1] + one[3] * j[3]};
      z = turn(z);
    }
    return j;
  }
};

// x' += 1000 x^3 from K3 = -6000 (the kick is -K3/3! x^3), before a horizontal block of
// half-trace -1.05: the middle of a half-integer stop band.
const ThinRing STOP_BAND{{-1.05, 1.0, 0.1025, -1.05}, 1000.0, 3};
const std::string STOP_BAND_RING =
    "O: MULTIPOLE, K3 = -6000\n"
    "H: MATRIX, R11 = -1.05, R12 = 1, R21 = 0.1025, R22 = -1.05, &\n"
    "   R33 = 0.5, R34 = 1, R43 = -0.75, R44 = 0.5, R55 = 1, R66 = 1\n"
    "RING: LINE = (O, H)\nUSE, RING\nVORAX\n";

// x' -= 10 x^2 from K2 = 20, before a rotation by 2.05 rad (tune 0.326, near a third).
const ThinRing THIRD{{std::cos(2.05), std::sin(2.05), -std::sin(2.05), std::cos(2.05)}, -10.0, 2};
const std::string THIRD_RING = "S: MULTIPOLE, K2 = 20\n"
                               "H: MTWISS, MUX = 2.05, BETAX = 1, MUY = 1.2, BETAY = 1\n"
                               "RING: LINE = (S, H)\nUSE, RING\nVORAX\n";

std::string move(int order) {
  return "MOVE\n 0 0 " + std::to_string(order) +
         " -3 1 0 1E-6 0 0 0 0 0\n 0\n 0 0 0 0 0 0 0;\nSTOP\n";
}

std::string after(const std::string &text, const std::string &mark) {
  const std::size_t at = text.find(mark);
  return at == std::string::npos ? std::string() : text.substr(at);
}

// The fixed points the study kept at the first deviation, at full precision.
std::vector<std::array<double, 4>> fixed_points(int count) {
  std::vector<std::array<double, 4>> p(static_cast<std::size_t>(count));
  for (int k = 1; k <= count; ++k)
    for (int c = 1; c <= 4; ++c)
      p[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(c - 1)] = cmove.fixed(1)(k, c);
  return p;
}

// Tracks the points `turns` turns with TRAC at the momentum deviation delta and checks that each
// comes back onto itself, in all four coordinates, to 1e-9 of its distance from the closed
// orbit (x, x').
void expect_they_come_back(const std::string &ring, const std::vector<std::array<double, 4>> &p,
                           int turns, double delta = 0.0, Point orbit = {0.0, 0.0}) {
  std::string deck =
      ring + "TRAC\n -1 -2 " + std::to_string(p.size()) + " " + std::to_string(turns) + "\n";
  for (const auto &z : p) {
    char line[200];
    std::snprintf(line, sizeof line, " %.17g %.17g\n %.17g %.17g 0 %.17g\n", z[0], z[1], z[2], z[3],
                  delta);
    deck += line;
  }
  const DeckRun r = run_deck(deck + " 0;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  for (std::size_t k = 0; k < p.size(); ++k) {
    const double size = std::hypot(p[k][0] - orbit[0], p[k][1] - orbit[1]);
    ASSERT_GT(size, 1e-4);
    for (int c = 1; c <= 4; ++c)
      EXPECT_NEAR(trace.pcoord(static_cast<int>(k) + 1, c), p[k][static_cast<std::size_t>(c - 1)],
                  1e-9 * size)
          << k << " " << c;
  }
}

// The printed pair lines: the first fixed point plus and minus a small offset along two
// directions, given back as unit vectors. The offset is d/100, or a hundredth of the point's
// amplitude when larger, so that the seven printed digits resolve it.
std::vector<Point> pair_directions(const std::string &study, Point first, double d) {
  std::vector<Point> dirs;
  const std::vector<std::string> lines = lines_of(after(study, "PITCH DETERMINATION ARE"));
  const double eps = std::max(0.01 * d, 0.01 * std::hypot(first[0], first[1]));
  for (std::size_t l = 1; l <= 2 && l < lines.size(); ++l) {
    const std::vector<double> v = numbers_after(lines[l], "");
    EXPECT_EQ(v.size(), 4u);
    if (v.size() != 4)
      return dirs;
    const double printed = 1e-6 * std::hypot(first[0], first[1]);
    EXPECT_NEAR(0.5 * (v[0] + v[2]), first[0], printed);
    EXPECT_NEAR(0.5 * (v[1] + v[3]), first[1], printed);
    const double length = std::hypot(v[0] - v[2], v[1] - v[3]);
    EXPECT_NEAR(length, 2.0 * eps, 1e-3 * eps);
    dirs.push_back({(v[0] - v[2]) / length, (v[1] - v[3]) / length});
  }
  return dirs;
}

// The area enclosed by one branch of the separatrix leaving the origin along u, traced with
// the model itself: many starts along the first segment so that the curve is sampled densely,
// closed where it comes back nearest the origin.
double traced_lobe(const ThinRing &ring, Point u, double growth, int turns) {
  constexpr int starts = 400;
  std::vector<Point> z(starts);
  for (int j = 0; j < starts; ++j) {
    const double r = 1e-8 * std::pow(growth, static_cast<double>(j) / starts);
    z[static_cast<std::size_t>(j)] = {r * u[0], r * u[1]};
  }
  double twice = 0.0, far = 0.0, previous = 0.0;
  Point last{0.0, 0.0};
  for (int step = 0; step < 1000; ++step) {
    for (const Point &q : z) {
      const double r = std::hypot(q[0], q[1]);
      far = std::max(far, r);
      if (r < 0.2 * far && r > previous)
        return 0.5 * std::fabs(twice);
      twice += last[0] * q[1] - q[0] * last[1];
      last = q;
      previous = r;
    }
    for (Point &q : z)
      for (int t = 0; t < turns; ++t)
        q = ring.turn(q);
  }
  return -1.0;
}

TEST(ResonanceStudy, TheIslandsOfAHalfIntegerStopBand) {
  const DeckRun r = run_deck(STOP_BAND_RING + move(2));
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string study = after(r.listing, "ORDER TWO RESONANCE STUDY");
  ASSERT_FALSE(study.empty());
  EXPECT_FALSE(contains(r.listing, "IS LOST"));
  EXPECT_FALSE(contains(r.listing, "NOT FOUND"));
  const std::vector<std::array<double, 4>> p = fixed_points(2);

  // Closed form: F(z) = -z for x^2 = -(2 + tr)/(k r12), x' = (1 + r22) x / r12.
  const Block &b = STOP_BAND.r;
  const double x = std::sqrt(-(2.0 + b[0] + b[3]) / (STOP_BAND.k * b[1]));
  EXPECT_NEAR(std::fabs(p[0][0]), x, 1e-9 * x);
  EXPECT_NEAR(p[0][1], (1.0 + b[3]) * p[0][0] / b[1], 1e-9 * x);
  EXPECT_NEAR(p[1][0], -p[0][0], 1e-9 * x);
  EXPECT_NEAR(p[1][1], -p[0][1], 1e-9 * x);
  // The stable orbit printed is midway between them (here the closed orbit).
  EXPECT_NEAR(number_after(study, "X1 ="), p[0][0], 1e-7 * x);
  EXPECT_LT(std::fabs(number_after(study, "X0 =")), 1e-9 * x);
  EXPECT_LT(std::fabs(number_after(study, "XP0 =")), 1e-9 * x);

  // The islands are stable (closed form of the 2-turn half-trace, 2 (tr + 3)^2 - 1): the pairs
  // lie along the axes of the ellipses round the first point, the eigenvectors of the symmetric
  // form gamma x^2 + 2 alpha x x' + beta x'^2 of its 2-turn matrix.
  const Block j = STOP_BAND.jacobian({p[0][0], p[0][1]}, 2);
  const double c = 0.5 * (j[0] + j[3]), tr = b[0] + b[3];
  EXPECT_NEAR(c, 2.0 * (tr + 3.0) * (tr + 3.0) - 1.0, 1e-9);
  const double s = std::copysign(std::sqrt(1.0 - c * c), j[1]);
  const double beta = j[1] / s, alpha = (j[0] - j[3]) / (2.0 * s), gamma = -j[2] / s;
  const std::vector<Point> dirs = pair_directions(study, {p[0][0], p[0][1]}, 1e-6);
  ASSERT_EQ(dirs.size(), 2u);
  for (const Point &v : dirs) {
    // (gamma, alpha; alpha, beta) v is parallel to v.
    const double fx = gamma * v[0] + alpha * v[1], fp = alpha * v[0] + beta * v[1];
    EXPECT_NEAR(fx * v[1] - fp * v[0], 0.0, 1e-3 * std::hypot(fx, fp));
  }

  // The area: both lobes of the separatrix through the closed orbit, traced here by the model.
  const double lambda = 0.5 * tr - std::sqrt(0.25 * tr * tr - 1.0);
  const Point u{b[1], lambda - b[0]};
  const double norm = std::hypot(u[0], u[1]);
  double expected = 0.0;
  for (const double side : {1.0, -1.0})
    expected +=
        traced_lobe(STOP_BAND, {side * u[0] / norm, side * u[1] / norm}, lambda * lambda, 2);
  EXPECT_NEAR(number_after(study, "SEPARATRICES IS"), expected, 1e-3 * expected);

  // Tracked twice, each point comes back onto itself.
  expect_they_come_back(STOP_BAND_RING, p, 2);

  // A collimator between the islands' edge and the separatrix's far side: the points are
  // found, but no area is claimed for a separatrix whose particles are lost.
  std::string narrowed = STOP_BAND_RING;
  narrowed.replace(narrowed.find("RING: LINE = (O, H)"), 19,
                   "C: ECOLLIMATOR, XSIZE = 0.012, YSIZE = 0.012\nRING: LINE = (O, C, H)");
  const DeckRun n = run_deck(narrowed + move(2));
  ASSERT_EQ(n.status, 0) << n.terminal;
  EXPECT_NEAR(std::fabs(number_after(n.listing, "X1 =")), x, 1e-7 * x);
  EXPECT_TRUE(contains(n.listing, " SEPARATRIX THROUGH THE CLOSED ORBIT NOT CLOSED BY TRACKING"));
  EXPECT_EQ(number_after(n.listing, "SEPARATRICES IS"), 0.0);
}

TEST(ResonanceStudy, TheTriangleOfAThirdIntegerResonance) {
  // Both planes are stable: order three studies the horizontal plane, nearer a third.
  const DeckRun r = run_deck(THIRD_RING + move(3));
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string study = after(r.listing, " ORDER THREE RESONANCE STUDY");
  ASSERT_FALSE(study.empty());
  EXPECT_FALSE(contains(r.listing, "MOVEMENT IS STABLE"));
  EXPECT_FALSE(contains(r.listing, "IS LOST"));
  const std::vector<std::array<double, 4>> p = fixed_points(3);

  // One orbit of three distinct points: one turn carries each to the next.
  for (int k = 0; k < 3; ++k) {
    const auto &a = p[static_cast<std::size_t>(k)], &n = p[static_cast<std::size_t>((k + 1) % 3)];
    const Point image = THIRD.turn({a[0], a[1]});
    const double size = std::hypot(a[0], a[1]);
    EXPECT_NEAR(image[0], n[0], 1e-8 * size) << k;
    EXPECT_NEAR(image[1], n[1], 1e-8 * size) << k;
    EXPECT_GT(std::hypot(n[0] - a[0], n[1] - a[1]), 0.5 * size) << k;
  }
  // The triangle surrounds the closed orbit (the origin): it is on the same side of every
  // edge, and the area is the triangle's.
  double side[3], twice = 0.0;
  for (int k = 0; k < 3; ++k) {
    const auto &a = p[static_cast<std::size_t>(k)], &n = p[static_cast<std::size_t>((k + 1) % 3)];
    side[k] = a[0] * n[1] - n[0] * a[1];
    twice += side[k];
  }
  for (int k = 0; k < 3; ++k)
    EXPECT_GT(side[k] * twice, 0.0) << k;
  EXPECT_NEAR(number_after(study, "SEPARATRICES IS"), 0.5 * std::fabs(twice),
              1e-4 * std::fabs(twice));

  // The fixed points are unstable: the pairs lie along the eigenvectors of the first point's
  // own 3-turn matrix.
  const Block j = THIRD.jacobian({p[0][0], p[0][1]}, 3);
  EXPECT_GT(std::fabs(0.5 * (j[0] + j[3])), 1.0);
  const std::vector<Point> dirs = pair_directions(study, {p[0][0], p[0][1]}, 1e-6);
  ASSERT_EQ(dirs.size(), 2u);
  for (const Point &v : dirs) {
    const double fx = j[0] * v[0] + j[1] * v[1], fp = j[2] * v[0] + j[3] * v[1];
    EXPECT_NEAR(fx * v[1] - fp * v[0], 0.0, 1e-3 * std::hypot(fx, fp));
  }

  // Tracked three times, each point comes back onto itself.
  expect_they_come_back(THIRD_RING, p, 3);
}

TEST(ResonanceStudy, OnAStableRingWithAnOffsetOrbitOnlyTrueFixedPointsArePrinted) {
  // A FODO ring with one sextupole, its tune near a third at the deviation 1E-3, where the
  // dispersion moves the closed orbit 2.6 mm out and the pentagon amplitude is 1E-8: the closed
  // orbit MOVE's iterations leave is off the true one by some pentagon amplitudes, which were
  // once printed as three equal "fixed points". The true ones lie 1 to 2 mm from the orbit.
  const std::string ring = "QF: QUADRUPOLE, L = 0.4, K1 = 0.738\n"
                           "QD: QUADRUPOLE, L = 0.4, K1 = -0.738\n"
                           "B: SBEND, L = 3.0, ANGLE = 0.19634954084936207\n"
                           "D: DRIFT, L = 0.3\nS: MULTIPOLE, K2 = 3\n"
                           "CELL: LINE = (QF, D, B, D, QD, D, B, D)\n"
                           "RING: LINE = (S, 16*CELL)\nUSE, RING\nVORAX\n";
  const DeckRun r = run_deck(ring + "MOVE\n 0 0 3 -3 1 0 1E-8 0 0 0 0 0\n 1E-3\n"
                                    " 0 0 0 0 0 0 0;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  ASSERT_TRUE(contains(r.listing, " ORDER THREE RESONANCE STUDY")) << r.listing;
  const std::vector<std::array<double, 4>> p = fixed_points(3);
  const Point orbit{cmove.orbit(1, 1), cmove.orbit(1, 2)};
  EXPECT_GT(orbit[0], 2e-3);
  for (int k = 0; k < 3; ++k) {
    const auto &a = p[static_cast<std::size_t>(k)], &b = p[static_cast<std::size_t>((k + 1) % 3)];
    const double size = std::hypot(a[0] - orbit[0], a[1] - orbit[1]);
    EXPECT_GT(size, 5e-4) << k;
    EXPECT_GT(std::hypot(b[0] - a[0], b[1] - a[1]), 0.1 * size) << k;
  }
  expect_they_come_back(ring, p, 3, 1e-3, orbit);
}

} // namespace
} // namespace vorax::test
