// The singular value decomposition of a dense matrix: least-squares problems whose matrix may be
// singular or nearly so (orbit correction with correctors that act alike) are solved on it.
#pragma once

#include <vector>

namespace vorax {

// a = u diag(sigma) v^T for an m x n matrix a, with r = min(m, n): u is m x r, v is n x r, both
// column-major with orthonormal columns where sigma is not 0, and sigma is descending and not
// negative. Columns of u and v that belong to a sigma of 0 are 0.
struct SingularValues {
  int rows = 0, cols = 0;
  std::vector<double> u, sigma, v;
  double u_at(int i, int k) const { return u[static_cast<std::size_t>(i + rows * k)]; }
  double v_at(int j, int k) const { return v[static_cast<std::size_t>(j + cols * k)]; }
};

// a is column-major, a[i + m * j] for 0-based i, j.
SingularValues singular_values(const double *a, int m, int n);

} // namespace vorax
