// Map application over coordinate columns. Compiled at -O3 without contraction into fused
// multiply-adds: the block loops vectorise, and every particle still sees the operations of
// the scalar formula in the same order, so vector and scalar results agree bit for bit.
#include "track/map_kernels.h"

#include <algorithm>
#include <cmath>

namespace vorax {

namespace {

// Particles per block: the 27 monomial columns of a block and its six results stay in the
// first-level cache.
constexpr int BLOCK = 32;

inline double flushed(double z) {
  return std::fabs(z) < TINY_COORDINATE ? 0.0 : z;
}

// The body of both block versions; inlined into each, so that each is compiled for its own
// instruction set.
[[gnu::always_inline]] inline void apply_blocks(const SparseMap &s, const Columns &in,
                                                const Columns &out, int n) {
  // The monomials some row uses; the others are not formed.
  bool needed[28] = {};
  for (int i = 1; i <= 6; ++i)
    for (int t = 1; t <= s.count(i); ++t)
      needed[s.column(i, t)] = true;
  alignas(64) double mono[27][BLOCK];
  alignas(64) double result[6][BLOCK];
  for (int first = 0; first < n; first += BLOCK) {
    const int len = std::min(BLOCK, n - first);
    for (int c = 0; c < 6; ++c) {
      double *z = in[c] + first;
      double *m = mono[c];
      for (int p = 0; p < len; ++p) {
        const double v = flushed(z[p]);
        z[p] = v;
        m[p] = v;
      }
    }
    int k = 7;
    for (int a = 0; a < 6; ++a)
      for (int b = a; b < 6; ++b, ++k)
        if (needed[k]) {
          const double *za = mono[a], *zb = mono[b];
          double *m = mono[k - 1];
          for (int p = 0; p < len; ++p)
            m[p] = za[p] * zb[p];
        }
    for (int i = 1; i <= 6; ++i) {
      double *r = result[i - 1];
      for (int p = 0; p < len; ++p)
        r[p] = 0.0;
      for (int t = 1; t <= s.count(i); ++t) {
        const double coefficient = s.coefficient(i, t);
        const double *m = mono[s.column(i, t) - 1];
        for (int p = 0; p < len; ++p)
          r[p] += coefficient * m[p];
      }
    }
    for (int i = 0; i < 6; ++i)
      std::copy_n(result[i], len, out[i] + first);
  }
}

// The block body in place with a mask: monomials of the flushed coordinates, results stored
// only where the particle is alive.
[[gnu::always_inline]] inline void apply_live(const SparseMap &s, const Columns &z,
                                              const std::int32_t *alive, int n) {
  bool needed[28] = {};
  for (int i = 1; i <= 6; ++i)
    for (int t = 1; t <= s.count(i); ++t)
      needed[s.column(i, t)] = true;
  alignas(64) double mono[27][BLOCK];
  alignas(64) double result[6][BLOCK];
  for (int first = 0; first < n; first += BLOCK) {
    const int len = std::min(BLOCK, n - first);
    for (int c = 0; c < 6; ++c) {
      const double *zc = z[c] + first;
      double *m = mono[c];
      for (int p = 0; p < len; ++p)
        m[p] = flushed(zc[p]);
    }
    int k = 7;
    for (int a = 0; a < 6; ++a)
      for (int b = a; b < 6; ++b, ++k)
        if (needed[k]) {
          const double *za = mono[a], *zb = mono[b];
          double *m = mono[k - 1];
          for (int p = 0; p < len; ++p)
            m[p] = za[p] * zb[p];
        }
    for (int i = 1; i <= 6; ++i) {
      double *r = result[i - 1];
      for (int p = 0; p < len; ++p)
        r[p] = 0.0;
      for (int t = 1; t <= s.count(i); ++t) {
        const double coefficient = s.coefficient(i, t);
        const double *m = mono[s.column(i, t) - 1];
        for (int p = 0; p < len; ++p)
          r[p] += coefficient * m[p];
      }
    }
    const std::int32_t *live = alive + first;
    for (int i = 0; i < 6; ++i) {
      double *zc = z[i] + first;
      const double *r = result[i];
      for (int p = 0; p < len; ++p)
        zc[p] = live[p] != 0 ? r[p] : zc[p];
    }
  }
}

[[gnu::target("avx2")]] void apply_live_avx2(const SparseMap &s, const Columns &z,
                                             const std::int32_t *alive, int n) {
  apply_live(s, z, alive, n);
}

void apply_live_portable(const SparseMap &s, const Columns &z, const std::int32_t *alive, int n) {
  apply_live(s, z, alive, n);
}

} // namespace

void apply_map_live(const SparseMap &s, const Columns &z, const std::int32_t *alive, int n) {
  if (avx2_available())
    apply_live_avx2(s, z, alive, n);
  else
    apply_live_portable(s, z, alive, n);
}

void apply_map_one(const SparseMap &s, double z[6]) {
  double mono[27];
  for (int c = 0; c < 6; ++c)
    mono[c] = flushed(z[c]);
  int k = 6;
  for (int a = 0; a < 6; ++a)
    for (int b = a; b < 6; ++b)
      mono[k++] = mono[a] * mono[b];
  for (int i = 1; i <= 6; ++i) {
    double r = 0.0;
    for (int t = 1; t <= s.count(i); ++t)
      r += s.coefficient(i, t) * mono[s.column(i, t) - 1];
    z[i - 1] = r;
  }
}

SparseMap sparse_copy(const TransferMap &m) {
  SparseMap s;
  for (int i = 1; i <= 6; ++i) {
    int t = 0;
    for (int k = 1; k <= 27; ++k)
      if (m(i, k) != 0.0) {
        ++t;
        s.column(i, t) = k;
        s.coefficient(i, t) = m(i, k);
      }
    s.count(i) = t;
  }
  return s;
}

void apply_map_scalar(const TransferMap &m, const Columns &in, const Columns &out, int n) {
  Table<double, 1, 27> zmono;
  for (int p = 0; p < n; ++p) {
    for (int c = 1; c <= 6; ++c) {
      const double v = flushed(in[c - 1][p]);
      in[c - 1][p] = v;
      zmono(c) = v;
    }
    for (int a = 1; a <= 6; ++a)
      for (int b = a; b <= 6; ++b)
        zmono(tcol(a, b)) = zmono(a) * zmono(b);
    for (int i = 1; i <= 6; ++i) {
      double sum = 0.0;
      for (int k = 1; k <= 27; ++k)
        if (m(i, k) != 0.0)
          sum += m(i, k) * zmono(k);
      out[i - 1][p] = sum;
    }
  }
}

void apply_map_blocks_portable(const SparseMap &s, const Columns &in, const Columns &out, int n) {
  apply_blocks(s, in, out, n);
}

[[gnu::target("avx2")]] void apply_map_blocks_avx2(const SparseMap &s, const Columns &in,
                                                   const Columns &out, int n) {
  apply_blocks(s, in, out, n);
}

bool avx2_available() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

void apply_map_blocks(const SparseMap &s, const Columns &in, const Columns &out, int n) {
  if (avx2_available())
    apply_map_blocks_avx2(s, in, out, n);
  else
    apply_map_blocks_portable(s, in, out, n);
}

} // namespace vorax
