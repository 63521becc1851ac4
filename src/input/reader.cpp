// The source reader: reads and echoes input lines, moves the shared cursor, reads words,
// labels and numbers, prints the error and warning markers and keeps their counts.
#include "input/reader.h"

#include "common/format.h"
#include "common/halt.h"
#include "common/plot.h"
#include "common/units.h"
#include "input/diagnostics.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace vorax {

namespace {

constexpr std::string_view LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::string_view DIGITS = "0123456789";
constexpr std::string_view WORD_START = "ABCDEFGHIJKLMNOPQRSTUVWXYZ\"";
constexpr std::string_view WORD_CONTINUATION = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789'";
constexpr std::string_view NUMBER_START = "0123456789+-.";
constexpr std::string_view COMMENT_COLUMN_ONE = "@*(";

bool in_set(char c, std::string_view set) {
  return set.find(c) != std::string_view::npos;
}

int digit_of(char c) {
  return c - '0';
}

// Appends one decimal digit to a non-negative count; very long digit strings (a line can be
// continued indefinitely) saturate instead of overflowing.
void add_digit(int &value, char c) {
  const int d = digit_of(c);
  value = value > (INT_MAX - d) / 10 ? INT_MAX : value * 10 + d;
}

std::string buffer_text() {
  std::string s(80, ' ');
  for (int i = 1; i <= 80; ++i)
    s[static_cast<std::size_t>(i - 1)] = rdbuff(i);
  return s;
}

void write_both(const std::string &record) {
  write_record(iodata.log_unit, record);
  write_record(iodata.listing_unit, record);
}

void marker_line_record(bool to_listing) {
  const std::string line = "0* LINE" + fI(iodata.line_number, 5) + " * " + buffer_text();
  if (to_listing)
    write_both(line);
  else
    write_record(iodata.log_unit, line);
  // One carriage-control blank, "* COLUMN", I3, " *": the "?" then lands in record column
  // 15 + token_column, exactly below the echoed character.
  write_record(iodata.log_unit,
               " * COLUMN" + fI(iodata.token_column, 3) + " *" + blanks(iodata.token_column) + "?");
}

} // namespace

void log_message(std::string_view text) {
  std::string record = " ";
  record += text;
  write_record(iodata.log_unit, record);
  message_written(text);
}

void log_record(std::string_view text) {
  write_record(iodata.log_unit, text);
}

std::string quoted(std::string_view text) {
  std::string s = "\"";
  s += text;
  s += '"';
  return s;
}

void rdinit(int input_unit, int listing_unit, int log_unit) {
  iodata.input_unit = input_unit;
  iodata.listing_unit = listing_unit;
  iodata.log_unit = log_unit;
  iodata.line_number = 0;
  iodata.command_line = 0;
  iodata.warning_count = 0;
  iodata.error_count = 0;
  ioflag.end_of_file = 0;
  iodata.column = 81;
  iodata.token_column = 1;
  for (int i = 1; i <= 80; ++i)
    rdbuff(i) = ' ';
  rdbuff(81) = ';';
}

namespace {

// The reader sees 80 columns: a comment line, or a line whose comment began within them, loses
// nothing that counts; any other text beyond is told on the terminal.
void warn_beyond_line(const std::string &record) {
  const std::string &beyond = dropped_text();
  if (beyond.empty() || record.find('!') != std::string::npos ||
      (!record.empty() && (record[0] == '@' || record[0] == '*' || record[0] == '(')))
    return;
  report_input_record(false, iodata.input_unit, record_number(iodata.input_unit),
                      "text beyond column 80 is ignored: \"" + beyond + "\"");
}

} // namespace

