// The quadrupole map and its body core, first and second order.
#include "common/slots.h"
#include "maps/builders.h"
#include "maps/element_maps.h"

#include <cmath>

namespace vorax {

void quad_map(const ElementValues &e, const MapContext &ctx, TransferMap &map) {
  const double length = e(slot::quad::L);
  double k1 = e(slot::quad::K1);
  if (ctx.eunits == 1)
    k1 = -k1;
  quad_body_map(length, k1, ctx.ncol, map);
}

// The body of a quadrupole of strength K1 (focusing in x when positive). The second-order terms
// are those of the geometric variables: the chromatic terms T(i,j,6) = dR(i,j)/d delta, with the
// strength seen by an off-momentum particle K1 / (1 + delta), and the path-length terms
// T(5,j,k) of l = integral of (x'^2 + y'^2) / 2. The regime is chosen by the exact sign of K1.
void quad_body_map(double length, double k1, int ncol, TransferMap &map) {
  map.set_identity(ncol);
  if (k1 == 0.0) {
    drift_entries(map, length, ncol);
    return;
  }
  const double k = std::sqrt(std::fabs(k1));
  const double phi = k * length;
  const double c = std::cos(phi), s = std::sin(phi);
  const double ch = std::cosh(phi), sh = std::sinh(phi);
  // (focusing plane, defocusing plane) = (x, y) for K1 > 0, else (y, x).
  const int f = k1 > 0 ? 1 : 3, d = k1 > 0 ? 3 : 1;
  map.R(f, f) = c;
  map.R(f + 1, f + 1) = c;
  map.R(f, f + 1) = s / k;
  map.R(f + 1, f) = -k * s;
  map.R(d, d) = ch;
  map.R(d + 1, d + 1) = ch;
  map.R(d, d + 1) = sh / k;
  map.R(d + 1, d) = k * sh;
  if (ncol <= 6)
    return;

  const double cx = map.R(1, 1), sx = k * map.R(1, 2), dx = map.R(2, 1) / k;
  const double cy = map.R(3, 3), sy = k * map.R(3, 4), dy = map.R(4, 3) / k;
  const double sgn = k1 > 0 ? 1.0 : -1.0;
  map.T(1, 1, 6) = -(phi / 2) * dx;
  map.T(2, 2, 6) = map.T(1, 1, 6);
  map.T(1, 2, 6) = (sx / k - cx * length) / 2;
  map.T(2, 1, 6) = sgn * (k / 2) * (phi * cx + sx);
  map.T(3, 3, 6) = -(phi / 2) * dy;
  map.T(4, 4, 6) = map.T(3, 3, 6);
  map.T(3, 4, 6) = (sy / k - cy * length) / 2;
  map.T(4, 3, 6) = -sgn * (k / 2) * (phi * cy + sy);
  map.T(5, 1, 1) = (k * cx * dx + k1 * length) / 4;
  map.T(5, 1, 2) = sx * dx / 2;
  map.T(5, 2, 2) = (cx * sx / k + length) / 4;
  map.T(5, 3, 3) = (k * cy * dy - k1 * length) / 4;
  map.T(5, 3, 4) = sy * dy / 2;
  map.T(5, 4, 4) = (cy * sy / k + length) / 4;
}

} // namespace vorax
