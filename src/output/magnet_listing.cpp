// The magnet listing of HARD: every bend, quadrupole, sextupole and quadrupole-sextupole of the
// element table in practical units (degrees, kG, focal lengths) at the energy HARD gives.
#include "output/layout.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/units.h"

#include <cmath>
#include <string>

namespace vorax {

namespace {

void say(std::string_view text) {
  write_record(control.output_unit, text);
}

std::string f13(double v) {
  return fF(v, 13, 8);
}

// Angles of turns about the beam axis are listed in degrees whatever the convention stores.
double degrees(double stored, int eunits) {
  return eunits == 2 ? stored : stored / const_.raddeg;
}

double tilt_degrees(const ElementValues &e, int eunits) {
  return degrees(e(slot::tilt_of(e.count())), eunits);
}

void tilt_line(const ElementValues &e, int eunits) {
  say(" TILT ANGLE =" + fF(tilt_degrees(e, eunits), 17, 9) + " (DEG)");
}

// Quadrupole gradient K (1/m^2) and sextupole strength S (1/m^3, x'' = -S (x^2 - y^2)) as the
// maps take them in each convention.
double quadrupole_strength(double k1, int eunits) {
  return eunits == 1 ? -k1 : k1;
}
double sextupole_strength(double k2, int eunits) {
  switch (eunits) {
  case 1:
    return -0.5 * k2;
  case 2:
    return k2;
  default:
    return 0.5 * k2;
  }
}

void bend_block(const ElementValues &e, int eunits, double brho) {
  const double length = e(slot::bend::L);
  const double stored = e(slot::bend::ANGLE);
  const double angle = eunits == 2 ? stored * const_.raddeg : stored; // radians
  // A straight bend (no angle) has no radius: 0 is listed for it, as for its induction, and
  // so is a bend of no length, which has no map either.
  double radius = 0.0, induction = 0.0, n = 0.0, beta = 0.0;
  if (angle != 0.0 && length != 0.0) {
    radius = length / angle;
    induction = brho / radius;
    // The field indices the bend's map is built from: dimensionless, n = -K1 rho^2 and
    // beta = K2 rho^3 / 2 in the standard convention, opposite in the LDF one, as given in
    // the MERIDOXAN one.
    const double sign = eunits == 1 ? -1.0 : 1.0;
    n = eunits == 2 ? e(slot::bend::K1) : -sign * e(slot::bend::K1) * radius * radius;
    beta =
        eunits == 2 ? e(slot::bend::K2) : sign * e(slot::bend::K2) * radius * radius * radius / 2.0;
  } else if (eunits == 2) {
    n = e(slot::bend::K1);
    beta = e(slot::bend::K2);
  }
  say(" ");
  say(" ELEMENT:" + e.name.str());
  say(" HALFGAP=" + f13(e(slot::bend::HGAP)) + " (M)  BENDING ANGLE=" +
      f13(degrees(stored, eunits)) + " (DEG)  BENDING RADIUS=" + fF(radius, 17, 8) + " (M.)");
  say(" LENGTH=" + fE(length, 15, 7) + " (M) INDUCTION=" + f13(induction) + " (KG)");
  say(" FIELD INDEX N=" + fF(n, 13, 4) + "  FIELD INDEX BETA=" + fF(beta, 13, 4));
  say(" ENTRANCE ANGLE=" + fF(degrees(e(slot::bend::E1), eunits), 12, 8) +
      " (DEG)  ENTRANCE CURVATURE=" + fF(e(slot::bend::H1), 17, 9) + " (/M)");
  say(" EXIT ANGLE =" + fF(degrees(e(slot::bend::E2), eunits), 12, 8) +
      " (DEG)  EXIT CURVATURE=" + fF(e(slot::bend::H2), 17, 9) + " (/M)");
  tilt_line(e, eunits);
}

void quadrupole_block(const ElementValues &e, int eunits, double brho) {
  const double a = e(slot::quad::APERTURE), length = e(slot::quad::L);
  const double k = quadrupole_strength(e(slot::quad::K1), eunits);
  say(" ");
  say(" ELEMENT:" + e.name.str());
  say(" HALF APERTURE=" + f13(a) + " (M)  LENGTH=" + f13(length) + " (M)  STRENGTH=" + f13(k) +
      " (/M**2)");
  say(" FOCAL LENGTH=" + fE(quadrupole_focal_length(k, length), 15, 7) +
      " (M) POLE TIP INDUCTION=" + f13(brho * k * a) +
      " (KG)  INTEGRATED STRENGTH=" + f13(length * k) + " (/M)");
  tilt_line(e, eunits);
}

void sextupole_block(const ElementValues &e, int eunits, double brho) {
  const double a = e(slot::sext::APERTURE), length = e(slot::sext::L);
  const double s = sextupole_strength(e(slot::sext::K2), eunits);
  say(" ");
  say(" ELEMENT:" + e.name.str());
  say(" HALF APERTURE=" + f13(a) + " (M)  LENGTH=" + f13(length) + " (M.)  STRENGTH=" + f13(s) +
      " (/M**3)");
  say(" POLE TIP INDUCTION=" + f13(brho * s * a * a) +
      " (KG)  INTEGRATED STRENGTH=" + f13(length * s) + " (/M**2)");
  tilt_line(e, eunits);
}

void quadsext_block(const ElementValues &e, int eunits, double brho) {
  const double a = e(slot::quadsext::APERTURE), length = e(slot::quadsext::L);
  const double k = quadrupole_strength(e(slot::quadsext::K1), eunits);
  const double s = sextupole_strength(e(slot::quadsext::K2), eunits);
  say(" ");
  say("  ELEMENT :" + e.name.str());
  say("  HALF APERTURE =" + f13(a) + " (M) LENGTH =" + f13(length) + " (M)");
  say(" QUADRUPOLE COMPONENT");
  say(" STRENGTH =" + f13(k) + " (/M**2)  POLETIP INDUCTION =" + f13(brho * k * a) +
      " (KG)  INTEGRATED STRENGTH =" + f13(length * k) + " (/M)");
  say(" SEXTUPOLE COMPONENT");
  say(" STRENGTH =" + f13(s) + " (/M**3)  POLETIP INDUCTION =" + f13(brho * s * a * a) +
      " (KG)  INTEGRATED STRENGTH =" + f13(length * s) + " (/M**2)");
  tilt_line(e, eunits);
}

} // namespace

double quadrupole_focal_length(double strength, double length) {
  if (strength == 0.0)
    return 0.0;
  const double k = std::sqrt(std::fabs(strength));
  const double s = strength > 0.0 ? std::sin(k * length) : -std::sinh(k * length);
  // At kL = n pi the lens has no net focusing (its R21 vanishes): its focal length is infinite
  // and listed as 0, as for no gradient; the sine there is rounding, not a strength.
  if (!(std::fabs(s) > 1e-12))
    return 0.0;
  const double f = 1.0 / (k * s);
  return std::isfinite(f) ? f : 0.0;
}

void magnet_listing() {
  const double energy = layout.energy;
  layout.energy = 0.0;
  if (control.print_level >= 1)
    say(" VALUES ARE FOR ENERGY :" + f13(energy) + " GEV");
  if (control.print_level <= 2)
    return;
  const double brho = const_.brho_factor * energy;
  const int eunits = inputt.eunits;
  for (int k = 1; k <= inputt.nelm; ++k) {
    const ElementValues e = element_values(k);
    switch (e.kind) {
    case KODE_BEND:
      bend_block(e, eunits, brho);
      break;
    case KODE_QUAD:
      quadrupole_block(e, eunits, brho);
      break;
    case KODE_SEXT:
      sextupole_block(e, eunits, brho);
      break;
    case KODE_QUADSEXT:
      quadsext_block(e, eunits, brho);
      break;
    default:
      break;
    }
  }
}

} // namespace vorax
