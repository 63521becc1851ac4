// The command loop of the lattice language: reads one command at a time, tells labels from
// keywords, dispatches, and enters scan mode after the first erroneous command.
#include "input/command_loop.h"

#include "common/format.h"
#include "common/halt.h"
#include "common/plot.h"
#include "common/units.h"
#include "input/beam_lines.h"
#include "input/conversion.h"
#include "input/diagnostics.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/reader.h"

#include <array>

namespace vorax {

namespace {

enum Command : int {
  CMD_DUMP = 1,
  CMD_RETURN,
  CMD_LINE,
  CMD_PARAMETE,
  CMD_CALL,
  CMD_STOP,
  CMD_TITLE,
  CMD_USE,
  CMD_OPEN,
  CMD_CLOSE,
  CMD_VORAX,
  CMD_UMERIDOX,
  CMD_ULDF,
  CMD_USTANDAR,
  CMD_EXPLODE,
  CMD_NEWBEAMO,
  CMD_NOECHO,
  CMD_ECHO,
  CMD_COSY,
};

const std::array<Name8, 19> &command_table() {
  static const std::array<Name8, 19> table{
      Name8("DUMP"),     Name8("RETURN"),   Name8("LINE"), Name8("PARAMETE"), Name8("CALL"),
      Name8("STOP"),     Name8("TITLE"),    Name8("USE"),  Name8("OPEN"),     Name8("CLOSE"),
      Name8("VORAX"),    Name8("UMERIDOX"), Name8("ULDF"), Name8("USTANDAR"), Name8("EXPLODE"),
      Name8("NEWBEAMO"), Name8("NOECHO"),   Name8("ECHO"), Name8("COSY")};
  return table;
}

// Replaces the exhausted input line by an injected command, read from column 1.
void inject(std::string_view text) {
  for (int i = 1; i <= 80; ++i)
    rdbuff(i) = i <= static_cast<int>(text.size()) ? text[static_cast<std::size_t>(i - 1)] : ' ';
  rdbuff(81) = ';';
  iodata.column = 1;
  iodata.token_column = 1;
}

// Returns true when the engine ended the run (the COSY operation), as STOP would.
bool convert_and_run() {
  if (ioflag.scan_mode != 0) {
    rdend(103);
    return false;
  }
  if (flags.value(5) == 0)
    rdwarn("** WARNING ** NO BEAM LINE SELECTED BY \"USE\" --- THE ENGINE STARTS ON AN EMPTY "
           "MACHINE");
  vxmatd();
  const auto engine_entry = command_loop_seam.hooks().engine_entry;
  return engine_entry != nullptr && engine_entry();
}

} // namespace

int intrac() {
  return 0;
}

void clear() {
  for (int i = 1; i <= 7; ++i)
    flags.value(i) = 0;
  elmdat.low_count = 0;
  elmdat.high_mark = machine_limits().maxelm + 1;
  lpdata.count = 0;
  pardat.low_count = 0;
  pardat.high_mark = machine_limits().maxpar + 1;
  parlst.head = 0;
  prtcls.set_defaults();
}

void ovflow(int kind, int limit) {
  struct Overflow {
    const char *message;
    int code;
  };
  static constexpr Overflow kinds[5] = {
      {"0*** ERROR STOP *** ELEMENT SPACE OVERFLOW", 5},
      {"0*** ERROR STOP *** PARAMETER SPACE OVERFLOW", 9},
      {"0*** ERROR STOP *** LIST SPACE OVERFLOW", 10},
      {"0*** ERROR STOP *** ELEMENT SEQUENCE OVERFLOW", 11},
      {"0*** ERROR STOP *** HARMON ELEMENT TABLE OVERFLOW", 12},
  };
  const Overflow &k = kinds[(kind >= 1 && kind <= 5) ? kind - 1 : 0];
  log_record(k.message);
  log_record(blanks(20) + "THIS VERSION OF \"LDF\" ACCEPTS" + fI(limit, 10) + " ENTRIES");
  ++iodata.error_count;
  report_input(true, iodata.command_line,
               std::string(k.message) + ": THIS VERSION ACCEPTS " + std::to_string(limit) +
                   " ENTRIES");
  plend(iodata.log_unit);
  halt(k.code);
  // A full table cannot be recovered from, even when the error stop is in its recoverable
  // mode: going on would write past the table.
  throw RunEnd{k.code};
}

void cntrol() {
  cuplo.letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  newbm.value = 0;
  noecho.value = 0;
  ioflag.scan_mode = 0;
  ioflag.interactive = intrac();
  for (;;) {
    int form_flag = 1;
    ioflag.command_error = 0;
    rdskip(";");
    if (ioflag.end_of_file != 0) {
      // The end of a called file returns to the standard input; the end of the standard
      // input stops the program.
      inject(iodata.input_unit == STDIN_UNIT ? "STOP!" : "RETURN!");
      ioflag.end_of_file = 0;
    }
    iodata.command_line = iodata.line_number;
    Name8 word, keyword, label;
    int word_length = 0, keyword_length = 0, label_length = 0;
    rdword(word, word_length);
    if (word_length == 0) {
      rdfail("*** ERROR *** COMMAND KEYWORD OR LABEL EXPECTED");
      ioflag.command_error = 1;
    } else if (current_char() == ':') {
      label = word;
      label_length = word_length;
      rdnext();
      if (current_char() == '=') {
        keyword = Name8("PARAMETE");
        keyword_length = 8;
        form_flag = 0;
      } else {
        rdword(keyword, keyword_length);
        if (keyword_length == 0) {
          rdfail("*** ERROR *** COMMAND KEYWORD EXPECTED");
          ioflag.command_error = 1;
        }
      }
    } else if (current_char() == '=') {
      label = word;
      label_length = word_length;
      keyword = Name8("PARAMETE");
      keyword_length = 8;
      form_flag = 0;
    } else if (current_char() == '(') {
      label = word;
      label_length = word_length;
      keyword = Name8("LINE");
      keyword_length = 4;
    } else {
      keyword = word;
      keyword_length = word_length;
    }

    if (ioflag.command_error == 0) {
      const auto &table = command_table();
      switch (rdlook(keyword, table.data(), 1, static_cast<int>(table.size()))) {
      case 0:
        elmdef(keyword, keyword_length, label, label_length);
        break;
      case CMD_DUMP:
        dump();
        break;
      case CMD_RETURN:
        xretrn();
        break;
      case CMD_LINE:
        line(label, label_length);
        break;
      case CMD_PARAMETE:
        param(label, label_length, form_flag);
        break;
      case CMD_CALL:
        xcall();
        break;
      case CMD_STOP:
        return;
      case CMD_TITLE:
        title();
        break;
      case CMD_USE:
        use();
        break;
      case CMD_OPEN:
        xopen();
        break;
      case CMD_CLOSE:
        xclose();
        break;
      case CMD_VORAX:
        if (convert_and_run())
          return;
        break;
      case CMD_UMERIDOX:
        units.value = 2;
        break;
      case CMD_ULDF:
        units.value = 1;
        break;
      case CMD_USTANDAR:
        units.value = 0;
        break;
      case CMD_EXPLODE:
        xplode();
        break;
      case CMD_NEWBEAMO:
        newbm.value = 1;
        if (convert_and_run())
          return;
        break;
      case CMD_NOECHO:
        noecho.value = 1;
        break;
      case CMD_ECHO:
        noecho.value = 0;
        break;
      case CMD_COSY:
        cosy();
        break;
      default:
        break;
      }
    }

    if (ioflag.command_error != 0) {
      if (ioflag.scan_mode == 0) {
        log_record("0... ENTER SCANNING MODE");
        ioflag.scan_mode = 1;
      }
      rdfind(";");
    }
  }
}

} // namespace vorax
