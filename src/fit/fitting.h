// Fitting operations: SIMP, LEAS, SETF and the value table of the least-squares conditions.
#pragma once

namespace vorax {

void fitmat(int &end_flag); // SIMP
void fitlsq(int &end_flag); // LEAS
void fitpt(int &end_flag);  // SETF
void setout();              // collects the values that least-squares conditions address

// Hooks for the map computation while a least-squares evaluation runs: whether values are being
// collected (setout at the fit points and at the last position) and whether the beam matrix must
// be propagated for beam conditions.
bool fit_collecting();
bool fit_needs_beam();

} // namespace vorax
