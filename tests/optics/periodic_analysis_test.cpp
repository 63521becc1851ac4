// Periodic analysis against closed forms on one-turn maps built by hand, its failure cases,
// and the chromatic derivatives against finite differences of the first-order analysis.
#include "common/shared_areas.h"
#include "harness.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>

using namespace vorax;

namespace {

using namespace vorax::test;

TEST(PeriodicAnalysis, TwissMapGivesItsTunesFunctionsDispersionAndCompaction) {
  test::start_in_memory();
  const std::array<double, 4> eta{1.3, -0.21, 0.05, 0.02};
  // mu x above pi: R12 < 0 there, the tune must still come out above 1/2.
  const M6 m = periodic_map(2.0 * PI * 0.731, 12.5, -1.7, 2.0 * PI * 0.186, 3.2, 0.4, eta, 4.7);
  Analc a;
  periodic_analysis(to_map(m), 85.0, false, a);
  EXPECT_EQ(a.unstable(1), 0);
  EXPECT_EQ(a.unstable(2), 0);
  EXPECT_EQ(a.singular, 0);
  EXPECT_EQ(a.coupled, 0);
  EXPECT_NEAR(a.nu(1), 0.731, 1e-13);
  EXPECT_NEAR(a.nu(2), 0.186, 1e-13);
  EXPECT_NEAR(a.mu(1), 2.0 * PI * 0.731, 1e-12);
  EXPECT_NEAR(a.beta(1), 12.5, 1e-12);
  EXPECT_NEAR(a.alpha(1), -1.7, 1e-12);
  EXPECT_NEAR(a.beta(2), 3.2, 1e-12);
  EXPECT_NEAR(a.alpha(2), 0.4, 1e-12);
  EXPECT_NEAR(a.eta(1), 1.3, 1e-12);
  EXPECT_NEAR(a.etap(1), -0.21, 1e-12);
  EXPECT_NEAR(a.eta(2), 0.05, 1e-12);
  EXPECT_NEAR(a.etap(2), 0.02, 1e-12);
  EXPECT_NEAR(a.cosmu(1), std::cos(2.0 * PI * 0.731), 1e-14);
  // Compaction: path length on the dispersion orbit over the length.
  const double dl = m[4][0] * eta[0] + m[4][1] * eta[1] + m[4][2] * eta[2] + m[4][3] * eta[3] + 4.7;
  EXPECT_NEAR(a.compaction, dl / 85.0, 1e-14);
}

TEST(PeriodicAnalysis, ThinLensFodoAgreesWithClosedForms) {
  test::start_in_memory();
  const double f = 2.5, l = 3.0;
  Analc a;
  periodic_analysis(to_map(thin_fodo(f, l)), 2 * l, false, a);
  // sin(mu/2) = l/(2f); beta at the focusing lens = 2 l (1 + sin(mu/2)) / sin mu.
  const double mu = 2.0 * std::asin(l / (2.0 * f));
  const double bmax = 2.0 * l * (1.0 + std::sin(mu / 2)) / std::sin(mu);
  const double bmin = 2.0 * l * (1.0 - std::sin(mu / 2)) / std::sin(mu);
  EXPECT_NEAR(a.mu(1), mu, 1e-13);
  EXPECT_NEAR(a.mu(2), mu, 1e-13);
  EXPECT_NEAR(a.beta(1), bmax, 1e-12);
  EXPECT_NEAR(a.beta(2), bmin, 1e-12);
  EXPECT_NEAR(a.alpha(1), 0.0, 1e-13);
  EXPECT_NEAR(a.alpha(2), 0.0, 1e-13);
}

TEST(PeriodicAnalysis, UnstablePlaneGivesEigenvaluesAndEigenvectors) {
  test::start_in_memory();
  // f smaller than l/2: the x plane overfocuses (cos mu < -1); y is the same lattice and is
  // unstable too, with the other lens first.
  M6 m = thin_fodo(1.2, 3.0);
  Analc a;
  periodic_analysis(to_map(m), 6.0, false, a);
  for (int p = 1; p <= 2; ++p) {
    EXPECT_EQ(a.unstable(p), 1);
    const int i = 2 * (p - 1);
    const double c = (m[i][i] + m[i + 1][i + 1]) / 2;
    EXPECT_LT(c, -1.0);
    EXPECT_DOUBLE_EQ(a.cosmu(p), c);
    // Product of the eigenvalues is the determinant (1), their sum the trace.
    EXPECT_NEAR(a.eigenvalue(p, 1) * a.eigenvalue(p, 2), 1.0, 1e-12);
    EXPECT_NEAR(a.eigenvalue(p, 1) + a.eigenvalue(p, 2), 2 * c, 1e-12);
    for (int w = 1; w <= 2; ++w) {
      const double vx = a.eigenvector(p)(1, w), vxp = a.eigenvector(p)(2, w);
      EXPECT_NEAR(std::hypot(vx, vxp), 1.0, 1e-14);
      const double lam = a.eigenvalue(p, w);
      EXPECT_NEAR(m[i][i] * vx + m[i][i + 1] * vxp, lam * vx, 1e-11);
      EXPECT_NEAR(m[i + 1][i] * vx + m[i + 1][i + 1] * vxp, lam * vxp, 1e-11);
    }
  }
  analc = a;
  pranal(1);
  const std::string out = test::listing_text();
  EXPECT_EQ(count_of(out, "   MOVEMENT IS UNSTABLE"), 2);
  EXPECT_TRUE(contains(out, "  XP =  "));
  EXPECT_TRUE(contains(out, "  YP =  "));
  EXPECT_TRUE(contains(out, " EIGENVALUE2 =  "));
}

TEST(PeriodicAnalysis, DriftOnlyMachineWarnsNearUnitMatrixAndReportsSingularDispersion) {
  test::start_in_memory();
  M6 d = unit_matrix<6>();
  d[0][1] = 10.0;
  d[2][3] = 10.0;
  mat.amap = to_map(d);
  mat.print_option = 2;
  func.map_length = 10.0;
  anal();
  EXPECT_EQ(analc.unstable(1), 2);
  EXPECT_EQ(analc.unstable(2), 2);
  EXPECT_EQ(analc.singular, 1);
  // The eigenvector of a drift is the x axis; the identity-like second one is finite too.
  EXPECT_NEAR(std::fabs(analc.eigenvector(1)(1, 1)), 1.0, 1e-15);
  pranal(2);
  const std::string out = test::listing_text();
  EXPECT_EQ(count_of(out, "SINGULAR SET OF EQUATIONS SENT TO DSIMQ"), 1);
  EXPECT_EQ(count_of(out, " ******** WARNING : NEAR +-UNIT MATRIX FOLLOWING"), 2);
  EXPECT_FALSE(contains(out, "NaN"));
  EXPECT_FALSE(contains(out, "Inf"));
  EXPECT_FALSE(contains(out, "CHROMATICITY"));
}

TEST(PeriodicAnalysis, IntegerTuneInOnePlaneLeavesTheOtherWithoutDispersion) {
  test::start_in_memory();
  M6 m = periodic_map(2 * PI * 0.3, 5.0, 0.0, 0.0, 4.0, 0.0, {0.0, 0.0, 0.0, 0.0}, 0.0);
  m[2][3] = 2.0; // y: drift-like, half-trace 1
  mat.amap = to_map(m);
  mat.print_option = 1;
  func.map_length = 1.0;
  anal();
  EXPECT_EQ(analc.unstable(1), 0);
  EXPECT_NEAR(analc.nu(1), 0.3, 1e-14);
  EXPECT_EQ(analc.unstable(2), 2);
  EXPECT_EQ(analc.singular, 1);
  pranal(1);
  EXPECT_TRUE(contains(test::listing_text(), "    MOVEMENT ANALYSIS NOT PERFORMED"));
}

TEST(PeriodicAnalysis, NearlySingularDispersionSystemOfOneRectangularBendIsRefused) {
  // Horizontally a rectangular bend is a drift-like block whose R21 is rounding (about 1e-18):
  // solved as it stands, the fixed point would be some 1e16 metres and the vertical
  // chromaticity 1e14.
  const DeckRun run = run_deck(R"(TITLE
ONE RBEND
B: RBEND, L=2.0, ANGLE=0.2
L1: LINE=(B)
USE, L1
VORAX
MATR
 2 -1 ;
STOP
)");
  ASSERT_EQ(run.status, 0) << run.listing;
  const std::string &l = run.listing;
  EXPECT_EQ(count_of(l, "\n SINGULAR SET OF EQUATIONS SENT TO DSIMQ\n"), 1);
  const std::size_t at = l.find("    HORIZONTAL MOVEMENT ANALYSIS");
  ASSERT_NE(at, std::string::npos);
  const std::string analysis = l.substr(at);
  EXPECT_TRUE(contains(analysis, " ******** WARNING : NEAR +-UNIT MATRIX FOLLOWING"));
  EXPECT_TRUE(
      contains(analysis, "    VERTICAL MOVEMENT ANALYSIS\n    MOVEMENT ANALYSIS NOT PERFORMED"));
  for (const char *label : {"COMPACTION", "DMU /DELTA=", "CHROMATICITY", "DBETA/DDELTA=", "ETA ="})
    EXPECT_FALSE(contains(analysis, label)) << label;
  // What is printed (half-trace, eigenvalues, eigenvectors) is of order one.
  int values = 0;
  for (const std::string &line : lines_of(analysis))
    for (double v : numbers_after(line, "=")) {
      EXPECT_LE(std::fabs(v), 1.0 + 1e-12) << line;
      ++values;
    }
  EXPECT_EQ(values, 1 + 2 * 3); // the half-trace, two eigenvalues with their vectors
}

TEST(PeriodicAnalysis, TuneCloseToAnIntegerStillHasItsDispersion) {
  // The singular test must not refuse a genuine machine: with the tune 1e-6 from an integer and
  // beta 50 m the smallest pivot is near 1e-7, and the dispersion still comes out to 1e-6.
  test::start_in_memory();
  const std::array<double, 4> eta{1.3, 0.1, 0.2, -0.03};
  const M6 m = periodic_map(2 * PI * 1e-6, 50.0, 0.3, 2 * PI * (1 - 1e-6), 50.0, -0.2, eta, 1.0);
  Analc a;
  periodic_analysis(to_map(m), 10.0, false, a);
  ASSERT_EQ(a.singular, 0);
  for (int p = 1; p <= 2; ++p) {
    EXPECT_NEAR(a.eta(p), eta[static_cast<std::size_t>(2 * p - 2)], 1e-6);
    EXPECT_NEAR(a.etap(p), eta[static_cast<std::size_t>(2 * p - 1)], 1e-6);
  }
}

TEST(PeriodicAnalysis, CouplingZeroLengthAndFreshResults) {
  test::start_in_memory();
  M6 m = periodic_map(1.0, 5.0, 0.0, 2.0, 4.0, 0.0, {0.5, 0.0, 0.0, 0.0}, 0.0);
  m[0][2] = 2e-4; // |R13| alone above the threshold
  Analc a;
  periodic_analysis(to_map(m), 0.0, false, a);
  EXPECT_EQ(a.coupled, 1);
  EXPECT_EQ(a.compaction, 0.0);
  EXPECT_TRUE(
      contains(test::listing_text(), " LENGTH IS ZERO: COMPACTION FACTOR CANNOT BE COMPUTED"));
  analc = a;
  pranal(1);
  EXPECT_TRUE(contains(test::listing_text(), "X-Y COUPLING NOT NEGLIGIBLE"));
  m[0][2] = 0.5e-4;
  periodic_analysis(to_map(m), 1.0, false, a);
  EXPECT_EQ(a.coupled, 0);
  // An unstable result must not keep the tunes of the analysis before it.
  periodic_analysis(to_map(thin_fodo(1.0, 3.0)), 1.0, false, a);
  EXPECT_EQ(a.nu(1), 0.0);
  EXPECT_EQ(a.beta(1), 0.0);
}

// ---- Chromatic derivatives -------------------------------------------------------------

// Chromatic thin FODO built from elements whose momentum dependence is known exactly: the
// lenses scale as 1/(1 + delta). T(i,j,6) = dR(i,j)/d delta at delta = 0 by the product rule,
// with dQ/d delta = -(Q - I) for each lens.
TEST(PeriodicAnalysis, ChromaticityOfThinFodoMatchesClosedFormAndFiniteDifferences) {
  test::start_in_memory();
  const double f = 2.5, l = 3.0;
  // Derivative of the cell by differences of exact products (the cell is a rational function
  // of delta; a step of 1e-6 gives the derivative to about 1e-10).
  const double h = 1e-6;
  const M6 plus = thin_fodo(f, l, h), minus = thin_fodo(f, l, -h);
  TransferMap map = to_map(thin_fodo(f, l));
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      map.T(i + 1, j + 1, 6) = (plus[i][j] - minus[i][j]) / (2 * h);
  Analc a;
  periodic_analysis(map, 2 * l, true, a);
  // Natural chromaticity of a thin FODO cell: -tan(mu/2)/pi in both planes.
  const double mu = 2.0 * std::asin(l / (2.0 * f));
  EXPECT_NEAR(a.chrom(1), -std::tan(mu / 2) / PI, 1e-8);
  EXPECT_NEAR(a.chrom(2), -std::tan(mu / 2) / PI, 1e-8);
  EXPECT_NEAR(a.dmu(1), 2 * PI * a.chrom(1), 1e-14);
  // d beta / d delta against the first-order analysis at +-delta.
  const double d = 1e-5;
  Analc ap, am;
  periodic_analysis(to_map(thin_fodo(f, l, d)), 2 * l, false, ap);
  periodic_analysis(to_map(thin_fodo(f, l, -d)), 2 * l, false, am);
  for (int p = 1; p <= 2; ++p) {
    EXPECT_NEAR(a.dbeta(p), (ap.beta(p) - am.beta(p)) / (2 * d), 1e-5);
    EXPECT_NEAR(a.chrom(p), (ap.nu(p) - am.nu(p)) / (2 * d), 1e-7);
  }
}

// A general second-order one-turn map v' = R v + T v v with dispersion and coefficients in
// every transverse row, in the way sextupoles with dispersion feed chromaticity down.
struct QuadraticMap {
  TransferMap map;
  // Evaluates the map on a full vector.
  std::array<double, 6> operator()(const std::array<double, 6> &v) const {
    std::array<double, 6> out{};
    for (int i = 1; i <= 6; ++i) {
      double s = 0.0;
      for (int j = 1; j <= 6; ++j)
        s += map.R(i, j) * v[static_cast<std::size_t>(j - 1)];
      for (int j = 1; j <= 6; ++j)
        for (int k = j; k <= 6; ++k)
          s += map.T(i, j, k) * v[static_cast<std::size_t>(j - 1)] *
               v[static_cast<std::size_t>(k - 1)];
      out[static_cast<std::size_t>(i - 1)] = s;
    }
    return out;
  }
};

// Jacobian of the map at v by central differences (exact for a quadratic map up to rounding).
M6 jacobian(const QuadraticMap &q, std::array<double, 6> v) {
  M6 jac{};
  const double h = 1e-3;
  for (int j = 0; j < 6; ++j) {
    auto a = v, b = v;
    a[static_cast<std::size_t>(j)] += h;
    b[static_cast<std::size_t>(j)] -= h;
    const auto fa = q(a), fb = q(b);
    for (int i = 0; i < 6; ++i)
      jac[i][j] = (fa[static_cast<std::size_t>(i)] - fb[static_cast<std::size_t>(i)]) / (2 * h);
  }
  return jac;
}

// The transverse closed orbit of momentum delta by Newton iteration, and the map linearised
// on it: the first-order map of the machine for that momentum.
M6 linearised_at(const QuadraticMap &q, double delta) {
  std::array<double, 6> x{0, 0, 0, 0, 0, delta};
  for (int it = 0; it < 30; ++it) {
    const auto fx = q(x);
    const M6 jac = jacobian(q, x);
    // Solve (J4 - I) dx = -(f(x) - x) by Gaussian elimination on the 4x4 block.
    double a[4][5];
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j)
        a[i][j] = jac[i][j] - (i == j ? 1.0 : 0.0);
      a[i][4] = -(fx[static_cast<std::size_t>(i)] - x[static_cast<std::size_t>(i)]);
    }
    for (int c = 0; c < 4; ++c) {
      int piv = c;
      for (int r = c + 1; r < 4; ++r)
        if (std::fabs(a[r][c]) > std::fabs(a[piv][c]))
          piv = r;
      for (int k = 0; k < 5; ++k)
        std::swap(a[c][k], a[piv][k]);
      for (int r = 0; r < 4; ++r)
        if (r != c) {
          const double g = a[r][c] / a[c][c];
          for (int k = c; k < 5; ++k)
            a[r][k] -= g * a[c][k];
        }
    }
    for (int i = 0; i < 4; ++i)
      x[static_cast<std::size_t>(i)] += a[i][4] / a[i][i];
  }
  return jacobian(q, x);
}

