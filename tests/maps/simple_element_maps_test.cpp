// The dispatcher and the simple builders: MTWISS, MATRIX with its two stops, the RF cavity's
// drift part, and the linac cavity with its energy bookkeeping.
#include "common/control.h"
#include "common/halt.h"
#include "common/shared_areas.h"
#include "harness.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "support/symplectic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

int halt_code(void (*build)(int, int), int element, int matnum) {
  try {
    build(element, matnum);
  } catch (const RunEnd &end) {
    return end.code;
  }
  return 0;
}

} // namespace

TEST(Builders, EveryMapWithoutAccelerationIsSymplectic) {
  for (int units : {0, 1, 2}) {
    for (double tilt : {0.0, 0.3, -1.2}) {
      start();
      inputt.eunits = units;
      const int elements[] = {
          add_element(KODE_QUAD, {0.8, 3.1, 1.0, tilt}, "QF"),
          add_element(KODE_QUAD, {0.3, -0.4, 1.0, tilt}, "QD"),
          add_element(KODE_MTWISS, {1.0, 1.1 + tilt, 7.0, -0.8, 2.0, 3.0, 1.4}, "TW"),
          add_element(KODE_RFCAVITY, {0.6, 1.0, 2.0, 500.0, 0.1}, "CAV"),
          add_element(KODE_LCAVITY, {0.5, 1.0, 0.0, 0, 0, 0, 0}, "LC0")};
      for (int e : elements) {
        give_matrix(e);
        matgen(e);
        const TransferMap &m = blank.maps(blank.matrix_number(e));
        const std::string what = std::string(chinp.elname(e).trimmed()) + " units " +
                                 std::to_string(units) + " tilt " + std::to_string(tilt);
        EXPECT_LT(symplectic_defect(first_order(m), false), 1e-12) << what;
        // MTWISS is a linear element with no chromatic or path-length terms, which in
        // canonical variables is symplectic to first order only.
        if (inputt.kode(e) != KODE_MTWISS) {
          EXPECT_TRUE(symplectic_to_second_order(m)) << what;
        }
      }
    }
  }
}

TEST(Mtwiss, PhaseAdvanceClosedFormAndFullTurnIdentity) {
  for (int units : {0, 2}) {
    start();
    inputt.eunits = units;
    const double turn = units == 2 ? 360.0 : 2 * const_.pi;
    const double quarter = units == 2 ? 90.0 : const_.pi / 2;
    // L, MUX, BETAX, ALPHAX, MUY, BETAY, ALPHAY
    const int e = add_element(KODE_MTWISS, {3.0, turn, 12.0, -1.5, quarter, 4.0, 0.5}, "TW");
    give_matrix(e);
    matgen(e);
    const TransferMap &m = blank.maps(1);
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= 2; ++j)
        EXPECT_NEAR(m.R(i, j), i == j ? 1.0 : 0.0, 1e-14) << units;
    EXPECT_NEAR(m.R(3, 3), 0.5, 1e-15);
    EXPECT_NEAR(m.R(3, 4), 4.0, 1e-15);
    EXPECT_NEAR(m.R(4, 3), -1.25 / 4.0, 1e-15);
    EXPECT_NEAR(m.R(4, 4), -0.5, 1e-15);
    EXPECT_EQ(m.T(5, 2, 2), 0.0); // the length does not enter
  }
}

TEST(Matrix, GivenEntriesOnlyTheRestZero) {
  start();
  // R11 = 1 and T166 = 0.5, as the conversion stores them: L, then (code, value) pairs.
  const int e = add_element(KODE_MATRIX, {2.0, 110, 1.0, 166, 0.5, 520, -0.25}, "MX");
  give_matrix(e);
  blank.maps(1).set_identity();
  matgen(e);
  const TransferMap &m = blank.maps(1);
  EXPECT_EQ(m.R(1, 1), 1.0);
  EXPECT_EQ(m.T(1, 6, 6), 0.5);
  EXPECT_EQ(m.R(5, 2), -0.25);
  for (int i = 2; i <= 6; ++i)
    EXPECT_EQ(m.R(i, i), 0.0);
  EXPECT_EQ(m.R(1, 2), 0.0); // the length does not enter either
}

