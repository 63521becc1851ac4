// Table limits of the whole system. Their names appear in the stop messages and in the error table.
#pragma once

namespace vorax {

// Lattice language (front end).
inline constexpr int MAXELM = 5000;  // element table: elements, lines, formal arguments
inline constexpr int MAXPAR = 19000; // parameter nodes
inline constexpr int MAXLST = 14000; // list cells of beam lines
inline constexpr int MAXPOS = 10000; // expanded machine sequence, markers included

// Engine tables built by the conversion.
inline constexpr int MAXPOS_ELEMENTS = 9998; // element positions the conversion accepts
inline constexpr int MXELMD = 3000;          // distinct elements
inline constexpr int MAXDAT = 16000;         // element data slots
inline constexpr int MAXMAT = 500;           // stored element maps

// Engine operations.
inline constexpr int MXLIST = 40;      // interval pairs of MATR, MACH, BEAM, HARD, PRIN
inline constexpr int MXLVAR = 50;      // least-squares variables, SETL limit entries
inline constexpr int MXLCND = 100;     // least-squares conditions
inline constexpr int MAXCOR = 600;     // correctors
inline constexpr int MAXPART = 128000; // tracked particles
inline constexpr int NINPUT = 100;     // values of one operation-data record

// Misalignments and field errors.
inline constexpr int MXMIS = 100;  // elements of the misalignment list
inline constexpr int MAXERR = 100; // error factors read from the factor file

} // namespace vorax
