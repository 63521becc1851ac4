// Least squares with a singular-value cut, and the best-corrector choice by Gram-Schmidt on the
// response columns.
#include "errors/correction_solvers.h"

#include <cmath>
#include <map>

namespace vorax {

namespace {

// A response column whose part outside the chosen ones is below this fraction of its length is
// taken as made of them: choosing it would only move the others.
constexpr double DEPENDENT = 1e-10;

double dot(const double *p, const double *q, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i)
    s += p[i] * q[i];
  return s;
}

// p -= (q . p) q for a unit vector q.
void remove_along(double *p, const double *q, int n) {
  const double c = dot(q, p, n);
  for (int i = 0; i < n; ++i)
    p[i] -= c * q[i];
}

} // namespace

LeastSquares::LeastSquares(const Response &r, double cut, const std::vector<int> &columns)
    : m_(r.m), n_(r.n), used_(columns) {
  const int n = static_cast<int>(used_.size());
  if (r.m == 0 || n == 0)
    return;
  std::vector<double> a(static_cast<std::size_t>(r.m) * n);
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < r.m; ++i)
      a[static_cast<std::size_t>(i + r.m * k)] = r.at(i, used_[static_cast<std::size_t>(k)]);
  s_ = singular_values(a.data(), r.m, n);
  const double largest = s_.sigma.empty() ? 0.0 : s_.sigma.front();
  while (kept_ < static_cast<int>(s_.sigma.size())) {
    const double sigma = s_.sigma[static_cast<std::size_t>(kept_)];
    if (sigma == 0.0 || sigma < cut * largest)
      break;
    ++kept_;
  }
}

std::vector<double> LeastSquares::changes(const std::vector<double> &b) const {
  std::vector<double> x(static_cast<std::size_t>(n_), 0.0);
  const int n = static_cast<int>(used_.size());
  for (int k = 0; k < kept_; ++k) {
    double ub = 0.0;
    for (int i = 0; i < m_; ++i)
      ub += s_.u_at(i, k) * b[static_cast<std::size_t>(i)];
    const double c = -ub / s_.sigma[static_cast<std::size_t>(k)];
    for (int j = 0; j < n; ++j)
      x[static_cast<std::size_t>(used_[static_cast<std::size_t>(j)])] += c * s_.v_at(j, k);
  }
  return x;
}

std::vector<int> best_correctors(const Response &r, const std::vector<double> &b,
                                 const std::vector<int> &group, int quota) {
  const int m = r.m;
  std::vector<double> w = r.a; // the columns less their parts along the chosen ones
  std::vector<double> rest = b;
  std::vector<double> length(static_cast<std::size_t>(r.n));
  for (int j = 0; j < r.n; ++j)
    length[static_cast<std::size_t>(j)] = std::sqrt(dot(&r.a[m * j], &r.a[m * j], m));
  std::vector<std::vector<double>> basis;
  std::vector<bool> chosen(static_cast<std::size_t>(r.n), false);
  std::map<int, int> taken;
  std::vector<int> order;
  for (;;) {
    int best = -1;
    double best_gain = 0.0;
    for (int j = 0; j < r.n; ++j) {
      if (chosen[static_cast<std::size_t>(j)] || taken[group[static_cast<std::size_t>(j)]] >= quota)
        continue;
      const double *wj = &w[static_cast<std::size_t>(m * j)];
      const double norm2 = dot(wj, wj, m);
      const double floor = DEPENDENT * length[static_cast<std::size_t>(j)];
      if (norm2 == 0.0 || norm2 <= floor * floor)
        continue;
      const double along = dot(wj, rest.data(), m);
      // What the column removes from the squared rest.
      const double gain = along * along / norm2;
      if (gain > best_gain) {
        best_gain = gain;
        best = j;
      }
    }
    if (best < 0)
      break;
    std::vector<double> q(w.begin() + m * best, w.begin() + m * (best + 1));
    // Once more against the basis: the differences of nearly equal columns lose orthogonality.
    for (const std::vector<double> &p : basis)
      remove_along(q.data(), p.data(), m);
    const double norm = std::sqrt(dot(q.data(), q.data(), m));
    for (double &c : q)
      c /= norm;
    remove_along(rest.data(), q.data(), m);
    for (int j = 0; j < r.n; ++j)
      if (!chosen[static_cast<std::size_t>(j)])
        remove_along(&w[static_cast<std::size_t>(m * j)], q.data(), m);
    chosen[static_cast<std::size_t>(best)] = true;
    ++taken[group[static_cast<std::size_t>(best)]];
    order.push_back(best);
    basis.push_back(std::move(q));
  }
  return order;
}

} // namespace vorax
