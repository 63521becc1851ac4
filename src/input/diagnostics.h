// Input errors and warnings on the terminal, in the form editors and build tools read:
// "FILE:LINE: error: TEXT" (or "warning:"), beside the marker and message in the log. The lines
// of the run are counted over all files; this keeps where each came from.
#pragma once

#include "common/reset.h"

#include <string>
#include <string_view>
#include <vector>

namespace vorax {

// Stretches of consecutive lines of one file: the line of the run that starts a stretch, the
// file and the line within it.
struct SourceStretch {
  int run_line = 0;
  std::string file;
  int file_line = 0;
};
struct Srcmap {
  std::vector<SourceStretch> stretches;
  // A marker waiting for its message: the severity and the line of the run it points at.
  bool pending = false;
  bool pending_error = false;
  int pending_line = 0;
};
inline Srcmap srcmap;
inline const AreaRegistration srcmap_registration{reset_area<srcmap>};

// The name the terminal gives the file behind a unit: the deck as it was typed, "<stdin>"
// for the standard input.
std::string source_name(int unit);

// The reader has read line run_line of the run from unit (its record record of that file).
void note_source_line(int run_line, int unit, int record);

// Reports a message of the log on the terminal for a line of the run (its "*** ERROR ***" or
// "** WARNING **" prefix and carriage control are left out).
void report_input(bool error, int run_line, std::string_view message);
// The same for a record of a unit that the engine reads directly.
void report_input_record(bool error, int unit, int record, std::string_view message);

// The reader's markers: a marker waits for the message that follows it.
void expect_message(bool error, int run_line);
void message_written(std::string_view message);

} // namespace vorax
