// Symplecticity measured apart from the code under test: the defect of a matrix, of a map's
// first order, of its second order in canonical variables, and of a geometric map turned
// canonical by the exact change of variables.
#pragma once

#include "common/transfer_map.h"
#include "support/maps.h"

namespace vorax::test {

// J of the (x, x'), (y, y') and (l, delta) pairs, the last sign reversed in geometric variables
// (l is minus the coordinate conjugate to delta).
M6 skew(bool canonical);

// Largest |D^T J D - J|.
double symplectic_defect(const M6 &d, bool canonical);

// The first-order defect of a geometric map.
double symplectic_error(const TransferMap &m);

// Largest violation, to first order in z, of D(z)^T J D(z) = J for a canonical map: with
// D(z) = R + sum_n z_n B_n, every B_n^T J R + R^T J B_n must vanish.
double second_order_defect(const TransferMap &m);

// Exact conversion between geometric and canonical variables (reference velocity 1), and the
// Jacobian of a vector function by central differences.
Vec to_canonical(const Vec &g);
Vec to_geometric(const Vec &c);
M6 numeric_jacobian(Vec (*f)(const Vec &), const Vec &v);

// Symplectic defect in canonical variables of a geometric second-order map at the canonical
// point z: the Jacobian of phi o G o phi^-1 by the chain rule. For a map that is symplectic to
// second order the defect falls as |z|^2.
double canonical_defect(const TransferMap &geometric, const Vec &z);

// True when the geometric map is symplectic to second order in canonical variables: the defect
// along several directions is tiny or falls at least as the square of the amplitude.
bool symplectic_to_second_order(const TransferMap &geometric);

} // namespace vorax::test
