// The two ways closed-orbit correction finds corrector changes from the orbit's response: least
// squares over all correctors with a cut on the singular values, and the best correctors chosen
// one at a time.
#pragma once

#include "common/singular_values.h"

#include <vector>

namespace vorax {

// The response of m readings to n correctors, column-major: a[i + m * j] is the change of
// reading i per unit change of corrector j.
struct Response {
  int m = 0, n = 0;
  std::vector<double> a;
  double at(int i, int j) const { return a[static_cast<std::size_t>(i + m * j)]; }
};

// The changes x of the correctors that minimise |b + a x| (b the readings), with the singular
// values below cut times the largest left out, so that correctors acting alike share their work
// instead of fighting with huge opposite values. columns: the correctors that may change; the
// others keep x = 0. The decomposition is made once for the readings of every iteration.
class LeastSquares {
public:
  LeastSquares(const Response &r, double cut, const std::vector<int> &columns);
  int kept() const { return kept_; } // singular values kept
  std::vector<double> changes(const std::vector<double> &b) const;

private:
  int m_ = 0, n_ = 0, kept_ = 0;
  std::vector<int> used_;
  SingularValues s_;
};

// The best correctors for the readings b: one at a time, the corrector whose response, made
// orthogonal to those chosen before, removes the most of what is left of b; group[j] says which
// group (plane) corrector j belongs to, and at most quota correctors are chosen from each group.
// A corrector whose response adds nothing new (no part of it outside those chosen, to a relative
// 1e-10) is never chosen. The correctors in the order chosen.
std::vector<int> best_correctors(const Response &r, const std::vector<double> &b,
                                 const std::vector<int> &group, int quota);

} // namespace vorax
