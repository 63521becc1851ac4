// The COSY command: a COSY script of the defined elements and the used beam line, written on
// the listing from the lattice tables, after which the command loop reads on.
#include "common/format.h"
#include "common/halt.h"
#include "common/limits.h"
#include "common/units.h"
#include "input/beam_lines.h"
#include "input/command_loop.h"
#include "input/conversion.h"
#include "input/cosy_procedures.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/reader.h"

#include <string>

namespace vorax {

namespace {

constexpr int NAMES_PER_LINE = 7;

// The procedure mach: the elements of the used line in machine order.
void write_machine(int unit) {
  const int first = period.value(6);
  const int last = period.value(7) - 1; // the last position is the line's end marker
  int positions = 0;
  for (int p = first; p >= 1 && p <= last; ++p)
    if (seqnum.value(p) <= line_start_mark())
      ++positions;
  if (positions > machine_limits().maxpos_elements) {
    write_record(unit, fI_fit(positions, 5) + " ELEMENTS, TOO MANY FOR VORAX (>MAXPOS),QUIT");
    halt(4);
    return;
  }
  write_record(unit, " procedure mach ; ");
  std::string line;
  int on_line = 0;
  for (int p = first; p >= 1 && p <= last; ++p) {
    if (seqnum.value(p) > line_start_mark())
      continue;
    if (on_line == 0)
      line.assign(1, ' ');
    line += std::string(elmnam.name(seqnum.value(p)).view()) + " ; ";
    if (++on_line == NAMES_PER_LINE) {
      write_record(unit, line);
      on_line = 0;
    }
  }
  if (on_line > 0)
    write_record(unit, line);
  write_record(unit, " endprocedure ;");
}

} // namespace

void cosy() {
  // After an erroneous command the tables may hold part of what the deck meant and USE no
  // longer expands: a script of them would look complete and be wrong.
  if (ioflag.scan_mode != 0)
    return;
  const int unit = iodata.listing_unit;
  parord(ioflag.command_error);
  if (ioflag.command_error != 0) {
    write_record(unit, " ERROR FROM PARORD, RETURNING FROM VXMATD");
    return;
  }
  parevl();
  warn_undefined_parameters();
  // After NEWBEAMO the engine keeps the element data of an earlier conversion, which the
  // lattice tables may no longer describe.
  if (newbm.value == 1)
    return;
  static ElementSlots slots; // a MATRIX has 325 slots: kept off the stack
  int count = 0;
  for (int i = 1; i <= elmdat.low_count; ++i) {
    if (elmdat.kind(i) < 1)
      continue;
    if (++count > machine_limits().mxelmd) {
      write_record(unit, " TOO MANY DISTINCT ELEMENT TYPES FOR VORAX,>MXELMD QUIT");
      halt(7);
      return;
    }
    slots.n = 0;
    element_slots(i, slots);
    CosyElement element;
    element.keyword = elmdat.kind(i);
    element.name = elmnam.name(i);
    element.slots = slots.v.data();
    element.count = slots.n;
    write_cosy_procedure(unit, element, units.value, false);
  }
  write_machine(unit);
}

} // namespace vorax
