// Whole decks: a tilted quadrupole, a multipole whose K1 term has the same angle, and the
// upright quadrupole between two ROLLs are one magnet in every unit convention; likewise the
// tilted sextupole and the multipole K2 term.
#include "harness.h"

#include "common/control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

// The 36 first-order and 126 second-order numbers of every printed map, in listing order.
std::vector<std::vector<double>> printed_maps(const std::string &listing) {
  std::vector<std::vector<double>> maps;
  bool inside = false;
  for (const std::string &line : lines_of(listing)) {
    if (contains(line, "FIRST ORDER MATRIX")) {
      maps.emplace_back();
      inside = true;
      continue;
    }
    if (!inside)
      continue;
    if (contains(line, "WARNING") || contains(line, "MOVEMENT ANALYSIS")) {
      inside = false;
      continue;
    }
    std::istringstream words(line);
    std::string word;
    while (words >> word)
      if (word.find("E+") != std::string::npos || word.find("E-") != std::string::npos)
        maps.back().push_back(std::stod(word));
  }
  return maps;
}

void expect_same_map(const std::vector<double> &got, const std::vector<double> &want,
                     const std::string &what) {
  ASSERT_EQ(got.size(), 162u) << what;
  ASSERT_EQ(want.size(), 162u) << what;
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_NEAR(got[i], want[i], 2e-7 * (1e-2 + std::fabs(want[i]))) << what << " entry " << i;
}

// Runs the three quadrupoles (and the two sextupoles) under the given units command with the
// given texts for the angles and K1 (as each convention writes the same magnet).
std::vector<std::vector<double>> run_magnets(const std::string &units, const std::string &tilt,
                                             const std::string &back, const std::string &k1,
                                             const std::string &stilt) {
  const std::string deck =
      units + "\n" + "Q: QUADRUPOLE, L=0.4, K1=" + k1 + ", TILT=" + tilt + "\n" +
      "M: MULTIPOLE, L=0.4, K1=" + k1 + ", T1=" + tilt + "\n" + "QU: QUADRUPOLE, L=0.4, K1=" + k1 +
      "\n" + "R1: ROLL, ANGLE=" + back + "\n" + "R2: ROLL, ANGLE=" + tilt + "\n" +
      "S: SEXTUPOLE, L=0.3, K2=5, TILT=" + stilt + "\n" +
      "MS: MULTIPOLE, L=0.3, K2=5, T2=" + stilt + "\n" +
      "LQ: LINE=(Q)\nLM: LINE=(M)\nLR: LINE=(R1, QU, R2)\n" + "LS: LINE=(S)\nLMS: LINE=(MS)\n" +
      "USE, LQ\nVORAX\nMATR\n 2 -1;\nUSE, LM\nVORAX\nMATR\n 2 -1;\n" +
      "USE, LR\nVORAX\nMATR\n 2 -1;\nUSE, LS\nVORAX\nMATR\n 2 -1;\n" +
      "USE, LMS\nVORAX\nMATR\n 2 -1;\nSTOP\n";
  const DeckRun r = run_deck(deck);
  EXPECT_EQ(r.status, 0) << r.terminal;
  return printed_maps(r.listing);
}

TEST(RotatedElements, TiltTermAngleAndRollsAreOneMagnetInEveryConvention) {
  const double deg = 180 / const_.pi;
  const std::string in_degrees = std::to_string(0.3 * deg),
                    back_degrees = std::to_string(-0.3 * deg);
  struct Case {
    std::string units, tilt, back, k1, stilt;
  } cases[] = {
      {"USTANDARD", "0.3", "-0.3", "0.8", "0.2"},
      {"ULDF", "-0.3", "0.3", "-0.8", "-0.2"},
      {"UMERIDOXAN", in_degrees, back_degrees, "0.8", std::to_string(0.2 * deg)},
  };
  std::vector<double> reference;
  for (const Case &c : cases) {
    const auto maps = run_magnets(c.units, c.tilt, c.back, c.k1, c.stilt);
    ASSERT_EQ(maps.size(), 5u) << c.units;
    expect_same_map(maps[1], maps[0], c.units + " multipole K1 term");
    expect_same_map(maps[2], maps[0], c.units + " rolls around the quadrupole");
    if (c.units == "USTANDARD") {
      reference = maps[0];
      // The upright quadrupole seen through x <- c x - s y, y <- s x + c y: R13 = c s (Ry - Rx).
      const double phi = std::sqrt(0.8) * 0.4, cs = std::sin(0.6) / 2;
      EXPECT_NEAR(maps[0][2], cs * (std::cosh(phi) - std::cos(phi)), 1e-8);
      EXPECT_GT(maps[0][2], 0.036);
    } else {
      expect_same_map(maps[0], reference, c.units + " quadrupole");
    }
    // LDF gives the SEXTUPOLE and the MULTIPOLE K2 opposite signs (docs/coordinates.md).
    if (c.units != "ULDF")
      expect_same_map(maps[4], maps[3], c.units + " multipole K2 term");
  }
}

} // namespace
} // namespace vorax::test
