// What the tracking tests share: ring decks, TRAC data built from particle vectors, the
// particle store read back, and the accumulated map of the machine applied to a vector.
#pragma once

#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "harness.h"
#include "maps/element_maps.h"
#include "track/particle_kernels.h"
#include "track/tracking_areas.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

namespace vorax::test {

using Vector6 = std::array<double, 6>;

// Eight FODO cells with sector bends (the example ring), and the same with sextupoles.
inline const std::string FODO_RING = "PI = 3.141592653589793\n"
                                     "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\n"
                                     "QD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
                                     "B:  SBEND, L = 2.0, ANGLE = 2*PI/16\n"
                                     "D:  DRIFT, L = 0.5\n"
                                     "CELL: LINE = (QF, D, B, D, QD, D, B, D)\n"
                                     "RING: LINE = (8*CELL)\n"
                                     "USE, RING\nVORAX\n";
inline const std::string SEXTUPOLE_RING = "PI = 3.141592653589793\n"
                                          "QF: QUADRUPOLE, L = 0.4, K1 = 0.75\n"
                                          "QD: QUADRUPOLE, L = 0.4, K1 = -0.75\n"
                                          "SF: SEXTUPOLE, L = 0.2, K2 = 0.745\n"
                                          "SD: SEXTUPOLE, L = 0.2, K2 = -1.306\n"
                                          "B:  SBEND, L = 3.0, ANGLE = 2*PI/32\n"
                                          "D:  DRIFT, L = 0.3\n"
                                          "CELL: LINE = (QF, SF, D, B, D, SD, QD, D, B, D)\n"
                                          "RING: LINE = (16*CELL)\n"
                                          "USE, RING\nVORAX\n";

// The shortest text that reads back as the same double.
inline std::string number(double v) {
  char buffer[40];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
  return std::string(buffer, end);
}

// A TRAC operation: plot step, print option, the particles (a new set) and the turns, then the
// last record and its terminator ("," when operations follow, ";" when the stream ends).
inline std::string trac(int plot, int print, const std::vector<Vector6> &particles, int turns,
                        const std::string &last = "0", const std::string &end = ";") {
  std::string text = "TRAC\n " + std::to_string(plot) + " " + std::to_string(print) + " " +
                     std::to_string(particles.size()) + " " + std::to_string(turns) + "\n";
  // Three coordinates a line: a record goes on over lines until its six values are read, and a
  // line holds 72 columns.
  for (const Vector6 &z : particles)
    for (int k = 0; k < 6; ++k)
      text += " " + number(z[static_cast<std::size_t>(k)]) + (k % 3 == 2 ? "\n" : "");
  // The last record may be long: its values go on over lines of at most 60 columns.
  std::string line;
  std::size_t from = 0;
  while (from < last.size()) {
    std::size_t to = from + 60 < last.size() ? last.rfind(' ', from + 60) : last.size();
    if (to == std::string::npos || to <= from)
      to = last.size();
    text += " " + last.substr(from, to - from) + (to == last.size() ? end : "") + "\n";
    from = to + 1;
  }
  return text;
}

inline Vector6 particle(int i) {
  Vector6 z;
  for (int k = 0; k < 6; ++k)
    z[static_cast<std::size_t>(k)] = trace.pcoord(i, k + 1);
  return z;
}

// The accumulated second-order map of the whole machine, built position by position.
inline TransferMap machine_map() {
  TransferMap m;
  m.set_identity();
  for (int p = 1; p <= mat.npos; ++p)
    compose_position(p, m);
  return m;
}

// v -> R v (+ T v v when second_order).
inline Vector6 apply_map(const TransferMap &m, const Vector6 &v, bool second_order = true) {
  Vector6 out{};
  for (int i = 1; i <= 6; ++i) {
    double s = 0.0;
    for (int j = 1; j <= 6; ++j)
      s += m.R(i, j) * v[static_cast<std::size_t>(j - 1)];
    if (second_order)
      for (int j = 1; j <= 6; ++j)
        for (int k = j; k <= 6; ++k)
          s += m.T(i, j, k) * v[static_cast<std::size_t>(j - 1)] *
               v[static_cast<std::size_t>(k - 1)];
    out[static_cast<std::size_t>(i - 1)] = s;
  }
  return out;
}

// The coordinates printed for a particle after each heading that contains `heading`.
inline std::vector<Vector6> printed(const std::string &listing, const std::string &heading,
                                    int particle_number) {
  std::vector<Vector6> found;
  bool inside = false;
  for (const std::string &line : lines_of(listing)) {
    if (contains(line, "POSITIONS")) {
      inside = contains(line, heading);
      continue;
    }
    if (!inside)
      continue;
    int n = 0;
    Vector6 z;
    if (std::sscanf(line.c_str(), "%d %lf %lf %lf %lf %lf %lf", &n, &z[0], &z[1], &z[2], &z[3],
                    &z[4], &z[5]) == 7 &&
        n == particle_number)
      found.push_back(z);
  }
  return found;
}

} // namespace vorax::test
