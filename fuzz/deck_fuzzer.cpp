// Fuzz target over whole runs: each input is a deck (with standard input and files, see
// deck_input.h) run in process on freshly reset areas, with every file the deck names kept in
// memory, so that no input can create, truncate or read a file of the host.
#include "common/reset.h"
#include "common/units.h"
#include "deck_input.h"
#include "common/random_numbers.h"
#include "program/program.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Outcome {
  int status = 0;
  std::string listing, log, terminal;
  std::map<std::string, std::string> files;
};

// A fixed clock: SEED 0 must draw the same numbers in both runs of an input.
std::int32_t fixed_clock() {
  return 1234567;
}

Outcome run_once(const vorax::fuzz::DeckInput &in) {
  using namespace vorax;
  reset_all_areas();
  bind_units_in_memory(in.deck, in.standard_input, UnitFiles::sandbox);
  for (const auto &[name, content] : in.files)
    sandbox_files()[name] = content;
  Outcome out;
  out.status = run_program();
  flush_all_units();
  out.listing = captured_output(LISTING_UNIT);
  out.log = captured_output(LOG_UNIT);
  out.terminal = captured_output(TERMINAL);
  out.files = sandbox_files();
  reset_units();
  return out;
}

// The first line where two texts differ, to say what leaked from one run into the next.
void report_difference(const char *what, const std::string &first, const std::string &second) {
  std::size_t at = 0;
  while (at < first.size() && at < second.size() && first[at] == second[at])
    ++at;
  const std::size_t line = first.rfind('\n', at == 0 ? 0 : at - 1);
  const std::size_t from = line == std::string::npos ? 0 : line + 1;
  std::fprintf(stderr, "vorax_fuzz: the second run of the input differs in its %s:\n", what);
  std::fprintf(stderr, "  first:  %s\n", first.substr(from, first.find('\n', from) - from).c_str());
  std::fprintf(stderr, "  second: %s\n",
               second.substr(from, second.find('\n', from) - from).c_str());
}

// The areas are reset between runs, so two runs of one input must write the same; a
// difference means some state survived the reset and is reported as a fault. Running every
// input twice would halve the rate of the search, so one input in four, chosen by its
// content (a reproducer is checked again), runs a second time.
bool runs_twice(const std::uint8_t *data, std::size_t size) {
  std::uint32_t hash = 2166136261u; // FNV-1a
  for (std::size_t i = 0; i < size; ++i)
    hash = (hash ^ data[i]) * 16777619u;
  return hash % 4 == 0;
}

bool same_outcome(const Outcome &first, const Outcome &second) {
  bool same = true;
  if (first.status != second.status) {
    std::fprintf(stderr, "vorax_fuzz: exit status %d, then %d\n", first.status, second.status);
    same = false;
  }
  const auto compare = [&same](const char *what, const std::string &a, const std::string &b) {
    if (a != b) {
      report_difference(what, a, b);
      same = false;
    }
  };
  compare("listing", first.listing, second.listing);
  compare("log", first.log, second.log);
  compare("terminal text", first.terminal, second.terminal);
  if (first.files != second.files) {
    std::fprintf(stderr, "vorax_fuzz: the second run of the input wrote other files\n");
    same = false;
  }
  return same;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  vorax::set_clock_source(fixed_clock);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const vorax::fuzz::DeckInput in =
      vorax::fuzz::split_deck_input({reinterpret_cast<const char *>(data), size});
  const Outcome first = run_once(in);
  if (runs_twice(data, size) && !same_outcome(first, run_once(in)))
    std::abort();
  return 0;
}
