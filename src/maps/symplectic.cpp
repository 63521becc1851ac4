// The symplectic option: SETS (setsym), the treatment of stored maps (symmtx) and the computation
// of a symplectic canonical map with its generating function (cmap).
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/operation_data.h"
#include "maps/element_maps.h"
#include "maps/symmap.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vorax {

namespace {

using Mat6 = Matrix<double, 6, 6>;

// Thresholds of the three checks, relative to s^2 with s = max(1, largest |R(i,j)|) of the
// given first-order part, because the rounding of R^T J R grows with the size of the entries.
// A map is reported non-symplectic above 1e-9: the builders stay near 1e-15, while a MATRIX
// element typed with eight digits is caught. The symplectic inverse must reproduce the unit
// matrix to 1e-9, which fails only when no symplectic matrix could be reached (a singular or
// grossly wrong first-order part). The linear part of the near-identity map misses the unit
// matrix by the change that made R symplectic; above 1e-6 that change alters the optics
// visibly and is reported.
constexpr double SYMPLECTIC_LIMIT = 1e-9;
constexpr double INVERSION_LIMIT = 1e-9;
constexpr double IDENTITY_LIMIT = 1e-6;
// The symplectic refinement stops at this relative error, near rounding level.
constexpr double REFINED_LIMIT = 1e-15;
constexpr int REFINE_STEPS = 30;

// (J a) and (a J) for the canonical J = diag(J2, J2, J2).
Mat6 j_times(const Mat6 &a) {
  Mat6 r;
  for (int j = 1; j <= 6; ++j)
    for (int i = 1; i <= 6; i += 2) {
      r(i, j) = a(i + 1, j);
      r(i + 1, j) = -a(i, j);
    }
  return r;
}
Mat6 times_j(const Mat6 &a) {
  Mat6 r;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; j += 2) {
      r(i, j) = -a(i, j + 1);
      r(i, j + 1) = a(i, j);
    }
  return r;
}
Mat6 product(const Mat6 &a, const Mat6 &b) {
  Mat6 r;
  for (int j = 1; j <= 6; ++j)
    for (int i = 1; i <= 6; ++i) {
      double s = 0.0;
      for (int k = 1; k <= 6; ++k)
        s += a(i, k) * b(k, j);
      r(i, j) = s;
    }
  return r;
}
Mat6 transposed(const Mat6 &a) {
  Mat6 r;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      r(i, j) = a(j, i);
  return r;
}
double largest(const Mat6 &a) {
  double m = 0.0;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      m = std::max(m, std::fabs(a(i, j)));
  return m;
}

// E = R^T J R - J.
Mat6 symplectic_defect(const Mat6 &r) {
  Mat6 e = product(transposed(r), j_times(r));
  for (int i = 1; i <= 5; i += 2) {
    e(i, i + 1) -= 1.0;
    e(i + 1, i) += 1.0;
  }
  return e;
}

// Largest |a - I|, NaN when a holds a non-finite value.
double distance_from_unit(const Mat6 &a) {
  double m = 0.0;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j) {
      const double d = std::fabs(a(i, j) - (i == j ? 1.0 : 0.0));
      if (!std::isfinite(d))
        return NAN;
      m = std::max(m, d);
    }
  return m;
}

double largest_or_nan(const Mat6 &a) {
  double m = 0.0;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j) {
      if (!std::isfinite(a(i, j)))
        return NAN;
      m = std::max(m, std::fabs(a(i, j)));
    }
  return m;
}

// Newton refinement towards the symplectic group: R <- R (I + J E / 2) solves
// X^T J + J X = -E to first order, so the error falls quadratically near a symplectic matrix.
// It stops at rounding level, when the error no longer falls, or after a fixed number of steps.
void refine(Mat6 &r, double scale2) {
  double previous = INFINITY;
  for (int step = 0; step < REFINE_STEPS; ++step) {
    const Mat6 e = symplectic_defect(r);
    const double err = largest_or_nan(e) / scale2;
    if (!(err > REFINED_LIMIT) || !(err < previous))
      return;
    previous = err;
    Mat6 x = j_times(e);
    for (int i = 1; i <= 6; ++i)
      for (int j = 1; j <= 6; ++j)
        x(i, j) = (i == j ? 1.0 : 0.0) + x(i, j) / 2;
    r = product(r, x);
  }
}

