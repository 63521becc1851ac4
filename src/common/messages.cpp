// Message records of the engine on the listing and the echo file, and its unconditional stop.
#include "common/messages.h"

#include "common/control.h"
#include "common/halt.h"
#include "common/terminal_report.h"
#include "common/units.h"

namespace vorax {

void engine_message(const std::string &text) {
  note_operation_message(text);
  write_record(control.output_unit, text);
  if (control.echo_flag)
    write_record(control.echo_unit, text);
}

void engine_stop(int code) {
  halt(code);
  throw RunEnd{code};
}

} // namespace vorax
