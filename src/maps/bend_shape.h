// A bend as the radiation integrals and the radiation of tracking see it: a sector bend in the
// standard form, whatever unit convention its data were written in.
#pragma once

namespace vorax {

// Length l, bending angle theta (radians), field index n (focusing K = (1 - n)/rho^2 in the
// bending plane), edge angles e1, e2 (radians).
struct BendShape {
  double length = 0.0, angle = 0.0, n = 0.0, e1 = 0.0, e2 = 0.0;
};

// The bend of element k in the standard form, from its data slots and the unit convention;
// tilt receives the roll angle in radians. False when the element does not bend (zero angle
// or zero length).
bool bend_shape(int element, BendShape &bend, double &tilt);

} // namespace vorax
