// A hashed index of the names of a 1-based table, so that finding a name does not search the
// table from its first entry: defining n names costs n steps, not n * n.
#pragma once

#include "common/table.h"

#include <cstdint>
#include <cstring>

namespace vorax {

// The table's entries are appended one after the other and keep their names; the index follows
// the count of entries in use, indexing the entries appended since it last looked. A count below
// the one indexed (the table was emptied) indexes again from the start. A code that renumbers
// the entries clears the index. Of several entries with one name the first is found, as a search
// from the first entry finds it.
class NameIndex {
public:
  // capacity: the most entries the table can hold.
  explicit NameIndex(int capacity)
      : capacity_(capacity > 0 ? capacity : 1), bits_(slot_bits(capacity_)), slots_(1 << bits_) {}

  // The first of entries 1..count whose name is the given one, 0 when none is.
  template <class Names> int find(const Name8 &name, const Names &names, int count) {
    if (count > capacity_)
      count = capacity_;
    if (count < indexed_)
      clear();
    while (indexed_ < count)
      add(++indexed_, names);
    for (unsigned h = home(name);; h = next(h)) {
      const int entry = slots_(static_cast<int>(h) + 1);
      if (entry == 0)
        return 0;
      if (names(entry) == name)
        return entry;
    }
  }

  void clear() {
    if (indexed_ > 0)
      slots_.fill(0);
    indexed_ = 0;
  }

private:
  // At most two thirds of the slots are ever in use, which keeps the probe sequences short.
  static int slot_bits(int capacity) {
    int bits = 4;
    while ((1LL << bits) < 3LL * capacity / 2 + 1)
      ++bits;
    return bits;
  }
  unsigned home(const Name8 &name) const {
    std::uint64_t key = 0;
    std::memcpy(&key, name.c.data(), sizeof key);
    return static_cast<unsigned>((key * 0x9E3779B97F4A7C15ULL) >> (64 - bits_));
  }
  unsigned next(unsigned h) const { return (h + 1) & ((1U << bits_) - 1); }

  template <class Names> void add(int entry, const Names &names) {
    const Name8 &name = names(entry);
    for (unsigned h = home(name);; h = next(h)) {
      int &slot = slots_(static_cast<int>(h) + 1);
      if (slot == 0) {
        slot = entry;
        return;
      }
      if (names(slot) == name) // an earlier entry of the name stays the one found
        return;
    }
  }

  int capacity_;
  int bits_;
  MachineTable<int> slots_; // entry number in each slot, 0 when free
  int indexed_ = 0;         // entries 1..indexed_ are in the slots
};

} // namespace vorax
