// Closed-orbit correction (COCO) from whole decks: on a misaligned, coupled ring it reaches the
// least-squares optimum of a response the test measures itself with REFE, its best correctors
// are those a brute-force greedy search picks, correctors that act alike share their work, a
// perfect ring is left alone, a nonlinear ring gains from iterating, kickers and monitors of one
// plane serve that plane only, and bad records or a ring without closed orbit stop the run.
#include "harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

// Four cells with a kick and four without, two zero-length monitors a cell, the focusing
// quadrupoles displaced and rolled (so that the planes are coupled). twins: a second kick right
// after each corrector kick, which acts exactly as it does.
std::string ring(const std::string &operations, bool twins = false, bool misaligned = true,
                 const std::string &extra = "") {
  std::string d = "QF: QUADRUPOLE, L=0.5, K1=0.9\nQD: QUADRUPOLE, L=0.5, K1=-0.9\n"
                  "D: DRIFT, L=1.2\nHC: GKICK, L=0\nHT: GKICK, L=0\nBPM: MONITOR, L=0\n" +
                  extra + "C1: LINE=(HC, " + (twins ? "HT, " : "") +
                  "QF, D, BPM, QD, D, BPM)\nC2: LINE=(QF, D, BPM, QD, D, BPM)\n"
                  "RING: LINE=(4*(C1, C2))\nUSE, RING\nVORAX\nSEED\n 7\n";
  if (misaligned)
    d += "MISA\n QF 1E-4 0 5E-5 0 0 0.02 0 1,\n 99\nSETM\n 3 1\n QF 0\n";
  d += std::string("CORR\n HC 1 60,\n") + (twins ? " HT 1 60,\n" : "") + " 99\n";
  return d + operations + "STOP\n";
}

// x and y after every position, from REFE's table.
std::map<int, std::pair<double, double>> refe_orbit(const std::string &listing) {
  std::map<int, std::pair<double, double>> o;
  bool in = false;
  for (const std::string &line : lines_of(listing)) {
    int p = 0;
    char name[16];
    double x = 0, y = 0;
    if (line.find("  #    NAME        X          Y") == 0)
      in = true;
    else if (in && std::sscanf(line.c_str(), "%d %15s %lf %lf", &p, name, &x, &y) == 4)
      o[p] = {x, y};
    else if (in)
      break;
  }
  return o;
}

constexpr int CORRECTORS[] = {1, 14, 27, 40};
const std::vector<int> MONITORS = {4, 7, 10, 13, 17, 20, 23, 26, 30, 33, 36, 39, 43, 46, 49, 52};

// The closed orbit at the monitors (x of each, then y of each) and its response to the kicks
// (columns x then y of each corrector, in corrector order), by REFE with one kick set at a time:
// the ring is linear, so a large kick gives the response to the digits REFE prints.
struct Measured {
  std::vector<double> b;
  std::vector<std::vector<double>> columns;
};
std::vector<double> closed_orbit(const std::string &setting) {
  const DeckRun run = run_deck(ring(setting + "REFE\n 11;\n"));
  EXPECT_EQ(run.status, 0) << run.terminal;
  const auto o = refe_orbit(run.listing);
  std::vector<double> v;
  for (int plane = 0; plane < 2; ++plane)
    for (int p : MONITORS)
      v.push_back(plane == 0 ? o.at(p).first : o.at(p).second);
  return v;
}
const Measured &measured() {
  static const Measured m = [] {
    Measured r;
    r.b = closed_orbit("");
    const double kick = 1e-4;
    for (int c : CORRECTORS)
      for (int plane = 0; plane < 2; ++plane) {
        const std::string values = plane == 0 ? " 1E-4 0" : " 0 1E-4";
        const std::vector<double> o =
            closed_orbit("SETC\n HC " + std::to_string(c) + " 3" + values + " 0 0,\n 99\n");
        std::vector<double> column;
        for (std::size_t i = 0; i < o.size(); ++i)
          column.push_back((o[i] - r.b[i]) / kick);
        r.columns.push_back(column);
      }
    return r;
  }();
  return m;
}

