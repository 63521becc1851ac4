// The conversion into the engine tables on tables built directly: numbering, the engine
// machine sequence, every keyword's slot layout, NEWBEAMO, and the three limit stops.
#include "lines_tables.h"

#include "common/halt.h"
#include "common/shared_areas.h"
#include "input/command_loop.h"
#include "input/conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace vorax;
using namespace vorax::test;

namespace {

constexpr double PI = 3.141592653589793;

class Conversion : public ::testing::Test {
protected:
  void SetUp() override { start_in_memory(); }

  // Uses a line of the given elements, once each, and converts.
  void use_and_convert(std::initializer_list<int> members) {
    const int l = beam_line("MACHINE");
    const int head = list_of({});
    for (int e : members) {
      const int cell = newrgt(lpdata.prev(head));
      lpdata.ctype(cell) = CELL_NAMED;
      lpdata.ref(cell) = e;
      lpdata.rep(cell) = 1;
    }
    set_body(l, head);
    ASSERT_EQ(expand_line(l).error, 0);
    vxmatd();
  }

  static std::vector<double> slots(int k) {
    std::vector<double> v;
    for (int i = inputt.iadr(k); i < inputt.iadr(k + 1); ++i)
      v.push_back(inputt.eldata(i));
    return v;
  }
};

TEST_F(Conversion, NumberingSkipsLinesAndUndefinedNamesButKeepsUnusedElements) {
  const int d = element("D", KW_DRIFT, {{1, 1.0}});
  undefined_name("LATER");
  const int spare = element("SPARE", KW_SEXTUPOL, {{1, 0.2}, {2, 7.0}, {3, 0.1}});
  const int m = element("M", KW_MARKER);
  use_and_convert({m, d});
  EXPECT_EQ(inputt.nelm, 3);
  EXPECT_EQ(blank.mseq(1), 3);
  EXPECT_EQ(blank.mseq(2), 1);
  EXPECT_EQ(chinp.elname(2), Name8("SPARE"));
  EXPECT_EQ(slots(2), (std::vector<double>{0.2, 7.0, 0.0, 0.1}));
  EXPECT_EQ(slots(3), (std::vector<double>{0.0}));
  EXPECT_EQ(lngth.ellen(3), 0.0);
  (void)spare;
}

TEST_F(Conversion, BendLayoutsAndRectangularEdges) {
  // Attributes: L ANGLE K1 E1 E2 TILT K2 H1 H2 HGAP FINT HGAPX FINTX.
  std::initializer_list<std::pair<int, double>> values = {
      {1, 1.0},  {2, 0.2},  {3, 0.3},   {4, 0.05}, {5, 0.07},  {6, 0.6}, {7, 0.7},
      {8, 0.08}, {9, 0.09}, {10, 0.01}, {11, 0.5}, {12, 0.02}, {13, 0.4}};
  const int s = element("S", KW_SBEND, values);
  const int r = element("R", KW_RBEND, values);
  use_and_convert({s, r});
  EXPECT_EQ(slots(1), (std::vector<double>{1.0, 0.2, 0.3, 0.7, 0.05, 0.08, 0.01, 0.5, 0.07, 0.09,
                                           0.02, 0.4, 0.6}));
  EXPECT_EQ(slots(2), (std::vector<double>{1.0, 0.2, 0.3, 0.7, 0.1, 0.08, 0.01, 0.5, 0.1, 0.09,
                                           0.02, 0.4, 0.6}));
  EXPECT_EQ(inputt.kode(1), KODE_BEND);
  EXPECT_EQ(inputt.kode(2), KODE_BEND);
}

TEST_F(Conversion, KicksRollsAndRotationsBecomeGeneralKicks) {
  const int h = element("H", KW_HKICK, {{1, 0.1}, {2, 0.001}});
  const int ht = element("HT", KW_HKICK, {{2, 0.001}, {3, PI / 2}});
  const int v = element("V", KW_VKICK, {{2, 0.002}, {3, 0.3}});
  const int roll = element("ROLL", KW_ROLL, {{1, 0.25}});
  const int zrot = element("ZROT", KW_ZROT, {{1, 0.125}});
  const int g = element(
      "G", KW_GKICK,
      {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}, {9, 9}, {10, 0}, {11, 11}});
  const int g2 = element("G2", KW_GKICK, {{10, 0.5}});
  use_and_convert({h});
  for (int k = 1; k <= 7; ++k)
    EXPECT_EQ(inputt.kode(k), KODE_GKICK);
  EXPECT_EQ(slots(1), (std::vector<double>{0.1, 0, 0.001, 0, 0, 0, 0, 0, 0, 1, 0}));
  const auto t = slots(2);
  // A kicker turned by a quarter turn kicks along -y, as a turned dipole field would.
  EXPECT_NEAR(t[2], 0.0, 1e-18);
  EXPECT_DOUBLE_EQ(t[4], -0.001);
  const auto w = slots(3);
  EXPECT_DOUBLE_EQ(w[2], 0.002 * std::sin(0.3));
  EXPECT_DOUBLE_EQ(w[4], 0.002 * std::cos(0.3));
  EXPECT_EQ(w[9], 1.0);
  EXPECT_EQ(slots(4), (std::vector<double>{0, 0, 0, 0, 0, 0, 0, 0.25, 0, 1, 0}));
  EXPECT_EQ(slots(5), (std::vector<double>{0, 0, 0.125, 0, 0, 0, 0, 0, 0, 1, 0}));
  EXPECT_EQ(slots(6), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 11})); // V = 0 -> 1
  EXPECT_EQ(slots(7)[9], 0.5);
  EXPECT_EQ(lngth.ellen(4), 0.0);
  EXPECT_EQ(lngth.ellen(5), 0.0);
  (void)ht, (void)v, (void)roll, (void)zrot, (void)g, (void)g2;
}

