// vorax-collect TABLE...: merges the tables of many runs into one and gives the statistics of
// its columns (vorax-collect --help).
#include "collect/collector.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  vorax::collect::CollectOutcome outcome = vorax::collect::run_collect(args);
  const std::string &out = outcome.standard_output;
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    outcome.terminal += "vorax-collect: cannot write on standard output\n";
    outcome.status = 2;
  }
  std::fputs(outcome.terminal.c_str(), stderr);
  return outcome.status;
}
