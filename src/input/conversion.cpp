// Conversion of the used machine into the engine tables: element numbering, the engine machine
// sequence, and every element's kind code and data slots in the engine's fixed slot order.
#include "input/conversion.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "common/units.h"
#include "input/beam_lines.h"
#include "input/command_loop.h"
#include "input/diagnostics.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/reader.h"

#include <array>
#include <cmath>
#include <span>
#include <string>
#include <string_view>

namespace vorax {

namespace {

constexpr double PI = 3.141592653589793;
using Slots = ElementSlots;

// Engine element number of every front-end entry (0: not a defined element), rebuilt at every
// conversion.
struct Convnum {
  static constexpr bool machine_sized = true;
  MachineTable<int> element_number{machine_limits().maxelm};
};
inline Convnum convnum;
inline const AreaRegistration convnum_registration{reset_area<convnum>};

int &element_number(int entry) {
  return convnum.element_number(entry);
}

// Parameter node of attribute k (1-based, in the keyword's attribute order) of element entry e.
int attribute_node(int e, int k) {
  const int node = elmdat.first(e) + k - 1;
  return elmdat.first(e) > 0 && node <= elmdat.last(e) ? node : 0;
}
// The same for the attribute of the given name (0: the keyword has no such attribute).
int attribute_node(int e, std::string_view name) {
  const int kw = elmdat.kind(e);
  for (int k = 1; k <= attribute_count(kw); ++k)
    if (attribute_name(kw, k).trimmed() == name)
      return attribute_node(e, k);
  return 0;
}
double value_of(int node) {
  return node != 0 ? parval.value(node) : 0.0;
}
// Whether the attribute was written in the definition.
bool given(int e, std::string_view name) {
  const int node = attribute_node(e, name);
  return node != 0 && pardat.kind(node) != PAR_UNDEFINED;
}
// Its value: an attribute not written keeps its built-in default (0 for most); a name the
// keyword does not have gives 0 (MARKER has no L).
double attr(int e, std::string_view name) {
  return value_of(attribute_node(e, name));
}

// The slots of a name table written from the attributes of those names.
void put_named(Slots &s, int e, std::span<const slot::SlotName> names, int count) {
  s.start(count);
  for (const slot::SlotName &n : names)
    if (n.use != slot::Use::LOOKUP)
      s(n.slot) = attr(e, n.name);
}

// The general-kick layout with V = 1 and the given names written from their attributes.
void put_kick(Slots &s, int e, std::span<const slot::SlotName> names) {
  put_named(s, e, names, slot::gkick::SLOTS);
  s(slot::gkick::V) = 1.0;
}

// MULTIPOL: the terms of every order whose strength Km was written, in ascending order.
void put_multipole(Slots &s, int e) {
  namespace mp = slot::multipole;
  s.start(mp::COUNT);
  s(mp::L) = attr(e, "L");
  s(mp::SCALE) = attr(e, "SCALEFAC");
  int terms = 0;
  for (int m = 0; m < mp::MAX_TERMS; ++m) {
    const std::string k = "K" + std::to_string(m);
    if (!given(e, k))
      continue;
    s.put(m + 1);
    s.put(attr(e, k));
    s.put(attr(e, "T" + std::to_string(m)));
    ++terms;
  }
  s(mp::COUNT) = terms;
  s.put(attr(e, "APERTURE"));
  s.put(attr(e, "TILT"));
}

// MATRIX: only the nonzero terms are stored, each as (code, value), in attribute order.
void put_matrix(Slots &s, int e) {
  s.start(slot::matrix::L);
  s(slot::matrix::L) = attr(e, "L");
  const int kw = elmdat.kind(e);
  for (int k = 1; k <= attribute_count(kw); ++k) {
    const std::string_view name = attribute_name(kw, k).trimmed();
    const int code = slot::matrix::code_of(name);
    if (code == 0)
      continue;
    const double value = value_of(attribute_node(e, k));
    if (value != 0.0) {
      s.put(code);
      s.put(value);
    }
  }
}

} // namespace

// The slots and the engine kind code of element entry e.
int element_slots(int e, ElementSlots &s) {
  namespace sl = slot;
  switch (elmdat.kind(e)) {
  case KW_DRIFT:
  case KW_WIGGLER:
  case KW_SEPARATO:
  case KW_MARKER:
    put_named(s, e, sl::drift::NAMES, sl::drift::SLOTS);
    return KODE_DRIFT;
  case KW_SBEND:
  case KW_RBEND:
    put_named(s, e, sl::bend::NAMES, sl::bend::SLOTS);
    if (elmdat.kind(e) == KW_RBEND) {
      // A rectangular bend has parallel faces: each edge turns by half the bend angle.
      s(sl::bend::E1) = attr(e, "ANGLE") / 2;
      s(sl::bend::E2) = attr(e, "ANGLE") / 2;
    }
    return KODE_BEND;
  case KW_QUADRUPO:
    put_named(s, e, sl::quad::NAMES, sl::quad::SLOTS);
    return KODE_QUAD;
  case KW_SEXTUPOL:
    put_named(s, e, sl::sext::NAMES, sl::sext::SLOTS);
    return KODE_SEXT;
  case KW_OCTUPOLE:
    // One multipole term of order word 4 with no own tilt.
    put_named(s, e, sl::multipole::OCTUPOLE_NAMES, sl::multipole::slots(1));
    s(sl::multipole::SCALE) = 1.0;
    s(sl::multipole::COUNT) = 1.0;
    s(sl::multipole::term_order(1)) = sl::multipole::OCTUPOLE_ORDER;
    return KODE_MULTIPOL;
  case KW_MULTIPOL:
    put_multipole(s, e);
    return KODE_MULTIPOL;
  case KW_SOLENOID:
    put_named(s, e, sl::solenoid::NAMES, sl::solenoid::SLOTS);
    return KODE_SOLENOID;
  case KW_RFCAVITY:
    put_named(s, e, sl::rfcavity::NAMES, sl::rfcavity::SLOTS);
    return KODE_RFCAVITY;
  case KW_ROLL:
    put_kick(s, e, sl::gkick::ROLL_NAMES);
    return KODE_GKICK;
  case KW_ZROT:
    put_kick(s, e, sl::gkick::ZROT_NAMES);
    return KODE_GKICK;
  case KW_HKICK:
  case KW_VKICK: {
    // The tilt is folded in here, so it is taken as every tilt is: radians, the opposite
    // sense in the LDF convention, degrees in the MERIDOXAN one. A kicker turned by TILT t
    // turns its kick as a quadrupole turned by t turns its field (docs/coordinates.md):
    // HKICK along (cos t, -sin t), VKICK along (sin t, cos t).
    const double given_tilt = attr(e, "TILT");
    const double tilt = units.value == 2   ? given_tilt * (PI / 180)
                        : units.value == 1 ? -given_tilt
                                           : given_tilt;
    const double kick = attr(e, "KICK");
    put_kick(s, e, sl::gkick::KICKER_NAMES);
    if (elmdat.kind(e) == KW_HKICK) {
      s(sl::gkick::DXP) = kick * std::cos(tilt);
      s(sl::gkick::DYP) = -kick * std::sin(tilt);
    } else {
      s(sl::gkick::DXP) = kick * std::sin(tilt);
      s(sl::gkick::DYP) = kick * std::cos(tilt);
    }
    return KODE_GKICK;
  }
  case KW_HMONITOR:
  case KW_VMONITOR:
  case KW_MONITOR:
    put_named(s, e, sl::monitor::NAMES, sl::monitor::SLOTS);
    s(sl::monitor::PLANES) = elmdat.kind(e) == KW_HMONITOR   ? sl::monitor::HORIZONTAL
                             : elmdat.kind(e) == KW_VMONITOR ? sl::monitor::VERTICAL
                                                             : sl::monitor::BOTH_PLANES;
    return KODE_MONITOR;
  case KW_ECOLLIMA:
  case KW_RCOLLIMA:
    put_named(s, e, sl::collimator::NAMES, sl::collimator::SLOTS);
    s(sl::collimator::SHAPE) =
        elmdat.kind(e) == KW_ECOLLIMA ? sl::collimator::ELLIPTIC : sl::collimator::RECTANGULAR;
    return KODE_COLLIMAT;
  case KW_QUADSEXT:
    put_named(s, e, sl::quadsext::NAMES, sl::quadsext::SLOTS);
    return KODE_QUADSEXT;
  case KW_GKICK:
    put_named(s, e, sl::gkick::NAMES, sl::gkick::SLOTS);
    if (s(sl::gkick::V) == 0.0)
      s(sl::gkick::V) = 1.0; // V scales the kick: 0 would switch the element off silently
    return KODE_GKICK;
  case KW_ARBITELM:
    put_named(s, e, sl::arbitrary::NAMES, sl::arbitrary::SLOTS);
    return KODE_ARBITRAR;
  case KW_MTWISS:
    put_named(s, e, sl::mtwiss::NAMES, sl::mtwiss::SLOTS);
    return KODE_MTWISS;
  case KW_MATRIX:
    put_matrix(s, e);
    return KODE_MATRIX;
  case KW_LCAVITY:
    put_named(s, e, sl::lcavity::NAMES, sl::lcavity::SLOTS);
    return KODE_LCAVITY;
  case KW_HCOLLIMA:
    put_named(s, e, sl::hcollimator::NAMES, sl::hcollimator::SLOTS);
    return KODE_HCOLLIMA;
  case KW_QUADAC:
    put_named(s, e, sl::quadac::NAMES, sl::quadac::SLOTS);
    return KODE_QUADAC;
  case KW_TARVOCAV:
    put_named(s, e, sl::tarvocav::NAMES, sl::tarvocav::SLOTS);
    return KODE_TARVOCAV;
  default:
    put_named(s, e, sl::drift::NAMES, sl::drift::SLOTS);
    return KODE_DRIFT;
  }
}

namespace {

// Converts entry e as element number k into the next free slots.
void convert_element(int e, int k, int &next_free) {
  if (inputt.nelm >= machine_limits().mxelmd) {
    write_record(iodata.listing_unit, " TOO MANY DISTINCT ELEMENT TYPES FOR VORAX,>MXELMD QUIT");
    halt(7);
    return;
  }
  chinp.elname(k) = elmnam.name(e);
  chinp.ellabel(k) = elmnam.label(e);
  inputt.iadr(k) = next_free;
  ++inputt.nelm;
  static Slots s; // MATRIX needs 325 slots: kept off the stack
  s.n = 0;
  const int kode = element_slots(e, s);
  if (next_free + s.n - 1 > machine_limits().maxdat) {
    write_record(iodata.listing_unit, " NOT ENOUGH PARAMETER SPACE FOR VORAX,>MAXDAT QUIT");
    halt(6);
    return;
  }
  for (int j = 0; j < s.n; ++j)
    inputt.eldata(next_free + j) = s.v[static_cast<std::size_t>(j)];
  inputt.kode(k) = kode;
  lngth.ellen(k) = attr(e, "L"); // none for ROLL, ZROT and MARKER
  next_free += s.n;
  if (elmdat.kind(e) == KW_WIGGLER)
    write_record(iodata.listing_unit,
                 " NO WIGGLER IN VORAX, TREATED LIKE A DRIFT OF LENGTH " + fF(attr(e, "L"), 10, 4));
  else if (elmdat.kind(e) == KW_SEPARATO)
    write_record(iodata.listing_unit, " NO SEPARATOR IN VORAX, TREATED LIKE A DRIFT OF LENGTH " +
                                          fF(attr(e, "L"), 10, 4));
}

} // namespace

void vxmatd() {
  period.value(5) = 0;

  int defined = 0;
  for (int i = 1; i <= elmdat.low_count; ++i)
    element_number(i) = elmdat.kind(i) >= 1 ? ++defined : 0;

  // The used line runs from its start marker to its end marker; only elements are kept.
  const int first = period.value(6);
  const int last = period.value(7) - 1;
  int positions = 0;
  int lost = 0; // a position whose element was redefined as a beam line after USE
  for (int p = first; p >= 1 && p <= last; ++p)
    if (seqnum.value(p) <= line_start_mark()) {
      ++positions;
      if (lost == 0 && element_number(seqnum.value(p)) == 0)
        lost = seqnum.value(p);
    }
  if (positions > machine_limits().maxpos_elements) {
    write_record(iodata.listing_unit,
                 fI_fit(positions, 5) + " ELEMENTS, TOO MANY FOR VORAX (>MAXPOS),QUIT");
    halt(4);
    return;
  }

  // The engine machine is replaced only once every position has an element and the parameters
  // can be evaluated: after a failure the engine keeps running on the previous machine and
  // tables, which still agree with each other.
  if (lost != 0) {
    const std::string message = quoted(name_text(elmnam.name(lost))) +
                                " IN THE USED LINE IS NO LONGER AN ELEMENT, RETURNING FROM VXMATD";
    write_record(iodata.listing_unit, " " + message);
    ++iodata.error_count;
    report_input(true, iodata.command_line, message);
    ioflag.command_error = 1;
    return;
  }
  parord(ioflag.command_error);
  if (ioflag.command_error != 0) {
    write_record(iodata.listing_unit, " ERROR FROM PARORD, RETURNING FROM VXMATD");
    return;
  }
  int n = 0;
  for (int p = first; p >= 1 && p <= last; ++p)
    if (seqnum.value(p) <= line_start_mark())
      blank.mseq(++n) = element_number(seqnum.value(p));
  mat.npos = n; // the element count of the last USE
  blank.first_positions_known = false;
  parevl();
  warn_undefined_parameters();
  inputt.eunits = units.value;

  // After NEWBEAMO the converted elements keep their data (the engine may have changed them);
  // elements numbered beyond the kept tables are still converted, so that every position of the
  // new machine refers to an element the engine knows.
  int next_free = 1;
  if (newbm.value == 1)
    next_free = inputt.nelm > 0 ? inputt.iadr(inputt.nelm + 1) : 1;
  else
    inputt.nelm = 0;
  chinp.index.clear(); // the numbers may now stand for other names
  for (int i = 1; i <= elmdat.low_count; ++i) {
    const int k = element_number(i);
    if (k == 0 || k <= inputt.nelm)
      continue;
    convert_element(i, k, next_free);
  }
  inputt.iadr(inputt.nelm + 1) = next_free;
}

} // namespace vorax