void rdline() {
  if (ioflag.end_of_file != 0)
    return;
  std::string record;
  const int status = read_record(iodata.input_unit, record);
  for (int i = 1; i <= 80; ++i) {
    char c = i <= static_cast<int>(record.size()) ? record[static_cast<std::size_t>(i - 1)] : ' ';
    for (int k = 0; k < 26; ++k)
      if (cuplo.letters[k] == c) {
        c = cuplo.letters[k + 26];
        break;
      }
    rdbuff(i) = c;
  }
  ++iodata.line_number;
  iodata.token_column = 1;
  iodata.column = 0;
  if (status == READ_OK)
    warn_beyond_line(record);
  rdraw.text = status == READ_OK ? record : std::string();
  if (status > 0) {
    const std::string message = "0*** ERROR *** READ ERROR ON LOGICAL UNIT " +
                                fI(iodata.input_unit, 2) + ", LINE " + fI(iodata.line_number, 4) +
                                " --- EXECUTION TERMINATED";
    log_record(message);
    ++iodata.error_count;
    report_input_record(true, iodata.input_unit, record_number(iodata.input_unit) + 1, message);
    plend(iodata.log_unit);
    halt(102);
    throw RunEnd{102}; // nothing sensible can be read after a failed read

  } else if (status < 0) {
    ioflag.end_of_file = 1;
    constexpr std::string_view eof_text = "!!! END OF FILE !!!";
    for (int i = 1; i <= 80; ++i)
      rdbuff(i) =
          i <= static_cast<int>(eof_text.size()) ? eof_text[static_cast<std::size_t>(i - 1)] : ' ';
    iodata.column = 1;
  } else {
    note_source_line(iodata.line_number, iodata.input_unit, record_number(iodata.input_unit));
  }
  if (status == 0 && noecho.value == 0) {
    if (iodata.line_number % 5 == 0)
      write_both(" " + fI(iodata.line_number, 9) + blanks(5) + buffer_text());
    else
      write_both(blanks(15) + buffer_text());
  }
  rdbuff(81) = ';';
}

void rdnext() {
  if (iodata.column > 80)
    rdline();
  for (;;) {
    if (ioflag.end_of_file != 0)
      return;
    iodata.token_column = iodata.column + 1;
    ++iodata.column;
    while (rdbuff(iodata.column) == ' ')
      ++iodata.column;
    if (rdbuff(iodata.column) != '&')
      break;
    // The rest of the line after "&" is ignored; the command goes on with the next line.
    rdline();
  }
  if (iodata.column <= 80)
    iodata.token_column = iodata.column;
  if (rdbuff(iodata.column) == '!' || in_set(rdbuff(1), COMMENT_COLUMN_ONE))
    iodata.column = 81;
}

void rdword(Name8 &word, int &length) {
  word = Name8{};
  length = 0;
  const char first = current_char();
  if (!in_set(first, WORD_START))
    return;
  int count = 0;
  auto take = [&](char c) {
    if (count < 8)
      word[count] = c;
    ++count;
    rdnext();
  };
  if (first == '"') {
    take(first);
    // A quoted word runs to its closing quote. An unclosed quote ends with the command
    // (column 81) rather than swallowing the commands on the following lines.
    for (;;) {
      if (ioflag.end_of_file != 0 || iodata.column > 80)
        break;
      const char c = current_char();
      take(c);
      if (c == '"')
        break;
    }
  } else {
    while (in_set(current_char(), WORD_CONTINUATION) && ioflag.end_of_file == 0)
      take(current_char());
  }
  length = count < 8 ? count : 8;
}

void rdlabl(Label14 &label, int &length) {
  label = Label14{};
  length = 0;
  if (!in_set(current_char(), LETTERS))
    return;
  int count = 0;
  while (in_set(current_char(), WORD_CONTINUATION) && ioflag.end_of_file == 0) {
    if (count < 14)
      label[count] = current_char();
    ++count;
    rdnext();
  }
  length = count < 14 ? count : 14;
}

void rdint(int &value, int &error) {
  value = 0;
  error = 1;
  while (in_set(current_char(), DIGITS) && ioflag.end_of_file == 0) {
    add_digit(value, current_char());
    error = 0;
    rdnext();
  }
  if (error != 0) {
    rdfail("*** ERROR *** UNSIGNED INTEGER EXPECTED");
    return;
  }
  if (in_set(current_char(), ".DE")) {
    while (in_set(current_char(), "0123456789.E") && ioflag.end_of_file == 0)
      rdnext();
    rdfail("*** ERROR *** REAL VALUE NOT PERMITTED");
    error = 1;
    value = 0;
  }
}

