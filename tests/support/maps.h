// Transfer maps in the tests: engine tables set up for one element or several, maps applied to
// phase-space vectors and composed to second order apart from the program's composition, and
// maps compared entry by entry.
#pragma once

#include "common/transfer_map.h"
#include "support/element_tables.h"
#include "support/matrices.h"

#include <array>
#include <string>
#include <vector>

namespace vorax::test {

using Vec = std::array<double, 7>; // 1-based phase-space vector, entry 0 unused
using M6 = Square<7>;              // 1-based 6 x 6 matrix, row and column 0 unused

// Fresh areas, units in memory, no elements.
void start();

// Element 1 of the given kind with the given slots (element 2 follows it, empty), map order 2,
// unit convention units; its record is matrix number 1.
void one_element(int kode, const std::vector<double> &slots, int units = 0);

// The record of matrix number 1.
const TransferMap &record();

// v'(i) = sum R(i,j) v(j) + sum_{j<=k} T(i,j,k) v(j) v(k).
Vec act(const TransferMap &m, const Vec &v);

// Jacobian of the second-order map at v, and its first-order part alone.
M6 jacobian(const TransferMap &m, const Vec &v);
M6 first_order(const TransferMap &m);

// second o first, to second order.
TransferMap compose(const TransferMap &first, const TransferMap &second);

double largest_difference(const TransferMap &a, const TransferMap &b);

// Entries agree within tol relative to the largest entry of the same row (R and T apart).
void expect_maps_near(const TransferMap &got, const TransferMap &want, double tol_r, double tol_t,
                      const std::string &what);

} // namespace vorax::test
