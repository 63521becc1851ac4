// Global areas filled by one subsystem and read by several others.
#pragma once

#include "common/limits.h"
#include "common/reset.h"
#include "common/table.h"
#include "common/transfer_map.h"

namespace vorax {

// Page header of every engine listing: title, version, a further field.
struct Pagtit {
  Chars<80> title;
  Name8 version{"1.01"};
  Name8 extra;
};
inline Pagtit pagtit;
inline const AreaRegistration pagtit_registration{reset_area<pagtit>};

// The accumulated map of the machine and the options of the matrix operation.
struct Mat {
  TransferMap amap;     // accumulated map
  int print_option = 0; // 1: first order only
  int nint = 0;         // interval count
  int is_matr = 0;      // the operation is MATR
  int interval_mode = 0;
  Table<int, 1, 2> fit_position;       // positions watched by the least-squares fit (0: none)
  int npos = 0;                        // element positions of the machine
  Table<int, 0, 2 * MXLIST> intervals; // entry 0: count of values read; 1..80 bounds
};
inline Mat mat;
inline const AreaRegistration mat_registration{reset_area<mat>};

// Row length word of map records and the element being composed.
struct Prodct {
  int ncol = 27; // 27 at map order 2, 6 at map order 1
  int current_element = 0;
};
inline Prodct prodct;
inline const AreaRegistration prodct_registration{reset_area<prodct>};

// Symplectic option.
struct Sym {
  int option = 0;              // 1: every freshly built map is symplectified
  int mode = 0;                // SETS mode number
  int mode_flag = 0;           // set for modes 0, 2 and 4
  double energy = 0.0;         // reference energy, GeV
  double gamma = 0.0;          // energy / electron mass
  Table<double, 1, 4> scale{}; // four words, 1.0 after SETS
  int matrix_count = 0;
};
inline Sym sym;
inline const AreaRegistration sym_registration{reset_area<sym>};

// Linac bookkeeping: LCAVITY positions and the per-position energies (after each element).
struct Lincav {
  static constexpr bool machine_sized = true;
  int linac = 0;
  int count = 0;
  double initial_energy = 1.0;
  MachineTable<int> positions{machine_limits().maxlin};
  MachineTable<double> eideal{machine_limits().maxpos}; // energies as the lattice gives them
  MachineTable<double> ereal{
      machine_limits().maxpos}; // current energies, updated when a cavity's gain changes
  MachineTable<double> entry_before{machine_limits().maxlin}; // working table of a cavity rebuild
};
inline Lincav lincav;
inline const AreaRegistration lincav_registration{reset_area<lincav>};

// The shared operation-input buffer filled by the data reader.
struct Cintak {
  Table<double, 1, NINPUT> values;
  Name8 name;
};
inline Cintak cintak;
inline const AreaRegistration cintak_registration{reset_area<cintak>};

// Limits on varied parameters (SETL).
struct Limit {
  Table<int, 1, MXLVAR> element;
  Table<int, 1, MXLVAR> slot;
  Matrix<double, MXLVAR, 4> value; // (entry, 1..4): lower, upper, margin, fourth value
  int count = 0;
  int flag = 0; // 1 once SETL has run
};
inline Limit limit;
inline const AreaRegistration limit_registration{reset_area<limit>};

// Print selection (PRIN).
struct Cprt {
  int selection = 0;
  int interval_mode = 0;
  int name_mode = 0;
  int type_mode = 0;
  int interval_count = 0; // positions stored (2 per interval)
  Table<int, 1, 2 * MXLIST> intervals;
  int name_count = 0;
  Table<Name8, 1, 10> names;
  int type_count = 0;
  Table<int, 1, 2> types;
};
inline Cprt cprt;
inline const AreaRegistration cprt_registration{reset_area<cprt>};

// A fresh engine entry composes maps at second order without the symplectic option. Limits and
// print selection refer to element numbers and positions of the machine they were given for: a
// fresh entry must not apply them to another machine.
inline void shared_defaults() {
  prodct.ncol = 27;
  sym.option = 0;
  reset_in_place(limit);
  reset_in_place(cprt);
}
inline const EngineDefaultsRegistration shared_defaults_registration{shared_defaults};

// Results of the periodic analysis of the accumulated map. Plane 1 is x, plane 2 is y.
struct Analc {
  double compaction = 0.0;
  Table<double, 1, 2> mu, nu, eta, etap, alpha, beta;
  Table<double, 1, 2> dmu, chrom, dalpha, dbeta; // derivatives with respect to delta
  Table<double, 1, 2> deta, detap;               // second-order dispersion
  Table<double, 1, 2> cosmu;                     // half-traces
  Matrix<double, 2, 2> eigenvalue;               // (plane, 1..2) for unstable planes
  Table<Matrix<double, 2, 2>, 1, 2> eigenvector; // per plane: (component, which)
  Table<int, 1, 2> unstable;                     // 0 stable, 1 unstable, 2 half-trace exactly 1
  int singular = 0;
  int coupled = 0;
  int second_order = 0; // 1 when the chromatic derivatives were computed
};
inline Analc analc;
inline const AreaRegistration analc_registration{reset_area<analc>};

} // namespace vorax
