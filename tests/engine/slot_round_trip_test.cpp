// Round trip of the element slots: a deck defines one element of every keyword with a distinct
// value in every attribute, the conversion stores them, and the parameter lookup finds each
// attribute's value where it looks for it by name, through the one slot table.
#include "engine_fixture.h"

#include "common/slots.h"
#include "common/units.h"
#include "engine/lookup.h"
#include "input/parameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

// Attribute k of every element gets 1 + k/8: distinct within an element, exact in decimal, and
// never the half of another value (RBEND stores ANGLE/2).
std::string value_text(int k) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", 1.0 + k / 8.0);
  return text;
}

std::string element_name(int keyword) {
  return "EL" + std::to_string(keyword);
}

// A definition with the given attributes, continued over lines of at most 80 columns.
std::string definition(const std::string &name, int keyword,
                       const std::vector<std::string> &attrs) {
  std::string deck, line = name + ": " + std::string(element_keyword(keyword).trimmed());
  for (const std::string &a : attrs) {
    if (line.size() + a.size() + 4 > 78) {
      deck += line + ", &\n";
      line = " " + a;
    } else {
      line += ", " + a;
    }
  }
  return deck + line + "\n";
}

// Every attribute of the keyword with its distinct value.
std::vector<std::string> all_attributes(int keyword) {
  std::vector<std::string> attrs;
  for (int k = 1; k <= attribute_count(keyword); ++k)
    attrs.push_back(std::string(attribute_name(keyword, k).trimmed()) + "=" + value_text(k));
  return attrs;
}

std::string round_trip_deck() {
  std::string deck = "TITLE\nSLOT ROUND TRIP\n";
  for (int kw = 1; kw <= ELEMENT_KEYWORDS; ++kw)
    deck += definition(element_name(kw), kw, all_attributes(kw));
  // The rules beside the plain layout: V = 0 stands for 1, only the multipole terms whose
  // strength is given are stored, only the nonzero matrix terms.
  deck += "GKV0: GKICK, L=0.5, DX=0.25, V=0\n";
  deck += "MPSOME: MULTIPOL, L=0.5, K2=2.5, T2=0.125, T3=0.75, K5=0, TILT=0.25\n";
  deck += "MXSOME: MATRIX, L=0.5, R11=1.5, R12=0, T166=0.75\n";
  deck += "RING: LINE = (EL1)\nUSE, RING\nVORAX\n";
  return deck;
}

// The engine number and the front-end entry of the element of that name.
struct Converted {
  int element = 0;
  int entry = 0;
};
Converted find_element(const std::string &name) {
  Converted c;
  c.element = elid(Name8(name));
  for (int i = 1; i <= elmdat.low_count; ++i)
    if (elmdat.kind(i) >= 1 && elmnam.name(i) == Name8(name))
      c.entry = i;
  return c;
}

// The evaluated value of attribute k of front-end entry i.
double attribute_value(int entry, int k) {
  return parval.value(elmdat.first(entry) + k - 1);
}

int slot_count(int element) {
  return inputt.iadr(element + 1) - inputt.iadr(element);
}

// What the lookup must do for an attribute that has no slot of its own: refuse it with stop
// 240 (WIGGLER and SEPARATO are drifts; three HCOLLIMA names are stored but not offered) or
// 241 (the kick and tilt of HKICK and VKICK are folded into the kick components).
int refusal(int keyword, std::string_view name) {
  if ((keyword == KW_WIGGLER || keyword == KW_SEPARATO) && name != "L")
    return 240;
  if ((keyword == KW_HKICK || keyword == KW_VKICK) && (name == "KICK" || name == "TILT"))
    return 241;
  if (keyword == KW_HCOLLIMA && (name == "MU" || name == "DISTRIBU" || name == "INELASTI"))
    return 240;
  return 0;
}

// The value the slot the lookup gives must hold: the attribute's own, except where the
// conversion stores another value under that name.
double expected_at_lookup(int keyword, int entry, int k, std::string_view name) {
  if (keyword == KW_RBEND && (name == "E1" || name == "E2"))
    return attribute_value(entry, 2) / 2; // ANGLE/2: parallel faces
  if (keyword == KW_OCTUPOLE && name == "TILT")
    return 0.0; // the term's own angle; the element's TILT stays in the last slot
  return attribute_value(entry, k);
}

