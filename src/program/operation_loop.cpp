// The operation loop: reads one operation line at a time, finds the operation's row in the
// operation table by its first four letters and hands it to the row's handler, until an
// operation's data end with ";".
#include "program/operation_loop.h"

#include "common/control.h"
#include "common/messages.h"
#include "common/shared_areas.h"
#include "common/interruption.h"
#include "common/units.h"
#include "engine/operation_data.h"
#include "output/layout.h"

#include <string>

namespace vorax {

namespace {

bool is_comment(char c) {
  return c == '(' || c == '*' || c == '@' || c == '!';
}

// State that every operation starts from afresh. Subsystems with per-operation words reset
// them here.
void reset_operation_state() {
  opline.column = 0;     // the data start on the line after the operation line
  layout.suppressed = 0; // a fit's quiet geometry ends with the fit
}

// Code 246 ("ELEM NOT IN MACH"): not one element is in the machine. An engine started without a
// USE has no positions, and an operation that computes along them would read position 0 or
// print results of nothing.
constexpr int EMPTY_MACHINE = 246;

void refuse_on_empty_machine(const Operation &operation) {
  if (!operation.walks_machine || mat.npos >= 1)
    return;
  const std::string message =
      "  THE MACHINE IS EMPTY (NO BEAM LINE SELECTED BY USE): " + std::string(operation.name) +
      " CANNOT BE DONE";
  engine_message(message);
  report_data_error(message);
  engine_stop(EMPTY_MACHINE);
}

} // namespace

bool getop(const Operation *&operation, Chars<80> &line, int page_eject) {
  std::string raw;
  for (;;) {
    if (read_operation_record(raw) != READ_OK)
      return false; // the command loop sees the end of the input next
    line.assign(raw);
    for (int i = 0; i < 72; ++i)
      if (line[i] >= 'a' && line[i] <= 'z')
        line[i] = static_cast<char>(line[i] - 'a' + 'A');
    if (is_comment(line[0])) {
      engine_message("   " + line.str());
      continue;
    }
    if (!line.blank())
      break;
  }
  operation = &optitl(line);
  if (operation->name != "ALIG" || control.alig_echo != 0) {
    if (control.print_level >= 2) {
      if (page_eject)
        write_record(control.output_unit, "1");
      write_record(control.output_unit, " OPERATION LIST ,");
    }
    if (control.print_level >= 1) {
      write_record(control.output_unit, " ");
      write_record(control.output_unit, "   " + line.str());
    }
    if (control.echo_flag)
      write_record(control.echo_unit, "   " + line.str());
  }
  control.alig_echo = 1;
  reset_operation_state();
  return true;
}

int vxmain() {
  start_engine();
  for (;;) {
    const Operation *operation = nullptr;
    Chars<80> line;
    if (!getop(operation, line, control.page_eject))
      return VXMAIN_STREAM_END;
    refuse_on_empty_machine(*operation);
    note_operation(operation->name); // for the report of an interruption
    int end_flag = 0;
    operation->handler(operation->code, end_flag);
    if (operation->ends_run)
      return VXMAIN_END_RUN;
    control.page_eject = operation->page_eject ? 1 : 0;
    control.map_order = 2;
    // Only after the handler has run: the operation whose data end with ";" completes first.
    if (end_flag == 1)
      return VXMAIN_STREAM_END;
  }
}

} // namespace vorax
