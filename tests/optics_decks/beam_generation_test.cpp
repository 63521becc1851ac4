// GENE through whole decks: the second moments of a large generated set against the beam
// matrix, the ellipsoid surface, truncation, the seed, the store a following TRAC continues,
// and the stops.
#include "harness.h"

#include "common/random_numbers.h"
#include "common/shared_areas.h"
#include "optics/optics_areas.h"
#include "track/tracking_areas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace vorax::test {
namespace {

const std::string cell = "QF: QUADRUPOLE, L = 0.4, K1 = 0.55\n"
                         "QD: QUADRUPOLE, L = 0.4, K1 = -0.5\n"
                         "D: DRIFT, L = 2.0\n"
                         "CELL: LINE = (QF, D, QD, D)\nUSE, CELL\nVORAX\n";

// A coupled beam: correlations in x-x', y-y', x-delta, and a little x-y.
const std::string beam = "BEAM\n 1E-3 -0.3 0.1 0 0 0.4 2E-4 0 0.05 0 0.2 7E-4 0.5 0 0 5E-4\n"
                         " 0 0 1E-3 0 1E-3 -2,\n";

std::string gene(const std::string &values) {
  return "GENE\n " + values + ",\n";
}

// Sample second moments about the sample mean.
double moment(int i, int j) {
  const int n = trace.npart;
  double mi = 0.0, mj = 0.0, s = 0.0;
  for (int p = 1; p <= n; ++p) {
    mi += trace.pcoord(p, i);
    mj += trace.pcoord(p, j);
  }
  mi /= n;
  mj /= n;
  for (int p = 1; p <= n; ++p)
    s += (trace.pcoord(p, i) - mi) * (trace.pcoord(p, j) - mj);
  return s / n;
}

std::vector<double> store_copy() {
  std::vector<double> v;
  for (int p = 1; p <= trace.npart; ++p)
    for (int k = 1; k <= 6; ++k)
      v.push_back(trace.pcoord(p, k));
  return v;
}

TEST(BeamGeneration, SecondMomentsOfALargeSetReproduceTheBeamMatrix) {
  constexpr int N = 100000;
  const DeckRun r = run_deck(cell + "SEED\n 12345\n" + beam +
                             gene("3 0 0 0 0 0 0 1 100000 0 0 0 0 0 0") + "MATRIX\n 1 -2;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  ASSERT_EQ(trace.npart, N);
  // The engine's Gaussian draws (sums of twelve successive values of its congruential
  // generator) have a variance a little above 1 from the generator's serial correlation; the
  // moments are compared with the beam matrix scaled by the variance of the very draws GENE
  // used, within four standard errors relative to the scale of their row and column.
  std::int32_t state = cseeds.master_seed;
  double variance = 0.0;
  for (int k = 0; k < 6 * N; ++k) {
    const double g = gauss(state);
    variance += g * g;
  }
  variance /= 6.0 * N;
  EXPECT_NEAR(variance, 1.0, 0.03);
  const double tolerance = 4.0 * std::sqrt(2.0 / N);
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= i; ++j) {
      const double s = std::sqrt(cbeam.sigma(i, i) * cbeam.sigma(j, j));
      EXPECT_NEAR(moment(i, j) / s, variance * cbeam.sigma(i, j) / s, tolerance) << i << j;
    }
  EXPECT_EQ(trace.nlive, N);
  EXPECT_EQ(alive.flag(N), 1);
}

TEST(BeamGeneration, EllipsoidSurfaceTruncationAndTheSeed) {
  // Option 1 at scale 2: every particle on the ellipsoid x^T Sigma^-1 x = s^2, with centroid.
  DeckRun r = run_deck(cell + "SEED\n 7\n" + beam + gene("1 0 0 0 0 0 0 2 64 1E-3 0 0 0 0 1E-3") +
                       "MATRIX\n 1 -2;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  ASSERT_EQ(trace.npart, 64);
  // Sigma^-1 by Gauss-Jordan on a copy.
  double a[6][12] = {};
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 6; ++j)
      a[i][j] = cbeam.sigma(i + 1, j + 1);
    a[i][6 + i] = 1.0;
  }
  for (int c = 0; c < 6; ++c) {
    int p = c;
    for (int i = c + 1; i < 6; ++i)
      if (std::fabs(a[i][c]) > std::fabs(a[p][c]))
        p = i;
    for (int j = 0; j < 12; ++j)
      std::swap(a[c][j], a[p][j]);
    const double d = a[c][c];
    for (int j = 0; j < 12; ++j)
      a[c][j] /= d;
    for (int i = 0; i < 6; ++i)
      if (i != c) {
        const double f = a[i][c];
        for (int j = 0; j < 12; ++j)
          a[i][j] -= f * a[c][j];
      }
  }
  for (int p = 1; p <= 64; ++p) {
    double z[6], q = 0.0;
    for (int k = 0; k < 6; ++k)
      z[k] = trace.pcoord(p, k + 1) - (k == 0 || k == 5 ? 1e-3 : 0.0);
    for (int i = 0; i < 6; ++i)
      for (int j = 0; j < 6; ++j)
        q += z[i] * a[i][6 + j] * z[j];
    EXPECT_NEAR(q, 4.0, 1e-8) << p;
    EXPECT_EQ(trace.pcoord(p, 7), trace.pcoord(p, 6));
  }
  const std::vector<double> first = store_copy();

