// Condition codes of the fits: what each code addresses, where its value sits in the value
// table, and the quantities of the periodic analysis.
#include "fit/fit_support.h"

#include "common/shared_areas.h"
#include "common/transfer_map.h"

namespace vorax {

int map_value_index(int code) {
  const int i = code / 100, j = (code % 100) / 10, k = code % 10;
  if (i < 1 || i > 6 || j < 1 || j > 6 || k > 6 || (k != 0 && k < j))
    return 0;
  const int column = k == 0 ? j : tcol(j, k);
  return 100 + (column - 1) * 6 + i;
}

Condition classify_condition(int code) {
  if (code >= 1 && code <= 20)
    return {Source::periodic, code, (code >= 7 && code <= 10) || code >= 17};
  if (code >= 21 && code <= 30)
    return {Source::lattice_end, code, false};
  if (code >= 31 && code <= 40)
    return {Source::lattice_fp1, code, false};
  if (code >= 41 && code <= 61)
    return {Source::beam_end, code, false};
  if (code >= 71 && code <= 91)
    return {Source::beam_fp1, code, false};
  if ((code >= 93 && code <= 98) || (code >= 271 && code <= 278))
    return {Source::tracking, 0, true};
  if (code > GEOMETRY_VALUES && code <= GEOMETRY_VALUES + 7)
    return {Source::geometry, code, false};
  if (code >= 110 && code <= 1000) {
    const int index = map_value_index(code);
    if (index == 0)
      return {};
    return {Source::map, index, code % 10 != 0};
  }
  if (code >= 1031 && code <= 1040)
    return {Source::lattice_difference, code - 730, false};
  if (code >= 1071 && code <= 1091)
    return {Source::beam_difference, code - 760, false};
  return {};
}

double periodic_quantity(int code) {
  const int plane = code <= 10 ? 1 : 2;
  switch (code <= 10 ? code : code - 10) {
  case 1:
    return plane == 1 ? analc.compaction : analc.mu(2);
  case 2:
    return analc.nu(plane);
  case 3:
    return analc.eta(plane);
  case 4:
    return analc.etap(plane);
  case 5:
    return analc.alpha(plane);
  case 6:
    return analc.beta(plane);
  case 7:
    return analc.dmu(plane);
  case 8:
    return analc.chrom(plane);
  case 9:
    return analc.dalpha(plane);
  case 10:
    return analc.dbeta(plane);
  default:
    return 0.0;
  }
}

bool periodic_analysis_failed() {
  return analc.singular != 0 || analc.unstable(1) != 0 || analc.unstable(2) != 0;
}

} // namespace vorax
