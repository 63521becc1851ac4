// The parts of the collector that whole collections exercise only in part: statistics
// against closed forms, run names and numbers, identities that differ between runs.
#include "collect/run_identity.h"
#include "collect/run_names.h"
#include "collect/statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using namespace vorax;
using namespace vorax::collect;

namespace {

// 1 .. n: mean (n+1)/2, mean square (n+1)(2n+1)/6, variance (n^2-1)/12; percentiles on the
// straight line through the sorted values; non-finite values counted and left out; the
// result bit for bit the same in any order, zeros of either sign included.
TEST(CollectStatistics, ClosedFormsOfTheWholeNumbersInAnyOrder) {
  const double inf = std::numeric_limits<double>::infinity();
  for (int n : {1, 2, 5, 64}) {
    SCOPED_TRACE(n);
    std::vector<double> values;
    for (int i = n; i >= 1; --i)
      values.push_back(i);
    values.push_back(std::nan(""));
    values.push_back(-inf);
    const ColumnStatistics s = statistics_of(values, {0, 25, 50, 100});
    const double m = n;
    EXPECT_EQ(s.count, static_cast<std::size_t>(n));
    EXPECT_EQ(s.nonfinite, 2u);
    EXPECT_DOUBLE_EQ(s.mean, (m + 1) / 2);
    EXPECT_DOUBLE_EQ(s.rms, std::sqrt((m + 1) * (2 * m + 1) / 6));
    EXPECT_NEAR(s.std, std::sqrt((m * m - 1) / 12), 1e-14 * m);
    EXPECT_NEAR(s.rms * s.rms, s.mean * s.mean + s.std * s.std, 1e-12 * m * m);
    EXPECT_EQ(s.min, 1);
    EXPECT_EQ(s.max, m);
    const std::vector<double> expected{1, 1 + (m - 1) / 4, (m + 1) / 2, m};
    EXPECT_EQ(s.percentiles, expected);
  }
  std::vector<double> values{0.1, -0.0, 0.7, 1e-17, 0.0, -0.3, 0.2, 1e17, -1e17};
  const ColumnStatistics first = statistics_of(values, {10, 90});
  EXPECT_EQ(first.mean, (0.1 + 0.7 + 1e-17 - 0.3 + 0.2) / 9); // compensated: no cancellation
  std::sort(values.begin(), values.end(), [](double a, double b) { return a > b; });
  for (int turn = 0; turn < 9; ++turn) {
    std::rotate(values.begin(), values.begin() + 1, values.end());
    const ColumnStatistics again = statistics_of(values, {10, 90});
    EXPECT_EQ(std::memcmp(&again.mean, &first.mean, sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&again.std, &first.std, sizeof(double)), 0);
    EXPECT_EQ(again.percentiles, first.percentiles);
  }
  EXPECT_TRUE(std::signbit(statistics_of({0.0, -0.0}, {}).min));
  EXPECT_TRUE(std::signbit(statistics_of({-0.0, 0.0}, {}).min));
  const ColumnStatistics none = statistics_of({std::nan("")}, {50});
  EXPECT_EQ(none.count, 0u);
  EXPECT_TRUE(std::isnan(none.mean) && std::isnan(none.percentiles[0]));
}

TEST(CollectNames, RunNumbersNamesAndTheirOrder) {
  std::vector<long long> runs;
  EXPECT_EQ(parse_run_list("1-3,7,10-20:5", runs), "");
  EXPECT_EQ(runs, (std::vector<long long>{1, 2, 3, 7, 10, 15, 20}));
  for (const char *bad : {"", "1,", "a-3", "-3", "4-2", "1-5:0", "1-2000000"})
    EXPECT_NE(parse_run_list(bad, runs), "") << bad;
  std::string name;
  EXPECT_EQ(name_of_run("s/%3a/t%a_100%%.tfs", 7, name), "");
  EXPECT_EQ(name, "s/007/t7_100%.tfs");
  EXPECT_EQ(name_of_run("run%a/%3a", 1234, name), "");
  EXPECT_EQ(name, "run1234/1234"); // wider than the padding: all digits kept
  EXPECT_NE(name_of_run("run%d.tfs", 1, name), "");
  EXPECT_NE(name_of_run("run.tfs", 1, name), "");
  std::vector<std::string> names{"r10/t", "r9/t", "r2/t10", "r2/t9", "r02/t1", "r1/t"};
  std::sort(names.begin(), names.end(), natural_less);
  EXPECT_EQ(names,
            (std::vector<std::string>{"r1/t", "r02/t1", "r2/t9", "r2/t10", "r9/t", "r10/t"}));
  EXPECT_EQ(expand_name("/nonexistent-vorax/*.tfs"), std::vector<std::string>{});
  EXPECT_EQ(expand_name("/nonexistent-vorax/a.tfs"),
            std::vector<std::string>{"/nonexistent-vorax/a.tfs"});
}

// Overrides become one column each, numeric when every run gives a number; a later value of a
// name wins; a column some runs lack is real with nan there (text: empty).
TEST(CollectIdentity, OverridesAndColumnsThatSomeRunsLack) {
  const auto identity = [](const std::string &header) {
    ReadTable r = parse_table(header + "* A\n$ %le\n 1\n");
    EXPECT_EQ(r.state, TableState::usable) << r.why;
    std::vector<IdentityValue> values;
    EXPECT_EQ(identity_of(r.table, values), "");
    return values;
  };
  const auto a = identity("@ RUN_SEED %d 12\n@ RUN_SET %s \"K=1 Q=0.5 K=3 M=ON\"\n");
  const auto b = identity("@ RUN_SET %s \"Q=1e-3 K=2.5\"\n@ RUN_TAG %s \"x\"\n");
  ASSERT_EQ(a.size(), 4u);
  EXPECT_EQ(a[1].name, "SET_K");
  EXPECT_EQ(a[1].value, "3");
  const auto columns = identity_columns({a, b});
  std::vector<std::string> names;
  std::vector<TfsType> types;
  for (const IdentityColumn &c : columns)
    names.push_back(c.name), types.push_back(c.type);
  EXPECT_EQ(names,
            (std::vector<std::string>{"FILE", "RUN_SEED", "SET_K", "SET_Q", "SET_M", "RUN_TAG"}));
  EXPECT_EQ(types, (std::vector<TfsType>{TfsType::text, TfsType::real, TfsType::real, TfsType::real,
                                         TfsType::text, TfsType::text}));
  EXPECT_EQ(identity_cells(columns, "b.tfs", b),
            (std::vector<std::string>{"\"b.tfs\"", "nan", "2.5000000000000000e+00",
                                      "1.0000000000000000e-03", "\"\"", "\"x\""}));
  ReadTable bad = parse_table("@ RUN_SET %s \"K=1 Q\"\n* A\n$ %le\n 1\n");
  std::vector<IdentityValue> values;
  EXPECT_NE(identity_of(bad.table, values), "");
}

} // namespace
