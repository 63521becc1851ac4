// Counts and caps of the terminal's lines: errors and warnings, losses of an operation.
#include "common/terminal_report.h"

#include "common/units.h"

#include <algorithm>

namespace vorax {

void terminal_diagnostic(bool error, const std::string &line) {
  if (!error) {
    ++termrep.warnings;
    terminal(line);
    return;
  }
  ++termrep.errors;
  // Junk input gives an error for every line: past the cap the terminal only counts them, and
  // the run's closing line says how many were held back.
  if (termrep.errors > TERMINAL_ERROR_LINES) {
    ++termrep.errors_held;
    return;
  }
  terminal(line);
}

void note_operation_message(std::string_view text) {
  constexpr std::size_t KEPT = 200;
  std::string &kept = termrep.last_message;
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos || kept.size() >= KEPT)
    return;
  text = text.substr(first, text.find_last_not_of(' ') - first + 1);
  if (!kept.empty())
    kept += ' ';
  kept += text.substr(0, KEPT);
}

void begin_operation_report(std::string_view name, int unit, int record) {
  const std::size_t n = std::min<std::size_t>(name.size(), 4);
  std::fill(std::begin(termrep.operation), std::end(termrep.operation), '\0');
  std::copy_n(name.data(), n, termrep.operation);
  termrep.operation_unit = unit;
  termrep.operation_record = record;
  termrep.data_error_told = false;
  termrep.last_message.clear();
  termrep.losses_told = 0;
  termrep.losses_held = 0;
  termrep.progress_lines = 0;
}

void end_operation_report() {
  tell_held_losses();
  std::copy(std::begin(termrep.operation), std::end(termrep.operation), termrep.previous);
  termrep.operation[0] = '\0';
}

bool tell_loss_on_terminal() {
  if (termrep.losses_told < TERMINAL_LOSSES) {
    ++termrep.losses_told;
    return true;
  }
  ++termrep.losses_held;
  return false;
}

void tell_held_losses() {
  if (termrep.losses_held == 0)
    return;
  terminal("    ... and " + std::to_string(termrep.losses_held) +
           (termrep.losses_held == 1 ? " more loss" : " more losses") + ": see the listing");
  termrep.losses_held = 0;
}

void note_loss_place(int turn, int position, std::string_view element) {
  if (termrep.first_loss_noted)
    return;
  termrep.first_loss_noted = true;
  termrep.first_loss_turn = turn;
  termrep.first_loss_position = position;
  termrep.first_loss_element = element;
}

void forget_loss_place() {
  termrep.first_loss_noted = false;
  termrep.first_loss_turn = 0;
  termrep.first_loss_position = 0;
  termrep.first_loss_element.clear();
}

std::string count_text(int count, std::string_view what) {
  std::string text = count == 0 ? "no" : std::to_string(count);
  text += ' ';
  text += what;
  if (count != 1)
    text += 's';
  return text;
}

} // namespace vorax
