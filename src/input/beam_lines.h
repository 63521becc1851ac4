// Beam lines (LINE), the used machine (USE), its iterative expansion and EXPLODE.
#pragma once

#include "common/limits.h"
#include "common/table.h"

namespace vorax {

// List storage: circular doubly-linked rings of cells.
struct Lpdata {
  int count = 0;
  Table<int, 1, MAXLST> ctype;
  Table<int, 1, MAXLST> prev;
  Table<int, 1, MAXLST> next;
  Table<int, 1, MAXLST> rep;
  Table<int, 1, MAXLST> ref;
  Table<int, 1, MAXLST> args;
};
inline Lpdata lpdata;

// The expanded machine: element-table indices, 5000 + line (start), 6000 + line (end).
struct Seqnum {
  Table<int, 1, MAXPOS> value;
};
inline Seqnum seqnum;

struct Seqflg {
  Table<int, 1, MAXPOS> value;
};
inline Seqflg seqflg;

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

// Front-end flags: word 5 set while a machine is expanded, word 7 when USE gave SYMM.
struct Flags {
  Table<int, 1, 8> value;
};
inline Flags flags;

void line(const Name8 &name, int name_length);
void use();
void xplode();

} // namespace vorax
