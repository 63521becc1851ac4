// The beam matrix (both definitions, propagation, envelopes) and the three forms of the map
// printout.
#include "common/control.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "harness.h"
#include "optics/beam_envelope.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"
#include "test_maps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

using namespace vorax;
using namespace vorax::test;

namespace {

TEST(BeamMatrix, LatticeFormIsBetatronEllipsePlusDispersiveSpread) {
  test::start_in_memory();
  // Values 1..13 of BEAM in lattice form.
  const double v[13] = {0, 8.0, -0.5, 1.2, 0.1, 2e-9, 3.0, 0.4, 0.05, -0.01, 5e-11, 0.004, 1e-3};
  ASSERT_TRUE(define_beam_lattice(v));
  const auto &s = cbeam.sigma0;
  const double ex = 2e-9, ey = 5e-11, var = 1e-6;
  EXPECT_NEAR(s(1, 1), 8.0 * ex + 1.2 * 1.2 * var, 1e-20);
  EXPECT_NEAR(s(1, 2), 0.5 * ex + 1.2 * 0.1 * var, 1e-20);
  EXPECT_NEAR(s(2, 2), (1 + 0.25) / 8.0 * ex + 0.01 * var, 1e-20);
  EXPECT_NEAR(s(1, 6), 1.2 * var, 1e-20);
  EXPECT_NEAR(s(2, 6), 0.1 * var, 1e-20);
  EXPECT_NEAR(s(1, 3), 1.2 * 0.05 * var, 1e-20);
  EXPECT_NEAR(s(3, 4), -0.4 * ey - 0.05 * 0.01 * var, 1e-20);
  EXPECT_NEAR(s(5, 5), 0.004 * 0.004, 1e-20);
  EXPECT_NEAR(s(6, 6), var, 1e-20);
  EXPECT_EQ(s(5, 6), 0.0);
  EXPECT_EQ(cbeam.defined, 1);
}

TEST(BeamMatrix, LatticeFormFromTheAnalysisKeepsTheGivenEmittances) {
  test::start_in_memory();
  const M6 m = periodic_map(2 * PI * 0.3, 5.0, 0.2, 2 * PI * 0.2, 2.0, 0.0, {0.4, 0, 0, 0}, 0);
  periodic_analysis(to_map(m), 10.0, false, analc);
  const double v[13] = {0, 0, 0, 0, 0, 1e-8, 0, 0, 0, 0, 4e-9, 0, 0};
  ASSERT_TRUE(define_beam_lattice(v));
  EXPECT_NEAR(cbeam.sigma0(1, 1), 5.0 * 1e-8, 1e-20);
  EXPECT_NEAR(cbeam.sigma0(3, 3), 2.0 * 4e-9, 1e-20);
  // A matched beam comes back after one turn; so does its emittance.
  mat.amap = to_map(m);
  beam();
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      EXPECT_NEAR(cbeam.sigma(i, j), cbeam.sigma0(i, j), 1e-20);
  // Without a periodic solution (betas of 0) no beam is defined.
  reset_in_place(analc);
  reset_in_place(cbeam);
  EXPECT_FALSE(define_beam_lattice(v));
  EXPECT_EQ(cbeam.defined, 0);
  EXPECT_TRUE(contains(listing_text(), "BEAM NOT DEFINED"));
}

TEST(BeamMatrix, DirectFormAndEnvelopeLine) {
  test::start_in_memory();
  double v[21] = {};
  // sigma1..sigma6 at the starts of their rows; r12 = -0.5, r16 = 0.25.
  v[0] = 1e-3;
  v[1] = -0.5;
  v[5] = 0.25;
  v[6] = 2e-4;  // sigma2
  v[11] = 5e-4; // sigma3
  v[15] = 1e-4; // sigma4
  v[18] = 0.01; // sigma5
  v[20] = 1e-3; // sigma6
  define_beam_direct(v);
  EXPECT_DOUBLE_EQ(cbeam.sigma0(1, 1), 1e-6);
  EXPECT_DOUBLE_EQ(cbeam.sigma0(2, 1), -0.5 * 1e-3 * 2e-4);
  EXPECT_DOUBLE_EQ(cbeam.sigma0(1, 6), 0.25 * 1e-3 * 1e-3);
  EXPECT_DOUBLE_EQ(cbeam.sigma0(6, 6), 1e-6);
  // Through a drift of 2 m: sigma x grows, the projected emittance stays.
  M6 d = unit_matrix<6>();
  d[0][1] = 2.0;
  d[2][3] = 2.0;
  mat.amap = to_map(d);
  beam();
  const std::string line = envelope_line("D1      ", 4);
  const auto nums = numbers_after(line, "D1");
  ASSERT_EQ(nums.size(), 9u);
  const double s11 = 1e-6 + 4 * (-0.5 * 1e-3 * 2e-4) + 4 * 4e-8;
  EXPECT_NEAR(nums[1], std::sqrt(s11), 1e-4 * std::sqrt(s11));
  EXPECT_NEAR(nums[3], 1e-3 * 2e-4 * std::sqrt(0.75), 1e-11); // emittance kept
  EXPECT_NEAR(nums[8], 1e-3, 1e-7);
  // The input beam prints back as sizes and correlations.
  print_beam(cbeam.sigma0);
  const auto rows = lines_of(listing_text());
  ASSERT_GE(rows.size(), 6u);
  EXPECT_NEAR(std::atof(rows[1].substr(1, 15).c_str()), -0.5, 1e-7);
  EXPECT_NEAR(std::atof(rows[5].substr(1, 15).c_str()), 0.25, 1e-7);
}

// A map with first- and second-order entries, some of them zero.
TransferMap sample_map() {
  TransferMap m;
  m.set_identity();
  m.R(1, 2) = 2.5;
  m.R(2, 1) = -0.123456789012345;
  m.R(5, 6) = 1e-3;
  m.T(1, 1, 6) = 0.75;
  m.T(5, 2, 2) = 1.25;
  m.T(3, 4, 6) = -3.0e-7;
  return m;
}

TEST(MapPrint, MatrixElementDefinitionReadsBackIntoTheSameMap) {
  test::start_in_memory();
  const TransferMap m = sample_map();
  prmat(m, 1, 2, 3.5);
  const auto rows = lines_of(listing_text());
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0].substr(0, 20), "          :MATRIX,L=");
  int pairs = 0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    // Lines the lattice language reads: 80 columns after the carriage control.
    EXPECT_LE(rows[r].size(), 81u);
    const bool last = r + 1 == rows.size();
    EXPECT_EQ(rows[r].size() >= 5 && rows[r].substr(rows[r].size() - 5) == ",   &", !last);
    std::size_t at = 0;
    while ((at = rows[r].find('=', at)) != std::string::npos) {
      const std::size_t start = rows[r].find_last_of(" ,:", at) + 1;
      const std::string name = rows[r].substr(start, at - start);
      const double value = std::atof(rows[r].c_str() + at + 1);
      ++at;
      if (name == "L") {
        EXPECT_DOUBLE_EQ(value, 3.5);
        continue;
      }
      ++pairs;
      const int i = name[1] - '0', j = name[2] - '0';
      const double expected = name[0] == 'R' ? m.R(i, j) : m.T(i, j, name[3] - '0');
      EXPECT_NE(expected, 0.0) << name;
      EXPECT_NEAR(value, expected, 1e-15 * std::fabs(expected)) << name;
    }
  }
  EXPECT_EQ(pairs, 6 + 3 + 3); // the unit diagonal, R12, R21, R56 and the three T
}

