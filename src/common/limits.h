// Table limits of the whole system. Their names appear in the stop messages and in the error table.
// The tables that grow with the machine are sized once, when the run starts: at the classic sizes
// below, or at the larger ones that --max-positions asks for.
#pragma once

namespace vorax {

// Classic sizes of the tables that grow with the machine (a run without --max-positions).
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
inline constexpr int MAXCOR = 600;           // correctors
inline constexpr int MAXLIN = 500;           // linac cavity positions

// Engine operations.
inline constexpr int MXLIST = 40;      // interval pairs of MATR, MACH, BEAM, HARD, PRIN
inline constexpr int MXLVAR = 50;      // least-squares variables, SETL limit entries
inline constexpr int MXLCND = 100;     // least-squares conditions
inline constexpr int MAXPART = 128000; // tracked particles
inline constexpr int NINPUT = 100;     // values of one operation-data record

// Misalignments and field errors.
inline constexpr int MXMIS = 100;  // elements of the misalignment list
inline constexpr int MAXERR = 100; // error factors read from the factor file

// The limits of the tables that grow with the machine, for one run.
struct MachineLimits {
  int maxpos_elements; // element positions
  int maxpos;          // expanded sequence, line markers included
  int mxelmd;          // distinct elements
  int maxdat;          // element data slots
  int maxmat;          // stored element maps
  int maxelm;          // element table of the front end
  int maxpar;          // parameter nodes
  int maxlst;          // list cells
  int maxcor;          // correctors
  int maxlin;          // linac cavity positions
};

// The largest machine a run may ask for: six digits, so that every position fits the six-column
// fields of the listing.
inline constexpr int LARGEST_MAX_POSITIONS = 999'999;

// A classic limit grown in the classic proportion to the element positions, rounded up: at the
// classic 9998 positions every limit is its classic value.
constexpr int scaled_limit(int classic, int max_positions) {
  return static_cast<int>((static_cast<long long>(classic) * max_positions + MAXPOS_ELEMENTS - 1) /
                          MAXPOS_ELEMENTS);
}

// The limits of a machine of max_positions element positions (MAXPOS_ELEMENTS up to
// LARGEST_MAX_POSITIONS). Every limit keeps its classic share of the positions, with two
// exceptions:
// - the expanded sequence: the classic one holds only the two markers of a single flat line
//   beyond its positions, while a ring built of cells needs two markers per cell: a ring of
//   1000 cells of 8 positions expands to 10002 entries. A raised sequence holds two entries per
//   position (cells down to two positions) and the two markers of the used line.
// - the map records: the classic 500 for 3000 distinct elements stop a machine of 700 distinct
//   quadrupoles long before its other tables fill. A raised machine gives every distinct element
//   room for its map, which costs memory only for the maps actually built.
constexpr MachineLimits limits_for_positions(int max_positions) {
  const int n = max_positions;
  return {n,
          n > MAXPOS_ELEMENTS ? 2 * n + 2 : MAXPOS,
          scaled_limit(MXELMD, n),
          scaled_limit(MAXDAT, n),
          n > MAXPOS_ELEMENTS ? scaled_limit(MXELMD, n) : MAXMAT,
          scaled_limit(MAXELM, n),
          scaled_limit(MAXPAR, n),
          scaled_limit(MAXLST, n),
          scaled_limit(MAXCOR, n),
          scaled_limit(MAXLIN, n)};
}

namespace detail {
// Set by size_machine_tables (common/reset.h) only.
inline constinit MachineLimits run_limits = limits_for_positions(MAXPOS_ELEMENTS);
} // namespace detail

// The limits of this run.
inline const MachineLimits &machine_limits() {
  return detail::run_limits;
}

} // namespace vorax
