// The hashed name index answers every question as a search from the first entry would.
#include "common/name_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vorax {
namespace {

int linear_find(const MachineTable<Name8> &names, int count, const Name8 &name) {
  for (int i = 1; i <= count; ++i)
    if (names(i) == name)
      return i;
  return 0;
}

// Random tables drawn from few names, so that names are defined again and again: they are
// appended, emptied, cut back and renumbered as the front end and the conversion do, and every
// lookup between two changes is compared with the linear search.
TEST(NameIndex, FindsWhatTheLinearSearchFindsThroughEveryChangeOfTheTable) {
  std::mt19937 draw(20260512);
  constexpr int capacity = 300;
  for (int round = 0; round < 20; ++round) {
    MachineTable<Name8> names(capacity);
    NameIndex index(capacity);
    // Names of one to eight characters: "Q", "Q1" .. "QUADRUP7", so that prefixes of each other
    // share their first bytes in the hash key.
    const int pool = 5 + round * 10;
    auto some_name = [&] {
      const int k = static_cast<int>(draw() % pool);
      return Name8(std::string("QUADRUPOLE").substr(0, 1 + k % 7) + std::to_string(k % 9));
    };
    int count = 0;
    for (int step = 0; step < 400; ++step) {
      const unsigned action = draw() % 20;
      if (action < 14 && count < capacity) {
        names(++count) = some_name(); // a definition, often of a name already there
      } else if (action == 14) {
        count = 0; // the table is emptied
      } else if (action == 15) {
        count = static_cast<int>(draw() % (count + 1)); // cut back
      } else if (action == 16 && count > 0) {
        names(1 + static_cast<int>(draw() % count)) = some_name(); // renumbered in place
        index.clear();
      }
      for (int probe = 0; probe < 3; ++probe) {
        const Name8 name = some_name();
        ASSERT_EQ(index.find(name, names, count), linear_find(names, count, name))
            << "round " << round << " step " << step << " name " << name.str();
      }
      if (count > 0) {
        ASSERT_EQ(index.find(names(count), names, count), linear_find(names, count, names(count)));
      }
    }
  }
}

// A full table: every slot probe must still end, also for names that are not there.
TEST(NameIndex, AFullTableStillAnswersForMissingNames) {
  constexpr int capacity = 64;
  MachineTable<Name8> names(capacity);
  NameIndex index(capacity);
  for (int i = 1; i <= capacity; ++i)
    names(i) = Name8("N" + std::to_string(i));
  EXPECT_EQ(index.find(Name8("N64"), names, capacity), 64);
  EXPECT_EQ(index.find(Name8("N65"), names, capacity), 0);
  EXPECT_EQ(index.find(Name8("N1"), names, capacity + 10), 1); // never past the table
}

} // namespace
} // namespace vorax
