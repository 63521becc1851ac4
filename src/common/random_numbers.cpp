// The random numbers of the engine: the congruential generator and its uniform and Gaussian
// draws, the streams in direct and table mode, the clock, and the seeded tables.
#include "common/random_numbers.h"

#include "common/format.h"
#include "common/halt.h"
#include "common/messages.h"

#include <chrono>
#include <cmath>
#include <string>

namespace vorax {

namespace {

constexpr std::uint32_t LOW_31_BITS = 0x7fffffffu;
constexpr double TWO_TO_31 = 2147483648.0;

// The cut of the Gaussian tables: T3 is cut at 2 sigma, T4 needs no cut (a sum of 12 uniform
// values minus 6 never exceeds 6).
constexpr double TABLE_CUT_2 = 2.0;
constexpr double TABLE_CUT_6 = 6.0;

// In direct mode a Gaussian draw is repeated until it lies within the cut. Below 0.1 sigma
// almost every draw is rejected (and at 0 or below every one), so such a cut would keep the
// run drawing for ever; it stops the run as an unsupported cut does in table mode.
constexpr double MIN_DIRECT_CUT = 0.1;

constexpr int BAD_OPTION = 285; // RAND:BAD OPT #
constexpr int BAD_SIGMA = 286;  // RAND: BAD SIGMA #

// The clock source in force; none means the system clock.
ClockSource clock_source = nullptr;

// Milliseconds since the epoch, reduced to 31 bits: a different value for each run.
std::int32_t system_clock_value() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  return static_cast<std::int32_t>(static_cast<std::uint64_t>(ms) & LOW_31_BITS);
}

double bad_option() {
  engine_message("  ERROR IN OPTION NUMBER FOR RANDOM GENERATOR");
  halt(BAD_OPTION);
  return 0.0; // in the recoverable-error mode the draw contributes nothing
}

double bad_sigma(const std::string &message) {
  engine_message(message);
  halt(BAD_SIGMA);
  return 0.0;
}

double direct_draw(std::int32_t &state, int option, double cut) {
  switch (option) {
  case 1:
    return urand(state) >= 0.5 ? 1.0 : -1.0;
  case 2:
    return (urand(state) - 0.5) * cran.uniform_scale;
  case 3: {
    if (!(cut >= MIN_DIRECT_CUT))
      return bad_sigma("   ERROR IN SIGMA REQUESTED: THE CUT MUST BE AT LEAST 0.1 SIGMA ");
    double value = gauss(state);
    while (std::fabs(value) > cut)
      value = gauss(state);
    return value;
  }
  default:
    return bad_option();
  }
}

// Returns false (after the error stop) when option or cut has no table.
bool table_value(int index, int option, double cut, double &value) {
  switch (option) {
  case 1:
    value = cran.signs(index);
    return true;
  case 2:
    value = cran.uniform(index);
    return true;
  case 3:
    if (cut == TABLE_CUT_6) {
      value = cran.gauss_cut6(index);
      return true;
    }
    if (cut == TABLE_CUT_2) {
      value = cran.gauss_cut2(index);
      return true;
    }
    value = bad_sigma("   ERROR IN SIGMA REQUESTED SIG 2 OR 6 ONLY ");
    return false;
  default:
    value = bad_option();
    return false;
  }
}

double table_draw(std::int32_t &index, int option, double cut, std::int32_t &mode) {
  // The streams keep the index within the tables; one set from outside is brought into them
  // rather than read beyond their ends.
  if (index < 0 || index > RANDOM_TABLE_LAST)
    index = static_cast<std::int32_t>(((index % RANDOM_TABLE_SIZE) + RANDOM_TABLE_SIZE) %
                                      RANDOM_TABLE_SIZE);
  double value = 0.0;
  if (!table_value(index, option, cut, value))
    return value;
  // The walk visits every entry with stride k, then starts again at 1 with stride k + 1.
  index = static_cast<std::int32_t>((static_cast<std::int64_t>(index) + mode) % RANDOM_TABLE_SIZE);
  if (index == 1)
    ++mode;
  if (mode >= MAX_STRIDE)
    mode = 1;
  return value;
}

} // namespace

// Unsigned arithmetic: the 32-bit product wraps and only its low 31 bits are kept.
float ran(std::int32_t &state) {
  const std::uint32_t s = static_cast<std::uint32_t>(state) & LOW_31_BITS;
  const std::uint32_t next = (131u * s + 32743u) & LOW_31_BITS;
  state = static_cast<std::int32_t>(next);
  // Exact in double, then rounded once to single precision.
  return static_cast<float>(static_cast<double>(next) / TWO_TO_31);
}

double urand(std::int32_t &state) {
  return static_cast<double>(ran(state));
}

double gauss(std::int32_t &state) {
  double sum = 0.0;
  for (int i = 0; i < 12; ++i)
    sum += urand(state);
  return sum - 6.0;
}

double rannum(std::int32_t &index, int option, double cut, std::int32_t &mode) {
  if (mode == 0)
    return direct_draw(index, option, cut);
  return table_draw(index, option, cut, mode);
}

std::int32_t clock1() {
  return clock_source != nullptr ? clock_source() : system_clock_value();
}

void set_clock_source(ClockSource source) {
  clock_source = source;
}

// Only an exact 0 asks for the clock. Any other value is made a whole number from 1 to 2^31 - 1
// as a user would expect of a seed: the fraction is dropped, a negative value gives its
// magnitude, and a magnitude of 2^31 or more is taken modulo 2^31 (the generator keeps 31
// bits of its state). A changed value is reported; the odd rule then adds 1 to an even value
// (so a value that became 0 gives 1).
std::int32_t seed_from_value(double value) {
  double whole = 0.0;
  if (value == 0.0) {
    whole = std::fabs(static_cast<double>(clock1()));
  } else {
    whole = std::isfinite(value) ? std::fabs(std::trunc(value)) : 0.0;
    whole = std::fmod(whole, TWO_TO_31);
    if (whole != value)
      engine_message("   THE SEED MUST BE A WHOLE NUMBER FROM 1 TO 2147483647: THE VALUE" +
                     fE(value, 15, 7) + " GIVES" + fI(static_cast<long long>(whole), 11));
  }
  const auto s = static_cast<std::int32_t>(std::fmod(whole, TWO_TO_31));
  return (s / 2) * 2 + 1;
}

// All draws come from one state in this order, so the tables are a fixed function of the seed.
void fill_random_tables(std::int32_t seed_value) {
  cran.uniform_scale = std::sqrt(3.0) + std::sqrt(3.0);
  cseeds.master_seed = seed_value;
  cseeds.seed_copy = seed_value;
  std::int32_t state = seed_value;
  for (int i = 0; i <= RANDOM_TABLE_LAST; ++i) {
    cran.uniform(i) = (urand(state) - 0.5) * cran.uniform_scale;
    cran.signs(i) = cran.uniform(i) <= 0.0 ? -1.0 : 1.0;
  }
  for (int i = 0; i <= RANDOM_TABLE_LAST; ++i)
    cran.gauss_cut6(i) = gauss(state);
  for (int i = 0; i <= RANDOM_TABLE_LAST; ++i) {
    double value = gauss(state);
    while (std::fabs(value) > TABLE_CUT_2)
      value = gauss(state);
    cran.gauss_cut2(i) = value;
  }
}

} // namespace vorax
