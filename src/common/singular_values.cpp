// Singular values by one-sided Jacobi rotations: the columns of the matrix are rotated in pairs
// until all are orthogonal. It is slower than a bidiagonal reduction but gives the small
// singular values to full relative accuracy, which is what the cut of an ill-conditioned
// least-squares problem looks at.
#include "common/singular_values.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vorax {

namespace {

// A pair of columns counts as orthogonal when their cosine is below this.
constexpr double ORTHOGONAL = 1e-15;
// Each sweep at least squares the cosines once they are small; 60 is far beyond need.
constexpr int MAX_SWEEPS = 60;

// Four partial sums: the additions of one sum would wait on each other.
double dot(const double *a, const double *b, int n) {
  double s[4] = {};
  int i = 0;
  for (; i + 4 <= n; i += 4)
    for (int k = 0; k < 4; ++k)
      s[k] += a[i + k] * b[i + k];
  for (; i < n; ++i)
    s[0] += a[i] * b[i];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

void rotate(double *a, double *b, int n, double c, double s) {
  for (int i = 0; i < n; ++i) {
    const double x = a[i], y = b[i];
    a[i] = c * x - s * y;
    b[i] = s * x + c * y;
  }
}

} // namespace

SingularValues singular_values(const double *a, int m, int n) {
  // The rotations work on the columns of the taller of a and its transpose: w (rows x cols,
  // rows >= cols) becomes w v with orthogonal columns.
  const bool wide = n > m;
  const int rows = wide ? n : m, cols = wide ? m : n;
  const auto at = [](int i, int j, int ld) { return static_cast<std::size_t>(i + ld * j); };
  std::vector<double> w(static_cast<std::size_t>(rows) * cols);
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i)
      w[at(i, j, rows)] = wide ? a[at(j, i, m)] : a[at(i, j, m)];
  std::vector<double> v(static_cast<std::size_t>(cols) * cols, 0.0);
  for (int j = 0; j < cols; ++j)
    v[at(j, j, cols)] = 1.0;

  // The squared lengths of the columns follow each rotation exactly in exact arithmetic; they
  // are computed afresh at every sweep so that rounding cannot build up.
  std::vector<double> squares(static_cast<std::size_t>(cols));
  for (int sweep = 0; sweep < MAX_SWEEPS; ++sweep) {
    for (int j = 0; j < cols; ++j)
      squares[static_cast<std::size_t>(j)] = dot(&w[at(0, j, rows)], &w[at(0, j, rows)], rows);
    bool rotated = false;
    for (int j = 0; j + 1 < cols; ++j)
      for (int k = j + 1; k < cols; ++k) {
        double *wj = &w[at(0, j, rows)], *wk = &w[at(0, k, rows)];
        double &alpha = squares[static_cast<std::size_t>(j)];
        double &beta = squares[static_cast<std::size_t>(k)];
        const double gamma = dot(wj, wk, rows);
        if (gamma == 0.0 || std::fabs(gamma) <= ORTHOGONAL * std::sqrt(alpha) * std::sqrt(beta))
          continue;
        // The rotation that makes the two columns orthogonal, the smaller of its two angles.
        const double zeta = (beta - alpha) / (2.0 * gamma);
        const double t = std::copysign(1.0, zeta) / (std::fabs(zeta) + std::hypot(1.0, zeta));
        const double c = 1.0 / std::hypot(1.0, t), s = c * t;
        rotate(wj, wk, rows, c, s);
        rotate(&v[at(0, j, cols)], &v[at(0, k, cols)], cols, c, s);
        alpha = std::max(alpha - t * gamma, 0.0);
        beta = beta + t * gamma;
        rotated = true;
      }
    if (!rotated)
      break;
  }

  std::vector<double> norm(static_cast<std::size_t>(cols));
  for (int j = 0; j < cols; ++j)
    norm[static_cast<std::size_t>(j)] =
        std::sqrt(dot(&w[at(0, j, rows)], &w[at(0, j, rows)], rows));
  std::vector<int> order(static_cast<std::size_t>(cols));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int p, int q) {
    return norm[static_cast<std::size_t>(p)] > norm[static_cast<std::size_t>(q)];
  });

  // w = u' sigma, with u' the left vectors of the taller matrix and v its right ones: for a wide
  // a the roles change over.
  SingularValues r;
  r.rows = m;
  r.cols = n;
  r.sigma.resize(static_cast<std::size_t>(cols));
  std::vector<double> left(static_cast<std::size_t>(rows) * cols, 0.0);
  std::vector<double> right(static_cast<std::size_t>(cols) * cols, 0.0);
  for (int k = 0; k < cols; ++k) {
    const int j = order[static_cast<std::size_t>(k)];
    const double s = norm[static_cast<std::size_t>(j)];
    r.sigma[static_cast<std::size_t>(k)] = s;
    if (s == 0.0)
      continue;
    for (int i = 0; i < rows; ++i)
      left[at(i, k, rows)] = w[at(i, j, rows)] / s;
    for (int i = 0; i < cols; ++i)
      right[at(i, k, cols)] = v[at(i, j, cols)];
  }
  r.u = wide ? std::move(right) : std::move(left);
  r.v = wide ? std::move(left) : std::move(right);
  return r;
}

} // namespace vorax
