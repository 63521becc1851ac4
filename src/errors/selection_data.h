// What SETM and SETE share: the random option with its table-mode 10, the selected elements with
// their position ranges, and the naming of list entries read but not kept.
#pragma once

#include "common/format.h"
#include "common/halt.h"
#include "common/messages.h"
#include "common/table.h"
#include "engine/deferred_data.h"
#include "engine/operation_data.h"
#include "errors/misalignments.h"

#include <string>
#include <string_view>

namespace vorax {

// Names of the entries of a list that did not fit its table, printed ten to a line.
class NameOverflow {
public:
  bool empty() const { return count_ == 0; }
  void add(const std::string &name) {
    if (count_ % 10 == 0)
      lines_.push_back('\n');
    lines_ += " " + Name8(name).str();
    ++count_;
  }
  // "    3 FURTHER ENTRIES WERE READ AND NOT KEPT:" and the names.
  void report(std::string_view what) const {
    if (count_ == 0)
      return;
    engine_message(fI(count_, 5) + " FURTHER " + std::string(what) + " WERE READ AND NOT KEPT:");
    std::string::size_type start = 1;
    while (start < lines_.size()) {
      const auto end = lines_.find('\n', start);
      engine_message(lines_.substr(start, end == std::string::npos ? end : end - start));
      start = end == std::string::npos ? lines_.size() : end + 1;
    }
  }

private:
  int count_ = 0;
  std::string lines_;
};

// Reads the records of a selection (SETM, SETE) into the caller's tables: its option, then per
// element its name (looked up in the caller's list), its range count and its ranges.
template <int N> class SelectionReader {
public:
  SelectionReader(const char *list_text, int stop_code, Table<int, 1, N> &elements,
                  Table<PositionRanges, 1, N> &ranges, int &count)
      : list_text_(list_text), stop_code_(stop_code), elements_(elements), ranges_(ranges),
        count_(count) {}

  int option() const { return option_; }
  bool table_mode() const { return table_; }

  // find(name) gives the element of the name in the caller's list, 0 when it is not there.
  template <class Find> void take(const DataRecord &record, Find find) {
    const std::string_view role(record.role);
    if (role == "OPTIONS") {
      option_ = truncated(record.value(1));
      if (option_ > 10) {
        option_ -= 10;
        table_ = true;
      }
    } else if (role == "ELEMENT") {
      take_element(record, find(record.name));
    } else if (role == "RANGES" && current_ > 0) {
      PositionRanges &r = ranges_(current_);
      const int n = record.count / 2;
      for (int i = 1; i <= n && i <= MAX_RANGES; ++i) {
        r.first(i) = truncated(record.value(2 * i - 1));
        r.last(i) = truncated(record.value(2 * i));
      }
      r.count = n;
      current_ = 0;
    }
  }

private:
  void take_element(const DataRecord &record, int element) {
    current_ = 0;
    const Name8 name(record.name);
    if (element == 0) {
      engine_message("  NAME " + name.str() + " IS NOT IN THE LIST OF THE");
      engine_message(list_text_);
      halt(stop_code_);
      return;
    }
    int m = truncated(record.value(1));
    // The first entry of an element decides where it is misaligned or given errors; a later
    // one could never be consulted.
    for (int s = 1; s <= count_; ++s)
      if (elements_(s) == element) {
        engine_message(" " + name.str() + " IS ALREADY SELECTED: THIS ENTRY HAS NO EFFECT");
        return;
      }
    if (count_ == N)
      return; // the list holds at most N distinct elements, so this is never reached
    if (m < -1) {
      engine_message(" RANGE COUNT" + fI(m, 6) + " OF " + name.str() +
                     " IS NEITHER 0 (EVERY POSITION), -1 (NONE) NOR A NUMBER OF RANGES:"
                     " TAKEN AS -1");
      m = -1;
    }
    const int entry = ++count_;
    elements_(entry) = element;
    // Until its ranges are read (a ";" may end the data before them) it is nowhere selected.
    ranges_(entry).count = m > 0 ? -1 : m;
    if (m > 0)
      current_ = entry;
  }

  std::string list_text_;
  int stop_code_;
  Table<int, 1, N> &elements_;
  Table<PositionRanges, 1, N> &ranges_;
  int &count_;
  int option_ = 0;
  bool table_ = false;
  int current_ = 0;
};

} // namespace vorax
