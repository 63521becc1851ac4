// The lattice functions inside the elements for the plot of MACH: the element's map cut at points
// of its body, composed after the map to its entrance, and the stationary points of beta (alpha =
// 0) and of the dispersion (eta' = 0) found as roots between the points.
#include "optics/lattice_samples.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/slots.h"

#include <algorithm>
#include <cmath>

namespace vorax {

namespace {

// At most this betatron phase, or phase of the element's own focusing (rad), between
// neighbouring points: the curve is smooth at that spacing, and two stationary points of one
// function, a quarter of a focusing period apart at least, never fall between the same two.
constexpr double PHASE_STEP = 0.1;
// Intervals of an element: several at least; more for a long one, about one per four columns
// of the plot's pixels (200 over the whole machine); at most MOST.
constexpr int FEWEST = 4;
constexpr int MOST = 400;
constexpr double PLOT_COLUMNS = 200.0;

// Kinds whose first-order map is a drift of their length.
bool drift_at_first_order(int kind) {
  return kind == KODE_DRIFT || kind == KODE_COLLIMAT || kind == KODE_MONITOR ||
         kind == KODE_HCOLLIMA || kind == KODE_RFCAVITY || kind == KODE_SEXT;
}

bool cut_kind(int kind) {
  return drift_at_first_order(kind) || kind == KODE_BEND || kind == KODE_QUAD ||
         kind == KODE_QUADSEXT || kind == KODE_SOLENOID;
}

// The rate of the element's own focusing (1/m), which sets how densely it is cut.
double focusing_rate(const ElementValues &v, int eunits) {
  switch (v.kind) {
  case KODE_QUAD:
  case KODE_QUADSEXT:
    return std::sqrt(std::fabs(v(slot::quad::K1)));
  case KODE_BEND: {
    const double length = v(slot::bend::L);
    if (length == 0.0)
      return 0.0;
    const double h = v(slot::bend::ANGLE) * (eunits == 2 ? const_.raddeg : 1.0) / length;
    // The MERIDOXAN data give the field index n, whose gradient is n h^2.
    const double k1 = std::fabs(v(slot::bend::K1)) * (eunits == 2 ? h * h : 1.0);
    return std::sqrt(h * h + k1);
  }
  case KODE_SOLENOID: {
    const double s = v(slot::solenoid::KS), k = std::fabs(v(slot::solenoid::K1));
    return std::sqrt(2.0 * s * s + std::sqrt(4.0 * s * s * s * s + k * k));
  }
  default:
    return 0.0;
  }
}

// The element's map from its entrance to a fraction of its length, from the builders of its
// stored map: a bend through its entrance face and that share of its body; any other cut kind
// as the same element of that length.
class ElementCut {
public:
  ElementCut(int element, const MapContext &ctx) : ctx_(ctx) {
    const ElementValues v = element_values(element);
    kind_ = v.kind;
    name_ = v.name;
    slots_.assign(v.slots.begin(), v.slots.end());
    if (slots_.size() < static_cast<std::size_t>(slot::L))
      slots_.resize(static_cast<std::size_t>(slot::L), 0.0);
    length_ = slots_[slot::L - 1];
    bend_ = kind_ == KODE_BEND && values()(slot::bend::ANGLE) != 0.0 && length_ != 0.0;
  }

  ElementValues values() const { return {kind_, name_, slots_}; }
  double length() const { return length_; }
  TransferMap whole() const { return element_map(values(), ctx_); }

  void map_at(double fraction, TransferMap &m) {
    if (bend_) {
      bend_cut_map(values(), ctx_, fraction, m);
      return;
    }
    slots_[slot::L - 1] = fraction * length_;
    m = element_map(values(), ctx_);
    slots_[slot::L - 1] = length_;
  }

private:
  MapContext ctx_;
  int kind_ = KODE_DRIFT;
  Name8 name_;
  std::vector<double> slots_;
  double length_ = 0.0;
  bool bend_ = false;
};

// The functions at a point and the determinants of the two 2x2 blocks of the map to it.
struct Inside {
  Optics o;
  double det[2] = {1.0, 1.0};
};

// The functions whose zeros are the stationary points: alpha (beta' = -2 alpha) and eta' of
// each plane.
double slope_of(const Inside &p, int which) {
  return which < 2 ? p.o.alpha(which + 1) : p.o.etap(which - 1);
}

bool same_first_order(const TransferMap &a, const TransferMap &b) {
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      if (std::fabs(a.R(i, j) - b.R(i, j)) > 1e-12 * (1.0 + std::fabs(b.R(i, j))))
        return false;
  return true;
}

bool couples(const TransferMap &m) {
  double largest = 0.0, coupling = 0.0;
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) {
      largest = std::max(largest, std::fabs(m.R(i, j)));
      if ((i <= 2) != (j <= 2))
        coupling = std::max(coupling, std::fabs(m.R(i, j)));
    }
  return coupling > 1e-12 * largest;
}

// A zero of g between a and b, where g(a) and g(b) have opposite signs: regula falsi with the
// Illinois step, bisecting when the step would not move, until g is zero or the interval is a
// few units of the last place of the element's length.
template <class G> double root_between(G &&g, double a, double ga, double b, double gb) {
  int kept = 0; // which end stayed last time: -1 a, +1 b
  for (int iteration = 0; iteration < 200 && b - a > 0x1p-52; ++iteration) {
    double c = (a * gb - b * ga) / (gb - ga);
    if (!(c > a && c < b))
      c = 0.5 * (a + b);
    if (!(c > a && c < b))
      break;
    const double gc = g(c);
    if (gc == 0.0)
      return c;
    if ((gc > 0.0) == (gb > 0.0)) {
      b = c;
      gb = gc;
      if (kept == -1)
        ga *= 0.5;
      kept = -1;
    } else {
      a = c;
      ga = gc;
      if (kept == 1)
        gb *= 0.5;
      kept = 1;
    }
  }
  return std::fabs(ga) <= std::fabs(gb) ? a : b;
}

} // namespace

