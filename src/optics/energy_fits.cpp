// The results of MOVE against the momentum deviation: polynomial fits (lsq), printer plots of
// the tunes and betas (ploten), and the study of the separatrices of unstable planes (res).
#include "optics/energy_scan.h"

#include "common/control.h"
#include "common/format.h"
#include "common/linear_algebra.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "optics/matrix_operation.h"
#include "output/printer_plot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace vorax {

namespace {

void say(const std::string &text) {
  write_record(control.output_unit, text);
}

// Quantity q (1..8: NUX, NUY, BETAX, BETAY, XCO, YCO, XPCO, YPCO) at energy e, and whether it
// is defined there (a tune or beta only in a stable plane).
double quantity(int q, int e, bool &defined) {
  defined = cmove.alive(e) != 0;
  switch (q) {
  case 1:
  case 2:
    defined = defined && cmove.stable(e, q) != 0;
    return cmove.nu(e, q);
  case 3:
  case 4:
    defined = defined && cmove.stable(e, q - 2) != 0;
    return cmove.beta(e, q - 2);
  case 5:
    return cmove.orbit(e, 1);
  case 6:
    return cmove.orbit(e, 3);
  case 7:
    return cmove.orbit(e, 2);
  default:
    return cmove.orbit(e, 4);
  }
}

// Least-squares polynomial of nc coefficients through the defined values of quantity q. The
// deviations are scaled by the largest of them so that the normal equations stay well scaled;
// the coefficients are given back in powers of the deviation itself.
void fit_quantity(int q, int nc) {
  double scale = 0.0;
  for (int e = 1; e <= cmove.ne; ++e)
    scale = std::max(scale, std::fabs(cmove.delta(e)));
  if (scale == 0.0)
    scale = 1.0;
  double a[MAX_COEFFICIENTS * MAX_COEFFICIENTS] = {};
  double b[MAX_COEFFICIENTS] = {};
  int points = 0;
  for (int e = 1; e <= cmove.ne; ++e) {
    bool defined = false;
    const double y = quantity(q, e, defined);
    if (!defined)
      continue;
    ++points;
    const double u = cmove.delta(e) / scale;
    double pi = 1.0;
    for (int i = 0; i < nc; ++i, pi *= u) {
      b[i] += pi * y;
      double pj = 1.0;
      for (int j = 0; j < nc; ++j, pj *= u)
        a[i + nc * j] += pi * pj;
    }
  }
  for (int i = 1; i <= nc; ++i)
    clsq.coefficient(i, q) = 0.0;
  clsq.max_error(q) = 0.0;
  // Too few points (a plane unstable at some deviations) leave the fit of this quantity at 0.
  if (points < nc)
    return;
  double det = 0.0;
  int l[MAX_COEFFICIENTS], m[MAX_COEFFICIENTS];
  dminv(a, nc, det, l, m);
  if (det == 0.0)
    return;
  double c[MAX_COEFFICIENTS];
  for (int i = 0; i < nc; ++i) {
    c[i] = 0.0;
    for (int j = 0; j < nc; ++j)
      c[i] += a[i + nc * j] * b[j];
  }
  for (int e = 1; e <= cmove.ne; ++e) {
    bool defined = false;
    const double y = quantity(q, e, defined);
    if (!defined)
      continue;
    const double u = cmove.delta(e) / scale;
    double f = 0.0;
    for (int i = nc - 1; i >= 0; --i)
      f = f * u + c[i];
    clsq.max_error(q) = std::max(clsq.max_error(q), std::fabs(f - y));
  }
  double power = 1.0;
  for (int i = 1; i <= nc; ++i, power *= scale)
    clsq.coefficient(i, q) = c[i - 1] / power;
}

void print_block(int first, const char *const heads[4]) {
  say("         EXPANSION COEFFICIENTS FOR ");
  std::string head = "      ";
  for (int k = 0; k < 4; ++k) {
    std::string h = heads[k];
    h.resize(15, ' ');
    head += "     " + h.substr(0, 10);
  }
  say(head);
  for (int i = 1; i <= clsq.count; ++i) {
    std::string line = " " + fI(i, 5);
    for (int q = first; q < first + 4; ++q)
      line += fE(clsq.coefficient(i, q), 15, 7);
    say(line);
  }
  std::string errors = " MAXIMUM ABSOLUTE ERRORS ";
  for (int q = first; q < first + 4; ++q)
    errors += fE(clsq.max_error(q), 15, 7);
  say(errors);
}

// Limits of an axis: the given pair unless both are 0, else the range of the values with a
// margin (a flat range is opened by one unit of its size, or by 1).
void axis_limits(double given_top, double given_bottom, const double *values, const int *mask,
                 int n, double &top, double &bottom) {
  if (given_top != 0.0 || given_bottom != 0.0) {
    top = given_top;
    bottom = given_bottom;
    return;
  }
  bool any = false;
  double hi = 0.0, lo = 0.0;
  for (int k = 0; k < n; ++k)
    if (mask[k] != 0) {
      hi = any ? std::max(hi, values[k]) : values[k];
      lo = any ? std::min(lo, values[k]) : values[k];
      any = true;
    }
  double pad = 0.05 * (hi - lo);
  if (pad == 0.0)
    pad = hi != 0.0 ? 0.05 * std::fabs(hi) : 1.0;
  top = hi + pad;
  bottom = lo - pad;
}

} // namespace

