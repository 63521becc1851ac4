// The symplectic option: cmap keeps symplectic maps, repairs others to second order, reports bad
// input; its generating function reproduces the record and is exactly symplectic; SETS treats
// every existing map once and later maps as they are built.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/linear_algebra.h"
#include "common/shared_areas.h"
#include "harness.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "maps/symmap.h"
#include "support/symplectic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

TransferMap tilted_quad(double length, double k1, double tilt) {
  prodct.ncol = 27;
  flen2m(length, k1, 1);
  tiltmm(0, 1, tilt);
  return blank.maps(1);
}

// One step through the generating function: Newton (or fixed-point) solution of
// p = P + dG/dq(q, P), then Q = q + dG/dP(q, P), then the linear matrix.
Vec generating_step(const SymmapEntry &e, const Vec &z, bool newton) {
  Table<double, 1, 6> u, grad;
  for (int i = 1; i <= 6; ++i)
    u(i) = z[i];
  for (int iteration = 0; iteration < 50; ++iteration) {
    gf_gradient(e, u, grad);
    double f[3], change = 0;
    for (int i = 0; i < 3; ++i)
      f[i] = u(2 * i + 2) + grad(2 * i + 1) - z[2 * i + 2];
    if (newton) {
      Matrix<double, 3, 3> jac;
      gf_jacobian(e, u, jac);
      int singular = 0;
      dsimq(jac.data(), f, 3, singular);
      for (int k = 0; k < 3; ++k) {
        u(2 * k + 2) -= f[k];
        change += std::fabs(f[k]);
      }
    } else {
      for (int k = 0; k < 3; ++k) {
        change += std::fabs(f[k]);
        u(2 * k + 2) -= f[k];
      }
    }
    if (change < 1e-16)
      break;
  }
  gf_gradient(e, u, grad);
  Vec inner{};
  for (int i = 1; i <= 5; i += 2) {
    inner[i] = z[i] + grad(i + 1);
    inner[i + 1] = u(i + 1);
  }
  Vec out{};
  for (int i = 1; i <= 6; ++i)
    for (int k = 1; k <= 6; ++k)
      out[i] += e.linear(i, k) * inner[k];
  return out;
}

const SymmapEntry *step_entry = nullptr;
Vec newton_step(const Vec &z) {
  return generating_step(*step_entry, z, true);
}

} // namespace

TEST(Cmap, SymplecticInputIsOnlyConvertedToCanonicalVariables) {
  start();
  for (double k1 : {2.2, -5.0}) {
    const TransferMap geometric = tilted_quad(0.7, k1, 0.4);
    TransferMap canonical, treated = geometric;
    canonical_map(geometric, canonical, 27);
    SymmapEntry entry;
    cmap(treated, 27, Name8("Q"), entry);
    EXPECT_LT(largest_difference(treated, canonical), 1e-14);
    EXPECT_EQ(entry.valid, 1);
    EXPECT_LT(second_order_defect(treated), 1e-13);
  }
  EXPECT_EQ(test::listing_text(), "");
}

TEST(Cmap, ArbitrarySecondOrderTermsAreMadeSymplectic) {
  start();
  TransferMap m = tilted_quad(0.5, 3.0, 0.2);
  double v = 0.37;
  for (int c = 7; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i) {
      v = std::fmod(v * 9.17 + 0.311, 1.0);
      m(i, c) += v - 0.5;
    }
  m.R(1, 2) += 3e-11; // below the reporting limit, still repaired
  EXPECT_GT(second_order_defect(m), 0.1);
  SymmapEntry entry;
  cmap(m, 27, Name8("M"), entry);
  EXPECT_LT(symplectic_defect(first_order(m), true), 1e-15);
  EXPECT_LT(second_order_defect(m), 1e-13);
  EXPECT_EQ(test::listing_text(), "");
}

TEST(Cmap, ReportsNonSymplecticSingularAndGrosslyChangedMaps) {
  start();
  TransferMap drift;
  drift.set_identity();
  drift_entries(drift, 1.0, 27);
  SymmapEntry entry;

  TransferMap slightly = drift;
  slightly.R(1, 1) += 1e-8;
  cmap(slightly, 27, Name8("SLIGHT"), entry);
  std::string out = test::listing_text();
  EXPECT_TRUE(
      test::contains(out, " ***BMAT for element : SLIGHT    FAILS TO BE SYMPLECTIC, ERROR ="));
  EXPECT_NEAR(test::number_after(out, "ERROR ="), 1e-8, 1e-12);
  EXPECT_FALSE(test::contains(out, "linear part"));
  EXPECT_LT(symplectic_defect(first_order(slightly), true), 1e-15);

  start();
  TransferMap wrong = drift;
  wrong.R(1, 1) = 1.001;
  cmap(wrong, 27, Name8("WRONG"), entry);
  out = test::listing_text();
  EXPECT_TRUE(test::contains(out, " ***BMAT for element : WRONG     FAILS TO BE SYMPLECTIC"));
  EXPECT_TRUE(test::contains(
      out, " *** for element : WRONG    linear part of cmat misses identity, ERROR ="));
  EXPECT_FALSE(test::contains(out, "inversion"));
  EXPECT_EQ(entry.valid, 1);
  EXPECT_LT(symplectic_defect(first_order(wrong), true), 1e-14);
  EXPECT_LT(second_order_defect(wrong), 1e-14);

  start();
  TransferMap singular;
  singular.clear();
  singular.R(1, 1) = 1.0;
  TransferMap expect;
  canonical_map(singular, expect, 27);
  cmap(singular, 27, Name8("SING"), entry);
  out = test::listing_text();
  EXPECT_TRUE(test::contains(out, "SING      FAILS TO BE SYMPLECTIC"));
  EXPECT_TRUE(test::contains(out, " ***BMAT for element : SING     FAILS inversion , ERROR ="));
  EXPECT_EQ(entry.valid, 0);
  EXPECT_EQ(largest_difference(singular, expect), 0.0);
}