void points_inside(const ElementSpan &span, const TransferMap &before, const Optics &start,
                   const MapContext &machine_ctx, std::vector<CurvePoint> &out) {
  const int element = blank.mseq(span.position);
  if (!cut_kind(inputt.kode(element)))
    return;
  MapContext ctx = machine_ctx;
  ctx.ncol = 6;
  ElementCut cut(element, ctx);
  const double length = cut.length();
  if (!(length > 0.0))
    return;
  // The values must give the map the machine pass composed (a map changed by other means is
  // drawn from end to end), and the element must keep the planes apart: inside a magnet that
  // couples them, the functions MACH prints are the formal ones of the 2x2 blocks and their
  // waists and peaks are those of no beam, so a tilted magnet is drawn from end to end unless
  // its tilt is a quarter turn. A solenoid is cut all the same: its coupling is a turn of the
  // planes, and the functions of its blocks are those of the turning frame.
  TransferMap composed;
  composed.set_identity(27);
  compose_position(span.position, composed, ctx);
  const TransferMap whole = cut.whole();
  if (!same_first_order(whole, composed))
    return;
  if (inputt.kode(element) != KODE_SOLENOID && couples(whole))
    return;

  const auto at = [&](double fraction) {
    TransferMap m, w = before;
    cut.map_at(fraction, m);
    compose_maps(m, w, 6);
    Inside p;
    p.o = propagate_optics(w, start);
    for (int q = 0; q < 2; ++q) {
      const int i = 2 * q + 1;
      p.det[q] = w.R(i, i) * w.R(i + 1, i + 1) - w.R(i, i + 1) * w.R(i + 1, i);
    }
    return p;
  };

  const double phase =
      std::max({const_.twopi * std::fabs(span.phase_x), const_.twopi * std::fabs(span.phase_y),
                focusing_rate(cut.values(), ctx.eunits) * length});
  double wanted = phase / PHASE_STEP;
  if (span.machine_length > 0.0)
    wanted = std::max(wanted, PLOT_COLUMNS * length / span.machine_length);
  const int n = static_cast<int>(std::clamp(std::ceil(wanted), double(FEWEST), double(MOST)));
  std::vector<double> fractions;
  std::vector<Inside> grid;
  for (int i = 0; i <= n; ++i) {
    fractions.push_back(static_cast<double>(i) / n);
    grid.push_back(at(fractions.back()));
  }

  std::vector<double> stationary;
  if (drift_at_first_order(inputt.kode(element))) {
    // beta = beta0 - 2 alpha0 s + gamma0 s^2: the waist at s = alpha0 / gamma0; the dispersion
    // is a straight line.
    for (int q = 1; q <= 2; ++q) {
      const double b0 = grid[0].o.beta(q), a0 = grid[0].o.alpha(q);
      const double f = a0 * b0 / (1.0 + a0 * a0) / length;
      if (f > 0.0 && f < 1.0)
        stationary.push_back(f);
    }
  } else {
    for (int which = 0; which < 4; ++which)
      for (int i = 0; i < n; ++i) {
        const double ga = slope_of(grid[i], which), gb = slope_of(grid[i + 1], which);
        // Values within rounding of zero at both ends (eta' of a plane without dispersion) have
        // no stationary point worth a point.
        if (!(ga * gb < 0.0) || std::max(std::fabs(ga), std::fabs(gb)) < 1e-13)
          continue;
        stationary.push_back(root_between([&](double f) { return slope_of(at(f), which); },
                                          fractions[i], ga, fractions[i + 1], gb));
      }
  }

  // A grid point that all but coincides with a stationary point (the middle of a symmetric
  // element) gives way to it, and stationary points of several functions at one place are one.
  std::sort(stationary.begin(), stationary.end());
  std::vector<std::pair<double, Inside>> points;
  for (std::size_t k = 0; k < stationary.size(); ++k)
    if (stationary[k] > 0.0 && stationary[k] < 1.0 &&
        (k == 0 || stationary[k] - stationary[k - 1] > 1e-12))
      points.emplace_back(stationary[k], at(stationary[k]));
  for (int i = 1; i < n; ++i) {
    const auto near = std::lower_bound(stationary.begin(), stationary.end(), fractions[i] - 1e-9);
    if (near == stationary.end() || *near > fractions[i] + 1e-9)
      points.emplace_back(fractions[i], grid[i]);
  }
  std::sort(points.begin(), points.end(),
            [](const auto &a, const auto &b) { return a.first < b.first; });
  // MACH divides by the determinant of each block: where it is not positive at the ends, or all
  // but vanishes inside (the planes of a coupled machine exchanged), the functions are lost to
  // rounding or undefined, and the element is drawn from end to end.
  for (int q = 0; q < 2; ++q) {
    const double ends = std::min(grid.front().det[q], grid.back().det[q]);
    if (!(ends > 0.0))
      return;
    for (const auto &[f, p] : points)
      if (!(p.det[q] > 1e-6 * ends) || !std::isfinite(p.o.beta(q + 1)))
        return;
  }
  for (const auto &[f, p] : points)
    out.push_back({span.s_entry + f * length, p.o.beta(1), p.o.beta(2), p.o.eta(1), p.o.eta(2)});
}

} // namespace vorax
