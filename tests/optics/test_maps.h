// One-turn and cell maps built by hand for the optics tests.
#pragma once

#include "common/transfer_map.h"
#include "support/matrices.h"

#include <array>
#include <cmath>

namespace vorax::test {

inline constexpr double PI = 3.141592653589793;

using M6 = Square<6>; // 0-based

inline TransferMap to_map(const M6 &r) {
  TransferMap m;
  m.clear();
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      m.R(i, j) = r[i - 1][j - 1];
  return m;
}

// The 2x2 one-turn block of phase mu with Twiss functions beta, alpha, in plane p (0 x, 1 y).
inline void twiss_block(M6 &m, int p, double mu, double beta, double alpha) {
  const int i = 2 * p;
  const double c = std::cos(mu), s = std::sin(mu);
  m[i][i] = c + alpha * s;
  m[i][i + 1] = beta * s;
  m[i + 1][i] = -(1 + alpha * alpha) * s / beta;
  m[i + 1][i + 1] = c - alpha * s;
}

// A one-turn map with given Twiss functions and fixed-point dispersion eta: column 6 is
// (I - R) eta, and the path-length row is what symplecticity asks of an uncoupled map,
// R5j = R1j R26 - R2j R16 per plane (a sector bend has R51 = R26 and R52 = R16).
inline M6 periodic_map(double mux, double bx, double ax, double muy, double by, double ay,
                       std::array<double, 4> eta, double r56) {
  M6 m = unit_matrix<6>();
  twiss_block(m, 0, mux, bx, ax);
  twiss_block(m, 1, muy, by, ay);
  for (int i = 0; i < 4; ++i) {
    double v = eta[static_cast<std::size_t>(i)];
    for (int j = 0; j < 4; ++j)
      v -= m[i][j] * eta[static_cast<std::size_t>(j)];
    m[i][5] = v;
  }
  for (int p = 0; p < 2; ++p) {
    const int i = 2 * p;
    m[4][i] = m[i][i] * m[i + 1][5] - m[i + 1][i] * m[i][5];
    m[4][i + 1] = m[i][i + 1] * m[i + 1][5] - m[i + 1][i + 1] * m[i][5];
  }
  m[4][5] = r56;
  return m;
}

// Thin-lens FODO cell from the middle of QF to the middle of the next QF: focal length f of the
// full lenses (scaled by 1/(1 + delta)), drifts l between them.
inline M6 thin_fodo(double f, double l, double delta = 0.0) {
  const double k = 1.0 / (f * (1 + delta));
  M6 hqf = unit_matrix<6>(), qd = unit_matrix<6>(), d = unit_matrix<6>();
  hqf[1][0] = -k / 2;
  hqf[3][2] = k / 2;
  qd[1][0] = k;
  qd[3][2] = -k;
  d[0][1] = l;
  d[2][3] = l;
  return multiply(hqf, multiply(d, multiply(qd, multiply(d, hqf))));
}

} // namespace vorax::test
