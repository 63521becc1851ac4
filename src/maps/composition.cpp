// Composition of second-order maps through the extended matrix (promat), and the direct action
// of the drift-like kinds and of the general kick on the working map.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "maps/builders.h"
#include "maps/element_maps.h"

#include <array>
#include <cmath>
#include <optional>

namespace vorax {

namespace {

// The (j, k) index pair of each packed second-order column 7..27, stored at column - 7.
struct PackedPairs {
  std::array<int, 21> first{}, second{};
  constexpr PackedPairs() {
    int n = 0;
    for (int j = 1; j <= 6; ++j)
      for (int k = j; k <= 6; ++k) {
        first[n] = j;
        second[n] = k;
        ++n;
      }
  }
};
constexpr PackedPairs pairs;

// Entry (row (j,k), packed column p) of the extended matrix of a map whose first-order part
// is r (column-major 6 x 6, 0-based): the coefficient of v(a) v(b) in the product
// (R v)(j) (R v)(k).
inline double extended(const double *r, int j, int k, int p) {
  const int a = pairs.first[p] - 1, b = pairs.second[p] - 1;
  const double *ca = r + 6 * a, *cb = r + 6 * b;
  if (a == b)
    return ca[j - 1] * ca[k - 1];
  return ca[j - 1] * cb[k - 1] + cb[j - 1] * ca[k - 1];
}

bool drift_like(int kind) {
  return kind == KODE_DRIFT || kind == KODE_COLLIMAT || kind == KODE_GKICK ||
         kind == KODE_ARBITRAR || kind == KODE_MONITOR || kind == KODE_HCOLLIMA ||
         kind == KODE_TARVOCAV;
}

// A field-free drift of length d applied to every carried column of the working map.
// Option off, geometric variables: x += d x', y += d y', l += (d/2)(x'^2 + y'^2).
// Option on, canonical variables (x, px, y, py, -l, delta) with reference velocity b: the
// slope is px (1 - delta / b) to second order, and -l decreases by (d/2)(px^2 + py^2).
void apply_drift(double d, TransferMap &a, int ncol, bool canonical, double b) {
  double *v = a.m.data();
  const double half = d / 2;
  for (int c = 1; c <= ncol && c <= 6; ++c) {
    double *col = v + 6 * (c - 1);
    col[0] += d * col[1];
    col[2] += d * col[3];
  }
  // The extended-matrix rows used below depend only on rows 2, 4 and 6, which the drift does
  // not change, so the columns can be updated in place.
  if (canonical) {
    for (int c = 7; c <= ncol; ++c) {
      double *col = v + 6 * (c - 1);
      const int p = c - 7;
      const double wxx = extended(v, 2, 2, p), wyy = extended(v, 4, 4, p);
      const double wxd = extended(v, 2, 6, p), wyd = extended(v, 4, 6, p);
      col[0] = col[0] + d * col[1] - d * wxd / b;
      col[2] = col[2] + d * col[3] - d * wyd / b;
      col[4] = col[4] - half * (wxx + wyy);
    }
    return;
  }
  for (int c = 7; c <= ncol; ++c) {
    double *col = v + 6 * (c - 1);
    const int p = c - 7;
    const double wxx = extended(v, 2, 2, p), wyy = extended(v, 4, 4, p);
    col[0] += d * col[1];
    col[2] += d * col[3];
    col[4] += half * (wxx + wyy);
  }
}

// Roll of the transverse rows of the working map: x <- c x + s y, y <- c y - s x, and the same
// for the slopes (or momenta, which rotate alike). A roll turns the reference axes, so an
// element after ROLL(t) stands turned by -t against them: ROLL(-t), an element, ROLL(t) is the
// element with TILT = t. Decks written for rolls rely on this sense, which tracking shares.
void apply_roll(double angle, TransferMap &a, int ncol) {
  double c, s;
  rotation_cos_sin(angle, c, s);
  double *v = a.m.data();
  for (int col = 1; col <= ncol; ++col) {
    double *w = v + 6 * (col - 1);
    for (int r = 0; r <= 1; ++r) {
      const double x = w[r], y = w[r + 2];
      w[r] = c * x + s * y;
      w[r + 2] = c * y - s * x;
    }
  }
}

// The general kick (and ROLL, ZROT, HKICK, VKICK) in a map product. The map describes motion
// about the design orbit and has no constant column, so the kicks DX .. DP (and their V and
// T parameters), which only displace the orbit, leave R and T unchanged; tracking applies them
// exactly. What remains is geometry: half the length, the roll of the frame, then the second
// half together with the longitudinal shift DZ, so that the map spans the element length
// L + DZ that the path lengths use.
void apply_gkick(const ElementValues &e, TransferMap &a, const MapContext &ctx) {
  const double length = e(slot::gkick::L);
  apply_drift(length / 2, a, ctx.ncol, ctx.symplectic, ctx.velocity);
  const bool full = e.count() >= slot::gkick::DZ;
  const double angle = full ? convention_angle(e(slot::gkick::ANGLE), ctx.eunits) : 0.0;
  if (angle != 0.0)
    apply_roll(angle, a, ctx.ncol);
  const double rest = length / 2 + (full ? e(slot::gkick::DZ) : 0.0);
  if (rest != 0.0)
    apply_drift(rest, a, ctx.ncol, ctx.symplectic, ctx.velocity);
}

bool has_record(int kind, int matnum) {
  return kind != KODE_GKICK && !drift_like(kind) && matnum >= 1 &&
         matnum <= machine_limits().maxmat;
}

// The reference velocity of the canonical drift: the option's first scale word, 1 when unset.
double option_velocity() {
  return sym.scale(1) != 0.0 ? sym.scale(1) : 1.0;
}

// An engine element composed without its record, by compose_element's rule but read straight
// from the tables: this is the hot path of the machine's map.
void compose_unrecorded(int element, TransferMap &work, const MapContext &ctx) {
  if (inputt.kode(element) == KODE_GKICK)
    apply_gkick(element_values(element), work, ctx);
  else
    apply_drift(inputt.slot(element, slot::L), work, ctx.ncol, ctx.symplectic, ctx.velocity);
}

} // namespace

int map_columns() {
  return control.map_order == 1 ? 6 : 27;
}

MapContext map_context() {
  MapContext ctx;
  ctx.ncol = map_columns();
  ctx.eunits = inputt.eunits;
  ctx.symplectic = sym.option == 1;
  ctx.velocity = option_velocity();
  return ctx;
}

void compose_maps(const TransferMap &m, TransferMap &a, int ncol) {
  const double *mm = m.m.data();
  const double *av = a.m.data();
  // Second-order columns of m that hold a non-zero coefficient: only their extended-matrix
  // rows are needed.
  std::array<int, 21> used{};
  int nused = 0;
  if (ncol > 6)
    for (int l = 7; l <= 27; ++l) {
      const double *ml = mm + 6 * (l - 1);
      if (ml[0] != 0.0 || ml[1] != 0.0 || ml[2] != 0.0 || ml[3] != 0.0 || ml[4] != 0.0 ||
          ml[5] != 0.0)
        used[nused++] = l;
    }
  std::array<std::array<double, 21>, 21> w;
  for (int t = 0; t < nused; ++t) {
    const int p = used[t] - 7;
    for (int q = 0; q < 21; ++q)
      w[t][q] = extended(av, pairs.first[p], pairs.second[p], q);
  }
  std::array<double, 6 * 27> out;
  for (int c = 1; c <= ncol; ++c) {
    double acc[6] = {0, 0, 0, 0, 0, 0};
    const double *ac = av + 6 * (c - 1);
    for (int l = 0; l < 6; ++l) {
      const double x = ac[l];
      if (x == 0.0)
        continue;
      const double *ml = mm + 6 * l;
      for (int i = 0; i < 6; ++i)
        acc[i] += ml[i] * x;
    }
    if (c > 6)
      for (int t = 0; t < nused; ++t) {
        const double x = w[t][c - 7];
        if (x == 0.0)
          continue;
        const double *ml = mm + 6 * (used[t] - 1);
        for (int i = 0; i < 6; ++i)
          acc[i] += ml[i] * x;
      }
    for (int i = 0; i < 6; ++i)
      out[6 * (c - 1) + i] = acc[i];
  }
  double *dst = a.m.data();
  for (int k = 0; k < 6 * ncol; ++k)
    dst[k] = out[k];
}

void compose_element(const ElementValues &element, const TransferMap *record, TransferMap &work,
                     const MapContext &ctx) {
  if (element.kind == KODE_GKICK) {
    apply_gkick(element, work, ctx);
    return;
  }
  // Kinds without a record, and (defensively) an element whose record is not given, act as a
  // field-free drift of their length.
  if (drift_like(element.kind) || record == nullptr) {
    apply_drift(element(slot::L), work, ctx.ncol, ctx.symplectic, ctx.velocity);
    return;
  }
  compose_maps(*record, work, ctx.ncol);
}

void promat(int element, int matnum, TransferMap &work) {
  if (control.map_order == 2)
    prodct.ncol = 27;
  prodct.current_element = element;
  const int kind = inputt.kode(element);
  if (has_record(kind, matnum)) {
    compose_maps(blank.maps(matnum), work, map_columns());
    return;
  }
  if (kind == KODE_GKICK) {
    compose_unrecorded(element, work, map_context());
    return;
  }
  // A drift takes the option's words directly: building the whole context for it would cost a
  // noticeable part of a first-order product.
  apply_drift(inputt.slot(element, slot::L), work, map_columns(), sym.option == 1,
              option_velocity());
}

void compose_position(int position, TransferMap &work, const MapContext &ctx) {
  const int element = blank.mseq(position);
  const int kind = inputt.kode(element);
  if (kind == KODE_LCAVITY) {
    if (const std::optional<double> energy = linac_entry_energy(position)) {
      MapContext at = ctx;
      at.entry_energy = energy;
      TransferMap own;
      lcavity_map(element_values(element), at, own);
      compose_maps(own, work, ctx.ncol);
      return;
    }
  }
  const int matnum = blank.matrix_number(element);
  if (has_record(kind, matnum)) {
    compose_maps(blank.maps(matnum), work, ctx.ncol);
    return;
  }
  compose_unrecorded(element, work, ctx);
}

void compose_position(int position, TransferMap &work) {
  if (control.map_order == 2)
    prodct.ncol = 27;
  prodct.current_element = blank.mseq(position);
  compose_position(position, work, map_context());
}

void drift_entries(TransferMap &map, double length, int ncol) {
  map.R(1, 2) = length;
  map.R(3, 4) = length;
  if (ncol > 6) {
    map.T(5, 2, 2) = length / 2;
    map.T(5, 4, 4) = length / 2;
  }
}

} // namespace vorax
