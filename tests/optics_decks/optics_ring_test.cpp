// Whole rings through MATR and MACH: a thin-lens FODO ring against the thin-lens and smooth
// approximations, its chromaticity with and without sextupoles, and the radiation integrals of
// an isomagnetic ring against their closed forms.
#include "harness.h"
#include "support/decks.h"
#include "support/listings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace vorax::test {
namespace {

constexpr double PI = 3.141592653589793;
constexpr int CELLS = 64;
constexpr double HALF_CELL = 5.0;
const double MU = 80 * PI / 180; // phase advance per cell

// 64 FODO cells from the middle of QF: thin quadrupoles (2 cm) and sector bends filling the
// half cells; with sextupoles beside the quadrupoles (halves of length LS/2 on either side,
// strengths SFK and SDK), so that the cell is symmetric.
std::string ring(const std::string &sf, const std::string &sd, const std::string &ops) {
  return "HL = 5.0\n"
         "LQ = 0.02\n"
         "LS = 0.01\n"
         "MU = 80*PI/180\n"
         "PI = 3.141592653589793\n"
         "F = HL/(2*SIN(MU/2))\n"
         "KQ = 1/(F*LQ)\n"
         "QFH: QUADRUPOLE, L = LQ/2, K1 = KQ\n"
         "QD: QUADRUPOLE, L = LQ, K1 = -KQ\n"
         "SFK = " +
         sf + "\nSDK = " + sd +
         "\nB: SBEND, L = HL - LQ - LS, ANGLE = 2*PI/128\n"
         "SFH: SEXTUPOLE, L = LS/2, K2 = SFK\nSDH: SEXTUPOLE, L = LS/2, K2 = SDK\n"
         "CELL: LINE = (QFH, SFH, B, SDH, QD, SDH, B, SFH, QFH)\n"
         "RING: LINE = (64*CELL)\n"
         "USE, RING\n"
         "VORAX\n" +
         ops + "STOP\n";
}

// Values of the MACH listing lines: name (absent on the start line), position, beta x,
// alpha x, beta y, alpha y, eta x .. eta' y, nu x, nu y, element length, total length, energies.
struct MachLine {
  int position;
  double betax, betay, etax, nux, nuy, total;
};

std::vector<MachLine> mach_lines(const std::string &listing) {
  std::vector<MachLine> out;
  bool in = false;
  for (const std::string &l : lines_of(listing)) {
    if (contains(l, " ELEMENT   #    BETAX")) {
      in = true;
      continue;
    }
    if (!in)
      continue;
    std::istringstream fields(l);
    std::vector<std::string> f;
    for (std::string w; fields >> w;)
      f.push_back(w);
    if (!f.empty() && f[0].find_first_not_of("0123456789") != std::string::npos)
      f.erase(f.begin()); // the element name
    if (l.empty() || l[0] != ' ' || f.size() != 15)
      break;
    auto num = [&](std::size_t k) { return std::stod(f[k]); };
    out.push_back({std::stoi(f[0]), num(1), num(3), num(5), num(9), num(10), num(12)});
  }
  return out;
}

TEST(OpticsRing, ThinLensFodoRingAgreesWithThinLensAndSmoothApproximation) {
  const DeckRun r = run_deck(ring("0", "0",
                                  "MATRIX\n 2 -1,\n"
                                  "MACHINE\n 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0;\n"));
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string &t = r.listing;
  // Thin lenses: sin(mu/2) = L/2f, beta max/min = 2L (1 +- sin(mu/2))/sin(mu); with the bends
  // filling the half cells, eta max = L theta (1 + sin(mu/2)/2)/sin^2(mu/2).
  const double s2 = std::sin(MU / 2), theta = 2 * PI / 128;
  const double bmax = 2 * HALF_CELL * (1 + s2) / std::sin(MU);
  const double bmin = 2 * HALF_CELL * (1 - s2) / std::sin(MU);
  const double etamax = HALF_CELL * theta * (1 + s2 / 2) / (s2 * s2);
  const double nu = CELLS * MU / (2 * PI);
  auto rel = [](double a, double b) { return std::fabs(a / b - 1); };
  EXPECT_LT(rel(number_after(t, " BETA ="), bmax), 5e-3);
  EXPECT_LT(rel(nth_number(t, " BETA =", 2), bmin), 5e-3); // the vertical block follows
  EXPECT_NEAR(number_after(t, " ALPHA ="), 0.0, 1e-12);
  EXPECT_LT(rel(number_after(t, " ETA ="), etamax), 5e-3);
  EXPECT_NEAR(number_after(t, " ETAP ="), 0.0, 1e-12);

  // Continuous tunes along the ring: non-decreasing, no jump larger than a quarter of a cell's
  // phase, crossing 1 and ending at the thin-lens tune.
  const auto lines = mach_lines(t);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(9 * CELLS + 1)); // the start and every position
  for (std::size_t k = 1; k < lines.size(); ++k) {
    EXPECT_GE(lines[k].nux, lines[k - 1].nux);
    EXPECT_GE(lines[k].nuy, lines[k - 1].nuy);
    EXPECT_LT(lines[k].nux - lines[k - 1].nux, 0.15);
    EXPECT_LT(lines[k].nuy - lines[k - 1].nuy, 0.15);
  }
  EXPECT_LT(rel(lines.back().nux, nu), 3e-3);
  EXPECT_LT(rel(lines.back().nuy, nu), 3e-3);
  EXPECT_NEAR(lines.back().total, 2 * CELLS * HALF_CELL, 1e-3);
  // The last line repeats the starting functions: the solution is periodic.
  EXPECT_NEAR(lines.back().betax, lines.front().betax, 2e-4);
  EXPECT_NEAR(lines.back().etax, lines.front().etax, 2e-4);
  EXPECT_LT(rel(number_after(t, " BETA X ="), bmax), 5e-3);
  EXPECT_LT(rel(number_after(t, " ETA  X ="), etamax), 5e-3);