// The least-squares solution of min |b + A x| over the given columns, by the normal equations
// (a handful of well-separated columns), and its residual b + A x.
std::vector<double> residual(const Measured &m, const std::vector<int> &use,
                             std::vector<double> *x) {
  const std::size_t n = use.size(), rows = m.b.size();
  std::vector<std::vector<double>> a(n, std::vector<double>(n + 1, 0.0));
  for (std::size_t i = 0; i < n; ++i) {
    const std::vector<double> &ci = m.columns[static_cast<std::size_t>(use[i])];
    for (std::size_t j = 0; j < n; ++j)
      for (std::size_t k = 0; k < rows; ++k)
        a[i][j] += ci[k] * m.columns[static_cast<std::size_t>(use[j])][k];
    for (std::size_t k = 0; k < rows; ++k)
      a[i][n] -= ci[k] * m.b[k];
  }
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t r = i + 1; r < n; ++r) {
      const double f = a[r][i] / a[i][i];
      for (std::size_t j = i; j <= n; ++j)
        a[r][j] -= f * a[i][j];
    }
  std::vector<double> sol(n);
  for (std::size_t i = n; i-- > 0;) {
    double s = a[i][n];
    for (std::size_t j = i + 1; j < n; ++j)
      s -= a[i][j] * sol[j];
    sol[i] = s / a[i][i];
  }
  std::vector<double> res = m.b;
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t k = 0; k < rows; ++k)
      res[k] += m.columns[static_cast<std::size_t>(use[j])][k] * sol[j];
  if (x != nullptr)
    *x = sol;
  return res;
}

// rms of x (plane 0) or y (plane 1) of readings laid out as Measured::b.
double rms(const std::vector<double> &v, int plane) {
  const std::size_t n = v.size() / 2;
  double s = 0;
  for (std::size_t i = 0; i < n; ++i)
    s += v[plane * n + i] * v[plane * n + i];
  return std::sqrt(s / static_cast<double>(n));
}

// The listing's rms and peak before and after: x rms, x peak, y rms, y peak.
std::vector<double> before(const std::string &listing) {
  return numbers_after(listing, "   BEFORE       ");
}
std::vector<double> after(const std::string &listing) {
  return numbers_after(listing, "   AFTER        ");
}

// Values 1 and 2 of the correctors, as COCO lists them, in order.
std::vector<std::vector<double>> settings(const std::string &listing) {
  std::vector<std::vector<double>> v;
  const std::string part = listing.substr(listing.find("0 CORRECTOR SETTINGS"));
  for (const std::string &line : lines_of(part)) {
    char name[16];
    int p = 0;
    double a = 0, b = 0;
    if (line.rfind("   H", 0) == 0 &&
        std::sscanf(line.c_str(), "%15s %d %lf %lf", name, &p, &a, &b) == 4)
      v.push_back({a, b});
  }
  return v;
}

double header(const std::string &table, const std::string &name) {
  return number_after(table, "@ " + name + " ");
}

