// RMAT: the first-order transfer matrix of the machine as tracking sees it (misalignments,
// field errors, radiation and all), from a reference particle and six displaced ones, printed at
// chosen positions with the reference orbit and, on request, a coupled-motion analysis.
#pragma once

#include "common/hooks.h"
#include "common/reset.h"
#include "common/table.h"
#include "common/transfer_map.h"

namespace vorax {

struct Crmat {
  double reference[6] = {}; // x, x', y, y', l, delta at the start
  double step[6] = {};      // D1..D6
  double output[6] = {};    // the reference particle at the last printed position
  int option_a = 0;
  int intervals = 0;
  int option_b = 0;
  double extra[8] = {};        // values of the coupled-motion analysis
  int collecting = 0;          // 1 while an RMAT pass is tracked
  int cursor = 1;              // the interval pair being walked (index of its first bound)
  Matrix<double, 6, 6> matrix; // R at the last position
  Matrix<double, 6, 6> start;  // R at the start of the current interval
  double start_s = 0.0;
};
inline Crmat crmat;
inline const AreaRegistration crmat_registration{reset_area<crmat>};

// The map printout of the matrix operation, above this folder: the program installs it. Empty:
// the matrix itself is not printed (the vectors and determinants are).
struct TrackedMatrixHooks {
  void (*print_matrix)(const TransferMap &map, int interval_flag, int print_option,
                       double length) = nullptr;
};
inline Seam<TrackedMatrixHooks> tracked_matrix_seam;

void rmpre(int code, int &end_flag); // RMAT
void rmat(int position);             // after every position while collecting
void prco(const double vector[6], int mode, int which);

// The coupled-motion analysis of a 4x4 transverse matrix (row-major t[i][j], i, j = 0..3):
// the normal modes by the decomposition into two uncoupled 2x2 blocks. stable[k] is false for a
// mode whose cosine is not below 1 in magnitude; its values are then left 0.
struct NormalModes {
  double symplectic_error = 0.0; // largest entry of T^t J T - J
  double a[2][2] = {}, b[2][2] = {};
  bool decomposed = false; // false: the coupling makes the modes complex
  bool stable[2] = {false, false};
  double mu[2] = {}, beta[2] = {}, alpha[2] = {};
};
NormalModes normal_modes(const double t[4][4]);

} // namespace vorax
