// 1-based fixed tables and column-major matrices, indexed as the formulas of the system read.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vorax {

#ifdef VORAX_CHECKED
[[noreturn]] inline void index_fault(long i, long lo, long hi) {
  std::fprintf(stderr, "vorax: index %ld outside %ld..%ld\n", i, lo, hi);
  std::abort();
}
#define VORAX_INDEX_CHECK(i, lo, hi)                                                               \
  do {                                                                                             \
    if ((i) < (lo) || (i) > (hi))                                                                  \
      ::vorax::index_fault((i), (lo), (hi));                                                       \
  } while (0)
#else
#define VORAX_INDEX_CHECK(i, lo, hi) ((void)0)
#endif

// Table<T, Lo, Hi>: elements Lo..Hi, addressed t(i).
template <class T, int Lo, int Hi> struct Table {
  static_assert(Hi >= Lo);
  std::array<T, Hi - Lo + 1> v{};

  T &operator()(int i) {
    VORAX_INDEX_CHECK(i, Lo, Hi);
    return v[static_cast<std::size_t>(i - Lo)];
  }
  const T &operator()(int i) const {
    VORAX_INDEX_CHECK(i, Lo, Hi);
    return v[static_cast<std::size_t>(i - Lo)];
  }
  T *data() { return v.data(); }
  const T *data() const { return v.data(); }
  static constexpr int lo() { return Lo; }
  static constexpr int hi() { return Hi; }
  void fill(const T &x) { v.fill(x); }
};

// Matrix<T, R, C>: column-major, rows 1..R, columns 1..C, addressed m(i, j).
template <class T, int R, int C> struct Matrix {
  std::array<T, static_cast<std::size_t>(R) * C> v{};

  T &operator()(int i, int j) {
    VORAX_INDEX_CHECK(i, 1, R);
    VORAX_INDEX_CHECK(j, 1, C);
    return v[static_cast<std::size_t>(j - 1) * R + static_cast<std::size_t>(i - 1)];
  }
  const T &operator()(int i, int j) const {
    VORAX_INDEX_CHECK(i, 1, R);
    VORAX_INDEX_CHECK(j, 1, C);
    return v[static_cast<std::size_t>(j - 1) * R + static_cast<std::size_t>(i - 1)];
  }
  T *data() { return v.data(); }
  const T *data() const { return v.data(); }
  // Start of column j: R contiguous values.
  T *column(int j) {
    VORAX_INDEX_CHECK(j, 1, C);
    return v.data() + static_cast<std::size_t>(j - 1) * R;
  }
  const T *column(int j) const {
    VORAX_INDEX_CHECK(j, 1, C);
    return v.data() + static_cast<std::size_t>(j - 1) * R;
  }
  static constexpr int rows() { return R; }
  static constexpr int cols() { return C; }
  void fill(const T &x) { v.fill(x); }
};

// Chars<N>: a fixed character field, blank-padded, as names (8), labels (14) and titles (80) are.
template <int N> struct Chars {
  std::array<char, N> c;

  Chars() { c.fill(' '); }
  Chars(std::string_view s) { assign(s); }
  void assign(std::string_view s) {
    c.fill(' ');
    std::copy_n(s.begin(), std::min<std::size_t>(s.size(), N), c.begin());
  }
  Chars &operator=(std::string_view s) {
    assign(s);
    return *this;
  }
  std::string_view view() const { return std::string_view(c.data(), N); }
  std::string str() const { return std::string(c.data(), N); }
  // The text without trailing blanks.
  std::string_view trimmed() const {
    std::size_t n = N;
    while (n > 0 && c[n - 1] == ' ')
      --n;
    return std::string_view(c.data(), n);
  }
  bool blank() const { return trimmed().empty(); }
  char &operator[](int i) { return c[static_cast<std::size_t>(i)]; }
  char operator[](int i) const { return c[static_cast<std::size_t>(i)]; }
  bool operator==(const Chars &o) const { return c == o.c; }
  bool operator==(std::string_view s) const { return *this == Chars(s); }
};

using Name8 = Chars<8>;
using Label14 = Chars<14>;

} // namespace vorax
