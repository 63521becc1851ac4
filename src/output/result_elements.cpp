// The names and drawing kinds of elements in the result files.
#include "output/result_elements.h"

#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "input/elements.h"

#include <array>
#include <string_view>

namespace vorax {

namespace {

// The keywords as they are written in full (the table keeps their first 8 characters).
constexpr std::array<std::string_view, ELEMENT_KEYWORDS + 1> keyword_names{
    "",          "DRIFT",    "RBEND",       "SBEND",       "WIGGLER",  "QUADRUPOLE",
    "SEXTUPOLE", "OCTUPOLE", "MULTIPOLE",   "SOLENOID",    "RFCAVITY", "SEPARATOR",
    "ROLL",      "ZROT",     "HKICK",       "VKICK",       "HMONITOR", "VMONITOR",
    "MONITOR",   "MARKER",   "ECOLLIMATOR", "RCOLLIMATOR", "QUADSEXT", "GKICK",
    "ARBITELM",  "MTWISS",   "MATRIX",      "LCAVITY",     "HCOLLIMA", "QUADAC",
    "TARVOCAV"};

constexpr std::string_view kind_name(int kode) {
  switch (kode) {
  case KODE_DRIFT:
    return "DRIFT";
  case KODE_BEND:
    return "BEND";
  case KODE_QUAD:
    return "QUADRUPO";
  case KODE_SEXT:
    return "SEXTUPOL";
  case KODE_QUADSEXT:
    return "QUADSEXT";
  case KODE_MULTIPOL:
    return "MULTIPOL";
  case KODE_COLLIMAT:
    return "COLLIMAT";
  case KODE_RFCAVITY:
    return "RFCAVITY";
  case KODE_GKICK:
    return "GKICK";
  case KODE_MTWISS:
    return "MTWISS";
  case KODE_MATRIX:
    return "MATRIX";
  case KODE_ARBITRAR:
    return "ARBITRAR";
  case KODE_MONITOR:
    return "MONITOR";
  case KODE_SOLENOID:
    return "SOLENOID";
  case KODE_LCAVITY:
    return "LCAVITY";
  default:
    return "";
  }
}

} // namespace

std::string keyword_of_element(int element) {
  // Names are unique in the element table: the entry of the element's name is the only one.
  if (const int i = named_entry(chinp.elname(element));
      i != 0 && elmdat.kind(i) >= 1 && elmdat.kind(i) <= ELEMENT_KEYWORDS)
    return std::string(keyword_names[static_cast<std::size_t>(elmdat.kind(i))]);
  return std::string(kind_name(inputt.kode(element)));
}

BarKind bar_kind(int element) {
  switch (inputt.kode(element)) {
  case KODE_BEND:
    return BarKind::bend;
  case KODE_SEXT:
    return BarKind::sextupole;
  case KODE_QUAD:
  case KODE_QUADSEXT:
  case KODE_QUADAC: {
    const int m = blank.matrix_number(element);
    if (m < 1)
      return BarKind::other;
    const double r21 = blank.maps(m).R(2, 1);
    return r21 < 0.0 ? BarKind::focusing : r21 > 0.0 ? BarKind::defocusing : BarKind::other;
  }
  default:
    return BarKind::other;
  }
}

} // namespace vorax
