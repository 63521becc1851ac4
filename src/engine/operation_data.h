// The free-format reader of operation data.
#pragma once

#include "common/messages.h"
#include "common/reset.h"
#include "common/table.h"

#include <string>
#include <string_view>

namespace vorax {

// The current data line (columns 1..72) and the reading position in it, shared by every call
// of the reader within one operation. Position 0: the next call starts on a new line.
struct Opline {
  Table<char, 1, 72> text;
  int column = 0;
  Opline() { text.fill(' '); }
};
inline Opline opline;
inline const AreaRegistration opline_registration{reset_area<opline>};

// Reads an optional name and numbers from the operation data. Value k is stored at
// values[k - 1]; most callers pass cintak.values.data(). name_width: in, the width of the name
// to read (0: none); out, the positions filled. capacity: the most values the caller takes.
// end_flag: set to 1 after ";", 2 after ",", else unchanged. count: in, n > 0 exactly n values,
// 0 none, < 0 any number up to "," or ";"; out, the number read. echo_mode: 1 echo each data
// line, 2 echo it behind the position count, 0 no echo, negative not even comment lines.
// A "," or ";" met before the name ends the call with a blank name and no numbers.
void input(std::string &name, int &name_width, double *values, int capacity, int &end_flag,
           int &count, int echo_mode);

// Reads the next record of the operation stream. The engine reads the same units as the front
// end, so its lines are counted in the front end's line number too.
int read_operation_record(std::string &line);

// Reads numbers without a name into cintak (at most NINPUT): exactly count of them, or with a
// negative count any number up to "," or ";". Returns the number of values read.
int input_record(int &end_flag, int count = -1);

void outcon(int code, int &end_flag); // OUTP

// An error in the operation data of the deck, also on the terminal as FILE:LINE: error: TEXT
// for the record last read.
void report_data_error(std::string_view message);

// The stop for data that end before the wanted number of values: a message and error 273.
[[noreturn]] void missing_values(int wanted);

// A value truncated toward zero, limited to the int range (data values may be anything).
int truncated(double value);

} // namespace vorax
