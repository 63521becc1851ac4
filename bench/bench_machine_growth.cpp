// Growth with the machine: whole decks over generated rings of 10^3, 10^4 and 10^5 positions,
// with the tables sized for them. Each step is a deck of its own: the conversion alone (the
// lattice read, expanded, converted and its maps built), then the conversion followed by MATR at
// second order, by MACH, and by TRAC of 100 particles over 10 turns. A step's own cost is its
// time less that of the conversion; every cost should grow linearly with the positions.
#include "common/limits.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "program/program.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

using namespace vorax;

namespace {

// A ring of cells of ten positions (focusing and defocusing quadrupoles and sextupoles, two
// sector bends, drifts), the bends closing it.
std::string ring(int positions) {
  const int cells = positions / 10;
  return "PI = 3.141592653589793\nQF: QUADRUPOLE, L = 0.5, K1 = 0.9\n"
         "QD: QUADRUPOLE, L = 0.5, K1 = -0.9\nSF: SEXTUPOLE, L = 0.2, K2 = 1\n"
         "SD: SEXTUPOLE, L = 0.2, K2 = -1.5\nB: SBEND, L = 2, ANGLE = PI/" +
         std::to_string(cells) +
         "\nD: DRIFT, L = 0.5\n"
         "CELL: LINE = (QF, SF, D, B, D, QD, SD, D, B, D)\nRING: LINE = (" +
         std::to_string(cells) + "*CELL)\nUSE, RING\nVORAX\n";
}

std::string trac_data() {
  std::string data = "TRAC\n -1 -2 100 10\n";
  std::mt19937_64 engine(5);
  std::uniform_real_distribution<double> u(-1e-4, 1e-4);
  char line[200];
  for (int i = 0; i < 100; ++i) {
    std::snprintf(line, sizeof line, " %.6e %.6e %.6e %.6e 0 %.6e\n", 5 * u(engine), u(engine),
                  5 * u(engine), u(engine), u(engine));
    data += line;
  }
  return data + " 0;\n";
}

enum Step { CONVERSION, MATR, MACH, TRAC };

std::string operation(Step step) {
  switch (step) {
  case MATR:
    return "MATRIX\n 2 -1,\n";
  case MACH:
    return "MATRIX\n 1 -1,\nMACHINE\n 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 -1;\n";
  case TRAC:
    return trac_data();
  case CONVERSION:
    break;
  }
  return {};
}

// Resident memory of the process now, in bytes.
double resident_bytes() {
  long pages = 0, resident = 0;
  if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
      resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

void BM_Ring(benchmark::State &state, Step step) {
  const int positions = static_cast<int>(state.range(0));
  size_machine_tables(std::max(positions, MAXPOS_ELEMENTS));
  // The end of the input ends the run.
  const std::string deck = ring(positions) + operation(step);
  int status = 0;
  for (auto _ : state) {
    reset_all_areas();
    bind_units_in_memory(deck, "", UnitFiles::sandbox);
    status = run_program();
  }
  if (status != 0 || mat.npos != positions)
    state.SkipWithError("the deck did not run to its end");
  state.counters["us_per_position"] = benchmark::Counter(
      1e-6 * static_cast<double>(positions),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["rss_bytes_per_position"] = resident_bytes() / positions;
  reset_all_areas();
  size_machine_tables(MAXPOS_ELEMENTS);
}

} // namespace

BENCHMARK_CAPTURE(BM_Ring, conversion, CONVERSION)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ring, matr_second_order, MATR)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ring, mach, MACH)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ring, trac_100_particles_10_turns, TRAC)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);
