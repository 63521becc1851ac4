// The source reader: one upper-cased input line at a time, the shared cursor, token readers,
// error and warning markers and their counters.
#pragma once

#include "common/reset.h"
#include "common/table.h"

#include <string>
#include <string_view>

namespace vorax {

// Line buffer: columns 1..80 hold the current line, column 81 always ";".
struct Rdbuff {
  Table<char, 1, 81> text;
  Rdbuff() {
    text.fill(' ');
    text(81) = ';';
  }
  char &operator()(int column) { return text(column); }
  char operator()(int column) const { return text(column); }
};
inline Rdbuff rdbuff;
inline const AreaRegistration rdbuff_registration{reset_area<rdbuff>};
// The current line as it was read, before upper-casing (file names keep their case).
struct Rdraw {
  std::string text;
};
inline Rdraw rdraw;
inline const AreaRegistration rdraw_registration{reset_area<rdraw>};

struct Iodata {
  int input_unit = 15;
  int listing_unit = 16;
  int log_unit = 9;
  int line_number = 0;
  int command_line = 0;
  int column = 81;
  int token_column = 1;
  int warning_count = 0;
  int error_count = 0;
  int unused = 0;
};
inline Iodata iodata;
inline const AreaRegistration iodata_registration{reset_area<iodata>};

struct Ioflag {
  int scan_mode = 0;
  int command_error = 0;
  int word3 = 0;
  int end_of_file = 0;
  int interactive = 0;
  int word6 = 0;
};
inline Ioflag ioflag;
inline const AreaRegistration ioflag_registration{reset_area<ioflag>};

// Lower-case letters followed by upper-case letters; filled by the command loop.
struct Cuplo {
  Chars<52> letters;
};
inline Cuplo cuplo;
inline const AreaRegistration cuplo_registration{reset_area<cuplo>};

struct Noecho {
  int value = 0;
};
inline Noecho noecho;
inline const AreaRegistration noecho_registration{reset_area<noecho>};

// The current character (column 81 holds ";").
inline char current_char() {
  const int c = iodata.column;
  return (c >= 1 && c <= 81) ? rdbuff(c) : ';';
}

void rdinit(int input_unit, int listing_unit, int log_unit);
void rdline();
void rdnext();
void rdword(Name8 &word, int &length);
void rdlabl(Label14 &label, int &length);
void rdint(int &value, int &error);
void rdnumb(double &value, int &error);
void rdtest(std::string_view set, int &error);
void rdskip(std::string_view set);
void rdfind(std::string_view set);
// Index (first..last) of word in table, 0 when absent. table[0] is entry 1, so a 1-based
// name table is passed by its data(): rdlook(word, parnam.name.data(), first, last).
int rdlook(const Name8 &word, const Name8 *table, int first, int last);
void rdfail();
void rdwarn();
// The marker followed by its message on the log unit: rdfail("*** ERROR *** ...").
void rdfail(std::string_view message);
void rdwarn(std::string_view message);
// Warns that the name just read was defined before, in the given line.
void warn_redefinition(int def_line);
// Reads ", NAME" of a command whose name was not given as a label. Without the comma or the
// name (then with the message given) the command is in error and false is returned.
bool read_named_operand(Name8 &name, int &length, std::string_view missing);
void rdend(int code);
void rdfile(int &unit, int &error);
// Keyword-parameter list: n keywords with their types; seen, integer and real values 1..n.
void rdpara(int n, const Name8 *keywords, const int *types, int *seen, int *ivalues,
            double *rvalues, int &error);

// Writes a message to the log unit as one record with a blank carriage control in front:
// log_message("*** ERROR *** ...") right after rdfail/rdwarn.
void log_message(std::string_view text);
// Writes one record to the log unit exactly as given: the text starts with its own
// carriage-control character, as in log_record("0... ENTER SCANNING MODE").
void log_record(std::string_view text);
// The text enclosed in double-quote characters, as messages show names: "Q1".
std::string quoted(std::string_view text);

} // namespace vorax
