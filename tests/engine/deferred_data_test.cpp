// The readers of the operations not yet computed hand on each record of their layouts, names
// cut to 8 characters and values in place, for the handlers that will store them.
#include "engine_fixture.h"

#include "engine/deferred_data.h"

namespace vorax::test {
namespace {

// One line per record handed on: role, names, values.
template <class Reader> std::vector<std::string> records(Reader reader, std::string_view data) {
  start_engine_test(data);
  std::vector<std::string> seen;
  int end_flag = 0;
  reader(end_flag, [&](const DataRecord &r) {
    std::string line = std::string(r.role) + "|" + r.name + "|" + r.second_name + "|";
    for (int k = 1; k <= r.count; ++k)
      line += " " + std::to_string(static_cast<int>(r.value(k)));
    seen.push_back(line);
  });
  return seen;
}

using Seen = std::vector<std::string>;

TEST(DeferredData, RecordsFollowTheLayouts) {
  EXPECT_EQ(records(read_modi_data, " 1 QFLONGNAME K1 2;\n"),
            (Seen{"CHANGE|QFLONGNA|K1      | 2"}));
  EXPECT_EQ(records(read_erro_data, " QF, K1 1 L 2,\n QD K2 3;\n"),
            (Seen{"ELEMENT|QF      ||", "PAIR|QF      |K1      | 1", "PAIR|QF      |L       | 2",
                  "ELEMENT|QD      ||", "PAIR|QD      |K2      | 3"}));
  EXPECT_EQ(records(read_setm_data, " 1 2 QF 1 3 4 QD -1;\n"),
            (Seen{"OPTIONS||| 1 2", "ELEMENT|QF      || 1", "RANGES|QF      || 3 4",
                  "ELEMENT|QD      || -1"}));
  EXPECT_EQ(records(read_adia_data, " QF K1 3 2 1 10 5 20 99;\n"),
            (Seen{"CHANGE|QF      |K1      | 3", "POINTS|QF      |K1      | 1 10 5 20"}));
  EXPECT_EQ(records(read_chan_data, " 1 QF 2 1 QD 3 1 1 0;\n"),
            (Seen{"GROUP|QF      || 2 1", "CHANGE|QD      || 3 1 1 0"}));
  EXPECT_EQ(records(read_read_data, " 1 Q* QF QD;\n"),
            (Seen{"SWITCH||| 1", "PATTERN|Q*      ||", "RANGE|QF      |QD      |"}));
  EXPECT_EQ(
      records(read_move_data, " 0 0 0 1 2 0 0 0 0 0 0 0 7 8 1 2 3 4 5 6 9;\n"),
      (Seen{"SETTINGS||| 0 0 0 1 2 0 0 0 0 0 0 0", "DEVIATIONS||| 7 8", "PLOT||| 1 2 3 4 5 6 9"}));
}

} // namespace
} // namespace vorax::test
