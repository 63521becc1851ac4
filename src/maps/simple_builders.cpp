// Builders of the maps that need no field integration: the RF cavity's drift part, the
// phase-advance element MTWISS and the user-given MATRIX element.
#include "common/control.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/slots.h"
#include "common/units.h"
#include "maps/builders.h"
#include "maps/element_maps.h"

#include <cmath>
#include <string>

namespace vorax {

// The cavity's energy change is applied by tracking; its stored map is the drift of its length.
void rfcavity_map(const ElementValues &e, const MapContext &ctx, TransferMap &map) {
  map.set_identity(ctx.ncol);
  drift_entries(map, e(slot::rfcavity::L), ctx.ncol);
}

// A linear element of given phase advances and matched lattice functions in each plane.
void mtwiss_map(const ElementValues &e, const MapContext &ctx, TransferMap &map) {
  map.set_identity(ctx.ncol);
  for (int plane = 0; plane <= 1; ++plane) {
    double mu = e(slot::mtwiss::mu(plane));
    const double beta = e(slot::mtwiss::beta(plane));
    const double alpha = e(slot::mtwiss::alpha(plane));
    if (ctx.eunits == 2)
      mu *= const_.raddeg;
    const double c = std::cos(mu), s = std::sin(mu);
    const int r = 1 + 2 * plane;
    map.R(r, r) = c + alpha * s;
    map.R(r, r + 1) = beta * s;
    map.R(r + 1, r) = -(1 + alpha * alpha) * s / beta;
    map.R(r + 1, r + 1) = c - alpha * s;
  }
}

// The map given entry by entry as (code, value) pairs after the length: code 100 i + 10 j is
// R(i,j), code 100 i + 10 j + k is T(i,j,k) with j <= k. Entries not given are zero, the diagonal
// included. A code naming no entry of the map stops the run rather than writing elsewhere.
void matrix_map(const ElementValues &e, const MapContext &ctx, TransferMap &map) {
  const int ncol = ctx.ncol;
  map.clear(ncol);
  const int values = e.count() - 1;
  const std::string name(e.name.view());
  if (values % 2 != 0) {
    write_record(control.output_unit, " MATRIX ELEMENT " + name + " HAS AN ODD NUMBER (" +
                                          fI(values, 5) + ") OF STORED CODES AND VALUES");
    halt(265);
    return;
  }
  for (int p = 1; p <= values / 2; ++p) {
    const double code = e(slot::matrix::code(p));
    const double value = e(slot::matrix::value(p));
    // The codes are whole numbers; rounding guards against a representation error.
    const long c = std::fabs(code) < 1e6 ? std::lround(code) : -1;
    const int i = static_cast<int>(c / 100), j = static_cast<int>(c % 100 / 10),
              k = static_cast<int>(c % 10);
    const bool valid =
        c > 0 && i >= 1 && i <= 6 && j >= 1 && j <= 6 && (k == 0 || (k >= j && k <= 6));
    if (!valid) {
      write_record(control.output_unit, " MATRIX ELEMENT " + name + " : CODE " + fF(code, 12, 1) +
                                            " NAMES NO ENTRY R(I,J) OR T(I,J,K) WITH J <= K <= 6");
      halt(266);
      return;
    }
    if (k == 0)
      map.R(i, j) = value;
    else if (ncol > 6)
      map.T(i, j, k) = value;
  }
}

} // namespace vorax
