// The result tables of the closed-orbit correction (COCO): the readings at the monitors before
// and after, and the corrector values before and after.
#pragma once

#include "errors/ring_correction.h"

namespace vorax {

// With --tables: coco_N.tfs, one row per monitor read, with the rms and peak readings of both
// planes before and after in its header; coco_N_correctors.tfs, one row per corrector varied.
void write_ring_correction_tables(const RingCorrectionResult &result);

} // namespace vorax
