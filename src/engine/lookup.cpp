// Elements and positions by name, the wildcard name match, and the print test of a position.
#include "engine/lookup.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/shared_areas.h"
#include "engine/operation_data.h"

#include <string_view>

namespace vorax {

namespace {

// The name up to its first blank.
std::string_view name_part(const Name8 &name) {
  const std::string_view v = name.view();
  return v.substr(0, v.find(' '));
}

// "*" matches any run of characters, including none.
bool matches(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

// Interval test with the cursor: inside the current interval, moving on at its end.
bool in_interval(int position, int &cursor) {
  const bool own = cprt.selection == 1 && cprt.interval_mode == 1;
  const int intervals = own ? cprt.interval_count / 2 : mat.nint;
  if (intervals <= 0)
    return position == mat.npos;
  const int count = intervals < MXLIST ? intervals : MXLIST;
  auto bound = [&](int i) { return own ? cprt.intervals(i) : mat.intervals(i); };
  // Intervals that end before the position are passed over, so that one given out of order
  // cannot hold back the intervals after it.
  if (cursor < 1)
    cursor = 1;
  while (cursor <= count && bound(2 * cursor) < position)
    ++cursor;
  if (cursor > count)
    return false;
  const int first = bound(2 * cursor - 1);
  const int last = bound(2 * cursor);
  const bool inside = first <= position && position <= last;
  if (position == last)
    ++cursor;
  return inside;
}

} // namespace

int element_named(const Name8 &name) {
  return chinp.index.find(name, chinp.elname, inputt.nelm);
}

// One pass over the machine gives every element its first position; the pass is made again
// after the machine sequence was written.
int first_position(int element) {
  if (element < 1 || element > blank.first_position.hi())
    return 0;
  if (!blank.first_positions_known) {
    blank.first_position.fill(0);
    const int elements = blank.first_position.hi();
    for (int p = mat.npos; p >= 1; --p)
      if (const int e = blank.mseq(p); e >= 1 && e <= elements)
        blank.first_position(e) = p;
    blank.first_positions_known = true;
  }
  return blank.first_position(element);
}

// In the recoverable-error mode halt returns; the lookups then give 0 and the caller reads the
// recorded error.
int elid(const Name8 &name) {
  if (const int k = element_named(name); k != 0)
    return k;
  engine_message(" ELEMENT NAME DID NOT MATCH MACHINE ELEMENT LIST " + name.str());
  halt(245);
  return 0;
}

int elpos(const Name8 &name) {
  const int k = elid(name);
  if (const int p = first_position(k); p != 0)
    return p;
  engine_message("  ELEMENT #" + fI_fit(k, 5) + " NAME " + name.str() + " IS NOT IN MACHINE LIST");
  halt(246);
  return 0;
}

int poschk(int element) {
  if (const int p = first_position(element); p != 0)
    return p;
  engine_message(" THIS ELEMENT IS NOT IN THE MACHINE LIST ");
  halt(246);
  return 0;
}

int iequal(const Name8 &pattern, const Name8 &name) {
  return matches(name_part(pattern), name_part(name)) ? 1 : 0;
}

// A name that selects the position prints it; with the type mode on, the kind decides and the
// intervals are not consulted. With the interval mode on, the interval cursor still moves at
// the end of its interval after a name match, or later intervals would never be reached.
void prttst(int position, int &cursor, int &result) {
  result = 0;
  const int element = blank.mseq(position);
  const bool selection = cprt.selection == 1;
  bool chosen = false;
  if (selection && cprt.name_mode == 1)
    for (int i = 1; i <= cprt.name_count && !chosen; ++i)
      chosen = iequal(cprt.names(i), chinp.elname(element)) == 1;
  if (!chosen && selection && cprt.type_mode == 1)
    for (int i = 1; i <= cprt.type_count && !chosen; ++i)
      chosen = cprt.types(i) == inputt.kode(element);
  if (selection && (cprt.type_mode == 1 || cprt.interval_mode == 0)) {
    result = chosen ? 1 : 0;
    return;
  }
  const bool inside = in_interval(position, cursor);
  result = chosen || inside ? 1 : 0;
}

} // namespace vorax
