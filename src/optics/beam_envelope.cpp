// The beam (sigma) matrix: definition, propagation sigma' = R sigma R^T, and the envelopes.
#include "optics/beam_envelope.h"

#include "common/control.h"
#include "common/format.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"

#include <cmath>

namespace vorax {

namespace {

void say(std::string_view text) {
  write_record(control.output_unit, text);
}

double root(double v) {
  return std::sqrt(std::max(0.0, v));
}

void beam_defined() {
  cbeam.sigma = cbeam.sigma0;
  cbeam.defined = 1;
}

} // namespace

void define_beam_direct(const double *v) {
  Matrix<double, 6, 6> size_corr; // sizes on the diagonal, correlations above it
  int n = 0;
  for (int i = 1; i <= 6; ++i)
    for (int j = i; j <= 6; ++j)
      size_corr(i, j) = v[n++];
  for (int i = 1; i <= 6; ++i) {
    cbeam.sigma0(i, i) = size_corr(i, i) * size_corr(i, i);
    for (int j = i + 1; j <= 6; ++j) {
      const double s = size_corr(i, j) * size_corr(i, i) * size_corr(j, j);
      cbeam.sigma0(i, j) = s;
      cbeam.sigma0(j, i) = s;
    }
  }
  beam_defined();
}

bool define_beam_lattice(const double *v) {
  // Per plane: beta, alpha, eta, eta' and the emittance, from the data or the analysis.
  double beta[2], alpha[2], eta[2], etap[2], eps[2];
  const bool from_analysis = v[1] == 0.0;
  for (int p = 0; p < 2; ++p) {
    const int b = 1 + 5 * p; // index of beta in v
    if (from_analysis) {
      beta[p] = analc.beta(p + 1);
      alpha[p] = analc.alpha(p + 1);
      eta[p] = analc.eta(p + 1);
      etap[p] = analc.etap(p + 1);
    } else {
      beta[p] = v[b];
      alpha[p] = v[b + 1];
      eta[p] = v[b + 2];
      etap[p] = v[b + 3];
    }
    eps[p] = v[b + 4];
  }
  if (beta[0] <= 0.0 || beta[1] <= 0.0) {
    say(" NO VALID LATTICE FUNCTIONS (BETA NOT POSITIVE): BEAM NOT DEFINED");
    return false;
  }
  const double sigma_l = v[11], sigma_delta = v[12];
  // Betatron ellipses of both planes plus the momentum spread carried along the dispersion:
  // sigma = eps B + sigma_delta^2 D D^T with D = (eta x, eta' x, eta y, eta' y, 0, 1). This
  // keeps the x-x' entry -alpha eps + eta eta' sigma_delta^2 and the x-y entries that the
  // dispersion of both planes creates.
  cbeam.sigma0.fill(0.0);
  for (int p = 0; p < 2; ++p) {
    const int i = 2 * p + 1;
    const double gamma = (1.0 + alpha[p] * alpha[p]) / beta[p];
    cbeam.sigma0(i, i) = eps[p] * beta[p];
    cbeam.sigma0(i, i + 1) = -eps[p] * alpha[p];
    cbeam.sigma0(i + 1, i) = -eps[p] * alpha[p];
    cbeam.sigma0(i + 1, i + 1) = eps[p] * gamma;
  }
  const double d[7] = {0.0, eta[0], etap[0], eta[1], etap[1], 0.0, 1.0};
  const double var = sigma_delta * sigma_delta;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      cbeam.sigma0(i, j) += var * d[i] * d[j];
  cbeam.sigma0(5, 5) += sigma_l * sigma_l;
  beam_defined();
  return true;
}

void beam() {
  // sigma = R sigma0 R^T with the first-order part of the accumulated map; the beam is
  // described in the geometric variables, whatever the maps act on.
  const TransferMap r = in_geometric_variables(mat.amap, 6);
  Matrix<double, 6, 6> rs;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j) {
      double v = 0.0;
      for (int k = 1; k <= 6; ++k)
        v += r.R(i, k) * cbeam.sigma0(k, j);
      rs(i, j) = v;
    }
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j) {
      double v = 0.0;
      for (int k = 1; k <= 6; ++k)
        v += rs(i, k) * r.R(j, k);
      cbeam.sigma(i, j) = v;
    }
}

void print_beam(const Matrix<double, 6, 6> &sigma) {
  double size[7];
  for (int i = 1; i <= 6; ++i)
    size[i] = root(sigma(i, i));
  for (int i = 1; i <= 6; ++i) {
    std::string line = " ";
    for (int j = 1; j < i; ++j) {
      const double s = size[i] * size[j];
      line += fE(s > 0.0 ? sigma(i, j) / s : 0.0, 15, 7);
    }
    line += fE(size[i], 15, 7);
    say(line);
  }
}

void print_envelope_header() {
  say("   BEAM ENVELOPES ");
  say(" NAMES  #" + blanks(position_width(5) - 5) +
      "       SIGX       SIGXP      epsxproj   SIGY       SIGYP      epsyproj   SIGL      "
      " SIG DEL ");
}

void envelope_columns(ResultTable &t) {
  t.text("UNITS", "S, SIGX, SIGY, SIGL in m; SIGPX, SIGPY in rad; EPSX, EPSY in m rad; SIGDELTA "
                  "relative");
  t.text("VARIABLES", "the rms sizes sqrt(sigma(i,i)) and the projected emittances "
                      "sqrt(sigma11 sigma22 - sigma12^2) of the beam after each position");
  t.column("NAME", TfsType::text).column("NUMBER", TfsType::integer).column("S");
  for (const char *name : {"SIGX", "SIGPX", "EPSX", "SIGY", "SIGPY", "EPSY", "SIGL", "SIGDELTA"})
    t.column(name);
}

void envelope_row(ResultTable &t, const std::string &name, int position, double s) {
  const auto &m = cbeam.sigma;
  t.cell(std::string_view(name).substr(0, name.find_last_not_of(' ') + 1)).cell(position).cell(s);
  for (int p = 0; p < 2; ++p) {
    const int i = 2 * p + 1;
    t.cell(root(m(i, i))).cell(root(m(i + 1, i + 1)));
    t.cell(root(m(i, i) * m(i + 1, i + 1) - m(i, i + 1) * m(i, i + 1)));
  }
  t.cell(root(m(5, 5))).cell(root(m(6, 6)));
}

std::string envelope_line(const std::string &name, int position) {
  const auto &s = cbeam.sigma;
  std::string line = " " + fA(name, 8) + fI(position, position_width(5));
  for (int p = 0; p < 2; ++p) {
    const int i = 2 * p + 1;
    line += fE(root(s(i, i)), 11, 4) + fE(root(s(i + 1, i + 1)), 11, 4);
    line += fE(root(s(i, i) * s(i + 1, i + 1) - s(i, i + 1) * s(i, i + 1)), 11, 4);
  }
  line += fE(root(s(5, 5)), 11, 4) + fE(root(s(6, 6)), 11, 4);
  return line;
}

} // namespace vorax
