// Rotation of a finished element map about the beam axis by an angle or by the element's tilt
// (tilt_map, tilt_element_map and their record wrappers tiltmm, tiltm), and the angle
// conventions shared by tilts and rolls.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "maps/builders.h"
#include "maps/element_maps.h"

#include <cmath>

namespace vorax {

double convention_angle(double stored, int eunits) {
  switch (eunits) {
  case 1:
    return -stored;
  case 2:
    return stored * const_.raddeg;
  default:
    return stored;
  }
}

void rotation_cos_sin(double angle, double &c, double &s) {
  if (std::fabs(angle - const_.pi / 2) < 1e-12) {
    c = 0.0;
    s = 1.0;
    return;
  }
  c = std::cos(angle);
  s = std::sin(angle);
}

void tilt_element_map(const ElementValues &element, const MapContext &ctx, TransferMap &map) {
  const int n = element.count();
  if (n < 1)
    return;
  const double angle = convention_angle(element(slot::tilt_of(n)), ctx.eunits);
  if (angle != 0.0)
    tilt_map(map, angle, ctx.ncol);
}

// M <- S^-1 o M o S, where S turns the transverse coordinates by the angle:
// x <- c x - s y, y <- s x + c y, and the slopes alike. This is the one rotation rule of every
// tilt, multipole term angle and roll (docs/coordinates.md): S takes the particle into the
// magnet's own frame.
void tilt_map(TransferMap &map, double angle, int ncol) {
  double c, s;
  rotation_cos_sin(angle, c, s);
  TransferMap rotation, inverse, work;
  rotation.set_identity();
  inverse.set_identity();
  for (int r = 1; r <= 2; ++r) {
    rotation.R(r, r) = c;
    rotation.R(r, r + 2) = -s;
    rotation.R(r + 2, r) = s;
    rotation.R(r + 2, r + 2) = c;
    inverse.R(r, r) = c;
    inverse.R(r, r + 2) = s;
    inverse.R(r + 2, r) = -s;
    inverse.R(r + 2, r + 2) = c;
  }
  work = rotation;
  compose_maps(map, work, ncol);
  compose_maps(inverse, work, ncol);
  for (int col = 1; col <= ncol; ++col)
    for (int i = 1; i <= 6; ++i)
      map(i, col) = work(i, col);
}

void tiltm(int element, int matnum) {
  prodct.ncol = map_columns();
  tilt_element_map(element_values(element), map_context(), blank.maps(matnum));
}

void tiltmm(int, int matnum, double angle) {
  tilt_map(blank.maps(matnum), angle, map_columns());
}

} // namespace vorax
