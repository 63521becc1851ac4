// Lattice-function propagation: periodicity, composition, damping maps and the continuous tune
// across whole turns.
#include "optics/lattice_functions.h"

#include "common/shared_areas.h"
#include "harness.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vorax;
using namespace vorax::test;

namespace {

Optics optics(double bx, double ax, double ex, double epx, double by, double ay, double ey,
              double epy) {
  Table<double, 1, 8> s;
  const double v[8] = {bx, ax, ex, epx, by, ay, ey, epy};
  for (int j = 1; j <= 8; ++j)
    s(j) = v[j - 1];
  return optics_from_start(s);
}

void expect_same(const Optics &a, const Optics &b, double tol) {
  for (int p = 1; p <= 2; ++p) {
    EXPECT_NEAR(a.beta(p), b.beta(p), tol);
    EXPECT_NEAR(a.alpha(p), b.alpha(p), tol);
    EXPECT_NEAR(a.eta(p), b.eta(p), tol);
    EXPECT_NEAR(a.etap(p), b.etap(p), tol);
  }
}

TEST(LatticeFunctions, PeriodicSolutionReturnsAfterOneTurnAndFromTheAnalysis) {
  test::start_in_memory();
  const M6 m =
      periodic_map(2 * PI * 0.37, 11.0, -0.8, 2 * PI * 0.82, 4.0, 1.3, {0.9, -0.1, 0.0, 0.0}, 1.0);
  const Optics start = optics(11.0, -0.8, 0.9, -0.1, 4.0, 1.3, 0.0, 0.0);
  expect_same(propagate_optics(to_map(m), start), start, 1e-12);
  // The same starting values taken over from the periodic analysis.
  periodic_analysis(to_map(m), 10.0, false, analc);
  Table<double, 1, 8> s;
  start_from_analysis(s);
  expect_same(optics_from_start(s), start, 1e-12);
}

TEST(LatticeFunctions, PropagationComposesAndIgnoresUniformDamping) {
  // Two pieces of a beam line with dispersion-generating columns: functions carried through A
  // and then B equal those carried through B A at once.
  M6 a = thin_fodo(3.0, 2.0), b = thin_fodo(-4.0, 1.5);
  a[0][5] = 0.3;
  a[1][5] = 0.05;
  b[0][5] = -0.1;
  b[1][5] = 0.2;
  b[2][5] = 0.01;
  const Optics start = optics(7.0, 0.5, 0.2, 0.01, 3.0, -0.4, 0.05, -0.02);
  expect_same(propagate_optics(to_map(b), propagate_optics(to_map(a), start)),
              propagate_optics(to_map(multiply(b, a)), start), 1e-12);
  // A block scaled by s (det s^2, as under acceleration) shrinks the emittance, not beta.
  M6 damp = a;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      damp[i][j] *= 0.8;
  const Optics plain = propagate_optics(to_map(a), start);
  const Optics damped = propagate_optics(to_map(damp), start);
  for (int p = 1; p <= 2; ++p) {
    EXPECT_NEAR(damped.beta(p), plain.beta(p), 1e-12);
    EXPECT_NEAR(damped.alpha(p), plain.alpha(p), 1e-12);
  }
}

TEST(LatticeFunctions, TuneGrowsContinuouslyOverSeveralTurns) {
  test::start_in_memory();
  // A periodic cell with 0.23 turns of phase in x and 0.41 in y, repeated 13 times: the
  // counter must give k times the cell tune, across 1, 2 and the half-integers.
  const double qx = 0.23, qy = 0.41;
  const M6 cell = periodic_map(2 * PI * qx, 6.0, 0.7, 2 * PI * qy, 9.0, -1.1, {0, 0, 0, 0}, 0);
  const double start[8] = {6.0, 0.7, 0, 0, 9.0, -1.1, 0, 0};
  for (int j = 1; j <= 8; ++j)
    func.start(j) = start[j - 1];
  start_lattice_functions();
  M6 acc = unit_matrix<6>();
  for (int k = 1; k <= 13; ++k) {
    acc = multiply(cell, acc);
    mat.amap = to_map(acc);
    update_lattice_functions(k);
    EXPECT_NEAR(twf.nu(1), k * qx, 1e-11) << k;
    EXPECT_NEAR(twf.nu(2), k * qy, 1e-11) << k;
    EXPECT_NEAR(twf.beta(1), 6.0, 1e-10);
  }
  EXPECT_EQ(twf.position, 13);
  EXPECT_NEAR(twf.beta_max(2), 9.0, 1e-10);
  // A negative phase fraction after non-negative ones counts one turn, only once.
  int turns = 0, nonneg = 1;
  EXPECT_DOUBLE_EQ(count_phase(0.4, turns, nonneg), 0.4);
  EXPECT_DOUBLE_EQ(count_phase(-0.45, turns, nonneg), 0.55);
  EXPECT_DOUBLE_EQ(count_phase(-0.2, turns, nonneg), 0.8);
  EXPECT_DOUBLE_EQ(count_phase(0.1, turns, nonneg), 1.1);
}

} // namespace
