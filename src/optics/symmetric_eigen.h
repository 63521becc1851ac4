// Eigenvalues and eigenvectors of a small symmetric matrix: Householder reduction to
// tridiagonal form (bandr) followed by the implicit QL iteration (tql2).
#pragma once

#include "common/table.h"

namespace vorax {

inline constexpr int EIGEN_MAX = 6;
using EigenMatrix = Matrix<double, EIGEN_MAX, EIGEN_MAX>;
using EigenVector = Table<double, 1, EIGEN_MAX>;

// Reduces the symmetric n x n matrix a (n <= 6; only its lower triangle is read) to tridiagonal
// form: z receives the orthogonal transformation, d the diagonal and e the subdiagonal in
// e(2..n) (e(1) = 0).
void bandr(int n, const EigenMatrix &a, EigenVector &d, EigenVector &e, EigenMatrix &z);

// Implicit QL on the tridiagonal matrix (d, e) of bandr, accumulating into z: on success
// returns 0 with d the eigenvalues in ascending order and the columns of z the corresponding
// unit eigenvectors of the original matrix. When eigenvalue l has not converged within 30
// iterations it returns l and leaves d and z partly transformed.
int tql2(int n, EigenVector &d, EigenVector &e, EigenMatrix &z);

} // namespace vorax
