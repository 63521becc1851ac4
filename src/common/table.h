// 1-based tables and column-major matrices, indexed as the formulas of the system read: of fixed
// size, or sized by the run's machine limits.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

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

namespace detail {

// Whether a freshly built T is all zero bytes, so that a table of T can start as zeroed memory
// that the system hands out without touching it (pages of a large table become resident only when
// written, as those of a fixed table in the program image do).
template <class T> bool starts_as_zero_bytes() {
  if constexpr (!std::is_trivially_copyable_v<T> || !std::is_trivially_destructible_v<T> ||
                alignof(T) > alignof(std::max_align_t)) {
    return false;
  } else {
    static const bool zero = [] {
      alignas(T) unsigned char bytes[sizeof(T)] = {};
      ::new (static_cast<void *>(bytes)) T();
      return std::all_of(bytes, bytes + sizeof(T), [](unsigned char b) { return b == 0; });
    }();
    return zero;
  }
}

// Storage of n freshly built T, released by its deleter.
template <class T> struct TableStorage {
  struct Release {
    bool zeroed = false;
    void operator()(T *p) const {
      if (zeroed)
        std::free(p);
      else
        delete[] p;
    }
  };
  using Pointer = std::unique_ptr<T[], Release>;

  static Pointer make(int n, bool zero_bytes = false) {
    const std::size_t count = static_cast<std::size_t>(n > 0 ? n : 0) + 1;
    if (zero_bytes || starts_as_zero_bytes<T>()) {
      void *p = std::calloc(count, sizeof(T));
      if (p == nullptr)
        throw std::bad_alloc();
      return Pointer(static_cast<T *>(p), Release{true});
    }
    return Pointer(new T[count](), Release{false});
  }
};

} // namespace detail

// MachineTable<T>: elements 1..hi, addressed t(i) as Table is, for the tables that grow with the
// machine. hi is a limit of the run (common/limits.h), given when the area holding the table is
// built, so that an area reset in place comes back at the run's size.
// A table whose entries are never read before they are written may start as zero bytes whatever
// the defaults of its entry type: its untouched entries then cost no memory.
struct WrittenBeforeRead {};

template <class T> class MachineTable {
public:
  explicit MachineTable(int hi) : v_(detail::TableStorage<T>::make(hi)), hi_(hi) {}
  MachineTable(int hi, WrittenBeforeRead) : v_(detail::TableStorage<T>::make(hi, true)), hi_(hi) {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  }
  MachineTable(const MachineTable &o) : MachineTable(o.hi_) { std::copy_n(o.data(), hi_, data()); }
  MachineTable &operator=(const MachineTable &o) {
    if (this != &o) {
      if (hi_ != o.hi_) {
        v_ = detail::TableStorage<T>::make(o.hi_);
        hi_ = o.hi_;
      }
      std::copy_n(o.data(), hi_, data());
    }
    return *this;
  }
  MachineTable(MachineTable &&) noexcept = default;
  MachineTable &operator=(MachineTable &&) noexcept = default;

  T &operator()(int i) {
    VORAX_INDEX_CHECK(i, 1, hi_);
    return v_[static_cast<std::size_t>(i - 1)];
  }
  const T &operator()(int i) const {
    VORAX_INDEX_CHECK(i, 1, hi_);
    return v_[static_cast<std::size_t>(i - 1)];
  }
  T *data() { return v_.get(); }
  const T *data() const { return v_.get(); }
  static constexpr int lo() { return 1; }
  int hi() const { return hi_; }
  void fill(const T &x) { std::fill_n(data(), hi_, x); }

private:
  typename detail::TableStorage<T>::Pointer v_;
  int hi_;
};

// MachineMatrix<T, R>: column-major, rows 1..R, columns 1..C with C a limit of the run,
// addressed m(i, j) as Matrix is.
template <class T, int R> class MachineMatrix {
public:
  explicit MachineMatrix(int columns) : v_(columns * R), cols_(columns) { static_assert(R >= 1); }

  T &operator()(int i, int j) {
    VORAX_INDEX_CHECK(i, 1, R);
    VORAX_INDEX_CHECK(j, 1, cols_);
    return v_(static_cast<int>((j - 1) * R + i));
  }
  const T &operator()(int i, int j) const {
    VORAX_INDEX_CHECK(i, 1, R);
    VORAX_INDEX_CHECK(j, 1, cols_);
    return v_(static_cast<int>((j - 1) * R + i));
  }
  static constexpr int rows() { return R; }
  int cols() const { return cols_; }
  void fill(const T &x) { v_.fill(x); }

private:
  MachineTable<T> v_;
  int cols_;
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
