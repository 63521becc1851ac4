// Beam lines (LINE), the used machine (USE), its iterative expansion and EXPLODE.
#pragma once

#include "common/limits.h"
#include "common/reset.h"
#include "common/table.h"

#include <string>
#include <string_view>

namespace vorax {

// List storage: circular doubly-linked rings of cells.
struct Lpdata {
  static constexpr bool machine_sized = true;
  int count = 0;
  MachineTable<int> ctype{machine_limits().maxlst};
  MachineTable<int> prev{machine_limits().maxlst};
  MachineTable<int> next{machine_limits().maxlst};
  MachineTable<int> rep{machine_limits().maxlst};
  MachineTable<int> ref{machine_limits().maxlst};
  MachineTable<int> args{machine_limits().maxlst};
};
inline Lpdata lpdata;
inline const AreaRegistration lpdata_registration{reset_area<lpdata>};

// The expanded machine: element-table indices, and the line markers below.
struct Seqnum {
  static constexpr bool machine_sized = true;
  MachineTable<int> value{machine_limits().maxpos};
};
inline Seqnum seqnum;
inline const AreaRegistration seqnum_registration{reset_area<seqnum>};

struct Seqflg {
  static constexpr bool machine_sized = true;
  MachineTable<int> value{machine_limits().maxpos};
};
inline Seqflg seqflg;
inline const AreaRegistration seqflg_registration{reset_area<seqflg>};

// (1) used line, (2) its actual-argument head, (3) SUPER, (4) element positions,
// (5) sequence length, (6) first and (7) last position, (8) unused.
struct Period {
  Table<int, 1, 8> value;
  Period() {
    value.fill(0);
    value(3) = 1;
  }
};
inline Period period;
inline const AreaRegistration period_registration{reset_area<period>};

// Front-end flags: word 5 set while a machine is expanded, word 7 when USE gave SYMM.
struct Flags {
  Table<int, 1, 8> value;
};
inline Flags flags;
inline const AreaRegistration flags_registration{reset_area<flags>};

// Cell types of the list storage.
inline constexpr int CELL_HEAD = 1;
inline constexpr int CELL_SUBLIST = 2;
inline constexpr int CELL_NAMED = 3;

// Machine-sequence markers: the start of a pass over line i is MAXELM + i, its end 2 MAXELM + i
// (5000 + i and 10000 + i in the classic tables); values up to MAXELM are elements. (An end mark
// of 6000 + i would collide with the start mark of line i + 1000 in any deck with more than 1000
// names.) They follow the element table's size, so that every line index has its marks.
inline int line_start_mark() {
  return machine_limits().maxelm;
}
inline int line_end_mark() {
  return 2 * machine_limits().maxelm;
}

void line(const Name8 &name, int name_length);
void use();
void xplode();

// Optional formal-argument list "(X, Y, ...)" of LINE; first..last is the formal range in the
// upper element table (0, 0 without formals).
void decfrm(int &first, int &last, int &error);
// Parenthesised list body at the cursor, members resolved first among the formals first..last.
void declst(int &head, int first_formal, int last_formal, int &error);
// Line name and actual arguments of USE.
void decuse(int &line_index, int &actual, int &error);
// Binds the actual-argument list to the formals of the line.
void frmset(int line_index, int actual, int &error);
// Expands the line into seqnum from position seq_length + 1 on.
void expand(int line_index, int actual, int &element_count, int &seq_length, int &first, int &last,
            int &error);

// A new empty list (head cell), and a member cell linked right of the given cell; 0 only if
// the storage is full and the overflow stop did not end the run.
int newlst();
int newrgt(int cell);

// Length of the text without trailing blanks, at least 1.
int length(std::string_view text);
// A name as messages show it: without its trailing blanks.
inline std::string_view name_text(const Name8 &name) {
  return name.view().substr(0, static_cast<std::size_t>(length(name.view())));
}
// Writes number (0..99) as two characters, tens digit blank below 10, at column position
// (1-based) of a run-time format text.
void form(int number, int position, std::string &format);
// Elapsed time of a command: always 0, so that the message log is the same on every run.
double timex();
// The end-of-command message with the time from timex().
void timer(std::string_view text, const Name8 &command, int command_length);

} // namespace vorax
