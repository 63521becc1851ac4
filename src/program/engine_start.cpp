// Engine start at every entry before the first operation is read: units and echo file,
// defaults, banner, path lengths, linac energies, element matrices and the run summary.
#include "engine/engine_start.h"
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/limits.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/operation_data.h"
#include "input/command_loop.h"
#include "maps/element_maps.h"
#include "optics/constants.h"
#include "optics/matrix_operation.h"
#include "program/operation_loop.h"

#include <string>

namespace vorax {

namespace {

void print_banner() {
  const std::string stars = " " + repeat('*', 56);
  write_record(control.output_unit, "1");
  write_record(control.output_unit, stars);
  write_record(control.output_unit, stars);
  write_record(control.output_unit, " * VORAX PROGRAM : LAST MODIFIED ON MAY      20, 1991 ***");
  write_record(control.output_unit, stars);
  write_record(control.output_unit, stars);
  write_record(control.output_unit, " " + pagtit.title.str());
}

bool has_stored_map(int kind) {
  switch (kind) {
  case KODE_DRIFT:
  case KODE_COLLIMAT:
  case KODE_GKICK:
  case KODE_ARBITRAR:
  case KODE_MONITOR:
  case KODE_HCOLLIMA:
  case KODE_TARVOCAV:
    return false;
  default:
    return true;
  }
}

void number_matrices() {
  int count = 0;
  for (int e = 1; e <= inputt.nelm; ++e) {
    if (!has_stored_map(inputt.kode(e))) {
      blank.matrix_number(e) = 0;
      continue;
    }
    if (count == machine_limits().maxmat) {
      engine_message("  TOO MANY MATRICES : MAXIMUM IS :" + fI(machine_limits().maxmat, 6));
      engine_message("  INCREASE VALUE OF PARAMETER MAXMAT ");
      engine_stop(3);
    }
    blank.matrix_number(e) = ++count;
    blank.matrix_element(count) = e;
    matgen(e);
  }
  sym.matrix_count = count;
}

// The limits are those of the run (--max-positions); their fields widen only where a raised limit
// needs more than the classic six columns.
void print_summary() {
  const int out = control.output_unit;
  const MachineLimits &limits = machine_limits();
  write_record(out, " IN THIS RUN THERE ARE :");
  write_record(out, fI_fit(inputt.nelm, 6) +
                        " DISTINCT ELEMENTS.  MAX IS MXELMD :" + fI_fit(limits.mxelmd, 6));
  write_record(out, fI_fit(mat.npos, 6) +
                        " ELEMENTS IN MACHINE.MAX IS MAXPOS :" + fI_fit(limits.maxpos, 6));
  write_record(out, fI_fit(sym.matrix_count, 6) +
                        " MATRICES DEFINED.   MAX IS MAXMAT :" + fI_fit(limits.maxmat, 6));
  write_record(out, fI_fit(inputt.iadr(inputt.nelm + 1), 6) +
                        " VALUES IN ELDAT.    MAX IS MAXDAT :" + fI_fit(limits.maxdat, 6));
  if (inputt.real_kick_count > 0 && control.print_level >= 1)
    write_record(out, " ** WARNING " + fI(inputt.real_kick_count, 5) +
                          " MATRICES COMPUTED FOR REAL KICKS**");
}

} // namespace

// Every folder that keeps settings from one operation to the next has registered their
// defaults, so that a fresh engine entry starts as a new run would.
void cinitg() {
  set_engine_defaults();
}

void start_engine() {
  setup();
  // A re-entry after NEWBEAMO keeps every setting of the previous run.
  if (newbm.value != 1) {
    cinitg();
    print_banner();
  }
  leng();
  scan_positions();
  fill_energies();
  number_matrices();
  print_summary();
  control.page_eject = 0;
}

} // namespace vorax
