// The plot of MACH read back: the lattice functions inside the elements, with the waists and
// peaks among the points of the curves, against their closed forms, and the maxima of the
// legends.
#include "harness.h"
#include "support/result_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

using Curve = std::vector<std::pair<double, double>>;

// The point of the curve with the largest (sign 1) or smallest (sign -1) value for s in (a, b).
std::pair<double, double> extreme(const Curve &c, double a, double b, double sign) {
  std::pair<double, double> best{NAN, -HUGE_VAL};
  for (const auto &[s, v] : c)
    if (s > a && s < b && sign * v > best.second)
      best = {s, sign * v};
  return {best.first, sign * best.second};
}

// The number after word in the legend that starts with name ("beta x  max 6.70156 m").
double in_legend(const std::string &svg, const std::string &name, const char *word) {
  for (const XmlElement &e : xml_elements(svg))
    if (e.name == "text" && e.text.rfind(name + " ", 0) == 0)
      return number_after(e.text, word);
  return NAN;
}

} // namespace

TEST(LatticePlot, WaistOfADriftAndPeakInsideAQuadrupoleArePointsOfTheCurve) {
  // From beta 2, alpha 1: the waist at s = alpha/gamma = 1 with beta 1/gamma = 1; at the end of
  // D1 beta 5, alpha -2, gamma 1. QR is QF's strength turned by a quarter (uncoupled, cut), QT
  // turned by 0.3 rad (coupled, drawn from end to end).
  const DeckRun run = run_deck_with_results(R"(TITLE
WAIST AND PEAK
D1: DRIFT, L=3
QF: QUADRUPOLE, L=1.2, K1=0.5
D2: DRIFT, L=0.5
QR: QUADRUPOLE, L=0.4, K1=0.2, TILT=1.5707963267948966
QT: QUADRUPOLE, L=0.4, K1=0.2, TILT=0.3
BL: LINE=(D1, QF, D2, QR, D2, QT, D2)
USE, BL
VORAX
MACH
 0 0 0 0 0 0 0 2 1 0 0 5 0 0 0 0;
STOP
)",
                                            {false, true});
  ASSERT_EQ(run.status, 0) << run.terminal;
  const std::string &svg = run.files.at("plots/mach_1.svg");
  const auto curves = data_curves(svg);
  ASSERT_EQ(curves.size(), 3u); // beta x, beta y, eta x

  const auto waist = extreme(curves[0], 0.0, 3.0, -1.0);
  EXPECT_NEAR(waist.first, 1.0, 1e-6);
  EXPECT_NEAR(waist.second, 1.0, 1e-6);

  // Inside a focusing quadrupole beta = A + B cos 2ks + D sin 2ks, A = (beta + gamma/k^2)/2,
  // B = (beta - gamma/k^2)/2, D = -alpha/k: the peak A + sqrt(B^2 + D^2) at 2ks = atan2(D, B).
  const double k = std::sqrt(0.5), a = (5.0 + 1.0 / 0.5) / 2, b = (5.0 - 1.0 / 0.5) / 2;
  const double d = 2.0 / k, peak = a + std::hypot(b, d);
  const auto top = extreme(curves[0], 3.0, 4.2, 1.0);
  EXPECT_NEAR(top.first, 3.0 + std::atan2(d, b) / (2 * k), 1e-6);
  EXPECT_NEAR(top.second, peak, 1e-6);
  // The legend's maximum is the peak; the listing's, taken at element ends, is the end of QF.
  EXPECT_NEAR(in_legend(svg, "beta x", "max"), peak, 5e-6 * peak);
  EXPECT_NEAR(number_after(run.listing, "BETA X ="), 6.117025141, 1e-9);

  const auto inside = [&](double from, double to) {
    return std::count_if(curves[0].begin(), curves[0].end(), [&](const auto &p) {
      return p.first > from + 1e-9 && p.first < to - 1e-9;
    });
  };
  EXPECT_GT(inside(5.1, 5.5), 2);
  EXPECT_EQ(inside(5.6, 6.0), 0);
}

