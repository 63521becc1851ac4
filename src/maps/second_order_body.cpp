// Second-order terms of magnet bodies by Green's-function quadrature, and the midplane body.
#include "maps/second_order_body.h"

#include <algorithm>
#include <cmath>

namespace vorax {

void DrivingTerms::add(int row, int p, int q, double coef) {
  if (coef == 0.0)
    return;
  if (p > q)
    std::swap(p, q);
  if (count >= CAPACITY)
    return; // no model here has more than a score of terms
  term[static_cast<std::size_t>(count++)] = DrivingTerm{row, p, q, coef};
}

void set_unit(Map6 &m) {
  for (int j = 1; j <= 6; ++j)
    for (int i = 1; i <= 6; ++i)
      m(i, j) = (i == j) ? 1.0 : 0.0;
}

void copy_first_order(const Map6 &r, TransferMap &map) {
  for (int j = 1; j <= 6; ++j)
    for (int i = 1; i <= 6; ++i)
      map.R(i, j) = r(i, j);
}

namespace {

// 10-point Gauss-Legendre nodes and weights on [-1, 1] (positive half).
constexpr double GL_X[5] = {0.1488743389816312108848260, 0.4333953941292471907992659,
                            0.6794095682990244062343274, 0.8650633666889845107320967,
                            0.9739065285171717200779640};
constexpr double GL_W[5] = {0.2955242247147528701738930, 0.2692667193099963550912269,
                            0.2190863625159820439955349, 0.1494513491505805931457763,
                            0.0666713443086881375935688};

constexpr int MAX_PANELS = 20000;

// Adds weight * M(L <- s) F2(M(s <- 0) z0) to the accumulated coefficients.
void add_node(const BodyModel &body, double s, double length, double weight,
              Matrix<double, 6, 21> &acc) {
  Map6 in, out;
  DrivingTerms terms;
  body.transfer(0.0, s, in);
  body.transfer(s, length, out);
  body.driving(s, terms);
  Matrix<double, 6, 21> g{};
  for (int t = 0; t < terms.count; ++t) {
    const DrivingTerm &d = terms.term[static_cast<std::size_t>(t)];
    int col = 0;
    for (int j = 1; j <= 6; ++j)
      for (int k = j; k <= 6; ++k) {
        ++col;
        double prod =
            (j == k) ? in(d.p, j) * in(d.q, j) : in(d.p, j) * in(d.q, k) + in(d.p, k) * in(d.q, j);
        g(d.row, col) += d.coef * prod;
      }
  }
  for (int col = 1; col <= 21; ++col)
    for (int i = 1; i <= 6; ++i) {
      double sum = 0.0;
      for (int m = 1; m <= 6; ++m)
        sum += out(i, m) * g(m, col);
      acc(i, col) += weight * sum;
    }
}

} // namespace

void second_order_terms(const BodyModel &body, double length, TransferMap &map) {
  double phase = std::abs(body.rate() * length);
  int panels = 1;
  if (phase > 0.5)
    panels = phase / 0.5 >= MAX_PANELS ? MAX_PANELS : static_cast<int>(std::ceil(phase / 0.5));
  double width = length / panels;
  Matrix<double, 6, 21> acc{};
  for (int p = 0; p < panels; ++p) {
    double mid = (p + 0.5) * width;
    for (int n = 0; n < 5; ++n) {
      double off = 0.5 * width * GL_X[n];
      double w = 0.5 * width * GL_W[n];
      add_node(body, mid - off, length, w, acc);
      add_node(body, mid + off, length, w, acc);
    }
  }
  for (int col = 1; col <= 21; ++col)
    for (int i = 1; i <= 6; ++i)
      map(i, 6 + col) = acc(i, col);
}

Stumpff stumpff(double z) {
  Stumpff c{};
  if (std::abs(z) < 1.0) {
    // Power series: c_k = sum over m of (-z)^m / (2m + k)!; 16 terms reach rounding.
    double t0 = 1.0, t1 = 1.0, t2 = 0.5, t3 = 1.0 / 6.0;
    c = {0.0, 0.0, 0.0, 0.0};
    for (int m = 0; m < 16; ++m) {
      c.c0 += t0;
      c.c1 += t1;
      c.c2 += t2;
      c.c3 += t3;
      double f = -z;
      t0 *= f / ((2.0 * m + 1.0) * (2.0 * m + 2.0));
      t1 *= f / ((2.0 * m + 2.0) * (2.0 * m + 3.0));
      t2 *= f / ((2.0 * m + 3.0) * (2.0 * m + 4.0));
      t3 *= f / ((2.0 * m + 4.0) * (2.0 * m + 5.0));
    }
    return c;
  }
  double w = std::sqrt(std::abs(z));
  if (z > 0.0) {
    double half = std::sin(0.5 * w);
    c.c0 = std::cos(w);
    c.c1 = std::sin(w) / w;
    c.c2 = 2.0 * half * half / z;
    c.c3 = (w - std::sin(w)) / (w * z);
  } else {
    double half = std::sinh(0.5 * w);
    c.c0 = std::cosh(w);
    c.c1 = std::sinh(w) / w;
    c.c2 = -2.0 * half * half / z;
    c.c3 = (std::sinh(w) - w) / (-w * z);
  }
  return c;
}

// Equations of motion of the body, s the arc length of the reference, hs = 1 + h x, the
// field normalised to the reference rigidity. Midplane symmetry and curl B = 0, div B = 0 in
// the curvilinear frame give to second order
//   by = h + k1 x + b3 x^2 - (b3 + h k1/2) y^2,   bx = k1 y + 2 b3 x y.
// With px, py the transverse momenta over p0 and ps = sqrt((1+delta)^2 - px^2 - py^2):
//   x' = hs px/ps,  px' = h ps - hs by,  y' = hs py/ps,  py' = hs bx,
//   l' = sqrt(hs^2 + x'^2 + y'^2) - 1 (path-length difference, positive for a longer path).
// Eliminating px, py and expanding to second order in (x, x', y, y', delta):
//   x'' = -(h^2 + k1) x + h delta - (h^3 + 2 h k1 + b3) x^2 + (2 h^2 + k1) x delta - h delta^2
//         + (h/2) x'^2 - (h/2) y'^2 + (b3 + h k1/2) y^2
//   y'' = k1 y + (2 b3 + 2 h k1) x y - k1 y delta + h x' y'
//   l'  = h x + (x'^2 + y'^2)/2
// With the field index n = -k1/h^2 and beta2 = b3/h^3 these are the classic sector-magnet
// equations. The skew sextupole adds 2 a3 x y to x'' and a3 (x^2 - y^2) to y''.
MidplaneBody::MidplaneBody(double h, double k1, double b3, double a3)
    : h_(h), k1_(k1), kx2_(h * h + k1), ky2_(-k1) {
  terms_.add(2, 1, 1, -(h * h * h + 2.0 * h * k1 + b3));
  terms_.add(2, 1, 6, 2.0 * h * h + k1);
  terms_.add(2, 6, 6, -h);
  terms_.add(2, 2, 2, 0.5 * h);
  terms_.add(2, 4, 4, -0.5 * h);
  terms_.add(2, 3, 3, b3 + 0.5 * h * k1);
  terms_.add(2, 1, 3, 2.0 * a3);
  terms_.add(4, 1, 3, 2.0 * b3 + 2.0 * h * k1);
  terms_.add(4, 3, 6, -k1);
  terms_.add(4, 2, 4, h);
  terms_.add(4, 1, 1, a3);
  terms_.add(4, 3, 3, -a3);
  terms_.add(5, 2, 2, 0.5);
  terms_.add(5, 4, 4, 0.5);
}

void MidplaneBody::driving(double, DrivingTerms &terms) const {
  terms = terms_;
}

double MidplaneBody::rate() const {
  return std::max(std::sqrt(std::abs(kx2_)), std::sqrt(std::abs(ky2_)));
}

void MidplaneBody::first_order(double t, Map6 &m) const {
  set_unit(m);
  Stumpff x = stumpff(kx2_ * t * t);
  Stumpff y = stumpff(ky2_ * t * t);
  m(1, 1) = x.c0;
  m(1, 2) = t * x.c1;
  m(2, 1) = -kx2_ * t * x.c1;
  m(2, 2) = x.c0;
  m(1, 6) = h_ * t * t * x.c2;
  m(2, 6) = h_ * t * x.c1;
  m(5, 1) = h_ * t * x.c1;
  m(5, 2) = h_ * t * t * x.c2;
  m(5, 6) = h_ * h_ * t * t * t * x.c3;
  m(3, 3) = y.c0;
  m(3, 4) = t * y.c1;
  m(4, 3) = -ky2_ * t * y.c1;
  m(4, 4) = y.c0;
}

} // namespace vorax
