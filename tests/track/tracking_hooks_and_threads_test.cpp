// The loop's seams and its sharing of work: a misalignment that only rolls an element tracks as
// the tilted element, field errors that change an attribute track as the changed lattice and
// leave every map record as designed, the plot hook is called on its schedule, and any number
// of threads and any chunk size give the same bits and the same listing. The masked block kernel
// leaves lost particles untouched and agrees with the one-particle formula bit for bit.
#include "tracking_support.h"

#include "common/slots.h"
#include "track/map_kernels.h"
#include "track/tracking_hooks.h"
#include "track/tracking_steps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace vorax::test {
namespace {

// A roll-only misalignment as the misalignment hooks give it: into the element's frame by the
// roll at entry, back by the opposite roll at exit.
double roll_angle = 0.0;
bool quadrupoles_rolled(int, int element, Displacements &at) {
  at = Displacements{};
  at.cos_in = std::cos(roll_angle);
  at.sin_in = std::sin(roll_angle);
  at.cos_out = std::cos(-roll_angle);
  at.sin_out = std::sin(-roll_angle);
  return inputt.kode(element) == KODE_QUAD;
}
bool switched_on() {
  return true;
}

TEST(TrackingHooks, RollOnlyMisalignmentTracksAsTheTiltedElement) {
  const Vector6 z{1e-3, -2e-4, 5e-4, 3e-4, 0, 1e-3};
  roll_angle = 0.37;
  TrackingHooks hooks;
  hooks.active = switched_on;
  hooks.misaligned = quadrupoles_rolled;
  Vector6 rolled;
  {
    Seam<TrackingHooks>::Scope scope(tracking_seam, hooks);
    run_deck("Q: QUADRUPOLE, L = 0.6, K1 = 1.4\nD: DRIFT, L = 1\nL1: LINE = (D, Q, D)\n"
             "USE, L1\nVORAX\n" +
             trac(-1, -2, {z}, 2) + "STOP\n");
    rolled = particle(1);
  }
  run_deck("Q: QUADRUPOLE, L = 0.6, K1 = 1.4, TILT = 0.37\nD: DRIFT, L = 1\nL1: LINE = (D, Q, D)\n"
           "USE, L1\nVORAX\n" +
           trac(-1, -2, {z}, 2) + "STOP\n");
  const Vector6 tilted = particle(1);
  for (int k = 0; k < 6; ++k)
    EXPECT_NEAR(rolled[k], tilted[k], 1e-17 + 1e-13 * std::fabs(tilted[k])) << k + 1;
}

// Field errors as the error hooks apply them: K1 of the quadrupole at position 2 raised by 0.05
// and its map rebuilt, the design put back after the position.
TransferMap saved_map;
double saved_k1 = 0.0;
int applied = 0, restored = 0;
bool raise_k1(int position, int element, int slot) {
  if (position != 2)
    return false;
  ++applied;
  saved_k1 = inputt.slot(element, slot::quad::K1);
  saved_map = blank.maps(slot);
  inputt.slot(element, slot::quad::K1) = saved_k1 + 0.05;
  matgen(element);
  return true;
}
void put_back(int element, int slot) {
  ++restored;
  inputt.slot(element, slot::quad::K1) = saved_k1;
  blank.maps(slot) = saved_map;
}

TEST(TrackingHooks, FieldErrorsTrackAsTheChangedLatticeAndLeaveTheDesign) {
  const Vector6 z{1e-3, -2e-4, 5e-4, 3e-4, 0, 1e-3};
  const std::string rest = "D: DRIFT, L = 1\nQ2: QUADRUPOLE, L = 0.6, K1 = -0.8\n"
                           "L1: LINE = (D, Q, D, Q2, Q, D)\nUSE, L1\nVORAX\n";
  TrackingHooks hooks;
  hooks.active = switched_on;
  hooks.apply_errors = raise_k1;
  hooks.restore_element = put_back;
  Vector6 with_errors;
  TransferMap design;
  applied = restored = 0;
  {
    Seam<TrackingHooks>::Scope scope(tracking_seam, hooks);
    run_deck("Q: QUADRUPOLE, L = 0.6, K1 = 1.4\n" + rest + trac(-1, -2, {z}, 3) + "STOP\n");
    with_errors = particle(1);
    const int q = blank.mseq(2);
    design = element_map(q, map_context());
    EXPECT_EQ(std::memcmp(&blank.maps(blank.matrix_number(q)), &design, sizeof design), 0);
    EXPECT_EQ(inputt.slot(q, slot::quad::K1), 1.4);
  }
  EXPECT_EQ(applied, 3);
  EXPECT_EQ(restored, 3);
  // The same quadrupole changed at its position 2 only: the changed element stands there, the
  // design one at position 5.
  run_deck("Q: QUADRUPOLE, L = 0.6, K1 = 1.4\nQE: QUADRUPOLE, L = 0.6, K1 = 1.45\n"
           "D: DRIFT, L = 1\nQ2: QUADRUPOLE, L = 0.6, K1 = -0.8\n"
           "L1: LINE = (D, QE, D, Q2, Q, D)\nUSE, L1\nVORAX\n" +
           trac(-1, -2, {z}, 3) + "STOP\n");
  const Vector6 changed = particle(1);
  for (int k = 0; k < 6; ++k)
    EXPECT_EQ(with_errors[k], changed[k]) << k + 1;
}

std::vector<int> plot_calls;
void record_plot(int continuation) {
  plot_calls.push_back(trace.iturn * 10 + continuation);
}

TEST(TrackingHooks, PlotHookOnTheTurnSchedule) {
  TrackingHooks hooks;
  hooks.plot_particles = record_plot;
  Seam<TrackingHooks>::Scope scope(tracking_seam, hooks);
  const std::string deck = "Q: QUADRUPOLE, L = 1, K1 = 0.3\nL1: LINE = (Q)\nUSE, L1\nVORAX\n";
  plot_calls.clear();
  run_deck(deck + trac(3, -2, {Vector6{}}, 10, "0 11 1 -1 1 -1 1 -1 1 -1 101 51") + "STOP\n");
  // One picture over turns 3, 6 and 9, the later frames added to the first.
  EXPECT_EQ(plot_calls, (std::vector<int>{30, 61, 91}));
  plot_calls.clear();
  run_deck(deck + trac(3, -2, {Vector6{}}, 10, "0 1 1 -1 1 -1 1 -1 1 -1 101 51") + "STOP\n");
  EXPECT_EQ(plot_calls, (std::vector<int>{30, 60, 90}));
}

// 48 particles in chunks of 5 on one, two and three threads, some lost at the aperture and
// some at the collimator, in a ring with every kind of step: the same bits, the same listing and
// the same terminal.
TEST(TrackingThreads, AnyThreadsAndChunksGiveTheSameBits) {
  std::vector<Vector6> set;
  std::mt19937_64 engine(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int i = 0; i < 48; ++i)
    set.push_back(Vector6{3e-3 * u(engine), 1e-4 * u(engine), 3e-3 * u(engine), 1e-4 * u(engine),
                          1e-3 * u(engine), 2e-3 * u(engine)});
  const std::string ring =
      "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
      "B: SBEND, L = 1, ANGLE = 0.1\nD: DRIFT, L = 1\nM: MULTIPOLE, L = 0.2, K3 = 30, T3 = 0.1\n"
      "S: SEXTUPOLE, L = 0.2, K2 = 2\nC: RFCAVITY, L = 0.2, ENERGY = 1, VOLT = 0.5, FREQ = 7\n"
      "R: RCOLLIMA, L = 0.1, XSIZE = 2.5E-3, YSIZE = 2.5E-3\nK: GKICK, L = 0.2, DXP = 1E-5, ANGLE "
      "= 0.01\n"
      "RING: LINE = (4*(QF, D, B, S, D, QD, M, D, B, D), C, R, K)\nUSE, RING\nVORAX\n";
  std::string listing, terminal;
  std::vector<double> bits;
  for (int threads : {1, 2, 3}) {
    for (int chunk : {256, 5, 1}) {
      set_tracking_threads(threads);
      set_tracking_chunk(chunk);
      // A loss limit of radius 5 mm.
      const DeckRun r = run_deck(ring + "CONS\n 9 2.5E-5,\n" + trac(-1, 4, set, 12) + "STOP\n");
      std::vector<double> now(trace.pcoord.data(), trace.pcoord.data() + 48);
      for (int k = 2; k <= 6; ++k)
        now.insert(now.end(), trace.column(k), trace.column(k) + 48);
      if (listing.empty()) {
        listing = r.listing;
        terminal = r.terminal;
        bits = now;
        EXPECT_GT(48 - trace.nlive, 3);
        EXPECT_GT(trace.nlive, 1);
        continue;
      }
      EXPECT_EQ(r.listing, listing) << threads << " threads, chunk " << chunk;
      EXPECT_EQ(r.terminal, terminal) << threads << " threads, chunk " << chunk;
      EXPECT_EQ(std::memcmp(now.data(), bits.data(), bits.size() * sizeof(double)), 0);
    }
  }
  set_tracking_threads(0);
  set_tracking_chunk(CHUNK);
}

TEST(TrackingThreads, MaskedBlockKernelMatchesTheOneParticleFormula) {
  run_deck("Q: QUADRUPOLE, L = 0.5, K1 = 1.2, TILT = 0.3\nL1: LINE = (Q)\nUSE, L1\nVORAX\n");
  const SparseMap s = sparse_copy(blank.maps(blank.matrix_number(1)));
  const int n = 61;
  std::vector<double> data(6 * n);
  std::vector<std::int32_t> live(n);
  std::mt19937_64 engine(3);
  std::uniform_real_distribution<double> u(-1e-3, 1e-3);
  for (double &v : data)
    v = u(engine);
  data[7] = 1e-31;
  // A slope whose square overflows: the particle keeps its coordinates and is told.
  data[n + 40] = 1e200;
  for (int p = 0; p < n; ++p)
    live[p] = p % 7 == 3 ? 0 : 1;
  std::vector<double> before = data;
  Columns z;
  for (int k = 0; k < 6; ++k)
    z[k] = data.data() + k * n;
  int failed[n];
  ASSERT_EQ(apply_map_live(s, z, live.data(), n, failed), 1);
  EXPECT_EQ(failed[0], 40);
  for (int p = 0; p < n; ++p) {
    double one[6];
    for (int k = 0; k < 6; ++k)
      one[k] = before[k * n + p];
    if (live[p] != 0 && p != 40)
      apply_map_one(s, one);
    for (int k = 0; k < 6; ++k)
      EXPECT_EQ(std::memcmp(&one[k], &data[k * n + p], sizeof(double)), 0) << p << " " << k;
  }
  // The drift likewise, blocks and the particle after the last block alike; the slope of 1e200
  // overflows in the path length.
  std::copy(before.begin(), before.end(), data.begin());
  ASSERT_EQ(drift_live(z, live.data(), n, 0.7, 0.35, failed), 1);
  EXPECT_EQ(failed[0], 40);
  for (int p = 0; p < n; ++p) {
    double one[6];
    for (int k = 0; k < 6; ++k)
      one[k] = before[k * n + p];
    if (live[p] != 0 && p != 40)
      trdrif(one, 0.7, 0.35);
    for (int k = 0; k < 6; ++k)
      EXPECT_EQ(std::memcmp(&one[k], &data[k * n + p], sizeof(double)), 0) << p << " " << k;
  }
}

} // namespace
} // namespace vorax::test

