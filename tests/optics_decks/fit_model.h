// An optics model of the test decks, written apart from the program: thick drifts, quadrupoles,
// sector bends and sextupoles as 3 x 3 matrices (x, x', delta), periodic solutions, lattice
// functions and first-order chromaticity by integration. Fit results are checked against it.
#pragma once

#include "harness.h"
#include "support/listings.h"
#include "support/matrices.h"

#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace fitmodel {

constexpr double PI = 3.141592653589793;

using M3 = vorax::test::Square<3>;

inline M3 unit() {
  return vorax::test::unit_matrix<3>();
}

// b after a.
inline M3 then(const M3 &a, const M3 &b) {
  return vorax::test::multiply(b, a);
}

// Focusing strength k (x'' = -k x) over length L.
inline M3 focusing(double L, double k) {
  if (k == 0.0)
    return M3{{{1, L, 0}, {0, 1, 0}, {0, 0, 1}}};
  if (k > 0) {
    const double r = std::sqrt(k), c = std::cos(r * L), s = std::sin(r * L);
    return M3{{{c, s / r, 0}, {-r * s, c, 0}, {0, 0, 1}}};
  }
  const double r = std::sqrt(-k), c = std::cosh(r * L), s = std::sinh(r * L);
  return M3{{{c, s / r, 0}, {r * s, c, 0}, {0, 0, 1}}};
}

// Kinds of the model's elements.
enum Kind { DRIFT, QUAD, SBEND, SEXT };

struct Element {
  Kind kind = DRIFT;
  double length = 0.0;
  double k1 = 0.0;    // quadrupole gradient (positive focuses x)
  double k2 = 0.0;    // sextupole strength
  double angle = 0.0; // bend angle
};

// Matrix of a slice of length l of the element, in plane 1 (x) or 2 (y), at momentum delta.
inline M3 slice_matrix(const Element &e, double l, int plane, double delta = 0.0) {
  switch (e.kind) {
  case QUAD:
    return focusing(l, (plane == 1 ? e.k1 : -e.k1) / (1.0 + delta));
  case SBEND:
    if (plane == 1) {
      const double h = e.angle / e.length, c = std::cos(h * l), s = std::sin(h * l);
      return M3{{{c, s / h, (1 - c) / h}, {-h * s, c, s}, {0, 0, 1}}};
    }
    return focusing(l, 0.0);
  default:
    return focusing(l, 0.0);
  }
}

inline M3 line_matrix(const std::vector<Element> &line, int plane, double delta = 0.0) {
  M3 m = unit();
  for (const Element &e : line)
    m = then(m, slice_matrix(e, e.length, plane, delta));
  return m;
}

struct Twiss {
  double beta = 0, alpha = 0, eta = 0, etap = 0;
};

// Periodic lattice functions and the phase advance mu (0 .. 2 pi) of a one-turn matrix.
inline Twiss periodic(const M3 &m, double *mu = nullptr) {
  const double c = (m[0][0] + m[1][1]) / 2;
  const double s = std::copysign(std::sqrt(1 - c * c), m[0][1]);
  Twiss t;
  t.beta = m[0][1] / s;
  t.alpha = (m[0][0] - m[1][1]) / (2 * s);
  // (I - M) eta = M(.,3)
  const double a = 1 - m[0][0], b = -m[0][1], cc = -m[1][0], d = 1 - m[1][1];
  const double det = a * d - b * cc;
  t.eta = (d * m[0][2] - b * m[1][2]) / det;
  t.etap = (a * m[1][2] - cc * m[0][2]) / det;
  if (mu) {
    *mu = std::atan2(s, c);
    if (*mu < 0)
      *mu += 2 * PI;
  }
  return t;
}

inline double tune_fraction(const M3 &turn) {
  double mu = 0;
  periodic(turn, &mu);
  return mu / (2 * PI);
}

inline Twiss propagate(const Twiss &t, const M3 &m) {
  const double gamma = (1 + t.alpha * t.alpha) / t.beta;
  Twiss o;
  o.beta = m[0][0] * m[0][0] * t.beta - 2 * m[0][0] * m[0][1] * t.alpha + m[0][1] * m[0][1] * gamma;
  o.alpha = -m[0][0] * m[1][0] * t.beta + (m[0][0] * m[1][1] + m[0][1] * m[1][0]) * t.alpha -
            m[0][1] * m[1][1] * gamma;
  o.eta = m[0][0] * t.eta + m[0][1] * t.etap + m[0][2];
  o.etap = m[1][0] * t.eta + m[1][1] * t.etap + m[1][2];
  return o;
}

// First-order chromaticity of a ring (plane 1 or 2) from the periodic functions: quadrupoles
// contribute -+ beta k1 / 4 pi, sextupoles +- beta eta k2 / 4 pi, integrated by Simpson's rule
// over slices. Bends are taken as achromatic (their own term is of order h^2).
inline double chromaticity(const std::vector<Element> &ring, int plane) {
  Twiss tx = periodic(line_matrix(ring, 1));
  Twiss t = plane == 1 ? tx : periodic(line_matrix(ring, 2));
  const double sign = plane == 1 ? 1.0 : -1.0;
  double sum = 0.0;
  constexpr int N = 64;
  for (const Element &e : ring) {
    if (e.kind == QUAD || e.kind == SEXT) {
      const double h = e.length / N;
      Twiss a = t, ax = tx;
      double integral = 0.0;
      for (int n = 0; n <= N; ++n) {
        const double w = (n == 0 || n == N) ? 1 : (n % 2 ? 4 : 2);
        const double f = e.kind == QUAD ? -sign * e.k1 * a.beta : sign * e.k2 * ax.eta * a.beta;
        integral += w * f;
        if (n < N) {
          a = propagate(a, slice_matrix(e, h, plane));
          ax = propagate(ax, slice_matrix(e, h, 1));
        }
      }
      sum += integral * h / 3;
    }
    t = propagate(t, slice_matrix(e, e.length, plane));
    tx = propagate(tx, slice_matrix(e, e.length, 1));
  }
  return sum / (4 * PI);
}

// Solves f(a, b) = (0, 0) by Newton's method with difference quotients, from (a, b).
template <class F> bool solve2(F f, double &a, double &b) {
  for (int it = 0; it < 100; ++it) {
    const auto r = f(a, b);
    if (std::abs(r[0]) + std::abs(r[1]) < 1e-14)
      return true;
    const double h = 1e-7;
    const auto ra = f(a + h, b), rb = f(a, b + h);
    const double j11 = (ra[0] - r[0]) / h, j21 = (ra[1] - r[1]) / h;
    const double j12 = (rb[0] - r[0]) / h, j22 = (rb[1] - r[1]) / h;
    const double det = j11 * j22 - j12 * j21;
    a -= (j22 * r[0] - j12 * r[1]) / det;
    b -= (-j21 * r[0] + j11 * r[1]) / det;
  }
  const auto r = f(a, b);
  return std::abs(r[0]) + std::abs(r[1]) < 1e-12;
}

} // namespace fitmodel
