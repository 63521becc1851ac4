// Periodic (one-turn) analysis of a map: stability, tunes, Twiss functions, fixed-point
// dispersion, momentum compaction and, from the second-order terms, the chromatic derivatives.
#include "common/control.h"
#include "common/format.h"
#include "common/linear_algebra.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "maps/element_maps.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vorax {

namespace {

// The fixed-point system is taken as singular when a pivot falls to 1e-10 of the largest entry
// of the transverse block (at least 1, for the unit matrix subtracted from it). The entries of
// an accumulated map carry rounding of about 1e-16 of their size per position, some 1e-12 over
// the longest machine the tables hold; a pivot within a factor 100 of that noise leaves the
// dispersion uncertain by a percent or more (a single rectangular bend gives 1e-18 and
// dispersions of 1e16). A genuine ring stays far above it: its smallest pivot is about mu beta
// or mu / beta, whichever is smaller (beta in metres), so only a tune within some 1e-11 beta
// (or 1e-11 / beta) of an integer is refused.
constexpr double SINGULAR_LIMIT = 1e-10;

void say(std::string_view text) {
  write_record(control.output_unit, text);
}

// Symmetric second-order coefficient: d/dv_j of sum_{a<=b} T(i,a,b) v_a v_b is
// sum_b tsym(i,j,b) v_b, the diagonal term counting twice.
double tsym(const TransferMap &m, int i, int j, int b) {
  if (j == b)
    return 2.0 * m.T(i, j, j);
  return j < b ? m.T(i, j, b) : m.T(i, b, j);
}

// Solves (R4 - I) x = rhs for the transverse 4x4 block of map; false when singular.
bool solve_fixed_point(const TransferMap &map, std::array<double, 4> &x) {
  std::array<double, 16> a{};
  double scale = 1.0;
  for (int j = 1; j <= 4; ++j)
    for (int i = 1; i <= 4; ++i) {
      a[static_cast<std::size_t>((i - 1) + 4 * (j - 1))] = map.R(i, j) - (i == j ? 1.0 : 0.0);
      scale = std::max(scale, std::fabs(map.R(i, j)));
    }
  int singular = 0;
  dsimq(a.data(), x.data(), 4, singular, SINGULAR_LIMIT * scale);
  return singular == 0;
}

// Eigenvalues and unit eigenvectors of a 2x2 block with |half-trace| >= 1 (real eigenvalues).
void eigen_solution(double r11, double r12, double r21, double r22, double c, Analc &out,
                    int plane) {
  const double root = std::sqrt(std::max(0.0, c * c - 1.0));
  for (int w = 1; w <= 2; ++w) {
    const double lambda = (w == 1) ? c + root : c - root;
    // (R - lambda) v = 0 from the first row, or from the second when the first vanishes; a
    // multiple of the unit matrix has every vector as eigenvector: take the coordinate axes.
    double vx = -r12, vxp = r11 - lambda;
    if (vx == 0.0 && vxp == 0.0) {
      vx = lambda - r22;
      vxp = r21;
    }
    if (vx == 0.0 && vxp == 0.0) {
      vx = (w == 1) ? 1.0 : 0.0;
      vxp = (w == 1) ? 0.0 : 1.0;
    }
    const double norm = std::hypot(vx, vxp);
    out.eigenvalue(plane, w) = lambda;
    out.eigenvector(plane)(1, w) = vx / norm;
    out.eigenvector(plane)(2, w) = vxp / norm;
  }
}

} // namespace