  // Smooth approximation: compaction about 1/nu^2 (a FODO ring lies some 15 % above it).
  const double compaction = number_after(t, "COMPACTION FACTOR =");
  EXPECT_LT(rel(compaction, 1 / (nu * nu)), 0.2);
  EXPECT_NEAR(number_after(t, "GAMMA TR ="), 1 / std::sqrt(compaction), 1e-10);
  // Natural chromaticity of thin FODO cells: -tan(mu/2)/pi each, negative in both planes.
  const double xi = -CELLS * std::tan(MU / 2) / PI;
  EXPECT_LT(rel(number_after(t, "CHROMATICITY   ="), xi), 0.02);
  EXPECT_LT(rel(nth_number(t, "CHROMATICITY   =", 2), xi), 0.02);
}

TEST(OpticsRing, SextupolesTurnTheChromaticityPositive) {
  // Integrated strengths for Delta xi = (1/4 pi) sum K2 l eta beta, chosen to overcorrect the
  // natural chromaticity by twice its size in both planes.
  const DeckRun r = run_deck(ring("0.656/LS", "-1.28/LS", "OUTP\n 1,\nMATRIX\n 2 -1;\n"));
  ASSERT_EQ(r.status, 0) << r.terminal;
  const double xi = -CELLS * std::tan(MU / 2) / PI;
  const double cx = number_after(r.listing, "CHROMATICITY   =");
  const double cy = nth_number(r.listing, "CHROMATICITY   =", 2);
  EXPECT_GT(cx, 0.0);
  EXPECT_GT(cy, 0.0);
  EXPECT_NEAR(cx, -xi, 0.1 * -xi);
  EXPECT_NEAR(cy, -xi, 0.1 * -xi);
}

