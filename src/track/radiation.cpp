// Synchrotron radiation in tracking (SYNC, synpre and the loss of one particle in a bend or a
// quadrupole) and the momentum offsets that quadrupoles see (SPAC).
#include "track/radiation.h"
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/messages.h"
#include "common/random_numbers.h"
#include "common/slots.h"
#include "engine/deferred_data.h"
#include "engine/operation_data.h"
#include "maps/bend_shape.h"
#include "track/tracking_areas.h"
#include "track/tracking_effects.h"

#include <algorithm>
#include <cmath>

namespace vorax {

// SYNC: energy, radiation option, distribution option. Options 10..13 are 0..3 of the bends
// with the quadrupoles radiating for 11 and 13 but only the mean loss of the bends; 4 and 5 are
// 2 and 3 with the quadrupoles.
void setsyn(int, int &end_flag) {
  read_sync_data(end_flag, [](const DataRecord &r) {
    synch.energy = r.value(1);
    int option = truncated(r.value(2));
    synch.quadrupoles = 0;
    if (option > 9) {
      synch.quadrupoles = option == 11 || option == 13 ? 1 : 0;
      option = 1;
    }
    if (option > 3) {
      synch.quadrupoles = 1;
      option -= 2;
    }
    synch.option = option;
    int distribution = truncated(r.value(3));
    if (distribution >= 11) {
      distribution -= 10;
      cseeds.radiation.index = 1;
      cseeds.radiation.mode = 1;
    } else {
      cseeds.radiation.index = cseeds.master_seed;
      cseeds.radiation.mode = 0;
    }
    synch.distribution = distribution;
  });
}

// The constants scale with the energy and the element's length. A thin element (length 0) has
// no field length to radiate over: it radiates nothing, rather than an infinite loss.
void synpre(int element, double length) {
  const double l = std::fabs(length);
  const double e = synch.energy;
  synch.u0 = 0.0;
  synch.sigma = 0.0;
  if (l == 0.0) {
    synch.cq = 0.0;
    synch.cl = 0.0;
    return;
  }
  // 1.408e-5 is the loss constant C_gamma / 2 pi = 1.40787e-5 m/GeV^3 rounded, as tracking has
  // always used it.
  synch.cq = std::pow(e, 5) * 4.132e-11 / (l * l);
  synch.cl = std::pow(e, 3) * 1.408e-05 / l;
  if (inputt.kode(element) != KODE_BEND)
    return;
  double theta = std::fabs(inputt.slot(element, slot::bend::ANGLE));
  if (inputt.eunits == 2)
    theta = theta * const_.raddeg;
  synch.u0 = theta * theta * synch.cl;
  synch.sigma = std::sqrt(std::fabs(theta * theta * theta * synch.cq));
}

namespace {

double draw(int distribution) {
  return rannum(cseeds.radiation.index, distribution, 6.0, cseeds.radiation.mode);
}

} // namespace

int radiation_draws(const StepEffects &r) {
  if (r.quad_radiation)
    return 1;
  return r.radiation >= 2 ? BEND_RADIATION_POINTS : 0;
}

void draw_radiation(const StepEffects &r, const std::uint8_t *radiating, int count, double *draws) {
  const int per = radiation_draws(r);
  for (int i = 0; i < count; ++i)
    for (int k = 0; k < per; ++k)
      draws[per * i + k] = radiating[i] != 0 ? draw(r.distribution) : 0.0;
}

void bend_loss_shape(int element, StepEffects &f) {
  BendShape bend;
  double tilt = 0.0;
  if (!bend_shape(element, bend, tilt))
    return;
  f.bend_h = bend.angle / bend.length;
  f.bend_n = bend.n;
  f.bend_c = std::cos(tilt);
  f.bend_s = std::sin(tilt);
  f.edge_in = std::tan(bend.e1) / bend.length;
  f.edge_out = std::tan(bend.e2) / bend.length;
}

// A bend radiates along its body, and what a photon emitted at s does to the beam depends on
// where s is: a loss there starts a betatron oscillation of amplitude H(s), the dispersion
// invariant, which in a strong-focusing cell changes severalfold along one bend. The radiation
// is therefore applied at the three Gauss-Legendre points of the body (at 0.113, 0.5 and 0.887
// of its length, weights 5/18, 8/18, 5/18), between pieces of the bend's map. Their sum is exact
// for H and for the loss along the path of the particle while these are polynomials of degree 5
// or less in s, which holds closely in a bend whose focusing turns the orbit by much less than a
// radian; the integrals of the machine are the exact ones. Taken at the faces alone, H would be
// sampled where it is largest or smallest, and the equilibrium emittance of a light source could
// come out half as large again as the integrals give.
const BendPoints bend_points = [] {
  const double a = 0.5 - std::sqrt(15.0) / 10.0, b = std::sqrt(15.0) / 10.0;
  BendPoints p{};
  p.piece[0] = a;
  p.piece[1] = b;
  p.piece[2] = b;
  p.piece[3] = a;
  p.weight[0] = 5.0 / 18.0;
  p.weight[1] = 8.0 / 18.0;
  p.weight[2] = 5.0 / 18.0;
  for (int k = 0; k < BEND_RADIATION_POINTS; ++k)
    p.root_weight[k] = std::sqrt(p.weight[k]);
  return p;
}();

// The mean loss U0 is that of the reference particle. A particle radiates with the square of
// its energy and of the field it meets, over the path it takes: at radial offset u the field is
// 1 - n h u of the reference field and the path 1 + h u as long, and a face turned by e gives
// it u tan(e) less (more, for e < 0) of the body's field. A loss independent of the particle
// would leave synchrotron oscillations undamped, and the energy spread under RF would grow
// without end; with this one the loss per turn grows with delta as U0 (2 + I4/I2) = U0 J_E on
// the dispersion orbit, the damping the radiation integrals give. The random part has the
// reference particle's spread, its variance shared among the points as the loss is.
double radiate_bend_face(const StepEffects &r, double x, double y, double delta, bool exit) {
  if (r.radiation == 2)
    return delta;
  const double u = r.bend_c * x - r.bend_s * y;
  const double p = 1.0 + delta;
  return delta + r.u0 * p * p * (exit ? r.edge_out : r.edge_in) * u;
}

double radiate_bend_point(const StepEffects &r, double x, double y, double delta, int k,
                          double random) {
  if (r.radiation != 2) {
    const double u = r.bend_c * x - r.bend_s * y;
    const double field = 1.0 - r.bend_n * r.bend_h * u;
    const double p = 1.0 + delta;
    delta = delta - r.u0 * bend_points.weight[k] * p * p * field * field * (1.0 + r.bend_h * u);
  }
  if (r.radiation != 1)
    delta = delta + bend_points.root_weight[k] * r.sigma * random;
  return delta;
}

// The loss of the angle the particle turned through in a quadrupole. A cosine that rounds
// beyond 1 is an angle of 0. The mean loss Cl theta^2 is that of the reference energy: the
// particle turns through theta in a field (1 + delta) theta of the reference's, and radiates with
// the square of its energy and of that field, so its loss is (1 + delta)^4 Cl theta^2 (without the
// factor a quadrupole would lower the damping of the energy it should add to).
void radiate_quadrupole(const StepEffects &r, double xp1, double yp1, double z[6], double random) {
  const double xp2 = z[1], yp2 = z[3];
  const double c = xp1 * xp2 + yp1 * yp2 +
                   std::sqrt(std::fabs(1.0 - xp1 * xp1 - yp1 * yp1)) *
                       std::sqrt(std::fabs(1.0 - xp2 * xp2 - yp2 * yp2));
  const double theta = std::fabs(std::acos(std::clamp(c, -1.0, 1.0)));
  const double sigma = std::sqrt(r.cq * theta * theta * theta);
  const double p2 = (1.0 + z[5]) * (1.0 + z[5]);
  z[5] = z[5] + (random * sigma - r.cl * theta * theta * p2 * p2);
}

// SPAC: count, a, b1, b2; on when the count is above 0. The offsets divide by a: an a of 0 gives
// no offsets, and says so.
void spchg(int, int &end_flag) {
  cspch.on = 0;
  read_spac_data(end_flag, [](const DataRecord &r) {
    auto value = [&](int k) { return k <= r.count ? r.value(k) : 0.0; };
    cspch.a = value(2);
    cspch.b1 = value(3);
    cspch.b2 = value(4);
    if (truncated(value(1)) <= 0)
      return;
    if (cspch.a == 0.0) {
      engine_message(" SPAC: THE VALUE A IS 0, THE MOMENTUM OFFSETS STAY OFF");
      return;
    }
    cspch.on = 1;
  });
}

void momentum_offsets() {
  for (int i = 1; i <= trace.npart; ++i) {
    double d =
        ((std::fabs(trace.pcoord(i, 6)) + cspch.a) - std::fabs(trace.pcoord(i, 7))) / cspch.a;
    if (d <= 0.0)
      d = 0.0;
    cspch.o1(i) = -d * cspch.b1;
    cspch.o2(i) = -d * cspch.b2;
  }
}

} // namespace vorax
