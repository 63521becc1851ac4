// Sextupole and quadrupole-sextupole maps: SEXTUPOL and QUADSEXT with their body cores.
#include "common/slots.h"
#include "maps/builders.h"
#include "maps/second_order_body.h"

namespace vorax {

namespace {

// The sextupole strength S of the cores from K2: S = K2/2 (standard), -K2/2 (LDF), K2 as
// given (MERIDOXAN). The force is x'' = -S (x^2 - y^2), y'' = 2 S x y.
double sextupole_strength(double k2, int eunits) {
  switch (eunits) {
  case 2:
    return k2;
  case 1:
    return -0.5 * k2;
  default:
    return 0.5 * k2;
  }
}

} // namespace

// A sextupole body: drift at first order; at second order the sextupole force integrated
// along the drift rays x = x0 + s x0', y = y0 + s y0' (no chromatic term: the field vanishes
// on the axis), plus the drift's path-length terms.
void sext_body_map(double length, double strength, int ncol, TransferMap &m) {
  m.set_identity(ncol);
  double l1 = length, l2 = l1 * length, l3 = l2 * length, l4 = l3 * length;
  double s = strength;
  m.R(1, 2) = length;
  m.R(3, 4) = length;
  if (ncol == 6)
    return;
  m.T(1, 1, 1) = -s * l2 / 2.0;
  m.T(1, 1, 2) = -s * l3 / 3.0;
  m.T(1, 2, 2) = -s * l4 / 12.0;
  m.T(1, 3, 3) = s * l2 / 2.0;
  m.T(1, 3, 4) = s * l3 / 3.0;
  m.T(1, 4, 4) = s * l4 / 12.0;
  m.T(2, 1, 1) = -s * l1;
  m.T(2, 1, 2) = -s * l2;
  m.T(2, 2, 2) = -s * l3 / 3.0;
  m.T(2, 3, 3) = s * l1;
  m.T(2, 3, 4) = s * l2;
  m.T(2, 4, 4) = s * l3 / 3.0;
  m.T(3, 1, 3) = s * l2;
  m.T(3, 1, 4) = s * l3 / 3.0;
  m.T(3, 2, 3) = s * l3 / 3.0;
  m.T(3, 2, 4) = s * l4 / 6.0;
  m.T(4, 1, 3) = 2.0 * s * l1;
  m.T(4, 1, 4) = s * l2;
  m.T(4, 2, 3) = s * l2;
  m.T(4, 2, 4) = 2.0 * s * l3 / 3.0;
  m.T(5, 2, 2) = l1 / 2.0;
  m.T(5, 4, 4) = l1 / 2.0;
}

void sext_map(const ElementValues &e, const MapContext &ctx, TransferMap &map) {
  sext_body_map(e(slot::sext::L), sextupole_strength(e(slot::sext::K2), ctx.eunits), ctx.ncol, map);
}

// A quadrupole with a superimposed sextupole: the quadrupole's first-order matrix, and at
// second order the quadrupole's chromatic terms together with the sextupole force along the
// quadrupole's own rays (the straight case of the midplane body).
void quad_sext_body_map(double length, double k1, double b3, double a3, int ncol, TransferMap &m) {
  m.set_identity(ncol);
  MidplaneBody model(0.0, k1, b3, a3);
  Map6 r;
  model.first_order(length, r);
  copy_first_order(r, m);
  if (ncol == 27)
    second_order_terms(model, length, m);
}

void quadsext_map(const ElementValues &e, const MapContext &ctx, TransferMap &map) {
  double k1 = e(slot::quadsext::K1);
  if (ctx.eunits == 1)
    k1 = -k1;
  quad_sext_body_map(e(slot::quadsext::L), k1,
                     sextupole_strength(e(slot::quadsext::K2), ctx.eunits), 0.0, ctx.ncol, map);
}

} // namespace vorax