  // The same seed gives the same particles; another seed others.
  r = run_deck(cell + "SEED\n 7\n" + beam + gene("1 0 0 0 0 0 0 2 64 1E-3 0 0 0 0 1E-3") +
               "MATRIX\n 1 -2;\nSTOP\n");
  EXPECT_EQ(store_copy(), first);
  r = run_deck(cell + "SEED\n 9\n" + beam + gene("1 0 0 0 0 0 0 2 64 1E-3 0 0 0 0 1E-3") +
               "MATRIX\n 1 -2;\nSTOP\n");
  EXPECT_NE(store_copy(), first);

  // Limits of 2 sigma on an uncoupled diagonal beam: no coordinate beyond 2 sigma s.
  r = run_deck(cell +
               "SEED\n 7\nBEAM\n 1E-3 0 0 0 0 0 1E-4 0 0 0 0 1E-3 0 0 0 1E-4 0 0 1E-4 0 "
               "1E-4 -2,\n" +
               gene("3 2 2 2 2 2 2 1.5 64 0 0 0 0 0 0") + "MATRIX\n 1 -2;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  const double sd[6] = {1e-3, 1e-4, 1e-3, 1e-4, 1e-4, 1e-4};
  double largest = 0.0;
  for (int p = 1; p <= 64; ++p)
    for (int k = 0; k < 6; ++k) {
      EXPECT_LE(std::fabs(trace.pcoord(p, k + 1)), 2.0 * 1.5 * sd[k] * (1 + 1e-12));
      largest = std::max(largest, std::fabs(trace.pcoord(p, k + 1)) / (1.5 * sd[k]));
    }
  EXPECT_GT(largest, 1.0);
}

TEST(BeamGeneration, AFollowingTracTracksTheGeneratedSet) {
  const DeckRun r = run_deck(cell + beam + gene("3 3 3 3 3 3 3 1 4 0 0 0 0 0 0") +
                             "TRAC\n -1 -1 0 2\n -1,\nMATRIX\n 1 -2;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  EXPECT_TRUE(contains(r.listing, " INITIAL POSITIONS OF PARTICLES"));
  EXPECT_EQ(trace.iturn, 2);
  EXPECT_EQ(trace.npart, 4);
  // One particle, or none asked for: the centroid itself.
  const DeckRun one = run_deck(cell + beam + gene("3 0 0 0 0 0 0 1 0 1E-3 2E-3 0 0 0 0") +
                               "MATRIX\n 1 -2;\nSTOP\n");
  ASSERT_EQ(one.status, 0) << one.terminal;
  EXPECT_EQ(trace.npart, 1);
  EXPECT_EQ(trace.pcoord(1, 1), 1e-3);
  EXPECT_EQ(trace.pcoord(1, 2), 2e-3);
}

TEST(BeamGeneration, OptionsAboveTenRegenerateTheBeamInTheStore) {
  // Twelve particles at +-a along each axis: centroid 0 and moments a^2/6 on the diagonal. The
  // centroid given is replaced by the store's, and every new particle lies on its ellipsoid.
  const double a[6] = {1e-3, 2e-4, 5e-4, 1e-4, 3e-3, 1e-3};
  std::string trac = "TRAC\n -1 -2 12 0\n";
  for (int k = 0; k < 6; ++k)
    for (const double sign : {1.0, -1.0}) {
      std::string line;
      for (int j = 0; j < 6; ++j)
        line += " " + std::to_string(j == k ? sign * a[k] : 0.0);
      trac += line + "\n";
    }
  const DeckRun r = run_deck(cell + trac + " 0,\n" + gene("11 0 0 0 0 0 0 1 32 5 5 5 5 5 5") +
                             "MATRIX\n 1 -2;\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  ASSERT_EQ(trace.npart, 32);
  for (int p = 1; p <= 32; ++p) {
    double q = 0.0;
    for (int k = 0; k < 6; ++k)
      q += trace.pcoord(p, k + 1) * trace.pcoord(p, k + 1) / (a[k] * a[k] / 6.0);
    EXPECT_NEAR(q, 1.0, 1e-9) << p;
  }
}

TEST(BeamGeneration, Stops) {
  struct Case {
    std::string ops;
    const char *text;
    const char *name;
  };
  const Case cases[] = {
      {gene("3 0 0 0 0 0 0 1 10 0 0 0 0 0 0"), "    A BEAM MATRIX WAS NOT DEFINED RUN IS STOPPED",
       "GENER:NO BEAM DEF"},
      {beam + gene("2 0 0 0 0 0 0 1 10 0 0 0 0 0 0"), "   ERROR IN OPTION NUMBER ",
       "GENER:BAD OPT #"},
      // A plane of zero emittance.
      {"BEAM\n 1E-3 0 0 0 0 0 1E-4 0 0 0 0 0 0 0 0 0 0 0 1E-4 0 1E-4 -2,\n" +
           gene("3 0 0 0 0 0 0 1 10 0 0 0 0 0 0"),
       " IS NON POSITIVE", "GENER: DIAGON FAIL"},
      {beam + gene("3 0 0 0 0 0 0 1 200000 0 0 0 0 0 0"), " **** TOO MANY PARTICLES:", "ARRSIZE"},
      {beam + gene("3 1E-3 0 0 0 0 0 1 10 0 0 0 0 0 0"), " TRUNCATION LIMIT 1 OF",
       "GENER:BAD OPT #"},
  };
  for (const Case &c : cases) {
    const DeckRun r = run_deck(cell + c.ops + "MATRIX\n 1 -2;\nSTOP\n");
    EXPECT_EQ(r.status, 1) << c.text;
    EXPECT_TRUE(contains(r.listing, c.text)) << c.text << r.listing;
    EXPECT_TRUE(contains(r.listing, c.name)) << c.name;
  }
}

} // namespace
} // namespace vorax::test
