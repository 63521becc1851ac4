// The closed orbit of the ring and its response to the correctors, by tracking one turn at a
// time with the monitors read at their centre: whatever tracking applies (misalignments of
// elements and monitors, field errors, every corrector type, coupling, nonlinear fields) is in
// the orbit and in its linear response about it.
#include "errors/ring_orbit.h"

#include "common/engine_tables.h"
#include "common/linear_algebra.h"
#include "common/random_numbers.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "errors/correctors.h"
#include "errors/misalignments.h"
#include "track/particle_kernels.h"
#include "track/tracking_areas.h"
#include "track/tracking_hooks.h"
#include "track/tracking_loop.h"

#include <algorithm>
#include <cmath>

namespace vorax {

namespace {

// Displacement of the start for the one-turn matrix, taken on both sides: the error of the
// central difference goes with its square, rounding with 1e-16 orbit / 1e-6.
constexpr double START_STEP = 1e-6;
// Change of a corrector value for its response, one-sided (each side costs a turn): the orbit
// moves by about 1e-7 m, where the sextupoles' quadratic part of the response is near 1e-5 of
// it and rounding 1e-10.
constexpr double CORRECTOR_STEP = 1e-8;
// The search ends when a turn returns to its start to this (m and rad), or when the return no
// longer improves once within LOOSE of it (rounding of a long ring).
constexpr double TOLERANCE = 1e-13;
constexpr double LOOSE = 1e-9;
constexpr int MAX_STEPS = 30;
// A reference particle and a pair of displaced ones for each of x, x', y, y'.
constexpr int PROBES = 9;

struct Ringps {
  Cseeds seeds;
  std::vector<int> index_at; // 1 + the monitor's index at its position, 0 where none is read
  int monitors = 0;
  int particles = 0;
  std::vector<double> reading; // x and y of each particle at each monitor
  std::vector<char> seen;      // the reference particle was read at the monitor
};
inline Ringps ringps;
inline const AreaRegistration ringps_registration{reset_area<ringps>};

std::size_t reading_at(int monitor, int particle, int plane) {
  return static_cast<std::size_t>(2 * (ringps.particles * monitor + particle) + plane);
}

int ring_monitor_state(int position, int) {
  return ringps.index_at[static_cast<std::size_t>(position)] != 0 ? 1 : 0;
}

// The particles stand at the monitor's centre.
void ring_read_monitor(int position, bool misaligned) {
  const int k = ringps.index_at[static_cast<std::size_t>(position)] - 1;
  for (int i = 1; i <= trace.npart; ++i) {
    if (alive.flag(i) == 0)
      continue;
    double z[6];
    for (int c = 0; c < 6; ++c)
      z[c] = trace.pcoord(i, c + 1);
    if (misaligned)
      mset(z);
    ringps.reading[reading_at(k, i - 1, 0)] = z[0];
    ringps.reading[reading_at(k, i - 1, 1)] = z[2];
  }
  ringps.seen[static_cast<std::size_t>(k)] = alive.flag(1) != 0;
}

double reading(int monitor, int particle, int plane) {
  return ringps.reading[reading_at(monitor, particle, plane)];
}

// One turn of the particles from their starts; end receives x, x', y, y' of each at the end.
// False when one is lost or a monitor was not read.
bool turn(const double (*particles)[6], int count, double (*end)[4]) {
  cseeds = ringps.seeds;
  ringps.particles = count;
  ringps.reading.assign(static_cast<std::size_t>(2 * count * ringps.monitors), 0.0);
  ringps.seen.assign(static_cast<std::size_t>(ringps.monitors), 0);
  start_probe(particles, count);
  TrackingHooks hooks = tracking_seam.hooks();
  hooks.monitor = ring_monitor_state;
  hooks.read_monitor = ring_read_monitor;
  {
    const Seam<TrackingHooks>::Scope scope(tracking_seam, hooks);
    // A lost probe is this search's failure, told by the operation, not a tracking loss.
    trace.quiet_losses = 1;
    trackt();
    trace.quiet_losses = 0;
  }
  if (trace.nlive < count)
    return false;
  if (std::find(ringps.seen.begin(), ringps.seen.end(), 0) != ringps.seen.end())
    return false;
  for (int i = 1; i <= count; ++i) {
    double z[6], g[6];
    for (int c = 0; c < 6; ++c)
      z[c] = trace.pcoord(i, c + 1);
    // The symplectic option's canonical modes leave the store in canonical variables.
    if (trace.canonical == 1)
      ncvar(z, g, tracking_mode().b0);
    else
      std::copy_n(z, 6, g);
    for (int c = 0; c < 4; ++c) {
      if (!std::isfinite(g[c]))
        return false;
      end[i - 1][c] = g[c];
    }
  }
  return true;
}

// Whether the linear motion about the orbit stays bounded. The eigenvalues of a symplectic 4 x 4
// turn come in pairs lambda, 1/lambda; t = lambda + 1/lambda solves t^2 - a t + (b - 2) = 0 with
// a the trace and b the sum of the 2 x 2 principal minors, and the motion is stable when both t
// are real and within [-2, 2] (coupling included). A turn that damps or excites (cavities,
// radiation) is first scaled to determinant 1.
bool stable(const double *t) {
  double copy[16];
  std::copy_n(t, 16, copy);
  int l[4], m[4];
  double det = 0.0;
  dminv(copy, 4, det, l, m);
  if (!(det > 0.0))
    return false;
  const double scale = 1.0 / std::sqrt(std::sqrt(det));
  const auto at = [t, scale](int i, int k) { return scale * t[i + 4 * k]; };
  const double a = at(0, 0) + at(1, 1) + at(2, 2) + at(3, 3);
  double b = 0.0;
  for (int i = 0; i < 4; ++i)
    for (int k = i + 1; k < 4; ++k)
      b += at(i, i) * at(k, k) - at(i, k) * at(k, i);
  const double discriminant = a * a - 4 * (b - 2);
  if (discriminant < -1e-9)
    return false;
  const double root = std::sqrt(std::max(discriminant, 0.0));
  constexpr double EDGE = 2 * (1 + 1e-9);
  return std::fabs(a + root) / 2 <= EDGE && std::fabs(a - root) / 2 <= EDGE;
}

double largest_magnitude(const double *v, int n) {
  double m = 0.0;
  for (int i = 0; i < n; ++i)
    m = std::max(m, std::fabs(v[i]));
  return m;
}

} // namespace

void start_ring_passes(const std::vector<int> &monitors) {
  ringps.seeds = cseeds;
  ringps.monitors = static_cast<int>(monitors.size());
  ringps.index_at.assign(static_cast<std::size_t>(mat.npos) + 1, 0);
  for (std::size_t k = 0; k < monitors.size(); ++k)
    ringps.index_at[static_cast<std::size_t>(monitors[k])] = static_cast<int>(k) + 1;
}

void end_ring_passes() {
  cseeds = ringps.seeds;
}

RingSearch find_ring_orbit(const double guess[4], RingOrbit &orbit) {
  double z0[4];
  std::copy_n(guess, 4, z0);
  double previous = HUGE_VAL;
  for (int step = 0; step < MAX_STEPS; ++step) {
    double start[PROBES][6] = {};
    for (int p = 0; p < PROBES; ++p)
      std::copy_n(z0, 4, start[p]);
    for (int k = 0; k < 4; ++k) {
      start[1 + 2 * k][k] += START_STEP;
      start[2 + 2 * k][k] -= START_STEP;
    }
    double end[PROBES][4];
    if (!turn(start, PROBES, end))
      return RingSearch::lost;
    double turn_matrix[16];
    for (int k = 0; k < 4; ++k)
      for (int i = 0; i < 4; ++i)
        turn_matrix[i + 4 * k] = (end[1 + 2 * k][i] - end[2 + 2 * k][i]) / (2 * START_STEP);
    for (int j = 0; j < 16; ++j)
      orbit.closure[j] = (j % 5 == 0 ? 1.0 : 0.0) - turn_matrix[j];
    int l[4], m[4];
    double det = 0.0;
    dminv(orbit.closure, 4, det, l, m);
    if (det == 0.0 || !std::isfinite(det))
      return RingSearch::no_convergence;
    double miss[4];
    for (int i = 0; i < 4; ++i)
      miss[i] = end[0][i] - z0[i];
    const double error = largest_magnitude(miss, 4);
    if (!std::isfinite(error))
      return RingSearch::lost;
    if (error <= TOLERANCE || (error <= LOOSE && error > 0.5 * previous)) {
      if (!stable(turn_matrix))
        return RingSearch::unstable;
      std::copy_n(z0, 4, orbit.start);
      std::copy_n(end[0], 4, orbit.end);
      const std::size_t n = static_cast<std::size_t>(ringps.monitors);
      orbit.x.assign(n, 0.0);
      orbit.y.assign(n, 0.0);
      orbit.dx.assign(4 * n, 0.0);
      orbit.dy.assign(4 * n, 0.0);
      for (int j = 0; j < ringps.monitors; ++j) {
        const std::size_t q = static_cast<std::size_t>(j);
        orbit.x[q] = reading(j, 0, 0);
        orbit.y[q] = reading(j, 0, 1);
        for (int k = 0; k < 4; ++k) {
          orbit.dx[4 * q + static_cast<std::size_t>(k)] =
              (reading(j, 1 + 2 * k, 0) - reading(j, 2 + 2 * k, 0)) / (2 * START_STEP);
          orbit.dy[4 * q + static_cast<std::size_t>(k)] =
              (reading(j, 1 + 2 * k, 1) - reading(j, 2 + 2 * k, 1)) / (2 * START_STEP);
        }
      }
      return RingSearch::found;
    }
    previous = error;
    // The start that the linear turn would close on.
    for (int i = 0; i < 4; ++i) {
      double d = 0.0;
      for (int k = 0; k < 4; ++k)
        d += orbit.closure[i + 4 * k] * miss[k];
      z0[i] += d;
    }
  }
  return RingSearch::no_convergence;
}

bool corrector_response(const RingOrbit &orbit, int corrector, int k, std::vector<double> &dx,
                        std::vector<double> &dy) {
  const double keep = corr.value(k, corrector);
  corr.value(k, corrector) = keep + CORRECTOR_STEP;
  double start[1][6] = {{orbit.start[0], orbit.start[1], orbit.start[2], orbit.start[3], 0, 0}};
  double end[1][4];
  const bool done = turn(start, 1, end);
  corr.value(k, corrector) = keep;
  if (!done)
    return false;
  // The orbit at the start moves by (I - M)^-1 times what the corrector adds to the turn's end.
  double moved[4];
  for (int i = 0; i < 4; ++i) {
    moved[i] = 0.0;
    for (int c = 0; c < 4; ++c)
      moved[i] += orbit.closure[i + 4 * c] * (end[0][c] - orbit.end[c]) / CORRECTOR_STEP;
  }
  const std::size_t n = static_cast<std::size_t>(ringps.monitors);
  dx.assign(n, 0.0);
  dy.assign(n, 0.0);
  for (std::size_t j = 0; j < n; ++j) {
    const int monitor = static_cast<int>(j);
    double along_x = 0.0, along_y = 0.0;
    for (int c = 0; c < 4; ++c) {
      along_x += orbit.dx[4 * j + static_cast<std::size_t>(c)] * moved[c];
      along_y += orbit.dy[4 * j + static_cast<std::size_t>(c)] * moved[c];
    }
    dx[j] = along_x + (reading(monitor, 0, 0) - orbit.x[j]) / CORRECTOR_STEP;
    dy[j] = along_y + (reading(monitor, 0, 1) - orbit.y[j]) / CORRECTOR_STEP;
  }
  return true;
}

} // namespace vorax
