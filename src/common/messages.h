// Message records of the engine and its error stop for conditions the work cannot go on from;
// every folder from the random numbers up reports through them.
#pragma once

#include <string>

namespace vorax {

// Writes a message record on the listing and, when the echo flag is set, on the echo file.
void engine_message(const std::string &text);

// The error stop for conditions after which the work cannot go on: halt, and end the run even
// in the recoverable-error mode, in which halt itself returns.
[[noreturn]] void engine_stop(int code);

} // namespace vorax