void lsq() {
  const int nc = cmove.coefficients;
  int kept = 0;
  for (int e = 1; e <= cmove.ne; ++e)
    kept += cmove.alive(e) != 0 ? 1 : 0;
  clsq.count = 0;
  if (nc < 1 || nc > cmove.ne || kept < nc) {
    say("   LEAST SQUARE FIT NOT DONE,LESS THAN FIVE PTS");
    return;
  }
  clsq.count = nc;
  for (int q = 1; q <= 8; ++q)
    fit_quantity(q, nc);
  say("   THE REFERENCE ENERGY IS : " + fE(condef.dpp_ref, 15, 7));
  const char *const optics[4] = {"NUX", "NUY", "BETAX", "BETAY"};
  const char *const orbits[4] = {"XCO ", "YCO ", "XPCO ", "YPCO "};
  print_block(1, optics);
  print_block(5, orbits);
}

// The tunes and the betas against the momentum deviation: with option 1 equal to 1 both planes
// share one frame (X marks the horizontal, Y the vertical plane), else each quantity has its
// own. Option 2, when 1..51, is the number of lines of each frame.
void ploten() {
  const int n = cmove.ne;
  std::array<double, MAX_ENERGIES> x{};
  std::array<std::array<double, MAX_ENERGIES>, 4> y{};
  std::array<std::array<int, MAX_ENERGIES>, 4> mask{};
  for (int e = 1; e <= n; ++e) {
    x[static_cast<std::size_t>(e - 1)] = cmove.delta(e);
    for (int q = 1; q <= 4; ++q) {
      bool defined = false;
      y[static_cast<std::size_t>(q - 1)][static_cast<std::size_t>(e - 1)] = quantity(q, e, defined);
      mask[static_cast<std::size_t>(q - 1)][static_cast<std::size_t>(e - 1)] = defined ? 1 : 0;
    }
  }
  double left = 0.0, right = 0.0;
  {
    const int all[MAX_ENERGIES] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    axis_limits(0.0, 0.0, x.data(), all, n, right, left);
  }
  const int lines =
      cmove.plot_option2 >= 1 && cmove.plot_option2 <= PLOT_LINES ? cmove.plot_option2 : PLOT_LINES;
  const bool together = cmove.plot_option1 == 1;
  const char *titles[4] = {"NUX VERSUS DP/P", "NUY VERSUS DP/P", "BETAX VERSUS DP/P",
                           "BETAY VERSUS DP/P"};
  PlotGrid grid;
  for (int kind = 0; kind < 2; ++kind) {
    // kind 0 the tunes (limits 1, 2), kind 1 the betas (limits 3, 4)
    const int qx = 2 * kind, qy = qx + 1;
    double both[2 * MAX_ENERGIES];
    int both_mask[2 * MAX_ENERGIES];
    for (int k = 0; k < n; ++k) {
      both[k] = y[static_cast<std::size_t>(qx)][static_cast<std::size_t>(k)];
      both[n + k] = y[static_cast<std::size_t>(qy)][static_cast<std::size_t>(k)];
      both_mask[k] = mask[static_cast<std::size_t>(qx)][static_cast<std::size_t>(k)];
      both_mask[n + k] = mask[static_cast<std::size_t>(qy)][static_cast<std::size_t>(k)];
    }
    for (int q = qx; q <= qy; ++q) {
      const std::size_t uq = static_cast<std::size_t>(q);
      double top = 0.0, bottom = 0.0;
      if (together)
        axis_limits(cmove.plot_limits(2 * kind + 1), cmove.plot_limits(2 * kind + 2), both,
                    both_mask, 2 * n, top, bottom);
      else
        axis_limits(cmove.plot_limits(2 * kind + 1), cmove.plot_limits(2 * kind + 2), y[uq].data(),
                    mask[uq].data(), n, top, bottom);
      const bool first = !together || q == qx;
      const bool last = !together || q == qy;
      const int symbol = q == qx ? 33 : 34; // X, Y
      const std::string title =
          together ? (kind == 0 ? "TUNES VERSUS DP/P" : "BETAS VERSUS DP/P") : titles[q];
      plot(std::span<const double>(x.data(), static_cast<std::size_t>(n)),
           std::span<const double>(y[uq].data(), static_cast<std::size_t>(n)), n, right, left, top,
           bottom, last ? 1 : 0, first ? 0 : 1, symbol, PLOT_COLUMNS, lines, title, grid,
           std::span<const int>(mask[uq].data(), static_cast<std::size_t>(n)));
    }
  }
}

