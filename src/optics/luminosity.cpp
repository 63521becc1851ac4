// Luminosity of a ring collider at the beam-beam tune-shift limit, for the optimum and for full
// coupling of the natural emittance, from the radiation results at one energy.
//
// The machine starts at an interaction point, where the lattice functions are func.start. The
// natural emittance eps0 = eps x + eps y is shared between the planes, eps x = eps0/(1 + r),
// eps y = r eps0/(1 + r): the optimum ratio r = beta y/beta x gives sy/sx = beta y/beta x and
// so equal tune shifts in both planes (without dispersion at the interaction point); full
// coupling is r = 1. With the total sizes sx, sy (betatron and dispersive parts), the tune
// shifts of N particles per bunch are
//   xi x = r_e N beta x / (2 pi gamma sx (sx + sy)),
//   xi y = r_e N beta y / (2 pi gamma sy (sx + sy)),
// and N is the largest value for which neither exceeds DNU. The luminosity per interaction
// point with n_b bunches per beam and revolution frequency f is L = n_b f N^2 / (4 pi sx sy),
// the current per beam I = e N n_b f.
#include "common/control.h"
#include "common/format.h"
#include "common/units.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"

#include <algorithm>
#include <cmath>

namespace vorax {

namespace {

void say(std::string_view text) {
  write_record(control.output_unit, text);
}
std::string e15(double v) {
  return fE(v, 15, 7);
}

LuminosityCase coupling_case(double ratio) {
  LuminosityCase c;
  c.ratio = ratio;
  const double betax = func.start(1), betay = func.start(5);
  const double eps0 = lum.epsx + lum.epsy;
  const double epsx = eps0 / (1.0 + ratio), epsy = ratio * eps0 / (1.0 + ratio);
  c.sigx = std::sqrt(std::max(0.0, betax * epsx));
  c.sigy = std::sqrt(std::max(0.0, betay * epsy));
  c.sigxt = std::hypot(c.sigx, func.start(3) * lum.sige);
  c.sigyt = std::hypot(c.sigy, func.start(7) * lum.sige);
  if (betax <= 0.0 || betay <= 0.0 || c.sigxt <= 0.0 || c.sigyt <= 0.0)
    return c; // no beam size: no luminosity
  const double gamma = lum.energy / const_.emass;
  const double sum = c.sigxt + c.sigyt;
  c.particles = func.dnu * const_.twopi * gamma * sum / const_.erad *
                std::min(c.sigxt / betax, c.sigyt / betay);
  const double f = lum.frev, nb = func.bunches;
  c.current = const_.echarge * c.particles * nb * f;
  // m^-2 s^-1 to cm^-2 s^-1.
  c.luminosity =
      nb * f * c.particles * c.particles / (2.0 * const_.twopi * c.sigxt * c.sigyt) * 1e-4;
  return c;
}

void print_case(const LuminosityCase &c) {
  say(" SIGX=" + e15(c.sigx) + " SIGY=" + e15(c.sigy) + " SIGXT=" + e15(c.sigxt) +
      " SIGYT=" + e15(c.sigyt));
  say(" PARTICLES/BUNCH=" + e15(c.particles) + " CURRENT/BEAM=" + e15(c.current) + "(A)" +
      " LUMINOSITY=" + e15(c.luminosity) + "(CM-2 SEC-1)");
}

} // namespace

void lumin() {
  const double betax = func.start(1), betay = func.start(5);
  lum.optimum = coupling_case(betax > 0.0 ? betay / betax : 1.0);
  lum.maximum = coupling_case(1.0);
  say(" OPTIMUM COUPLING : EPSY/EPSX =" + e15(lum.optimum.ratio));
  print_case(lum.optimum);
  say(" VALUES FOR MAXIMUM COUPLING : ");
  print_case(lum.maximum);
  if (lum.optimum.sigxt <= 0.0 || lum.optimum.sigyt <= 0.0 || betax <= 0.0 || betay <= 0.0)
    say(" ZERO BEAM SIZE OR BETA AT THE INTERACTION POINT: NO LUMINOSITY");
}

} // namespace vorax