TEST(RingCorrection, ReachesTheLeastSquaresOptimumOfTheCoupledResponse) {
  const Measured &m = measured();
  std::vector<double> x;
  const std::vector<double> optimum = residual(m, {0, 1, 2, 3, 4, 5, 6, 7}, &x);
  // The rolled quadrupoles couple the planes: a horizontal kick moves the vertical orbit.
  EXPECT_GT(std::fabs(m.columns[0][MONITORS.size()]), 1e-3 * std::fabs(m.columns[0][0]));

  const DeckRun run = run_deck_with_results(ring("COCO\n 3 0 0 1 0\n 99\nREFE\n 11;\n"),
                                            {.tables = true, .plots = false});
  ASSERT_EQ(run.status, 0) << run.terminal << run.listing;
  const std::vector<double> b0 = before(run.listing), b1 = after(run.listing);
  ASSERT_EQ(b1.size(), 4u) << run.listing;
  for (int plane = 0; plane < 2; ++plane) {
    EXPECT_NEAR(b0[2 * plane], rms(m.b, plane), 1e-6 * rms(m.b, plane));
    EXPECT_NEAR(b1[2 * plane], rms(optimum, plane), 1e-3 * rms(optimum, plane)) << plane;
  }
  EXPECT_LT(b1[0], 0.5 * b0[0]);
  const std::vector<std::vector<double>> values = settings(run.listing);
  ASSERT_EQ(values.size(), 4u);
  for (std::size_t c = 0; c < 4; ++c)
    for (std::size_t plane = 0; plane < 2; ++plane)
      EXPECT_NEAR(values[c][plane], x[2 * c + plane], 1e-3 * std::fabs(x[2 * c + plane]));

  // REFE after it sees the corrected orbit.
  const auto o = refe_orbit(run.listing.substr(run.listing.find("0 CORRECTOR SETTINGS")));
  for (std::size_t i = 0; i < MONITORS.size(); ++i) {
    EXPECT_NEAR(o.at(MONITORS[i]).first, optimum[i], 1e-3 * rms(optimum, 0));
    EXPECT_NEAR(o.at(MONITORS[i]).second, optimum[MONITORS.size() + i], 1e-3 * rms(optimum, 1));
  }

  // The tables carry the same numbers, to all their digits.
  const std::string &orbit = run.files.at("tables/coco_1.tfs");
  const std::string &kicks = run.files.at("tables/coco_1_correctors.tfs");
  EXPECT_NEAR(header(orbit, "RMS_X_AFTER"), b1[0], 1e-7 * b1[0]);
  EXPECT_NEAR(header(orbit, "PEAK_Y_BEFORE"), b0[3], 1e-7 * b0[3]);
  EXPECT_EQ(count_of(orbit, "\"BPM\""), 16);
  EXPECT_EQ(count_of(kicks, "\"HC\""), 4);
  EXPECT_NEAR(number_after(kicks, "\"HC\"", 7), values[0][0], 1e-7 * std::fabs(values[0][0]));
}

// With at most two correctors a plane, each chosen is the one that, with those chosen before,
// leaves the least: tried one by one here with the measured response.
TEST(RingCorrection, BestCorrectorsAreTheGreedyChoiceOfABruteForceSearch) {
  const Measured &m = measured();
  std::vector<int> chosen;
  int taken[2] = {};
  for (int step = 0; step < 4; ++step) {
    int best = -1;
    double least = HUGE_VAL;
    for (int j = 0; j < 8; ++j) {
      if (std::find(chosen.begin(), chosen.end(), j) != chosen.end() || taken[j % 2] == 2)
        continue;
      std::vector<int> use = chosen;
      use.push_back(j);
      const std::vector<double> r = residual(m, use, nullptr);
      const double left = rms(r, 0) * rms(r, 0) + rms(r, 1) * rms(r, 1);
      if (left < least) {
        least = left;
        best = j;
      }
    }
    chosen.push_back(best);
    ++taken[best % 2];
  }
  const std::vector<double> optimum = residual(m, chosen, nullptr);

  const DeckRun run = run_deck(ring("COCO\n 3 2 0 1 0\n 99;\n"));
  ASSERT_EQ(run.status, 0) << run.terminal << run.listing;
  std::string expected;
  for (int j : chosen) {
    const std::string p = std::to_string(CORRECTORS[j / 2]);
    expected += "   HC       AT POS :" + std::string(6 - p.size(), ' ') + p + "   " +
                (j % 2 == 0 ? "X" : "Y") + "\n";
  }
  const std::string heading = "   BEST CORRECTORS, IN THE ORDER CHOSEN :\n";
  const std::size_t from = run.listing.find(heading);
  ASSERT_NE(from, std::string::npos) << run.listing;
  EXPECT_EQ(run.listing.substr(from + heading.size(), expected.size()), expected);
  const std::vector<double> b1 = after(run.listing);
  for (int plane = 0; plane < 2; ++plane)
    EXPECT_NEAR(b1[2 * plane], rms(optimum, plane), 1e-3 * rms(optimum, plane)) << plane;
  // The correctors not chosen are left unset.
  const std::vector<std::vector<double>> values = settings(run.listing);
  int moved = 0;
  for (const auto &v : values)
    moved += (v[0] != 0.0) + (v[1] != 0.0);
  EXPECT_EQ(moved, 4);
}

