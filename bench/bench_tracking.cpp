// Tracking speed in particle-position passes per second, on one thread and on two: TRAC of
// 1000 particles for 1000 turns through the FODO ring of the example deck (the whole operation,
// printing off), and map and drift positions alone on the full store of 128,000 particles.
#include "common/engine_tables.h"
#include "common/limits.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "maps/element_maps.h"
#include "program/program.h"
#include "track/tracking_areas.h"
#include "track/tracking_loop.h"
#include "track/tracking_steps.h"

#include "support/element_tables.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace vorax;

namespace {

std::string fodo_trac(int particles, int turns) {
  std::string deck = "PI = 3.141592653589793\n"
                     "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
                     "B:  SBEND, L = 2.0, ANGLE = 2*PI/16\nD:  DRIFT, L = 0.5\n"
                     "CELL: LINE = (QF, D, B, D, QD, D, B, D)\nRING: LINE = (8*CELL)\n"
                     "USE, RING\nVORAX\nTRAC\n -1 -2 " +
                     std::to_string(particles) + " " + std::to_string(turns) + "\n";
  std::mt19937_64 engine(5);
  std::uniform_real_distribution<double> u(-1e-3, 1e-3);
  char line[200];
  for (int i = 0; i < particles; ++i) {
    std::snprintf(line, sizeof line, " %.6e %.6e %.6e %.6e 0 %.6e\n", 5 * u(engine), u(engine),
                  5 * u(engine), u(engine), u(engine));
    deck += line;
  }
  return deck + " 0;\nSTOP\n";
}

void BM_TracFodoRing(benchmark::State &state) {
  set_tracking_threads(static_cast<int>(state.range(0)));
  const int particles = 1000, turns = 1000;
  const std::string deck = fodo_trac(particles, turns);
  for (auto _ : state) {
    reset_all_areas();
    bind_units_in_memory(deck, "", UnitFiles::sandbox);
    benchmark::DoNotOptimize(run_program());
  }
  state.counters["passes_per_second"] =
      benchmark::Counter(64.0 * particles * turns * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  set_tracking_threads(0);
}

// The full store through a number of positions of one step each.
void positions(benchmark::State &state, const Step &step, int count) {
  set_tracking_threads(static_cast<int>(state.range(0)));
  trace.npart = trace.nlive = MAXPART;
  std::mt19937_64 engine(7);
  std::uniform_real_distribution<double> u(-1e-3, 1e-3);
  for (int k = 1; k <= 6; ++k)
    for (int i = 1; i <= MAXPART; ++i)
      trace.pcoord(i, k) = u(engine);
  alive.flag.fill(1);
  prepare_run();
  std::vector<Visit> visits(static_cast<std::size_t>(count), Visit{&step, nullptr, 1, 1, false});
  const TrackingMode mode;
  for (auto _ : state) {
    run_segment(visits.data(), count, mode);
    benchmark::ClobberMemory();
  }
  state.counters["passes_per_second"] = benchmark::Counter(
      static_cast<double>(MAXPART) * count * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
  set_tracking_threads(0);
}

void BM_MapPositions128k(benchmark::State &state) {
  reset_all_areas();
  const int q = test::add_element(KODE_QUAD, {0.5, 1.2, 1.0, 0.0});
  test::give_matrix(q);
  prodct.ncol = 27;
  matgen(q);
  static SparseMap map;
  map = sparse_copy(blank.maps(blank.matrix_number(q)));
  Step step;
  step.action = Action::MAP;
  step.loss_test = true;
  step.map.sparse = &map;
  positions(state, step, 8);
}

void BM_DriftPositions128k(benchmark::State &state) {
  reset_all_areas();
  Step step;
  step.action = Action::DRIFT;
  step.length = 0.5;
  step.half = 0.25;
  positions(state, step, 8);
}

} // namespace

BENCHMARK(BM_TracFodoRing)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MapPositions128k)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DriftPositions128k)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
