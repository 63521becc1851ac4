// Fitting operations: SIMP, LEAS, SETF and the value table of the least-squares conditions.
#pragma once

namespace vorax {

void fitmat(int &end_flag); // SIMP
void fitlsq(int &end_flag); // LEAS
void fitpt(int &end_flag);  // SETF
void setout();              // collects the values that least-squares conditions address

} // namespace vorax