// A second kick beside each corrector makes the response singular: the cut leaves the two
// directions out, the pair shares the single kick's value equally and the orbit is that of the
// correction without the twins.
TEST(RingCorrection, CorrectorsThatActAlikeShareTheirWork) {
  const Measured &m = measured();
  std::vector<double> x;
  const std::vector<double> optimum = residual(m, {0, 1, 2, 3, 4, 5, 6, 7}, &x);
  const DeckRun run = run_deck(ring("COCO\n 3 0 0 1 0\n 99;\n", true));
  ASSERT_EQ(run.status, 0) << run.terminal << run.listing;
  EXPECT_TRUE(contains(run.listing, "   SINGULAR VALUES KEPT :     8 OF    16")) << run.listing;
  const std::vector<double> b1 = after(run.listing);
  for (int plane = 0; plane < 2; ++plane)
    EXPECT_NEAR(b1[2 * plane], rms(optimum, plane), 1e-3 * rms(optimum, plane));
  const std::vector<std::vector<double>> values = settings(run.listing);
  ASSERT_EQ(values.size(), 8u);
  for (std::size_t c = 0; c < 4; ++c)
    for (std::size_t plane = 0; plane < 2; ++plane) {
      const double single = x[2 * c + plane];
      EXPECT_NEAR(values[2 * c][plane], single / 2, 1e-3 * std::fabs(single));
      EXPECT_NEAR(values[2 * c + 1][plane], single / 2, 1e-3 * std::fabs(single));
    }
}

TEST(RingCorrection, APerfectRingIsLeftAlone) {
  const DeckRun run = run_deck(ring("COCO\n 0 0 0 3 0\n 99\nSHOC\n 4;\n", false, false));
  ASSERT_EQ(run.status, 0) << run.terminal << run.listing;
  EXPECT_TRUE(contains(run.listing, "NOTHING IS CHANGED"));
  for (double v : after(run.listing))
    EXPECT_EQ(v, 0.0);
  // No corrector was set: SHOC lists none before its closing line.
  EXPECT_TRUE(contains(run.listing, "  4;\n99,\n")) << run.listing;
}

// Sextupoles make the response depend on the orbit: iterating on the true closed orbit goes on
// reducing it where one step stops short.
TEST(RingCorrection, IteratingHelpsANonlinearRing) {
  const std::string sextupole = "SF: SEXTUPOLE, L=0.2, K2=40\n";
  auto nonlinear = [&](int iterations) {
    std::string deck =
        ring("COCO\n 3 0 0 " + std::to_string(iterations) + " 0\n 99;\n", false, true, sextupole);
    const std::string plain = "C2: LINE=(QF, D, BPM, QD, D, BPM)";
    deck.replace(deck.find(plain), plain.size(), "C2: LINE=(QF, D, BPM, QD, D, SF, BPM)");
    const DeckRun run = run_deck(deck);
    EXPECT_EQ(run.status, 0) << run.terminal << run.listing;
    return run.listing;
  };
  const std::string once = nonlinear(1), four = nonlinear(4);
  const std::vector<double> a1 = after(once), a4 = after(four);
  EXPECT_LT(a4[0] * a4[0] + a4[2] * a4[2], 0.9 * (a1[0] * a1[0] + a1[2] * a1[2]));
  // The first iteration is the same in both; the later ones each leave less.
  double previous = HUGE_VAL;
  for (int k = 1; k <= 4; ++k) {
    const std::vector<double> r = numbers_after(
        four, "   AFTER ITERATION" + std::string(k < 10 ? "  " : " ") + std::to_string(k));
    ASSERT_EQ(r.size(), 2u) << four;
    const double total = r[0] * r[0] + r[1] * r[1];
    EXPECT_LT(total, previous) << k;
    previous = total;
  }
}