TEST(Cmap, GeneratingFunctionStepMatchesTheRecordAndIsExactlySymplectic) {
  start();
  TransferMap m = tilted_quad(0.6, 4.0, 0.9);
  m.T(2, 1, 1) += 2.0; // a sextupole-like kick, made symplectic by cmap
  m.T(1, 3, 6) += 0.7;
  SymmapEntry entry;
  cmap(m, 27, Name8("Q"), entry);
  ASSERT_EQ(entry.valid, 1);
  step_entry = &entry;
  const Vec dir = {0, 0.8, -0.5, 0.4, 0.9, -0.3, 0.6};
  double previous = 0;
  for (double eps : {4e-3, 2e-3, 1e-3}) {
    Vec z{};
    for (int i = 1; i <= 6; ++i)
      z[i] = eps * dir[i];
    const Vec a = generating_step(entry, z, true), b = act(m, z);
    const Vec c = generating_step(entry, z, false);
    double d = 0;
    for (int i = 1; i <= 6; ++i) {
      d = std::fmax(d, std::fabs(a[i] - b[i]));
      EXPECT_NEAR(a[i], c[i], 1e-15);
    }
    if (previous > 0) { // agreement to second order: the difference is of third order
      EXPECT_GT(previous / d, 6.5);
    }
    previous = d;
  }
  // At a large amplitude the step is still symplectic, to the accuracy of the difference quotient.
  Vec z{};
  for (int i = 1; i <= 6; ++i)
    z[i] = 0.05 * dir[i];
  EXPECT_LT(symplectic_defect(numeric_jacobian(newton_step, z), true), 1e-8);
}

TEST(Sets, TreatsEveryExistingMapOnceAndLaterMapsAsBuilt) {
  start();
  const int cav = add_element(KODE_RFCAVITY, {0.8, 1, 1, 1, 0}, "CAV");
  const int quad = add_element(KODE_QUAD, {0.5, 2.0, 1.0, 0.1}, "Q");
  const int lin = add_element(KODE_LCAVITY, {1.0, 1.0, 0.5, 0, 0, 0, 0}, "LC");
  const int later = add_element(KODE_QUAD, {0.4, -1.0, 1.0, 0.0}, "QL");
  for (int e : {cav, quad, lin})
    give_matrix(e);
  set_machine({cav, quad, lin});
  lincav.count = 1;
  lincav.positions(1) = 3;
  lincav.initial_energy = 1.0;
  lincav.ereal(3) = 1.5;
  for (int e : {cav, quad, lin})
    matgen(e);
  const TransferMap geometric_quad = blank.maps(2), linac = blank.maps(3);

  set_symplectic_option(2, 1.5);
  EXPECT_EQ(sym.option, 1);
  EXPECT_EQ(sym.mode, 2);
  EXPECT_EQ(sym.mode_flag, 1);
  EXPECT_DOUBLE_EQ(sym.gamma, 1.5 / const_.emass);
  for (int k = 1; k <= 4; ++k)
    EXPECT_EQ(sym.scale(k), 1.0);
  // The cavity's drift is now the canonical drift; the quadrupole its canonical map.
  EXPECT_DOUBLE_EQ(blank.maps(1).T(1, 2, 6), -0.8);
  EXPECT_DOUBLE_EQ(blank.maps(1).T(5, 2, 2), -0.4);
  TransferMap canonical;
  canonical_map(geometric_quad, canonical, 27);
  EXPECT_LT(largest_difference(blank.maps(2), canonical), 1e-14);
  EXPECT_EQ(largest_difference(blank.maps(3), linac), 0.0);
  EXPECT_EQ(symmap.entry(3).valid, 0);

  // A second SETS keeps the option and does not treat the maps again.
  const TransferMap once = blank.maps(2);
  set_symplectic_option(3, 2.0);
  EXPECT_EQ(sym.mode_flag, 0);
  EXPECT_EQ(largest_difference(blank.maps(2), once), 0.0);

  // A map built later is treated as it is built.
  give_matrix(later);
  matgen(later);
  // The path-length term of the defocusing plane, with the sign of -l.
  EXPECT_DOUBLE_EQ(blank.maps(4).T(5, 2, 2), -(std::cosh(0.4) * std::sinh(0.4) + 0.4) / 4);
  EXPECT_EQ(symmap.entry(4).valid, 1);
  EXPECT_EQ(test::listing_text(), "");
}

TEST(Sets, CanonicalProductsMatchTheConvertedGeometricProduct) {
  start();
  const int d = add_element(KODE_DRIFT, {0.9}, "D");
  const int q = add_element(KODE_QUAD, {0.4, 2.5, 1.0, 0.3}, "Q");
  give_matrix(q);
  matgen(q);
  TransferMap geometric;
  geometric.set_identity();
  for (int pass = 0; pass < 3; ++pass) {
    promat(d, 0, geometric);
    promat(q, 1, geometric);
  }
  set_symplectic_option(0, 1.0);
  TransferMap product;
  product.set_identity();
  for (int pass = 0; pass < 3; ++pass) {
    promat(d, 0, product);
    promat(q, 1, product);
  }
  TransferMap expect;
  canonical_map(geometric, expect, 27);
  EXPECT_LT(largest_difference(product, expect), 1e-13);
  EXPECT_LT(second_order_defect(product), 1e-12);
}
