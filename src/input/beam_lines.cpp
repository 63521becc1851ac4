// The LINE and USE commands: formal arguments, list bodies stored as rings of cells, the choice
// of the machine, and the small helpers shared with the expansion (list cells, name lengths,
// the CPU-time message).
#include "input/beam_lines.h"

#include "common/format.h"
#include "common/units.h"
#include "input/command_loop.h"
#include "input/elements.h"
#include "input/reader.h"

#include <cstdlib>

namespace vorax {

namespace {

// Parse states kept in a head cell's ref while its list is being read; rep holds the member
// cell that opened it (0 at top level).
constexpr int PARSE_TOP = 1;
constexpr int PARSE_SUBLIST = 2;
constexpr int PARSE_ARGUMENTS = 3;

void fail_with(std::string_view message) {
  rdfail(message);
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// The formal among first..last with this name, 0 when none.
int find_formal(const Name8 &name, int first, int last) {
  if (first <= 0)
    return 0;
  for (int i = first; i <= last; ++i)
    if (elmnam.name(i) == name)
      return i;
  return 0;
}

// Opens a nested list for the member cell that owns it.
int open_list(int owner, int state) {
  const int head = newlst();
  if (head != 0) {
    lpdata.rep(head) = owner;
    lpdata.ref(head) = state;
  }
  return head;
}

// Closes list head: clears its parse fields and returns the list that encloses it (0 at the
// top). The owner is always the newest member of its ring, so the ring's head is its next cell.
int close_list(int head, int &state) {
  state = lpdata.ref(head);
  const int owner = lpdata.rep(head);
  lpdata.rep(head) = 0;
  lpdata.ref(head) = 0;
  return state == PARSE_TOP ? 0 : lpdata.next(owner);
}

} // namespace

int length(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ')
    --n;
  return n == 0 ? 1 : static_cast<int>(n);
}

int newlst() {
  if (lpdata.count >= machine_limits().maxlst) {
    ovflow(3, machine_limits().maxlst);
    return 0;
  }
  const int cell = ++lpdata.count;
  lpdata.ctype(cell) = CELL_HEAD;
  lpdata.prev(cell) = cell;
  lpdata.next(cell) = cell;
  lpdata.rep(cell) = 0;
  lpdata.ref(cell) = 0;
  lpdata.args(cell) = 0;
  return cell;
}

int newrgt(int cell) {
  if (lpdata.count >= machine_limits().maxlst) {
    ovflow(3, machine_limits().maxlst);
    return 0;
  }
  const int added = ++lpdata.count;
  const int right = lpdata.next(cell);
  lpdata.ctype(added) = CELL_SUBLIST;
  lpdata.rep(added) = 0;
  lpdata.ref(added) = 0;
  lpdata.args(added) = 0;
  lpdata.prev(added) = cell;
  lpdata.next(added) = right;
  lpdata.next(cell) = added;
  lpdata.prev(right) = added;
  return added;
}

void decfrm(int &first, int &last, int &error) {
  first = 0;
  last = 0;
  error = 0;
  if (current_char() != '(')
    return;
  do {
    rdnext(); // the "(" or ","
    Name8 name;
    int len = 0;
    int bad = 0;
    rdword(name, len);
    if (len == 0) {
      fail_with("*** ERROR *** FORMAL ARGUMENT NAME EXPECTED");
      bad = 1;
    } else if (find_formal(name, first, last) != 0) {
      fail_with("*** ERROR *** DUPLICATE FORMAL ARGUMENT " + quoted(name_text(name)));
      bad = 1;
    } else {
      rdtest(",)", bad);
    }
    if (bad == 0) {
      if (elmdat.high_mark - 1 <= elmdat.low_count) {
        ovflow(1, machine_limits().maxelm);
        error = 1;
        return;
      }
      const int formal = --elmdat.high_mark;
      elmnam.name(formal) = name;
      elmnam.type(formal) = Chars<4>();
      elmnam.label(formal) = Label14();
      elmdat.kind(formal) = 0;
      elmdat.first(formal) = 0;
      elmdat.last(formal) = 0;
      elmdat.def_line(formal) = iodata.command_line;
      const int head = newlst();
      if (head == 0 || newrgt(head) == 0) {
        error = 1;
        return;
      }
      elmdat.list(formal) = head;
      first = formal;
      if (last == 0)
        last = formal;
    } else {
      error = 1;
      rdfind(",);");
    }
  } while (current_char() == ',' && ioflag.end_of_file == 0);
  if (current_char() == ')')
    rdnext();
  else
    error = 1;
}

void declst(int &head, int first_formal, int last_formal, int &error) {
  head = 0;
  error = 0;
  int bad = 0;
  rdtest("(", bad);
  if (bad != 0) {
    error = 1;
    return;
  }
  rdnext();
  const int top = open_list(0, PARSE_TOP);
  if (top == 0) {
    error = 1;
    return;
  }
  int list = top; // list whose members are being read
  bool want_member = true;
  while (list != 0) {
    int cell = 0;
    bad = 0;
    if (want_member) {
      cell = newrgt(lpdata.prev(list));
      if (cell == 0) {
        error = 1;
        break;
      }
      int sign = 1;
      int count = 1;
      if (current_char() == '-') {
        sign = -1;
        rdnext();
      }
      if (is_digit(current_char())) {
        rdint(count, bad);
        if (bad == 0)
          rdtest("*", bad);
        if (bad == 0)
          rdnext();
      }
      if (bad == 0) {
        lpdata.rep(cell) = sign * count;
        if (current_char() == '(') {
          rdnext();
          const int sub = open_list(cell, PARSE_SUBLIST);
          if (sub == 0) {
            error = 1;
            break;
          }
          lpdata.ctype(cell) = CELL_SUBLIST;
          lpdata.ref(cell) = sub;
          list = sub;
          continue;
        }
        Name8 name;
        int len = 0;
        rdword(name, len);
        if (len == 0) {
          fail_with("*** ERROR *** BEAM LINE MEMBER MUST BE BEAM ELEMENT NAME, BEAM LINE NAME, "
                    "OR LIST IN \"()\"");
          bad = 1;
        } else {
          int index = find_formal(name, first_formal, last_formal);
          if (index == 0)
            index = fndelm(iodata.command_line, name);
          lpdata.ctype(cell) = CELL_NAMED;
          lpdata.ref(cell) = index;
          if (current_char() == '(') {
            rdnext();
            const int actual = open_list(cell, PARSE_ARGUMENTS);
            if (actual == 0) {
              error = 1;
              break;
            }
            lpdata.args(cell) = actual;
            list = actual;
            continue;
          }
        }
      }
    }
    if (bad == 0) {
      rdtest(",)", bad);
      if (bad == 0) {
        const bool comma = current_char() == ',';
        rdnext();
        if (comma) {
          want_member = true;
        } else {
          int state = 0;
          list = close_list(list, state);
          want_member = false;
        }
        continue;
      }
    }
    // Recovery: resume at the next list punctuation; a "(" there is read as a list that is
    // thrown away with the rest of the body, so that its own errors are still reported.
    error = 1;
    rdfind("(),;");
    const char c = current_char();
    if (ioflag.end_of_file != 0 || (c != '(' && c != ')' && c != ',')) {
      break;
    }
    rdnext();
    if (c == ',') {
      want_member = true;
    } else if (c == ')') {
      int state = 0;
      list = close_list(list, state);
      want_member = false;
    } else {
      const int owner = cell != 0 ? cell : newrgt(lpdata.prev(list));
      const int sub = owner != 0 ? open_list(owner, PARSE_SUBLIST) : 0;
      if (sub == 0)
        break;
      lpdata.ctype(owner) = CELL_SUBLIST;
      lpdata.ref(owner) = sub;
      list = sub;
      want_member = true;
    }
  }
  // Lists left open by an error: clear their parse fields, the body is discarded.
  while (list != 0) {
    int state = 0;
    list = close_list(list, state);
  }
  if (error == 0)
    head = top;
}

void line(const Name8 &label, int label_length) {
  Name8 name = label;
  int len = label_length;
  int bad = 0;
  if (len == 0) {
    rdtest(",", bad);
    if (bad != 0) {
      ioflag.command_error = 1;
      return;
    }
    rdnext();
    rdword(name, len);
    if (len == 0) {
      fail_with("*** ERROR *** BEAM LINE NAME EXPECTED");
      ioflag.command_error = 1;
      return;
    }
  }
  const int index = fndelm(iodata.command_line, name);
  if (elmdat.kind(index) >= 0) {
    warn_redefinition(elmdat.def_line(index));
    elmdat.kind(index) = -1;
  }
  int first = 0;
  int last = 0;
  int body = 0;
  decfrm(first, last, bad);
  if (bad == 0) {
    if (first != 0)
      rdskip(":LINE");
    rdtest("=", bad);
  }
  if (bad == 0) {
    rdnext();
    declst(body, first, last, bad);
  }
  if (bad == 0)
    rdtest(";", bad);
  if (bad != 0) {
    ioflag.command_error = 1;
    return;
  }
  elmdat.kind(index) = 0;
  elmdat.first(index) = first;
  elmdat.last(index) = last;
  elmdat.list(index) = body;
  elmdat.def_line(index) = iodata.command_line;
}

void decuse(int &line_index, int &actual, int &error) {
  line_index = 0;
  actual = 0;
  error = 0;
  Name8 name;
  int len = 0;
  rdword(name, len);
  if (len == 0) {
    fail_with("*** ERROR *** BEAM LINE NAME EXPECTED");
    error = 1;
    return;
  }
  line_index = named_entry(name);
  if (line_index == 0) {
    fail_with("*** ERROR *** UNKNOWN BEAM LINE NAME " + quoted(name_text(name)));
    error = 1;
    return;
  }
  if (elmdat.kind(line_index) != 0) {
    fail_with("*** ERROR *** " + quoted(name_text(name)) + " IS NOT A BEAM LINE");
    error = 1;
    return;
  }
  if (current_char() == '(')
    declst(actual, 0, 0, error);
}

void use() {
  int error = 0;
  int line_index = 0;
  int actual = 0;
  rdtest(",", error);
  if (error == 0) {
    rdnext();
    decuse(line_index, actual, error);
  }
  static const Name8 keywords[2] = {Name8("SYMM"), Name8("SUPER")};
  static constexpr int types[2] = {0, 1};
  int seen[2] = {0, 0};
  int ivalues[2] = {0, 1};
  double rvalues[2] = {0.0, 0.0};
  if (error == 0)
    rdpara(2, keywords, types, seen, ivalues, rvalues, error);
  if (error == 0 && ioflag.scan_mode != 0)
    return;
  int count = 0;
  int seq_length = 0;
  int first = 0;
  int last = 0;
  if (error == 0) {
    flags.value(7) = seen[0] != 0 ? 1 : 0;
    period.value(1) = line_index;
    period.value(2) = actual;
    period.value(3) = ivalues[1] >= 1 ? ivalues[1] : 1;
    expand(line_index, actual, count, seq_length, first, last, error);
  }
  if (error != 0) {
    // No machine is left behind: the sequence words describe nothing until the next USE.
    period.value(3) = 1;
    for (int w = 4; w <= 7; ++w)
      period.value(w) = 0;
    flags.value(5) = 0;
    flags.value(7) = 0;
    ioflag.command_error = 1;
    return;
  }
  period.value(4) = count;
  period.value(5) = seq_length;
  period.value(6) = first;
  period.value(7) = last;
  flags.value(5) = 1;
  for (int p = first; p <= last; ++p)
    seqflg.value(p) = 0;
  seqflg.value(first) = 1;
  seqflg.value(last) = 1;
  timer("... END OF ", Name8("USE"), 3);
}

// The elapsed time is reported as 0: a real clock would make the message log differ from run
// to run, and every listing and log must be reproducible bit for bit.
double timex() {
  return 0.0;
}

void timer(std::string_view text, const Name8 &command, int command_length) {
  const std::size_t n = static_cast<std::size_t>(command_length < 1   ? 1
                                                 : command_length > 8 ? 8
                                                                      : command_length);
  write_record(iodata.log_unit,
               std::string(text) + "\"" + std::string(command.view().substr(0, n)) +
                   "\" COMMAND, ELAPSED CPU TIME = " + fF(timex(), 11, 3) + " SECONDS");
}

} // namespace vorax
