// Map application over coordinate columns. Compiled at -O3 without contraction into fused
// multiply-adds: the block loops vectorise, and every particle still sees the operations of
// the scalar formula in the same order, so vector and scalar results agree bit for bit.
#include "track/map_kernels.h"
#include "track/frame_lanes.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

// The block body in place with a mask, written with vectors of four particles so that each
// row's sum stays in registers over its coefficients: monomials of the flushed coordinates,
// then per row 0 + c1 m1 + c2 m2 + ... in the order of the sparse copy (the scalar formula's
// order, lane by lane), results stored only where the particle is alive. Framed: the particles
// enter the corrector and the displaced frame (each when given) before the monomials are formed
// and leave them after the sums, as the one-particle step does around the map.
using namespace lanes;
constexpr int GROUPS = 4; // vectors per block: 16 particles
constexpr int LIVE_BLOCK = LANES * GROUPS;

template <bool Framed>
[[gnu::always_inline]] inline int apply_live(const SparseMap &s, const Columns &z,
                                             const std::int32_t *alive, int n, int *failed,
                                             const Displacements *frame, const Corset *corrector) {
  // The products some row uses, as (first factor, second factor, monomial index).
  int pa[21], pb[21], pm[21], products = 0;
  {
    bool needed[28] = {};
    for (int i = 1; i <= 6; ++i)
      for (int t = 1; t <= s.count(i); ++t)
        needed[s.column(i, t)] = true;
    int k = 7;
    for (int a = 0; a < 6; ++a)
      for (int b = a; b < 6; ++b, ++k)
        if (needed[k]) {
          pa[products] = a;
          pb[products] = b;
          pm[products] = k - 1;
          ++products;
        }
  }
  const Lanes tiny = {TINY_COORDINATE, TINY_COORDINATE, TINY_COORDINATE, TINY_COORDINATE};
  const Lanes zero = {0.0, 0.0, 0.0, 0.0};
  constexpr double BIG = std::numeric_limits<double>::max();
  const Lanes big = {BIG, BIG, BIG, BIG};
  int failures = 0;
  for (int first = 0; first < n; first += LIVE_BLOCK) {
    const int len = std::min(LIVE_BLOCK, n - first);
    Lanes mono[27][GROUPS];
    for (int c = 0; c < 6; ++c) {
      alignas(32) double padded[LIVE_BLOCK];
      const double *from = z[c] + first;
      if (len < LIVE_BLOCK) {
        for (int p = 0; p < LIVE_BLOCK; ++p)
          padded[p] = p < len ? from[p] : 0.0;
        from = padded;
      }
      for (int g = 0; g < GROUPS; ++g) {
        Lanes v;
        __builtin_memcpy(&v, from + LANES * g, sizeof v);
        if constexpr (Framed)
          mono[c][g] = v;
        else
          mono[c][g] = (v < tiny) & (v > -tiny) ? zero : v;
      }
    }
    if constexpr (Framed) {
      for (int g = 0; g < GROUPS; ++g) {
        if (corrector != nullptr)
          enter_corrector(*corrector, mono[0][g], mono[1][g], mono[2][g], mono[3][g], mono[5][g]);
        if (frame != nullptr)
          enter_frame(*frame, mono[0][g], mono[1][g], mono[2][g], mono[3][g], mono[5][g]);
      }
      for (int c = 0; c < 6; ++c)
        for (int g = 0; g < GROUPS; ++g) {
          const Lanes v = mono[c][g];
          mono[c][g] = (v < tiny) & (v > -tiny) ? zero : v;
        }
    }
    for (int t = 0; t < products; ++t)
      for (int g = 0; g < GROUPS; ++g)
        mono[pm[t]][g] = mono[pa[t]][g] * mono[pb[t]][g];
    Lanes result[6][GROUPS];
    // Lanes whose results are all finite (a NaN fails both comparisons).
    LaneMask finite[GROUPS];
    for (int g = 0; g < GROUPS; ++g)
      finite[g] = LaneMask{-1, -1, -1, -1};
    for (int i = 1; i <= 6; ++i) {
      Lanes *acc = result[i - 1];
      for (int g = 0; g < GROUPS; ++g)
        acc[g] = zero;
      for (int t = 1; t <= s.count(i); ++t) {
        const double coefficient = s.coefficient(i, t);
        const Lanes c = {coefficient, coefficient, coefficient, coefficient};
        const Lanes *m = mono[s.column(i, t) - 1];
        for (int g = 0; g < GROUPS; ++g)
          acc[g] = acc[g] + c * m[g];
      }
      if constexpr (!Framed)
        for (int g = 0; g < GROUPS; ++g)
          finite[g] &= (acc[g] <= big) & (acc[g] >= -big);
    }
    if constexpr (Framed) {
      for (int g = 0; g < GROUPS; ++g) {
        if (frame != nullptr)
          leave_frame(*frame, result[0][g], result[1][g], result[2][g], result[3][g], result[5][g]);
        if (corrector != nullptr)
          leave_corrector(*corrector, result[0][g], result[1][g], result[2][g], result[3][g],
                          result[5][g]);
      }
    }
    if constexpr (Framed)
      for (int g = 0; g < GROUPS; ++g)
        for (int i = 0; i < 6; ++i)
          finite[g] &= (result[i][g] <= big) & (result[i][g] >= -big);
    // The lanes stored: live particles with finite results (the padding of a short block is
    // dead). A live particle whose results are not all finite keeps its coordinates and is told
    // to the caller, which loses it.
    alignas(16) std::int32_t flag[LIVE_BLOCK] = {};
    std::copy_n(alive + first, len, flag);
    LaneMask store[GROUPS], lost = {0, 0, 0, 0};
    for (int g = 0; g < GROUPS; ++g) {
      Flags f;
      __builtin_memcpy(&f, flag + LANES * g, sizeof f);
      const LaneMask live = __builtin_convertvector(f != 0, LaneMask);
      store[g] = live & finite[g];
      lost |= live & ~finite[g];
    }
    if ((lost[0] | lost[1] | lost[2] | lost[3]) != 0)
      for (int p = 0; p < len; ++p)
        if (flag[p] != 0 && store[p / LANES][p % LANES] == 0)
          failed[failures++] = first + p;
    for (int i = 0; i < 6; ++i) {
      double *zc = z[i] + first;
      if (len == LIVE_BLOCK) {
        for (int g = 0; g < GROUPS; ++g) {
          Lanes old;
          __builtin_memcpy(&old, zc + LANES * g, sizeof old);
          const Lanes out = store[g] ? result[i][g] : old;
          __builtin_memcpy(zc + LANES * g, &out, sizeof out);
        }
      } else {
        for (int p = 0; p < len; ++p)
          if (store[p / LANES][p % LANES] != 0)
            zc[p] = result[i][p / LANES][p % LANES];
      }
    }
  }
  return failures;
}