void rdnumb(double &value, int &error) {
  value = 0.0;
  error = 0;
  if (!in_set(current_char(), NUMBER_START) || ioflag.end_of_file != 0) {
    rdfail("*** ERROR *** REAL VALUE EXPECTED");
    error = 1;
    return;
  }
  bool negative = false;
  if (current_char() == '+' || current_char() == '-') {
    negative = current_char() == '-';
    rdnext();
  }
  // The digits are kept as text and converted once, so that every value is the double
  // nearest to the decimal number written (1.5D-2 gives exactly the double of 0.015).
  std::string mantissa; // significant digits, leading zeros dropped
  bool any_digit = false;
  long long decimals = 0; // digits after the point, less integer digits dropped below
  bool point = false;
  while ((in_set(current_char(), DIGITS) || current_char() == '.') && ioflag.end_of_file == 0) {
    const char c = current_char();
    if (c == '.') {
      if (point)
        error = 1;
      point = true;
    } else {
      any_digit = true;
      if (mantissa.size() < 400) {
        if (!mantissa.empty() || c != '0')
          mantissa += c;
        if (point)
          ++decimals;
      } else if (!point) {
        --decimals; // a digit beyond what a double can resolve still scales the value
      }
    }
    rdnext();
  }
  if (!any_digit)
    error = 1;
  int exponent = 0;
  if (current_char() == 'D' || current_char() == 'E') {
    rdnext();
    bool exponent_negative = false;
    if (current_char() == '+' || current_char() == '-') {
      exponent_negative = current_char() == '-';
      rdnext();
    }
    bool any = false;
    while (in_set(current_char(), DIGITS) && ioflag.end_of_file == 0) {
      add_digit(exponent, current_char());
      any = true;
      rdnext();
    }
    if (!any)
      error = 1;
    if (exponent_negative)
      exponent = -exponent;
    if (in_set(current_char(), "0123456789.DE") && ioflag.end_of_file == 0) {
      while (in_set(current_char(), "0123456789.DE") && ioflag.end_of_file == 0)
        rdnext();
      error = 1;
    }
  }
  if (error == 0) {
    const long long power = static_cast<long long>(exponent) - decimals;
    if (mantissa.empty()) {
      value = 0.0;
    } else if (power > 100000 || power < -100000) {
      value = power > 0 ? HUGE_VAL : 0.0;
    } else {
      const std::string text = mantissa + "e" + std::to_string(power);
      value = std::strtod(text.c_str(), nullptr);
    }
    if (negative)
      value = -value;
    // A value beyond the range of a double cannot stand for the number written.
    if (!std::isfinite(value))
      error = 1;
  }
  if (error != 0) {
    value = 0.0;
    rdfail("*** ERROR *** INCORRECT REAL VALUE");
    error = 1;
  }
}

void rdtest(std::string_view set, int &error) {
  error = 0;
  if (in_set(current_char(), set))
    return;
  if (set.size() == 1)
    rdfail("*** ERROR *** " + quoted(set) + " EXPECTED");
  else
    rdfail("*** ERROR *** ONE OF " + quoted(set) + " EXPECTED");
  error = 1;
}

void rdskip(std::string_view set) {
  while (ioflag.end_of_file == 0 && in_set(current_char(), set))
    rdnext();
}

void rdfind(std::string_view set) {
  while (ioflag.end_of_file == 0 && !in_set(current_char(), set))
    rdnext();
}

int rdlook(const Name8 &word, const Name8 *table, int first, int last) {
  if (first <= 0 || first > last)
    return 0;
  for (int i = first; i <= last; ++i)
    if (table[i - 1] == word)
      return i;
  return 0;
}

void rdfail() {
  marker_line_record(true);
  ++iodata.error_count;
  expect_message(true, iodata.line_number);
}

void rdwarn() {
  marker_line_record(false);
  ++iodata.warning_count;
  expect_message(false, iodata.line_number);
}

