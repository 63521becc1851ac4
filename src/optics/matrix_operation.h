// The matrix operation (MATR, MACH, BEAM, HARD), the periodic analysis and ZQVO.
#pragma once

#include "common/hooks.h"
#include "common/shared_areas.h"
#include "common/transfer_map.h"

#include <string>

namespace vorax {

void matpre(int code, int &end_flag); // MATR 500, MACH 510, BEAM 515, HARD 520
void zqvout(int code, int &end_flag); // ZQVO

// The machine pass's seam to whoever watches it position by position; a fit installs it while
// it evaluates.
struct MachinePassHooks {
  // Called after each position's map (mat.amap) and lattice functions (twf) are updated. While
  // it is installed the pass propagates the lattice functions from func.start at every
  // operation. Left empty: the pass does only what its operation asks.
  void (*at_position)(int position) = nullptr;
};
inline Seam<MachinePassHooks> machine_pass_seam;

// Accumulates the machine map position by position (mat.amap, 6 or 27 columns after
// mat.print_option) and does what func.operation asks: 500 maps and the periodic analysis at
// the end, 510 lattice functions and radiation integrals, 515 beam propagation. mat.nint = -2
// prints nothing. The interval mode of MATR composes its pairs and calls no position hook.
void matrix();

// The machine map and its periodic analysis without any printout, for the fits: sets the
// print option (1: first order, 2: with second order), MATR mode without intervals, runs
// matrix() and restores the interval settings of the last operation.
void machine_quiet(int print_option);

void promtm(int position); // mat.amap <- map of the element at position o mat.amap

// A map of the machine in the geometric variables (x, x', y, y', l, delta) whatever the maps
// act on: under the symplectic option they are canonical and are taken back (ncol 6: the first
// order only, 27: with the second).
TransferMap in_geometric_variables(const TransferMap &map, int ncol);

// Periodic analysis of mat.amap over the length func.map_length; results in analc, always in
// the geometric variables, also when the symplectic option made the maps canonical.
void anal();
// The same for any map in geometric variables; second_order adds the chromatic derivatives and
// the second-order dispersion.
void periodic_analysis(const TransferMap &map, double length, bool second_order, Analc &out);
void pranal(int print_option);
// Transition gamma from the momentum compaction: 1/sqrt(alpha) above transition, the negative
// of 1/sqrt(-alpha) for a negative compaction (imaginary transition energy), 0 for none.
double gamma_transition(double compaction);
// The eigen-solution block of an unstable plane (plane 1 x, 2 y), also used by other analyses.
void print_unstable_plane(const Analc &a, int plane);

// Map printout: code/value pairs (ZQVO mode), a MATRIX element definition (interval_flag 1),
// or the banner with the first- and second-order terms (print level above 2).
void prmat(const TransferMap &map, int interval_flag, int print_option, double length);

void beam(); // cbeam.sigma <- R cbeam.sigma0 R^T with R the first-order part of mat.amap

// Luminosity at the tune-shift limit for the current radiation results (lum, func).
void lumin();

} // namespace vorax