TEST(PeriodicAnalysis, ChromaticDerivativesAndSecondOrderDispersionMatchFiniteDifferences) {
  test::start_in_memory();
  const M6 r =
      periodic_map(2 * PI * 0.27, 8.0, 0.6, 2 * PI * 0.61, 3.5, -0.3, {1.1, 0.15, 0.2, -0.05}, 2.0);
  QuadraticMap q;
  q.map = to_map(r);
  // Deterministic pseudo-random coefficients for every T(i,j,k) of the transverse rows with
  // j, k in {1,2,3,4,6}; the path length (column 5) does not act on a static machine.
  unsigned s = 12345;
  auto next = [&s] {
    s = s * 1103515245u + 12345u;
    return ((s >> 8) & 0xffff) / 65536.0 - 0.5;
  };
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 6; ++j)
      for (int k = j; k <= 6; ++k)
        if (j != 5 && k != 5)
          q.map.T(i, j, k) = 2.0 * next();
  Analc a;
  periodic_analysis(q.map, 30.0, true, a);
  ASSERT_EQ(a.singular, 0);
  const double d = 1e-4;
  Analc ap, am;
  periodic_analysis(to_map(linearised_at(q, d)), 30.0, false, ap);
  periodic_analysis(to_map(linearised_at(q, -d)), 30.0, false, am);
  ASSERT_EQ(ap.unstable(1) + ap.unstable(2) + am.unstable(1) + am.unstable(2), 0);
  auto fd = [&](const Table<double, 1, 2> &plus, const Table<double, 1, 2> &minus, int p) {
    return (plus(p) - minus(p)) / (2 * d);
  };
  for (int p = 1; p <= 2; ++p) {
    SCOPED_TRACE(p);
    EXPECT_NEAR(a.dmu(p), fd(ap.mu, am.mu, p), 1e-5 * (1 + std::fabs(a.dmu(p))));
    EXPECT_NEAR(a.chrom(p), fd(ap.nu, am.nu, p), 1e-6 * (1 + std::fabs(a.chrom(p))));
    EXPECT_NEAR(a.dbeta(p), fd(ap.beta, am.beta, p), 1e-5 * (1 + std::fabs(a.dbeta(p))));
    EXPECT_NEAR(a.dalpha(p), fd(ap.alpha, am.alpha, p), 1e-5 * (1 + std::fabs(a.dalpha(p))));
    EXPECT_NEAR(a.deta(p), fd(ap.eta, am.eta, p), 1e-5 * (1 + std::fabs(a.deta(p))));
    EXPECT_NEAR(a.detap(p), fd(ap.etap, am.etap, p), 1e-5 * (1 + std::fabs(a.detap(p))));
  }
  // The printout carries every second-order line once per plane.
  analc = a;
  pranal(2);
  const std::string out = test::listing_text();
  for (const char *label : {"DMU /DELTA=", "CHROMATICITY   =", "DALPHA /DDELTA=", "DBETA/DDELTA=",
                            "DETA/DDELTA=", "DETAP/DDELTA="})
    EXPECT_EQ(count_of(out, label), 2) << label;
  EXPECT_EQ(count_of(out, "COMPACTION FACTOR ="), 1);
  EXPECT_NEAR(test::number_after(out, "CHROMATICITY   ="), a.chrom(1), 1e-13);
}

} // namespace
