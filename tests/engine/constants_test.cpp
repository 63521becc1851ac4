// CONS and SHOV: changing the constants with their side effects, and the printed table.
#include "engine_fixture.h"

#include "common/control.h"
#include "optics/constants.h"

namespace vorax::test {
namespace {

int cons(std::string_view data, int *end_flag = nullptr) {
  start_engine_test(data);
  int flag = 0;
  const int stop = stop_code([&] { condf(2300, flag); });
  if (end_flag)
    *end_flag = flag;
  return stop;
}

TEST(Constants, ConsSetsValuesAndTheirCompanions) {
  int end_flag = 0;
  ASSERT_EQ(cons(" 1 3.0;\n", &end_flag), -1);
  EXPECT_EQ(end_flag, 1);
  EXPECT_EQ(const_.pi, 3.0);
  EXPECT_EQ(const_.twopi, 6.0);
  EXPECT_EQ(const_.raddeg, 3.0 * 0.005555555555555556);
  EXPECT_TRUE(contains(listing_text(), "     THE NEW CONSTANT VALUES ARE"));
  EXPECT_TRUE(contains(listing_text(), "                 PI    =  3.0000000000000000"));

  // The rigidity factor keeps its scale: 1e10 / c, which is its default for the default c.
  ASSERT_EQ(cons(" 2 299792458, 3 0.938272;\n"), -1);
  EXPECT_NEAR(const_.brho_factor, 33.35640951981521, 1e-13);
  ASSERT_EQ(cons(" 2 3E8\n 6 0.01 7 1E-9 8 12.7 9 2 10 3 11 4 12 1 4 1.5E-18 5 1.6E-19;\n"), -1);
  EXPECT_DOUBLE_EQ(const_.brho_factor, 1e10 / 3e8);
  EXPECT_EQ(condef.dpp_ref, 0.01);
  EXPECT_EQ(const_.lsq_tolerance, 1e-9);
  EXPECT_EQ(const_.max_call_factor, 12);
  EXPECT_EQ(const_.expulsion_factor, 2.0);
  EXPECT_EQ(const_.eta_scaling, 3.0);
  EXPECT_EQ(const_.sigma_scaling, 4.0);
  EXPECT_EQ(const_.particle_kind, 1);
  EXPECT_EQ(const_.erad, 1.5e-18);
  EXPECT_EQ(const_.echarge, 1.6e-19);
  EXPECT_TRUE(contains(listing_text(), "  THE PARTICLE IS      : PROTON"));
}

TEST(Constants, ConsRejectsBadNumbersAndOddCounts) {
  EXPECT_EQ(cons(" 3 0.938 13 1;\n"), 230);
  EXPECT_TRUE(contains(listing_text(), "  ERROR IN THE CONSTANT ORDER NUMBER    13"));
  EXPECT_EQ(const_.emass, 0.938); // the pair before the bad one keeps its value
  EXPECT_EQ(cons(" 1E40 1;\n"), 230);
  // A lone constant number is refused before anything changes.
  EXPECT_EQ(cons(" 3 0.938 1;\n"), 230);
  EXPECT_TRUE(contains(listing_text(), "CONS NEEDS PAIRS OF CONSTANT NUMBER AND VALUE"));
  EXPECT_EQ(const_.emass, 0.00051099906);
}

TEST(Constants, ShovPrintsTheTable) {
  start_engine_test();
  int end_flag = 0;
  shocon(2900, end_flag);
  const std::vector<std::string> expected = {"                 PI    =  3.1415926535897931",
                                             "  VELOCITY OF LIGHT    =  0.2997924580E+09 M/S",
                                             "      PARTICLE MASS    =  0.5109990600E-03 GEV",
                                             "    PARTICLE RADIUS    =  0.2817938000E-14 M",
                                             "    PARTICLE CHARGE    =  0.1602189200E-18 COULOMB",
                                             "  REFERENCE MOMENTUM IN DP/P =  0.49999999E-02",
                                             "    LSQ TOLERANCE      =     0.10E-06",
                                             "  MAX FCT CALL FACT    =   10",
                                             "  PART. EXPUL. FACT    =  0.100E+01",
                                             "  ETA SCALING FACTOR   =  0.100E+01",
                                             "  SIGMA SCALING FACTOR =  0.100E+01",
                                             "  THE PARTICLE IS      : ELECTRON"};
  EXPECT_EQ(lines_of(listing_text()), expected);
}

} // namespace
} // namespace vorax::test
