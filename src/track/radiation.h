// The per-particle side of radiation and momentum offsets, for the particle loop.
#pragma once

#include "track/tracking_steps.h"

namespace vorax {

void radiate_bend(const StepEffects &r, double z[6]);
// xp1, yp1: the slopes before the quadrupole's map; z: the particle after it.
void radiate_quadrupole(const StepEffects &r, double xp1, double yp1, double z[6]);
// The offsets O1 and O2 of every particle from its delta and initial delta.
void momentum_offsets();

} // namespace vorax