TEST(OpticsRing, IsomagneticRingRadiationIntegralsAndDamping) {
  const DeckRun r = run_deck(ring("0", "0",
                                  "OUTP\n 1,\nMATRIX\n 1 -1,\n"
                                  "MACHINE\n 1 3 1 1 0 0 0 0 0 0 0 0 0 0 0 -1;\n"));
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string &t = r.listing;
  const double theta = 2 * PI / 128, rho = (HALF_CELL - 0.03) / theta;
  const double length = 2 * CELLS * HALF_CELL;
  const double i1 = number_after(t, "INTEGRAL X1="), i2 = number_after(t, "INTEGRAL X2=");
  const double i3 = number_after(t, "INTEGRAL X3="), i4 = number_after(t, "INTEGRAL X4=");
  EXPECT_NEAR(i2, 2 * PI / rho, 1e-10 * i2);
  EXPECT_NEAR(i3, 2 * PI / (rho * rho), 1e-10 * i3);
  // Sector bends without gradient or edge angles: I4 = sum eta h^3 l = I1 / rho^2.
  EXPECT_NEAR(i4, i1 / (rho * rho), 1e-10 * i4);
  EXPECT_EQ(number_after(t, "INTEGRAL Y2="), 0.0);
  // I1 / L (mean dispersion over the bends) is the compaction the one-turn map gives.
  EXPECT_NEAR(i1 / length, number_after(t, "COMPACTION FACTOR ="), 1e-10);
  EXPECT_NEAR(number_after(t, " MOMENTUM COMPACTION="), i1 / length, 1e-9);
  const double jx = number_after(t, " JX="), jy = number_after(t, " JY="),
               je = number_after(t, " JE=");
  EXPECT_NEAR(jx + jy + je, 4.0, 1e-6);
  EXPECT_NEAR(number_after(t, " TAUREV="), length / 299792458.0, 1e-12);
  // One record per energy 1, 2, 3 GeV; the loss is C_gamma E^4/rho with C_gamma =
  // 8.846e-5 m/GeV^3, the spread grows as E and the emittance as E^2.
  EXPECT_EQ(count_of(t, "\n0ENERGY = "), 3);
  const double u0_3 = nth_number(t, "ENERGY LOSS =", 3);
  EXPECT_NEAR(u0_3, 8.846e-2 * 81 / rho, 2e-3 * u0_3);
  const double sige1 = number_after(t, " SIGE="), sige3 = nth_number(t, " SIGE=", 3);
  EXPECT_NEAR(sige3, 3 * sige1, 1e-6 * sige3);
  const double eps1 = number_after(t, " EPSX="), eps3 = nth_number(t, " EPSX=", 3);
  EXPECT_NEAR(eps3, 9 * eps1, 1e-6 * eps3);
  EXPECT_FALSE(contains(t, "LUMINOSITY="));
}

// Eight cells whose bends are rolled by the given angle.
std::string rolled_ring(const std::string &tilt, const std::string &ops) {
  return "PI = 3.141592653589793\n"
         "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\n"
         "QD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
         "B: SBEND, L = 2.0, ANGLE = 2*PI/16, TILT = " +
         tilt +
         "\nD: DRIFT, L = 0.5\n"
         "CELL: LINE = (QF, D, B, D, QD, D, B, D)\n"
         "RING: LINE = (8*CELL)\n"
         "USE, RING\n"
         "VORAX\n"
         "OUTP\n 1,\n" +
         ops + "STOP\n";
}

TEST(OpticsRing, VerticalBendsRadiateInTheVerticalPlane) {
  const DeckRun r = run_deck(
      rolled_ring("PI/2", "MATRIX\n 1 -1,\nMACHINE\n 3 3 1 1 0 0 0 0 0 0 0 0 0 0 0 -1;\n"));
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string &t = r.listing;
  const double rho = 2.0 / (2 * PI / 16);
  EXPECT_EQ(number_after(t, "INTEGRAL X2="), 0.0);
  EXPECT_NEAR(number_after(t, "INTEGRAL Y2="), 2 * PI / rho, 1e-10);
  EXPECT_NEAR(number_after(t, "INTEGRAL Y3="), 2 * PI / (rho * rho), 1e-10);
  // The path lengthens on the vertical dispersion orbit: the one-turn map and I1 agree.
  const double compaction = number_after(t, "COMPACTION FACTOR =");
  EXPECT_GT(compaction, 0.0);
  EXPECT_NEAR(number_after(t, "INTEGRAL Y1=") / 56.0, compaction, 1e-10);
  EXPECT_NEAR(number_after(t, " JX="), 1.0, 1e-12);
  EXPECT_NEAR(number_after(t, " JY="), 1 - number_after(t, "INTEGRAL Y4=") / (2 * PI / rho), 1e-6);
  EXPECT_EQ(number_after(t, " EPSX="), 0.0);
  EXPECT_GT(number_after(t, " EPSY="), 0.0);
  EXPECT_FALSE(contains(t, "TILT OTHER THAN"));
}

