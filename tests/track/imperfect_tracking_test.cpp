// Imperfect machines on the vectorised path: every kind of misalignment, field error and
// corrector, with girders, ground motion and radiating bends, gives the same listing and the same
// bits on any number of threads and chunks (blocks of lanes, one particle at a time) and as the
// particle loop gives; the framed map kernel is the one-particle chain lane by lane. The steps a
// run keeps for its turns follow what changes the machine: an operation between two runs, and a
// slow change within one.
#include "tracking_support.h"

#include "support/result_files.h"

#include "track/element_frames.h"
#include "track/map_kernels.h"
#include "track/tracking_steps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace vorax::test {
namespace {

// Four cells with a sextupole and a thick multipole, then a cavity, a collimator, a kick and a
// wake element without a wake. Positions: QF 1, 11, 21, 31; QD 6, 16, 26, 36; C 41, R 42, K 43,
// A 44.
const std::string RING =
    "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
    "B: SBEND, L = 1, ANGLE = 0.1\nD: DRIFT, L = 1\nM: MULTIPOLE, L = 0.2, K3 = 30, T3 = 0.1\n"
    "S: SEXTUPOLE, L = 0.2, K2 = 2\nC: RFCAVITY, L = 0.2, ENERGY = 1, VOLT = 0.5, FREQ = 7\n"
    "R: RCOLLIMA, L = 0.1, XSIZE = 2.5E-3, YSIZE = 2.5E-3\n"
    "K: GKICK, L = 0.2, DXP = 1E-5, ANGLE = 0.01\nA: ARBITELM, P1 = 0\n"
    "RING: LINE = (4*(QF, D, B, S, D, QD, M, D, B, D), C, R, K, A)\nUSE, RING\nVORAX\n";

// Misalignments of every type (bends 1..3, rolls, shifts along s, a momentum offset), Gaussian
// field errors on a quadrupole, the bends, the multipole, the kick, the collimator and the
// cavity, correctors of types 0..3 on quadrupoles, the kick and the wake element, a girder and
// ground motion.
const std::string IMPERFECTIONS =
    "SEED\n 7,\n"
    "MISA\n QF 2.5E-5 5E-6 -2.5E-5 7.5E-6 2.5E-4 5E-4 2.5E-6 1,\n"
    " QD 1.25E-5 -5E-6 2.5E-5 2.5E-6 -2.5E-4 2.5E-3 0 3,\n"
    " B 2.5E-5 2.5E-6 2.5E-5 5E-6 0 7.5E-4 0 2,\n S 2.5E-5 2.5E-5 -2.5E-5 2.5E-5 0 0 0 4,\n"
    " M 2.5E-5 0 0 0 0 2.5E-3 0 1,\n 99\n"
    "SETM\n 3 5\n QF 0\n QD 0\n B 0\n S 0\n M 0\n"
    "ERRO\n QF K1 0.01,\n B ANGLE 1E-4,\n M K3 1,\n K DXP 1E-5,\n R XSIZE 1E-4,\n C VOLT 0.01,\n"
    " 99\nSETE\n 3 6\n QF 0\n B 0\n M 0\n K 0\n R 0\n C 0\n"
    "CORR\n QF 1 44,\n QD 1 44,\n K 1 44,\n A 1 44,\n 99\n"
    "SETC\n QF 1 0 1E-5 2E-5 1E-6 1E-5,\n QF 11 1 -1E-5 1E-5 0 0,\n QF 21 2 2E-5 -1E-5 0 -1E-5,\n"
    " QD 6 3 1E-5 -1E-5 0 0,\n K 43 3 -2E-5 1E-5 0 0,\n A 44 0 1E-5 1E-5 0 0,\n 99\n"
    "BLOC\n 0 0\n S\n QD\n 1E-5 0 -1E-5 0 0 0.001 0\n 99\n"
    "SEIS\n 50 1E-6 10 70 1E-6 40\n QF\n A\n";

std::vector<Vector6> particle_set(int n, int seed, double scale = 1.0) {
  std::vector<Vector6> set;
  std::mt19937_64 engine(static_cast<std::mt19937_64::result_type>(seed));
  std::uniform_real_distribution<double> u(-scale, scale);
  for (int i = 0; i < n; ++i)
    set.push_back(Vector6{3e-3 * u(engine), 1e-4 * u(engine), 3e-3 * u(engine), 1e-4 * u(engine),
                          1e-3 * u(engine), 2e-3 * u(engine)});
  return set;
}

std::vector<double> store_bits(int n) {
  std::vector<double> bits;
  for (int k = 1; k <= 6; ++k)
    bits.insert(bits.end(), trace.column(k), trace.column(k) + n);
  bits.insert(bits.end(), alive.flag.data(), alive.flag.data() + n);
  return bits;
}

bool same_bits(const std::vector<double> &a, const std::vector<double> &b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// 48 particles, some lost at the aperture and the collimator, printed every four turns, with the
// bends radiating their mean loss through their pieces: one and two threads and chunks of 256,
// 5 and 1 particles give the same listing, terminal and bits.
TEST(ImperfectTracking, AnyThreadsAndChunksGiveTheSameBits) {
  const std::vector<Vector6> set = particle_set(48, 11, 0.5);
  const std::string deck =
      RING + IMPERFECTIONS + "SYNC\n 1 1 3,\nCONS\n 9 2.5E-5,\n" + trac(-1, 4, set, 12) + "STOP\n";
  std::string listing, terminal;
  std::vector<double> bits;
  for (int threads : {1, 2}) {
    for (int chunk : {256, 5, 1}) {
      set_tracking_threads(threads);
      set_tracking_chunk(chunk);
      const DeckRun r = run_deck(deck);
      ASSERT_EQ(r.status, 0) << r.listing;
      const std::vector<double> now = store_bits(48);
      if (listing.empty()) {
        listing = r.listing;
        terminal = r.terminal;
        bits = now;
        EXPECT_GT(48 - trace.nlive, 3);
        EXPECT_GT(trace.nlive, 20);
        continue;
      }
      EXPECT_EQ(r.listing, listing) << threads << " threads, chunk " << chunk;
      EXPECT_EQ(r.terminal, terminal) << threads << " threads, chunk " << chunk;
      EXPECT_TRUE(same_bits(now, bits)) << threads << " threads, chunk " << chunk;
    }
  }
  set_tracking_threads(0);
  set_tracking_chunk(CHUNK);
}

// Momentum offsets that are all 0 send every quadrupole through the particle loop, with the
// arithmetic of a particle that sees no offset: its misalignment, errors and corrector then give
// the bits the columns give.
TEST(ImperfectTracking, ColumnsGiveTheBitsOfTheParticleLoop) {
  const std::vector<Vector6> set = particle_set(40, 5, 0.5);
  const std::string deck = RING + IMPERFECTIONS + "CONS\n 9 2.5E-5,\n";
  const DeckRun columns = run_deck(deck + trac(-1, 4, set, 6) + "STOP\n");
  const std::vector<double> column_bits = store_bits(40);
  const DeckRun particles = run_deck(deck + "SPAC\n 1 1 0 0,\n" + trac(-1, 4, set, 6) + "STOP\n");
  EXPECT_TRUE(same_bits(store_bits(40), column_bits));
  EXPECT_GT(40 - trace.nlive, 0);
  // From the initial positions to the last printed turn (the closing line holds the deck's
  // line number, which differs).
  const auto trac_part = [](const std::string &listing) {
    const std::size_t from = listing.find("INITIAL POSITIONS");
    return listing.substr(from, listing.rfind('\n', listing.rfind("STOP")) - from);
  };
  EXPECT_EQ(trac_part(particles.listing), trac_part(columns.listing));
}

// The map kernel with a corrector and a displaced frame: every live particle gets the bits of
// the one-particle chain (corrector in, frame in, map, frame out, corrector out), on blocks of
// lanes and on the particles after them; a particle whose results overflow keeps what it entered
// with and is told; the column forms of the frames match the one-particle forms too.
TEST(ImperfectTracking, FramedKernelIsTheOneParticleChainLaneByLane) {
  run_deck("Q: QUADRUPOLE, L = 0.5, K1 = 1.2, TILT = 0.3\nL1: LINE = (Q)\nUSE, L1\nVORAX\n");
  const SparseMap s = sparse_copy(blank.maps(blank.matrix_number(1)));
  Displacements d;
  d.dx_in = 1e-4, d.dxp_in = -2e-5, d.dy_in = 3e-5, d.dyp_in = 1e-5, d.ds_in = 2e-3;
  d.dx_out = -1.2e-4, d.dxp_out = 2e-5, d.dy_out = -3e-5, d.dyp_out = -1e-5, d.ds_out = -2e-3;
  d.cos_in = std::cos(0.01), d.sin_in = std::sin(0.01);
  d.cos_out = std::cos(-0.01), d.sin_out = std::sin(-0.01), d.ddelta = 1e-4;
  Corset c;
  c.x_in = 1e-5, c.xp_in = -1e-5, c.y_in = 2e-5, c.yp_in = 1e-6, c.kick_x = 3e-5;
  c.kick_y = -2e-5, c.x_out = -1e-5, c.xp_out = 1e-5, c.y_out = -2e-5, c.yp_out = 0,
  c.ddelta = 1e-5;
  const int n = 61;
  std::vector<double> data(6 * n);
  std::vector<std::int32_t> live(n);
  std::mt19937_64 engine(3);
  std::uniform_real_distribution<double> u(-1e-3, 1e-3);
  for (double &v : data)
    v = u(engine);
  data[n + 40] = 1e200; // a slope whose square overflows in the map
  for (int p = 0; p < n; ++p)
    live[p] = p % 7 == 3 ? 0 : 1;
  const std::vector<double> before = data;
  Columns z;
  for (int k = 0; k < 6; ++k)
    z[k] = data.data() + k * n;
  const auto expect_chain = [&](const std::vector<double> &got, bool map, const char *what) {
    for (int p = 0; p < n; ++p) {
      double one[6];
      for (int k = 0; k < 6; ++k)
        one[k] = before[k * n + p];
      if (live[p] != 0 && p != 40) {
        enter_corrector(c, one);
        enter_displaced_frame(d, one);
        if (map)
          apply_map_one(s, one);
        leave_displaced_frame(d, one);
        leave_corrector(c, one);
      }
      for (int k = 0; k < 6; ++k)
        EXPECT_EQ(std::memcmp(&one[k], &got[k * n + p], sizeof(double)), 0)
            << what << " particle " << p << " coordinate " << k;
    }
  };
  int failed[n];
  for (int count : {n, 5}) { // 5: below a block, the particles one by one
    std::copy(before.begin(), before.end(), data.begin());
    const int lost = apply_map_live(s, z, live.data(), count, failed, &d, &c);
    std::vector<double> got = before;
    for (int k = 0; k < 6; ++k)
      std::copy(z[k], z[k] + count, got.begin() + k * n);
    if (count == n) {
      ASSERT_EQ(lost, 1);
      EXPECT_EQ(failed[0], 40);
      expect_chain(got, true, "kernel");
    } else {
      EXPECT_EQ(lost, 0);
      for (int p = 0; p < count; ++p)
        for (int k = 0; k < 6; ++k) {
          double one[6];
          for (int j = 0; j < 6; ++j)
            one[j] = before[j * n + p];
          if (live[p] != 0) {
            enter_corrector(c, one);
            enter_displaced_frame(d, one);
            apply_map_one(s, one);
            leave_displaced_frame(d, one);
            leave_corrector(c, one);
          }
          EXPECT_EQ(std::memcmp(&one[k], &got[k * n + p], sizeof(double)), 0) << p << " " << k;
        }
    }
  }
  // The frames alone on the columns (the radiating bend's way): the overflowing particle is
  // skipped here, and the leaving form tells the live ones that are not finite.
  std::copy(before.begin(), before.end(), data.begin());
  live[40] = 0;
  enter_corrector(c, z, live.data(), n);
  enter_displaced_frame(d, z, live.data(), n);
  EXPECT_EQ(leave_displaced_frame(d, z, live.data(), n, failed), 0);
  EXPECT_EQ(leave_corrector(c, z, live.data(), n, failed), 0);
  expect_chain(data, false, "frames");
  data[2 * n + 60] = std::numeric_limits<double>::infinity();
  ASSERT_EQ(leave_corrector(c, z, live.data(), n, failed), 1);
  EXPECT_EQ(failed[0], 60);
}

// An operation that changes the machine between two runs: the second run tracks exactly as a
// fresh run after the same operation.
TEST(StepPlan, ARunAfterAChangeTracksAsAFreshRun) {
  const std::vector<Vector6> first = particle_set(6, 1), second = particle_set(6, 2);
  const std::string misa = "SEED\n 3,\nMISA\n QF 1E-4 0 1E-4 0 0 0.01 0 1,\n 99\n";
  const char *changes[] = {
      "MODI\n 1\n QF K1 0.95\n",
      "MODI\n 2\n K DXP 3E-5\n D L 1.01\n",
      "MODI\n 1\n R XSIZE 1.5E-3\n",
      "CORR\n QF 1 44,\n 99\nSETC\n QF 11 1 1E-5 2E-5 0 0,\n 99\n",
      "CORR\n K 1 44,\n 99\nSETC\n K 43 3 1E-5 2E-5 0 0,\n 99\nCHAN\n 1\n K 2 1\n K 0 1 1 0\n",
      "SETM\n 3 1\n QF 0\n",
      "ERRO\n QD K1 0.01,\n 99\nSETE\n 1 1\n QD 0\n",
      "SETS\n 3 1.0,\n",
      "SYNC\n 1 1 3,\n",
      "BLOC\n 0 0\n S\n QD\n 1E-5 0 0 0 0 0 0\n 99\n",
      "SEIS\n 50 1E-6 10 70 1E-6 40\n QF\n A\n",
  };
  for (const char *change : changes) {
    run_deck(RING + misa + "SETM\n 0 1\n QF 0\n" + trac(-1, -2, first, 3, "0", ",") + change +
             trac(-1, -2, second, 3) + "STOP\n");
    const std::vector<double> after_first = store_bits(6);
    run_deck(RING + misa + "SETM\n 0 1\n QF 0\n" + change + trac(-1, -2, second, 3) + "STOP\n");
    EXPECT_TRUE(same_bits(store_bits(6), after_first)) << change;
  }
}

// A slow change of a quadrupole's K1 at the start of each turn tracks as the same values set
// between turns with MODI and the run continued; the multipole and the other elements keep
// their steps.
TEST(StepPlan, ASlowChangeTracksAsTheChangedMachineTurnByTurn) {
  const std::vector<Vector6> set = particle_set(6, 9, 0.3);
  const DeckRun slow = run_deck(RING + "ADIA\n QF\n K1 1\n 1 3 0.875 0.9375\n 99\n" +
                                trac(-1, -2, set, 3) + "STOP\n");
  ASSERT_EQ(slow.status, 0) << slow.listing;
  const std::vector<double> slow_bits = store_bits(6);
  run_deck(RING + "MODI\n 1\n QF K1 0.875\n" + trac(-1, -2, set, 1, "0", ",") +
           "MODI\n 1\n QF K1 0.90625\nTRAC\n -1 -2 0 1,\nMODI\n 1\n QF K1 0.9375\n"
           "TRAC\n -1 -2 0 1;\nSTOP\n");
  EXPECT_TRUE(same_bits(store_bits(6), slow_bits));
  EXPECT_EQ(trace.nlive, 5); // one lost at the collimator in the last turn
}

// A machine longer than a segment of visits runs its turn in several segments: one turn of a
// ring of 1100 equal cells (8800 positions) must give, bit for bit, what 1100 turns of the cell
// give, particles lost on the way included.
TEST(StepPlan, ATurnLongerThanASegmentTracksAsItsCellsOneAfterTheOther) {
  const std::string cell = "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
                           "SF: SEXTUPOLE, L = 0.2, K2 = 40\nD: DRIFT, L = 1.0\n"
                           "C: RCOLLIMATOR, XSIZE = 0.011, YSIZE = 0.02\n"
                           "CELL: LINE = (QF, D, SF, C, QD, D, D, D)\n"
                           "RING: LINE = (1100*CELL)\n";
  const std::string particles = " 1E-3 0 1E-3 0 0 0\n 4E-3 0 2E-3 0 0 1E-3\n"
                                " 9E-3 0 0 0 0 0\n 1.2E-2 0 5E-3 0 0 -1E-3\n 0;\nSTOP\n";
  static_assert(8 * 1100 > SEGMENT_STEPS);
  const SizedMachine sized(20000); // each of the cells' passes takes two marker entries
  const DeckRun ring = run_deck_with_results(
      cell + "USE, RING\nVORAX\nTRAC\n -1 -1 4 1\n" + particles, {true, false});
  const DeckRun cells = run_deck_with_results(
      cell + "USE, CELL\nVORAX\nTRAC\n -1 -1 4 1100\n" + particles, {true, false});
  ASSERT_EQ(ring.status, 0) << ring.terminal;
  ASSERT_EQ(cells.status, 0) << cells.terminal;
  ParsedTfs a, b;
  ASSERT_EQ(parse_tfs(ring.files.at("tables/trac_1.tfs"), a), "") << ring.terminal;
  ASSERT_EQ(parse_tfs(cells.files.at("tables/trac_1.tfs"), b), "") << cells.terminal;
  ASSERT_EQ(a.rows.size(), b.rows.size());
  ASSERT_GT(a.rows.size(), 4u); // the final coordinates, after the initial ones
  for (std::size_t r = 0; r < a.rows.size(); ++r)
    for (const char *c : {"NUMBER", "X", "PX", "Y", "PY", "L", "DELTA"})
      EXPECT_EQ(a.rows[r][a.column(c)], b.rows[r][b.column(c)]) << "row " << r << " " << c;
  ParsedTfs la, lb;
  ASSERT_EQ(parse_tfs(ring.files.at("tables/trac_1_losses.tfs"), la), "");
  ASSERT_EQ(parse_tfs(cells.files.at("tables/trac_1_losses.tfs"), lb), "");
  ASSERT_EQ(la.rows.size(), lb.rows.size());
  EXPECT_GE(la.rows.size(), 1u); // the largest amplitude is lost at a collimator
  for (std::size_t r = 0; r < la.rows.size(); ++r)
    EXPECT_EQ(la.rows[r][la.column("X")], lb.rows[r][lb.column("X")]) << "loss " << r;
}

} // namespace
} // namespace vorax::test
