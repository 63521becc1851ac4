// Condition codes: the value index of every map coefficient, the ranges of the value table,
// and the limit transformation of varied parameters.
#include "fit/fit_support.h"

#include "common/transfer_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

using namespace vorax;

TEST(Conditions, MapCodesAddressTheirCoefficientInThePackedMap) {
  // Value index 101 + offset of the coefficient in the column-major 6 x 27 map, so the table
  // can be filled from the map in one sweep; check every R and T code against the accessors.
  TransferMap map;
  for (int c = 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      map(i, c) = 1000.0 * i + c;
  std::set<int> seen;
  int codes = 0;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      for (int k = 0; k <= 6; ++k) {
        if (k != 0 && k < j)
          continue;
        const int code = 100 * i + 10 * j + k;
        const Condition c = classify_condition(code);
        ASSERT_EQ(c.source, Source::map) << code;
        EXPECT_EQ(c.second_order, k != 0) << code;
        const double expected = k == 0 ? map.R(i, j) : map.T(i, j, k);
        EXPECT_EQ(map.m.data()[c.index - 101], expected) << code;
        seen.insert(c.index);
        ++codes;
      }
  EXPECT_EQ(codes, 6 * 27);
  EXPECT_EQ(seen.size(), 6u * 27u);
  EXPECT_EQ(*seen.begin(), 101);
  EXPECT_EQ(*seen.rbegin(), 262);
  EXPECT_EQ(map_value_index(110), 101);
  EXPECT_EQ(map_value_index(126), 100 + 16 * 6 + 1);
  EXPECT_EQ(map_value_index(560), 135);
}

TEST(Conditions, CodesThatNameNoCoefficientOrValueAreInvalid) {
  for (int code : {0,   -5,  62,  70,   92,   99,   100,  109,  170,  107, 121,
                   127, 199, 700, 1000, 1001, 1030, 1041, 1070, 1092, 5000})
    EXPECT_EQ(classify_condition(code).source, Source::invalid) << code;
}

TEST(Conditions, RangesOfTheValueTable) {
  struct Case {
    int code;
    Source source;
    int index;
    bool second;
  };
  for (const Case &c :
       {Case{1, Source::periodic, 1, false}, Case{6, Source::periodic, 6, false},
        Case{7, Source::periodic, 7, true}, Case{10, Source::periodic, 10, true},
        Case{11, Source::periodic, 11, false}, Case{18, Source::periodic, 18, true},
        Case{20, Source::periodic, 20, true}, Case{21, Source::lattice_end, 21, false},
        Case{30, Source::lattice_end, 30, false}, Case{31, Source::lattice_fp1, 31, false},
        Case{40, Source::lattice_fp1, 40, false}, Case{41, Source::beam_end, 41, false},
        Case{61, Source::beam_end, 61, false}, Case{71, Source::beam_fp1, 71, false},
        Case{91, Source::beam_fp1, 91, false}, Case{1031, Source::lattice_difference, 301, false},
        Case{1040, Source::lattice_difference, 310, false},
        Case{1071, Source::beam_difference, 311, false},
        Case{1091, Source::beam_difference, 331, false}}) {
    const Condition got = classify_condition(c.code);
    EXPECT_EQ(got.source, c.source) << c.code;
    EXPECT_EQ(got.index, c.index) << c.code;
    EXPECT_EQ(got.second_order, c.second) << c.code;
  }
  // Tracking results have no source in this system; neither they nor the geometry results
  // (S .. PSI at their own indices) are map codes, and 288 after them names nothing.
  for (int code : {93, 98, 271, 278})
    EXPECT_EQ(classify_condition(code).source, Source::tracking) << code;
  for (int code : {281, 287}) {
    EXPECT_EQ(classify_condition(code).source, Source::geometry) << code;
    EXPECT_EQ(classify_condition(code).index, code) << code;
  }
  EXPECT_EQ(classify_condition(288).source, Source::invalid);
}

TEST(Conditions, DataIntegersTruncateAndStayInRange) {
  EXPECT_EQ(data_integer(2.9), 2);
  EXPECT_EQ(data_integer(-2.9), -2);
  EXPECT_EQ(data_integer(1e50), 1000000000);
  EXPECT_EQ(data_integer(-1e50), -1000000000);
  EXPECT_EQ(data_integer(std::nan("")), 0);
}

TEST(ParameterLimits, InsideUnchangedBeyondSqueezedIntoTheMargin) {
  const double lower = 0.0, upper = 1.0, s = 0.1;
  EXPECT_EQ(limited_value(0.25, lower, upper, s), 0.25);
  EXPECT_EQ(limited_value(lower, lower, upper, s), lower);
  EXPECT_EQ(limited_value(upper, lower, upper, s), upper);
  // Continuous at both limits, monotonic outward, and inside lower - s .. upper + s for any
  // value, including the distance 2 / s^2 below the lower limit.
  EXPECT_NEAR(limited_value(lower - 1e-9, lower, upper, s), lower, 1e-9);
  EXPECT_NEAR(limited_value(upper + 1e-9, lower, upper, s), upper, 1e-9);
  std::vector<double> samples;
  for (double d = 1e6; d > 1.0; d /= 1.5)
    samples.push_back(lower - d);
  for (double v = -1.0; v < 2.0; v += 0.01)
    samples.push_back(v);
  for (double d = 1.0; d < 1e6; d *= 1.5)
    samples.push_back(upper + d);
  double previous = -1e300;
  for (double v : samples) {
    const double w = limited_value(v, lower, upper, s);
    ASSERT_TRUE(std::isfinite(w)) << v;
    ASSERT_GE(w, lower - s) << v;
    ASSERT_LE(w, upper + s) << v;
    ASSERT_GE(w, previous) << v;
    previous = w;
  }
  EXPECT_TRUE(std::isfinite(limited_value(lower - 2.0 / (s * s), lower, upper, s)));
  EXPECT_NEAR(limited_value(-1e12, lower, upper, s), lower - s, 1e-9);
  EXPECT_NEAR(limited_value(1e12, lower, upper, s), upper + s, 1e-9);
  // Mirror images of each other about the middle of the interval.
  for (double d : {0.01, 0.5, 3.0, 200.0, 1e4})
    EXPECT_NEAR(limited_value(lower - d, lower, upper, s) - lower,
                upper - limited_value(upper + d, lower, upper, s), 1e-13)
        << d;
}

TEST(ParameterLimits, ZeroMarginClampsToTheLimits) {
  EXPECT_EQ(limited_value(-5.0, -1.0, 2.0, 0.0), -1.0);
  EXPECT_EQ(limited_value(7.0, -1.0, 2.0, 0.0), 2.0);
  EXPECT_EQ(limited_value(0.5, -1.0, 2.0, 0.0), 0.5);
}

TEST(Schedules, SimpApproachStepsAimAtShrinkingFractions) {
  // NS = 4: a quarter, a third, a half, then the whole remaining distance.
  EXPECT_EQ(approach_divisor(1, 4), 4);
  EXPECT_EQ(approach_divisor(2, 4), 3);
  EXPECT_EQ(approach_divisor(3, 4), 2);
  EXPECT_EQ(approach_divisor(4, 4), 1);
  EXPECT_EQ(approach_divisor(5, 4), 1);
  EXPECT_EQ(approach_divisor(1, 0), 1);
}
