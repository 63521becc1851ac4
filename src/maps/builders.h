// Builders of the element maps, one per element kind, and the cores other routines reuse.
// Each builder writes the map of the element into the record blank.maps(matnum), honouring
// the row length word prodct.ncol (6: only first-order entries are written).
#pragma once

#include "common/slots.h"
#include "common/transfer_map.h"
#include "maps/element_maps.h"

namespace vorax {

void hbend(int element, int matnum);  // BEND: entrance edge, body, exit edge
void flen2(int element, int matnum);  // QUADRUPO
void hexa2(int element, int matnum);  // SEXTUPOL
void quasex(int element, int matnum); // QUADSEXT
void multim(int element, int matnum); // MULTIPOL (and OCTUPOLE)
void cavmat(int element, int matnum); // RFCAVITY
void twiss(int element, int matnum);  // MTWISS
void genral(int element, int matnum); // MATRIX
void solqua(int element, int matnum); // SOLENOID
void lcav(int element, int matnum);   // LCAVITY
// The LCAVITY map for the context's entry energy (else its own E0).
void lcavity_map(const ElementValues &e, const MapContext &ctx, TransferMap &map);
void quadac(int element, int matnum); // QUADAC
void tiltm(int element, int matnum);  // rotates a finished map by the element's tilt

// Cores: a quadrupole body of length and strength K1 (already in the standard convention).
void flen2m(double length, double k1, int matnum);
// A sextupole body of length and strength (already converted) .
void hexa2m(double length, double strength, int matnum);
// A quadrupole-sextupole body.
void qsx(double length, double k1, double strength, int matnum);
// The same body with a skew sextupole part a3 beside the upright strength b3:
// x'' = -Re[(b3 + i a3)(x + iy)^2], y'' = Im[(b3 + i a3)(x + iy)^2] besides the quadrupole.
void quad_sext_body(double length, double k1, double b3, double a3, int matnum);

// Bend edge and body blocks, in the internal form (curvature h, field index n, second-order
// index beta2, angles in degrees).
struct EdgeBlock {
  double h = 0, n = 0, angle_deg = 0, side = 1.0, curvature = 0, gap = 0, fint = 0;
  double beta2 = 0;
};
struct BodyBlock {
  double angle_deg = 0, length = 0, n = 0, beta2 = 0;
};
void entex(const EdgeBlock &edge, int matnum);
void magt2(const BodyBlock &body, int matnum);

// The map of a multipole's quadrupole and sextupole terms over the given length (the element's
// own length for its record, half of it for the halves around the thin kick of tracking).
void multipole_body(int element, double length, int matnum);

// Error number of an element whose parameters admit no map (a bend of zero length and finite
// angle, an accelerating quadrupole whose energy does not stay positive).
inline constexpr int NO_ELEMENT_MAP = 267;

} // namespace vorax
