// The map dispatcher: builds an element's map by kind and tilts it (build_element_map,
// element_map), and matgen, which files it into the element's record and passes it through the
// symplectic treatment when that option is on.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "maps/symmap.h"

namespace vorax {

bool build_element_map(const ElementValues &element, const MapContext &ctx, TransferMap &map) {
  bool tilted = true;
  switch (element.kind) {
  case KODE_BEND:
    bend_map(element, ctx, map);
    break;
  case KODE_QUAD:
    quad_map(element, ctx, map);
    break;
  case KODE_SEXT:
    sext_map(element, ctx, map);
    break;
  case KODE_QUADSEXT:
    quadsext_map(element, ctx, map);
    break;
  case KODE_MULTIPOL:
    multipole_map(element, ctx, map);
    break;
  case KODE_SOLENOID:
    solenoid_map(element, ctx, map);
    break;
  case KODE_QUADAC:
    quadac_map(element, ctx, map);
    break;
  case KODE_RFCAVITY:
    rfcavity_map(element, ctx, map);
    tilted = false;
    break;
  case KODE_MTWISS:
    mtwiss_map(element, ctx, map);
    tilted = false;
    break;
  case KODE_MATRIX:
    matrix_map(element, ctx, map);
    tilted = false;
    break;
  case KODE_LCAVITY:
    lcavity_map(element, ctx, map);
    tilted = false;
    break;
  default:
    return false; // kinds without a map of their own
  }
  if (tilted)
    tilt_element_map(element, ctx, map);
  return true;
}

TransferMap element_map(const ElementValues &element, const MapContext &ctx, SymmapEntry *entry) {
  TransferMap map;
  if (!build_element_map(element, ctx, map)) {
    map.set_identity();
    compose_element(element, nullptr, map, ctx);
    return map;
  }
  // Accelerating maps cannot be symplectic and are never treated.
  if (ctx.symplectic && element.kind != KODE_LCAVITY) {
    SymmapEntry scratch;
    cmap(map, ctx.ncol, element.name, entry != nullptr ? *entry : scratch);
  }
  return map;
}

TransferMap element_map(int element, const MapContext &ctx, SymmapEntry *entry) {
  return element_map(element_values(element), ctx, entry);
}

void matgen(int element) {
  if (element < 1 || element > inputt.nelm)
    return;
  const int matnum = blank.matrix_number(element);
  if (matnum < 1 || matnum > machine_limits().maxmat)
    return;
  // The row length follows the map order, so that a map built at order 2 never keeps
  // second-order entries left from an earlier build.
  prodct.ncol = map_columns();
  if (inputt.kode(element) == KODE_LCAVITY) {
    // The energy bookkeeping along the machine; lcav warns when the symplectic option is on.
    lcav(element, matnum);
    return;
  }
  if (!build_element_map(element_values(element), map_context(), blank.maps(matnum)))
    return;
  if (sym.option == 1)
    symmtx(matnum);
}

} // namespace vorax