// The field-free drift in place over blocks of four particles, with the arithmetic of trdrif:
// x + L x', y + L y', l + (L/2)(x'^2 + y'^2). A live particle whose results are not all finite
// keeps its coordinates and is listed in failed, like the map's.
[[gnu::always_inline]] inline int drift_lanes(const Columns &z, const std::int32_t *alive, int n,
                                              double length, double half, int *failed) {
  constexpr double BIG = std::numeric_limits<double>::max();
  const Lanes big = {BIG, BIG, BIG, BIG};
  const Lanes l1 = {length, length, length, length};
  const Lanes h1 = {half, half, half, half};
  int failures = 0;
  int first = 0;
  for (; first + LANES <= n; first += LANES) {
    Lanes x, xp, y, yp, l;
    Flags flags;
    __builtin_memcpy(&x, z[0] + first, sizeof x);
    __builtin_memcpy(&xp, z[1] + first, sizeof xp);
    __builtin_memcpy(&y, z[2] + first, sizeof y);
    __builtin_memcpy(&yp, z[3] + first, sizeof yp);
    __builtin_memcpy(&l, z[4] + first, sizeof l);
    __builtin_memcpy(&flags, alive + first, sizeof flags);
    const Lanes nx = x + l1 * xp;
    const Lanes ny = y + l1 * yp;
    const Lanes nl = l + h1 * (xp * xp + yp * yp);
    const LaneMask ok =
        (nx <= big) & (nx >= -big) & (ny <= big) & (ny >= -big) & (nl <= big) & (nl >= -big);
    const LaneMask live = __builtin_convertvector(flags != 0, LaneMask);
    const LaneMask move = live & ok;
    const Lanes ox = move ? nx : x, oy = move ? ny : y, ol = move ? nl : l;
    __builtin_memcpy(z[0] + first, &ox, sizeof ox);
    __builtin_memcpy(z[2] + first, &oy, sizeof oy);
    __builtin_memcpy(z[4] + first, &ol, sizeof ol);
    const LaneMask lost = live & ~ok;
    if ((lost[0] | lost[1] | lost[2] | lost[3]) != 0)
      for (int p = 0; p < LANES; ++p)
        if (lost[p] != 0)
          failed[failures++] = first + p;
  }
  // The particles after the last whole block, one by one with the same arithmetic.
  for (int p = first; p < n; ++p) {
    if (alive[p] == 0)
      continue;
    const double xp = z[1][p], yp = z[3][p];
    const double nx = z[0][p] + length * xp;
    const double ny = z[2][p] + length * yp;
    const double nl = z[4][p] + half * (xp * xp + yp * yp);
    if (!(std::fabs(nx) <= BIG && std::fabs(ny) <= BIG && std::fabs(nl) <= BIG)) {
      failed[failures++] = p;
      continue;
    }
    z[0][p] = nx;
    z[2][p] = ny;
    z[4][p] = nl;
  }
  return failures;
}

