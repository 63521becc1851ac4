// The central error stop: every fatal condition ends here with a numbered, named error.
#pragma once

#include <string_view>

namespace vorax {

// Carries the end of the run to the program's top level; nothing else is ever thrown.
struct RunEnd {
  int code;
};

// The 20-character name of an error number ("ERROR NOT IN TABLE  " when it has none).
std::string_view error_name(int code);

// Prints "  HALTING WITH ERROR NUMBER : ..." and ends the run by throwing RunEnd. In the
// recoverable-error mode the first error is recorded and printed, and halt returns.
void halt(int code);

} // namespace vorax