TEST(Matrix, OddCountAndBadIndicesStopTheRun) {
  start();
  const int odd = add_element(KODE_MATRIX, {1.0, 110, 1.0, 220}, "ODD");
  EXPECT_EQ(halt_code(genral, odd, 1), 265);
  EXPECT_TRUE(test::contains(test::listing_text(), "ODD"));
  EXPECT_TRUE(test::contains(test::listing_text(), "ELEM: NOT EVEN #"));

  for (double code : {121.0, 100.0, 710.0, 167.0, -110.0}) {
    start();
    const int bad = add_element(KODE_MATRIX, {1.0, 110, 1.0, code, 2.0}, "BAD");
    EXPECT_EQ(halt_code(genral, bad, 1), 266) << code;
    EXPECT_TRUE(test::contains(test::listing_text(), "ELEM:BAD INDEX"));
  }
}

TEST(Matrix, MapOrderOneWritesOnlyTheFirstOrderEntries) {
  start();
  const int e = add_element(KODE_MATRIX, {0.0, 110, 2.0, 111, 7.0}, "MX");
  give_matrix(e);
  blank.maps(1).T(1, 1, 1) = 3.0;
  control.map_order = 1;
  matgen(e);
  EXPECT_EQ(blank.maps(1).R(1, 1), 2.0);
  EXPECT_EQ(blank.maps(1).T(1, 1, 1), 3.0);
}

TEST(RfCavity, StoredMapIsTheDriftOfItsLength) {
  start();
  const int e = add_element(KODE_RFCAVITY, {0.8, 1.5, 2.0, 500.0, 0.2}, "CAV");
  give_matrix(e);
  matgen(e);
  TransferMap drift;
  drift.set_identity();
  drift_entries(drift, 0.8, 27);
  for (int c = 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      EXPECT_EQ(blank.maps(1)(i, c), drift(i, c));
}

namespace {

// A drift, an LCAVITY, a drift, a second LCAVITY, as the engine start-up leaves the tables.
struct Linac {
  int drift, first, second;
  Linac(double gain1, double gain2, double e0 = 0.5) {
    start();
    drift = add_element(KODE_DRIFT, {1.0}, "D");
    // L, E0, DELTAE, PHI0, FREQ, KICKCOEF, T
    first = add_element(KODE_LCAVITY, {2.0, e0, gain1, 0, 0, 0, 0}, "LC1");
    second = add_element(KODE_LCAVITY, {3.0, 9.0, gain2, 0, 0, 0, 0}, "LC2");
    give_matrix(first);
    give_matrix(second);
    set_machine({drift, first, drift, second, drift});
    lincav.linac = 1;
    lincav.count = 2;
    lincav.positions(1) = 2;
    lincav.positions(2) = 4;
    lincav.initial_energy = e0;
    for (int p = 1; p <= 5; ++p)
      lincav.ereal(p) = e0 + (p >= 2 ? gain1 : 0) + (p >= 4 ? gain2 : 0);
  }
};

} // namespace

TEST(Lcavity, DampingFocalLengthAndDeterminant) {
  Linac linac(0.3, 0.2);
  matgen(linac.second);
  const double m = const_.emass, e_in = 0.8, e_out = 1.0;
  const double p_in = std::sqrt(e_in * e_in - m * m), p_out = std::sqrt(e_out * e_out - m * m);
  const TransferMap &r = blank.maps(2);
  EXPECT_DOUBLE_EQ(r.R(2, 2), p_in / p_out);
  EXPECT_DOUBLE_EQ(r.R(6, 6), p_in / p_out);
  EXPECT_LT(r.R(2, 2), 1.0);
  // The transverse phase-space area shrinks as the momentum grows, and delta with it: each
  // plane's block is triangular, so the determinants are the products of the diagonals.
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j < i; ++j)
      EXPECT_EQ(r.R(i, j), 0.0);
  EXPECT_NEAR(r.R(1, 1) * r.R(2, 2) * r.R(3, 3) * r.R(4, 4), std::pow(p_in / p_out, 2), 1e-15);
  EXPECT_NEAR(r.R(5, 5) * r.R(6, 6), p_in / p_out, 1e-15);
  // R12 = P_in * integral of ds / p(s) over a uniform energy ramp (Simpson's rule).
  const int n = 1000;
  double sum = 0;
  for (int k = 0; k <= n; ++k) {
    const double e = e_in + (e_out - e_in) * k / n;
    const double w = (k == 0 || k == n) ? 1 : (k % 2 ? 4 : 2);
    sum += w / std::sqrt(e * e - m * m);
  }
  EXPECT_NEAR(r.R(1, 2), p_in * 3.0 / n / 3 * sum, 1e-12);
  EXPECT_EQ(r.R(1, 2), r.R(3, 4));
}

