// Random numbers of the engine: the one congruential generator, its uniform and Gaussian
// draws, the seeded tables of the fast sequences and the random streams.
#pragma once

#include "common/reset.h"
#include "common/table.h"

#include <cstdint>

namespace vorax {

inline constexpr int RANDOM_TABLE_LAST = 2002; // tables hold the indices 0..2002
inline constexpr int RANDOM_TABLE_SIZE = RANDOM_TABLE_LAST + 1;
inline constexpr int MAX_STRIDE = 500; // a table stride that reaches this falls back to 1

// A random stream. Direct mode (mode 0): index is the generator state and changes with every
// draw. Table mode (mode k >= 1): index points into the tables of cran, k is the stride.
struct RandomStream {
  std::int32_t index = 0;
  std::int32_t mode = 0;
};

// The master seed and the streams of the engine's users of random numbers.
struct Cseeds {
  std::int32_t master_seed = 0;    // set by SEED, always odd; 0 until then
  RandomStream misalignment;       // misalignments
  RandomStream monitor;            // monitor errors of orbit correction
  RandomStream radiation;          // synchrotron radiation in tracking
  RandomStream saved_misalignment; // kept between partial tracking passes
  RandomStream field_error;        // field errors
  RandomStream saved_field_error;  // kept between partial tracking passes
  std::int32_t seed_copy = 0;      // the master seed as SEED set it
};
inline Cseeds cseeds;
inline const AreaRegistration cseeds_registration{reset_area<cseeds>};

// The tables of the fast sequences, filled by SEED; all zero before it.
struct Cran {
  Table<double, 0, RANDOM_TABLE_LAST> signs;      // T1: +1 or -1
  Table<double, 0, RANDOM_TABLE_LAST> uniform;    // T2: uniform values of unit rms
  Table<double, 0, RANDOM_TABLE_LAST> gauss_cut2; // T3: Gaussian values truncated at 2
  Table<double, 0, RANDOM_TABLE_LAST> gauss_cut6; // T4: Gaussian values (at most 6 by build)
  double uniform_scale = 0.0; // F = 2 sqrt(3): the uniform values times F have unit rms
};
inline Cran cran;
inline const AreaRegistration cran_registration{reset_area<cran>};

// The generator: state s becomes (131 s + 32743) mod 2^31 and the result is s 2^-31 rounded
// to single precision.
float ran(std::int32_t &state);
// ran widened: a uniform value in [0, 1] (1 itself only by the rounding of the last states).
double urand(std::int32_t &state);
// The sum of 12 successive urand values minus 6: approximately normal, within [-6, 6].
double gauss(std::int32_t &state);

// One random number on a stream (index, mode): option 1 a sign, 2 a uniform value of unit rms,
// 3 a Gaussian value cut at cut. In table mode the cut must be 2.0 or 6.0. A bad option stops
// with 285, a bad cut with 286.
double rannum(std::int32_t &index, int option, double cut, std::int32_t &mode);

// An integer from the system clock. A test may fix it with set_clock_source (nullptr puts the
// system clock back); like the binding of units, the source is not program state and survives
// reset_all_areas, so that a whole-deck run can use a fixed clock.
using ClockSource = std::int32_t (*)();
std::int32_t clock1();
void set_clock_source(ClockSource source);

// The seed SEED makes of the value read (0 takes the clock), and the tables it fills.
std::int32_t seed_from_value(double value);
void fill_random_tables(std::int32_t seed_value);

} // namespace vorax