void rdfail(std::string_view message) {
  rdfail();
  log_message(message);
}

void rdwarn(std::string_view message) {
  rdwarn();
  log_message(message);
}

void warn_redefinition(int def_line) {
  rdwarn("** WARNING ** THE ABOVE NAME WAS DEFINED IN LINE " + fI(def_line, 5) +
         ", IT WILL BE REDEFINED");
}

bool read_named_operand(Name8 &name, int &length, std::string_view missing) {
  int error = 0;
  rdtest(",", error);
  if (error == 0) {
    rdnext();
    rdword(name, length);
    if (length == 0) {
      rdfail(missing);
      error = 1;
    }
  }
  if (error != 0)
    ioflag.command_error = 1;
  return error == 0;
}

void rdend(int code) {
  if (iodata.warning_count != 0 || iodata.error_count != 0) {
    log_record("1" + repeat('*', 38));
    log_record(" * NUMBER OF WARNING MESSAGES =" + fI(iodata.warning_count, 6) + " *");
    log_record(" * NUMBER OF FATAL ERRORS     =" + fI(iodata.error_count, 6) + " *");
    log_record(" " + repeat('*', 38));
  }
  if (ioflag.scan_mode != 0)
    halt(code);
}

void rdfile(int &unit, int &error) {
  unit = 0;
  error = 0;
  rdtest(",", error);
  if (error != 0)
    return;
  rdnext();
  int value = 0;
  rdint(value, error);
  if (error != 0)
    return;
  rdtest(";", error);
  if (error != 0)
    return;
  if (value < 1 || value > 99) {
    rdfail("*** ERROR *** LOGICAL UNIT NUMBER MUST BE IN THE RANGE 1...99");
    error = 1;
    return;
  }
  unit = value;
}

void rdpara(int n, const Name8 *keywords, const int *types, int *seen, int *ivalues,
            double *rvalues, int &error) {
  error = 0;
  for (int i = 0; i < n; ++i)
    seen[i] = 0;
  int status = 0;
  rdtest(",;", status);
  if (status != 0) {
    error = 1;
    return;
  }
  while (current_char() == ',' && ioflag.end_of_file == 0) {
    rdnext();
    status = 0;
    Name8 word;
    int length = 0;
    rdword(word, length);
    const int index = length == 0 ? 0 : rdlook(word, keywords, 1, n);
    if (length == 0) {
      rdfail("*** ERROR *** PARAMETER KEYWORD EXPECTED");
      status = 1;
    } else if (index == 0) {
      rdfail("*** ERROR *** UNKNOWN PARAMETER KEYWORD " + quoted(word.trimmed()));
      status = 1;
    } else if (seen[index - 1] != 0) {
      rdfail("*** ERROR *** DUPLICATE PARAMETER " + quoted(word.trimmed()));
      status = 1;
    } else {
      const int type = types[index - 1];
      if (type == 1 || type == 2 || type > 100) {
        rdtest("=", status);
        if (status == 0)
          rdnext();
      }
      if (status == 0 && type == 1) {
        rdint(ivalues[index - 1], status);
      } else if (status == 0 && type == 2) {
        rdnumb(rvalues[index - 1], status);
      } else if (status == 0 && type > 100) {
        // Value keyword: one of the m table entries that follow entry k.
        const int k = type / 100;
        const int m = type % 100;
        Name8 value;
        int value_length = 0;
        rdword(value, value_length);
        const int found = value_length == 0 ? 0 : rdlook(value, keywords, k + 1, k + m);
        if (value_length == 0) {
          rdfail("*** ERROR *** VALUE KEYWORD EXPECTED");
          status = 1;
        } else if (found == 0) {
          rdfail("*** ERROR *** UNKNOWN VALUE KEYWORD " + quoted(value.trimmed()));
          status = 1;
        } else {
          ivalues[index - 1] = found - k;
        }
      }
      if (status == 0)
        rdtest(",;", status);
      if (status == 0)
        seen[index - 1] = 1;
    }
    if (status != 0) {
      rdfind(",;");
      error = 1;
    }
  }
}

} // namespace vorax
