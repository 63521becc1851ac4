// The map dispatcher (matgen): builds an element's map by kind, tilts it, and passes it through
// the symplectic treatment when that option is on.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "maps/symmap.h"

namespace vorax {

void matgen(int element) {
  if (element < 1 || element > inputt.nelm)
    return;
  const int matnum = blank.matrix_number(element);
  if (matnum < 1 || matnum > MAXMAT)
    return;
  // The row length follows the map order, so that a map built at order 2 never keeps
  // second-order entries left from an earlier build.
  prodct.ncol = map_columns();
  const int kind = inputt.kode(element);
  bool tilted = true;
  switch (kind) {
  case KODE_BEND:
    hbend(element, matnum);
    break;
  case KODE_QUAD:
    flen2(element, matnum);
    break;
  case KODE_SEXT:
    hexa2(element, matnum);
    break;
  case KODE_QUADSEXT:
    quasex(element, matnum);
    break;
  case KODE_MULTIPOL:
    multim(element, matnum);
    break;
  case KODE_SOLENOID:
    solqua(element, matnum);
    break;
  case KODE_QUADAC:
    quadac(element, matnum);
    break;
  case KODE_RFCAVITY:
    cavmat(element, matnum);
    tilted = false;
    break;
  case KODE_MTWISS:
    twiss(element, matnum);
    tilted = false;
    break;
  case KODE_MATRIX:
    genral(element, matnum);
    tilted = false;
    break;
  case KODE_LCAVITY:
    // Accelerating maps are not symplectic; lcav warns when the option is on.
    lcav(element, matnum);
    return;
  default:
    return; // kinds without a record
  }
  if (tilted)
    tiltm(element, matnum);
  if (sym.option == 1)
    symmtx(matnum);
}

void reset_maps_areas() {
  symmap.clear();
}

} // namespace vorax