TEST_F(Conversion, MultipoleTermsAndOctupole) {
  // Only K2 given, T2 at its flag value.
  const int only_k2 =
      element("M1", KW_MULTIPOL, {{1, 0.1}, {6, 3.0}, {7, PI / 6}, {44, 1.0}, {45, 1.0}});
  // K0 given as 0 still counts; K20 with its tilt; the tilt of a missing K1 is ignored.
  const int mixed =
      element("M2", KW_MULTIPOL,
              {{2, 0.0}, {5, 0.4}, {42, 5.0}, {43, 0.2}, {44, 2.0}, {45, 0.03}, {46, 0.7}});
  const int oct = element("O", KW_OCTUPOLE, {{1, 0.3}, {2, 40.0}, {3, 0.1}, {4, 0.05}});
  use_and_convert({only_k2});
  EXPECT_EQ(slots(1), (std::vector<double>{0.1, 1.0, 1, 3, 3.0, PI / 6, 1.0, 0.0}));
  EXPECT_EQ(slots(2), (std::vector<double>{0, 2.0, 2, 1, 0.0, 0.0, 21, 5.0, 0.2, 0.03, 0.7}));
  EXPECT_EQ(slots(3), (std::vector<double>{0.3, 1, 1, 4, 40.0, 0, 0.05, 0.1}));
  EXPECT_EQ(inputt.kode(1), KODE_MULTIPOL);
  EXPECT_EQ(inputt.kode(3), KODE_MULTIPOL);
  (void)mixed, (void)oct;
}

TEST_F(Conversion, MatrixStoresOnlyNonzeroTermsWithTheirCodes) {
  // Attribute 2 is R11, 28 is T166, 29 is R21, 163 is T666.
  const int m = element("MX", KW_MATRIX, {{1, 0.0}, {2, 1.0}, {28, 0.5}, {30, 0.0}, {163, -2.0}});
  const int m2 = element("MY", KW_MATRIX, {{2, 1.0}, {28, 0.5}});
  use_and_convert({m});
  EXPECT_EQ(slots(1), (std::vector<double>{0.0, 110, 1.0, 166, 0.5, 666, -2.0}));
  EXPECT_EQ(slots(2), (std::vector<double>{0.0, 110, 1.0, 166, 0.5}));
  EXPECT_EQ(inputt.kode(1), KODE_MATRIX);
  (void)m2;
}

