// The results of MOVE against the momentum deviation: polynomial fits (lsq) and printer plots of
// the tunes and betas (ploten).
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
  // The plots start on a new page of their own; each plot ends its page itself.
  write_record(control.output_unit, "1");
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

} // namespace vorax
