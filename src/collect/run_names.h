// The names of the runs' tables: run numbers put into a name (--runs with %a, as a job array
// numbers its tasks) and patterns expanded, so that a run whose table is missing is named and
// reported rather than silently absent.
#pragma once

#include <string>
#include <vector>

namespace vorax::collect {

// A list of run numbers "1-100", "1,4,7-9", "0-99:3" (a range with a step): an empty text
// when it reads, else the fault. At most MAX_RUNS numbers.
constexpr std::size_t MAX_RUNS = 1000000;
std::string parse_run_list(const std::string &text, std::vector<long long> &out);

// The name with %a replaced by the run number (%Na: zero-padded to N digits, N from 1 to 9)
// and %% by %; an empty text when it reads, else the fault (no %a, another % sequence).
std::string name_of_run(const std::string &pattern, long long run, std::string &out);

// A name as the tables it stands for: itself when such a file exists or it has no pattern
// characters (* ? [), else the files that match, in natural order (run2 before run10). An
// empty result means that nothing matched.
std::vector<std::string> expand_name(const std::string &name);

// Natural order of names: digit runs compare as numbers.
bool natural_less(const std::string &a, const std::string &b);

} // namespace vorax::collect
