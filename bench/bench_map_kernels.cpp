// A quadrupole's second-order map applied to the full particle store, 128,000 particles held
// as coordinate columns: the scalar formula particle by particle against the block kernel in
// its portable and AVX2 versions; particle passes per second.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/limits.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "maps/element_maps.h"
#include "track/map_kernels.h"

#include "support/element_tables.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

using namespace vorax;

namespace {

TransferMap quadrupole_map() {
  reset_all_areas();
  const int q = test::add_element(KODE_QUAD, {0.5, 1.2, 1.0, 0.0});
  test::give_matrix(q);
  prodct.ncol = 27;
  matgen(q);
  return blank.maps(blank.matrix_number(q));
}

struct Store {
  std::vector<double> in, out;
  Columns from, to;
  Store() : in(6 * static_cast<std::size_t>(MAXPART)), out(in.size()) {
    std::mt19937_64 engine(7);
    std::uniform_real_distribution<double> uniform(-1e-3, 1e-3);
    for (double &v : in)
      v = uniform(engine);
    for (int j = 0; j < 6; ++j) {
      from[j] = in.data() + static_cast<std::size_t>(j) * MAXPART;
      to[j] = out.data() + static_cast<std::size_t>(j) * MAXPART;
    }
  }
};

template <class Apply> void passes(benchmark::State &state, Apply apply) {
  Store store;
  for (auto _ : state) {
    apply(store.from, store.to);
    benchmark::DoNotOptimize(store.out.data());
    benchmark::ClobberMemory();
  }
  state.counters["passes_per_second"] =
      benchmark::Counter(static_cast<double>(MAXPART) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

void BM_QuadrupoleScalar(benchmark::State &state) {
  const TransferMap m = quadrupole_map();
  passes(state,
         [&](const Columns &in, const Columns &out) { apply_map_scalar(m, in, out, MAXPART); });
}

void BM_QuadrupoleBlocksPortable(benchmark::State &state) {
  const SparseMap s = sparse_copy(quadrupole_map());
  passes(state, [&](const Columns &in, const Columns &out) {
    apply_map_blocks_portable(s, in, out, MAXPART);
  });
}

void BM_QuadrupoleBlocksAvx2(benchmark::State &state) {
  if (!avx2_available()) {
    state.SkipWithError("this processor has no AVX2");
    return;
  }
  const SparseMap s = sparse_copy(quadrupole_map());
  passes(state, [&](const Columns &in, const Columns &out) {
    apply_map_blocks_avx2(s, in, out, MAXPART);
  });
}

} // namespace

BENCHMARK(BM_QuadrupoleScalar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuadrupoleBlocksPortable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuadrupoleBlocksAvx2)->Unit(benchmark::kMillisecond);
