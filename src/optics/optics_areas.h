// Areas of the matrix operation that later operations and the fits read: starting lattice
// functions and radiation settings, running lattice functions, the beam matrix, radiation
// results and the map printout mode.
#pragma once

#include "common/reset.h"
#include "common/table.h"

namespace vorax {

// Settings of MACH (and of the fits that propagate lattice functions).
struct Func {
  // Starting lattice functions: beta x, alpha x, eta x, eta' x, beta y, alpha y, eta y, eta' y.
  Table<double, 1, 8> start;
  double energy_start = 0.0; // GeV; 0: no radiation computation
  double energy_end = 0.0;
  double energy_step = 1.0;
  int sync_option = 0;        // 0 none, 1 integrals and radiation table, 2 also luminosity
  double dnu = 0.0;           // beam-beam tune shift limit
  int interaction_points = 1; // the lattice is one of this many identical sectors
  double bunches = 0.0;
  int nint = 0;
  int operation = 0;       // 500 MATR, 510 MACH, 515 BEAM, 520 HARD
  double map_length = 0.0; // path length covered by the accumulated map
};
inline Func func;
inline const AreaRegistration func_registration{reset_area<func>};

// Lattice functions at the current position (index 1 x, 2 y), propagated from func.start.
struct Twf {
  Table<double, 1, 2> beta, alpha, eta, etap, nu;
  int position = 0;
  Table<int, 1, 2> turns;        // turn counters of the phase
  Table<int, 1, 2> phase_nonneg; // 1 while the last phase fraction was >= 0
  Table<double, 1, 2> beta_max, eta_max;
};
inline Twf twf;
inline const AreaRegistration twf_registration{reset_area<twf>};

// The beam (sigma) matrix: as defined at the start, and propagated to the current position.
struct Cbeam {
  Matrix<double, 6, 6> sigma0;
  Matrix<double, 6, 6> sigma;
  int nint = 0;      // selection of the positions where the beam matrix is printed
  int envelopes = 0; // 1: one envelope line at every position
  int defined = 0;   // 1 once BEAM has defined a beam
};
inline Cbeam cbeam;
inline const AreaRegistration cbeam_registration{reset_area<cbeam>};

// Luminosity estimate for one coupling assumption.
struct LuminosityCase {
  double ratio = 0.0;              // eps y / eps x
  double sigx = 0.0, sigy = 0.0;   // betatron sizes
  double sigxt = 0.0, sigyt = 0.0; // with the dispersive part
  double particles = 0.0;          // per bunch, at the tune-shift limit
  double current = 0.0;            // per beam, A
  double luminosity = 0.0;         // per interaction point, cm^-2 s^-1
};

// Synchrotron integrals and the radiation results at the current energy.
struct Lum {
  Matrix<double, 2, 5> integral; // (plane, k): I1..I5 of one sector
  int tilt_warned = 0;
  double compaction = 0.0, jx = 0.0, jy = 0.0, je = 0.0, taurev = 0.0, frev = 0.0;
  double energy = 0.0;
  double u0 = 0.0;                           // energy loss per revolution, MeV
  double ax = 0.0, ay = 0.0, ae = 0.0;       // damping rates, 1/s
  double taux = 0.0, tauy = 0.0, taue = 0.0; // damping times, s
  double sige = 0.0;                         // relative energy spread
  double epsx = 0.0, epsy = 0.0;
  double sigx = 0.0, sigy = 0.0, sigxt = 0.0, sigyt = 0.0;
  LuminosityCase optimum, maximum;
};
inline Lum lum;
inline const AreaRegistration lum_registration{reset_area<lum>};

// Output mode of the map printout: non-zero writes maps as code/value pairs.
struct Zqvo {
  int mode = 0;
};
inline Zqvo zqvo;
inline const AreaRegistration zqvo_registration{reset_area<zqvo>};

// A fresh engine entry prints maps in the ordinary form again.
inline void zqvo_defaults() {
  zqvo.mode = 0;
}
inline const EngineDefaultsRegistration zqvo_defaults_registration{zqvo_defaults};

} // namespace vorax