TEST(LatticePlot, DispersionPeakInsideABendInEveryUnitConvention) {
  // A sector bend with a gradient and an entrance face, entered with eta 0.3, eta' 0.1: after the
  // face eta'1 = eta' + h tan(e1) eta; inside eta = h/kx^2 + (eta - h/kx^2) cos kx s +
  // (eta'1/kx) sin kx s, kx^2 = h^2 + K1, with a peak and, half a period later, a trough.
  const double h = 0.05, k1 = 3.0, e1 = 0.05, kx = std::sqrt(h * h + k1);
  const double etap1 = 0.1 + h * std::tan(e1) * 0.3, mean = h / (kx * kx);
  const double phase = std::atan2(etap1 / kx, 0.3 - mean),
               amplitude = std::hypot(0.3 - mean, etap1 / kx);
  const double deg = 45.0 / std::atan(1.0);
  const std::string bends[] = {"B: SBEND, L=2, ANGLE=0.1, K1=3, E1=0.05",
                               "ULDF\nB: SBEND, L=2, ANGLE=0.1, K1=-3, E1=0.05",
                               "UMERIDOXAN\nB: SBEND, L=2, ANGLE=" + std::to_string(0.1 * deg) +
                                   ", K1=-1200, E1=" + std::to_string(0.05 * deg)};
  for (const std::string &bend : bends) {
    SCOPED_TRACE(bend);
    const DeckRun run = run_deck_with_results(
        bend +
            "\nBL: LINE=(B)\nUSE, BL\nVORAX\nMACH\n 0 0 0 0 0 0 0 5 0 0.3 0.1 5 0 0 0 0;\nSTOP\n",
        {false, true});
    ASSERT_EQ(run.status, 0) << run.terminal;
    const std::string &svg = run.files.at("plots/mach_1.svg");
    const auto curves = data_curves(svg);
    ASSERT_EQ(curves.size(), 3u);
    const auto top = extreme(curves[2], 0.0, 2.0, 1.0);
    const auto bottom = extreme(curves[2], 0.0, 2.0, -1.0);
    EXPECT_NEAR(top.first, phase / kx, 1e-6);
    EXPECT_NEAR(top.second, mean + amplitude, 1e-6);
    EXPECT_NEAR(bottom.first, (phase + M_PI) / kx, 1e-6);
    EXPECT_NEAR(bottom.second, mean - amplitude, 1e-6);
    EXPECT_NEAR(in_legend(svg, "eta x", "max"), mean + amplitude, 5e-6 * (mean + amplitude));
    EXPECT_NEAR(in_legend(svg, "eta x", "min"), mean - amplitude, 5e-6 * (amplitude - mean));
  }
}

TEST(LatticePlot, ARingOfThousandsOfPositionsIsASmallPlotThatKeepsItsPeaks) {
  const DeckRun run = run_deck_with_results(R"(QF: QUADRUPOLE, L=0.5, K1=0.9
QD: QUADRUPOLE, L=0.5, K1=-0.9
B: SBEND, L=2.0, ANGLE=0.005
D: DRIFT, L=0.5
RING: LINE=(600*(QF, D, B, D, QD, D, B, D))
USE, RING
VORAX
MACHINE
 0 0 0 0 0 0 0 10 0 0 0 3 0 0 0 -1;
STOP
)",
                                            {false, true});
  ASSERT_EQ(run.status, 0) << run.terminal;
  const std::string &svg = run.files.at("plots/mach_1.svg");
  EXPECT_LT(svg.size(), 400000u);
  // The legends are taken from all the points, before they are thinned (six digits).
  const auto curves = data_curves(svg);
  ASSERT_EQ(curves.size(), 3u);
  const char *names[] = {"beta x", "beta y", "eta x"};
  for (std::size_t c = 0; c < 3; ++c) {
    const double largest = extreme(curves[c], 0.0, 1e9, 1.0).second;
    EXPECT_NEAR(largest, in_legend(svg, names[c], "max"), 5e-6 * largest) << names[c];
  }
}

} // namespace vorax::test
