// The block kernel of map application against the scalar formula: bit for bit on random
// particles (coordinates below the flush limit included) in every instruction-set version,
// in place or not; and the scalar formula against the map applied independently.
#include "common/engine_tables.h"
#include "maps/element_maps.h"
#include "support/maps.h"
#include "track/map_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace vorax;
using namespace vorax::test;

namespace {

// Six coordinate columns owning their storage.
struct Particles {
  std::vector<double> data;
  int n;
  explicit Particles(int count) : data(6 * static_cast<std::size_t>(count)), n(count) {}
  Columns columns() {
    Columns c;
    for (int j = 0; j < 6; ++j)
      c[j] = data.data() + static_cast<std::size_t>(j) * n;
    return c;
  }
  double &at(int p, int j) { return data[static_cast<std::size_t>(j - 1) * n + p]; }
  bool same_bits(const Particles &o) const {
    return data.size() == o.data.size() &&
           std::memcmp(data.data(), o.data.data(), data.size() * sizeof(double)) == 0;
  }
};

// Random particles of millimetre size, with tiny and signed-zero coordinates planted among
// them: some below the flush limit, one on it, subnormals, and some just above.
Particles random_particles(int n) {
  Particles z(n);
  std::mt19937_64 engine(20240611);
  std::uniform_real_distribution<double> uniform(-1e-3, 1e-3);
  for (double &v : z.data)
    v = uniform(engine);
  const double tiny[] = {1e-31, -9.99e-31, 1e-30, -1e-30, 5e-324, -0.0, 0.0, 2e-30, -3e-29};
  for (int k = 0; k < 3 * n; ++k)
    z.at(static_cast<int>(engine() % n), static_cast<int>(engine() % 6) + 1) =
        tiny[engine() % (sizeof tiny / sizeof tiny[0])];
  return z;
}

// The record of a tilted quadrupole and of a bend with edges, built as the engine builds them.
TransferMap engine_record(int kind, const std::vector<double> &slots) {
  one_element(kind, slots);
  matgen(1);
  return record();
}

std::vector<std::pair<std::string, TransferMap>> maps() {
  return {{"quadrupole", engine_record(KODE_QUAD, {0.6, 2.3, 1.0, 0.3})},
          {"bend", engine_record(KODE_BEND, {1.2, 0.3, 0.4, 1.5, 0.1, 0.2, 0.03, 0.5, -0.05, 0.0,
                                             0.02, 0.6, 0.1})}};
}

} // namespace

TEST(MapBlocks, BitIdenticalToTheScalarFormulaInEveryVersion) {
  for (const auto &[name, m] : maps()) {
    const SparseMap s = sparse_copy(m);
    // 61 particles: a full block of 32 and a shorter one; 64: two full blocks.
    for (int n : {61, 64, 1}) {
      const Particles start = random_particles(n);
      Particles in_scalar = start, out_scalar(n);
      apply_map_scalar(m, in_scalar.columns(), out_scalar.columns(), n);
      using Kernel = void (*)(const SparseMap &, const Columns &, const Columns &, int);
      std::vector<std::pair<std::string, Kernel>> kernels = {
          {"portable", apply_map_blocks_portable}, {"chosen", apply_map_blocks}};
      if (avx2_available())
        kernels.push_back({"avx2", apply_map_blocks_avx2});
      for (const auto &[version, kernel] : kernels) {
        const std::string what = name + " " + version + " n=" + std::to_string(n);
        Particles in = start, out(n);
        kernel(s, in.columns(), out.columns(), n);
        EXPECT_TRUE(out.same_bits(out_scalar)) << what;
        // Both flush the input columns alike.
        EXPECT_TRUE(in.same_bits(in_scalar)) << what;
        // In place, the result is the same.
        Particles both = start;
        kernel(s, both.columns(), both.columns(), n);
        EXPECT_TRUE(both.same_bits(out_scalar)) << what;
      }
    }
  }
  if (!avx2_available())
    GTEST_SKIP() << "this processor has no AVX2: only the portable version was compared";
}

TEST(MapBlocks, ScalarFormulaAppliesTheMapAndFlushesOnlyBelowTheLimit) {
  for (const auto &[name, m] : maps()) {
    const int n = 64;
    Particles z = random_particles(n), out(n);
    const Particles start = z;
    apply_map_scalar(m, z.columns(), out.columns(), n);
    for (int p = 0; p < n; ++p) {
      Vec v{};
      for (int j = 1; j <= 6; ++j) {
        const double s = start.data[static_cast<std::size_t>(j - 1) * n + p];
        v[j] = std::fabs(s) < 1e-30 ? 0.0 : s;
        EXPECT_EQ(z.at(p, j), v[j]) << name << " particle " << p; // flushed in place
      }
      const Vec want = act(m, v);
      for (int i = 1; i <= 6; ++i)
        EXPECT_NEAR(out.at(p, i), want[i], 1e-15 * (1e-3 + std::fabs(want[i])))
            << name << " particle " << p << " row " << i;
    }
    // A coordinate on the limit is kept: it moves the result away from that of zero.
    Particles on(1), zero(1), r_on(1), r_zero(1);
    on.at(0, 1) = 1e-30;
    apply_map_scalar(m, on.columns(), r_on.columns(), 1);
    apply_map_scalar(m, zero.columns(), r_zero.columns(), 1);
    EXPECT_NE(r_on.at(0, 1), r_zero.at(0, 1)) << name;
  }
}
