// Drawing records for a drafting program: CADO switches them on and chooses the view, and every
// printed position of the layout adds a symbol for its magnet or a line for its drift.
#include "output/layout.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/operation_data.h"

#include <cmath>
#include <string>

namespace vorax {

namespace {

std::string f12(double v) {
  return fF(v, 12, 4);
}

// The symbol of a magnet; empty for the kinds that are not drawn.
std::string symbol_of(const ElementValues &e) {
  const double length = e(slot::L);
  switch (e.kind) {
  case KODE_BEND:
    return length < 1.5 ? "DIPOL036" : length <= 2.5 ? "DIPOL088" : "DIPOL120";
  case KODE_QUAD:
    if (length > 0.5)
      return "QPOLE24 ";
    return hpdat.focal >= 2.1 ? "QPOLE12A" : "QPOLE12 ";
  case KODE_SEXT:
    return "SPOLE10 ";
  default:
    return {};
  }
}

// Half-way between two azimuths (degrees) along the shorter arc, so that a bend across the
// +-180 degree line is not drawn the opposite way.
double mid_angle(double from, double to) {
  const double turn = std::remainder(to - from, 360.0);
  return from + 0.5 * turn;
}

} // namespace

void hpon(int, int &end_flag) {
  cintak.values.fill(0.0);
  input_record(end_flag, 2);
  hpdat.drawing = nearest_whole(cintak.values(1));
  hpdat.view = nearest_whole(cintak.values(2));
  if (hpdat.view != 1 && hpdat.view != 2) {
    write_record(control.output_unit, " CADO: VIEW" + fI(hpdat.view, 5) +
                                          " IS NEITHER 1 (PLAN) NOR 2 (ELEVATION): THE PLAN VIEW "
                                          "IS DRAWN");
    hpdat.view = 1;
  }
}

void hpdraw() {
  const ElementValues e = element_values(blank.mseq(hpdat.position));
  const bool plan = hpdat.view != 2;
  const auto &prev = hpdat.previous, &cur = hpdat.current;
  // X, Y, Z, THETA, PHI, PSI: the view's horizontal is Z, its vertical X (plan) or Y.
  const int v = plan ? 0 : 1, r = plan ? 3 : 4;
  if (e.kind == KODE_QUAD) {
    const double k1 = e(slot::quad::K1);
    hpdat.focal = quadrupole_focal_length(inputt.eunits == 1 ? -k1 : k1, e(slot::quad::L));
  }
  if (e.kind == KODE_DRIFT) {
    write_record(control.output_unit, " ADD L31      :P " + f12(prev[2]) + "," + f12(prev[v]) +
                                          " " + f12(cur[2]) + "," + f12(cur[v]) + " ;");
  } else if (const std::string symbol = symbol_of(e); !symbol.empty()) {
    const double rotation = e.kind == KODE_BEND ? mid_angle(prev[r], cur[r]) : prev[r];
    write_record(control.output_unit, " ADD " + symbol + " :R " + f12(rotation) + " " +
                                          f12(prev[2]) + "," + f12(prev[v]) + " ;");
  }
  hpdat.previous = hpdat.current;
}

} // namespace vorax
