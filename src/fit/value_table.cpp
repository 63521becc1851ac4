// setout: the value table of the least-squares conditions, filled at the fit points and at the
// end of the machine while an evaluation collects values.
#include "fit/fitting.h"

#include "common/shared_areas.h"
#include "fit/fit_areas.h"
#include "fit/fit_support.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"

namespace vorax {

namespace {

// Lattice functions of the current position: beta x, alpha x, eta x, eta' x, nu x, then y.
void lattice_functions(double *to) {
  for (int plane = 1; plane <= 2; ++plane) {
    double *v = to + 5 * (plane - 1);
    v[0] = twf.beta(plane);
    v[1] = twf.alpha(plane);
    v[2] = twf.eta(plane);
    v[3] = twf.etap(plane);
    v[4] = twf.nu(plane);
  }
}

// Beam matrix of the current position, upper triangle row by row.
void beam_matrix(double *to) {
  int n = 0;
  for (int i = 1; i <= 6; ++i)
    for (int j = i; j <= 6; ++j)
      to[n++] = cbeam.sigma(i, j);
}

} // namespace

void setout() {
  const int position = twf.position;
  if (position == mat.fit_position(1)) {
    lattice_functions(&fout.value(31));
    beam_matrix(&fout.value(71));
  }
  if (position == mat.fit_position(2)) {
    lattice_functions(fout.lattice_fp2.data());
    beam_matrix(fout.beam_fp2.data());
  }
  if (position != mat.npos)
    return;
  for (int code = 1; code <= 20; ++code)
    fout.value(code) = periodic_quantity(code);
  lattice_functions(&fout.value(21));
  beam_matrix(&fout.value(41));
  // Value index 101 + offset of the coefficient in the packed map, in the geometric variables
  // the conditions are written in, also after SETS.
  const TransferMap geometric = in_geometric_variables(mat.amap, mat.print_option != 1 ? 27 : 6);
  const double *m = geometric.m.data();
  for (int k = 0; k < 6 * 27; ++k)
    fout.value(101 + k) = m[k];
  // The differences are formed here, once both points of the pass are known.
  for (int k = 1; k <= 10; ++k)
    fout.value(300 + k) = fout.lattice_fp2(k) - fout.value(30 + k);
  for (int k = 1; k <= 21; ++k)
    fout.value(310 + k) = fout.beam_fp2(k) - fout.value(70 + k);
}

} // namespace vorax
