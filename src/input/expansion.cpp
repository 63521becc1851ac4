// Expansion of the used beam line into the flat machine sequence, and the binding of actual
// arguments to formal arguments. The expansion is iterative: the state of every enclosing
// traversal is saved in the head cell of the list being traversed.
#include "input/beam_lines.h"

#include "common/format.h"
#include "common/units.h"
#include "input/command_loop.h"
#include "input/diagnostics.h"
#include "input/elements.h"
#include "input/reader.h"

#include <cstdlib>

namespace vorax {

namespace {

std::string quoted_name(int entry) {
  return quoted(name_text(elmnam.name(entry)));
}

void expansion_error(const std::string &text) {
  write_record(iodata.log_unit, "0*** ERROR *** " + text);
  ++iodata.error_count;
  report_input(true, iodata.command_line, text);
}

// Appends one position; false when the sequence is full and the overflow stop returned.
bool append(int value, int &seq_length) {
  if (seq_length >= machine_limits().maxpos) {
    ovflow(4, machine_limits().maxpos);
    return false;
  }
  seqnum.value(++seq_length) = value;
  return true;
}

// The traversal in progress: current cell, passes left over the current list, direction.
struct Walk {
  int cell = 0;
  int passes = 0;
  int direction = 1;
};

// Enters the list at head from the member cell `from` (0 for the used line itself) with the
// member's signed repetition; line is the line index for a named line, 0 for an anonymous list.
bool enter(Walk &w, int head, int from, int repetition, int line, int &seq_length) {
  lpdata.rep(head) = w.passes * w.direction; // never 0: a list is entered with passes left
  lpdata.ref(head) = from;
  lpdata.args(head) = line;
  w.passes = std::abs(repetition);
  w.direction = repetition < 0 ? -w.direction : w.direction;
  w.cell = head;
  return line == 0 || append(line_start_mark() + line, seq_length);
}

// After an interrupted expansion: clears the saved state of every list still entered.
void unwind(int cell) {
  while (cell != 0) {
    int head = cell;
    while (lpdata.ctype(head) != CELL_HEAD)
      head = lpdata.next(head);
    cell = lpdata.ref(head);
    lpdata.rep(head) = 0;
    lpdata.ref(head) = 0;
    lpdata.args(head) = 0;
  }
}

} // namespace

void frmset(int line_index, int actual, int &error) {
  error = 0;
  const int first = elmdat.first(line_index);
  const int last = elmdat.last(line_index);
  if (first == 0) {
    if (actual != 0) {
      expansion_error("ACTUAL ARGUMENT LIST IS REDUNDANT FOR LINE " + quoted_name(line_index));
      error = 1;
    }
    return;
  }
  if (actual == 0) {
    expansion_error("ACTUAL ARGUMENT LIST IS MISSING FOR LINE " + quoted_name(line_index));
    error = 1;
    return;
  }
  // Formals were allocated downward: declaration order runs from last to first.
  int member = lpdata.next(actual);
  int formal = last;
  while (member != actual && formal >= first) {
    const int slot = lpdata.next(elmdat.list(formal));
    lpdata.ctype(slot) = lpdata.ctype(member);
    lpdata.rep(slot) = lpdata.rep(member);
    lpdata.ref(slot) = lpdata.ref(member);
    lpdata.args(slot) = lpdata.args(member);
    member = lpdata.next(member);
    --formal;
  }
  if (formal >= first) {
    expansion_error("TOO FEW ACTUAL ARGUMENTS FOUND FOR LINE " + quoted_name(line_index));
    error = 1;
  } else if (member != actual) {
    expansion_error("TOO MANY ACTUAL ARGUMENTS FOUND FOR LINE " + quoted_name(line_index));
    error = 1;
  }
}

void expand(int line_index, int actual, int &element_count, int &seq_length, int &first, int &last,
            int &error) {
  const int start = seq_length;
  element_count = 0;
  first = 0;
  last = 0;
  int failed = 0;
  frmset(line_index, actual, failed);
  // A failed binding of the used line leaves nothing to expand.
  bool running = failed == 0;
  Walk w;
  w.passes = 1;
  if (running)
    running = enter(w, elmdat.list(line_index), 0, 1, line_index, seq_length);
  while (running) {
    const int cell = w.direction > 0 ? lpdata.next(w.cell) : lpdata.prev(w.cell);
    w.cell = cell;
    if (lpdata.ctype(cell) == CELL_HEAD) {
      // One pass over this list is complete.
      const int owner_line = lpdata.args(cell);
      if (owner_line != 0 && !append(line_end_mark() + owner_line, seq_length)) {
        running = false;
        break;
      }
      if (--w.passes > 0) {
        if (owner_line != 0)
          running = append(line_start_mark() + owner_line, seq_length);
        continue;
      }
      const int saved = lpdata.rep(cell);
      const int back = lpdata.ref(cell);
      lpdata.rep(cell) = 0;
      lpdata.ref(cell) = 0;
      lpdata.args(cell) = 0;
      if (back == 0)
        break; // the used line is finished
      w.passes = std::abs(saved);
      w.direction = saved < 0 ? -1 : 1;
      w.cell = back;
      continue;
    }
    const int rep = lpdata.rep(cell);
    const int ref = lpdata.ref(cell);
    if (rep == 0 || ref == 0)
      continue;
    if (lpdata.ctype(cell) == CELL_SUBLIST) {
      running = enter(w, ref, cell, rep, 0, seq_length);
      continue;
    }
    const int kind = elmdat.kind(ref);
    if (kind >= 1) {
      const int times = std::abs(rep);
      for (int t = 0; t < times && running; ++t)
        running = append(ref, seq_length);
      element_count += times;
    } else if (kind == 0) {
      const int body = elmdat.list(ref);
      if (lpdata.rep(body) != 0) {
        expansion_error("THE BEAM LINE " + quoted_name(ref) + " REFERS TO ITSELF");
        failed = 1;
      } else if (ref < elmdat.high_mark) {
        int bad = 0;
        frmset(ref, lpdata.args(cell), bad);
        if (bad != 0)
          failed = 1;
        else
          running = enter(w, body, cell, rep, ref, seq_length);
      } else {
        running = enter(w, body, cell, rep, 0, seq_length); // a formal argument
      }
    } else {
      expansion_error("UNDEFINED ELEMENT " + quoted_name(ref) + " ENCOUNTERED DURING EXPANSION");
      failed = 1;
    }
  }
  if (!running)
    unwind(w.cell);
  if (failed == 0 && running) {
    write_record(iodata.log_unit, "0... BEAM LINE " + quoted_name(line_index) +
                                      " EXPANDED:" + fI(element_count, 10) + " ELEMENTS," +
                                      fI(seq_length, 10) + " POSITIONS");
    first = start + 1;
    last = seq_length;
    error = 0;
    return;
  }
  const std::string message = "EXPANSION OF " + quoted_name(line_index) + " FAILED";
  write_record(iodata.log_unit, "0*** ERROR *** " + message);
  ++iodata.error_count;
  report_input(true, iodata.command_line, message);
  error = 1;
}

} // namespace vorax
