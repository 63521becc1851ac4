// Composition of maps (promat): identities, drifts, agreement with applying the maps one after
// the other, the drift-like kinds and the general kick, the symplectic-option drift, map order 1.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "harness.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "maps/symmap.h"
#include "support/maps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

// A map with every coefficient filled, first order near the identity.
TransferMap full_map(double seed) {
  TransferMap m;
  double v = seed;
  for (int c = 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i) {
      v = std::fmod(v * 7.31 + 0.137, 1.0);
      m(i, c) = (c <= 6 ? 0.4 : 1.5) * (v - 0.5) + (c == i ? 1.0 : 0.0);
    }
  return m;
}

bool same(const TransferMap &a, const TransferMap &b, int ncol = 27) {
  for (int c = 1; c <= ncol; ++c)
    for (int i = 1; i <= 6; ++i)
      if (a(i, c) != b(i, c))
        return false;
  return true;
}

} // namespace

TEST(Composition, IdentityOnEitherSideLeavesAMapUnchanged) {
  start();
  const TransferMap m = full_map(0.3);
  TransferMap id;
  id.set_identity();
  TransferMap a = m;
  compose_maps(id, a, 27);
  EXPECT_TRUE(same(a, m));
  a = id;
  compose_maps(m, a, 27);
  EXPECT_TRUE(same(a, m));

  // Through promat and a record.
  const int e = add_element(KODE_MATRIX, {0.0}, "M");
  blank.maps(give_matrix(e)) = m;
  TransferMap work;
  work.set_identity();
  promat(e, 1, work);
  EXPECT_TRUE(same(work, m));
}

TEST(Composition, TwoDriftsMakeOneDriftOfTheSummedLength) {
  start();
  const int a = add_element(KODE_DRIFT, {1.25}, "DA");
  const int b = add_element(KODE_DRIFT, {0.5}, "DB");
  TransferMap work, drift;
  work.set_identity();
  promat(a, 0, work);
  promat(b, 0, work);
  drift.set_identity();
  drift_entries(drift, 1.75, 27);
  EXPECT_TRUE(same(work, drift));
  EXPECT_EQ(work.T(5, 2, 2), 0.875);

  // A drift record composed through the extended matrix gives the same.
  const int c = add_element(KODE_RFCAVITY, {0.5, 0, 0, 0, 0}, "C");
  give_matrix(c);
  matgen(c);
  work.set_identity();
  promat(a, 0, work);
  promat(c, 1, work);
  EXPECT_TRUE(same(work, drift));
}

TEST(Composition, ComposedMapAgreesWithSuccessiveApplicationToThirdOrder) {
  start();
  const TransferMap first = full_map(0.11), second = full_map(0.71);
  TransferMap composed = first;
  compose_maps(second, composed, 27);
  const Vec dir = {0, 0.9, -0.4, 0.3, 0.8, -0.6, 0.5};
  double previous = 0;
  for (double eps : {4e-3, 2e-3, 1e-3}) {
    Vec z{};
    for (int i = 1; i <= 6; ++i)
      z[i] = eps * dir[i];
    const Vec a = act(second, act(first, z)), b = act(composed, z);
    double d = 0;
    for (int i = 1; i <= 6; ++i)
      d = std::fmax(d, std::fabs(a[i] - b[i]));
    EXPECT_LT(d, 50 * eps * eps * eps);
    if (previous > 0) { // halving the amplitude divides the difference by about eight
      EXPECT_NEAR(previous / d, 8.0, 1.0);
    }
    previous = d;
  }
}

TEST(Composition, DriftLikeKindsActAsDriftsOfTheirLength) {
  start();
  TransferMap drift;
  drift.set_identity();
  drift_entries(drift, 0.6, 27);
  for (int kind :
       {KODE_DRIFT, KODE_COLLIMAT, KODE_ARBITRAR, KODE_MONITOR, KODE_HCOLLIMA, KODE_TARVOCAV}) {
    const int e = add_element(kind, {0.6, 0.01, 0.02, 1.0}, "D");
    TransferMap work;
    work.set_identity();
    promat(e, 0, work);
    EXPECT_TRUE(same(work, drift)) << "kind " << kind;
  }
}

