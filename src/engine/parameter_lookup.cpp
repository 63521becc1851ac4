// The data slot of an element parameter named by its attribute name, by the element's kind and,
// for multipoles and kicks, by the keyword it was defined with.
#include "engine/lookup.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/slots.h"
#include "engine/operation_data.h"
#include "input/elements.h"

#include <cmath>
#include <span>
#include <string>
#include <string_view>

namespace vorax {

namespace {

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
  if (const int i = named_entry(chinp.elname(element)); i != 0 && elmdat.kind(i) >= 1)
    return elmdat.kind(i);
  engine_message(" COULDNT FIND ELEMENT IN LDF DATA STRUCTURE");
  no_such_parameter(parameter);
}

int multipole_slot(int element, const Name8 &parameter) {
  namespace mp = slot::multipole;
  const std::string_view name = parameter.trimmed();
  const int keyword = input_keyword(element, parameter);
  if (keyword == KW_OCTUPOLE) {
    if (const int found = slot::find(mp::OCTUPOLE_NAMES, name))
      return found;
    no_such_parameter(parameter);
  }
  if (keyword != KW_MULTIPOL)
    no_such_parameter(parameter);
  // Only as many terms as the element's own slots can hold are looked at.
  const double stored_terms = inputt.slot(element, mp::COUNT);
  const int room = mp::room(slot_count(element));
  const int terms = !(stored_terms >= 0.0) ? 0
                    : stored_terms > room  ? room
                                           : static_cast<int>(stored_terms);
  if (name == "L")
    return mp::L;
  if (name == "SCALEFAC")
    return mp::SCALE;
  if (name == "APERTURE")
    return mp::aperture(terms);
  if (name == "TILT")
    return mp::tilt(terms);
  bool angle = false;
  if (const int order_word = mp::order_word(name, angle))
    for (int t = 1; t <= terms; ++t)
      if (std::lround(inputt.slot(element, mp::term_order(t))) == order_word)
        return angle ? mp::term_angle(t) : mp::term_strength(t);
  no_such_parameter(parameter);
}

int kick_slot(int element, const Name8 &parameter) {
  const std::string_view name = parameter.trimmed();
  int found = 0;
  switch (input_keyword(element, parameter)) {
  case KW_ROLL:
    found = slot::find(slot::gkick::ROLL_NAMES, name);
    break;
  case KW_ZROT:
    found = slot::find(slot::gkick::ZROT_NAMES, name);
    break;
  case KW_HKICK:
  case KW_VKICK:
    // KICK and TILT are folded into the stored kick components; neither has a slot of its own.
    if (name == "KICK" || name == "TILT")
      use_a_gkick(name);
    found = slot::find(slot::gkick::KICKER_NAMES, name);
    break;
  default:
    found = slot::find(slot::gkick::NAMES, name);
  }
  if (found == 0)
    no_such_parameter(parameter);
  return found;
}

int matrix_slot(int element, const Name8 &parameter) {
  const std::string_view name = parameter.trimmed();
  if (name == "L")
    return slot::matrix::L;
  if (const int code = slot::matrix::code_of(name))
    for (int p = 1; p <= slot::matrix::pairs(slot_count(element)); ++p)
      if (std::lround(inputt.slot(element, slot::matrix::code(p))) == code)
        return slot::matrix::value(p);
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
  const std::span<const slot::SlotName> names = slot::names_of(kind);
  if (names.empty()) {
    // Kinds without a parameter list are never produced by the conversion; giving back no slot
    // would let the caller change whatever slot it happened to hold.
    engine_message(" NO ELEMENT WITH KODE = " + fI(kind, 3) + " IN VORAX");
    no_such_parameter(parameter);
  }
  const int found = slot::find(names, parameter.trimmed());
  if (found == 0)
    no_such_parameter(parameter);
  if (kind == KODE_BEND && (found == slot::bend::HGAP || found == slot::bend::FINT))
    engine_message(" MAKE SURE YOU ALSO VARY HGAPX OR FINTX!");
  return found;
}

} // namespace vorax
