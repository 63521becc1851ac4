// In-process test harness: runs a whole deck with the deck and standard input bound to texts,
// and returns the listing, the message log, the terminal text, the exit status and the files
// the run left in its working directory.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vorax::test {

struct DeckRun {
  std::string listing;                      // unit 16
  std::string log;                          // unit 9 (FOR009.DAT or the title-named file)
  std::string terminal;                     // standard error
  int status = 0;                           // exit status
  std::map<std::string, std::string> files; // files written in the working directory
};

// Resets every global area, runs the deck in a fresh temporary working directory (into which
// `files` are written first), and collects the results.
DeckRun run_deck(std::string_view deck, std::string_view standard_input = "",
                 const std::map<std::string, std::string> &files = {});

// While it lives, the golden texts of the decks run are named NAME_1, NAME_2 ... instead of after
// the test: a test that runs decks it finds (the manual's) keeps each one's text under a name
// that does not change when decks are added elsewhere.
class GoldenName {
public:
  explicit GoldenName(std::string name);
  ~GoldenName();
  GoldenName(const GoldenName &) = delete;
  GoldenName &operator=(const GoldenName &) = delete;

private:
  std::string previous_;
};

// The same with the result files asked for as --tables tables --plots plots would: what the run
// writes there is in files under "tables/NAME" and "plots/NAME".
struct ResultDirs {
  bool tables = true;
  bool plots = true;
};
DeckRun run_deck_with_results(std::string_view deck, ResultDirs dirs = {},
                              std::string_view standard_input = "");

// For its lifetime the machine tables are sized for max_positions element positions, as
// --max-positions asks; then the classic sizes are back.
class SizedMachine {
public:
  explicit SizedMachine(int max_positions);
  ~SizedMachine();
  SizedMachine(const SizedMachine &) = delete;
  SizedMachine &operator=(const SizedMachine &) = delete;
};

// For tests that call routines directly: reset every area and bind the units in memory.
void start_in_memory(std::string_view deck = "", std::string_view standard_input = "");
std::string listing_text(); // what unit 16 received so far
std::string log_text();     // what unit 9 received so far
std::string terminal_text();

// Text helpers for assertions.
std::vector<std::string> lines_of(const std::string &text);
int count_of(const std::string &text, std::string_view what);
bool contains(const std::string &text, std::string_view what);
// The n-th (1-based) number that follows the first occurrence of label (same line or later).
double number_after(const std::string &text, std::string_view label, int n = 1);
// All numbers of the first line containing label, after the label.
std::vector<double> numbers_after(const std::string &text, std::string_view label);

} // namespace vorax::test
