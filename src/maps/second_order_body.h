// Second-order terms of a magnet body from the Green's-function integrals of its quadratic
// driving terms, and the first-order flow of a midplane-symmetric magnet body.
#pragma once

#include <array>

#include "common/table.h"
#include "common/transfer_map.h"

namespace vorax {

using Map6 = Matrix<double, 6, 6>;

// One quadratic driving term of the equations of motion: dz(row)/ds gains coef z(p) z(q),
// p <= q, in the order x, x', y, y', l, delta.
struct DrivingTerm {
  int row = 0, p = 0, q = 0;
  double coef = 0.0;
};
struct DrivingTerms {
  static constexpr int CAPACITY = 32;
  int count = 0;
  std::array<DrivingTerm, CAPACITY> term{};
  void add(int row, int p, int q, double coef); // zero coefficients are skipped
};

// A body whose linear flow is known in closed form. The second-order map of such a body is
//   z2(L) = integral over s of M(L <- s) F2(M(s <- 0) z0) ds,
// exact at second order because the quadratic driving terms F2 only need the linear rays.
class BodyModel {
public:
  virtual ~BodyModel() = default;
  // First-order map from position a to position b.
  virtual void transfer(double a, double b, Map6 &m) const = 0;
  // Quadratic driving terms at position s.
  virtual void driving(double s, DrivingTerms &terms) const = 0;
  // The largest rate (1/m) at which the linear solution or the coefficients change; it sets
  // the quadrature step.
  virtual double rate() const = 0;
};

// Writes T(i,j,k) of every row of map (j <= k) for a body of the given length: composite
// 10-point Gauss-Legendre quadrature with panels of at most half a radian of the fastest
// phase, so the result is accurate to rounding and the same on every run.
void second_order_terms(const BodyModel &body, double length, TransferMap &map);

// Stumpff functions of z = k^2 t^2 (either sign): c0 = cos(kt), c1 = sin(kt)/(kt),
// c2 = (1 - cos kt)/(kt)^2, c3 = (kt - sin kt)/(kt)^3, continued to z <= 0. Written without
// cancellation, they give the trigonometric, polynomial and hyperbolic regimes in one form
// that stays accurate when k^2 is tiny but not zero.
struct Stumpff {
  double c0, c1, c2, c3;
};
Stumpff stumpff(double z);

// A straight or curved magnet body with midplane field
//   By/(B rho) = h + k1 x + b3 (x^2 - y^2) + ...  (plus the Maxwell terms off the midplane)
// and, for straight bodies only (h = 0), a skew sextupole a3: the sextupole force is
//   x'' = -Re[(b3 + i a3)(x + i y)^2],  y'' = Im[(b3 + i a3)(x + i y)^2].
// Coordinates (x, x' = dx/ds, y, y', l, delta) in the frame that follows the reference arc.
class MidplaneBody : public BodyModel {
public:
  MidplaneBody(double h, double k1, double b3, double a3 = 0.0);
  void transfer(double a, double b, Map6 &m) const override { first_order(b - a, m); }
  void driving(double s, DrivingTerms &terms) const override;
  double rate() const override;
  // The linear map over a length t.
  void first_order(double t, Map6 &m) const;

private:
  double h_, k1_, kx2_, ky2_;
  DrivingTerms terms_;
};

// The unit 6 x 6 matrix.
void set_unit(Map6 &m);
// R of the map <- r.
void copy_first_order(const Map6 &r, TransferMap &map);

} // namespace vorax
