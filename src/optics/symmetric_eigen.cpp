// Householder tridiagonalisation and the implicit QL method with Wilkinson shifts, for the
// symmetric beam matrix of beam generation.
#include "optics/symmetric_eigen.h"

#include <cmath>
#include <limits>
#include <utility>

namespace vorax {

void bandr(int n, const EigenMatrix &a_in, EigenVector &d, EigenVector &e, EigenMatrix &z) {
  // Work on the lower triangle, mirrored, so that a non-symmetric input is read one way only.
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= i; ++j) {
      z(i, j) = a_in(i, j);
      z(j, i) = a_in(i, j);
    }
  for (int i = n; i >= 2; --i) {
    const int l = i - 1;
    double h = 0.0;
    if (l > 1) {
      double scale = 0.0;
      for (int k = 1; k <= l; ++k)
        scale += std::fabs(z(i, k));
      if (scale == 0.0) {
        e(i) = z(i, l);
      } else {
        for (int k = 1; k <= l; ++k) {
          z(i, k) /= scale;
          h += z(i, k) * z(i, k);
        }
        double f = z(i, l);
        double g = f >= 0.0 ? -std::sqrt(h) : std::sqrt(h);
        e(i) = scale * g;
        h -= f * g;
        z(i, l) = f - g;
        f = 0.0;
        for (int j = 1; j <= l; ++j) {
          z(j, i) = z(i, j) / h;
          g = 0.0;
          for (int k = 1; k <= j; ++k)
            g += z(j, k) * z(i, k);
          for (int k = j + 1; k <= l; ++k)
            g += z(k, j) * z(i, k);
          e(j) = g / h;
          f += e(j) * z(i, j);
        }
        const double hh = f / (h + h);
        for (int j = 1; j <= l; ++j) {
          f = z(i, j);
          g = e(j) - hh * f;
          e(j) = g;
          for (int k = 1; k <= j; ++k)
            z(j, k) -= f * e(k) + g * z(i, k);
        }
      }
    } else {
      e(i) = z(i, l);
    }
    d(i) = h;
  }
  d(1) = 0.0;
  e(1) = 0.0;
  // Accumulate the transformations.
  for (int i = 1; i <= n; ++i) {
    const int l = i - 1;
    if (d(i) != 0.0) {
      for (int j = 1; j <= l; ++j) {
        double g = 0.0;
        for (int k = 1; k <= l; ++k)
          g += z(i, k) * z(k, j);
        for (int k = 1; k <= l; ++k)
          z(k, j) -= g * z(k, i);
      }
    }
    d(i) = z(i, i);
    z(i, i) = 1.0;
    for (int j = 1; j <= l; ++j) {
      z(j, i) = 0.0;
      z(i, j) = 0.0;
    }
  }
}

int tql2(int n, EigenVector &d, EigenVector &e, EigenMatrix &z) {
  constexpr int max_iterations = 30;
  constexpr double eps = std::numeric_limits<double>::epsilon();
  for (int i = 2; i <= n; ++i)
    e(i - 1) = e(i);
  e(n) = 0.0;
  for (int l = 1; l <= n; ++l) {
    int iterations = 0;
    int m = l;
    do {
      // The first negligible subdiagonal element at or after l splits the matrix there.
      for (m = l; m <= n - 1; ++m) {
        const double dd = std::fabs(d(m)) + std::fabs(d(m + 1));
        if (std::fabs(e(m)) <= eps * dd)
          break;
      }
      if (m == l)
        break;
      if (iterations++ == max_iterations)
        return l;
      double g = (d(l + 1) - d(l)) / (2.0 * e(l));
      double r = std::hypot(g, 1.0);
      g = d(m) - d(l) + e(l) / (g + (g >= 0.0 ? r : -r));
      double s = 1.0, c = 1.0, p = 0.0;
      bool underflow = false;
      for (int i = m - 1; i >= l; --i) {
        const double f = s * e(i);
        const double b = c * e(i);
        r = std::hypot(f, g);
        e(i + 1) = r;
        if (r == 0.0) {
          // Underflow: deflate and restart the sweep.
          d(i + 1) -= p;
          e(m) = 0.0;
          underflow = true;
          break;
        }
        s = f / r;
        c = g / r;
        g = d(i + 1) - p;
        r = (d(i) - g) * s + 2.0 * c * b;
        p = s * r;
        d(i + 1) = g + p;
        g = c * r - b;
        for (int k = 1; k <= n; ++k) {
          const double t = z(k, i + 1);
          z(k, i + 1) = s * z(k, i) + c * t;
          z(k, i) = c * z(k, i) - s * t;
        }
      }
      if (underflow)
        continue;
      d(l) -= p;
      e(l) = g;
      e(m) = 0.0;
    } while (true);
  }
  // Ascending order, eigenvectors alongside (selection sort: n is at most 6).
  for (int i = 1; i < n; ++i) {
    int k = i;
    for (int j = i + 1; j <= n; ++j)
      if (d(j) < d(k))
        k = j;
    if (k != i) {
      std::swap(d(i), d(k));
      for (int r = 1; r <= n; ++r)
        std::swap(z(r, i), z(r, k));
    }
  }
  return 0;
}

} // namespace vorax
