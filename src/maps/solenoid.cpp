// The solenoid map with an optional superimposed quadrupole (SOLENOID).
#include <cmath>

#include "common/slots.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "maps/second_order_body.h"

namespace vorax {

namespace {

// Hard-edged solenoid of strength s = Bs/(2 B rho) with a quadrupole k >= 0, in canonical
// variables (x, px, y, py, l, delta) of the symmetric gauge, A = (Bs/2)(-y, x, 0). Canonical
// momenta do not jump at the hard edges, and outside the magnet they are the kinetic ones, so
// the flow inside is the whole element edges included. The Hamiltonian is
//   H = -sqrt((1+delta)^2 - ux^2 - uy^2) + (k/2)(x^2 - y^2),  ux = px + s y, uy = py - s x,
// whose quadratic part gives the classic linear matrix; the cubic part -(delta/2)(ux^2 + uy^2)
// gives the chromatic driving terms
//   x' += -delta ux,  px' += -s delta uy,  y' += -delta uy,  py' += s delta ux,
// and the path length grows by l' = (ux^2 + uy^2)/2.
class SolenoidBody : public BodyModel {
public:
  SolenoidBody(double s, double k) : s_(s) {
    double d = std::sqrt(4.0 * s * s * s * s + k * k);
    d_ = d;
    alpha_ = std::sqrt(2.0 * s * s + d);
    // |D - 2 s^2| = k^2/(D + 2 s^2), written without the cancellation of the difference.
    // Nothing here divides by beta, so the pure solenoid (beta = 0) needs no special case.
    beta_ = k / alpha_;
    double ss = s * s;
    terms_.add(1, 2, 6, -1.0);
    terms_.add(1, 3, 6, -s);
    terms_.add(2, 4, 6, -s);
    terms_.add(2, 1, 6, ss);
    terms_.add(3, 4, 6, -1.0);
    terms_.add(3, 1, 6, s);
    terms_.add(4, 2, 6, s);
    terms_.add(4, 3, 6, ss);
    terms_.add(5, 2, 2, 0.5);
    terms_.add(5, 4, 4, 0.5);
    terms_.add(5, 2, 3, s);
    terms_.add(5, 1, 4, -s);
    terms_.add(5, 1, 1, 0.5 * ss);
    terms_.add(5, 3, 3, 0.5 * ss);
  }
  void transfer(double a, double b, Map6 &m) const override { first_order(b - a, m); }
  void driving(double, DrivingTerms &terms) const override { terms = terms_; }
  double rate() const override { return alpha_ > beta_ ? alpha_ : beta_; }

  void first_order(double t, Map6 &m) const {
    set_unit(m);
    double s = s_, d = d_;
    double a = 0.5 * (alpha_ + beta_), b = 0.5 * (alpha_ - beta_);
    double ca = std::cos(alpha_ * t), sa = std::sin(alpha_ * t);
    double cb = std::cosh(beta_ * t), sb = std::sinh(beta_ * t);
    m(1, 1) = (ca * a * a + cb * b * b) / d;
    m(2, 2) = m(1, 1);
    m(3, 3) = (ca * b * b + cb * a * a) / d;
    m(4, 4) = m(3, 3);
    m(1, 2) = (sa * a - sb * b) / d;
    m(3, 4) = (sa * b + sb * a) / d;
    m(2, 1) = (-sa * a * a * a - sb * b * b * b) / d;
    m(4, 3) = (sb * a * a * a - sa * b * b * b) / d;
    m(1, 3) = s * (sa * b + sb * a) / d;
    m(4, 2) = -m(1, 3);
    m(2, 4) = s * (sa * a - sb * b) / d;
    m(3, 1) = -m(2, 4);
    m(1, 4) = s * (cb - ca) / d;
    m(3, 2) = -m(1, 4);
    m(2, 3) = s * s * s * (ca - cb) / d;
    m(4, 1) = -m(2, 3);
  }

private:
  double s_, d_, alpha_, beta_;
  DrivingTerms terms_;
};

// Writes the map for K1 >= 0: the linear matrix, and at order 2 the canonical second-order
// terms turned into the geometric slopes x' = px/ps = px (1 - delta) + O(3) at both ends:
// T(i,2,6) += R(i,2), T(i,4,6) += R(i,4) at the entrance, T(2,j,6) -= R(2,j),
// T(4,j,6) -= R(4,j) at the exit.
void solenoid_body(double length, double s, double k, int ncol, TransferMap &m) {
  m.set_identity(ncol);
  SolenoidBody model(s, k);
  Map6 r;
  model.first_order(length, r);
  copy_first_order(r, m);
  if (ncol == 6)
    return;
  second_order_terms(model, length, m);
  for (int i = 1; i <= 6; ++i) {
    m.T(i, 2, 6) += r(i, 2);
    m.T(i, 4, 6) += r(i, 4);
  }
  for (int j = 1; j <= 6; ++j) {
    m.T(2, j, 6) -= r(2, j);
    m.T(4, j, 6) -= r(4, j);
  }
}

// The rotation by 90 degrees about the beam axis, (x, y) -> (y, -x) with the slopes alike,
// or its inverse.
void quarter_turn(double sign, int ncol, TransferMap &m) {
  m.clear(ncol);
  m.R(1, 3) = sign;
  m.R(2, 4) = sign;
  m.R(3, 1) = -sign;
  m.R(4, 2) = -sign;
  m.R(5, 5) = 1.0;
  m.R(6, 6) = 1.0;
}

} // namespace

void solenoid_map(const ElementValues &e, const MapContext &ctx, TransferMap &map) {
  int ncol = ctx.ncol;
  double length = e(slot::solenoid::L);
  double k1 = e(slot::solenoid::K1);
  double s = e(slot::solenoid::KS);
  if (ctx.eunits == 1)
    k1 = -k1;
  if (k1 == 0.0 && s == 0.0) {
    map.set_identity(ncol);
    drift_entries(map, length, ncol);
    return;
  }
  if (k1 >= 0.0) {
    solenoid_body(length, s, k1, ncol, map);
    return;
  }
  // K1 < 0: the same magnet turned by 90 degrees, which exchanges the roles of x and y and
  // leaves the solenoid unchanged.
  TransferMap work, piece;
  work.set_identity(27);
  quarter_turn(1.0, ncol, piece);
  compose_maps(piece, work, ncol);
  solenoid_body(length, s, -k1, ncol, piece);
  compose_maps(piece, work, ncol);
  quarter_turn(-1.0, ncol, piece);
  compose_maps(piece, work, ncol);
  for (int c = 1; c <= ncol; ++c)
    for (int i = 1; i <= 6; ++i)
      map(i, c) = work(i, c);
}

} // namespace vorax
