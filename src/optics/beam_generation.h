// GENE: a particle set drawn from the beam matrix, written into the tracking store.
#pragma once

#include "common/reset.h"
#include "common/table.h"

namespace vorax {

// The generation data of the latest GENE.
struct Cgener {
  int option = 0;
  Table<double, 1, 6> truncation; // in standard deviations; 0 (or omitted): not truncated
  double scale = 0.0;
  int count = 0;
  Table<double, 1, 6> centroid;
};
inline Cgener cgener;
inline const AreaRegistration cgener_registration{reset_area<cgener>};

// GENE. A negative end flag reuses the data of the previous GENE without reading any.
void gener(int code, int &end_flag);

} // namespace vorax
