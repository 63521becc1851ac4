// The operation loop and the engine start.
#pragma once

#include "common/table.h"

namespace vorax {

// Return values of vxmain.
inline constexpr int VXMAIN_STREAM_END = 0; // an operation's data ended with ";" (or the input)
inline constexpr int VXMAIN_END_RUN = 1;    // COSY ran: the run ends as after STOP

int vxmain();  // VXMAIN_STREAM_END or VXMAIN_END_RUN; the caller ends the run on the latter
void cinitg(); // engine defaults in every subsystem
// Everything vxmain does before reading the first operation.
void start_engine();

// Reads the next operation line (comments echoed, blank lines skipped) and decodes it. Returns
// false at the end of the input, which ends the operation stream.
bool getop(int &code, int &case_number, Chars<80> &line, int page_eject);
// The operation code of the four-letter name the line begins with; stops with 280.
int optitl(const Chars<80> &line);
// Case number of an operation code.
constexpr int operation_case(int code) {
  return (code + 1) / 100;
}

} // namespace vorax
