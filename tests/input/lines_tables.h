// Test fixture: builds front-end elements, lines and lists directly in the tables, so the
// expansion and the conversion can be checked without going through the reader.
#pragma once

#include "common/engine_tables.h"
#include "harness.h"
#include "input/beam_lines.h"
#include "input/elements.h"
#include "input/parameters.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace vorax::test {

// A defined element: attribute k given as a constant where listed, undefined otherwise.
inline int element(const std::string &name, int keyword,
                   std::initializer_list<std::pair<int, double>> given = {}) {
  const int e = ++elmdat.low_count;
  elmnam.name(e) = name;
  elmdat.kind(e) = keyword;
  const int n = attribute_count(keyword);
  if (n > 0) {
    const int first = pardat.high_mark - n;
    pardat.high_mark = first;
    for (int node = first; node < first + n; ++node) {
      pardat.kind(node) = PAR_UNDEFINED;
      parval.value(node) = 0.0;
    }
    for (auto [k, v] : given) {
      pardat.kind(first + k - 1) = PAR_CONSTANT;
      parval.value(first + k - 1) = v;
    }
    elmdat.first(e) = first;
    elmdat.last(e) = first + n - 1;
  }
  return e;
}

// A name that is referred to but never defined.
inline int undefined_name(const std::string &name) {
  const int e = ++elmdat.low_count;
  elmnam.name(e) = name;
  elmdat.kind(e) = -1;
  return e;
}

// A list member: a named entry or a sub-list, with its signed repetition.
struct Member {
  int ctype;
  int ref;
  int rep = 1;
  int args = 0;
};
inline Member named(int entry, int rep = 1, int args = 0) {
  return {CELL_NAMED, entry, rep, args};
}
inline Member sub(int head, int rep = 1) {
  return {CELL_SUBLIST, head, rep, 0};
}

inline int list_of(std::initializer_list<Member> members) {
  const int head = newlst();
  for (const Member &m : members) {
    const int cell = newrgt(lpdata.prev(head));
    lpdata.ctype(cell) = m.ctype;
    lpdata.ref(cell) = m.ref;
    lpdata.rep(cell) = m.rep;
    lpdata.args(cell) = m.args;
  }
  return head;
}

// A beam line with formals declared in the given order (allocated downward, as LINE does).
inline int beam_line(const std::string &name, std::vector<int> *formals = nullptr,
                     std::initializer_list<std::string> formal_names = {}) {
  const int e = ++elmdat.low_count;
  elmnam.name(e) = name;
  elmdat.kind(e) = 0;
  for (const std::string &f : formal_names) {
    const int index = --elmdat.high_mark;
    elmnam.name(index) = f;
    elmdat.kind(index) = 0;
    const int head = newlst();
    newrgt(head);
    elmdat.list(index) = head;
    elmdat.first(e) = index;
    if (elmdat.last(e) == 0)
      elmdat.last(e) = index;
    if (formals)
      formals->push_back(index);
  }
  return e;
}
inline void set_body(int line, int head) {
  elmdat.list(line) = head;
}

// The machine sequence first..last of the last expansion as names, markers as "@L" and "*L".
inline std::string sequence_text(int first, int last) {
  std::string out;
  for (int p = first; p <= last; ++p) {
    const int v = seqnum.value(p);
    if (!out.empty())
      out += ' ';
    if (v > line_end_mark())
      out += "*" + std::string(elmnam.name(v - line_end_mark()).trimmed());
    else if (v > line_start_mark())
      out += "@" + std::string(elmnam.name(v - line_start_mark()).trimmed());
    else
      out += std::string(elmnam.name(v).trimmed());
  }
  return out;
}

// Every head cell is idle (expansion fields zero).
inline bool heads_idle() {
  for (int c = 1; c <= lpdata.count; ++c)
    if (lpdata.ctype(c) == CELL_HEAD &&
        (lpdata.rep(c) != 0 || lpdata.ref(c) != 0 || lpdata.args(c) != 0))
      return false;
  return true;
}

// Runs the expansion of a line as USE does and records the outcome in period.
struct Expansion {
  int count = 0, length = 0, first = 0, last = 0, error = 0;
  std::string text;
};
inline Expansion expand_line(int line, int actual = 0) {
  Expansion x;
  expand(line, actual, x.count, x.length, x.first, x.last, x.error);
  if (x.error == 0) {
    period.value(1) = line;
    period.value(4) = x.count;
    period.value(5) = x.length;
    period.value(6) = x.first;
    period.value(7) = x.last;
    flags.value(5) = 1;
    x.text = sequence_text(x.first, x.last);
  }
  return x;
}

} // namespace vorax::test
