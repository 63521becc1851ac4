// The whole front end on a large ring: reading the deck, expanding the used line into 9998
// element positions and converting them into the engine tables.
#include "common/engine_tables.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "input/conversion.h"
#include "program/program.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// 1000 distinct quadrupoles with strengths given as expressions, a drift and a bend; the ring
// repeats 1000 four-element sections twice and closes with 999 drift-bend pairs: 9998 element
// positions, plus the two markers of the ring, fill the machine sequence exactly.
std::string ring_deck() {
  std::string deck = "KF = 0.35\nLQ = 0.5\nNB = 2998\n"
                     "D: DRIFT, L = 0.75\n"
                     "B: SBEND, L = 2, ANGLE = 2*3.141592653589793/NB, E1 = 0.01, E2 = 0.01\n";
  for (int i = 1; i <= 1000; ++i)
    deck += "Q" + std::to_string(i) + ": QUADRUPO, L = LQ, K1 = " + (i % 2 ? "" : "-") +
            "KF*(1 + " + std::to_string(i) + "/10000)\n";
  deck += "RING: LINE = (2*( &\n";
  for (int i = 1; i <= 1000; ++i)
    deck += " (Q" + std::to_string(i) + ", D, B, D)" + (i < 1000 ? ", &\n" : " &\n");
  deck += "), 999*(D, B))\nUSE, RING\nSTOP\n";
  return deck;
}

void BM_ReadExpandConvertRing(benchmark::State &state) {
  const std::string deck = ring_deck();
  for (auto _ : state) {
    vorax::reset_all_areas();
    vorax::bind_units_in_memory(deck, "");
    const int status = vorax::run_program();
    vorax::vxmatd();
    if (status != 0 || vorax::mat.npos != 9998 || vorax::inputt.nelm != 1002) {
      state.SkipWithError("the ring was not read, expanded and converted as expected");
      break;
    }
    benchmark::DoNotOptimize(vorax::blank.mseq(9998));
  }
  vorax::reset_units();
  state.counters["positions/s"] = benchmark::Counter(
      9998.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadExpandConvertRing)->Unit(benchmark::kMillisecond);

} // namespace
