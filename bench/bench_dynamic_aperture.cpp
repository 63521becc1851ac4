// Dynamic aperture and amplitude detuning of a light source with chromatic sextupoles, tracked
// by each tracking mode (the plain second-order maps, and the symplectic modes 0 to 4 of SETS)
// and by a symplectic integration of the exact equations of motion of the same ring; the manual's
// advice on the mode to use for dynamic aperture rests on it. Counters:
//   aperture_ratio (the mode's aperture over the exact one, mean over five directions),
//   aperture_min, aperture_max (over the directions),
//   detuning_x, detuning_y (dQx/d(x^2), dQy/d(y^2) over the exact ones),
//   tune_x, tune_y (small-amplitude tunes minus the exact ones: the rings are the same),
//   exact_0 ... exact_4 (the exact aperture per direction, mm of horizontal-equivalent
//   amplitude), exact_detuning_x, exact_detuning_y (per m^2).
// All six rows take a few minutes of one core; one mode alone:
//   build/bench_dynamic_aperture --benchmark_filter=DynamicAperture/3
#include "common/engine_tables.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "common/units.h"
#include "program/program.h"
#include "track/tracking_areas.h"
#include "track/tracking_loop.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace vorax;

namespace {

constexpr double PI = 3.141592653589793;
constexpr int TURNS = 1000;      // survival over this many turns is "inside the aperture"
constexpr int TUNE_TURNS = 1024; // turns over which a tune is averaged
constexpr int DIRECTIONS = 5;    // 0, 22.5, ... 90 degrees in normalised amplitudes
constexpr double COARSE = 1.1;   // grid ratios of the two passes of the aperture scan
constexpr double FINE = 1.01;
constexpr double SMALLEST = 1e-3; // first amplitude of the scan, m
constexpr double LARGEST = 0.1;   // the scan gives up here
// Amplitudes of the detuning fits, in parts of the exact aperture, and of the small-amplitude
// tunes, in m.
constexpr double DETUNING[] = {0.05, 0.1, 0.15};
constexpr double LINEAR = 1e-6;
// Longest step of the exact integration, m. Halving it changes the small-amplitude tunes by
// 1e-6, and neither an aperture nor a detuning ratio in its fourth digit.
constexpr double STEP = 0.02;

// The light source of eight double-bend achromats, with sextupoles beside the achromat's
// quadrupoles (the linear optics are those of the drifts they replace) fitted to a
// chromaticity of +1 in both planes, as a light source runs. Tunes 5.175 and 2.309.
std::string light_source(int mode, const std::string &operations) {
  std::string deck = "TITLE\nDYNAMIC APERTURE\nPI = 3.141592653589793\n"
                     "DS: DRIFT, L = 2.0\nD1: DRIFT, L = 0.3\nD2: DRIFT, L = 0.4\n"
                     "DH: DRIFT, L = 0.15\n"
                     "Q1: QUADRUPOLE, L = 0.3, K1 = 2.3\nQ2: QUADRUPOLE, L = 0.3, K1 = -2.1\n"
                     "QD: QUADRUPOLE, L = 0.3, K1 = -0.5\n"
                     "QF: QUADRUPOLE, L = 0.4, K1 = 3.5270783085140103\n"
                     "SF: SEXTUPOLE, L = 0.15, K2 = 100\nSD: SEXTUPOLE, L = 0.15, K2 = -100\n"
                     "B:  SBEND, L = 1.2, ANGLE = PI/8, K1 = -0.2\n"
                     "ARC: LINE = (Q1, D1, Q2, D2, B, DH, SD, QD, DH, SF, QF, &\n"
                     "  SF, DH, QD, SD, DH, B, D2, Q2, D1, Q1)\n"
                     "RING: LINE = (8*(DS, ARC, DS))\nUSE, RING\nVORAX\n"
                     "SIMP\n 0 6 2\nSF K2 0.01\nSD K2 0.01\n 8 1 18 1\n 0,\n";
  if (mode >= 0)
    deck += "SETS\n " + std::to_string(mode) + " 3.0\n";
  return deck + operations + "STOP\n";
}

// ---- The exact integration ------------------------------------------------------------------

// One element of the ring: its length, curvature, gradient and sextupole strength (standard
// units: K1 in m^-2, K2 in m^-3 with the force x'' = -K2/2 (x^2 - y^2)).
struct Element {
  double length = 0, h = 0, k1 = 0, k2 = 0;
};

// In canonical variables x, px, y, py at delta = 0 the Hamiltonian of an element is
//   H = -(1 + h x) sqrt(1 - px^2 - py^2) + h x + h^2 x^2 / 2 + k1 (x^2 - y^2) / 2
//       + k2 (x^3 - 3 x y^2) / 6,
// split into the free motion (the first term: a straight line, in the frame of the arc when
// h is not 0), solved exactly, and the field (the rest), whose flow is a kick. Both are exact
// flows, so every step is symplectic; composed to fourth order (Yoshida) with steps of 2 cm they
// give the exact motion to far below what the counters show.
struct State {
  double x, px, y, py;
};

bool free_motion(const Element &e, double s, State &z) {
  const double a2 = 1.0 - z.py * z.py;
  const double ps2 = a2 - z.px * z.px;
  if (!(ps2 > 0.0))
    return false;
  const double ps = std::sqrt(ps2);
  if (e.h == 0.0) {
    z.x += s * z.px / ps;
    z.y += s * z.py / ps;
    return true;
  }
  // px = A sin u and ps = A cos u with u advancing by h s; (1 + h x) cos u stays constant.
  const double a = std::sqrt(a2);
  const double u0 = std::asin(z.px / a), u1 = u0 + e.h * s;
  const double c1 = std::cos(u1);
  if (!(c1 > 0.0))
    return false;
  const double w = (1.0 + e.h * z.x) * (ps / a); // (1 + h x) cos u
  z.y += w * z.py / a * (std::tan(u1) - std::tan(u0)) / e.h;
  z.x = (w / c1 - 1.0) / e.h;
  z.px = a * std::sin(u1);
  return true;
}

void field_kick(const Element &e, double s, State &z) {
  const double x = z.x, y = z.y;
  z.px -= s * (e.h + e.h * e.h * x + e.k1 * x + 0.5 * e.k2 * (x * x - y * y));
  z.py += s * (e.k1 * y + e.k2 * x * y);
}

bool leapfrog(const Element &e, double s, State &z) {
  if (!free_motion(e, s / 2, z))
    return false;
  field_kick(e, s, z);
  return free_motion(e, s / 2, z);
}

bool through(const Element &e, State &z) {
  if (e.h == 0.0 && e.k1 == 0.0 && e.k2 == 0.0)
    return free_motion(e, e.length, z);
  const double w1 = 1.0 / (2.0 - std::cbrt(2.0)), w0 = 1.0 - 2.0 * w1;
  const int steps = 1 + static_cast<int>(e.length / STEP);
  const double s = e.length / steps;
  for (int k = 0; k < steps; ++k)
    if (!leapfrog(e, w1 * s, z) || !leapfrog(e, w0 * s, z) || !leapfrog(e, w1 * s, z))
      return false;
  return true;
}

// A particle is lost as VORAX loses it: beyond 1 m from the axis (CONS 9 at its default), or
// where its motion stops being defined.
bool one_turn(const std::vector<Element> &ring, State &z) {
  for (const Element &e : ring) {
    if (!through(e, z))
      return false;
    if (!(z.x * z.x + z.y * z.y < 1.0))
      return false;
  }
  return true;
}

// The ring as the engine holds it after the deck ran.
std::vector<Element> ring_from_engine() {
  std::vector<Element> ring;
  for (int p = 1; p <= mat.npos; ++p) {
    const int k = blank.mseq(p);
    Element e;
    e.length = blank.element_length(k);
    switch (inputt.kode(k)) {
    case KODE_BEND:
      e.h = inputt.slot(k, slot::bend::ANGLE) / e.length;
      e.k1 = inputt.slot(k, slot::bend::K1);
      break;
    case KODE_QUAD:
      e.k1 = inputt.slot(k, slot::quad::K1);
      break;
    case KODE_SEXT:
      e.k2 = inputt.slot(k, slot::sext::K2);
      break;
    default:
      break;
    }
    ring.push_back(e);
  }
  return ring;
}

// ---- Models: the exact integration and VORAX's tracking -------------------------------------

// The betas at the start of the ring, the middle of a straight, where alpha is 0 in both planes.
struct Optics {
  double bx = 1, by = 1;
};

// A particle of amplitude r in direction theta starts at x = r cos(theta),
// y = r sin(theta) sqrt(by / bx), at rest in angle.
State start(const Optics &o, double theta, double r) {
  return {r * std::cos(theta), 0.0, r * std::sin(theta) * std::sqrt(o.by / o.bx), 0.0};
}

double direction(int d) {
  return d * (PI / 2) / (DIRECTIONS - 1);
}

// Accumulates the phase advance of both planes, turn by turn.
struct PhaseCounter {
  explicit PhaseCounter(const Optics &optics) : o(optics) {}
  void add(const State &z) {
    const double p[2] = {std::atan2(-o.bx * z.px, z.x), std::atan2(-o.by * z.py, z.y)};
    for (int k = 0; k < 2; ++k) {
      if (n > 0) {
        double d = p[k] - last[k];
        while (d < 0)
          d += 2 * PI;
        sum[k] += d;
      }
      last[k] = p[k];
    }
    ++n;
  }
  std::array<double, 2> tunes() const {
    return {sum[0] / (n - 1) / (2 * PI), sum[1] / (n - 1) / (2 * PI)};
  }
  Optics o;
  double last[2] = {}, sum[2] = {};
  int n = 0;
};

// Survival over TURNS of each particle, and the x-x' (y-y') tune over TUNE_TURNS: the mean
// phase advance per turn in normalised coordinates (alpha is 0 at the start).
class Model {
public:
  virtual ~Model() = default;
  virtual std::vector<bool> survive(const std::vector<State> &particles) = 0;
  virtual std::vector<std::array<double, 2>> tunes(const std::vector<State> &particles) = 0;
};

class Exact : public Model {
public:
  Exact(std::vector<Element> ring, Optics o) : ring_(std::move(ring)), o_(o) {}
  std::vector<bool> survive(const std::vector<State> &particles) override {
    std::vector<bool> alive;
    for (State z : particles) {
      bool ok = true;
      for (int t = 0; t < TURNS && ok; ++t)
        ok = one_turn(ring_, z);
      alive.push_back(ok);
    }
    return alive;
  }
  std::vector<std::array<double, 2>> tunes(const std::vector<State> &particles) override {
    std::vector<std::array<double, 2>> q;
    for (State z : particles) {
      PhaseCounter c(o_);
      c.add(z);
      for (int t = 0; t < TUNE_TURNS; ++t) {
        one_turn(ring_, z);
        c.add(z);
      }
      q.push_back(c.tunes());
    }
    return q;
  }

private:
  std::vector<Element> ring_;
  Optics o_;
};

// VORAX's own tracking in one mode (-1 the plain maps, 0 to 4 the modes of SETS): the deck is
// run once per particle set, which TRAC loads, and the turns are then tracked in the store.
class Tracked : public Model {
public:
  explicit Tracked(int mode) : mode_(mode) {}
  std::vector<bool> survive(const std::vector<State> &particles) override {
    load(particles);
    trace.nturn = TURNS;
    trackt();
    std::vector<bool> out;
    for (int i = 1; i <= trace.npart; ++i)
      out.push_back(alive.flag(i) != 0);
    return out;
  }
  std::vector<std::array<double, 2>> tunes(const std::vector<State> &particles) override {
    const Optics o = load(particles);
    std::vector<PhaseCounter> c(particles.size(), PhaseCounter(o));
    for (int t = 0; t <= TUNE_TURNS; ++t) {
      if (t > 0) {
        trace.nturn = t;
        trackt();
      }
      for (int i = 1; i <= trace.npart; ++i)
        c[static_cast<std::size_t>(i - 1)].add(
            {trace.pcoord(i, 1), trace.pcoord(i, 2), trace.pcoord(i, 3), trace.pcoord(i, 4)});
    }
    std::vector<std::array<double, 2>> q;
    for (const auto &k : c)
      q.push_back(k.tunes());
    return q;
  }
  // Runs the deck with a TRAC of no turns that loads the particles, and gives the optics.
  Optics load(const std::vector<State> &particles) {
    std::string operations = "MATRIX\n 1 -1";
    if (!particles.empty()) {
      operations += ",\nTRAC\n -1 -2 " + std::to_string(particles.size()) + " 0\n";
      char line[160];
      for (const State &z : particles) {
        std::snprintf(line, sizeof line, " %.17g %.17g %.17g %.17g 0 0\n", z.x, z.px, z.y, z.py);
        operations += line;
      }
      operations += " 0";
    }
    const std::string deck = light_source(mode_, operations + ";\n");
    reset_all_areas();
    bind_units_in_memory(deck, "", UnitFiles::sandbox);
    if (run_program() != 0) {
      std::fprintf(stderr, "%s\n", captured_output(16).c_str());
      std::abort();
    }
    trace.quiet_losses = 1;
    return {analc.beta(1), analc.beta(2)};
  }

private:
  int mode_;
};

// The aperture in one direction: the first amplitude lost on a grid of ratio COARSE from
// SMALLEST, then on a grid of ratio FINE below it; every model is scanned by the same rule.
double aperture(Model &m, const Optics &o, double theta) {
  std::vector<State> coarse;
  std::vector<double> r;
  for (double a = SMALLEST; a < LARGEST; a *= COARSE) {
    r.push_back(a);
    coarse.push_back(start(o, theta, a));
  }
  const std::vector<bool> c = m.survive(coarse);
  std::size_t first = 0;
  while (first < c.size() && c[first])
    ++first;
  if (first == 0 || first == c.size())
    return first == 0 ? SMALLEST : LARGEST;
  std::vector<State> fine;
  std::vector<double> f;
  for (double a = r[first - 1] * FINE; a < r[first]; a *= FINE) {
    f.push_back(a);
    fine.push_back(start(o, theta, a));
  }
  const std::vector<bool> s = m.survive(fine);
  for (std::size_t k = 0; k < s.size(); ++k)
    if (!s[k])
      return f[k];
  return r[first];
}

// The tune Q0 of small amplitudes in one plane, and the coefficient a of Q = Q0 + a r^2 fitted
// (through Q0) over the amplitudes, r the amplitude in that plane.
std::array<double, 2> detuning(Model &m, const Optics &o, int plane, double reach) {
  const double theta = plane == 0 ? 0.0 : PI / 2;
  const double scale = plane == 0 ? 1.0 : std::sqrt(o.by / o.bx);
  std::vector<State> p{start(o, theta, LINEAR)};
  for (double f : DETUNING)
    p.push_back(start(o, theta, f * reach));
  const std::vector<std::array<double, 2>> q = m.tunes(p);
  const auto k = static_cast<std::size_t>(plane);
  double sxy = 0, sxx = 0;
  for (std::size_t i = 1; i < p.size(); ++i) {
    const double r2 = (DETUNING[i - 1] * reach * scale) * (DETUNING[i - 1] * reach * scale);
    sxy += r2 * (q[i][k] - q[0][k]);
    sxx += r2 * r2;
  }
  return {sxy / sxx, q[0][k]};
}

struct Results {
  std::array<double, DIRECTIONS> aperture{};
  std::array<double, 2> detuning{}, tune{};
};

Results measure(Model &m, const Optics &o, double reach_x, double reach_y) {
  Results r;
  for (int d = 0; d < DIRECTIONS; ++d)
    r.aperture[static_cast<std::size_t>(d)] = aperture(m, o, direction(d));
  const std::array<double, 2> x = detuning(m, o, 0, reach_x), y = detuning(m, o, 1, reach_y);
  r.detuning = {x[0], y[0]};
  r.tune = {x[1], y[1]};
  return r;
}

// The exact integration, measured once for every mode's comparison.
const Results &exact_results(Optics &o) {
  static Optics optics;
  static const Results results = [] {
    Tracked plain(-1);
    optics = plain.load({});
    Exact exact(ring_from_engine(), optics);
    Results r;
    for (int d = 0; d < DIRECTIONS; ++d)
      r.aperture[static_cast<std::size_t>(d)] = aperture(exact, optics, direction(d));
    const auto x = detuning(exact, optics, 0, r.aperture[0]);
    const auto y = detuning(exact, optics, 1, r.aperture[DIRECTIONS - 1]);
    r.detuning = {x[0], y[0]};
    r.tune = {x[1], y[1]};
    return r;
  }();
  o = optics;
  return results;
}

void BM_DynamicAperture(benchmark::State &state) {
  const int mode = static_cast<int>(state.range(0));
  Optics o;
  const Results &exact = exact_results(o);
  for (auto _ : state) {
    Tracked tracked(mode);
    const Results r = measure(tracked, o, exact.aperture[0], exact.aperture[DIRECTIONS - 1]);
    double sum = 0, low = 1e9, high = 0;
    for (int d = 0; d < DIRECTIONS; ++d) {
      const double ratio =
          r.aperture[static_cast<std::size_t>(d)] / exact.aperture[static_cast<std::size_t>(d)];
      sum += ratio;
      low = std::min(low, ratio);
      high = std::max(high, ratio);
      state.counters["exact_" + std::to_string(d)] =
          1e3 * exact.aperture[static_cast<std::size_t>(d)];
    }
    state.counters["aperture_ratio"] = sum / DIRECTIONS;
    state.counters["aperture_min"] = low;
    state.counters["aperture_max"] = high;
    state.counters["detuning_x"] = r.detuning[0] / exact.detuning[0];
    state.counters["detuning_y"] = r.detuning[1] / exact.detuning[1];
    state.counters["exact_detuning_x"] = exact.detuning[0];
    state.counters["exact_detuning_y"] = exact.detuning[1];
    state.counters["tune_x"] = r.tune[0] - exact.tune[0];
    state.counters["tune_y"] = r.tune[1] - exact.tune[1];
  }
}

} // namespace

// -1: the plain second-order maps; 0 to 4: the modes of SETS.
BENCHMARK(BM_DynamicAperture)->DenseRange(-1, 4)->Iterations(1)->Unit(benchmark::kSecond);
