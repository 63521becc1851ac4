// Accumulation of the machine map over a 9998-position ring, position by position through
// promat, at first order (6 columns) and at second order (27 columns).
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "maps/element_maps.h"

#include "support/element_tables.h"

#include <benchmark/benchmark.h>

#include <initializer_list>

using namespace vorax;
using vorax::test::add_element;
using vorax::test::give_matrix;

namespace {

// A FODO-like ring: cells of focusing and defocusing quadrupoles (some tilted) with drifts and
// monitors, an RF cavity, a phase-advance element and a few general kicks and collimators.
void build_ring() {
  reset_all_areas();
  const int d = add_element(KODE_DRIFT, {0.8});
  const int qf = add_element(KODE_QUAD, {0.4, 1.3, 1.0, 0.0});
  const int qd = add_element(KODE_QUAD, {0.4, -1.25, 1.0, 0.0});
  const int qs = add_element(KODE_QUAD, {0.2, 0.1, 1.0, 0.2});
  const int mon = add_element(KODE_MONITOR, {0.0, 0, 0, 0, 0, 3});
  const int cav = add_element(KODE_RFCAVITY, {1.0, 1.5, 1.0, 500.0, 0.0});
  const int tw = add_element(KODE_MTWISS, {0.0, 0.3, 10.0, 0.0, 0.2, 8.0, 0.0});
  const int kick = add_element(KODE_GKICK, {0.1, 0, 1e-4, 0, 0, 0, 0, 0.0, 0, 1, 0});
  const int col = add_element(KODE_COLLIMAT, {0.5, 0.01, 0.01, 1});
  for (int e : {qf, qd, qs, cav, tw}) {
    give_matrix(e);
    matgen(e);
  }
  const int cell[] = {qf, d, mon, qd, d, kick};
  int p = 0;
  while (p < MAXPOS_ELEMENTS) {
    int e = cell[p % 6];
    if (p % 600 == 5)
      e = cav;
    else if (p % 997 == 2)
      e = tw;
    else if (p % 450 == 1)
      e = qs;
    else if (p % 333 == 4)
      e = col;
    blank.mseq(++p) = e;
  }
  mat.npos = p;
}

void accumulate(benchmark::State &state, int order) {
  build_ring();
  control.map_order = order;
  prodct.ncol = order == 1 ? 6 : 27;
  TransferMap work;
  for (auto _ : state) {
    work.set_identity();
    for (int p = 1; p <= mat.npos; ++p) {
      const int e = blank.mseq(p);
      promat(e, blank.matrix_number(e), work);
    }
    benchmark::DoNotOptimize(work);
  }
  state.counters["positions_per_second"] =
      benchmark::Counter(static_cast<double>(mat.npos) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

void BM_AccumulateFirstOrder(benchmark::State &state) {
  accumulate(state, 1);
}
void BM_AccumulateSecondOrder(benchmark::State &state) {
  accumulate(state, 2);
}

} // namespace

BENCHMARK(BM_AccumulateFirstOrder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AccumulateSecondOrder)->Unit(benchmark::kMillisecond);
