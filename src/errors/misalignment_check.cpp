// The misalignment of a tracked position: the amplitudes drawn for it, the bend terms of a
// rolled bend, the entry and exit displacements, and the two transforms of a particle.
#include "errors/misalignments.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/messages.h"
#include "common/random_numbers.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "engine/operation_data.h"
#include "maps/element_maps.h"

#include <cmath>

namespace vorax {

namespace {

constexpr int BAD_RANDOM_OPTION = 275; // MIS:BAD RAN OPT
constexpr int BAD_TYPE = 276;          // MIS:BAD MIS OPT

// sin(x)/x, 1 at 0: no cancellation near 0, so the bend terms are smooth through angle 0.
double sinc(double x) {
  return x == 0.0 ? 1.0 : std::sin(x) / x;
}

int first_entry_of(int element) {
  for (int k = 1; k <= mis.list_count; ++k)
    if (mis.list_element(k) == element)
      return k;
  return 0;
}

int selection_of(int element) {
  for (int s = 1; s <= mis.selected_count; ++s)
    if (mis.selected_element(s) == element)
      return s;
  return 0;
}

bool bad_type(int type, const std::string &why = {}) {
  engine_message("  ERROR IN THE MISALIGNMENT OPTION NUMBER :" + fI(type, 5));
  if (!why.empty())
    engine_message(why);
  halt(BAD_TYPE);
  return false; // in the recoverable-error mode the position stays aligned
}

} // namespace

bool PositionRanges::covers(int position) const {
  if (count == 0)
    return true;
  for (int i = 1; i <= count && i <= MAX_RANGES; ++i)
    if (first(i) <= position && position <= last(i))
      return true;
  return false;
}

// A bend of angle alpha rolled by psi about an axis along the beam bends towards u(t + psi)
// instead of u(t), where u(t) = (-cos t, sin t) is the direction the maps' tilt rule gives to
// a bend with tilt t (towards -x untilted, towards +y at t = pi/2). Its orbit therefore leaves
// the design orbit by A (u(t + psi) - u(t)) in position, A the distance of the orbit's far
// point from the roll axis, and by the angle between the tangents, kappa (u(t + psi) - u(t)):
// about the entry (type 1) A1 = 2 L sin^2(alpha/2) / alpha with kappa1 = A1 / (L/2) (the whole
// deflection), about the middle (types 2, 3) A2 = 2 L sin^2(alpha/4) / alpha at each end with
// kappa2 = A2 / (L/4) (half of it at each end). Written with sinc, kappa does not depend on L:
// at L = 0 the thin bend of angle alpha keeps its kick and has no offset, which is the limit of
// a short bend; at alpha = 0 everything vanishes smoothly. Both planes take the same
// denominators, and any tilt is turned alike, not only the upright and the upward bend.
BendTerms bend_terms(int type, double length, double angle, double tilt, double psi) {
  BendTerms b;
  double kappa = 0.0;
  double arm = 0.0; // A / kappa
  if (type == 1) {
    kappa = angle * sinc(0.5 * angle) * sinc(0.5 * angle);
    arm = 0.5 * length;
  } else {
    kappa = 0.5 * angle * sinc(0.25 * angle) * sinc(0.25 * angle);
    arm = 0.25 * length;
  }
  // u(t + psi) - u(t), with the half-angle forms that keep small rolls free of cancellation.
  const double half = std::sin(0.5 * psi);
  const double ux = 2.0 * std::sin(tilt + 0.5 * psi) * half;
  const double uy = 2.0 * std::cos(tilt + 0.5 * psi) * half;
  b.ax = kappa * ux;
  b.ay = kappa * uy;
  if (type != 2) { // a type-2 misalignment fixes both ends: no offset
    b.bx = arm * b.ax;
    b.by = arm * b.ay;
  }
  return b;
}

Displacements displacements(int type, double length,
                            const Table<double, 1, MISALIGNMENT_AMPLITUDES> &a,
                            const BendTerms &bend) {
  Displacements d;
  const double L = length;
  switch (type) {
  case 1:
    d.dx_in = a(1);
    d.dy_in = a(3);
    d.dxp_in = a(4);
    d.dyp_in = a(2);
    d.dx_out = -a(1) - L * a(4) - bend.bx;
    d.dy_out = -a(3) - L * a(2) - bend.by;
    d.dxp_out = -a(4) - bend.ax;
    d.dyp_out = -a(2) - bend.ay;
    break;
  case 2:
    d.dx_in = a(1);
    d.dy_in = a(3);
    d.dxp_in = (a(2) - a(1)) / L - bend.ax;
    d.dyp_in = (a(4) - a(3)) / L - bend.ay;
    d.dx_out = -a(2);
    d.dy_out = -a(4);
    d.dxp_out = -(a(2) - a(1)) / L - bend.ax;
    d.dyp_out = -(a(4) - a(3)) / L - bend.ay;
    break;
  case 3:
    d.dx_in = a(1) - (L / 2) * a(4) + bend.bx;
    d.dy_in = a(3) - (L / 2) * a(2) + bend.by;
    d.dxp_in = a(4) - bend.ax;
    d.dyp_in = a(2) - bend.ay;
    d.dx_out = -a(1) - (L / 2) * a(4) - bend.bx;
    d.dy_out = -a(3) - (L / 2) * a(2) - bend.by;
    d.dxp_out = -a(4) - bend.ax;
    d.dyp_out = -a(2) - bend.ay;
    break;
  default: // type 4: an angle of which each end takes half
    d.dx_in = a(1);
    d.dy_in = a(3);
    d.dxp_in = a(4) / 2;
    d.dyp_in = a(2) / 2;
    d.dx_out = -a(1);
    d.dy_out = -a(3);
    d.dxp_out = a(4) / 2;
    d.dyp_out = a(2) / 2;
    break;
  }
  d.ds_in = a(5);
  d.ds_out = -a(5);
  // The roll turns the element as a TILT does: R(psi) at the entry, R(-psi) at the exit, with
  // the exact quarter turns of the maps.
  rotation_cos_sin(a(6), d.cos_in, d.sin_in);
  rotation_cos_sin(-a(6), d.cos_out, d.sin_out);
  d.ddelta = a(7);
  return d;
}

bool draw_misalignment(int position, int element, MisalignedPosition &drawn) {
  if (!mis.active || element < 1 || element > inputt.nelm)
    return false;
  const int s = selection_of(element);
  if (s == 0 || !mis.selected_ranges(s).covers(position))
    return false;
  const int k = first_entry_of(element);
  if (k == 0)
    return false; // a later MISA list no longer holds it
  drawn.position = position;
  drawn.element = element;

  const int r = mis.random_option;
  if (r < 0 || r > 4) {
    engine_message("    ERROR IN OPTION NUMBER");
    halt(BAD_RANDOM_OPTION);
    return false;
  }
  const int option = r == 4 ? 3 : r;
  const double cut = r == 4 ? 6.0 : 2.0;
  RandomStream &stream = cseeds.misalignment;
  for (int i = 1; i <= MISALIGNMENT_AMPLITUDES; ++i) {
    drawn.amplitude(i) = mis.list_values(i, k);
    if (r != 0)
      drawn.amplitude(i) *= rannum(stream.index, option, cut, stream.mode);
  }

  const int type = truncated(mis.list_values(MISALIGNMENT_VALUES, k));
  drawn.type = type;
  const int kind = inputt.kode(element);
  const double length = lngth.ellen(element);
  BendTerms bend;
  if (kind == KODE_BEND) {
    if (type < 1 || type > 3)
      return bad_type(type);
    const ElementValues v = element_values(element);
    const double to_radians = inputt.eunits == 2 ? const_.raddeg : 1.0;
    bend = bend_terms(type, length, v(slot::bend::ANGLE) * to_radians,
                      convention_angle(v(slot::bend::TILT), inputt.eunits), drawn.amplitude(6));
  }
  if (type < 1 || type > 4)
    return bad_type(type);
  // The angle of a type-2 misalignment is the difference of its end offsets over the length.
  if (type == 2 && length == 0.0)
    return bad_type(type, " A TYPE 2 MISALIGNMENT NEEDS A LENGTH: " +
                              std::string(chinp.elname(element).trimmed()) + " HAS LENGTH 0");
  drawn.at = displacements(type, length, drawn.amplitude, bend);
  return true;
}

const MisalignedPosition *saved_misalignment(int position) {
  if (missav.count == 0 || position < 1 || position > missav.saved.hi() || !missav.saved(position))
    return nullptr;
  return &missav.entry(position);
}

// The selection is drawn even where a saved set holds the position, so that the draws of the
// other positions do not depend on the saved set.
bool mischk(int position, int element) {
  MisalignedPosition &current = misset.current;
  mis.here = draw_misalignment(position, element, current);
  if (const MisalignedPosition *saved = saved_misalignment(position)) {
    current = *saved;
    mis.here = true;
  }
  return mis.here;
}

void mset(double z[6]) {
  enter_displaced_frame(misset.current.at, z);
}

void mreset(double z[6]) {
  leave_displaced_frame(misset.current.at, z);
}

} // namespace vorax
