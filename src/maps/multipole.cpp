// The map of a multipole (MULTIPOL, OCTUPOLE): its quadrupole and sextupole terms.
#include <cmath>

#include "common/control.h"
#include "common/slots.h"
#include "maps/builders.h"
#include "maps/element_maps.h"

namespace vorax {

namespace {

// The quadrupole and sextupole terms of the element. Term angles turn a term the way TILT turns
// an element (docs/coordinates.md): the term of order word n (n - 1 the power of x + iy) with
// strength k and angle theta is the upright term seen through the frame X + iY =
// exp(i theta) (x + iy), which makes its complex coefficient k exp(+i n theta).
// Strengths per unit convention: K/(n-1)! (standard), K (-1)^(n-1)/(n-1)! (LDF), K
// (MERIDOXAN); angles negated (LDF) or in degrees (MERIDOXAN); all strengths times the scale
// factor. A later term of an order replaces an earlier one.
//
// The thin kick of tracking follows the same convention, so that the map of a multipole and its
// kick are one magnet. With c, s the cosine and sine of the element's TILT (after the unit
// convention), go into the element frame X = c x - s y, Y = s x + c y (the slopes alike); there,
// with k each term's strength as above (integrated over the length for a thick element, whose
// quadrupole and sextupole terms are in its half-length maps instead of the kick),
// P = sum over the terms of k exp(i n theta) (X + iY)^(n-1), X' -= Re P / (1 + delta) and
// Y' += Im P / (1 + delta); then back with x = c X + s Y, y = -s X + c Y (the slopes alike).
struct ThickTerms {
  bool quad = false, sext = false;
  double k1 = 0, theta1 = 0; // quadrupole
  double k2 = 0, theta2 = 0; // sextupole (the S of x'' = -S (x^2 - y^2))
};

ThickTerms thick_terms(const ElementValues &e, int units) {
  ThickTerms t;
  double scale = e(slot::multipole::SCALE);
  // The stored count is trusted only as far as the element's own slots reach.
  int most = slot::multipole::room(e.count());
  double stored = e(slot::multipole::COUNT);
  int count = stored >= most ? most : (stored >= 1.0 ? static_cast<int>(stored) : 0);
  for (int j = 0; j < count; ++j) {
    double word = e(slot::multipole::term_order(j + 1));
    if (!(word >= 2.0 && word < 4.0))
      continue; // only the quadrupole and sextupole orders are in the map
    int order = static_cast<int>(word);
    double k = e(slot::multipole::term_strength(j + 1));
    double theta = e(slot::multipole::term_angle(j + 1));
    double factorial = order == 3 ? 2.0 : 1.0;
    if (units == 0)
      k /= factorial;
    else if (units == 1)
      k = (order == 2 ? -k : k) / factorial;
    if (units == 1)
      theta = -theta;
    else if (units == 2)
      theta *= const_.raddeg;
    if (order == 2) {
      t.quad = true;
      t.k1 = scale * k;
      t.theta1 = theta;
    } else {
      t.sext = true;
      t.k2 = scale * k;
      t.theta2 = theta;
    }
  }
  return t;
}

// Thin quadrupole and sextupole kicks, integrated strengths, in the frame where the
// quadrupole is upright; the kicks scale with 1/(1 + delta) as those of tracking.
void thin_kicks(double k1, double b3, double a3, int ncol, TransferMap &m) {
  m.set_identity(ncol);
  m.R(2, 1) = -k1;
  m.R(4, 3) = k1;
  if (ncol == 6)
    return;
  m.T(2, 1, 6) = k1;
  m.T(4, 3, 6) = -k1;
  m.T(2, 1, 1) = -b3;
  m.T(2, 3, 3) = b3;
  m.T(2, 1, 3) = 2.0 * a3;
  m.T(4, 1, 1) = a3;
  m.T(4, 3, 3) = -a3;
  m.T(4, 1, 3) = 2.0 * b3;
}

} // namespace

// The two thick terms share the one length, so they are not multiplied one after the other
// (which would double the drift and split the interplay of the fields); the body is built as
// the one magnet it is. In the frame turned by the quadrupole's angle (or the sextupole's
// when there is no quadrupole) the quadrupole is upright and the sextupole keeps the
// relative angle as a skew part: b3 + i a3 = k2 exp(3i (theta2 - theta1)). That body is a
// quadrupole, a sextupole or a quadrupole-sextupole with a skew part, and the tilt rotation by
// the frame angle turns it into place. With no length the terms are thin kicks of the
// integrated strengths. The other orders are not in the map: the dipole order
// would move the orbit, which a map about the reference cannot hold, and orders above the
// sextupole act beyond second order; tracking applies all of them as the thin kick.
void multipole_body(const ElementValues &e, double length, const MapContext &ctx,
                    TransferMap &map) {
  ThickTerms t = thick_terms(e, ctx.eunits);
  double frame = t.quad ? t.theta1 : (t.sext ? t.theta2 : 0.0);
  double rel = 3.0 * (t.theta2 - frame);
  double b3 = t.sext ? t.k2 * std::cos(rel) : 0.0;
  double a3 = t.sext ? t.k2 * std::sin(rel) : 0.0;
  if (length == 0.0)
    thin_kicks(t.k1, b3, a3, ctx.ncol, map);
  else if (t.quad && t.sext)
    quad_sext_body_map(length, t.k1, b3, a3, ctx.ncol, map);
  else if (t.quad)
    quad_body_map(length, t.k1, ctx.ncol, map);
  else
    sext_body_map(length, b3, ctx.ncol, map);
  if (frame != 0.0)
    tilt_map(map, frame, ctx.ncol);
}

void multipole_map(const ElementValues &e, const MapContext &ctx, TransferMap &map) {
  multipole_body(e, e(slot::multipole::L), ctx, map);
}

TransferMap multipole_body_map(const ElementValues &e, double length, const MapContext &ctx) {
  TransferMap map;
  multipole_body(e, length, ctx, map);
  return map;
}

} // namespace vorax
