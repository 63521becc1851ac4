// The COSY operation: the procedure mach with its error variables, one procedure per distinct
// element, and the machine sequence with the field errors and misalignments of each position
// drawn exactly as a tracked turn draws them.
#include "output/cosy_script.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "errors/correctors.h"
#include "errors/field_errors.h"
#include "errors/imperfection_passes.h"
#include "input/reader.h"
#include "track/tracking_loop.h"

#include <cmath>
#include <string>

namespace vorax {

namespace {

constexpr double RADIANS_PER_DEGREE = 0.017453292519943295;
constexpr int NAMES_PER_LINE = 6;

// Whether SETE switched field errors on for the element (it is in the ERRO list and selected).
bool has_field_errors(int k) {
  if (!cerr.active)
    return false;
  bool listed = false, selected = false;
  for (int i = 1; i <= cerr.list_count; ++i)
    listed = listed || cerr.list_element(i) == k;
  for (int i = 1; i <= cerr.selected_count; ++i)
    selected = selected || cerr.selected_element(i) == k;
  return listed && selected;
}

// The slots the element's field errors change: the pairs of its first entry in the ERRO list,
// the ones tracking applies.
unsigned error_slots(int k) {
  for (int i = 1; i <= cerr.list_count; ++i) {
    if (cerr.list_element(i) != k)
      continue;
    unsigned slots = 0;
    for (int j = 1; j <= cerr.pair_count(i) && cerr.slot(j, i) != 0; ++j)
      if (cerr.slot(j, i) > 0 && cerr.slot(j, i) < 32)
        slots |= 1u << cerr.slot(j, i);
    return slots;
  }
  return 0;
}

CosyElement element_of(int k) {
  CosyElement e;
  const bool errors = has_field_errors(k);
  e.general_dipole = inputt.kode(k) == KODE_BEND && errors;
  e.error_slots = errors ? error_slots(k) : 0;
  e.keyword = cosy_keyword_of_kind(inputt.kode(k));
  e.name = chinp.elname(k);
  e.count = inputt.iadr(k + 1) - inputt.iadr(k);
  e.slots = e.count > 0 ? &inputt.eldata(inputt.iadr(k)) : nullptr;
  return e;
}

// The names of positions without imperfections, six to a line.
class SequenceLines {
public:
  explicit SequenceLines(int unit) : unit_(unit) {}
  void add(const Name8 &name) {
    line_ += " " + std::string(name.view()) + " ; ";
    if (++count_ == NAMES_PER_LINE)
      flush();
  }
  void flush() {
    if (count_ > 0)
      write_record(unit_, line_);
    line_.clear();
    count_ = 0;
  }

private:
  int unit_;
  std::string line_;
  int count_ = 0;
};

// The error variables of a position: the change that the field errors make to each value
// that carries one.
struct Assignments {
  int count = 0;
  Table<int, 1, COSY_ERROR_VARIABLES> variable;
  Table<double, 1, COSY_ERROR_VARIABLES> value;
};

Assignments assignments(const CosyFields &design, const CosyFields &changed) {
  Assignments a;
  for (int k = 1; k <= COSY_ERROR_VARIABLES; ++k) {
    if (!design.used(k) || !changed.used(k))
      continue;
    const double d = changed.value(k) - design.value(k);
    if (d != 0.0) {
      ++a.count;
      a.variable(a.count) = k;
      a.value(a.count) = d;
    }
  }
  return a;
}

// One position with imperfections: the error variables set, the element entered and left
// through the corrector and misalignment kicks in the order tracking applies them (corrector,
// misalignment, element, misalignment, corrector), and the variables cleared again for the
// positions after it.
void write_imperfect_position(int unit, const Name8 &name, const Assignments &a,
                              const Displacements *misaligned, const Corset *corrected) {
  write_record(unit, " zeroerr ; ");
  for (int i = 1; i <= a.count; ++i)
    write_record(unit,
                 " erv(" + std::to_string(a.variable(i)) + "):= " + fE(a.value(i), 23, 16) + " ;");
  if (corrected != nullptr)
    write_cosy_kick(unit, " ckin ", corrector_entry_kick(*corrected), " ; ");
  if (misaligned != nullptr)
    write_cosy_kick(unit, " gkin ", misalignment_entry_kick(*misaligned), " ; ");
  write_record(unit, " " + std::string(name.view()) + " ; ");
  if (misaligned != nullptr)
    write_cosy_kick(unit, " gkout ", misalignment_exit_kick(*misaligned), " ; ");
  if (corrected != nullptr)
    write_cosy_kick(unit, " ckout ", corrector_exit_kick(*corrected), " ; ");
  if (a.count > 0)
    write_record(unit, " zeroerr ; ");
}

void write_sequence(int unit) {
  const bool imperfect = mis.active || cerr.active;
  if (imperfect)
    restart_imperfections(false);
  SequenceLines lines(unit);
  for (int p = 1; p <= mat.npos; ++p) {
    const int e = blank.mseq(p);
    const int kind = inputt.kode(e);
    bool misaligned = false;
    Assignments a;
    if (imperfect) {
      if (uses_misalignment(kind))
        misaligned = mischk(p, e);
      if (uses_errors(kind)) {
        const CosyFields design = cosy_fields(element_of(e), inputt.eunits);
        if (eset(p, e, blank.matrix_number(e))) {
          a = assignments(design, cosy_fields(element_of(e), inputt.eunits));
          ereset(e, blank.matrix_number(e));
        }
      }
    }
    // The correctors tracking would set here (CORR, SETC, CHAN), whatever the imperfections.
    const bool corrected = takes_corrector(kind) && corchk(p, e);
    if (!misaligned && a.count == 0 && !corrected) {
      lines.add(chinp.elname(e));
      continue;
    }
    lines.flush();
    write_imperfect_position(unit, chinp.elname(e), a, misaligned ? &misset.current.at : nullptr,
                             corrected ? &corset : nullptr);
  }
  lines.flush();
  if (imperfect)
    end_imperfection_pass(false);
}

} // namespace

CosyKick misalignment_entry_kick(const Displacements &d) {
  // mset: the angles and offsets are taken off, then the frame turns by the roll psi. Turning
  // first, the offsets are the turned ones; the turn is the kick's rotation by -psi.
  const double c = d.cos_in, s = d.sin_in;
  CosyKick k;
  k.value[0] = -(c * d.dx_in - s * d.dy_in);
  k.value[1] = -(c * d.dxp_in - s * d.dyp_in);
  k.value[2] = -(c * d.dy_in + s * d.dx_in);
  k.value[3] = -(c * d.dyp_in + s * d.dxp_in);
  k.value[4] = -d.ds_in;
  k.value[5] = -std::atan2(s, c);
  k.value[6] = -d.ddelta;
  return k;
}

CosyKick misalignment_exit_kick(const Displacements &d) {
  // mreset turns first, then takes off the exit offsets and angles: already the kick's order.
  CosyKick k;
  k.value[0] = -d.dx_out;
  k.value[1] = -d.dxp_out;
  k.value[2] = -d.dy_out;
  k.value[3] = -d.dyp_out;
  k.value[4] = -d.ds_out;
  k.value[5] = -std::atan2(d.sin_out, d.cos_out);
  k.value[6] = d.ddelta;
  return k;
}

// A corrector as the kick form: cset adds its entrance offsets and slopes and the momentum
// change; its thin kicks, divided there by 1 + delta, are written at delta = 0. creset adds the
// exit offsets and slopes and takes the momentum change off again.
CosyKick corrector_entry_kick(const Corset &c) {
  CosyKick k;
  k.value[0] = c.x_in;
  k.value[1] = c.xp_in + c.kick_x;
  k.value[2] = c.y_in;
  k.value[3] = c.yp_in + c.kick_y;
  k.value[6] = c.ddelta;
  return k;
}

CosyKick corrector_exit_kick(const Corset &c) {
  CosyKick k;
  k.value[0] = c.x_out;
  k.value[1] = c.xp_out;
  k.value[2] = c.y_out;
  k.value[3] = c.yp_out;
  k.value[6] = -c.ddelta;
  return k;
}

void dcosy(int, int &) {
  // An earlier CONS may have changed the degree factor; the script's angles need the true one.
  const_.raddeg = RADIANS_PER_DEGREE;
  const int unit = iodata.listing_unit;
  write_record(unit, " procedure mach ; ");
  write_record(unit, " variable erv 1 30 ; ");
  write_record(unit, " procedure zeroerr ;");
  // All thirty error variables are cleared, not only the first twenty: a position's errors
  // must not reach the positions after it.
  write_record(unit, " variable i 1 ; loop i 1 30 ; erv(i):=0 ; endloop ;");
  write_record(unit, " endprocedure ; ");
  for (int k = 1; k <= inputt.nelm; ++k)
    write_cosy_procedure(unit, element_of(k), inputt.eunits, true);
  write_sequence(unit);
  write_record(unit, " endprocedure ; ");
}

} // namespace vorax
