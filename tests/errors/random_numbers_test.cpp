// The random numbers: the generator against hand-computed states and an independent form of
// its recurrence, SEED from decks (clock fixed), the table walk, direct against table mode,
// the statistics of the tables, and the error stops.
#include "harness.h"
#include "support/reference_generator.h"

#include "common/control.h"
#include "common/halt.h"
#include "common/random_numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace vorax::test {
namespace {

const double F = 2.0 * std::sqrt(3.0);

DeckRun run_seed(const std::string &data) {
  return run_deck("D: DRIFT, L=1.0\nCELL: LINE=(D)\nUSE, CELL\nVORAX\nSEED\n" + data + "\nSTOP\n");
}

TEST(RandomGenerator, HandComputedStatesAndTheRecurrenceBitForBit) {
  std::int32_t s = 1;
  EXPECT_EQ(ran(s), 32874.0f / 2147483648.0f); // (131 + 32743) 2^-31
  // The product wraps and only its low 31 bits are kept, also for a state with the sign bit.
  for (std::int32_t start : {2147483647, -1}) {
    s = start;
    ran(s);
    EXPECT_EQ(s, 32612);
  }
  // Rounded to single precision: 2^24 + 1 ties to even, 2^31 - 1 rounds up to exactly 1.
  s = 1967288414;
  EXPECT_EQ(ran(s), 0.0078125f);
  EXPECT_EQ(s, (1 << 24) + 1);
  s = 934401032;
  EXPECT_EQ(urand(s), 1.0);
  for (std::int32_t start : {1, 12345, 2147483647}) {
    Reference ref{static_cast<std::uint64_t>(start)};
    s = start;
    for (int i = 0; i < 3000; ++i)
      ASSERT_EQ(urand(s), ref.next()) << start << " draw " << i;
    for (int i = 0; i < 300; ++i)
      ASSERT_EQ(gauss(s), ref.gauss()) << start << " gauss " << i;
  }
}

TEST(Seed, DecksSelectOddSeedsAndFillTheTablesInOrder) {
  const std::pair<const char *, std::int32_t> cases[] = {{" 1;", 1}, {" 4;", 5}, {" 0;", 123457}};
  set_clock_source([]() -> std::int32_t { return 123456; });
  for (const auto &[data, seed_value] : cases) {
    const DeckRun r = run_seed(data);
    EXPECT_EQ(r.status, 0) << r.terminal;
    const std::string digits = std::to_string(seed_value);
    EXPECT_TRUE(contains(r.listing, "   THE SEED SELECTED FOR THIS RUN IS :" +
                                        std::string(12 - digits.size(), ' ') + digits));
    EXPECT_FALSE(contains(r.listing, "WHOLE NUMBER")); // no value was changed
    EXPECT_EQ(cseeds.seed_copy, seed_value);
    EXPECT_EQ(cran.uniform(0), (Reference{std::uint64_t(seed_value)}.next() - 0.5) * F);
  }
  // The system clock itself (not run through a deck, whose listing would change from run to
  // run) gives a value in the range of seeds.
  set_clock_source(nullptr);
  const std::int32_t now = clock1();
  EXPECT_GE(now, 0);

  // All of the tables of seed 7, from one state: T2 (and T1 from it), T4, T3.
  run_seed(" 7;");
  EXPECT_EQ(cseeds.master_seed, 7);
  Reference ref{7};
  for (int i = 0; i <= RANDOM_TABLE_LAST; ++i) {
    ASSERT_EQ(cran.uniform(i), (ref.next() - 0.5) * F) << i;
    ASSERT_EQ(cran.signs(i), cran.uniform(i) <= 0.0 ? -1.0 : 1.0) << i;
  }
  for (int i = 0; i <= RANDOM_TABLE_LAST; ++i)
    ASSERT_EQ(cran.gauss_cut6(i), ref.gauss()) << i;
  for (int i = 0; i <= RANDOM_TABLE_LAST; ++i) {
    double g = ref.gauss();
    while (std::fabs(g) > 2.0)
      g = ref.gauss();
    ASSERT_EQ(cran.gauss_cut2(i), g) << i;
  }
}

TEST(Seed, ValuesOutsideTheRangeAreBroughtIntoItWithAMessage) {
  const struct {
    double value;
    std::int32_t seed;
  } cases[] = {{2147483646.0, 2147483647},   {-4.0, 5},         {7.5, 7},
               {0.5, 1} /* not the clock */, {2147483648.0, 1}, {4294967301.0, 5},
               {-1.0e20, 1661992961}};
  for (const auto &c : cases) {
    start_in_memory();
    EXPECT_EQ(seed_from_value(c.value), c.seed) << c.value;
    EXPECT_EQ(count_of(listing_text(), "THE SEED MUST BE A WHOLE NUMBER FROM 1 TO 2147483647"),
              c.value == 2147483646.0 ? 0 : 1);
  }
  const DeckRun r = run_seed(" -4;");
  EXPECT_TRUE(contains(r.listing, "   THE SEED MUST BE A WHOLE NUMBER FROM 1 TO 2147483647: THE "
                                  "VALUE -0.4000000E+01 GIVES          4\n"
                                  "   THE SEED SELECTED FOR THIS RUN IS :           5\n"));
  // Without a value SEED stops rather than take what an earlier operation left.
  const DeckRun empty = run_seed(";");
  EXPECT_EQ(empty.status, 1);
  EXPECT_TRUE(contains(empty.listing, "   ERROR--  1 ELEMENTS WERE NOT FOUND\n  HALTING WITH "
                                      "ERROR NUMBER :    273  AND ERROR : LESS INPUT #"));
}

TEST(RandomTables, TableModeWalksTheTablesAndDirectModeDrawsTheSame) {
  start_in_memory();
  std::int32_t index = 1, mode = 1;
  EXPECT_EQ(rannum(index, 3, 6.0, mode), 0.0); // before SEED the tables are empty
  run_seed(" 7;");
  index = 1;
  for (int i = 1; i <= RANDOM_TABLE_LAST; ++i)
    ASSERT_EQ(rannum(index, 2, 2.0, mode), cran.uniform(i)) << i;
  EXPECT_EQ(rannum(index, 2, 2.0, mode), cran.uniform(0));
  EXPECT_EQ(index * 10 + mode, 12); // back at 1, stride 2: T(1), T(3), ...
  EXPECT_EQ(rannum(index, 1, 2.0, mode), cran.signs(1));
  EXPECT_EQ(rannum(index, 3, 2.0, mode), cran.gauss_cut2(3));
  EXPECT_EQ(rannum(index, 3, 6.0, mode), cran.gauss_cut6(5));
  index = 1505; // stride 499 leads back to 1 and a stride of 500 falls back to 1
  mode = 499;
  EXPECT_EQ(rannum(index, 2, 2.0, mode), cran.uniform(1505));
  EXPECT_EQ(index * 10 + mode, 11);
  index = -1; // an index from outside is brought into the tables, not read beyond them
  EXPECT_EQ(rannum(index, 2, 2.0, mode), cran.uniform(2002));

  // Direct mode from the seed draws T2, then (skipping T4) the cut values of T3.
  std::int32_t state = 7;
  mode = 0;
  for (int i = 0; i <= RANDOM_TABLE_LAST; ++i) {
    std::int32_t copy = state;
    ASSERT_EQ(rannum(copy, 1, 2.0, mode), cran.uniform(i) < 0.0 ? -1.0 : 1.0);
    ASSERT_EQ(rannum(state, 2, 2.0, mode), cran.uniform(i));
  }
  for (int i = 0; i <= RANDOM_TABLE_LAST; ++i)
    gauss(state);
  for (int i = 0; i <= RANDOM_TABLE_LAST; ++i)
    ASSERT_EQ(rannum(state, 3, 2.0, mode), cran.gauss_cut2(i));
}

TEST(RandomTables, SignsUniformAndGaussianStatistics) {
  for (const char *data : {" 1;", " 12345;", " 2147483647;"}) {
    run_seed(data);
    const double n = RANDOM_TABLE_SIZE;
    double signs = 0, u2 = 0, mean = 0, g2 = 0, c2 = 0;
    for (int i = 0; i <= RANDOM_TABLE_LAST; ++i) {
      ASSERT_EQ(cran.signs(i) == -1.0, cran.uniform(i) <= 0.0) << i;
      ASSERT_LE(std::fabs(cran.gauss_cut6(i)), 6.0);
      ASSERT_LE(std::fabs(cran.gauss_cut2(i)), 2.0);
      signs += cran.signs(i) / n;
      u2 += cran.uniform(i) * cran.uniform(i) / n;
      mean += cran.gauss_cut6(i) / n;
      g2 += cran.gauss_cut6(i) * cran.gauss_cut6(i) / n;
      c2 += cran.gauss_cut2(i) * cran.gauss_cut2(i) / n;
    }
    // Five standard errors of 2003 draws: means 0 +- 0.11, unit variances +- 0.16 (Gaussian)
    // and +- 0.10 (uniform); a normal variable cut at 2 sigma keeps a variance of 0.774.
    EXPECT_NEAR(signs, 0.0, 0.11) << data;
    EXPECT_NEAR(u2, 1.0, 0.10) << data;
    EXPECT_NEAR(mean, 0.0, 0.11) << data;
    EXPECT_NEAR(g2 - mean * mean, 1.0, 0.16) << data;
    EXPECT_NEAR(c2, 0.774, 0.12) << data;
  }
}

TEST(RandomNumbers, StopsWithTheirMessagesAndNames) {
  const char *option = "  ERROR IN OPTION NUMBER FOR RANDOM GENERATOR\n";
  const char *too_small = "   ERROR IN SIGMA REQUESTED: THE CUT MUST BE AT LEAST 0.1 SIGMA\n";
  const struct {
    int mode, option;
    double cut;
    int code;
    const char *message;
  } cases[] = {{0, 4, 2.0, 285, option},
               {1, 0, 2.0, 285, option},
               {1, 3, 3.0, 286, "   ERROR IN SIGMA REQUESTED SIG 2 OR 6 ONLY\n"},
               {0, 3, 0.0, 286, too_small}, // no draw meets it: it would draw for ever
               {0, 3, NAN, 286, too_small}};
  for (const auto &c : cases) {
    start_in_memory();
    std::int32_t index = 1, mode = c.mode;
    int code = -1;
    try {
      rannum(index, c.option, c.cut, mode);
    } catch (const RunEnd &end) {
      code = end.code;
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(listing_text(), c.message + std::string("  HALTING WITH ERROR NUMBER :    ") +
                                  std::to_string(c.code) + "  AND ERROR : " +
                                  (c.code == 285 ? "RAND:BAD OPT #\n" : "RAND: BAD SIGMA #\n"));
  }
  // In the recoverable-error mode of orbit correction the draw is 0 and the stream stays.
  start_in_memory();
  cinter.mode = 1;
  std::int32_t index = 9, mode = 2;
  EXPECT_EQ(rannum(index, 7, 2.0, mode), 0.0);
  EXPECT_EQ(index * 10 + mode, 92);
  EXPECT_EQ(cinter.recorded, 285);
}

} // namespace
} // namespace vorax::test
