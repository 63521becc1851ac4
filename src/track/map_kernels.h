// A second-order transfer map applied to many particles held as coordinate columns: the scalar
// formula particle by particle, and the same arithmetic over blocks of particles that the
// compiler can vectorise. Both give the same result bit for bit.
#pragma once

#include "common/table.h"
#include "common/transfer_map.h"

#include <array>
#include <cstdint>

namespace vorax {

// The columns x, x', y, y', l, delta of n particles (structure of arrays), column 1 first.
using Columns = std::array<double *, 6>;

struct Displacements;
struct Corset;

// Coordinates below this magnitude are set to 0 in the input columns before the monomials are
// formed, so that no product underflows into the slow subnormal range.
inline constexpr double TINY_COORDINATE = 1e-30;

// The non-zero coefficients of a map, row by row in increasing column order: the sum of the
// scalar formula with its zero terms left out.
struct SparseMap {
  Table<int, 1, 6> count;
  Matrix<int, 6, 27> column;
  Matrix<double, 6, 27> coefficient;
};

SparseMap sparse_copy(const TransferMap &m);

// zout(i) = sum over k = 1..27 of M(i,k) zmono(k), zero coefficients skipped, with zmono the
// coordinates and then their products zi zj (i <= j) in the packed order of the map. Reads
// the particles from in and writes them to out, which may be the same columns.
void apply_map_scalar(const TransferMap &m, const Columns &in, const Columns &out, int n);

// The same sum over blocks of particles, particle loops innermost. The portable version uses
// the instructions every x86-64 processor has; the AVX2 version wider vectors, where the
// processor has them (avx2_available); apply_map_blocks chooses.
void apply_map_blocks(const SparseMap &s, const Columns &in, const Columns &out, int n);
void apply_map_blocks_portable(const SparseMap &s, const Columns &in, const Columns &out, int n);
void apply_map_blocks_avx2(const SparseMap &s, const Columns &in, const Columns &out, int n);
bool avx2_available();

// The sparse map applied in place to the particles whose flag is not 0; the others keep their
// coordinates bit for bit. The same arithmetic as apply_map_scalar for every particle. A live
// particle whose results are not all finite keeps its coordinates too: its index (0-based, in
// increasing order) goes into failed, which holds n entries, and the count is returned.
// With a corrector or a displaced frame given, each particle enters the corrector and then the
// frame before the map and leaves them in the opposite order after it (element_frames.h), all
// with the arithmetic of the one-particle forms; the finite test is made on what it leaves with.
int apply_map_live(const SparseMap &s, const Columns &z, const std::int32_t *alive, int n,
                   int *failed, const Displacements *frame = nullptr,
                   const Corset *corrector = nullptr);

// The field-free drift of length L (half = L/2) in place on the particles whose flag is not 0,
// with the arithmetic of the one-particle drift: x + L x', y + L y', l + half (x'^2 + y'^2).
// Particles whose results are not all finite are kept and listed as apply_map_live lists them.
int drift_live(const Columns &z, const std::int32_t *alive, int n, double length, double half,
               int *failed);

// The sum for one particle held in z, with the arithmetic of the block kernels.
void apply_map_one(const SparseMap &s, double z[6]);

} // namespace vorax