class SlotRoundTrip : public EngineTest {};

TEST_F(SlotRoundTrip, EveryAttributeOfEveryKeywordIsWhereTheLookupFindsIt) {
  const DeckRun run = run_deck(round_trip_deck());
  ASSERT_EQ(run.status, 0) << run.listing;
  bind_units_in_memory("", ""); // the lookup's messages of the refusals below
  for (int kw = 1; kw <= ELEMENT_KEYWORDS; ++kw) {
    const Converted c = find_element(element_name(kw));
    ASSERT_GT(c.element, 0) << element_name(kw);
    for (int k = 1; k <= attribute_count(kw); ++k) {
      const std::string_view name = attribute_name(kw, k).trimmed();
      const std::string what = std::string(element_keyword(kw).trimmed()) + " " + std::string(name);
      if (const int code = refusal(kw, name)) {
        EXPECT_EQ(stop_code([&] { vxpar(c.element, Name8(name)); }), code) << what;
        continue;
      }
      int found = 0;
      ASSERT_EQ(stop_code([&] { found = vxpar(c.element, Name8(name)); }), -1) << what;
      ASSERT_GE(found, 1) << what;
      ASSERT_LE(found, slot_count(c.element)) << what;
      EXPECT_EQ(inputt.slot(c.element, found), expected_at_lookup(kw, c.entry, k, name)) << what;
    }
  }
}