void periodic_analysis(const TransferMap &map, double length, bool second_order, Analc &out) {
  reset_in_place(out);
  out.coupled = (std::fabs(map.R(1, 3)) + std::fabs(map.R(1, 4)) + std::fabs(map.R(2, 3)) +
                 std::fabs(map.R(2, 4))) > 1e-4;

  // Stability and Twiss functions of each plane from its 2x2 block; these do not need the
  // dispersion, so they are found even when the fixed-point system is singular (a plane with
  // half-trace exactly 1 makes it so).
  for (int p = 1; p <= 2; ++p) {
    const int i = 2 * p - 1;
    const double r11 = map.R(i, i), r12 = map.R(i, i + 1);
    const double r21 = map.R(i + 1, i), r22 = map.R(i + 1, i + 1);
    const double c = 0.5 * (r11 + r22);
    out.cosmu(p) = c;
    if (std::fabs(c) >= 1.0) {
      out.unstable(p) = (c == 1.0) ? 2 : 1;
      eigen_solution(r11, r12, r21, r22, c, out, p);
      continue;
    }
    double s = std::sqrt(1.0 - c * c);
    if (r12 < 0.0)
      s = -s;
    double mu = std::atan2(s, c);
    if (mu < 0.0)
      mu += const_.twopi;
    out.mu(p) = mu;
    out.nu(p) = mu / const_.twopi;
    out.beta(p) = r12 / s;
    out.alpha(p) = (r11 - r22) / (2.0 * s);
  }

  // Fixed-point dispersion: (R4 - I) eta = -R(1..4, 6).
  std::array<double, 4> eta{};
  for (int i = 1; i <= 4; ++i)
    eta[static_cast<std::size_t>(i - 1)] = -map.R(i, 6);
  if (!solve_fixed_point(map, eta)) {
    say(" SINGULAR SET OF EQUATIONS SENT TO DSIMQ");
    out.singular = 1;
    return;
  }
  out.eta(1) = eta[0];
  out.etap(1) = eta[1];
  out.eta(2) = eta[2];
  out.etap(2) = eta[3];

  // Path-length change on the off-momentum closed orbit per unit momentum deviation; the
  // vertical terms matter only when the machine bends vertically.
  const double dl = eta[0] * map.R(5, 1) + eta[1] * map.R(5, 2) + eta[2] * map.R(5, 3) +
                    eta[3] * map.R(5, 4) + map.R(5, 6);
  if (length == 0.0) {
    say(" LENGTH IS ZERO: COMPACTION FACTOR CANNOT BE COMPUTED");
    out.compaction = 0.0;
  } else {
    out.compaction = dl / length;
  }

  if (!second_order)
    return;
  out.second_order = 1;

  // On the closed orbit of momentum delta, u*delta + O(delta^2) with u = (eta, 0, 1), the
  // linearised transverse map is R + delta dR with dR(i,j) = sum_b tsym(i,j,b) u_b.
  std::array<double, 7> u{0.0, eta[0], eta[1], eta[2], eta[3], 0.0, 1.0}; // 1-based
  auto dr = [&](int i, int j) {
    double v = 0.0;
    for (int b = 1; b <= 6; ++b)
      if (b != 5)
        v += tsym(map, i, j, b) * u[static_cast<std::size_t>(b)];
    return v;
  };
  // Second-order closed orbit eta2 delta^2: (R4 - I) eta2 = -sum_{a<=b} T(i,a,b) u_a u_b.
  std::array<double, 4> eta2{};
  for (int i = 1; i <= 4; ++i) {
    double v = 0.0;
    for (int a = 1; a <= 6; ++a)
      for (int b = a; b <= 6; ++b)
        v += map.T(i, a, b) * u[static_cast<std::size_t>(a)] * u[static_cast<std::size_t>(b)];
    eta2[static_cast<std::size_t>(i - 1)] = -v;
  }
  solve_fixed_point(map, eta2); // same matrix as above: not singular
  // The dispersion at momentum delta is the slope of the closed orbit, eta + 2 eta2 delta.
  out.deta(1) = 2.0 * eta2[0];
  out.detap(1) = 2.0 * eta2[1];
  out.deta(2) = 2.0 * eta2[2];
  out.detap(2) = 2.0 * eta2[3];

  for (int p = 1; p <= 2; ++p) {
    if (out.unstable(p) != 0)
      continue;
    const int i = 2 * p - 1;
    const double c = out.cosmu(p);
    const double s = std::copysign(std::sqrt(1.0 - c * c), map.R(i, i + 1) < 0.0 ? -1.0 : 1.0);
    const double d11 = dr(i, i), d12 = dr(i, i + 1), d22 = dr(i + 1, i + 1);
    // cos mu = (R11 + R22)/2, beta sin mu = R12, 2 alpha sin mu = R11 - R22, differentiated.
    const double dmu = -(d11 + d22) / (2.0 * s);
    out.dmu(p) = dmu;
    out.chrom(p) = dmu / const_.twopi;
    out.dbeta(p) = (d12 - out.beta(p) * c * dmu) / s;
    out.dalpha(p) = (0.5 * (d11 - d22) - out.alpha(p) * c * dmu) / s;
  }
}

namespace {

// Under the symplectic option the maps act on the canonical variables (x, px, y, py, -l, delta)
// with px = x'(1 + delta), py = y'(1 + delta). The analysis reports the geometric quantities
// whatever the maps use, so such a map is taken back first: geometric = phi^-1 o map o phi,
// phi: x' -> x'(1 + delta), y' -> y'(1 + delta), l -> -l. Through second order this change
// is exact (the square root of 1 + x'^2 + y'^2 in the momenta enters at third order), so the
// map comes back as the geometric one to rounding. Without the change the path length would
// flip the compaction, and the momentum factor would shift d beta/d delta by -beta and the
// second-order dispersion slope by 2 eta'.
TransferMap geometric_map(const TransferMap &canonical, int ncol) {
  TransferMap phi;
  phi.set_identity();
  phi.R(5, 5) = -1.0;
  TransferMap inverse = phi;
  phi.T(2, 2, 6) = 1.0;
  phi.T(4, 4, 6) = 1.0;
  inverse.T(2, 2, 6) = -1.0;
  inverse.T(4, 4, 6) = -1.0;
  TransferMap geometric = phi;
  compose_maps(canonical, geometric, ncol);
  compose_maps(inverse, geometric, ncol);
  return geometric;
}

} // namespace

TransferMap in_geometric_variables(const TransferMap &map, int ncol) {
  if (sym.option != 1)
    return map;
  TransferMap geometric = geometric_map(map, ncol);
  // Second-order columns not computed at this order are passed on as they stand.
  for (int c = ncol + 1; c <= 27; ++c)
    for (int i = 1; i <= 6; ++i)
      geometric(i, c) = map(i, c);
  return geometric;
}

void anal() {
  const bool second_order = mat.print_option != 1;
  periodic_analysis(in_geometric_variables(mat.amap, second_order ? 27 : 6), func.map_length,
                    second_order, analc);
}

} // namespace vorax
