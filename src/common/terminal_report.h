// What the terminal tells beside the listing: the counts of the run's error and warning lines
// (with the flood of errors capped), where the operation in progress was read, the loss lines of
// an operation capped to a few, and the first loss of a tracking run for its summary line.
// Nothing here writes to the listing or the message log.
#pragma once

#include "common/reset.h"

#include <string>
#include <string_view>

namespace vorax {

// Error lines shown on the terminal before the rest are only counted (the log keeps them all).
inline constexpr int TERMINAL_ERROR_LINES = 100;
// Losses of one operation told on the terminal before the rest are only counted.
inline constexpr int TERMINAL_LOSSES = 10;

struct Termrep {
  int errors = 0;      // error lines of the run, shown or held back
  int warnings = 0;    // warning lines of the run
  int errors_held = 0; // error lines beyond the first TERMINAL_ERROR_LINES
  // The operation in progress: its name and the record of its line on the unit it was read from.
  char operation[5] = {};
  char previous[5] = {}; // the operation before it
  int operation_unit = 0;
  int operation_record = 0;
  bool data_error_told = false; // the operation's data error already has its terminal line
  std::string last_message; // the operation's messages since its last data line, for its error line
  // Losses of the operation in progress.
  int losses_told = 0;
  long long losses_held = 0;
  // The first loss since the tracking summary was last started.
  bool first_loss_noted = false;
  int first_loss_turn = 0;
  int first_loss_position = 0;
  std::string first_loss_element;
  int progress_lines = 0; // progress lines of the operation (when the terminal is not a screen)
};
inline Termrep termrep;
inline const AreaRegistration termrep_registration{reset_area<termrep>};

// A located diagnostic ("FILE:LINE: error: TEXT" or "...: warning: TEXT"): counted, and shown
// unless it is an error beyond the first TERMINAL_ERROR_LINES.
void terminal_diagnostic(bool error, const std::string &line);

// A message of the operation on the listing: kept (the first few, blanks trimmed, joined) for
// the terminal line of a stop on its data.
void note_operation_message(std::string_view text);

// An operation begins (its line is record `record` of `unit`) or has ended.
void begin_operation_report(std::string_view name, int unit, int record);
void end_operation_report();

// Whether the loss being reported gets its lines on the terminal; counted either way.
bool tell_loss_on_terminal();
// The count of the losses held back in this operation, as one line; then none are held.
void tell_held_losses();

// The first loss of the tracking run being summarised (later ones are ignored until reset).
void note_loss_place(int turn, int position, std::string_view element);
void forget_loss_place();

// "N errors, M warnings" with the plural right ("1 error", "no warnings").
std::string count_text(int count, std::string_view what);

} // namespace vorax
