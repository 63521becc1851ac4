// Fitting operations: SIMP, LEAS, SETF and the value table of the least-squares conditions.
#pragma once

namespace vorax {

// Operation handlers: each is given its operation code and the end flag of the data.
void fitmat(int code, int &end_flag); // SIMP
void fitlsq(int code, int &end_flag); // LEAS
void fitpt(int code, int &end_flag);  // SETF
void setout();              // collects the values that least-squares conditions address

} // namespace vorax
