// Sextupole and quadrupole-sextupole maps: SEXTUPOL (hexa2, core hexa2m) and QUADSEXT
// (quasex, core qsx).
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "maps/builders.h"
#include "maps/second_order_body.h"

namespace vorax {

namespace {

// The sextupole strength S of the cores from K2: S = K2/2 (standard), -K2/2 (LDF), K2 as
// given (MERIDOXAN). The force is x'' = -S (x^2 - y^2), y'' = 2 S x y.
double sextupole_strength(double k2) {
  switch (inputt.eunits) {
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
void hexa2m(double length, double strength, int matnum) {
  TransferMap &m = blank.maps(matnum);
  int ncol = prodct.ncol;
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

void hexa2(int element, int matnum) {
  hexa2m(inputt.slot(element, slot::sext::L),
         sextupole_strength(inputt.slot(element, slot::sext::K2)), matnum);
}

// A quadrupole with a superimposed sextupole: the quadrupole's first-order matrix, and at
// second order the quadrupole's chromatic terms together with the sextupole force along the
// quadrupole's own rays (the straight case of the midplane body).
void qsx(double length, double k1, double strength, int matnum) {
  quad_sext_body(length, k1, strength, 0.0, matnum);
}

void quad_sext_body(double length, double k1, double b3, double a3, int matnum) {
  TransferMap &m = blank.maps(matnum);
  int ncol = prodct.ncol;
  m.set_identity(ncol);
  MidplaneBody model(0.0, k1, b3, a3);
  Map6 r;
  model.first_order(length, r);
  copy_first_order(r, m);
  if (ncol == 27)
    second_order_terms(model, length, m);
}

void quasex(int element, int matnum) {
  double k1 = inputt.slot(element, slot::quadsext::K1);
  if (inputt.eunits == 1)
    k1 = -k1;
  qsx(inputt.slot(element, slot::quadsext::L), k1,
      sextupole_strength(inputt.slot(element, slot::quadsext::K2)), matnum);
}

} // namespace vorax
