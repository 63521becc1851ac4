// The areas of the fit operations: the descriptions of a SIMP and a LEAS fit, the value table
// that least-squares conditions address, and the work space of the minimiser.
#pragma once

#include "common/limits.h"
#include "common/reset.h"
#include "common/table.h"

namespace vorax {

inline constexpr int MXSVAR = 10; // varied parameters (and conditions) of SIMP
inline constexpr int MXDRIV = 6;  // entries of a coupled list, the varied parameter itself first
inline constexpr int NFOUT = 331; // entries of the value table
// Value indices 281..287: S, X, Y, Z, THETA, PHI, PSI at the end of the machine.
inline constexpr int GEOMETRY_VALUES = 280;

// One element parameter: element number, slot within the element, address in eldata.
struct ParameterRef {
  int element = 0;
  int slot = 0;
  int address = 0;
};

// A parameter that follows a varied value v as coefficient * v + offset.
struct Coupling {
  ParameterRef target;
  double coefficient = 1.0;
  double offset = 0.0;
};

// The parameters a varied value is written to; entry 1 is the varied parameter itself.
struct CoupledList {
  int count = 0;
  Table<Coupling, 1, MXDRIV> entry;
};

// SIMP: approach and further iterations, varied parameters with their steps and coupled lists,
// conditions with targets, current values and intermediate targets.
struct Fitm {
  int ns = 0, ne = 0, nv = 0;
  Table<CoupledList, 1, MXSVAR> var; // var(i).entry(1) is varied parameter i
  Table<double, 1, MXSVAR> step;
  Table<int, 1, MXSVAR> code;
  Table<double, 1, MXSVAR> target, value, intermediate;
  Table<double, 1, MXSVAR * MXSVAR> jacobian; // (i, j) at (i - 1) + nv (j - 1): dV_j / dp_i
  int length_varied = 0;
  int second_order = 0;
  int periodic = 0; // a condition reads the periodic analysis (codes 1..20)
  int geometry = 0; // a condition reads the geometry at the end (codes 21..27)
};
inline Fitm fitm;
inline const AreaRegistration fitm_registration{reset_area<fitm>};

// LEAS: the fit description and the flags telling what an evaluation computes.
struct Fitl {
  int nv = 0, nc = 0;
  int n1 = 0, n2 = 0;
  int divisor = 3;
  int need_analysis = 0;  // periodic analysis
  int need_lattice = 0;   // lattice functions propagated from the start values
  int need_beam = 0;      // beam matrix propagated
  int need_geometry = 0;  // geometry of the machine, quietly
  int second_order = 0;   // 27 columns
  int periodic_start = 0; // start values follow the periodic solution of the lattice
  int length_varied = 0;
  Table<double, 1, 8> start; // beta x, alpha x, eta x, eta' x, beta y, alpha y, eta y, eta' y
  Table<CoupledList, 1, MXLVAR> var; // var(i).entry(1) is variable i; driven ones follow
  Table<double, 1, MXLVAR> x;        // current variable, before the limit transformation
  Table<double, 1, MXLVAR> datum;    // the number given with the variable (not used)
  Table<int, 1, MXLVAR> limit_entry; // entry of the SETL table, 0 when unlimited
  Table<int, 1, MXLCND> code, index;
  Table<double, 1, MXLCND> target, current_target, weight;
  double weight_sum = 0.0; // sum of the squared weights
};
inline Fitl fitl;
inline const AreaRegistration fitl_registration{reset_area<fitl>};

// The values conditions address, and the raw values at fit point 2 from which the differences
// are formed once the pass is complete (fit point 2 may come before fit point 1).
struct Fout {
  Table<double, 1, NFOUT> value;
  Table<double, 1, 10> lattice_fp2;
  Table<double, 1, 21> beam_fp2;
};
inline Fout fout;
inline const AreaRegistration fout_registration{reset_area<fout>};

// Work space of the minimiser.
struct Lmwork {
  Table<double, 1, MXLCND> fvec;
  Table<double, 1, MXLVAR> diag;
  Table<double, 1, MXLCND * MXLVAR> fjac;
  Table<int, 1, MXLVAR> ipvt;
  Table<double, 1, MXLVAR> qtf, wa1, wa2, wa3;
  Table<double, 1, MXLCND> wa4;
};
inline Lmwork lmwork;
inline const AreaRegistration lmwork_registration{reset_area<lmwork>};

} // namespace vorax
