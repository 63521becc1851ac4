// vorax-collect as a function of its arguments: what it prints on standard output and on the
// terminal, and its exit status; the files it is asked for are written by it.
#pragma once

#include <string>
#include <vector>

namespace vorax::collect {

struct CollectOutcome {
  int status = 0; // 0 every run used, 1 runs left out, 2 an error (nothing written)
  std::string standard_output;
  std::string terminal;
};

CollectOutcome run_collect(const std::vector<std::string> &args);

} // namespace vorax::collect
