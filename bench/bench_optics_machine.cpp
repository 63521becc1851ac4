// The machine pass of the matrix operation over a 9996-position FODO ring with bends: MATR at
// second order with the periodic analysis, and MACH with the lattice functions at every
// position and the synchrotron integrals of every bend.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "maps/element_maps.h"
#include "optics/lattice_functions.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"

#include "support/element_tables.h"

#include <benchmark/benchmark.h>

#include <initializer_list>

using namespace vorax;
using vorax::test::add_element;
using vorax::test::give_matrix;

namespace {

// 833 cells of 12 positions: quadrupoles, sextupoles, drifts and sector bends.
void build_ring() {
  reset_all_areas();
  bind_units_in_memory("", "");
  control.print_level = 0;
  const double pi = const_.pi;
  const int d = add_element(KODE_DRIFT, {0.5});
  const int qf = add_element(KODE_QUAD, {0.5, 0.9, 1.0, 0.0});
  const int qd = add_element(KODE_QUAD, {0.5, -0.9, 1.0, 0.0});
  const int sf = add_element(KODE_SEXT, {0.2, 1.0, 1.0, 0.0});
  const int sd = add_element(KODE_SEXT, {0.2, -1.5, 1.0, 0.0});
  const int b = add_element(KODE_BEND, {2.0, pi / 833, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  for (int e : {qf, qd, sf, sd, b}) {
    give_matrix(e);
    matgen(e);
  }
  const int cell[] = {qf, sf, d, b, d, d, qd, sd, d, b, d, d};
  int p = 0;
  for (int c = 0; c < 833; ++c)
    for (int e : cell) {
      blank.mseq(++p) = e;
      blank.element_length(e) = inputt.slot(e, 1);
    }
  mat.npos = p;
}

void report(benchmark::State &state) {
  state.counters["positions_per_second"] =
      benchmark::Counter(static_cast<double>(mat.npos) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

void BM_MatrSecondOrderWithAnalysis(benchmark::State &state) {
  build_ring();
  for (auto _ : state) {
    machine_quiet(2);
    benchmark::DoNotOptimize(analc);
  }
  report(state);
}

void BM_MachLatticeFunctionsAndIntegrals(benchmark::State &state) {
  build_ring();
  machine_quiet(1);
  start_from_analysis(func.start);
  func.energy_start = func.energy_end = 3.0;
  func.sync_option = 1;
  func.operation = 510;
  mat.print_option = 1;
  mat.nint = -2;
  for (auto _ : state) {
    matrix();
    benchmark::DoNotOptimize(lum);
  }
  report(state);
}

} // namespace

BENCHMARK(BM_MatrSecondOrderWithAnalysis)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MachLatticeFunctionsAndIntegrals)->Unit(benchmark::kMillisecond);
