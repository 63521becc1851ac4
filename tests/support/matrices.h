// Small dense matrices for the test models, written apart from the program's linear algebra.
#pragma once

#include <array>
#include <cstddef>

namespace vorax::test {

template <std::size_t N> using Square = std::array<std::array<double, N>, N>;

template <std::size_t N> Square<N> unit_matrix() {
  Square<N> m{};
  for (std::size_t i = 0; i < N; ++i)
    m[i][i] = 1.0;
  return m;
}

// a b
template <std::size_t N> Square<N> multiply(const Square<N> &a, const Square<N> &b) {
  Square<N> c{};
  for (std::size_t i = 0; i < N; ++i)
    for (std::size_t j = 0; j < N; ++j)
      for (std::size_t k = 0; k < N; ++k)
        c[i][j] += a[i][k] * b[k][j];
  return c;
}

template <std::size_t N> Square<N> transpose(const Square<N> &a) {
  Square<N> t{};
  for (std::size_t i = 0; i < N; ++i)
    for (std::size_t j = 0; j < N; ++j)
      t[i][j] = a[j][i];
  return t;
}

} // namespace vorax::test
