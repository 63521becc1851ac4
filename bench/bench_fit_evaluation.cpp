// One least-squares evaluation (rebuild of the varied maps, machine map, periodic analysis and
// the value table) on a ring of 1000 positions, as the minimiser calls it.
#include "common/engine_tables.h"
#include "common/reset.h"
#include "common/units.h"
#include "engine/lookup.h"
#include "fit/fit_areas.h"
#include "fit/fit_support.h"
#include "program/program.h"

#include <benchmark/benchmark.h>

using namespace vorax;

namespace {

// 250 FODO cells; the engine tables stay filled after the run.
void build_ring() {
  reset_all_areas();
  bind_units_in_memory(R"(TITLE
BENCH
QF: QUADRUPOLE, L=0.5, K1=0.9
QD: QUADRUPOLE, L=0.5, K1=-0.9
D: DRIFT, L=2.0
CELL: LINE=(QF,D,QD,D)
RING: LINE=(250*CELL)
USE, RING
VORAX
OUTP
 0 ;
STOP
)",
                       "");
  run_program();
}

// A LEAS description of two gradients and the two tunes and beta x.
void describe_fit(bool second_order) {
  reset_in_place(fitl);
  fitl.nv = 2;
  fitl.nc = 3;
  const char *names[] = {"QF", "QD"};
  for (int i = 1; i <= 2; ++i) {
    const ParameterRef p = parameter_ref(elid(Name8(names[i - 1])), 2);
    add_coupling(fitl.var(i), Coupling{p, 1.0, 0.0});
    fitl.x(i) = inputt.eldata(p.address);
  }
  const int codes[] = {2, 12, 6};
  for (int j = 1; j <= 3; ++j) {
    fitl.code(j) = codes[j - 1];
    fitl.index(j) = codes[j - 1];
    fitl.weight(j) = 1.0;
  }
  fitl.weight_sum = 3.0;
  fitl.need_analysis = 1;
  fitl.second_order = second_order ? 1 : 0;
}

void evaluation(benchmark::State &state) {
  build_ring();
  describe_fit(state.range(0) == 2);
  double x[2] = {fitl.x(1), fitl.x(2)}, fvec[3];
  long n = 0;
  for (auto _ : state) {
    // A new trial point each call, so that the varied maps are rebuilt as in a fit.
    x[0] = fitl.x(1) + 1e-9 * static_cast<double>(n++ % 7);
    fffct(nullptr, 3, 2, x, fvec, 1);
    benchmark::DoNotOptimize(fvec[0]);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(state.range(0) == 2 ? "second order" : "first order");
}

} // namespace

BENCHMARK(evaluation)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