void report(const Name8 &name, const char *head, const char *tail, double error) {
  write_record(control.output_unit,
               std::string(head) + std::string(name.view()) + tail + fE(error, 15, 7));
}

// The symplectic part of a second-order map n2 (coefficients of the packed monomials, rows 1..6)
// of a near-identity map: -J n2 is projected onto the gradients of cubic polynomials. Each cubic
// monomial u^alpha reaches the coefficient of u^(alpha - e_i) in component i only, so the least-
// squares coefficient is g = sum alpha_i w_i / sum alpha_i^2 over the indices i of the monomial;
// a second-order part that is already symplectic is reproduced unchanged.
void project_gradient(const Matrix<double, 6, 21> &n2, Matrix<double, 6, 21> &gradient) {
  Matrix<double, 6, 21> w;
  for (int p = 1; p <= 21; ++p)
    for (int i = 1; i <= 5; i += 2) {
      w(i, p) = -n2(i + 1, p);
      w(i + 1, p) = n2(i, p);
    }
  gradient.fill(0.0);
  for (int a = 1; a <= 6; ++a)
    for (int b = a; b <= 6; ++b)
      for (int c = b; c <= 6; ++c) {
        const int index[3] = {a, b, c};
        int distinct[3], multiplicity[3], pair[3], n = 0;
        for (int t = 0; t < 3; ++t) {
          if (t > 0 && index[t] == index[t - 1]) {
            ++multiplicity[n - 1];
            continue;
          }
          distinct[n] = index[t];
          multiplicity[n] = 1;
          // The monomial without one factor index[t]: the other two, still sorted.
          const int u = t == 0 ? b : a, v = t == 2 ? b : c;
          pair[n] = tcol(u, v) - 6;
          ++n;
        }
        double num = 0.0, den = 0.0;
        for (int t = 0; t < n; ++t) {
          num += multiplicity[t] * w(distinct[t], pair[t]);
          den += multiplicity[t] * multiplicity[t];
        }
        const double g = num / den;
        for (int t = 0; t < n; ++t)
          gradient(distinct[t], pair[t]) = multiplicity[t] * g;
      }
}

// The numbering records each map's element; the search is left for tables numbered otherwise,
// so that building every map stays linear in the elements.
int element_of_matrix(int matnum) {
  const int n = std::min(inputt.nelm, machine_limits().mxelmd);
  if (const int e = blank.matrix_element(matnum);
      e >= 1 && e <= n && blank.matrix_number(e) == matnum)
    return e;
  for (int e = 1; e <= n; ++e)
    if (blank.matrix_number(e) == matnum)
      return e;
  return 0;
}

void treat(int matnum) {
  const int element = element_of_matrix(matnum);
  // Accelerating maps cannot be symplectic and are never treated.
  if (element == 0 || inputt.kode(element) == KODE_LCAVITY)
    return;
  TransferMap work = blank.maps(matnum);
  const int ncol = map_columns();
  cmap(work, ncol, chinp.elname(element), symmap.entry(matnum));
  for (int c = 1; c <= ncol; ++c)
    for (int i = 1; i <= 6; ++i)
      blank.maps(matnum)(i, c) = work(i, c);
}

} // namespace

void canonical_map(const TransferMap &geometric, TransferMap &canonical, int ncol) {
  TransferMap to, from;
  to.set_identity();
  to.R(5, 5) = -1.0;
  from = to;
  to.T(2, 2, 6) = 1.0;
  to.T(4, 4, 6) = 1.0;
  from.T(2, 2, 6) = -1.0;
  from.T(4, 4, 6) = -1.0;
  canonical = from;
  compose_maps(geometric, canonical, ncol);
  compose_maps(to, canonical, ncol);
}