TEST_F(SlotRoundTrip, ValuesBesideTheLookupAreStoredByTheirSlotNames) {
  run_deck(round_trip_deck());
  auto value = [](int keyword, std::string_view name) {
    const Converted c = find_element(element_name(keyword));
    for (int k = 1; k <= attribute_count(keyword); ++k)
      if (attribute_name(keyword, k).trimmed() == name)
        return attribute_value(c.entry, k);
    return std::nan("");
  };
  auto stored = [](int keyword, int j) {
    return inputt.slot(find_element(element_name(keyword)).element, j);
  };
  namespace sl = slot;
  // RBEND keeps the E1 and E2 given nowhere; the faces follow the angle.
  EXPECT_EQ(stored(KW_RBEND, sl::bend::E1), value(KW_RBEND, "ANGLE") / 2);
  EXPECT_EQ(stored(KW_SBEND, sl::bend::E1), value(KW_SBEND, "E1"));
  // HKICK and VKICK: the kick turned by the tilt (standard convention), V = 1.
  const double hk = value(KW_HKICK, "KICK"), ht = value(KW_HKICK, "TILT");
  EXPECT_EQ(stored(KW_HKICK, sl::gkick::DXP), hk * std::cos(ht));
  EXPECT_EQ(stored(KW_HKICK, sl::gkick::DYP), -hk * std::sin(ht));
  EXPECT_EQ(stored(KW_HKICK, sl::gkick::V), 1.0);
  const double vk = value(KW_VKICK, "KICK"), vt = value(KW_VKICK, "TILT");
  EXPECT_EQ(stored(KW_VKICK, sl::gkick::DXP), vk * std::sin(vt));
  EXPECT_EQ(stored(KW_VKICK, sl::gkick::DYP), vk * std::cos(vt));
  // ROLL and ZROT: only the angle, in the general-kick layout, no length.
  EXPECT_EQ(stored(KW_ROLL, sl::gkick::ANGLE), value(KW_ROLL, "ANGLE"));
  EXPECT_EQ(stored(KW_ZROT, sl::gkick::DXP), value(KW_ZROT, "ANGLE"));
  EXPECT_EQ(stored(KW_ZROT, sl::gkick::V), 1.0);
  EXPECT_EQ(lngth.ellen(find_element(element_name(KW_ROLL)).element), 0.0);
  // OCTUPOLE: one term of order word 4 and scale 1; its TILT is the element's last slot.
  EXPECT_EQ(stored(KW_OCTUPOLE, sl::multipole::tilt(1)), value(KW_OCTUPOLE, "TILT"));
  EXPECT_EQ(stored(KW_OCTUPOLE, sl::multipole::term_order(1)), 4.0);
  EXPECT_EQ(stored(KW_OCTUPOLE, sl::multipole::SCALE), 1.0);
  // HCOLLIMA: the three names the lookup does not offer.
  EXPECT_EQ(stored(KW_HCOLLIMA, sl::hcollimator::MU), value(KW_HCOLLIMA, "MU"));
  EXPECT_EQ(stored(KW_HCOLLIMA, sl::hcollimator::INELASTI), value(KW_HCOLLIMA, "INELASTI"));
  // Words the conversion adds: monitor planes, collimator shape, the MARKER's zero length.
  EXPECT_EQ(stored(KW_HMONITOR, sl::monitor::PLANES), sl::monitor::HORIZONTAL);
  EXPECT_EQ(stored(KW_MONITOR, sl::monitor::PLANES), sl::monitor::BOTH_PLANES);
  EXPECT_EQ(stored(KW_ECOLLIMA, sl::collimator::SHAPE), sl::collimator::ELLIPTIC);
  EXPECT_EQ(stored(KW_RCOLLIMA, sl::collimator::SHAPE), sl::collimator::RECTANGULAR);
  EXPECT_EQ(slot_count(find_element(element_name(KW_MARKER)).element), 1);
  EXPECT_EQ(stored(KW_MARKER, sl::L), 0.0);
  // Every fixed layout has exactly its named slots.
  for (int kw : {KW_SBEND, KW_QUADRUPO, KW_SEXTUPOL, KW_QUADSEXT, KW_SOLENOID, KW_RFCAVITY,
                 KW_GKICK, KW_ROLL, KW_HKICK, KW_MONITOR, KW_ECOLLIMA, KW_ARBITELM, KW_MTWISS,
                 KW_LCAVITY, KW_HCOLLIMA, KW_QUADAC, KW_TARVOCAV}) {
    const int e = find_element(element_name(kw)).element;
    int most = 0;
    for (const sl::SlotName &n : sl::names_of(inputt.kode(e)))
      most = std::max(most, n.slot);
    const int words = kw == KW_MONITOR || kw == KW_ECOLLIMA ? 1 : 0; // PLANES, SHAPE
    EXPECT_EQ(slot_count(e), most + words) << element_keyword(kw).str();
  }
  // A multipole of 21 terms holds all of them.
  EXPECT_EQ(slot_count(find_element(element_name(KW_MULTIPOL)).element),
            sl::multipole::slots(sl::multipole::MAX_TERMS));

  bind_units_in_memory("", "");
  const int gk = elid(Name8("GKV0"));
  EXPECT_EQ(inputt.slot(gk, vxpar(gk, Name8("V"))), 1.0); // V = 0 would switch the kick off
  EXPECT_EQ(inputt.slot(gk, vxpar(gk, Name8("DX"))), 0.25);
  // K2 and K5 were given (K5 as 0 still counts); T3 without K3 is no term.
  const int mp = elid(Name8("MPSOME"));
  EXPECT_EQ(inputt.slot(mp, slot::multipole::COUNT), 2.0);
  EXPECT_EQ(inputt.slot(mp, vxpar(mp, Name8("K2"))), 2.5);
  EXPECT_EQ(inputt.slot(mp, vxpar(mp, Name8("T2"))), 0.125);
  EXPECT_EQ(inputt.slot(mp, vxpar(mp, Name8("K5"))), 0.0);
  EXPECT_EQ(inputt.slot(mp, vxpar(mp, Name8("TILT"))), 0.25);
  EXPECT_EQ(vxpar(mp, Name8("TILT")), slot::multipole::tilt(2));
  EXPECT_EQ(stop_code([&] { vxpar(mp, Name8("T3")); }), 240);
  EXPECT_EQ(stop_code([&] { vxpar(mp, Name8("K0")); }), 240);
  // A matrix term given as 0 is not stored and cannot be found.
  const int mx = elid(Name8("MXSOME"));
  EXPECT_EQ(slot_count(mx), 5);
  EXPECT_EQ(inputt.slot(mx, vxpar(mx, Name8("T166"))), 0.75);
  EXPECT_EQ(inputt.slot(mx, vxpar(mx, Name8("R11"))), 1.5);
  EXPECT_EQ(stop_code([&] { vxpar(mx, Name8("R12")); }), 240);
}

} // namespace
} // namespace vorax::test
