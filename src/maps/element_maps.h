// Element transfer maps: the dispatcher, composition, tilt and the symplectic option.
#pragma once

#include "common/transfer_map.h"

namespace vorax {

void matgen(int element); // builds the map of the element into its record
// Composes the element's map (record matnum, or the drift-like action of kinds without a
// record) after the working map: work <- element o work.
void promat(int element, int matnum, TransferMap &work);
void tiltmm(int element, int matnum, double angle);
void symmtx(int matnum);     // matnum < 1: every stored map
void setsym(int &end_flag);  // SETS

} // namespace vorax
