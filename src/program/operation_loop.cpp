// The operation loop: reads one operation line at a time, finds the operation's row in the
// operation table by its first four letters and hands it to the row's handler, until an
// operation's data end with ";".
#include "program/operation_loop.h"

#include "common/control.h"
#include "common/interruption.h"
#include "common/messages.h"
#include "common/shared_areas.h"
#include "common/terminal_report.h"
#include "common/units.h"
#include "engine/operation_data.h"
#include "input/diagnostics.h"
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

// A line that starts like data where an operation is expected ("0;", "-1 -2 0 10"): the data
// of the operation before it had ended, so it is read as an operation's name. Say why, beside
// the classic message about the name.
void warn_on_data_as_name(const Chars<80> &line) {
  const std::string_view text = line.view();
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos)
    return;
  const char c = text[first];
  const bool number_like =
      (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == ',' || c == ';';
  if (!number_like)
    return;
  std::string shown(text.substr(first));
  shown.erase(shown.find_last_not_of(' ') + 1);
  if (shown.size() > 20)
    shown = shown.substr(0, 20) + "...";
  const std::string why =
      termrep.previous[0] != '\0'
          ? std::string("the data of ") + termrep.previous + " had ended before this line"
          : std::string("an operation was expected here");
  report_input_record(false, control.input_unit, record_number(control.input_unit),
                      "\"" + shown + "\" looks like data but is read as an operation name: " + why);
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
  warn_on_data_as_name(line);
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
    begin_operation_report(operation->name, control.input_unit, record_number(control.input_unit));
    refuse_on_empty_machine(*operation);
    note_operation(operation->name); // for the report of an interruption
    int end_flag = 0;
    operation->handler(operation->code, end_flag);
    end_operation_report();
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