[[gnu::target("avx2")]] int drift_live_avx2(const Columns &z, const std::int32_t *alive, int n,
                                            double length, double half, int *failed) {
  return drift_lanes(z, alive, n, length, half, failed);
}

int drift_live_portable(const Columns &z, const std::int32_t *alive, int n, double length,
                        double half, int *failed) {
  return drift_lanes(z, alive, n, length, half, failed);
}

[[gnu::target("avx2")]] int apply_live_avx2(const SparseMap &s, const Columns &z,
                                            const std::int32_t *alive, int n, int *failed) {
  return apply_live<false>(s, z, alive, n, failed, nullptr, nullptr);
}

int apply_live_portable(const SparseMap &s, const Columns &z, const std::int32_t *alive, int n,
                        int *failed) {
  return apply_live<false>(s, z, alive, n, failed, nullptr, nullptr);
}

[[gnu::target("avx2")]] int apply_framed_avx2(const SparseMap &s, const Columns &z,
                                              const std::int32_t *alive, int n, int *failed,
                                              const Displacements *frame, const Corset *corrector) {
  return apply_live<true>(s, z, alive, n, failed, frame, corrector);
}

int apply_framed_portable(const SparseMap &s, const Columns &z, const std::int32_t *alive, int n,
                          int *failed, const Displacements *frame, const Corset *corrector) {
  return apply_live<true>(s, z, alive, n, failed, frame, corrector);
}

// Below this many particles a block of sixteen lanes is mostly padding: the particles go one by
// one through the one-particle sum, whose arithmetic is the lanes'.
constexpr int FEW_PARTICLES = 8;

int apply_few(const SparseMap &s, const Columns &z, const std::int32_t *alive, int n, int *failed,
              const Displacements *frame, const Corset *corrector) {
  constexpr double BIG = std::numeric_limits<double>::max();
  int failures = 0;
  for (int p = 0; p < n; ++p) {
    if (alive[p] == 0)
      continue;
    double one[6];
    for (int k = 0; k < 6; ++k)
      one[k] = z[k][p];
    if (corrector != nullptr)
      enter_corrector(*corrector, one);
    if (frame != nullptr)
      enter_displaced_frame(*frame, one);
    apply_map_one(s, one);
    if (frame != nullptr)
      leave_displaced_frame(*frame, one);
    if (corrector != nullptr)
      leave_corrector(*corrector, one);
    bool finite = true;
    for (int k = 0; k < 6; ++k)
      finite = finite && std::fabs(one[k]) <= BIG;
    if (!finite) {
      failed[failures++] = p;
      continue;
    }
    for (int k = 0; k < 6; ++k)
      z[k][p] = one[k];
  }
  return failures;
}

} // namespace

int apply_map_live(const SparseMap &s, const Columns &z, const std::int32_t *alive, int n,
                   int *failed, const Displacements *frame, const Corset *corrector) {
  if (n < FEW_PARTICLES)
    return apply_few(s, z, alive, n, failed, frame, corrector);
  if (frame != nullptr || corrector != nullptr)
    return avx2_available() ? apply_framed_avx2(s, z, alive, n, failed, frame, corrector)
                            : apply_framed_portable(s, z, alive, n, failed, frame, corrector);
  return avx2_available() ? apply_live_avx2(s, z, alive, n, failed)
                          : apply_live_portable(s, z, alive, n, failed);
}

int drift_live(const Columns &z, const std::int32_t *alive, int n, double length, double half,
               int *failed) {
  return avx2_available() ? drift_live_avx2(z, alive, n, length, half, failed)
                          : drift_live_portable(z, alive, n, length, half, failed);
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
