// Lookup of elements, positions and parameter slots; the wildcard match; SETL and PRIN with the
// print test of positions.
#include "engine_fixture.h"

#include "common/control.h"
#include "engine/lookup.h"

namespace vorax::test {
namespace {

// Elements 1..3 and a machine D Q1 D QD Q1 B.
void small_machine(std::string_view data = "") {
  start_engine_test(data);
  add_element(KODE_DRIFT, {1.0}, "D");
  add_element(KODE_QUAD, {0.5, 1.2, 1.0, 0.0}, "Q1");
  add_element(KODE_QUAD, {0.5, -1.2, 1.0, 0.0}, "QD");
  add_element(KODE_BEND, {2.0, 0.1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "B");
  add_element(KODE_SEXT, {0.1, 5.0, 1.0, 0.0}, "Q1"); // same name, later element
  add_element(KODE_DRIFT, {3.0}, "UNUSED");
  set_machine({1, 2, 1, 3, 2, 4});
}

int slot_of(int element, const char *name) {
  return vxpar(element, Name8(name));
}

TEST(Lookup, ElementsAndPositionsByName) {
  small_machine();
  EXPECT_EQ(elid(Name8("Q1")), 2); // the first in element order
  EXPECT_EQ(elpos(Name8("D")), 1);
  EXPECT_EQ(elpos(Name8("Q1")), 2);
  EXPECT_EQ(elpos(Name8("QD")), 4);
  EXPECT_EQ(poschk(4), 6);

  EXPECT_EQ(stop_code([] { elid(Name8("NONE")); }), 245);
  EXPECT_TRUE(contains(listing_text(), " ELEMENT NAME DID NOT MATCH MACHINE ELEMENT LIST NONE"));
  EXPECT_EQ(stop_code([] { elpos(Name8("UNUSED")); }), 246);
  EXPECT_TRUE(contains(listing_text(), "  ELEMENT #    6 NAME UNUSED   IS NOT IN MACHINE LIST"));
  EXPECT_EQ(stop_code([] { poschk(5); }), 246);
  EXPECT_TRUE(contains(listing_text(), " THIS ELEMENT IS NOT IN THE MACHINE LIST"));
}

TEST(Lookup, WildcardMatch) {
  auto eq = [](const char *p, const char *n) { return iequal(Name8(p), Name8(n)); };
  EXPECT_EQ(eq("Q*", "QF1"), 1);
  EXPECT_EQ(eq("Q*", "Q"), 1);
  EXPECT_EQ(eq("Q*", "DQ"), 0);
  EXPECT_EQ(eq("*", "ANYTHING"), 1);
  EXPECT_EQ(eq("Q*1", "QF1"), 1);
  EXPECT_EQ(eq("Q*1", "QF2"), 0);
  EXPECT_EQ(eq("*F*", "QF1"), 1);
  EXPECT_EQ(eq("QF", "QF"), 1);
  EXPECT_EQ(eq("QF", "QF1"), 0);
  EXPECT_EQ(eq("Q*F*1", "QXFYY1"), 1);
}

TEST(Lookup, SlotsOfFixedLists) {
  small_machine();
  EXPECT_EQ(slot_of(4, "E2"), 9);
  EXPECT_EQ(slot_of(4, "TILT"), 13);
  EXPECT_FALSE(contains(listing_text(), "HGAPX"));
  EXPECT_EQ(slot_of(4, "FINT"), 8);
  EXPECT_TRUE(contains(listing_text(), " MAKE SURE YOU ALSO VARY HGAPX OR FINTX!"));
  EXPECT_EQ(slot_of(2, "K1"), 2);
  EXPECT_EQ(slot_of(5, "K2"), 2);
  const int quadac = add_element(KODE_QUADAC, {1, 2, 3, 4, 5, 6, 7, 8}, "QA");
  EXPECT_EQ(slot_of(quadac, "APERTURE"), 7);
  EXPECT_EQ(slot_of(quadac, "TILT"), 8); // the tilt is the last stored slot
  const int coll = add_element(KODE_COLLIMAT, {1, 0.01, 0.02, 2}, "C");
  EXPECT_EQ(slot_of(coll, "YSIZE"), 3);
  EXPECT_EQ(slot_of(coll, "ZSIZE"), 3);
  const int lcav = add_element(KODE_LCAVITY, {1, 2, 3, 4, 5, 6, 7}, "LC");
  EXPECT_EQ(slot_of(lcav, "DELTAE"), 3);

  EXPECT_EQ(stop_code([] { slot_of(2, "K2"); }), 240);
  EXPECT_TRUE(contains(listing_text(), " NO SUCH PARAMETER NAME, K2"));
  EXPECT_EQ(stop_code([] { slot_of(1, "ANGLE"); }), 240);
}

TEST(Lookup, MultipoleSlotsFollowTheStoredTerms) {
  start_engine_test();
  // Terms with order words 2 and 3 (input K1 and K2), then APERTURE and TILT.
  const int m = add_element(KODE_MULTIPOL, {0.3, 1.0, 2, 2, 0.5, 0.0, 3, 3.0, 0.2, 1.0, 0.0}, "MP");
  const int o = add_element(KODE_MULTIPOL, {0.2, 1, 1, 4, 7.0, 0, 1.0, 0.0}, "OC");
  const int lost = add_element(KODE_MULTIPOL, {0.2, 1, 0, 1.0, 0.0}, "GONE");
  add_front_element("MP", KW_MULTIPOL);
  add_front_element("OC", KW_OCTUPOLE);
  EXPECT_EQ(slot_of(m, "L"), 1);
  EXPECT_EQ(slot_of(m, "SCALEFAC"), 2);
  EXPECT_EQ(slot_of(m, "K1"), 5);
  EXPECT_EQ(slot_of(m, "T1"), 6);
  EXPECT_EQ(slot_of(m, "K2"), 8);
  EXPECT_EQ(slot_of(m, "APERTURE"), 10);
  EXPECT_EQ(slot_of(m, "TILT"), 11);
  EXPECT_EQ(stop_code([&] { slot_of(m, "K0"); }), 240); // not stored
  EXPECT_EQ(stop_code([&] { slot_of(m, "K21"); }), 240);
  EXPECT_EQ(slot_of(o, "L"), 1);
  EXPECT_EQ(slot_of(o, "K3"), 5);
  EXPECT_EQ(slot_of(o, "TILT"), 6);
  EXPECT_EQ(slot_of(o, "APERTURE"), 7);
  EXPECT_EQ(stop_code([&] { slot_of(o, "K1"); }), 240);
  EXPECT_EQ(stop_code([&] { slot_of(lost, "L"); }), 240);
  EXPECT_TRUE(contains(listing_text(), " COULDNT FIND ELEMENT IN LDF DATA STRUCTURE"));
}

TEST(Lookup, KickSlotsByInputKeyword) {
  start_engine_test();
  const std::vector<double> zero11(11, 0.0);
  const int roll = add_element(KODE_GKICK, zero11, "R");
  const int zrot = add_element(KODE_GKICK, zero11, "Z");
  const int hk = add_element(KODE_GKICK, zero11, "HK");
  const int vk = add_element(KODE_GKICK, zero11, "VK");
  const int gk = add_element(KODE_GKICK, zero11, "GK");
  add_front_element("LINE1", 0); // beam lines are not elements
  add_front_element("R", KW_ROLL);
  add_front_element("Z", KW_ZROT);
  add_front_element("HK", KW_HKICK);
  add_front_element("VK", KW_VKICK);
  add_front_element("GK", KW_GKICK);
  EXPECT_EQ(slot_of(roll, "ANGLE"), 8);
  EXPECT_EQ(slot_of(zrot, "ANGLE"), 3);
  EXPECT_EQ(stop_code([&] { slot_of(roll, "DX"); }), 240);
  EXPECT_EQ(slot_of(hk, "L"), 1);
  EXPECT_EQ(slot_of(vk, "L"), 1);
  EXPECT_EQ(stop_code([&] { slot_of(hk, "KICK"); }), 241);
  EXPECT_TRUE(contains(listing_text(), " CANT VARY KICK PARAMETER, USE A GKICK"));
  EXPECT_EQ(stop_code([&] { slot_of(vk, "TILT"); }), 241);
  EXPECT_TRUE(contains(listing_text(), " CANT VARY TILT PARAMETER, USE A GKICK"));
  EXPECT_EQ(slot_of(gk, "DZ"), 9);
  EXPECT_EQ(slot_of(gk, "T"), 11);
}

TEST(Lookup, MatrixSlotsOnlyForStoredEntries) {
  start_engine_test();
  const int m = add_element(KODE_MATRIX, {0.0, 110, 1.0, 220, 1.0, 166, 0.5}, "M");
  EXPECT_EQ(slot_of(m, "L"), 1);
  EXPECT_EQ(slot_of(m, "R11"), 3);
  EXPECT_EQ(slot_of(m, "R22"), 5);
  EXPECT_EQ(slot_of(m, "T166"), 7);
  EXPECT_EQ(stop_code([&] { slot_of(m, "R33"); }), 240);
  EXPECT_EQ(stop_code([&] { slot_of(m, "T161"); }), 240); // not a name: k < j
  EXPECT_EQ(stop_code([&] { slot_of(m, "R17"); }), 240);
}

TEST(Lookup, SetlStoresItsEntries) {
  small_machine(" q1 k1 -1 1 0.1 0\n QD K1 1 2 3 4\n B angle 0 .2 0 0, 99;\n");
  int end_flag = 0;
  limits(4100, end_flag);
  EXPECT_EQ(end_flag, 1);
  EXPECT_EQ(limit.flag, 1);
  ASSERT_EQ(limit.count, 3);
  EXPECT_EQ(limit.element(1), 2);
  EXPECT_EQ(limit.slot(1), 2);
  EXPECT_EQ(limit.value(1, 1), -1.0);
  EXPECT_EQ(limit.value(1, 3), 0.1);
  EXPECT_EQ(limit.element(2), 3);
  EXPECT_EQ(limit.value(2, 4), 4.0);
  EXPECT_EQ(limit.element(3), 4);
  EXPECT_EQ(limit.slot(3), 2);
  EXPECT_EQ(limit.value(3, 2), 0.2);

  std::string many;
  for (int i = 0; i < 51; ++i)
    many += " Q1 K1 0 1 0 0\n";
  small_machine(many + " 99;\n");
  end_flag = 0;
  EXPECT_EQ(stop_code([&] { limits(4100, end_flag); }), 0);
  EXPECT_TRUE(contains(listing_text(), "  TOO MANY VARIABLE LIMITS . MAXIMUM IS :    50"));

  // Names longer than 8 characters are cut, not split into a name and a parameter name.
  small_machine(" QDLONGNAME K1 0 1 2 3, 99;\n");
  add_element(KODE_QUAD, {0.5, -1.0, 1.0, 0.0}, "QDLONGNA");
  end_flag = 0;
  limits(4100, end_flag);
  ASSERT_EQ(limit.count, 1);
  EXPECT_EQ(limit.element(1), 7);
  EXPECT_EQ(limit.slot(1), 2);
  EXPECT_EQ(limit.value(1, 4), 3.0);
}

// Positions prttst selects, walking the machine from the start with a fresh cursor.
std::vector<int> printed() {
  std::vector<int> out;
  int cursor = 1;
  for (int p = 1; p <= mat.npos; ++p) {
    int result = 0;
    prttst(p, cursor, result);
    if (result)
      out.push_back(p);
  }
  return out;
}

std::vector<int> after_prin(std::string_view data) {
  small_machine(data);
  int end_flag = 0;
  prtdef(4200, end_flag);
  return printed();
}

TEST(Lookup, PrintSelection) {
  // Without a selection and without intervals, only the last position.
  EXPECT_EQ(after_prin("END;\n"), (std::vector<int>{6}));
  EXPECT_EQ(cprt.selection, 0);
  EXPECT_EQ(after_prin(" NAME Q* 99\n END;\n"), (std::vector<int>{2, 4, 5}));
  EXPECT_EQ(after_prin(" TYPE BEND DRIFT 99 END\n"), (std::vector<int>{1, 3, 6}));
  EXPECT_EQ(after_prin(" INTERVAL Q1 QD B B 99 END\n"), (std::vector<int>{2, 3, 4, 6}));
  // A name that selects the end of an interval still moves the cursor on to the next one.
  EXPECT_EQ(after_prin(" INTERVALS D Q1 B B 99 NAME Q* 99 END\n"),
            (std::vector<int>{1, 2, 4, 5, 6}));
  // With the type mode on the kind decides and intervals given as well are not consulted; a
  // name that matches still prints its position.
  EXPECT_EQ(after_prin(" INTERVAL D Q1 99 TYPE BEND 99 END\n"), (std::vector<int>{6}));
  EXPECT_EQ(after_prin(" TYPE BEND 99 NAME QD 99 INTERVAL D D 99 END\n"), (std::vector<int>{4, 6}));
  // An interval given out of order does not hold back the ones after it.
  EXPECT_EQ(after_prin(" INTERVAL Q1 QD D D B B 99 END\n"), (std::vector<int>{2, 3, 4, 6}));
  // Intervals of the matrix operation when PRIN chose none.
  small_machine();
  mat.nint = 2;
  mat.intervals(1) = 2;
  mat.intervals(2) = 3;
  mat.intervals(3) = 5;
  mat.intervals(4) = 5;
  EXPECT_EQ(printed(), (std::vector<int>{2, 3, 5}));
}

TEST(Lookup, PrintSelectionStops) {
  small_machine(" TYPE FOO\n");
  int end_flag = 0;
  EXPECT_EQ(stop_code([&] { prtdef(4200, end_flag); }), 400);
  EXPECT_TRUE(contains(listing_text(), " WRONG KEYWORD =FOO"));
  small_machine(" TYPE BEND DRIFT QUADRUPO\n");
  EXPECT_EQ(stop_code([&] { prtdef(4200, end_flag); }), 17);
  EXPECT_TRUE(contains(listing_text(), " TOO MANY TYPES"));
  small_machine(" NAME A B C D E F G H I J K\n");
  EXPECT_EQ(stop_code([&] { prtdef(4200, end_flag); }), 18);
  EXPECT_TRUE(contains(listing_text(), " TOO MANY NAMES : MAX IS 10"));
  small_machine(" INTERVAL " + [] {
    std::string s;
    for (int i = 0; i < 81; ++i)
      s += "D\n";
    return s;
  }());
  EXPECT_EQ(stop_code([&] { prtdef(4200, end_flag); }), 2);
  EXPECT_TRUE(contains(listing_text(), "  TOO MANY INTERVALS REQUESTED"));
  small_machine(" WHAT\n");
  EXPECT_EQ(stop_code([&] { prtdef(4200, end_flag); }), 400);
  EXPECT_TRUE(contains(listing_text(), " WRONG KEYWORD : WHAT"));
}

} // namespace
} // namespace vorax::test
