// The data slot of an element parameter named by its attribute name, by the element's kind and,
// for multipoles and kicks, by the keyword it was defined with.
#include "engine/lookup.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "engine/operation_data.h"
#include "input/elements.h"

#include <array>
#include <cmath>
#include <span>
#include <string>
#include <string_view>

namespace vorax {

namespace {

using Names = std::span<const std::string_view>;

constexpr std::string_view drift_names[] = {"L"};
constexpr std::string_view bend_names[] = {"L",    "ANGLE", "K1", "K2",    "E1",    "H1",  "HGAP",
                                           "FINT", "E2",    "H2", "HGAPX", "FINTX", "TILT"};
constexpr std::string_view quad_names[] = {"L", "K1", "APERTURE", "TILT"};
constexpr std::string_view sext_names[] = {"L", "K2", "APERTURE", "TILT"};
constexpr std::string_view quadsext_names[] = {"L", "K1", "K2", "APERTURE", "TILT"};
// The third slot holds the attribute YSIZE; ZSIZE is accepted as another name for it.
constexpr std::string_view collimator_names[] = {"L", "XSIZE", "ZSIZE"};
constexpr std::string_view rfcavity_names[] = {"L", "ENERGY", "VOLT", "FREQ", "LAG"};
constexpr std::string_view gkick_names[] = {"L",  "DX",    "DXP", "DY", "DYP", "DL",
                                            "DP", "ANGLE", "DZ",  "V",  "T"};
constexpr std::string_view mtwiss_names[] = {"L",   "MUX",   "BETAX", "ALPHAX",
                                             "MUY", "BETAY", "ALPHAY"};
constexpr std::string_view arbitrary_names[] = {"L",   "P1",  "P2",  "P3",  "P4",  "P5",  "P6",
                                                "P7",  "P8",  "P9",  "P10", "P11", "P12", "P13",
                                                "P14", "P15", "P16", "P17", "P18", "P19", "P20"};
constexpr std::string_view monitor_names[] = {"L", "XSERR", "YSERR", "XRERR", "YRERR"};
constexpr std::string_view solenoid_names[] = {"L", "K1", "KS", "APERTURE", "TILT"};
constexpr std::string_view lcavity_names[] = {"L", "E0", "DELTAE", "PHI0", "FREQ", "KICKCOEF", "T"};
constexpr std::string_view hcollimator_names[] = {"L",       "LCOORD",   "RCOORD", "LSLOPE",
                                                  "RSLOPE",  "XMAX",     "A",      "Z",
                                                  "DENSITY", "IONIZATI", "ENERGY", "DENERGY"};
// Stored with APERTURE before TILT: every tiltable kind keeps its tilt in its last slot.
constexpr std::string_view quadac_names[] = {"L",    "K1", "DELTAE",   "PHI0",
                                             "FREQ", "E0", "APERTURE", "TILT"};
constexpr std::string_view tarvocav_names[] = {"L", "EN0", "DELTAE", "PHI0"};
constexpr std::string_view octupole_names[] = {"L", "K3", "TILT", "APERTURE"};

// Parameter names in slot order for the kinds whose slots follow one fixed list.
Names slot_names(int kind) {
  switch (kind) {
  case KODE_DRIFT:
    return drift_names;
  case KODE_BEND:
    return bend_names;
  case KODE_QUAD:
    return quad_names;
  case KODE_SEXT:
    return sext_names;
  case KODE_QUADSEXT:
    return quadsext_names;
  case KODE_COLLIMAT:
    return collimator_names;
  case KODE_RFCAVITY:
    return rfcavity_names;
  case KODE_GKICK:
    return gkick_names;
  case KODE_MTWISS:
    return mtwiss_names;
  case KODE_ARBITRAR:
    return arbitrary_names;
  case KODE_MONITOR:
    return monitor_names;
  case KODE_SOLENOID:
    return solenoid_names;
  case KODE_LCAVITY:
    return lcavity_names;
  case KODE_HCOLLIMA:
    return hcollimator_names;
  case KODE_QUADAC:
    return quadac_names;
  case KODE_TARVOCAV:
    return tarvocav_names;
  default:
    return {};
  }
}

int place_in(Names names, std::string_view name) {
  int place = 0;
  for (std::string_view n : names) {
    ++place;
    if (n == name)
      return place;
  }
  return 0;
}

[[noreturn]] void no_such_parameter(const Name8 &parameter) {
  engine_message(" NO SUCH PARAMETER NAME, " + parameter.str());
  engine_stop(240);
}

[[noreturn]] void use_a_gkick(std::string_view what) {
  engine_message(" CANT VARY " + std::string(what) + " PARAMETER, USE A GKICK");
  engine_stop(241);
}

int slot_count(int element) {
  return inputt.iadr(element + 1) - inputt.iadr(element);
}

// The keyword the element was defined with, from the front end's element table.
int input_keyword(int element, const Name8 &parameter) {
  for (int i = 1; i <= elmdat.low_count; ++i)
    if (elmdat.kind(i) >= 1 && elmnam.name(i) == chinp.elname(element))
      return elmdat.kind(i);
  engine_message(" COULDNT FIND ELEMENT IN LDF DATA STRUCTURE");
  no_such_parameter(parameter);
}

// Kn and Tn, n = 0..20: the order word n + 1 and whether the angle is wanted.
bool multipole_term(std::string_view name, int &order_word, bool &angle) {
  for (int n = 0; n <= 20; ++n) {
    const std::string digits = std::to_string(n);
    if (name == "K" + digits || name == "T" + digits) {
      order_word = n + 1;
      angle = name[0] == 'T';
      return true;
    }
  }
  return false;
}

int multipole_slot(int element, const Name8 &parameter) {
  const std::string_view name = parameter.trimmed();
  const int keyword = input_keyword(element, parameter);
  if (keyword == KW_OCTUPOLE) {
    static constexpr std::array<int, 4> slots{1, 5, 6, 7}; // the term's angle is its tilt
    const int place = place_in(octupole_names, name);
    if (place == 0)
      no_such_parameter(parameter);
    return slots[static_cast<std::size_t>(place - 1)];
  }
  if (keyword != KW_MULTIPOL)
    no_such_parameter(parameter);
  // Only as many terms as the element's own slots can hold are looked at.
  const double stored_terms = inputt.slot(element, 3);
  const int room = (slot_count(element) - 5) / 3;
  const int terms = !(stored_terms >= 0.0) ? 0
                    : stored_terms > room  ? room
                                           : static_cast<int>(stored_terms);
  if (name == "L")
    return 1;
  if (name == "SCALEFAC")
    return 2;
  if (name == "APERTURE")
    return 3 * terms + 4;
  if (name == "TILT")
    return 3 * terms + 5;
  int order_word = 0;
  bool angle = false;
  if (multipole_term(name, order_word, angle))
    for (int t = 1; t <= terms; ++t)
      if (std::lround(inputt.slot(element, 4 + 3 * (t - 1))) == order_word)
        return (angle ? 6 : 5) + 3 * (t - 1);
  no_such_parameter(parameter);
}

int kick_slot(int element, const Name8 &parameter) {
  const std::string_view name = parameter.trimmed();
  switch (input_keyword(element, parameter)) {
  case KW_ROLL:
    if (name == "ANGLE")
      return 8;
    break;
  case KW_ZROT:
    if (name == "ANGLE")
      return 3;
    break;
  case KW_HKICK:
  case KW_VKICK:
    // KICK and TILT are folded into the stored kick components; neither has a slot of its own.
    if (name == "L")
      return 1;
    if (name == "KICK" || name == "TILT")
      use_a_gkick(name);
    break;
  default:
    if (const int place = place_in(slot_names(KODE_GKICK), name))
      return place;
  }
  no_such_parameter(parameter);
}

// Rij (code 100 i + 10 j) and Tijk with j <= k (code 100 i + 10 j + k).
int matrix_code(std::string_view name) {
  auto digit = [&](std::size_t at) {
    return name[at] >= '1' && name[at] <= '6' ? name[at] - '0' : 0;
  };
  if (name.size() == 3 && name[0] == 'R' && digit(1) && digit(2))
    return 100 * digit(1) + 10 * digit(2);
  if (name.size() == 4 && name[0] == 'T' && digit(1) && digit(2) && digit(3) &&
      digit(2) <= digit(3))
    return 100 * digit(1) + 10 * digit(2) + digit(3);
  return 0;
}

int matrix_slot(int element, const Name8 &parameter) {
  const std::string_view name = parameter.trimmed();
  if (name == "L")
    return 1;
  if (const int code = matrix_code(name))
    for (int slot = 2; slot + 1 <= slot_count(element); slot += 2)
      if (std::lround(inputt.slot(element, slot)) == code)
        return slot + 1;
  no_such_parameter(parameter);
}

} // namespace

int vxpar(int element, const Name8 &parameter) {
  if (element < 1 || element > inputt.nelm) {
    engine_message(" ELEMENT NAME DID NOT MATCH MACHINE ELEMENT LIST ");
    engine_stop(245);
  }
  const int kind = inputt.kode(element);
  switch (kind) {
  case KODE_MULTIPOL:
    return multipole_slot(element, parameter);
  case KODE_GKICK:
    return kick_slot(element, parameter);
  case KODE_MATRIX:
    return matrix_slot(element, parameter);
  default:
    break;
  }
  const Names names = slot_names(kind);
  if (names.size() == 0) {
    // Kinds without a parameter list are never produced by the conversion; giving back no slot
    // would let the caller change whatever slot it happened to hold.
    engine_message(" NO ELEMENT WITH KODE = " + fI(kind, 3) + " IN VORAX");
    no_such_parameter(parameter);
  }
  const std::string_view name = parameter.trimmed();
  int slot = place_in(names, name);
  if (slot == 0 && kind == KODE_COLLIMAT && name == "YSIZE")
    slot = 3;
  if (slot == 0)
    no_such_parameter(parameter);
  if (kind == KODE_BEND && (slot == 7 || slot == 8))
    engine_message(" MAKE SURE YOU ALSO VARY HGAPX OR FINTX!");
  return slot;
}

} // namespace vorax