// The resonance study of an unstable plane (the horizontal one first when both are). The fixed
// points of the map of `order` turns are sought by tracking, from starting points around the
// closed orbit at the first pentagon amplitude d: along the growing eigenvector of the
// one-turn block on either side (order 2), or a third of a turn apart in the plane of the two
// eigenvectors (order 3). A point the search cannot settle (a particle lost, no convergence) is
// left at its start and said so. The separatrices through the first fixed point leave it along
// the eigenvectors of its own `order`-turn matrix: the point pairs at d/100 on either side
// along each start their tracing. The stable area they enclose is taken between the
// separatrix tangents: for order 2 the parallelogram with the two fixed points at opposite
// corners and sides along the two eigenvectors, for order 3 the triangle of the three fixed
// points. A linear machine has the closed orbit as its only fixed point, and the area is 0.
void res() {
  for (int e = 1; e <= cmove.ne; ++e) {
    if (cmove.alive(e) == 0)
      continue;
    int plane = 0;
    for (int p = 2; p >= 1; --p)
      if (cmove.stable(e, p) == 0)
        plane = p;
    if (plane == 0) {
      say(" *** ANALYSIS FOR ENERGY " + fE(cmove.delta(e), 15, 7) + " NOT DONE :");
      say(" MOVEMENT IS STABLE ");
      continue;
    }
    const int i = 2 * plane - 1;
    const int count = cmove.order == 2 ? 2 : 3;
    Analc eigen;
    block_eigen_solution(cmove.m(e), plane, eigen);
    const int grow =
        std::fabs(eigen.eigenvalue(plane, 1)) >= std::fabs(eigen.eigenvalue(plane, 2)) ? 1 : 2;
    const double d = cmove.first_amplitude;
    double fx[3], fp[3];
    Matrix<double, 4, 4> first_map;
    for (int k = 0; k < count; ++k) {
      const double t = const_.twopi * k / count;
      double z[4];
      for (int c = 0; c < 4; ++c)
        z[c] = cmove.orbit(e, c + 1);
      for (int c = 0; c < 2; ++c)
        z[i - 1 + c] += d * (std::cos(t) * eigen.eigenvector(plane)(c + 1, grow) +
                             std::sin(t) * eigen.eigenvector(plane)(c + 1, 3 - grow));
      const double start_x = z[i - 1], start_p = z[i];
      Matrix<double, 4, 4> m;
      const bool found = fixed_point(e, count, z, m);
      fx[k] = found ? z[i - 1] : start_x;
      fp[k] = found ? z[i] : start_p;
      if (!found)
        say(" FIXED POINT" + fI(k + 1, 2) + " NOT FOUND BY TRACKING: ITS STARTING POINT IS USED");
      if (k == 0)
        first_map = found ? m : cmove.m(e);
    }
    if (count == 2) {
      say("ORDER TWO RESONANCE STUDY : C.O. ASSUMED  CENTERED BETWEEN BOTH UNSTABLE ORBITS");
      say("   X1 = " + fE(fx[0], 15, 7) + "   XP1 = " + fE(fp[0], 15, 7));
      say("   X2 = " + fE(fx[1], 15, 7) + "   XP2 = " + fE(fp[1], 15, 7));
      say(" STABLE ORBIT IS : ");
      say("   X0 = " + fE(0.5 * (fx[0] + fx[1]), 15, 7) +
          "   XP0 = " + fE(0.5 * (fp[0] + fp[1]), 15, 7));
    } else {
      say(" ORDER THREE RESONANCE STUDY ");
      for (int k = 0; k < 3; ++k)
        say("    X" + std::to_string(k + 1) + " = " + fE(fx[k], 15, 7) + "    XP" +
            std::to_string(k + 1) + " = " + fE(fp[k], 15, 7));
    }
    // The separatrix directions at the first fixed point.
    Analc at_point;
    block_eigen_solution(first_map, plane, at_point);
    const double ux = at_point.eigenvector(plane)(1, 1), up = at_point.eigenvector(plane)(2, 1);
    const double wx = at_point.eigenvector(plane)(1, 2), wp = at_point.eigenvector(plane)(2, 2);
    say("  THE COORDINATES OF PAIRS OF TWO POINTS ADJACENT TO  THE FIRST FIXED POINT");
    say("  TO BE USED IN SEPARATRIX TRACING  AND PITCH DETERMINATION ARE : ");
    const double eps = 0.01 * d;
    const double dirs[2][2] = {{ux, up}, {wx, wp}};
    for (const auto &dir : dirs)
      say(" " + fE(fx[0] + eps * dir[0], 15, 7) + fE(fp[0] + eps * dir[1], 15, 7) + "    " +
          fE(fx[0] - eps * dir[0], 15, 7) + fE(fp[0] - eps * dir[1], 15, 7));
    double area = 0.0;
    if (count == 3) {
      area = 0.5 * std::fabs((fx[1] - fx[0]) * (fp[2] - fp[0]) - (fx[2] - fx[0]) * (fp[1] - fp[0]));
    } else {
      // X2 - X1 = alpha u + beta w; the parallelogram has sides alpha u and beta w.
      const double cross = ux * wp - up * wx;
      if (cross != 0.0) {
        const double dx = fx[1] - fx[0], dp = fp[1] - fp[0];
        const double alpha = (dx * wp - dp * wx) / cross, beta = (ux * dp - up * dx) / cross;
        area = std::fabs(alpha * beta * cross);
      }
    }
    say("   THE STABLE AREA ENCLOSED BY THE SEPARATRICES IS " + fE(area, 12, 4));
  }
}

} // namespace vorax
