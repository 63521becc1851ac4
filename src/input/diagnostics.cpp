// Terminal lines of input errors and warnings, and the origin of every line of the run.
#include "input/diagnostics.h"

#include "common/terminal_report.h"
#include "common/units.h"

namespace vorax {

namespace {

// The message without the carriage control and the prefix that the terminal form replaces.
std::string_view bare(std::string_view message) {
  while (!message.empty() && (message.front() == ' ' || message.front() == '0'))
    message.remove_prefix(1);
  for (std::string_view prefix : {"*** ERROR STOP ***", "*** ERROR ***", "** WARNING **"})
    if (message.starts_with(prefix)) {
      message.remove_prefix(prefix.size());
      break;
    }
  while (!message.empty() && message.front() == ' ')
    message.remove_prefix(1);
  while (!message.empty() && message.back() == ' ')
    message.remove_suffix(1);
  return message;
}

void report(bool error, const std::string &file, int line, std::string_view message) {
  terminal_diagnostic(error, file + ":" + std::to_string(line) +
                                 (error ? ": error: " : ": warning: ") +
                                 std::string(bare(message)));
}

} // namespace

std::string source_name(int unit) {
  if (unit == STDIN_UNIT)
    return "<stdin>";
  std::string name = unit_file_name(unit);
  return name.empty() ? default_unit_name(unit) : name;
}

void note_source_line(int run_line, int unit, int record) {
  std::vector<SourceStretch> &s = srcmap.stretches;
  const std::string file = source_name(unit);
  if (!s.empty() && s.back().file == file &&
      s.back().file_line + (run_line - s.back().run_line) == record)
    return;
  s.push_back({run_line, file, record});
}

void report_input(bool error, int run_line, std::string_view message) {
  const std::vector<SourceStretch> &s = srcmap.stretches;
  std::size_t k = s.size();
  while (k > 0 && s[k - 1].run_line > run_line)
    --k;
  if (k == 0) {
    report(error, source_name(DECK_UNIT), run_line, message);
    return;
  }
  const SourceStretch &at = s[k - 1];
  report(error, at.file, at.file_line + (run_line - at.run_line), message);
}

void report_input_record(bool error, int unit, int record, std::string_view message) {
  report(error, source_name(unit), record, message);
}

void expect_message(bool error, int run_line) {
  srcmap.pending = true;
  srcmap.pending_error = error;
  srcmap.pending_line = run_line;
}

void message_written(std::string_view message) {
  if (!srcmap.pending)
    return;
  srcmap.pending = false;
  report_input(srcmap.pending_error, srcmap.pending_line, message);
}

} // namespace vorax