TEST(MapPrint, CodeValuePairsAndBanner) {
  test::start_in_memory();
  const TransferMap m = sample_map();
  zqvo.mode = 1;
  prmat(m, 1, 2, 3.5); // the ZQVO mode comes before the MATRIX form
  std::string out = listing_text();
  EXPECT_FALSE(contains(out, "MATRIX"));
  EXPECT_EQ(lines_of(out).size(), 6u * 27u);
  EXPECT_NEAR(number_after(out, "116"), 0.75, 1e-15);
  EXPECT_NEAR(number_after(out, "120"), 2.5, 1e-15);
  zqvo.mode = 0;
  test::start_in_memory();
  control.print_level = 2;
  prmat(m, 0, 2, 0.0);
  EXPECT_TRUE(listing_text().empty());
  control.print_level = 3;
  prmat(m, 0, 1, 0.0);
  out = listing_text();
  EXPECT_TRUE(contains(out, "*   TRANSFORMATION  MATRIX   *"));
  EXPECT_TRUE(contains(out, "FIRST ORDER MATRIX"));
  EXPECT_FALSE(contains(out, "SECOND ORDER TERMS"));
  prmat(m, 0, 2, 0.0);
  out = listing_text();
  EXPECT_TRUE(contains(out, "SECOND ORDER TERMS"));
  EXPECT_NEAR(numbers_after(out, " 52 ")[0], 1.25, 1e-6); // T(5,2,2) opens row 52
}

} // namespace
