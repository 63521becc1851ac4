// The per-particle side of radiation and momentum offsets, for the particle loop.
#pragma once

#include "track/tracking_steps.h"

#include <cstdint>

namespace vorax {

// The shape of the bend of element for the loss of particles off its axis.
void bend_loss_shape(int element, StepEffects &f);
// Where a bend radiates: the fractions of its length covered by the pieces of its map, and the
// share of its radiation at each of the BEND_RADIATION_POINTS points between them.
struct BendPoints {
  double piece[BEND_RADIATION_POINTS + 1];
  double weight[BEND_RADIATION_POINTS];
  double root_weight[BEND_RADIATION_POINTS]; // of the random part
};
extern const BendPoints bend_points;
// The delta of a particle at x, y after the loss its face adds or saves (exit: the exit face,
// false: the entrance), and after the radiation of point k of the body with its random draw.
double radiate_bend_face(const StepEffects &r, double x, double y, double delta, bool exit);
double radiate_bend_point(const StepEffects &r, double x, double y, double delta, int k,
                          double random);
// xp1, yp1: the slopes before the quadrupole's map; z: the particle after it.
void radiate_quadrupole(const StepEffects &r, double xp1, double yp1, double z[6], double random);
// The random draws of a radiating step are made before it, one particle after the other in
// the order a single particle loop draws them, so that the step itself can run on every thread:
// radiation_draws per particle (the points of a bend, or the one of a quadrupole), none for
// a particle whose radiating flag is 0 (lost before it radiates).
int radiation_draws(const StepEffects &r);
void draw_radiation(const StepEffects &r, const std::uint8_t *radiating, int count, double *draws);
// The offsets O1 and O2 of every particle from its delta and initial delta.
void momentum_offsets();

} // namespace vorax
