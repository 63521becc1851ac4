// Tracking an imperfect machine against the perfect one: a ring of 600 FODO cells (4,800
// positions, 1,200 quadrupoles) with its quadrupoles misaligned, given field errors, or both,
// 1,024 particles over 50 turns (particle-position passes per second, whole TRAC); the cost of a
// position-turn with one particle; and a long run of the small ring of bench_tracking (1,000
// particles over 10,000 turns) on one and two threads. Run one with
//   build/bench_imperfect_tracking --benchmark_filter=Ring/misaligned
#include "common/reset.h"
#include "common/units.h"
#include "program/program.h"
#include "track/tracking_areas.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

using namespace vorax;

namespace {

constexpr int CELLS = 600;
constexpr int POSITIONS = 8 * CELLS;

enum Imperfection { PERFECT, MISALIGNED, ERRORS, BOTH };

std::string ring(int cells) {
  return "PI = 3.141592653589793\n"
         "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
         "B:  SBEND, L = 2.0, ANGLE = 2*PI/" +
         std::to_string(2 * cells) +
         "\nD:  DRIFT, L = 0.5\n"
         "CELL: LINE = (QF, D, B, D, QD, D, B, D)\nRING: LINE = (" +
         std::to_string(cells) + "*CELL)\nUSE, RING\nVORAX\n";
}

// Gaussian draws (cut at 2) on every quadrupole: offsets and angles of a few micrometres and
// microradians, a roll, and relative gradient errors of 1e-3.
std::string imperfections(Imperfection which) {
  std::string text = "SEED\n 12345,\n";
  if (which == MISALIGNED || which == BOTH)
    text += "MISA\n QF 2E-6 1E-6 2E-6 1E-6 1E-5 1E-4 0 1,\n QD 2E-6 1E-6 2E-6 1E-6 1E-5 1E-4 0 1,\n"
            " 99\nSETM\n 3 2\n QF 0\n QD 0\n";
  if (which == ERRORS || which == BOTH)
    text += "ERRO\n QF K1 9E-4,\n QD K1 -9E-4,\n 99\nSETE\n 3 2\n QF 0\n QD 0\n";
  return text;
}

std::string trac(int particles, int turns) {
  std::string text =
      "TRAC\n -1 -2 " + std::to_string(particles) + " " + std::to_string(turns) + "\n";
  std::mt19937_64 engine(5);
  std::uniform_real_distribution<double> u(-1e-3, 1e-3);
  char line[200];
  for (int i = 0; i < particles; ++i) {
    std::snprintf(line, sizeof line, " %.6e %.6e %.6e %.6e 0 %.6e\n", 5 * u(engine), u(engine),
                  5 * u(engine), u(engine), u(engine));
    text += line;
  }
  return text + " 0;\nSTOP\n";
}

void run(benchmark::State &state, const std::string &deck, double passes) {
  set_tracking_threads(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    reset_all_areas();
    bind_units_in_memory(deck, "", UnitFiles::sandbox);
    benchmark::DoNotOptimize(run_program());
  }
  state.counters["passes_per_second"] = benchmark::Counter(
      passes * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  set_tracking_threads(0);
}

// The 4,800-position ring, 1,024 particles over 50 turns.
void BM_Ring(benchmark::State &state, Imperfection which) {
  const int particles = 1024, turns = 50;
  run(state, ring(CELLS) + imperfections(which) + trac(particles, turns),
      static_cast<double>(POSITIONS) * particles * turns);
}

// One particle over 200 turns of the same ring: the cost of a position-turn
// (seconds_per_position_turn is the inverse of the rate).
void BM_RingOneParticle(benchmark::State &state, Imperfection which) {
  const int turns = 200;
  run(state, ring(CELLS) + imperfections(which) + trac(1, turns),
      static_cast<double>(POSITIONS) * turns);
  state.counters["seconds_per_position_turn"] = benchmark::Counter(
      static_cast<double>(POSITIONS) * turns * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The small ring of 8 cells (64 positions), 1,000 particles over 10,000 turns: the whole run,
// serial parts included, on one and on two threads.
void BM_SmallRingLongRun(benchmark::State &state) {
  const int particles = 1000, turns = 10000;
  run(state, ring(8) + trac(particles, turns), 64.0 * particles * turns);
}

} // namespace

BENCHMARK_CAPTURE(BM_Ring, perfect, PERFECT)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Ring, misaligned, MISALIGNED)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Ring, errors, ERRORS)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Ring, both, BOTH)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_RingOneParticle, perfect, PERFECT)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_RingOneParticle, misaligned, MISALIGNED)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_RingOneParticle, both, BOTH)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SmallRingLongRun)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
