// The quadrupole map (flen2) and its body core (flen2m), first and second order.
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "maps/builders.h"
#include "maps/element_maps.h"

#include <cmath>

namespace vorax {

void flen2(int element, int matnum) {
  const double length = inputt.slot(element, slot::quad::L);
  double k1 = inputt.slot(element, slot::quad::K1);
  if (inputt.eunits == 1)
    k1 = -k1;
  flen2m(length, k1, matnum);
}

// The body of a quadrupole of strength K1 (focusing in x when positive). The second-order terms
// are those of the geometric variables: the chromatic terms T(i,j,6) = dR(i,j)/d delta, with the
// strength seen by an off-momentum particle K1 / (1 + delta), and the path-length terms
// T(5,j,k) of l = integral of (x'^2 + y'^2) / 2. The regime is chosen by the exact sign of K1.
void flen2m(double length, double k1, int matnum) {
  TransferMap &map = blank.maps(matnum);
  const int ncol = prodct.ncol;
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
