// Numerical integration of the exact equations of motion through magnets, and maps recovered
// from it by finite differences: the reference against which the element maps are checked.
// It is compiled optimised in every build: it is the reference, not the code under test.
#pragma once

#include <array>
#include <functional>

#include "common/transfer_map.h"

namespace vorax::test {

using Vec6 = std::array<double, 6>; // x, x', y, y', l, delta
using Flow = std::function<Vec6(const Vec6 &)>;

// Magnet body: curvature h and, in the frame following the reference arc, the field
//   by = h + k1 x - a2 y + b3 x^2 - (b3 + h k1/2) y^2 - 2 a3 x y,
//   bx = k1 y + a2 x + 2 b3 x y + a3 (x^2 - y^2),   bs = 2 sol,
// all over the reference rigidity (the skew parts a2, a3 only for h = 0).
struct Field {
  double h = 0, k1 = 0, b3 = 0, a3 = 0, sol = 0, a2 = 0;
};

// Hard edge of a bend: angle beta (radians), face curvature, fringe integral times half gap.
struct Edge {
  double beta = 0, curvature = 0, fint_gap = 0;
};

// A straight magnet (quadrupole, sextupole, skew parts, solenoid) with hard edges.
Vec6 track_straight(const Field &f, double length, Vec6 z);

// A sector body alone, in the frame following the arc with x' = dx/ds.
Vec6 sector_body(const Field &f, double length, Vec6 z);

// The bend. The field ends on the boundaries through the reference points, at the entrance
// Z = tan(beta) X + (H/2) sec^3(beta) X^2 (Z along the incoming reference), at the exit
// Z' = -tan(beta2) X' - (H2/2) sec^3(beta2) X'^2. Across each boundary the midplane field
// G = by(X, 0) f(N/eps) rises over a width eps (f = (1 + tanh)/2, N = 0 on the
// boundary), with the Maxwell field off the midplane B_X = y dG/dX, B_Z = y dG/dZ,
// B_Y = G - (y^2/2) lap G, integrated in the straight frame with Z as the variable. The hard
// edge is the limit eps -> 0 (see bend_map), approached without assuming its form. Between
// the edges the body field is integrated in the frame following the arc, with the fringe
// lens at the reference planes. Everything is exact geometry, independent of the expansions
// of the maps.
struct BendModel {
  Field f;
  double length = 0;
  Edge in, out;
  double eps = 1e-4; // width of the edge field
  Vec6 operator()(Vec6 z) const;

  void fringe(Vec6 &z, const Edge &e) const;
  Vec6 body(Vec6 z, double span) const;
  static void boundary(const Edge &e, double side, double X, double Z, double &n, double &nx,
                       double &nz, double &lap);
  Vec6 layer(const Edge &e, double side, Vec6 v, double z0, double z1, double zc) const;
};

// The accelerating quadrupole: d(Px)/ds = -K1 E_in x, dP/ds = g cos(phi0 - k l), energies and
// momenta in eV (ultra-relativistic), l the path-length difference.
struct QuadacModel {
  double length, k1, gain_per_m, phi0, wave, e_in;
  Vec6 operator()(Vec6 z) const;
};

// Map by finite differences of a flow: symmetric differences for R, and second differences
// extrapolated (Richardson, step a and 2a) for T. Amplitudes per coordinate in amp.
TransferMap differentiate(const Flow &flow, const Vec6 &amp);

// The bend map in the hard-edge limit: finite differences (amplitude 1e-5) at edge widths
// eps, 2 eps, 4 eps, extrapolated to zero width (errors c1 eps + c2 eps^2 removed).
TransferMap bend_map(BendModel model, double eps = 2e-4);

} // namespace vorax::test
