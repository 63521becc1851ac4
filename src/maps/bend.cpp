// The bend map: entrance edge, sector body and exit edge, each to second order, composed; the
// same bend cut into pieces across its body, for the radiation of tracking; and its map from the
// entrance to a point of its body, for the lattice functions inside it.
#include <cmath>
#include <string>

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/slots.h"
#include "maps/bend_shape.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "maps/second_order_body.h"
#include "maps/symmap.h"

namespace vorax {

// Bend edge. The body field (curvature h, gradient k1 = -n h^2) ends on a hard boundary
// through the reference point, turned by beta from the normal to the reference (beta > 0
// moves the boundary downstream for x > 0 at the entrance, upstream at the exit) and curved
// with curvature H (H > 0: convex, the face bulging out of the magnet). Outside the map uses
// the straight frame, inside the frame that follows the arc, both with x' = dx/ds; since
// ds grows by hs = 1 + h x inside, the slopes change by that factor at the edge.
//
// The map is the free flow to the boundary, the passage through the edge field, and the
// body flow back to the reference plane (at the exit the same in reverse order). With the
// midplane field G = (h + k1 X) Theta(N), N = 0 on the boundary, Maxwell's equations give
// off the midplane B_X = y dG/dX, B_Z = y dG/dZ, B_Y = G - (y^2/2) lap G. Their singular
// parts are the vertical edge focusing (from B_X, B_Z ~ y delta(N)) and, from the delta'
// part of B_Y, a spike of px across the edge that shifts x by +-(h/2) sec^2(beta) y^2 and
// leaves the net change -+h tan^2(beta) y <y'> (<y'> the mean slope across the edge). At the
// entrance two further (h^2/4) tan(beta) sec^2(beta) y^2 come from the shifted crossing and
// from the bending of the path inside the layer; at the exit the two cancel. The face
// curvature and the gradient add y^2 terms. Expanding the crossing point, the edge
// passage and the two flows to second order gives, with tau = tan beta, s2 = sec^2 beta,
// s3 = sec^3 beta, for the entrance:
//   x  += -(h/2) tau^2 x^2 + (h/2) s2 y^2
//   x' += h tau x + h s2 x x' + (h H s3/2 + h^2 tau + k1 tau) x^2 - h tau x delta
//         - h tau^2 y y' + ((h^2/2) tau (tau^2 + s2) - h H s3/2 - k1 tau) y^2
//   y  += h tau^2 x y
//   y' += -h tau y + h (1 - tau^2) x y' - h s2 x' y - (h H s3 + 2 k1 tau + h^2 tau) x y
//         + h tau y delta
// and for the exit
//   x  += (h/2) tau^2 x^2 - (h/2) s2 y^2
//   x' += h tau x - h s2 x x' + (h H s3/2 - (h^2/2) tau^3 + k1 tau) x^2 - h tau x delta
//         + h tau^2 y y' - ((h^2/2) tau^3 + h H s3/2 + k1 tau) y^2
//   y  += -h tau^2 x y
//   y' += -h tau y + h (tau^2 - 1) x y' + h s2 x' y + (h^2 tau s2 - h H s3 - 2 k1 tau) x y
//         + h tau y delta.
// The finite extent of the real fringe field (half gap g, integral K) weakens the vertical
// edge focusing: psi = 2 K g h (1 + sin^2 beta)/cos beta. It is a thin vertical lens at the
// reference plane, after the hard edge at the entrance and before it at the exit, giving
// the impulse dpy = -h y [tan(beta - psi/(1+delta)) - tan beta]: psi scales with the
// particle's own curvature h/(1+delta). Being a kick from the potential
// V = (h y^2/2) [tan(beta - psi/(1+delta)) - tan beta], it also lengthens the path by
// -dV/d(delta) = -(h psi/2) sec^2(beta - psi) y^2, which keeps the map symplectic. Composed
// with the hard edge it changes R(4,3) to -h tan(beta - psi) and adds the x y, y delta and
// y^2 terms written below.
void bend_edge_map(const EdgeBlock &edge, int ncol, TransferMap &m) {
  m.set_identity(ncol);
  double h = edge.h;
  double beta = edge.angle_deg * const_.raddeg;
  double tau = std::tan(beta);
  double psi =
      2.0 * edge.fint * edge.gap * h * (1.0 + std::sin(beta) * std::sin(beta)) / std::cos(beta);
  double tan_eff = std::tan(beta - psi);
  m.R(2, 1) = h * tau;
  m.R(4, 3) = -h * tan_eff;
  if (ncol == 6)
    return;
  double k1 = -edge.n * h * h;
  double s2 = 1.0 + tau * tau;
  double s3 = s2 / std::cos(beta);
  double big_h = edge.curvature;
  double fringe = tan_eff - tau; // F: change of the focusing tangent
  double sec_eff = 1.0 + tan_eff * tan_eff;
  m.T(2, 1, 6) = -h * tau;
  m.T(4, 3, 6) = h * tan_eff - h * psi * sec_eff;
  m.T(5, 3, 3) = -0.5 * h * psi * sec_eff;
  if (edge.side >= 0.0) {
    m.T(1, 1, 1) = -0.5 * h * tau * tau;
    m.T(1, 3, 3) = 0.5 * h * s2;
    m.T(2, 1, 1) = 0.5 * h * big_h * s3 + h * h * tau + k1 * tau;
    m.T(2, 1, 2) = h * s2;
    m.T(2, 3, 3) = 0.5 * h * h * tau * (tau * tau + s2) - 0.5 * h * big_h * s3 - k1 * tau;
    m.T(2, 3, 4) = -h * tau * tau;
    m.T(3, 1, 3) = h * tau * tau;
    m.T(4, 1, 3) =
        -h * big_h * s3 - 2.0 * k1 * tau - h * h * tau - h * h * fringe * (1.0 + tau * tau);
    m.T(4, 1, 4) = h * (1.0 - tau * tau);
    m.T(4, 2, 3) = -h * s2;
  } else {
    m.T(1, 1, 1) = 0.5 * h * tau * tau;
    m.T(1, 3, 3) = -0.5 * h * s2;
    m.T(2, 1, 1) = 0.5 * h * big_h * s3 - 0.5 * h * h * tau * tau * tau + k1 * tau;
    m.T(2, 1, 2) = -h * s2;
    m.T(2, 3, 3) = -0.5 * h * h * tau * tau * tau - 0.5 * h * big_h * s3 - k1 * tau -
                   h * h * tau * tau * fringe;
    m.T(2, 3, 4) = h * tau * tau;
    m.T(3, 1, 3) = -h * tau * tau;
    m.T(4, 1, 3) = h * h * tau * s2 - h * big_h * s3 - 2.0 * k1 * tau - h * h * fringe * tau * tau;
    m.T(4, 1, 4) = h * (tau * tau - 1.0);
    m.T(4, 2, 3) = h * s2;
  }
}

// Sector body: first order as the classic sector-magnet matrix (written with the Stumpff
// functions, which equal the usual trigonometric, polynomial and hyperbolic forms but stay
// accurate when kx^2 or ky^2 is tiny), second order from the midplane body's integrals.
void bend_body_map(const BodyBlock &body, int ncol, TransferMap &m) {
  m.set_identity(ncol);
  double length = body.length;
  double h = const_.raddeg * body.angle_deg / length;
  double k1 = -body.n * h * h;
  MidplaneBody model(h, k1, body.beta2 * h * h * h);
  Map6 r;
  model.first_order(length, r);
  copy_first_order(r, m);
  if (ncol == 27)
    second_order_terms(model, length, m);
}

namespace {

// The entrance edge, body and exit edge of a bend that bends (angle and length not 0), in the
// internal form, from its data slots in the context's unit convention.
void bend_blocks(const ElementValues &e, const MapContext &ctx, EdgeBlock &entrance,
                 BodyBlock &body, EdgeBlock &exit) {
  const double length = e(slot::bend::L);
  const double angle = e(slot::bend::ANGLE);
  const double k1 = e(slot::bend::K1);
  const double k2 = e(slot::bend::K2);
  const double raddeg = const_.raddeg;
  double h = 0.0, n = 0.0, beta2 = 0.0, e1 = 0.0, e2 = 0.0, body_angle = 0.0;
  if (ctx.eunits == 2) {
    h = raddeg * angle / length;
    n = k1;
    beta2 = k2;
    e1 = e(slot::bend::E1);
    e2 = e(slot::bend::E2);
    body_angle = angle;
  } else {
    h = angle / length;
    double sign = ctx.eunits == 1 ? -1.0 : 1.0;
    n = -sign * k1 / (h * h);
    beta2 = sign * k2 / (2.0 * h * h * h);
    e1 = e(slot::bend::E1) / raddeg;
    e2 = e(slot::bend::E2) / raddeg;
    body_angle = angle / raddeg;
  }
  entrance =
      EdgeBlock{h, n, e1, 1.0, e(slot::bend::H1), e(slot::bend::HGAP), e(slot::bend::FINT), beta2};
  exit = EdgeBlock{h,    n, e2, -1.0, e(slot::bend::H2), e(slot::bend::HGAPX), e(slot::bend::FINTX),
                   beta2};
  body = BodyBlock{body_angle, length, n, beta2};
}

} // namespace

// The edges and the body are built one after the other and composed in that order.
void bend_map(const ElementValues &e, const MapContext &ctx, TransferMap &map) {
  int ncol = ctx.ncol;
  int units = ctx.eunits;
  double length = e(slot::bend::L);
  double angle = e(slot::bend::ANGLE);
  double k1 = e(slot::bend::K1);
  double k2 = e(slot::bend::K2);
  if (angle == 0.0) {
    // No bending: a drift, unless a gradient or sextupole component is given in the
    // standard or LDF convention; that body is then built as the straight magnet it is.
    if (units != 2 && (k1 != 0.0 || k2 != 0.0)) {
      double sign = units == 1 ? -1.0 : 1.0;
      quad_sext_body_map(length, sign * k1, sign * 0.5 * k2, 0.0, ncol, map);
      return;
    }
    // The path-length terms are written at either map order.
    map.set_identity(ncol);
    drift_entries(map, length, 27);
    return;
  }
  if (length == 0.0) {
    // A finite angle in no length has an infinite curvature: there is no map to build.
    write_record(control.output_unit, " BEND " + std::string(e.name.view()) +
                                          " HAS ZERO LENGTH AND ANGLE " + fE(angle, 15, 7) +
                                          ": NO MAP CAN BE BUILT");
    halt(NO_ELEMENT_MAP);
    map.set_identity(ncol);
    drift_entries(map, length, ncol);
    return;
  }
  EdgeBlock entrance, exit;
  BodyBlock body;
  bend_blocks(e, ctx, entrance, body, exit);

  TransferMap work, piece;
  work.set_identity(27);
  bend_edge_map(entrance, ncol, piece);
  compose_maps(piece, work, ncol);
  bend_body_map(body, ncol, piece);
  compose_maps(piece, work, ncol);
  bend_edge_map(exit, ncol, piece);
  compose_maps(piece, work, ncol);
  for (int c = 1; c <= ncol; ++c)
    for (int i = 1; i <= 6; ++i)
      map(i, c) = work(i, c);
}

// Each piece is built as the whole bend is: its edge (if any), its share of the body, and the
// tilt, so that the pieces composed are the bend's map. The body of a fraction f of the length
// turns through f of the angle with the same field index; the edges belong to the faces alone.
bool bend_piece_maps(const ElementValues &e, const MapContext &ctx, const double *fractions,
                     int count, TransferMap *pieces, SymmapEntry *entries) {
  if (e.kind != KODE_BEND || e(slot::bend::ANGLE) == 0.0 || e(slot::bend::L) == 0.0)
    return false;
  const int ncol = ctx.ncol;
  EdgeBlock entrance, exit;
  BodyBlock whole;
  bend_blocks(e, ctx, entrance, whole, exit);
  for (int k = 0; k < count; ++k) {
    BodyBlock body = whole;
    body.angle_deg = whole.angle_deg * fractions[k];
    body.length = whole.length * fractions[k];
    TransferMap work, piece;
    work.set_identity(27);
    if (k == 0) {
      bend_edge_map(entrance, ncol, piece);
      compose_maps(piece, work, ncol);
    }
    bend_body_map(body, ncol, piece);
    compose_maps(piece, work, ncol);
    if (k == count - 1) {
      bend_edge_map(exit, ncol, piece);
      compose_maps(piece, work, ncol);
    }
    tilt_element_map(e, ctx, work);
    if (ctx.symplectic)
      cmap(work, ncol, e.name, entries[k]);
    pieces[k] = work;
  }
  return true;
}

// The body up to the cut bends through its share of the angle at the same field index; no edge
// is added at the cut, so the functions there are those inside the magnet.
bool bend_cut_map(const ElementValues &e, const MapContext &ctx, double fraction,
                  TransferMap &map) {
  if (e.kind != KODE_BEND || e(slot::bend::ANGLE) == 0.0 || e(slot::bend::L) == 0.0)
    return false;
  const int ncol = ctx.ncol;
  EdgeBlock entrance, exit;
  BodyBlock body;
  bend_blocks(e, ctx, entrance, body, exit);
  TransferMap work, piece;
  work.set_identity(27);
  bend_edge_map(entrance, ncol, piece);
  compose_maps(piece, work, ncol);
  if (fraction > 0.0) {
    body.angle_deg *= fraction;
    body.length *= fraction;
    bend_body_map(body, ncol, piece);
    compose_maps(piece, work, ncol);
  }
  tilt_element_map(e, ctx, work);
  if (ctx.symplectic) {
    SymmapEntry scratch;
    cmap(work, ncol, e.name, scratch);
  }
  map = work;
  return true;
}

bool bend_shape(int element, BendShape &bend, double &tilt) {
  const int conv = inputt.eunits;
  const double deg = (conv == 2) ? const_.raddeg : 1.0;
  bend.length = inputt.slot(element, slot::bend::L);
  bend.angle = inputt.slot(element, slot::bend::ANGLE) * deg;
  tilt = inputt.slot(element, slot::bend::TILT) * deg;
  if (conv == 1)
    tilt = -tilt;
  if (bend.length == 0.0 || bend.angle == 0.0)
    return false;
  // Field index from the gradient slot, as the bend's map reads it: K1 in m^-2 with the sign
  // of a quadrupole (standard) or reversed (LDF), n = -K1 rho^2 or K1 rho^2; the MERIDOXAN data
  // hold n itself.
  const double rho = bend.length / bend.angle;
  const double k1 = inputt.slot(element, slot::bend::K1);
  if (conv == 0)
    bend.n = -k1 * rho * rho;
  else if (conv == 1)
    bend.n = k1 * rho * rho;
  else
    bend.n = k1;
  bend.e1 = inputt.slot(element, slot::bend::E1) * deg;
  bend.e2 = inputt.slot(element, slot::bend::E2) * deg;
  return true;
}

} // namespace vorax
