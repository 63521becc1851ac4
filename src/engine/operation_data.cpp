// The reader of operation data: a name and free-format numbers from the lines after an
// operation line, the inline print-level line, and the OUTP operation.
#include "engine/operation_data.h"

#include "common/control.h"
#include "common/format.h"
#include "common/limits.h"
#include "common/shared_areas.h"
#include "common/terminal_report.h"
#include "common/units.h"
#include "input/diagnostics.h"
#include "input/reader.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace vorax {

namespace {

constexpr int LAST_COLUMN = 72;

bool is_comment(char c) {
  return c == '(' || c == '*' || c == '@' || c == '!';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_letter(char c) {
  return c >= 'A' && c <= 'Z';
}
char upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string line_text() {
  return std::string(opline.text.data(), LAST_COLUMN);
}

// The run cannot go on when the data of an operation are cut off by the end of the input.
[[noreturn]] void end_of_data(int status) {
  const std::string message = status == READ_EOF ? "   END OF INPUT WHILE READING OPERATION DATA"
                                                 : "   READ ERROR WHILE READING OPERATION DATA";
  engine_message(message);
  report_data_error(message);
  engine_stop(272);
}

[[noreturn]] void format_error(int column) {
  engine_message("   IMPROPER NUMBER FORMAT ");
  engine_message(" " + line_text());
  engine_message(std::string(static_cast<std::size_t>(column), ' ') + "*");
  report_data_error("IMPROPER NUMBER FORMAT (COLUMN " + std::to_string(column) + ")");
  engine_stop(272);
}

// The inline print-level line: the next non-blank line starts with the new level.
void inline_print_level() {
  std::string raw;
  for (;;) {
    const int status = read_operation_record(raw);
    if (status != READ_OK)
      end_of_data(status);
    const std::size_t p = raw.find_first_not_of(' ');
    if (p == std::string::npos)
      continue;
    if (!is_digit(raw[p])) {
      engine_message("  ERROR IN OUTPUT CODE NUMBER ");
      report_data_error("ERROR IN OUTPUT CODE NUMBER");
      engine_stop(270);
    }
    control.print_level = raw[p] - '0';
    return;
  }
}

// First four non-blank characters of the current line, blanks between them skipped.
bool starts_with_outp() {
  std::string first;
  for (int c = 1; c <= LAST_COLUMN && first.size() < 4; ++c)
    if (opline.text(c) != ' ')
      first.push_back(opline.text(c));
  return first == "OUTP";
}

// A number cut at column 72 changes its value (1.0E-3 is read as 1.0): text the reader does not
// see is told on the terminal.
void warn_beyond_data_columns(const std::string &raw) {
  const auto kept = static_cast<std::size_t>(LAST_COLUMN);
  std::string beyond = raw.size() > kept ? raw.substr(kept) : std::string();
  beyond += dropped_text();
  const std::size_t first = beyond.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return;
  beyond.erase(0, first);
  beyond.erase(beyond.find_last_not_of(" \t\r") + 1);
  if (beyond.size() > 24)
    beyond = beyond.substr(0, 24) + "...";
  report_input_record(false, control.input_unit, record_number(control.input_unit),
                      "text beyond column 72 of operation data is ignored: \"" + beyond + "\"");
}

// Reads the next data line into opline and sets the reading position before column 1.
void read_data_line(int echo_mode) {
  const bool echo = control.print_level >= 2;
  std::string raw;
  for (;;) {
    const int status = read_operation_record(raw);
    if (status != READ_OK)
      end_of_data(status);
    for (int c = 1; c <= LAST_COLUMN; ++c)
      opline.text(c) =
          c <= static_cast<int>(raw.size()) ? upper(raw[static_cast<std::size_t>(c - 1)]) : ' ';
    if (is_comment(opline.text(1))) {
      if (echo && echo_mode >= 0)
        engine_message(" " + line_text());
      continue;
    }
    warn_beyond_data_columns(raw);
    if (echo && echo_mode == 1)
      engine_message(" " + line_text());
    else if (echo && echo_mode == 2)
      engine_message(" " + fI(mat.npos, position_width(5)) + " " + line_text());
    // What the operation says from here on is about this line (its error line quotes it).
    termrep.last_message.clear();
    if (line_text().find_first_not_of(' ') == std::string::npos)
      continue;
    if (starts_with_outp()) {
      inline_print_level();
      continue;
    }
    opline.column = 0;
    return;
  }
}

// The next character of the data, reading a new line when none has been read yet.
char next_char(int echo_mode) {
  if (opline.column == 0 || opline.column >= LAST_COLUMN)
    read_data_line(echo_mode);
  ++opline.column;
  return opline.text(opline.column);
}

enum class Kind { blank, point, plus, minus, comma, semicolon, exponent, digit, other };

Kind kind_of(char c) {
  switch (c) {
  case ' ':
    return Kind::blank;
  case '.':
    return Kind::point;
  case '+':
    return Kind::plus;
  case '-':
    return Kind::minus;
  case ',':
    return Kind::comma;
  case ';':
    return Kind::semicolon;
  case 'E':
    return Kind::exponent;
  default:
    return is_digit(c) ? Kind::digit : Kind::other;
  }
}

// The words of the number being scanned. The first 16 significant digits are kept exactly in
// two 8-digit integers. Leading zeros are not significant (they only move the point), so that
// 0.00000000000000001234 keeps its digits. Digits beyond the 16th are not kept: after the point
// they are dropped, before the point they still scale the value, so that a long integer keeps
// its magnitude and loses only precision a double could not hold anyway.
struct Number {
  int sign = 1;
  int digits = 0; // significant digits kept, at most 16
  bool significant = false;
  std::int64_t first = 0;  // digits 1..8
  std::int64_t second = 0; // digits 9..16
  int second_digits = 0;
  int fraction_digits = 0; // kept or leading-zero digits after the point
  int dropped_integer_digits = 0;
  int exponent_sign = 1;
  int exponent = 0; // 0..50

  void mantissa_digit(int d, bool fraction) {
    if (!significant && d == 0) {
      if (fraction)
        ++fraction_digits;
      return;
    }
    significant = true;
    if (digits == 16) {
      if (!fraction)
        ++dropped_integer_digits;
      return;
    }
    ++digits;
    if (digits <= 8) {
      first = first * 10 + d;
    } else {
      second = second * 10 + d;
      ++second_digits;
    }
    if (fraction)
      ++fraction_digits;
  }

  // The nearest double to the decimal value: the mantissa is an exact integer, and one
  // correctly rounded conversion applies the whole power of ten.
  double value() const {
    std::int64_t mantissa = first;
    for (int i = 0; i < second_digits; ++i)
      mantissa *= 10;
    mantissa += second;
    if (mantissa == 0)
      return 0.0;
    const int power = exponent_sign * exponent + dropped_integer_digits - fraction_digits;
    const std::string text = std::to_string(mantissa) + "e" + std::to_string(power);
    return sign * std::strtod(text.c_str(), nullptr);
  }
};

enum class Ending { blank, comma, semicolon };

// Sets the end flag from the character just consumed and, unless at the end of the line, from
// the one after it (which stays unread).
void finish(char consumed, int &end_flag) {
  if (consumed == ';')
    end_flag = 1;
  else if (consumed == ',')
    end_flag = 2;
  if (opline.column < LAST_COLUMN) {
    const char next = opline.text(opline.column + 1);
    if (next == ';')
      end_flag = 1;
    else if (next == ',')
      end_flag = 2;
  }
}

// Scans numbers from the reading position; returns the count read.
int read_numbers(double *values, int capacity, int &end_flag, int wanted, int echo_mode) {
  int read = 0;
  int state = 1;
  Number number;
  for (;;) {
    char c;
    Kind kind;
    if (opline.column >= LAST_COLUMN && state != 1) {
      // The end of the line ends a complete number as a blank would; an unfinished one (a
      // sign, a lone point, an exponent without digits) is an error rather than lost silently.
      if (state != 3 && state != 5 && state != 8)
        format_error(LAST_COLUMN + 1);
      c = ' ';
      kind = Kind::blank;
    } else {
      c = next_char(echo_mode);
      kind = kind_of(c);
    }
    Ending ending = Ending::blank;
    bool complete = false;
    switch (kind) {
    case Kind::blank:
      if (state == 1)
        continue;
      if (state == 3 || state == 5 || state == 8) {
        complete = true;
        ending = Ending::blank;
      } else {
        format_error(opline.column);
      }
      break;
    case Kind::point:
      if (state == 1 || state == 2)
        state = 4;
      else if (state == 3)
        state = 5;
      else
        format_error(opline.column);
      continue;
    case Kind::plus:
    case Kind::minus:
      if (state == 1) {
        state = 2;
        if (kind == Kind::minus)
          number.sign = -1;
      } else if (state == 6) {
        state = 7;
        if (kind == Kind::minus)
          number.exponent_sign = -1;
      } else {
        format_error(opline.column);
      }
      continue;
    case Kind::comma:
    case Kind::semicolon:
      if (state == 1) {
        // A terminator before any further number: the list ends here. Fewer values than
        // asked for would leave the caller with stale data, so that is an error.
        if (wanted > 0 && read < wanted)
          missing_values(wanted);
        finish(c, end_flag);
        return read;
      }
      if (state == 3 || state == 5 || state == 8) {
        complete = true;
        ending = kind == Kind::comma ? Ending::comma : Ending::semicolon;
      } else {
        format_error(opline.column);
      }
      break;
    case Kind::exponent:
      if (state == 3 || state == 5)
        state = 6;
      else
        format_error(opline.column);
      continue;
    case Kind::digit: {
      const int d = c - '0';
      if (state <= 3) {
        state = 3;
        number.mantissa_digit(d, false);
      } else if (state <= 5) {
        state = 5;
        number.mantissa_digit(d, true);
      } else {
        state = 8;
        number.exponent = number.exponent * 10 + d;
        if (number.exponent > 50)
          format_error(opline.column);
      }
      continue;
    }
    case Kind::other:
      format_error(opline.column);
    }
    if (!complete)
      continue;
    ++read;
    if (read > capacity) {
      const std::string message =
          fI(read, 5) + " ELEMENTS READ IN: EXEEDS ARRAY SIZE" + fI(capacity, 5);
      engine_message(message);
      report_data_error(message);
      engine_stop(271);
    }
    values[read - 1] = number.value();
    number = Number{};
    state = 1;
    if (read == wanted) {
      finish(c, end_flag);
      return read;
    }
    if (ending == Ending::blank)
      continue;
    if (wanted > 0)
      missing_values(wanted);
    if (ending == Ending::semicolon)
      end_flag = 1;
    finish(c, end_flag);
    return read;
  }
}

} // namespace

int read_operation_record(std::string &line) {
  const int status = read_record(control.input_unit, line);
  if (status == READ_OK)
    ++iodata.line_number;
  return status;
}

void report_data_error(std::string_view message) {
  termrep.data_error_told = true;
  report_input_record(true, control.input_unit, record_number(control.input_unit), message);
}

void report_data_warning(std::string_view message) {
  report_input_record(false, control.input_unit, record_number(control.input_unit), message);
}

void report_operation_warning(std::string_view message) {
  if (termrep.operation_unit == 0)
    return;
  report_input_record(false, termrep.operation_unit, termrep.operation_record, message);
}

void missing_values(int wanted) {
  const std::string message = "   ERROR--" + fI(wanted, 3) + " ELEMENTS WERE NOT FOUND";
  engine_message(message);
  report_data_error(message);
  engine_stop(273);
}

int truncated(double value) {
  if (std::isnan(value))
    return 0;
  if (value >= static_cast<double>(INT_MAX))
    return INT_MAX;
  if (value <= static_cast<double>(INT_MIN))
    return INT_MIN;
  return static_cast<int>(value);
}

void input(std::string &name, int &name_width, double *values, int capacity, int &end_flag,
           int &count, int echo_mode) {
  const int wanted = count;
  count = 0;
  if (name_width > 0) {
    const int width = name_width;
    name.assign(static_cast<std::size_t>(width), ' ');
    name_width = 0;
    char c;
    for (;;) {
      c = next_char(echo_mode);
      if (is_letter(c) || is_digit(c))
        break;
      // A terminator before the name ends the call with a blank name: a ";" skipped here
      // would let the next lines, which belong to the lattice language, be read as data.
      if (c == ',' || c == ';') {
        end_flag = c == ';' ? 1 : 2;
        return;
      }
    }
    // A word longer than the width is read to its end and cut, as names are everywhere else,
    // so that its tail is not taken for the next name or number.
    int filled = 0;
    name[static_cast<std::size_t>(filled++)] = c;
    while (opline.column < LAST_COLUMN) {
      c = opline.text(++opline.column);
      if (c == ' ')
        break;
      if (c == ',' || c == ';') {
        end_flag = c == ';' ? 1 : 2;
        break;
      }
      if (filled < width)
        name[static_cast<std::size_t>(filled++)] = c;
    }
    name_width = filled;
  }
  // A name that ends at column 72 does not end the numbers: they follow on the next line.
  if (capacity <= 0 || wanted == 0)
    return;
  count = read_numbers(values, capacity, end_flag, wanted, echo_mode);
}

int input_record(int &end_flag, int count) {
  std::string name;
  int width = 0;
  input(name, width, cintak.values.data(), NINPUT, end_flag, count, 1);
  return count;
}

void outcon(int, int &end_flag) {
  input_record(end_flag, 1);
  control.print_level = truncated(cintak.values(1));
}

} // namespace vorax
