// The data slots of every element kind, named once. The conversion writes them, the parameter
// lookup finds them by attribute name, and every reader (maps, optics, engine start, tracking)
// reads them by these names: slot::bend::ANGLE, slot::quad::K1, slot::multipole::term_angle(j).
// Slots are 1-based: slot j of element k is inputt.slot(k, j).
#pragma once

#include "common/engine_tables.h"
#include "common/table.h"

#include <span>
#include <string_view>

namespace vorax {

namespace slot {

// How an entry of a kind's name table is used.
enum class Use : unsigned char {
  BOTH,   // the conversion writes the attribute of this name there, and the lookup finds it
  STORED, // written from the attribute, but the lookup does not offer the name
  LOOKUP, // a name the lookup accepts for a slot that another attribute (or rule) fills
};

// Every kind keeps its length L in slot 1 (MARKER, ROLL and ZROT hold 0 there).
inline constexpr int L = 1;

// One attribute name and its slot.
struct SlotName {
  std::string_view name;
  int slot;
  Use use = Use::BOTH;
};

// DRIFT, WIGGLER, SEPARATO and MARKER (kind 0); MARKER stores 0 as its length.
namespace drift {
inline constexpr int L = 1, SLOTS = 1;
inline constexpr SlotName NAMES[] = {{"L", L}};
} // namespace drift

// SBEND and RBEND (kind 1). RBEND stores ANGLE/2 in E1 and E2: its faces are parallel.
namespace bend {
inline constexpr int L = 1, ANGLE = 2, K1 = 3, K2 = 4, E1 = 5, H1 = 6, HGAP = 7, FINT = 8, E2 = 9,
                     H2 = 10, HGAPX = 11, FINTX = 12, TILT = 13, SLOTS = 13;
inline constexpr SlotName NAMES[] = {
    {"L", L},         {"ANGLE", ANGLE}, {"K1", K1},     {"K2", K2}, {"E1", E1},
    {"H1", H1},       {"HGAP", HGAP},   {"FINT", FINT}, {"E2", E2}, {"H2", H2},
    {"HGAPX", HGAPX}, {"FINTX", FINTX}, {"TILT", TILT}};
} // namespace bend

// QUADRUPO (kind 2).
namespace quad {
inline constexpr int L = 1, K1 = 2, APERTURE = 3, TILT = 4, SLOTS = 4;
inline constexpr SlotName NAMES[] = {{"L", L}, {"K1", K1}, {"APERTURE", APERTURE}, {"TILT", TILT}};
} // namespace quad

// SEXTUPOL (kind 3).
namespace sext {
inline constexpr int L = 1, K2 = 2, APERTURE = 3, TILT = 4, SLOTS = 4;
inline constexpr SlotName NAMES[] = {{"L", L}, {"K2", K2}, {"APERTURE", APERTURE}, {"TILT", TILT}};
} // namespace sext

// QUADSEXT (kind 4).
namespace quadsext {
inline constexpr int L = 1, K1 = 2, K2 = 3, APERTURE = 4, TILT = 5, SLOTS = 5;
inline constexpr SlotName NAMES[] = {
    {"L", L}, {"K1", K1}, {"K2", K2}, {"APERTURE", APERTURE}, {"TILT", TILT}};
} // namespace quadsext

// MULTIPOL and OCTUPOLE (kind 5): L, the scale factor, the number of terms n, then n terms of
// three slots (order word q = m + 1 for the attribute Km, strength Km, angle Tm) in ascending
// order, then APERTURE and TILT. The names of MULTIPOL are computed from the stored terms.
namespace multipole {
inline constexpr int L = 1, SCALE = 2, COUNT = 3;
inline constexpr int MAX_TERMS = 21; // K0 .. K20
// The slots of term j (1-based) of the stored terms.
constexpr int term_order(int j) {
  return 4 + 3 * (j - 1);
}
constexpr int term_strength(int j) {
  return 5 + 3 * (j - 1);
}
constexpr int term_angle(int j) {
  return 6 + 3 * (j - 1);
}
// The slots after n terms, and the slot count.
constexpr int aperture(int n) {
  return 3 * n + 4;
}
constexpr int tilt(int n) {
  return 3 * n + 5;
}
constexpr int slots(int n) {
  return 3 * n + 5;
}
// The most terms an element of the given slot count can hold.
constexpr int room(int slot_count) {
  return (slot_count - 5) / 3;
}

// OCTUPOLE: one term of order word 4 (K3) with angle 0, scale factor 1. Its TILT is stored as
// the element's tilt, but the lookup gives the term's angle for it: varying either turns the
// octupole alike.
inline constexpr int OCTUPOLE_ORDER = 4;
inline constexpr SlotName OCTUPOLE_NAMES[] = {{"L", L},
                                              {"K3", term_strength(1)},
                                              {"TILT", term_angle(1), Use::LOOKUP},
                                              {"TILT", tilt(1), Use::STORED},
                                              {"APERTURE", aperture(1)}};

// The order word of the attribute Km or Tm (m = 0..20) and whether it is the angle Tm; 0 for any
// other name.
constexpr int order_word(std::string_view name, bool &angle) {
  if (name.size() < 2 || name.size() > 3 || (name[0] != 'K' && name[0] != 'T'))
    return 0;
  int m = 0;
  for (std::size_t i = 1; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || (i == 1 && name[i] == '0' && name.size() == 3))
      return 0;
    m = 10 * m + (name[i] - '0');
  }
  if (m >= MAX_TERMS)
    return 0;
  angle = name[0] == 'T';
  return m + 1;
}
} // namespace multipole

// ECOLLIMA and RCOLLIMA (kind 6). The lookup knows the third slot as ZSIZE and as YSIZE.
namespace collimator {
inline constexpr int L = 1, XSIZE = 2, YSIZE = 3, SHAPE = 4, SLOTS = 4;
inline constexpr int RECTANGULAR = 1, ELLIPTIC = 2; // values of SHAPE
inline constexpr SlotName NAMES[] = {
    {"L", L}, {"XSIZE", XSIZE}, {"ZSIZE", YSIZE, Use::LOOKUP}, {"YSIZE", YSIZE}};
} // namespace collimator

// RFCAVITY (kind 7).
namespace rfcavity {
inline constexpr int L = 1, ENERGY = 2, VOLT = 3, FREQ = 4, LAG = 5, SLOTS = 5;
inline constexpr SlotName NAMES[] = {
    {"L", L}, {"ENERGY", ENERGY}, {"VOLT", VOLT}, {"FREQ", FREQ}, {"LAG", LAG}};
} // namespace rfcavity

// GKICK (kind 8), also the layout of ROLL, ZROT, HKICK and VKICK. V scales the kick: a V of 0
// is stored as 1.
namespace gkick {
inline constexpr int L = 1, DX = 2, DXP = 3, DY = 4, DYP = 5, DL = 6, DP = 7, ANGLE = 8, DZ = 9,
                     V = 10, T = 11, SLOTS = 11;
inline constexpr SlotName NAMES[] = {{"L", L},     {"DX", DX}, {"DXP", DXP}, {"DY", DY},
                                     {"DYP", DYP}, {"DL", DL}, {"DP", DP},   {"ANGLE", ANGLE},
                                     {"DZ", DZ},   {"V", V},   {"T", T}};
// ROLL turns the frame by ANGLE, ZROT kicks x' by ANGLE; both have no length and V = 1.
inline constexpr SlotName ROLL_NAMES[] = {{"ANGLE", ANGLE}};
inline constexpr SlotName ZROT_NAMES[] = {{"ANGLE", DXP}};
// HKICK and VKICK store their KICK turned by TILT in DXP and DYP; neither name has a slot.
inline constexpr SlotName KICKER_NAMES[] = {{"L", L}};
} // namespace gkick

// MTWISS (kind 9). Plane 0 is x, plane 1 is y.
namespace mtwiss {
inline constexpr int L = 1, MUX = 2, BETAX = 3, ALPHAX = 4, MUY = 5, BETAY = 6, ALPHAY = 7,
                     SLOTS = 7;
constexpr int mu(int plane) {
  return MUX + 3 * plane;
}
constexpr int beta(int plane) {
  return BETAX + 3 * plane;
}
constexpr int alpha(int plane) {
  return ALPHAX + 3 * plane;
}
inline constexpr SlotName NAMES[] = {{"L", L},           {"MUX", MUX}, {"BETAX", BETAX},
                                     {"ALPHAX", ALPHAX}, {"MUY", MUY}, {"BETAY", BETAY},
                                     {"ALPHAY", ALPHAY}};
} // namespace mtwiss

// MATRIX (kind 10): L, then one pair (code, value) per nonzero R or T attribute in attribute
// order. The code of R(i,j) (attribute Rij) is 100 i + 10 j, of T(i,j,k) (Tijk, j <= k)
// 100 i + 10 j + k.
namespace matrix {
inline constexpr int L = 1;
// The slots of stored pair p (1-based), and the number of pairs of a slot count.
constexpr int code(int p) {
  return 2 * p;
}
constexpr int value(int p) {
  return 2 * p + 1;
}
constexpr int pairs(int slot_count) {
  return (slot_count - 1) / 2;
}
constexpr int r_code(int i, int j) {
  return 100 * i + 10 * j;
}
constexpr int t_code(int i, int j, int k) {
  return 100 * i + 10 * j + k;
}
// The code of the attribute name Rij or Tijk (indices 1..6, j <= k); 0 for any other name.
constexpr int code_of(std::string_view name) {
  auto digit = [&](std::size_t at) {
    return name[at] >= '1' && name[at] <= '6' ? name[at] - '0' : 0;
  };
  if (name.size() == 3 && name[0] == 'R' && digit(1) && digit(2))
    return r_code(digit(1), digit(2));
  if (name.size() == 4 && name[0] == 'T' && digit(1) && digit(2) && digit(3) &&
      digit(2) <= digit(3))
    return t_code(digit(1), digit(2), digit(3));
  return 0;
}
} // namespace matrix

// ARBITELM (kind 12): L and the free parameters P1 .. P20.
namespace arbitrary {
inline constexpr int L = 1, PARAMETERS = 20, SLOTS = 21;
constexpr int P(int n) {
  return 1 + n;
}
inline constexpr SlotName NAMES[] = {
    {"L", L},       {"P1", P(1)},   {"P2", P(2)},   {"P3", P(3)},   {"P4", P(4)},   {"P5", P(5)},
    {"P6", P(6)},   {"P7", P(7)},   {"P8", P(8)},   {"P9", P(9)},   {"P10", P(10)}, {"P11", P(11)},
    {"P12", P(12)}, {"P13", P(13)}, {"P14", P(14)}, {"P15", P(15)}, {"P16", P(16)}, {"P17", P(17)},
    {"P18", P(18)}, {"P19", P(19)}, {"P20", P(20)}};
} // namespace arbitrary

// HMONITOR, VMONITOR and MONITOR (kind 13); PLANES says which planes it reads.
namespace monitor {
inline constexpr int L = 1, XSERR = 2, YSERR = 3, XRERR = 4, YRERR = 5, PLANES = 6, SLOTS = 6;
inline constexpr int HORIZONTAL = 1, VERTICAL = 2, BOTH_PLANES = 3; // values of PLANES
inline constexpr SlotName NAMES[] = {
    {"L", L}, {"XSERR", XSERR}, {"YSERR", YSERR}, {"XRERR", XRERR}, {"YRERR", YRERR}};
} // namespace monitor

// SOLENOID (kind 15).
namespace solenoid {
inline constexpr int L = 1, K1 = 2, KS = 3, APERTURE = 4, TILT = 5, SLOTS = 5;
inline constexpr SlotName NAMES[] = {
    {"L", L}, {"K1", K1}, {"KS", KS}, {"APERTURE", APERTURE}, {"TILT", TILT}};
} // namespace solenoid

// LCAVITY (kind 17).
namespace lcavity {
inline constexpr int L = 1, E0 = 2, DELTAE = 3, PHI0 = 4, FREQ = 5, KICKCOEF = 6, T = 7, SLOTS = 7;
inline constexpr SlotName NAMES[] = {{"L", L},       {"E0", E0},     {"DELTAE", DELTAE},
                                     {"PHI0", PHI0}, {"FREQ", FREQ}, {"KICKCOEF", KICKCOEF},
                                     {"T", T}};
} // namespace lcavity

// HCOLLIMA (kind 18). The lookup offers its first twelve names only.
namespace hcollimator {
inline constexpr int L = 1, LCOORD = 2, RCOORD = 3, LSLOPE = 4, RSLOPE = 5, XMAX = 6, A = 7, Z = 8,
                     DENSITY = 9, IONIZATI = 10, ENERGY = 11, DENERGY = 12, MU = 13, DISTRIBU = 14,
                     INELASTI = 15, SLOTS = 15;
inline constexpr SlotName NAMES[] = {{"L", L},
                                     {"LCOORD", LCOORD},
                                     {"RCOORD", RCOORD},
                                     {"LSLOPE", LSLOPE},
                                     {"RSLOPE", RSLOPE},
                                     {"XMAX", XMAX},
                                     {"A", A},
                                     {"Z", Z},
                                     {"DENSITY", DENSITY},
                                     {"IONIZATI", IONIZATI},
                                     {"ENERGY", ENERGY},
                                     {"DENERGY", DENERGY},
                                     {"MU", MU, Use::STORED},
                                     {"DISTRIBU", DISTRIBU, Use::STORED},
                                     {"INELASTI", INELASTI, Use::STORED}};
} // namespace hcollimator

// QUADAC (kind 19): APERTURE before TILT, as every tiltable kind keeps its tilt last.
namespace quadac {
inline constexpr int L = 1, K1 = 2, DELTAE = 3, PHI0 = 4, FREQ = 5, E0 = 6, APERTURE = 7, TILT = 8,
                     SLOTS = 8;
inline constexpr SlotName NAMES[] = {
    {"L", L},       {"K1", K1}, {"DELTAE", DELTAE},     {"PHI0", PHI0},
    {"FREQ", FREQ}, {"E0", E0}, {"APERTURE", APERTURE}, {"TILT", TILT}};
} // namespace quadac

// TARVOCAV (kind 20).
namespace tarvocav {
inline constexpr int L = 1, EN0 = 2, DELTAE = 3, PHI0 = 4, SLOTS = 4;
inline constexpr SlotName NAMES[] = {{"L", L}, {"EN0", EN0}, {"DELTAE", DELTAE}, {"PHI0", PHI0}};
} // namespace tarvocav

// The name table of a kind whose slots follow one fixed list (every kind but MULTIPOL and
// MATRIX, whose slots depend on the terms given); empty for those and for unknown kinds.
constexpr std::span<const SlotName> names_of(int kode) {
  switch (kode) {
  case KODE_DRIFT:
    return drift::NAMES;
  case KODE_BEND:
    return bend::NAMES;
  case KODE_QUAD:
    return quad::NAMES;
  case KODE_SEXT:
    return sext::NAMES;
  case KODE_QUADSEXT:
    return quadsext::NAMES;
  case KODE_COLLIMAT:
    return collimator::NAMES;
  case KODE_RFCAVITY:
    return rfcavity::NAMES;
  case KODE_GKICK:
    return gkick::NAMES;
  case KODE_MTWISS:
    return mtwiss::NAMES;
  case KODE_ARBITRAR:
    return arbitrary::NAMES;
  case KODE_MONITOR:
    return monitor::NAMES;
  case KODE_SOLENOID:
    return solenoid::NAMES;
  case KODE_LCAVITY:
    return lcavity::NAMES;
  case KODE_HCOLLIMA:
    return hcollimator::NAMES;
  case KODE_QUADAC:
    return quadac::NAMES;
  case KODE_TARVOCAV:
    return tarvocav::NAMES;
  default:
    return {};
  }
}

// The slot the lookup gives for a name in a table, 0 when it offers none.
constexpr int find(std::span<const SlotName> names, std::string_view name) {
  for (const SlotName &n : names)
    if (n.use != Use::STORED && n.name == name)
      return n.slot;
  return 0;
}

// The slot of a tiltable kind's tilt: always its last slot.
constexpr int tilt_of(int slot_count) {
  return slot_count;
}

} // namespace slot

// An element's stored values as the map builders and other readers take them: its kind, its
// name (for messages) and its data slots, here or in a caller's own copy (modified values).
struct ElementValues {
  int kind = KODE_DRIFT;
  Name8 name;
  std::span<const double> slots;

  int count() const { return static_cast<int>(slots.size()); }
  // Slot j (1-based); 0 beyond the element's own slots.
  double operator()(int j) const {
    return j >= 1 && j <= count() ? slots[static_cast<std::size_t>(j - 1)] : 0.0;
  }
};

// The values of element k in the engine tables.
inline ElementValues element_values(int k) {
  const int first = inputt.iadr(k);
  const int n = inputt.iadr(k + 1) - first;
  ElementValues v{inputt.kode(k), chinp.elname(k), {}};
  if (first >= 1 && n > 0)
    v.slots =
        std::span<const double>(inputt.eldata.data() + (first - 1), static_cast<std::size_t>(n));
  return v;
}

} // namespace vorax
