// Synchrotron-radiation integrals of bending magnets in closed form, their accumulation along
// the machine, and the radiation table (damping, energy spread, emittances) over an energy range.
#pragma once

#include "common/table.h"
#include "maps/bend_shape.h"

namespace vorax {

// Lattice functions of the bending plane at the bend's entrance (before the entrance edge).
struct EntranceFunctions {
  double beta = 0.0, alpha = 0.0, eta = 0.0, etap = 0.0;
};

struct BendIntegrals {
  double i1 = 0.0, i2 = 0.0, i3 = 0.0, i4 = 0.0, i5 = 0.0;
};

// The averages over the body of sin, (1 - cos)/K, ... that the integrals need, as functions
// of u = K l^2: f1 = sin(phi)/phi, f2 = (1 - cos phi)/u, f3 = (phi - sin phi)/(u phi),
// f4 = (phi - sin phi cos phi)/(u phi), f5 = (3 phi - 4 sin phi + sin phi cos phi)/(u^2 phi),
// with phi = sqrt(|u|) and the hyperbolic functions for u < 0.
void radiation_functions(double u, double f[6]);

// Contribution of one bend to I1..I5.
BendIntegrals bend_integrals(const BendShape &bend, const EntranceFunctions &in);

// Adds the contribution of the bend at position (if it is one) to lum.integral, with the
// lattice functions twf at its entrance; prints the tilt message once per machine pass.
void add_bend_integrals(int position);

// After the machine pass: prints the integrals and, when they allow, the radiation table over
// func's energy range (with the luminosity for option 2).
void radiation_summary();

} // namespace vorax
