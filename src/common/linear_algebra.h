// Small dense linear algebra used by the fits and the periodic analysis.
#pragma once

namespace vorax {

// Inverts the n x n matrix a (column-major, a[i + n*j] for 0-based i, j) in place by
// Gauss-Jordan elimination with full pivoting; det receives the determinant, 0 when a pivot
// is exactly zero (the matrix is then left partly transformed). l and m are work vectors of n.
void dminv(double *a, int n, double &det, int *l, int *m);

// Solves a x = b (a column-major n x n, destroyed) by elimination with partial pivoting;
// b receives x. ks = 1 when a pivot is not larger than tolerance in magnitude (by default:
// when it is zero), and b is then left partly transformed; else ks = 0.
void dsimq(double *a, double *b, int n, int &ks, double tolerance = 0.0);

} // namespace vorax
