// The identity a run is given from its command line: the deck's name, the seed of its random
// numbers (--seed) and the parameter values it overrides (--set). Tables carry it in their
// headers, so that the results of many runs of one study can be told apart and collected.
#pragma once

#include "common/reset.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorax {

// One --set NAME=VALUE: the parameter's name as the lattice language stores it (upper case, at
// most 8 characters), the value as written and as read.
struct ParameterOverride {
  std::string name;
  std::string text;
  double value = 0.0;
};

// The code RunEnd carries when the deck cannot honour the command line (a --set of a parameter
// it never defines); the run ends with exit status 2.
inline constexpr int COMMAND_LINE_REFUSED = -3;

inline constexpr long long MAX_RUN_SEED = 2147483647; // --seed takes 0 .. 2^31 - 1

struct Runid {
  std::string deck; // as named on the command line; empty: the standard input
  bool seeded = false;
  std::int32_t seed = 0;
  std::vector<ParameterOverride> overrides; // in the order given, each name once
  bool overrides_noted = false;             // the message log has said so
};
inline Runid runid;
inline const AreaRegistration runid_registration{reset_area<runid>};

// Reads NAME=VALUE. On success the override replaces an earlier one of the same name (the
// later value counts) or is appended. On failure: false, and why names what is wrong.
bool add_parameter_override(std::string_view text, std::string &why);

// Reads the seed of --seed: a whole number from 0 to MAX_RUN_SEED.
bool parse_run_seed(std::string_view text, std::int32_t &seed);

// The seed the random numbers get when the deck's SEED gives deck_seed (0 when the deck gives
// none, or asks for the clock) and the run was given --seed N: a fixed mix of both, odd as
// every seed, so that each N gives its own stream for every deck seed, and the same command
// line always the same.
std::int32_t mixed_seed(std::int32_t deck_seed, std::int32_t run_seed);

// --out: the message log, under either of its names, and the default files of units written
// without OPEN go into dir instead of the working directory; files the deck names keep their
// names. Set after the program's units are bound.
void set_run_directory(const std::string &dir);
// A file of the run by its plain name: in the run directory when there is one.
std::string in_run_directory(std::string_view name);

// The overrides as the table headers give them: "KF=0.92 LQ=0.5".
std::string override_list();

} // namespace vorax