TEST_F(Conversion, RemainingKeywordLayouts) {
  struct Case {
    int keyword;
    int kode;
    std::vector<double> expected;
  };
  // Attribute k is given the value k, so each slot shows which attribute it holds.
  const std::vector<Case> cases = {
      {KW_SOLENOID, KODE_SOLENOID, {1, 3, 2, 5, 4}},
      {KW_RFCAVITY, KODE_RFCAVITY, {1, 5, 2, 4, 3}},
      {KW_QUADSEXT, KODE_QUADSEXT, {1, 2, 3, 5, 4}},
      {KW_HMONITOR, KODE_MONITOR, {1, 2, 3, 4, 5, 1}},
      {KW_VMONITOR, KODE_MONITOR, {1, 2, 3, 4, 5, 2}},
      {KW_MONITOR, KODE_MONITOR, {1, 2, 3, 4, 5, 3}},
      {KW_ECOLLIMA, KODE_COLLIMAT, {1, 2, 3, 2}},
      {KW_RCOLLIMA, KODE_COLLIMAT, {1, 2, 3, 1}},
      {KW_MTWISS, KODE_MTWISS, {1, 2, 3, 4, 5, 6, 7}},
      {KW_LCAVITY, KODE_LCAVITY, {1, 2, 3, 4, 5, 6, 7}},
      {KW_HCOLLIMA, KODE_HCOLLIMA, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      {KW_QUADAC, KODE_QUADAC, {1, 2, 3, 4, 5, 6, 8, 7}},
      {KW_TARVOCAV, KODE_TARVOCAV, {1, 2, 3, 4}},
      {KW_WIGGLER, KODE_DRIFT, {1}},
      {KW_SEPARATO, KODE_DRIFT, {1}},
  };
  for (const Case &c : cases) {
    const int e = element("E", c.keyword);
    for (int node = elmdat.first(e); node <= elmdat.last(e); ++node) {
      pardat.kind(node) = PAR_CONSTANT;
      parval.value(node) = node - elmdat.first(e) + 1;
    }
  }
  const int a = element("A", KW_ARBITELM, {{1, 1}, {21, 21}});
  use_and_convert({a});
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(inputt.kode(static_cast<int>(i) + 1), cases[i].kode);
    EXPECT_EQ(slots(static_cast<int>(i) + 1), cases[i].expected);
  }
  const auto arb = slots(static_cast<int>(cases.size()) + 1);
  ASSERT_EQ(arb.size(), 21u);
  EXPECT_EQ(arb[20], 21.0);
  EXPECT_EQ(inputt.kode(static_cast<int>(cases.size()) + 1), KODE_ARBITRAR);
  EXPECT_TRUE(contains(listing_text(),
                       " NO WIGGLER IN VORAX, TREATED LIKE A DRIFT OF LENGTH     1.0000\n"));
  EXPECT_TRUE(contains(listing_text(),
                       " NO SEPARATOR IN VORAX, TREATED LIKE A DRIFT OF LENGTH     1.0000\n"));
}

TEST_F(Conversion, NewbeamoKeepsConvertedElementsAndAddsNewOnes) {
  const int d = element("D", KW_DRIFT, {{1, 1.0}});
  const int q = element("Q", KW_QUADRUPO, {{1, 0.5}, {2, 1.2}});
  use_and_convert({d, q});
  inputt.eldata(inputt.iadr(2) + 1) = 9.9; // as an engine fit would leave it
  parval.value(elmdat.first(d)) = 4.0;
  const int s = element("S", KW_SEXTUPOL, {{1, 0.1}, {2, 3.0}});
  newbm.value = 1;
  use_and_convert({s, q, d});
  EXPECT_EQ(inputt.nelm, 3);
  EXPECT_EQ(slots(1), (std::vector<double>{1.0}));
  EXPECT_EQ(slots(2)[1], 9.9);
  EXPECT_EQ(slots(3), (std::vector<double>{0.1, 3.0, 0.0, 0.0}));
  EXPECT_EQ(inputt.iadr(4), 10);
  EXPECT_EQ(blank.mseq(1), 3);
  EXPECT_EQ(blank.mseq(3), 1);
  EXPECT_EQ(mat.npos, 3);

  // A first conversion by NEWBEAMO has nothing to keep: everything is converted.
  start_in_memory();
  newbm.value = 1;
  const int d2 = element("D", KW_DRIFT, {{1, 2.0}});
  use_and_convert({d2});
  EXPECT_EQ(inputt.nelm, 1);
  EXPECT_EQ(slots(1), (std::vector<double>{2.0}));
}

TEST_F(Conversion, MoreThanTheEnginePositionsStopsTheRun) {
  // USE cannot produce this (9999 elements and two markers overflow the sequence first), so
  // the sequence is written directly with its start marker left out.
  const int a = element("A", KW_DRIFT);
  const int l = beam_line("L");
  seqnum.value(1) = a;
  for (int p = 2; p <= MAXPOS - 1; ++p)
    seqnum.value(p) = a;
  seqnum.value(MAXPOS) = line_end_mark() + l;
  period.value(4) = MAXPOS - 1;
  period.value(6) = 1;
  period.value(7) = MAXPOS;
  try {
    vxmatd();
    FAIL() << "no stop";
  } catch (const RunEnd &end) {
    EXPECT_EQ(end.code, 4);
  }
  EXPECT_TRUE(contains(listing_text(), " 9999 ELEMENTS, TOO MANY FOR VORAX (>MAXPOS),QUIT\n"));
}

} // namespace
