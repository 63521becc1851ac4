// Whole decks through the element maps: the slots the conversion writes reach the builders as
// intended, the machine product matches closed forms, SETS turns the maps canonical, and the
// linac cavity follows the energies of the line.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "engine/lookup.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vorax::test {
namespace {

const TransferMap &record_of(const char *name) {
  return blank.maps(blank.matrix_number(elid(Name8(name))));
}

TEST(MapscoreProducts, LineProductMatchesTheClosedForm) {
  // A quadrupole, then 1.5 m of drift, then a general kick of L = 0.4 and DZ = 0.1 whose kicks
  // do not enter the map: together a drift of 2 m after the quadrupole.
  const DeckRun r = run_deck("D: DRIFT, L=1.5\n"
                             "Q: QUADRUPOLE, L=0.5, K1=1.2, TILT=0\n"
                             "K: GKICK, L=0.4, DXP=0.001, DY=0.002, DZ=0.1\n"
                             "L1: LINE=(Q, D, K)\n"
                             "USE, L1\n"
                             "VORAX\n"
                             "MATR\n 2 -1;\n"
                             "STOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  const double k = std::sqrt(1.2), c = std::cos(0.5 * k), s = std::sin(0.5 * k);
  const double ch = std::cosh(0.5 * k), sh = std::sinh(0.5 * k);
  const TransferMap &m = mat.amap;
  EXPECT_NEAR(m.R(1, 1), c - 2 * k * s, 1e-14);
  EXPECT_NEAR(m.R(1, 2), s / k + 2 * c, 1e-14);
  EXPECT_NEAR(m.R(2, 1), -k * s, 1e-14);
  EXPECT_NEAR(m.R(3, 3), ch + 2 * k * sh, 1e-14);
  EXPECT_NEAR(m.R(3, 4), sh / k + 2 * ch, 1e-14);
  // The path-length term of the drifts adds to the quadrupole's own.
  EXPECT_NEAR(m.T(5, 2, 2), (c * s / k + 0.5) / 4 + (c * c) * 1.0, 1e-14);
  EXPECT_TRUE(contains(r.listing, "          FIRST ORDER MATRIX"));
}

TEST(MapscoreProducts, MatrixElementAndMtwissReadTheirSlots) {
  const DeckRun r = run_deck("MX: MATRIX, L=1, R11=1, R12=2, R22=1, R33=1, R44=1, R55=1, "
                             "R66=1, T166=0.5\n"
                             "TW: MTWISS, MUX=0.5, BETAX=10, ALPHAX=1, MUY=1, BETAY=4\n"
                             "L1: LINE=(MX, TW)\n"
                             "USE, L1\n"
                             "VORAX\n"
                             "MATR\n 2 -1;\n"
                             "STOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  const TransferMap &mx = record_of("MX");
  EXPECT_EQ(mx.R(1, 2), 2.0);
  EXPECT_EQ(mx.T(1, 6, 6), 0.5);
  EXPECT_EQ(mx.R(2, 1), 0.0);
  const TransferMap &tw = record_of("TW");
  EXPECT_DOUBLE_EQ(tw.R(1, 1), std::cos(0.5) + std::sin(0.5));
  EXPECT_DOUBLE_EQ(tw.R(1, 2), 10 * std::sin(0.5));
  EXPECT_DOUBLE_EQ(tw.R(3, 4), 4 * std::sin(1.0));
}

TEST(MapscoreProducts, SetsMakesTheMachineMapCanonical) {
  const DeckRun r = run_deck("D: DRIFT, L=2.0\n"
                             "C: RFCAVITY, L=1.0\n"
                             "L1: LINE=(D, C)\n"
                             "USE, L1\n"
                             "VORAX\n"
                             "SETS\n 1 1.5\n"
                             "MATR\n 2 -1;\n"
                             "STOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  EXPECT_EQ(sym.option, 1);
  EXPECT_EQ(sym.mode, 1);
  EXPECT_EQ(sym.mode_flag, 0);
  // x picks up -L px delta and -l falls by L (px^2 + py^2) / 2 over both pieces.
  EXPECT_DOUBLE_EQ(mat.amap.T(1, 2, 6), -3.0);
  EXPECT_DOUBLE_EQ(mat.amap.T(5, 2, 2), -1.5);
  EXPECT_DOUBLE_EQ(mat.amap.R(1, 2), 3.0);
  EXPECT_FALSE(contains(r.listing, "BMAT"));
}

TEST(MapscoreProducts, LinacCavityFollowsTheEnergiesOfTheLine) {
  const DeckRun r = run_deck("D: DRIFT, L=1.0\n"
                             "A: LCAVITY, L=2.0, E0=1.0, DELTAE=0.5\n"
                             "B: LCAVITY, L=2.0, E0=7.0, DELTAE=0.25\n"
                             "L1: LINE=(D, A, D, B, D)\n"
                             "USE, L1\n"
                             "VORAX\n"
                             "MATR\n 1 -1;\n"
                             "STOP\n");
  EXPECT_EQ(r.status, 0) << r.terminal;
  const double m = const_.emass;
  auto p = [m](double e) { return std::sqrt(e * e - m * m); };
  // The second cavity enters at the energy after the first, not at its own E0.
  EXPECT_DOUBLE_EQ(record_of("A").R(2, 2), p(1.0) / p(1.5));
  EXPECT_DOUBLE_EQ(record_of("B").R(2, 2), p(1.5) / p(1.75));
  EXPECT_NEAR(lincav.ereal(5), 1.75, 1e-15);
  EXPECT_NEAR(mat.amap.R(2, 2), p(1.0) / p(1.75), 1e-15);
}

} // namespace
} // namespace vorax::test
