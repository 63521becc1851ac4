// One particle through one element: the conversions between geometric and canonical
// variables, the symplectic step through a generating function, the drift, the thin multipole
// kick, the RF cavity kick, the collimator aperture and the arbitrary element's wake. Each kernel
// reads the element's values as prepared once per position and changes only the particle's own
// coordinates, so particles may be pushed in any grouping and on any thread.
#pragma once

#include "common/table.h"

namespace vorax {

struct SymmapEntry;
struct TransferMap;

// Coordinates of one particle: x, x', y, y', l, delta (or x, px, y, py, -l, pt).
using Coordinates = double[6];

// Geometric to canonical variables for the reference velocity b0:
// px = x'(1 + delta) / sqrt(1 + x'^2 + y'^2) (py alike), -l, pt = sqrt((1 + delta)^2 +
// (1 - b0^2) / b0^2) - 1 / b0.
void cvar(const Coordinates in, Coordinates out, double b0);
// Canonical to geometric. A negative longitudinal momentum squared (a transverse momentum above
// the total) is taken by its magnitude; the return value is then true so that the caller warns.
bool ncvar(const Coordinates in, Coordinates out, double b0);

// The symplectic step of a map through its generating function (maps/symmap.h) on canonical
// coordinates: the implicit equations for the new momenta solved by Newton iteration (symrat)
// or by fixed-point iteration (symrtx). false when 50 iterations did not converge: the last
// iterate is used.
inline constexpr int SYMPLECTIC_ITERATIONS = 50;
bool symrat(const SymmapEntry &entry, Coordinates z);
bool symrtx(const SymmapEntry &entry, Coordinates z);

// The field-free drift over length, in geometric variables: x += L x', y += L y',
// l += (L/2)(x'^2 + y'^2).
inline void trdrif(Coordinates z, double length, double half) {
  z[0] = z[0] + length * z[1];
  z[2] = z[2] + length * z[3];
  z[4] = z[4] + half * (z[1] * z[1] + z[3] * z[3]);
}

// The second-order map applied to one particle: zout(i) = sum over k of M(i,k) zmono(k),
// zero coefficients skipped, coordinates below 1e-30 flushed to 0 first. The same arithmetic
// in the same order as the block kernel of map_kernels.h.
void trmat_dense(const TransferMap &map, Coordinates z);

// n factorial as a double (1 for n <= 0).
double bang(int n);

// A thin multipole kick prepared from a MULTIPOL or OCTUPOLE element (multit).
struct MultipoleKick {
  double half_length = 0.0;
  double scale = 1.0;
  double cos_tilt = 1.0, sin_tilt = 0.0;
  bool rotated = false;
  int top = -1; // the highest index with a non-zero coefficient; -1: no kick
  Table<double, 0, 20> b, a;
};
// Prepares the kick of element values (slots as the conversion stores them) under a unit
// convention. Orders 2 and 3 of a thick element are in its half-length maps, not in the kick.
MultipoleKick multit(int element);
// The kick on one particle. In canonical variables the momenta take the integrated force
// directly; in geometric ones the slopes take it divided by (1 + delta).
void multtr(const MultipoleKick &kick, Coordinates z, bool canonical);

// The RF cavity at one position of one turn (cavpre), and its kick on one particle.
struct CavityStep {
  double length = 0.0;
  double k1 = 0.0, k2 = 0.0, c0 = 0.0;
  double lag = 0.0;     // phis
  double voltage = 0.0; // V
  // The slopes fall as the cavity raises the momentum (the transverse momenta stay): on while
  // bends lose their mean radiation, whose transverse damping this is.
  bool adiabatic = false;
};
void cavity(const CavityStep &step, Coordinates z, double &phase, double &previous_l);

// Collimator aperture: half-apertures and shape (1 rectangular, 2 elliptic).
struct Aperture {
  double ax = 0.0, ay = 0.0;
  int shape = 1;
};
// True when the particle is inside the aperture (on its edge included).
bool inside(const Aperture &aperture, double x, double y);

// The arbitrary element's longitudinal wake (trafct) for one particle, with the mean-free
// spread sigma of l over the live particles at the element's entry.
struct ArbitraryElement {
  Table<double, 1, 20> p{};
  int count = 0;
};
inline constexpr int WAKE_ROWS = 201;
double wake_table(int row); // T1 .. T201 at u = -10, -9.9, .. 10
void trafct(const ArbitraryElement &element, double sigma, Coordinates z);

} // namespace vorax
