// Element maps as values: the map of an element built from modified values touches no record and
// no engine word, and equals what matgen files after the same modification, bit for bit, for
// every kind, in two unit conventions and with the symplectic option on; the multipole's body
// over half its length composes to the whole body, and a bend's pieces to the whole bend.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "common/units.h"
#include "engine/lookup.h"
#include "harness.h"
#include "maps/element_maps.h"
#include "maps/symmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vorax::test {
namespace {

const std::string elements =
    "D: DRIFT, L=0.7\n"
    "B: SBEND, L=1.3, ANGLE=0.21, K1=-0.35, K2=0.8, E1=0.05, E2=0.08, &\n"
    " H1=0.4, HGAP=0.03, FINT=0.5, TILT=0.1\n"
    "R: RBEND, L=1.1, ANGLE=0.15, K1=0.2\n"
    "Q: QUADRUPO, L=0.5, K1=1.7, TILT=0.2\n"
    "S: SEXTUPOL, L=0.3, K2=4.5, TILT=0.05\n"
    "QS: QUADSEXT, L=0.4, K1=-1.2, K2=3.0, TILT=0.3\n"
    "M: MULTIPOL, L=0.35, K1=0.9, T1=0.1, K2=2.2, T2=0.4, K3=10, TILT=0.15\n"
    "O: OCTUPOLE, L=0.2, K3=30, TILT=0.1\n"
    "SO: SOLENOID, L=0.8, KS=0.6, K1=-0.4, TILT=0.02\n"
    "QA: QUADAC, L=0.9, K1=0.8, DELTAE=0.05, PHI0=0.3, FREQ=500, E0=1.0, &\n"
    " TILT=0.1\n"
    "C: RFCAVITY, L=0.6, VOLT=1, FREQ=500\n"
    "T: MTWISS, MUX=0.3, BETAX=8, ALPHAX=0.5, MUY=0.4, BETAY=6, ALPHAY=-0.3\n"
    "X: MATRIX, L=0.5, R11=1, R12=0.5, R21=-0.2, R22=0.9, R33=1, R34=0.4, &\n"
    " R44=1, R55=1, R66=1, T111=0.3, T126=0.1\n"
    "A: LCAVITY, L=2.0, E0=1.0, DELTAE=0.5\n"
    "K: GKICK, L=0.4, DXP=0.001, ANGLE=0.2, DZ=0.1\n"
    "RO: ROLL, ANGLE=0.3\n"
    "L1: LINE=(D, B, D, Q, S, A, QS, M, O, D, SO, QA, C, T, X, A, K, RO, R)\n"
    "USE, L1\n";

// The parameters changed, each by name: one or two of every element.
const std::vector<std::pair<const char *, const char *>> changes = {
    {"D", "L"},    {"B", "ANGLE"},   {"B", "E1"},    {"B", "K1"}, {"R", "K1"},    {"Q", "K1"},
    {"Q", "TILT"}, {"S", "K2"},      {"QS", "K2"},   {"M", "K2"}, {"M", "T1"},    {"O", "K3"},
    {"SO", "KS"},  {"QA", "DELTAE"}, {"QA", "K1"},   {"C", "L"},  {"T", "MUX"},   {"X", "R12"},
    {"X", "T126"}, {"A", "DELTAE"},  {"K", "ANGLE"}, {"K", "DZ"}, {"RO", "ANGLE"}};

// A fingerprint of an area's bytes: any write that changes a bit changes it.
template <class T> std::size_t fingerprint(const T &area) {
  return std::hash<std::string_view>{}(
      std::string_view(reinterpret_cast<const char *>(&area), sizeof(T)));
}

// Every area an element map could write: the records and their generating functions, the
// element data, the energies, the map and option words, the accumulated map.
std::vector<std::size_t> engine_state() {
  return {fingerprint(blank),  fingerprint(symmap),  fingerprint(inputt), fingerprint(lincav),
          fingerprint(prodct), fingerprint(control), fingerprint(sym),    fingerprint(mat)};
}

bool identical(const TransferMap &a, const TransferMap &b, int ncol) {
  return std::memcmp(a.m.data(), b.m.data(), sizeof(double) * 6 * ncol) == 0;
}

bool same_entry(const SymmapEntry &a, const SymmapEntry &b) {
  return a.valid == b.valid && a.linear.v == b.linear.v && a.gradient.v == b.gradient.v;
}

// The engine's words set to say what a context says.
void set_words(const MapContext &ctx) {
  control.map_order = ctx.ncol == 6 ? 1 : 2;
  inputt.eunits = ctx.eunits;
  sym.option = ctx.symplectic ? 1 : 0;
}

int first_position(int element) {
  for (int p = 1; p <= mat.npos; ++p)
    if (blank.mseq(p) == element)
      return p;
  return 0;
}

// For every change: the map built from the changed values leaves the engine as it was and is
// the map matgen files (or, for the kinds without a record, the action promat composes) once
// the same change is made in the tables.
void expect_values_build_the_filed_maps() {
  bind_units_in_memory("", ""); // the symplectic option's reports go here
  for (const auto &[name, parameter] : changes) {
    const std::string what = std::string(name) + " " + parameter;
    const int e = elid(Name8(name));
    const int j = vxpar(e, Name8(parameter));
    const ElementValues stored = element_values(e);
    std::vector<double> values(stored.slots.begin(), stored.slots.end());
    values[static_cast<std::size_t>(j - 1)] = 1.1 * values[static_cast<std::size_t>(j - 1)] + 0.01;
    ElementValues changed = stored;
    changed.slots = values;
    MapContext ctx = map_context();
    if (stored.kind == KODE_LCAVITY)
      ctx.entry_energy = linac_entry_energy(first_position(e));

    const auto before = engine_state();
    SymmapEntry entry;
    const TransferMap built = element_map(changed, ctx, &entry);
    EXPECT_TRUE(engine_state() == before) << what;

    inputt.slot(e, j) = values[static_cast<std::size_t>(j - 1)];
    const int matnum = blank.matrix_number(e);
    if (matnum > 0) {
      matgen(e);
      EXPECT_TRUE(identical(built, blank.maps(matnum), 27)) << what;
      if (ctx.symplectic && stored.kind != KODE_LCAVITY) {
        EXPECT_TRUE(same_entry(entry, symmap.entry(matnum))) << what;
      }
    } else {
      TransferMap composed;
      composed.set_identity();
      promat(e, 0, composed);
      EXPECT_TRUE(identical(built, composed, 27)) << what;
    }
  }
}

TEST(MapsAsValues, ChangedValuesBuildTheMapMatgenFilesAndTouchNoRecord) {
  const DeckRun r = run_deck(elements + "VORAX\nMATR\n 2 -1;\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  ASSERT_FALSE(map_context().symplectic);
  expect_values_build_the_filed_maps();

  // At map order 1 the value carries the first-order part that matgen writes.
  control.map_order = 1;
  const int q = elid(Name8("QS"));
  const TransferMap first = element_map(q, map_context());
  matgen(q);
  EXPECT_TRUE(identical(first, blank.maps(blank.matrix_number(q)), 6));
  for (int c = 7; c <= 27; ++c)
    EXPECT_EQ(first(1, c), 0.0);
}

TEST(MapsAsValues, TheContextDecidesNotTheEngineWords) {
  const DeckRun r = run_deck(elements + "VORAX\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  bind_units_in_memory("", "");
  const MapContext engine = map_context();
  MapContext ldf = engine, degrees = engine, first = engine, canonical = engine;
  ldf.eunits = 1;
  degrees.eunits = 2;
  first.ncol = 6;
  canonical.symplectic = true;
  for (const MapContext &ctx : {ldf, degrees, first, canonical})
    for (int e = 1; e <= inputt.nelm; ++e) {
      const std::string what = chinp.elname(e).str() + " units " + std::to_string(ctx.eunits) +
                               " columns " + std::to_string(ctx.ncol) +
                               (ctx.symplectic ? " symplectic" : "");
      MapContext at = ctx;
      if (inputt.kode(e) == KODE_LCAVITY)
        at.entry_energy = linac_entry_energy(first_position(e));
      set_words(engine); // the words say otherwise while the map is built
      const TransferMap built = element_map(e, at);
      set_words(ctx);
      TransferMap filed;
      if (const int matnum = blank.matrix_number(e)) {
        matgen(e);
        filed = blank.maps(matnum);
      } else {
        filed.set_identity();
        promat(e, 0, filed);
      }
      EXPECT_TRUE(identical(built, filed, ctx.ncol)) << what;
    }
  set_words(engine);
}

TEST(MapsAsValues, TheSameUnderTheLdfConventionWithTheSymplecticOption) {
  const DeckRun r = run_deck("ULDF\n" + elements + "VORAX\nSETS\n 1 1.5;\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  ASSERT_TRUE(map_context().symplectic);
  ASSERT_EQ(map_context().eunits, 1);
  expect_values_build_the_filed_maps();
}

TEST(MapsAsValues, MultipoleHalfBodiesComposeToTheWholeBody) {
  run_deck(elements + "VORAX\n");
  const int m = elid(Name8("M"));
  const ElementValues v = element_values(m);
  const MapContext ctx = map_context();
  const double length = v(slot::multipole::L);
  const TransferMap half = multipole_body_map(v, length / 2, ctx);
  TransferMap twice = half;
  compose_maps(half, twice, 27);
  const TransferMap whole = multipole_body_map(v, length, ctx);
  for (int c = 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      EXPECT_NEAR(twice(i, c), whole(i, c), 1e-13) << i << "," << c;
  // The record is the whole body turned by the element's TILT.
  TransferMap tilted = whole;
  tilt_element_map(v, ctx, tilted);
  EXPECT_TRUE(identical(tilted, blank.maps(blank.matrix_number(m)), 27));
  EXPECT_NE(whole.T(2, 1, 1), 0.0); // the sextupole term is in the body
}

// A radiating bend is tracked through pieces of its map: whatever the unit convention and map
// order, the pieces composed are the bend's map (edges at the faces only, the gradient, the
// sextupole term and the tilt in every piece), and under the symplectic option each piece has
// its generating function.
TEST(MapsAsValues, BendPiecesComposeToTheWholeBend) {
  run_deck(elements + "VORAX\n");
  bind_units_in_memory("", "");
  const MapContext engine = map_context();
  MapContext ldf = engine, degrees = engine, first = engine, canonical = engine;
  ldf.eunits = 1;
  degrees.eunits = 2;
  first.ncol = 6;
  canonical.symplectic = true;
  const double fractions[4] = {0.1, 0.4, 0.3, 0.2};
  for (const char *name : {"B", "R"})
    for (const MapContext &ctx : {engine, ldf, degrees, first, canonical}) {
      const std::string what = std::string(name) + " units " + std::to_string(ctx.eunits) +
                               " columns " + std::to_string(ctx.ncol);
      const ElementValues v = element_values(elid(Name8(name)));
      TransferMap pieces[4];
      SymmapEntry entries[4];
      ASSERT_TRUE(bend_piece_maps(v, ctx, fractions, 4, pieces, entries)) << what;
      if (ctx.symplectic) {
        for (const SymmapEntry &e : entries)
          EXPECT_EQ(e.valid, 1) << what;
        continue;
      }
      TransferMap composed;
      composed.set_identity();
      for (const TransferMap &piece : pieces)
        compose_maps(piece, composed, ctx.ncol);
      const TransferMap whole = element_map(v, ctx);
      for (int c = 1; c <= ctx.ncol; ++c)
        for (int i = 1; i <= 6; ++i)
          EXPECT_NEAR(composed(i, c), whole(i, c), 1e-12 * (1.0 + std::fabs(whole(i, c))))
              << what << " " << i << "," << c;
    }
  // A bend that does not bend has no pieces.
  ElementValues straight = element_values(elid(Name8("B")));
  std::vector<double> values(straight.slots.begin(), straight.slots.end());
  values[static_cast<std::size_t>(slot::bend::ANGLE - 1)] = 0.0;
  straight.slots = values;
  TransferMap pieces[4];
  EXPECT_FALSE(bend_piece_maps(straight, engine, fractions, 4, pieces, nullptr));
}

} // namespace
} // namespace vorax::test
