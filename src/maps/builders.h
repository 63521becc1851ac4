// Builders of the element maps, one per element kind, and the cores other routines reuse.
//
// The builders are pure: each takes the element's values and a context and writes the map into
// the map it is given, columns 1..ctx.ncol (6: only first-order entries; the others are left as
// they are). The record wrappers below, under the routines' classic names, build into the record
// blank.maps(matnum) with the columns of the row length word prodct.ncol.
#pragma once

#include "common/slots.h"
#include "common/transfer_map.h"
#include "maps/element_maps.h"

namespace vorax {

// Kinds.
void bend_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);      // BEND
void quad_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);      // QUADRUPO
void sext_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);      // SEXTUPOL
void quadsext_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);  // QUADSEXT
void multipole_map(const ElementValues &e, const MapContext &ctx, TransferMap &map); // MULTIPOL
void rfcavity_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);  // RFCAVITY
void mtwiss_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);    // MTWISS
void matrix_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);    // MATRIX
void solenoid_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);  // SOLENOID
void lcavity_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);   // LCAVITY
void quadac_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);    // QUADAC
// The multipole's quadrupole and sextupole terms over the given length, in their frame.
void multipole_body(const ElementValues &e, double length, const MapContext &ctx, TransferMap &map);

// Bend edge and body blocks, in the internal form (curvature h, field index n, second-order
// index beta2, angles in degrees).
struct EdgeBlock {
  double h = 0, n = 0, angle_deg = 0, side = 1.0, curvature = 0, gap = 0, fint = 0;
  double beta2 = 0;
};
struct BodyBlock {
  double angle_deg = 0, length = 0, n = 0, beta2 = 0;
};

// Cores, strengths already in the standard convention. A quadrupole body of strength K1:
void quad_body_map(double length, double k1, int ncol, TransferMap &map);
// A sextupole body of strength S (x'' = -S (x^2 - y^2)):
void sext_body_map(double length, double strength, int ncol, TransferMap &map);
// A quadrupole-sextupole body with a skew sextupole part a3 beside the upright strength b3:
// x'' = -Re[(b3 + i a3)(x + iy)^2], y'' = Im[(b3 + i a3)(x + iy)^2] besides the quadrupole.
void quad_sext_body_map(double length, double k1, double b3, double a3, int ncol, TransferMap &map);
void bend_edge_map(const EdgeBlock &edge, int ncol, TransferMap &map);
void bend_body_map(const BodyBlock &body, int ncol, TransferMap &map);

// The record wrappers.
void hbend(int element, int matnum);  // BEND: entrance edge, body, exit edge
void flen2(int element, int matnum);  // QUADRUPO
void hexa2(int element, int matnum);  // SEXTUPOL
void quasex(int element, int matnum); // QUADSEXT
void multim(int element, int matnum); // MULTIPOL (and OCTUPOLE)
void cavmat(int element, int matnum); // RFCAVITY
void twiss(int element, int matnum);  // MTWISS
void genral(int element, int matnum); // MATRIX
void solqua(int element, int matnum); // SOLENOID
// LCAVITY, at the entry energy of its first position; it also corrects the current energies
// along the machine when its gain has changed.
void lcav(int element, int matnum);
void quadac(int element, int matnum); // QUADAC
void tiltm(int element, int matnum);  // rotates a finished map by the element's tilt
void flen2m(double length, double k1, int matnum);
void hexa2m(double length, double strength, int matnum);
void qsx(double length, double k1, double strength, int matnum);
void quad_sext_body(double length, double k1, double b3, double a3, int matnum);
void entex(const EdgeBlock &edge, int matnum);
void magt2(const BodyBlock &body, int matnum);

// Error number of an element whose parameters admit no map (a bend of zero length and finite
// angle, an accelerating quadrupole whose energy does not stay positive).
inline constexpr int NO_ELEMENT_MAP = 267;

} // namespace vorax
