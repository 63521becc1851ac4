// The per-particle side of radiation and momentum offsets, for the particle loop.
#pragma once

#include "track/tracking_steps.h"

#include <cstdint>

namespace vorax {

// The shape of the bend of element for the loss of particles off its axis.
void bend_loss_shape(int element, StepEffects &f);
// exit: the half at the exit face (false: the entrance); random: the draw of that half.
void radiate_bend(const StepEffects &r, double z[6], bool exit, double random);
// xp1, yp1: the slopes before the quadrupole's map; z: the particle after it.
void radiate_quadrupole(const StepEffects &r, double xp1, double yp1, double z[6], double random);
// The random draws of a radiating step are made before it, one particle after the other in
// the order a single particle loop draws them, so that the step itself can run on every thread:
// radiation_draws per particle (entry and exit of a bend, or the one of a quadrupole), none for
// a particle whose radiating flag is 0 (lost before it radiates).
int radiation_draws(const StepEffects &r);
void draw_radiation(const StepEffects &r, const std::uint8_t *radiating, int count, double *draws);
// The offsets O1 and O2 of every particle from its delta and initial delta.
void momentum_offsets();

} // namespace vorax