TEST(Composition, GeneralKickSpansLengthPlusShiftRollsAndIgnoresTheKicks) {
  start();
  // L, DX, DXP, DY, DYP, DL, DP, ANGLE, DZ, V, T
  const int kick =
      add_element(KODE_GKICK, {0.4, 1e-3, 2e-3, -1e-3, 5e-4, 1e-2, 1e-3, 0.0, 0.1, 1, 0});
  const int roll = add_element(KODE_GKICK, {0, 0, 0, 0, 0, 0, 0, 0.35, 0, 1, 0}, "ROLL");
  const int back = add_element(KODE_GKICK, {0, 0, 0, 0, 0, 0, 0, -0.35, 0, 1, 0}, "BACK");
  const TransferMap m = full_map(0.5);
  TransferMap work = m, drift = m, expect;
  promat(kick, 0, work);
  const int d = add_element(KODE_DRIFT, {0.5});
  promat(d, 0, drift);
  EXPECT_LT(largest_difference(work, drift), 1e-15);

  // A roll turns the reference axes, the opposite of the turn a tilt applies at a magnet's
  // entrance; rolling back restores them.
  work = m;
  promat(roll, 0, work);
  const double c = std::cos(0.35), s = std::sin(0.35);
  EXPECT_DOUBLE_EQ(work(1, 9), c * m(1, 9) + s * m(3, 9));
  EXPECT_DOUBLE_EQ(work(4, 2), c * m(4, 2) - s * m(2, 2));
  EXPECT_EQ(work(5, 20), m(5, 20));
  promat(back, 0, work);
  EXPECT_LT(largest_difference(work, m), 1e-15);

  // Under convention 2 the roll angle is in degrees, under 1 it is reversed.
  inputt.eunits = 2;
  inputt.slot(roll, 8) = 90.0;
  work.set_identity();
  promat(roll, 0, work);
  EXPECT_EQ(work.R(1, 3), 1.0);
  EXPECT_EQ(work.R(1, 1), 0.0);
  inputt.eunits = 1;
  inputt.slot(roll, 8) = 0.35;
  work.set_identity();
  promat(roll, 0, work);
  EXPECT_DOUBLE_EQ(work.R(1, 3), -s);
}

TEST(Composition, OptionDriftIsTheCanonicalDrift) {
  start();
  const int d = add_element(KODE_DRIFT, {1.3});
  TransferMap geometric, canonical, work;
  geometric.set_identity();
  drift_entries(geometric, 1.3, 27);
  canonical_map(geometric, canonical, 27);
  sym.option = 1;
  sym.scale(1) = 1.0;
  work.set_identity();
  promat(d, 0, work);
  EXPECT_LT(largest_difference(work, canonical), 1e-15);
  EXPECT_DOUBLE_EQ(work.T(1, 2, 6), -1.3);
  EXPECT_DOUBLE_EQ(work.T(5, 2, 2), -0.65);
}

TEST(Composition, MapOrderOneCarriesOnlyTheFirstOrderColumns) {
  start();
  control.map_order = 1;
  const TransferMap m = full_map(0.2), record = full_map(0.9);
  const int e = add_element(KODE_MATRIX, {0.0}, "M");
  blank.maps(give_matrix(e)) = record;
  TransferMap work = m;
  promat(e, 1, work);
  for (int c = 7; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      EXPECT_EQ(work(i, c), m(i, c));
  TransferMap full = m;
  compose_maps(record, full, 27);
  EXPECT_TRUE(same(work, full, 6));
  const int d = add_element(KODE_DRIFT, {2.0});
  promat(d, 0, work);
  EXPECT_EQ(work(5, 27), m(5, 27));
  // Map order 2 restores the row length word.
  prodct.ncol = 6;
  control.map_order = 2;
  promat(d, 0, work);
  EXPECT_EQ(prodct.ncol, 27);
}

TEST(Composition, FastProductIsBitIdenticalToThePlainExtendedMatrixProduct) {
  start();
  TransferMap sparse;
  prodct.ncol = 27;
  flen2m(0.5, 1.7, 1);
  sparse = blank.maps(1);
  for (const TransferMap &m : {full_map(0.42), sparse}) {
    const TransferMap a = full_map(0.77);
    // W: rows 1-6 the map itself, rows 7-27 the products v(j) v(k) under its first order.
    double w[28][28] = {};
    for (int c = 1; c <= 27; ++c)
      for (int l = 1; l <= 6; ++l)
        w[l][c] = a(l, c);
    for (int j = 1; j <= 6; ++j)
      for (int k = j; k <= 6; ++k)
        for (int p = 1; p <= 6; ++p)
          for (int q = p; q <= 6; ++q)
            w[tcol(j, k)][tcol(p, q)] =
                p == q ? a.R(j, p) * a.R(k, p) : a.R(j, p) * a.R(k, q) + a.R(j, q) * a.R(k, p);
    TransferMap fast = a;
    compose_maps(m, fast, 27);
    for (int c = 1; c <= 27; ++c)
      for (int i = 1; i <= 6; ++i) {
        double s = 0;
        for (int l = 1; l <= 27; ++l)
          s += m(i, l) * w[l][c];
        EXPECT_EQ(fast(i, c), s) << i << "," << c;
      }
  }
}
