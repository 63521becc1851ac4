// Field errors at a tracked position: the factors drawn for the element's pairs, the scaling of
// a linac quadrupole to the actual momentum, the map rebuilt, and the restoration of the design
// parameters and map bit for bit.
#include "errors/field_errors.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/messages.h"
#include "common/random_numbers.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "maps/element_maps.h"

#include <cmath>

namespace vorax {

namespace {

constexpr int BAD_RANDOM_OPTION = 250; // ERR: RAND OPT ERR
constexpr int FACTORS_USED_UP = 251;   // ERR: BAD NUMBER

int first_entry_of(int element) {
  for (int k = 1; k <= cerr.list_count; ++k)
    if (cerr.list_element(k) == element)
      return k;
  return 0;
}

int selection_of(int element) {
  for (int s = 1; s <= cerr.selected_count; ++s)
    if (cerr.selected_element(s) == element)
      return s;
  return 0;
}

// The factor of one pair; 0 (no error) when the error stop returns in its recoverable mode.
double error_factor() {
  const int r = cerr.random_option;
  RandomStream &stream = cseeds.field_error;
  switch (r) {
  case 0:
    return 1.0;
  case 1:
  case 2:
  case 3:
    return rannum(stream.index, r, 2.0, stream.mode);
  case 4:
    return rannum(stream.index, 3, 6.0, stream.mode);
  case 5:
    if (errsrt.next > errsrt.count) {
      engine_message(" MORE THAN NERSRT =" + fI(errsrt.count, 5) +
                     " ERROR VALUES REQUESTED, QUITTING");
      halt(FACTORS_USED_UP);
      return 0.0;
    }
    return errsrt.factor(errsrt.next++);
  default:
    engine_message("  ERROR IN OPTION NUMBER FOR RANDOM GENERATION");
    halt(BAD_RANDOM_OPTION);
    return 0.0;
  }
}

void change_slot(int element, int slot, double new_value) {
  const int address = inputt.iadr(element) + slot - 1;
  const int n = ++ersav.changes;
  ersav.address(n) = address;
  ersav.before(n) = inputt.eldata(address);
  inputt.eldata(address) = new_value;
}

// A multipole's map holds only its quadrupole and sextupole terms.
bool multipole_has_map_terms(const ElementValues &v) {
  const int room = slot::multipole::room(v.count());
  const double stored = v(slot::multipole::COUNT);
  const int n = stored >= room ? room : (stored >= 1.0 ? static_cast<int>(stored) : 0);
  for (int j = 1; j <= n; ++j) {
    const double order = v(slot::multipole::term_order(j));
    if (order >= 2.0 && order < 4.0 && v(slot::multipole::term_strength(j)) != 0.0)
      return true;
  }
  return false;
}

// Whether the element's tracking reads the map that the changed parameters give.
bool needs_map(int element, bool kick_frame_changed) {
  switch (inputt.kode(element)) {
  case KODE_COLLIMAT:
  case KODE_RFCAVITY:
  case KODE_ARBITRAR:
    return false; // their tracking reads the parameters themselves
  case KODE_GKICK:
    return kick_frame_changed;
  case KODE_MULTIPOL:
    return multipole_has_map_terms(element_values(element));
  default:
    return true;
  }
}

// The design over the actual momentum after the position, when the linac energies are in use
// and both energies are above the rest energy; 1 otherwise.
double linac_momentum_ratio(int position) {
  if (lincav.linac == 0 || position < 1 || position > mat.npos)
    return 1.0;
  const double m = const_.emass;
  const double design = lincav.eideal(position);
  const double actual = lincav.ereal(position);
  if (!(design > m && actual > m))
    return 1.0;
  return std::sqrt(design * design - m * m) / std::sqrt(actual * actual - m * m);
}

} // namespace

// The linac scaling of K1 acts on every quadrupole, with or without errors of its own, and it is
// put back with the errors: the element is the design one again after every position, however
// many times it is visited. Every change is undone from the value saved before it, never by an
// inverse factor, and in the reverse order, so that two pairs on one parameter restore too.
// The map record rebuilt and restored is the element's own, the one matgen writes.
bool eset(int position, int element, int) {
  // A position whose changes were not restored (its caller stopped in between) is restored
  // first: its saved design values are never overwritten.
  if (ersav.applied_here)
    ereset(element, 0);
  ersav.applied_here = false;
  ersav.map_saved = false;
  ersav.changes = 0;
  if (!cerr.active || element < 1 || element > inputt.nelm)
    return false;
  const int s = selection_of(element);
  const int entry = first_entry_of(element);
  const bool apply = s > 0 && entry > 0 && cerr.selected_ranges(s).covers(position);
  const int kind = inputt.kode(element);
  const double ratio = kind == KODE_QUAD ? linac_momentum_ratio(position) : 1.0;
  if (!apply && ratio == 1.0)
    return false;
  ersav.applied_here = true;

  bool kick_frame_changed = false;
  if (apply) {
    for (int j = 1; j <= cerr.pair_count(entry); ++j) {
      const int slot = cerr.slot(j, entry);
      if (slot == 0)
        break;
      const double f = error_factor();
      const double error = f * cerr.value(j, entry);
      cerr.applied(j, entry) = error;
      change_slot(element, slot, inputt.slot(element, slot) + error);
      if (kind == KODE_GKICK && (slot == slot::gkick::ANGLE || slot == slot::gkick::DZ))
        kick_frame_changed = true;
    }
  }
  if (ratio != 1.0)
    change_slot(element, slot::quad::K1, inputt.slot(element, slot::quad::K1) * ratio);

  const int matnum = blank.matrix_number(element);
  if (!needs_map(element, kick_frame_changed) || matnum < 1 || matnum > machine_limits().maxmat)
    return true;
  ersav.map = blank.maps(matnum);
  ersav.map_slot = matnum;
  ersav.map_saved = true;
  // A cavity's new gain changes the current energies after it for the rest of the pass.
  if (kind == KODE_LCAVITY && !linsav.saved) {
    for (int p = 1; p <= mat.npos; ++p)
      linsav.ereal(p) = lincav.ereal(p);
    linsav.saved = true;
  }
  matgen_at(element, position);
  return true;
}

void ereset(int, int) {
  if (!ersav.applied_here)
    return;
  for (int n = ersav.changes; n >= 1; --n)
    inputt.eldata(ersav.address(n)) = ersav.before(n);
  ersav.changes = 0;
  if (ersav.map_saved)
    blank.maps(ersav.map_slot) = ersav.map;
  ersav.map_saved = false;
  ersav.applied_here = false;
}

} // namespace vorax
