// The beam (sigma) matrix of BEAM: its definition from rms sizes and correlations or from
// lattice functions and emittances, its propagation, and the envelope listing.
#pragma once

#include "common/result_table.h"
#include "common/table.h"

#include <string>

namespace vorax {

// Rms sizes and correlations, upper triangle row by row (sigma1, r12 .. r16, sigma2, r23 ..,
// sigma6): 21 values from v[0].
void define_beam_direct(const double *v);
// v[0..12] as BEAM reads them (value 1 is 0): beta x, alpha x, eta x, eta' x at values 2..5
// (all 0: the latest periodic solution), eps x at 6, beta y .. eta' y at 7..10, eps y at 11,
// sigma l at 12, sigma delta at 13. False, with a message, when a beta is not positive.
bool define_beam_lattice(const double *v);

// The beam as rms sizes (diagonal) and correlations (below it), under "INPUT BEAM IS".
void print_beam(const Matrix<double, 6, 6> &sigma);
void print_envelope_header();
// One envelope line of cbeam.sigma: name (A8), position (I5), sigma x, sigma x', projected
// emittance x, the same for y, sigma l and sigma delta (E11.4 each).
std::string envelope_line(const std::string &name, int position);
// BEAM's table: its columns, and the envelopes of the beam now as the row of position at s.
void envelope_columns(ResultTable &table);
void envelope_row(ResultTable &table, const std::string &name, int position, double s);

} // namespace vorax