namespace vorax::test {
namespace {

// The same through the misalignments and field errors of the program: a roll alone is the
// element's tilt, offsets of a field-free element change nothing, a fixed field error is the
// changed attribute, and the design is back after tracking.
TEST(TrackingImperfections, MisalignmentsAndErrorsTrackAsTheChangedMachine) {
  const Vector6 z{1e-3, -2e-4, 5e-4, 3e-4, 0, 1e-3};
  auto track = [&](const std::string &q, const std::string &imperfections) {
    const DeckRun r = run_deck(q + "\nD: DRIFT, L = 1\nL1: LINE = (D, Q, D, Q)\nUSE, L1\nVORAX\n" +
                               imperfections + trac(-1, -2, {z}, 3) + "STOP\n");
    EXPECT_EQ(r.status, 0) << r.listing;
    return particle(1);
  };
  const Vector6 rolled = track("Q: QUADRUPOLE, L = 0.6, K1 = 1.4",
                               "MISA\n Q 0 0 0 0 0 0.37 0 1,\n 99\nSETM\n 0 1\n Q 0\n");
  const Vector6 tilted = track("Q: QUADRUPOLE, L = 0.6, K1 = 1.4, TILT = 0.37", "");
  for (int k = 0; k < 6; ++k)
    EXPECT_NEAR(rolled[k], tilted[k], 1e-17 + 1e-13 * std::fabs(tilted[k])) << "roll " << k + 1;

  const Vector6 offset = track("Q: QUADRUPOLE, L = 0.6, K1 = 0",
                               "MISA\n Q 1E-3 0 2E-3 0 0 0 0 1,\n 99\nSETM\n 0 1\n Q 0\n");
  const Vector6 straight = track("Q: QUADRUPOLE, L = 0.6, K1 = 0", "");
  for (int k = 0; k < 6; ++k)
    EXPECT_NEAR(offset[k], straight[k], 1e-18) << "offset " << k + 1;

  const Vector6 erred =
      track("Q: QUADRUPOLE, L = 0.6, K1 = 0.75", "ERRO\n Q K1 0.25,\n 99\nSETE\n 0 1\n Q 0\n");
  const int q = blank.mseq(2);
  EXPECT_EQ(inputt.slot(q, 2), 0.75);
  const TransferMap design = element_map(q, map_context());
  EXPECT_EQ(std::memcmp(&blank.maps(blank.matrix_number(q)), &design, sizeof design), 0);
  const Vector6 changed = track("Q: QUADRUPOLE, L = 0.6, K1 = 1", "");
  for (int k = 0; k < 6; ++k)
    EXPECT_EQ(erred[k], changed[k]) << "error " << k + 1;
}

} // namespace
} // namespace vorax::test
