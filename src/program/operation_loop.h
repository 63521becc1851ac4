// The operation loop and the engine start.
#pragma once

#include "common/table.h"
#include "program/operation_table.h"

namespace vorax {

// Return values of vxmain.
inline constexpr int VXMAIN_STREAM_END = 0; // an operation's data ended with ";" (or the input)
inline constexpr int VXMAIN_END_RUN = 1;    // COSY ran: the run ends as after STOP

int vxmain();  // VXMAIN_STREAM_END or VXMAIN_END_RUN; the caller ends the run on the latter
void cinitg(); // engine defaults in every subsystem
// Everything vxmain does before reading the first operation.
void start_engine();

// Reads the next operation line (comments echoed, blank lines skipped) and finds its row of the
// operation table. Returns false at the end of the input, which ends the operation stream.
bool getop(const Operation *&operation, Chars<80> &line, int page_eject);

} // namespace vorax
