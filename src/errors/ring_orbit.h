// The closed orbit of a ring as tracking sees it (misalignments, field errors, corrector
// settings and all), read at chosen monitors, and its linear response to each corrector.
#pragma once

#include <vector>

namespace vorax {

// A closed orbit in x, x', y, y' (l and delta start at 0) and how its readings and the end of
// a turn follow the start: what the response to a corrector is built from.
struct RingOrbit {
  double start[4] = {};
  double end[4] = {};         // where the turn from start ends: start, to the search's tolerance
  std::vector<double> x, y;   // the readings at the monitors
  std::vector<double> dx, dy; // d reading / d start coordinate k, at [4 * monitor + k]
  double closure[16] = {};    // (I - M)^-1, column-major, M the one-turn matrix
};

// The passes that follow read the monitors at these positions (at their centre, in their own
// frame when misaligned) and see the random streams as they stand now: every pass meets the
// same imperfect machine.
void start_ring_passes(const std::vector<int> &monitors);
// The random streams as start_ring_passes found them.
void end_ring_passes();

// The closed orbit by Newton's method on the tracked turn, from the guess. It is not found when a
// particle is lost, when the search does not converge, or when the linear motion about it is
// unstable (no beam would stay on it).
enum class RingSearch { found, lost, no_convergence, unstable };
RingSearch find_ring_orbit(const double guess[4], RingOrbit &orbit);

// The change of the closed orbit's readings per unit change of value k (1 or 2) of corrector i,
// about the orbit found, the corrector then put back: one turn with the corrector changed shows
// what it does before the turn ends, and the one-turn matrix how the orbit closes on it. False
// when that turn loses the particle.
bool corrector_response(const RingOrbit &orbit, int corrector, int k, std::vector<double> &dx,
                        std::vector<double> &dy);

} // namespace vorax