TEST(Lcavity, ZeroGainIsADriftAndAChangedGainMovesTheDownstreamEnergies) {
  Linac linac(0.3, 0.2);
  inputt.slot(linac.first, 3) = 0.0;
  matgen(linac.first);
  EXPECT_EQ(blank.maps(1).R(1, 2), 2.0);
  EXPECT_EQ(blank.maps(1).R(2, 2), 1.0);
  EXPECT_EQ(blank.maps(1).T(5, 2, 2), 1.0);
  const double expect[6] = {0, 0.5, 0.5, 0.5, 0.7, 0.7};
  for (int p = 1; p <= 5; ++p)
    EXPECT_NEAR(lincav.ereal(p), expect[p], 1e-15) << p;
  // The second cavity now enters at 0.5 GeV, the real energy before it.
  matgen(linac.second);
  const double m = const_.emass;
  EXPECT_DOUBLE_EQ(blank.maps(2).R(2, 2), std::sqrt(0.25 - m * m) / std::sqrt(0.49 - m * m));
  // Rebuilding with unchanged gains leaves the energies alone.
  matgen(linac.first);
  matgen(linac.second);
  for (int p = 1; p <= 5; ++p)
    EXPECT_NEAR(lincav.ereal(p), expect[p], 1e-15) << p;
}

TEST(Lcavity, UnusedCavityIsBuiltFromItsOwnEntryEnergy) {
  Linac linac(0.3, 0.2);
  const int spare = add_element(KODE_LCAVITY, {1.0, 2.0, 0.5, 0, 0, 0, 0}, "SPARE");
  give_matrix(spare);
  matgen(spare);
  const double m = const_.emass;
  EXPECT_DOUBLE_EQ(blank.maps(3).R(2, 2), std::sqrt(4 - m * m) / std::sqrt(6.25 - m * m));
  EXPECT_NEAR(lincav.ereal(5), 1.0, 1e-15);
  EXPECT_EQ(test::listing_text(), "");
}

TEST(Lcavity, CavityMissingFromTheLinacListStops) {
  Linac linac(0.3, 0.2);
  lincav.count = 1;
  EXPECT_EQ(halt_code(lcav, linac.second, 2), 246);
  EXPECT_TRUE(test::contains(test::listing_text(), "LC2"));
}

TEST(Lcavity, EnergyBelowTheMassGivesADriftWithAWarning) {
  Linac linac(0.3, 0.2, 0.0);
  matgen(linac.first);
  EXPECT_EQ(blank.maps(1).R(2, 2), 1.0);
  EXPECT_EQ(blank.maps(1).R(1, 2), 2.0);
  EXPECT_TRUE(test::contains(test::listing_text(), "NOT ABOVE THE PARTICLE MASS"));
}

TEST(Lcavity, WarnsUnderTheSymplecticOptionAndIsNeverTreated) {
  Linac linac(0.3, 0.2);
  sym.option = 1;
  matgen(linac.second);
  matgen(linac.second);
  const std::string out = test::listing_text();
  EXPECT_EQ(test::count_of(out, " *****WARNING: SYMPLECTIC OPTION IS ON !!!!*****"), 2);
  EXPECT_EQ(test::count_of(out, " SYMPLECTIC OPTION IS ACTIVATED IN PRESENCE OF LINAC"), 2);
  EXPECT_EQ(test::count_of(out, " CAVITIES.  THIS IS ILL-ADVISED."), 2);
  EXPECT_FALSE(test::contains(out, "BMAT"));
  EXPECT_LT(blank.maps(2).R(2, 2), 1.0);
  EXPECT_EQ(blank.maps(2).R(5, 5), 1.0); // still geometric: not converted
}

TEST(Matgen, TiltsOnlyTiltableKindsAndSkipsElementsWithoutRecord) {
  start();
  const int q = add_element(KODE_QUAD, {0.5, 1.0, 1.0, 0.3}, "Q");
  const int t = add_element(KODE_MTWISS, {0.0, 1.0, 2.0, 0.0, 1.0, 2.0, 0.3}, "TW");
  const int d = add_element(KODE_DRIFT, {1.0}, "D");
  give_matrix(q);
  give_matrix(t);
  matgen(q);
  matgen(t);
  matgen(d); // no record: nothing happens
  matgen(0);
  matgen(99);
  EXPECT_NE(blank.maps(1).R(1, 3), 0.0);
  EXPECT_EQ(blank.maps(2).R(1, 3), 0.0); // the last slot of MTWISS is ALPHAY, not a tilt
  // A stale row length word does not leave old second-order terms behind at map order 2.
  blank.maps(1).T(1, 1, 1) = 5.0;
  prodct.ncol = 6;
  matgen(q);
  EXPECT_EQ(blank.maps(1).T(1, 1, 1), 0.0);
  EXPECT_EQ(prodct.ncol, 27);
}
