// Gauss-Jordan inversion with full pivoting (dminv) and Gaussian elimination with partial
// pivoting (dsimq). Both keep the classic packed column-major addressing so that their
// rounding, and with it every fitted value, is the same from run to run.
#include "common/linear_algebra.h"

#include <cmath>

namespace vorax {

void dminv(double *a_, int n, double &det, int *l_, int *m_) {
  // 1-based views: A(ij) is a_[ij - 1], L(k) is l_[k - 1].
  auto A = [a_](int ij) -> double & { return a_[ij - 1]; };
  auto L = [l_](int k) -> int & { return l_[k - 1]; };
  auto M = [m_](int k) -> int & { return m_[k - 1]; };

  det = 1.0;
  int nk = -n;
  for (int k = 1; k <= n; ++k) {
    nk += n;
    L(k) = k;
    M(k) = k;
    const int kk = nk + k;
    double biga = A(kk);
    // Largest element of the remaining submatrix.
    for (int j = k; j <= n; ++j) {
      const int iz = n * (j - 1);
      for (int i = k; i <= n; ++i) {
        const int ij = iz + i;
        if (std::fabs(biga) < std::fabs(A(ij))) {
          biga = A(ij);
          L(k) = i;
          M(k) = j;
        }
      }
    }
    // Interchange rows.
    int j = L(k);
    if (j > k) {
      int ki = k - n;
      for (int i = 1; i <= n; ++i) {
        ki += n;
        const double hold = -A(ki);
        const int ji = ki - k + j;
        A(ki) = A(ji);
        A(ji) = hold;
      }
    }
    // Interchange columns.
    int i = M(k);
    if (i > k) {
      const int jp = n * (i - 1);
      for (int jj = 1; jj <= n; ++jj) {
        const int jk = nk + jj;
        const int ji = jp + jj;
        const double hold = -A(jk);
        A(jk) = A(ji);
        A(ji) = hold;
      }
    }
    if (biga == 0.0) {
      det = 0.0;
      return;
    }
    // Divide the pivot column by minus the pivot.
    for (int ii = 1; ii <= n; ++ii)
      if (ii != k)
        A(nk + ii) = A(nk + ii) / (-biga);
    // Reduce the matrix.
    for (int ii = 1; ii <= n; ++ii) {
      const double hold = A(nk + ii);
      int ij = ii - n;
      for (int jj = 1; jj <= n; ++jj) {
        ij += n;
        if (ii != k && jj != k) {
          const int kj = ij - ii + k;
          A(ij) = hold * A(kj) + A(ij);
        }
      }
    }
    // Divide the pivot row by the pivot.
    int kj = k - n;
    for (int jj = 1; jj <= n; ++jj) {
      kj += n;
      if (jj != k)
        A(kj) = A(kj) / biga;
    }
    det = det * biga;
    A(kk) = 1.0 / biga;
  }
  // Undo the interchanges, last pivot first.
  for (int k = n - 1; k >= 1; --k) {
    const int i = L(k);
    if (i > k) {
      const int jq = n * (k - 1);
      const int jr = n * (i - 1);
      for (int j = 1; j <= n; ++j) {
        const int jk = jq + j;
        const int ji = jr + j;
        const double hold = A(jk);
        A(jk) = -A(ji);
        A(ji) = hold;
      }
    }
    const int j = M(k);
    if (j > k) {
      int ki = k - n;
      for (int ii = 1; ii <= n; ++ii) {
        ki += n;
        const double hold = A(ki);
        const int ji = ki - k + j;
        A(ki) = -A(ji);
        A(ji) = hold;
      }
    }
  }
}

void dsimq(double *a_, double *b_, int n, int &ks, double tolerance) {
  auto A = [a_](int ij) -> double & { return a_[ij - 1]; };
  auto B = [b_](int i) -> double & { return b_[i - 1]; };
  const double tol = tolerance;
  ks = 0;
  int jj = -n;
  for (int j = 1; j <= n; ++j) {
    const int jy = j + 1;
    jj += n + 1;
    double biga = 0.0;
    int imax = j;
    int it = jj - j;
    // Largest pivot in column j.
    for (int i = j; i <= n; ++i) {
      const int ij = it + i;
      if (std::fabs(biga) < std::fabs(A(ij))) {
        biga = A(ij);
        imax = i;
      }
    }
    if (std::fabs(biga) <= tol) {
      ks = 1;
      return;
    }
    // Interchange rows and divide the leading equation by the pivot.
    int i1 = j + n * (j - 2);
    it = imax - j;
    for (int k = j; k <= n; ++k) {
      i1 += n;
      const int i2 = i1 + it;
      const double save = A(i1);
      A(i1) = A(i2);
      A(i2) = save;
      A(i1) = A(i1) / biga;
    }
    const double save = B(imax);
    B(imax) = B(j);
    B(j) = save / biga;
    if (j == n)
      break;
    // Eliminate the next variable.
    const int iqs = n * (j - 1);
    for (int ix = jy; ix <= n; ++ix) {
      const int ixj = iqs + ix;
      const int itx = j - ix;
      for (int jx = jy; jx <= n; ++jx) {
        const int ixjx = n * (jx - 1) + ix;
        const int jjx = ixjx + itx;
        A(ixjx) = A(ixjx) - (A(ixj) * A(jjx));
      }
      B(ix) = B(ix) - (B(j) * A(ixj));
    }
  }
  // Back substitution.
  const int ny = n - 1;
  const int itn = n * n;
  for (int j = 1; j <= ny; ++j) {
    int ia = itn - j;
    const int ib = n - j;
    int ic = n;
    for (int k = 1; k <= j; ++k) {
      B(ib) = B(ib) - A(ia) * B(ic);
      ia -= n;
      --ic;
    }
  }
}

} // namespace vorax
