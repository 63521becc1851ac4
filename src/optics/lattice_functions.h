// Lattice functions propagated from given starting values through an accumulated map, with the
// phase counter that keeps the tunes continuous across whole turns; also read by the fits.
#pragma once

#include "common/table.h"
#include "common/transfer_map.h"

#include <string>

namespace vorax {

// Lattice functions of both planes (index 1 x, 2 y).
struct Optics {
  Table<double, 1, 2> beta, alpha, eta, etap;
};

// Unpacks the eight starting values beta x, alpha x, eta x, eta' x, beta y, alpha y, eta y,
// eta' y.
Optics optics_from_start(const Table<double, 1, 8> &start);
// The periodic solution of the latest analysis (analc) as eight starting values.
void start_from_analysis(Table<double, 1, 8> &start);

// Lattice functions at the end of map (from the start of the machine to here), from those at
// the start. The betatron part divides by the determinant of each 2x2 block, so maps with an
// energy change (det < 1) give the functions of the damped motion.
Optics propagate_optics(const TransferMap &map, const Optics &start);

// Phase advance of a plane from the start to the end of map, in turns, within (-1/2, 1/2].
double phase_fraction(const TransferMap &map, const Optics &start, int plane);

// Turns a sequence of phase fractions into a continuous tune: the fraction jumps from +1/2 to
// -1/2 as the phase passes an odd multiple of pi, so one more turn is counted each time it
// becomes negative after having been non-negative; the tune is the fraction plus the turns.
double count_phase(double fraction, int &turns, int &nonneg);

// Starts twf from func.start (position 0, counters cleared, maxima at -1000).
void start_lattice_functions();
// Propagates twf to the current end of mat.amap and updates the phase counters and maxima.
void update_lattice_functions(int position);

// One line of the MACH listing for twf: name (A8), position (I5), beta x, alpha x, beta y,
// alpha y (F12.7), eta x, eta' x, eta y, eta' y, nu x, nu y (F11.7), element length (F9.4),
// total length (F10.3), ideal and real energy (F8.4).
std::string lattice_line(const std::string &name, int position, double element_length,
                         double total_length, double eideal, double ereal);

} // namespace vorax