// Horizontal kickers correct x, vertical ones y; one-plane monitors read their plane only.
TEST(RingCorrection, KickersAndMonitorsOfOnePlaneServeItOnly) {
  std::string deck = ring("COCO\n 0 0 0 1 0\n 99;\n", false, true,
                          "HK: HKICK, L=0\nVK: VKICK, L=0\nHB: HMONITOR, L=0\nVB: VMONITOR, L=0\n");
  deck.replace(deck.find("C2: LINE=(QF, D, BPM, QD, D, BPM)"), 33,
               "C2: LINE=(HK, VK, QF, D, HB, QD, D, VB)");
  deck.replace(deck.find("CORR\n HC 1 60,\n"), 15, "CORR\n HK 1 60,\n VK 1 60,\n");
  const DeckRun run = run_deck(deck);
  ASSERT_EQ(run.status, 0) << run.terminal << run.listing;
  // 8 monitors of both planes, 4 of x and 4 of y.
  EXPECT_TRUE(contains(run.listing, "   MONITORS :    16   READINGS :    24   CORRECTORS :     8"
                                    "   VALUES VARIED :     8"))
      << run.listing;
  const std::string part = run.listing.substr(run.listing.find("0 CORRECTOR SETTINGS"));
  for (const std::string &line : lines_of(part)) {
    char name[16];
    int p = 0;
    double v1 = 0, v2 = 0;
    if (std::sscanf(line.c_str(), "%15s %d %lf %lf", name, &p, &v1, &v2) != 4 ||
        (std::string(name) != "HK" && std::string(name) != "VK"))
      continue;
    EXPECT_EQ(std::string(name) == "HK" ? v2 : v1, 0.0) << line;
    EXPECT_NE(std::string(name) == "HK" ? v1 : v2, 0.0) << line;
  }
}

TEST(RingCorrection, BadRecordsAndARingWithoutClosedOrbitStopTheRun) {
  struct Case {
    std::string deck, message;
    int code;
  } cases[] = {
      {ring("COCO\n 4 0 0 1 0\n 99;\n"), "  ERROR IN PLANE OPTION :     4", 225},
      {ring("COCO\n 3 -1 0 1 0\n 99;\n"), "  ERROR IN NUMBER OF BEST CORRECTORS :    -1", 225},
      {ring("COCO\n 3 0 1.5 1 0\n 99;\n"), "  ERROR IN SINGULAR VALUE CUT :", 225},
      {ring("COCO\n 3 0 0 21 0\n 99;\n"), "  ERROR IN NUMBER OF ITERATIONS :    21", 225},
      {ring("COCO\n 3 0 0 1 0\n QF 0 0\n 99;\n"), "  ELEMENT QF       IS NEITHER", 225},
      {ring("COCO\n 3 0 0 1 0\n BPM 0 1 100 200\n 99;\n"),
       "  BPM      HAS NO MONITOR OR ACTING CORRECTOR IN THE RANGES GIVEN", 225},
      {ring("COCO\n 3 0 0 1 0\n HC 7 0\n 99;\n"), "  ERROR IN PLANE OPTION OF HC       :     7",
       225},
      {ring("CORR\n 99\nCOCO\n 3 0 0 1 0\n 99;\n"), "  NO CORRECTOR OF THE CORRECTOR LIST ACTS",
       225},
      // Quadrupoles too strong for stable motion: no closed orbit to correct.
      {[] {
         std::string d = ring("COCO\n 3 0 0 1 0\n 99;\n");
         d.replace(d.find("K1=0.9"), 6, "K1=9.0");
         return d;
       }(),
       "  NO CLOSED ORBIT WAS FOUND", 226},
  };
  for (const Case &c : cases) {
    const DeckRun run = run_deck(c.deck);
    EXPECT_EQ(run.status, 1) << c.message;
    EXPECT_TRUE(contains(run.listing, c.message)) << c.message << "\n" << run.listing;
    EXPECT_TRUE(contains(run.listing, "  HALTING WITH ERROR NUMBER :    " + std::to_string(c.code) +
                                          "  AND ERROR : COCO:"))
        << c.message;
  }
}

} // namespace
} // namespace vorax::test
