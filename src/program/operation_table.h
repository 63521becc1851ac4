// The operations of the engine, one row each: its name, its code, its handler and whether the
// heading of the next operation starts a new page. Adding an operation is adding its row.
#pragma once

#include "common/table.h"

#include <span>
#include <string_view>

namespace vorax {

// Every handler reads all of its operation's data up to "," or ";" (end_flag becomes 2 or 1),
// so that the operation stream stays in step; code tells the handlers of several rows apart.
using OperationHandler = void (*)(int code, int &end_flag);

struct Operation {
  std::string_view name;    // the four letters an operation line begins with
  int code;                 // the operation code its handler is given
  OperationHandler handler; // reads the data and does the work
  bool page_eject;          // the next operation heading starts a new page
  bool walks_machine;       // it computes along the positions: refused on an empty machine
  bool ends_run = false;    // the run ends after it as after STOP (COSY)
};

std::span<const Operation> operation_table();

// The row of the operation the line names by its first four non-blank characters. A name
// that is no operation's stops the run with 280.
const Operation &optitl(const Chars<80> &line);

} // namespace vorax
