// Propagation of the lattice functions through the accumulated map, the phase counters, the
// maxima and the MACH listing line.
#include "optics/lattice_functions.h"

#include "common/control.h"
#include "common/format.h"
#include "common/shared_areas.h"
#include "optics/optics_areas.h"

#include <cmath>

namespace vorax {

Optics optics_from_start(const Table<double, 1, 8> &start) {
  Optics o;
  for (int p = 1; p <= 2; ++p) {
    const int b = 4 * (p - 1);
    o.beta(p) = start(b + 1);
    o.alpha(p) = start(b + 2);
    o.eta(p) = start(b + 3);
    o.etap(p) = start(b + 4);
  }
  return o;
}

void start_from_analysis(Table<double, 1, 8> &start) {
  for (int p = 1; p <= 2; ++p) {
    const int b = 4 * (p - 1);
    start(b + 1) = analc.beta(p);
    start(b + 2) = analc.alpha(p);
    start(b + 3) = analc.eta(p);
    start(b + 4) = analc.etap(p);
  }
}

Optics propagate_optics(const TransferMap &map, const Optics &start) {
  Optics o;
  for (int p = 1; p <= 2; ++p) {
    const int i = 2 * p - 1; // first row and column of the plane
    const double r11 = map.R(i, i), r12 = map.R(i, i + 1);
    const double r21 = map.R(i + 1, i), r22 = map.R(i + 1, i + 1);
    const double b0 = start.beta(p), a0 = start.alpha(p);
    const double g0 = (1.0 + a0 * a0) / b0;
    double d = r11 * r22 - r12 * r21;
    // A singular block (a MATRIX element with missing entries) has no Courant-Snyder image;
    // the unnormalised transform is given rather than a division by zero.
    if (d == 0.0)
      d = 1.0;
    o.beta(p) = (r11 * r11 * b0 - 2.0 * r11 * r12 * a0 + r12 * r12 * g0) / d;
    o.alpha(p) = ((r21 * r12 + r22 * r11) * a0 - r21 * r11 * b0 - r22 * r12 * g0) / d;
  }
  // Dispersion: the transverse 4x4 part acts on the starting dispersion of both planes.
  for (int p = 1; p <= 2; ++p) {
    for (int row = 2 * p - 1; row <= 2 * p; ++row) {
      double v = map.R(row, 6);
      v += map.R(row, 1) * start.eta(1) + map.R(row, 2) * start.etap(1);
      v += map.R(row, 3) * start.eta(2) + map.R(row, 4) * start.etap(2);
      if (row == 2 * p - 1)
        o.eta(p) = v;
      else
        o.etap(p) = v;
    }
  }
  return o;
}

double phase_fraction(const TransferMap &map, const Optics &start, int plane) {
  const int i = 2 * plane - 1;
  const double r11 = map.R(i, i), r12 = map.R(i, i + 1);
  return std::atan2(r12, start.beta(plane) * r11 - start.alpha(plane) * r12) / const_.twopi;
}

double count_phase(double fraction, int &turns, int &nonneg) {
  if (fraction < 0.0) {
    if (nonneg)
      ++turns;
    nonneg = 0;
  } else {
    nonneg = 1;
  }
  return fraction + turns;
}

void start_lattice_functions() {
  const Optics o = optics_from_start(func.start);
  for (int p = 1; p <= 2; ++p) {
    twf.beta(p) = o.beta(p);
    twf.alpha(p) = o.alpha(p);
    twf.eta(p) = o.eta(p);
    twf.etap(p) = o.etap(p);
    twf.nu(p) = 0.0;
    twf.turns(p) = 0;
    twf.phase_nonneg(p) = 1;
    twf.beta_max(p) = -1000.0;
    twf.eta_max(p) = -1000.0;
  }
  twf.position = 0;
}

void update_lattice_functions(int position) {
  const Optics start = optics_from_start(func.start);
  const Optics o = propagate_optics(mat.amap, start);
  for (int p = 1; p <= 2; ++p) {
    twf.beta(p) = o.beta(p);
    twf.alpha(p) = o.alpha(p);
    twf.eta(p) = o.eta(p);
    twf.etap(p) = o.etap(p);
    twf.nu(p) = count_phase(phase_fraction(mat.amap, start, p), twf.turns(p), twf.phase_nonneg(p));
    twf.beta_max(p) = std::max(twf.beta_max(p), o.beta(p));
    twf.eta_max(p) = std::max(twf.eta_max(p), o.eta(p));
  }
  twf.position = position;
}

std::string lattice_line(const std::string &name, int position, double element_length,
                         double total_length, double eideal, double ereal) {
  // Seven decimals: the listing carries the lattice functions to the precision that users
  // compare with other codes, not only to the few digits a plot needs.
  std::string s = " " + fA(name, 8) + fI(position, position_width(5));
  s += fF(twf.beta(1), 12, 7) + fF(twf.alpha(1), 12, 7) + fF(twf.beta(2), 12, 7) +
       fF(twf.alpha(2), 12, 7);
  s += fF(twf.eta(1), 11, 7) + fF(twf.etap(1), 11, 7) + fF(twf.eta(2), 11, 7) +
       fF(twf.etap(2), 11, 7);
  s += fF(twf.nu(1), 11, 7) + fF(twf.nu(2), 11, 7);
  s += fF(element_length, 9, 4) + fF(total_length, 10, 3);
  s += fF(eideal, 8, 4) + fF(ereal, 8, 4);
  return s;
}

} // namespace vorax