// The map is converted to canonical variables; its first-order part R is refined to a
// symplectic matrix L; the near-identity map N = L^-1 o M is given the cubic generating function
// whose gradient best fits its second-order part; the record becomes L o N. At map order 1 only
// the first-order part is treated, and the second-order entries and the generating function
// keep the values of their last treatment at order 2.
void cmap(TransferMap &map, int ncol, const Name8 &name, SymmapEntry &entry) {
  TransferMap canonical;
  canonical_map(map, canonical, ncol);
  Mat6 r;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      r(i, j) = canonical.R(i, j);
  const double scale = std::max(1.0, largest(r));
  const double scale2 = scale * scale;

  const double e1 = largest_or_nan(symplectic_defect(r)) / scale2;
  if (!(e1 <= SYMPLECTIC_LIMIT))
    report(name, " ***BMAT for element : ", "  FAILS TO BE SYMPLECTIC, ERROR =", e1);

  Mat6 linear = r;
  refine(linear, scale2);
  // L^-1 = -J L^T J, exact for a symplectic L.
  Mat6 inverse = times_j(j_times(transposed(linear)));
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      inverse(i, j) = -inverse(i, j);
  const double e2 = distance_from_unit(product(inverse, linear)) / scale2;
  if (!(e2 <= INVERSION_LIMIT)) {
    report(name, " ***BMAT for element : ", " FAILS inversion , ERROR =", e2);
    // No symplectic map can be formed: the record keeps the map, in the canonical variables of
    // the other records, and tracking applies it as it is.
    entry.valid = 0;
    for (int c = 1; c <= ncol; ++c)
      for (int i = 1; i <= 6; ++i)
        map(i, c) = canonical(i, c);
    return;
  }
  const double e3 = distance_from_unit(product(inverse, r)) / scale2;
  if (!(e3 <= IDENTITY_LIMIT))
    report(name, " *** for element : ", " linear part of cmat misses identity, ERROR =", e3);

  entry.linear = linear;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      map.R(i, j) = linear(i, j);
  if (ncol <= 6)
    return;

  Matrix<double, 6, 21> n2, symplectic;
  for (int p = 1; p <= 21; ++p)
    for (int i = 1; i <= 6; ++i) {
      double s = 0.0;
      for (int l = 1; l <= 6; ++l)
        s += inverse(i, l) * canonical(l, p + 6);
      n2(i, p) = s;
    }
  project_gradient(n2, entry.gradient);
  // N = z + J grad G to second order; the record's second-order part is L times it.
  for (int p = 1; p <= 21; ++p)
    for (int i = 1; i <= 5; i += 2) {
      symplectic(i, p) = entry.gradient(i + 1, p);
      symplectic(i + 1, p) = -entry.gradient(i, p);
    }
  for (int p = 1; p <= 21; ++p)
    for (int i = 1; i <= 6; ++i) {
      double s = 0.0;
      for (int l = 1; l <= 6; ++l)
        s += linear(i, l) * symplectic(l, p);
      map(i, p + 6) = s;
    }
  entry.valid = 1;
}

void symmtx(int matnum) {
  if (matnum >= 1) {
    if (matnum <= machine_limits().maxmat)
      treat(matnum);
    return;
  }
  const int count = std::min(sym.matrix_count, machine_limits().maxmat);
  for (int m = 1; m <= count; ++m)
    treat(m);
}

void set_symplectic_option(int mode, double energy) {
  sym.mode = mode;
  sym.mode_flag = (mode == 0 || mode == 2 || mode == 4) ? 1 : 0;
  sym.energy = energy;
  sym.gamma = const_.emass != 0.0 ? energy / const_.emass : 0.0;
  for (int k = 1; k <= 4; ++k)
    sym.scale(k) = 1.0;
  if (sym.option == 0)
    symmtx(0);
  sym.option = 1;
}

void setsym(int, int &end_flag) {
  std::string name;
  int width = 0, count = 2;
  input(name, width, cintak.values.data(), NINPUT, end_flag, count, 1);
  const double mode = cintak.values(1);
  // The mode is a small whole number; anything beyond the range of int is no valid mode.
  const int whole = std::fabs(mode) < 1e9 ? static_cast<int>(std::lround(mode)) : -1;
  set_symplectic_option(whole, cintak.values(2));
}

} // namespace vorax