TEST(OpticsRing, OtherRollsAreReportedOnce) {
  const DeckRun r =
      run_deck(rolled_ring("0.3", "MATRIX\n 1 -1,\nMACHINE\n 3 3 1 1 0 0 0 0 0 0 0 0 0 0 0 -1;\n"));
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(count_of(r.listing, " A BEND WITH A TILT OTHER THAN 0 OR 90 DEGREES WAS MET"), 1);
  EXPECT_NEAR(number_after(r.listing, "DEGREES WAS MET"), 0.3 * 180 / PI, 1e-5);
}

TEST(OpticsRing, LuminosityReachesTheTuneShiftLimit) {
  // Two sectors, 10 bunches, tune-shift limit 0.03, at 3 GeV.
  const DeckRun r = run_deck(
      rolled_ring("0", "MATRIX\n 1 -1,\nMACHINE\n 3 3 1 2 0.03 2 10 0 0 0 0 0 0 0 0 -1;\n"));
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string &t = r.listing;
  const double betax = number_after(t, " BETA ="), betay = nth_number(t, " BETA =", 2);
  const double gamma = 3.0 / 0.00051099906, re = 2.817938e-15;
  const double frev = number_after(t, " FREV=");
  EXPECT_NEAR(frev, 299792458.0 / 112.0, 1e-6 * frev);
  EXPECT_NEAR(number_after(t, "EPSY/EPSX ="), betay / betax, 1e-6);
  for (int which = 1; which <= 2; ++which) {
    SCOPED_TRACE(which);
    const std::size_t at = which == 1 ? t.find("EPSY/EPSX") : t.find("MAXIMUM COUPLING :");
    const std::string part = t.substr(at);
    const double sx = number_after(part, " SIGXT="), sy = number_after(part, " SIGYT=");
    const double n = number_after(part, "PARTICLES/BUNCH=");
    const double xix = re * n * betax / (2 * PI * gamma * sx * (sx + sy));
    const double xiy = re * n * betay / (2 * PI * gamma * sy * (sx + sy));
    EXPECT_NEAR(std::max(xix, xiy), 0.03, 1e-8);
    const double lumi = 10 * frev * n * n / (4 * PI * sx * sy) * 1e-4;
    EXPECT_NEAR(number_after(part, " LUMINOSITY="), lumi, 1e-5 * lumi);
    EXPECT_NEAR(number_after(part, "CURRENT/BEAM="), 1.6021892e-19 * n * 10 * frev, 1e-5);
  }
  // Full coupling shares the emittance equally.
  const std::string part = t.substr(t.find("MAXIMUM COUPLING :"));
  const double sx = number_after(part, " SIGX="), sy = number_after(part, " SIGY=");
  EXPECT_NEAR(sx * sx / betax, sy * sy / betay, 1e-6 * sx * sx / betax);
}

// Combined-function bends with turned faces; rolled by +-90 degrees with the quadrupoles'
// signs exchanged, the ring is the same ring seen from the side, and rolled by 180 degrees it
// is its mirror image: the integrals must not change, only move to Y for the side view.
TEST(OpticsRing, ARolledRingHasTheSameIntegrals) {
  auto integrals = [](const std::string &kf, const std::string &tilt, int plane) {
    const DeckRun r = run_deck(combined_function_ring(kf, tilt) +
                               "MATRIX\n 1 -1,\nMACHINE\n 1 1 1 1 0 0 0 0 0 0 0 0 0 0 0 -1;\n");
    EXPECT_EQ(r.status, 0) << r.terminal;
    const char axis = plane == 1 ? 'X' : 'Y';
    std::vector<double> v;
    for (int k = 1; k <= 5; ++k)
      v.push_back(
          number_after(r.listing, std::string("INTEGRAL ") + axis + std::to_string(k) + "="));
    return v;
  };
  const std::vector<double> flat = integrals("0.9", "0", 1);
  for (const auto &[kf, tilt, plane] :
       {std::tuple{"-0.9", "PI/2", 2}, std::tuple{"-0.9", "-PI/2", 2},
        std::tuple{"0.9", "PI", 1}}) {
    const std::vector<double> rolled = integrals(kf, tilt, plane);
    for (std::size_t k = 0; k < 5; ++k)
      EXPECT_NEAR(rolled[k], flat[k], 1e-10 * std::fabs(flat[k])) << tilt << " I" << k + 1;
  }
}

} // namespace
} // namespace vorax::test
