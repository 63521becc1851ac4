// In-process test harness for whole decks.
#include "harness.h"

#include "common/limits.h"
#include "common/reset.h"
#include "common/units.h"
#include "output/result_files.h"
#include "program/program.h"

#include "deck_input.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vorax::test {

namespace {

std::string read_file(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string golden_name_in_force; // set by GoldenName

// The golden listing of the n-th deck run by the current test: tests/golden/listings/
// SUITE.TEST_n.txt, or NAME_n.txt while a GoldenName gives the name.
std::string golden_path() {
  const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = !golden_name_in_force.empty() ? golden_name_in_force
                     : info ? std::string(info->test_suite_name()) + "." + info->name()
                            : "none";
  for (char &c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_')
      c = '_';
  static std::map<std::string, int> runs;
  name += "_" + std::to_string(++runs[name]);
  return std::string(VORAX_SOURCE_DIR) + "/tests/golden/listings/" + name + ".txt";
}

// The first line where two texts differ, for a readable failure.
std::string first_difference(const std::string &want, const std::string &got) {
  std::istringstream a(want), b(got);
  std::string la, lb;
  for (int n = 1;; ++n) {
    const bool ha = static_cast<bool>(std::getline(a, la));
    const bool hb = static_cast<bool>(std::getline(b, lb));
    if (!ha && !hb)
      return "the texts differ only in their line ends";
    if (!ha || !hb || la != lb)
      return "line " + std::to_string(n) + "\n  golden: " + (ha ? la : "<end>") +
             "\n  now:    " + (hb ? lb : "<end>");
  }
}

// Every deck a test runs is also a guard against unintended change of any listing: its exit
// status, terminal text, listing and log must equal its golden text byte for byte. `make
// golden` records them all afresh after an intended change (read the diff before committing);
// with VORAX_UPDATE_GOLDEN set, runs record instead of compare. A deck without a golden text
// (a test added since the last recording) is not compared.
void compare_with_golden(const DeckRun &run) {
  const std::string path = golden_path();
  const std::string got = "== exit status " + std::to_string(run.status) + "\n== terminal\n" +
                          run.terminal + "== listing\n" + run.listing + "== log\n" + run.log;
  if (std::getenv("VORAX_UPDATE_GOLDEN")) {
    std::ofstream(path, std::ios::binary) << got;
    return;
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return;
  const std::string want = read_file(path);
  EXPECT_TRUE(want == got) << "the listing differs from its golden text " << path << " at "
                           << first_difference(want, got);
}

// With VORAX_FUZZ_CORPUS naming a directory, every deck a test runs (with its standard input
// and files) is also written there as a seed for the deck fuzzer, named by its content.
void keep_as_seed(std::string_view deck, std::string_view standard_input,
                  const std::map<std::string, std::string> &files) {
  const char *dir = std::getenv("VORAX_FUZZ_CORPUS");
  if (!dir || !*dir)
    return;
  const std::string text =
      fuzz::join_deck_input({std::string(deck), std::string(standard_input), files});
  char name[32];
  std::snprintf(name, sizeof name, "/seed-%016zx", std::hash<std::string>{}(text));
  std::ofstream(std::string(dir) + name, std::ios::binary) << text;
}

} // namespace

SizedMachine::SizedMachine(int max_positions) {
  size_machine_tables(max_positions);
}

SizedMachine::~SizedMachine() {
  size_machine_tables(MAXPOS_ELEMENTS);
}

GoldenName::GoldenName(std::string name) : previous_(std::move(golden_name_in_force)) {
  golden_name_in_force = std::move(name);
}
GoldenName::~GoldenName() {
  golden_name_in_force = std::move(previous_);
}

void start_in_memory(std::string_view deck, std::string_view standard_input) {
  reset_all_areas();
  bind_units_in_memory(deck, standard_input);
}

std::string listing_text() {
  return captured_output(LISTING_UNIT);
}
std::string log_text() {
  return captured_output(LOG_UNIT);
}
std::string terminal_text() {
  return captured_output(TERMINAL);
}

namespace {

// The regular files of a directory by name (with prefix), removed once read.
void collect_files(const std::string &dir, const std::string &prefix,
                   const std::map<std::string, std::string> &keep,
                   std::map<std::string, std::string> &out) {
  DIR *d = ::opendir(dir.c_str());
  if (!d)
    return;
  while (dirent *e = ::readdir(d)) {
    const std::string name = e->d_name, path = dir + "/" + name;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      if (!keep.count(name))
        out[prefix + name] = read_file(path);
      ::unlink(path.c_str());
    }
  }
  ::closedir(d);
}

DeckRun run_in_directory(std::string_view deck, std::string_view standard_input,
                         const std::map<std::string, std::string> &files, ResultDirs dirs) {
  keep_as_seed(deck, standard_input, files);
  char tmpl[] = "/tmp/vorax-test-XXXXXX";
  const char *dir = ::mkdtemp(tmpl);
  char old[4096];
  const bool have_old = ::getcwd(old, sizeof old) != nullptr;
  if (dir && ::chdir(dir) == 0) {
    for (const auto &[name, content] : files) {
      std::ofstream f(name, std::ios::binary);
      f << content;
    }
  }
  start_in_memory(deck, standard_input);
  if (dirs.tables && ::mkdir("tables", 0755) == 0)
    resout.tables_dir = "tables";
  if (dirs.plots && ::mkdir("plots", 0755) == 0)
    resout.plots_dir = "plots";
  DeckRun run;
  run.status = run_program();
  flush_all_units();
  run.listing = listing_text();
  run.log = log_text();
  run.terminal = terminal_text();
  reset_units();
  if (dir) {
    collect_files(".", "", files, run.files);
    for (const char *sub : {"tables", "plots"}) {
      collect_files(sub, std::string(sub) + "/", {}, run.files);
      ::rmdir(sub);
    }
  }
  if (have_old && ::chdir(old) != 0)
    std::abort();
  if (dir)
    ::rmdir(dir);
  return run;
}

} // namespace

DeckRun run_deck(std::string_view deck, std::string_view standard_input,
                 const std::map<std::string, std::string> &files) {
  DeckRun run = run_in_directory(deck, standard_input, files, {false, false});
  compare_with_golden(run);
  return run;
}

// Runs with result files are not compared with a golden text: their listing must be that of
// the same deck without them, which the tests compare directly.
DeckRun run_deck_with_results(std::string_view deck, ResultDirs dirs,
                              std::string_view standard_input) {
  return run_in_directory(deck, standard_input, {}, dirs);
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream s(text);
  std::string line;
  while (std::getline(s, line))
    out.push_back(line);
  return out;
}

int count_of(const std::string &text, std::string_view what) {
  if (what.empty())
    return 0;
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos;
       p = text.find(what, p + what.size()))
    ++n;
  return n;
}

bool contains(const std::string &text, std::string_view what) {
  return text.find(what) != std::string::npos;
}

namespace {

// Numbers in text from position p on, in Fortran E/D/F forms.
std::vector<double> scan_numbers(const std::string &text, std::size_t p, std::size_t end, int max) {
  std::vector<double> out;
  while (p < end && static_cast<int>(out.size()) < max) {
    const char c = text[p];
    const bool starts = (c >= '0' && c <= '9') ||
                        ((c == '-' || c == '+' || c == '.') && p + 1 < end &&
                         ((text[p + 1] >= '0' && text[p + 1] <= '9') || text[p + 1] == '.'));
    if (!starts) {
      ++p;
      continue;
    }
    std::size_t q = p;
    std::string num;
    while (q < end) {
      char ch = text[q];
      if ((ch >= '0' && ch <= '9') || ch == '.' || ch == 'E' || ch == 'e' || ch == 'D' ||
          ((ch == '-' || ch == '+') &&
           (q == p || text[q - 1] == 'E' || text[q - 1] == 'e' || text[q - 1] == 'D'))) {
        num.push_back(ch == 'D' ? 'E' : ch);
        ++q;
      } else {
        break;
      }
    }
    // A Fortran exponent without its letter (0.1234+100) is not split here; such values are rare.
    out.push_back(std::strtod(num.c_str(), nullptr));
    p = q;
  }
  return out;
}

} // namespace

double number_after(const std::string &text, std::string_view label, int n) {
  const std::size_t p = text.find(label);
  if (p == std::string::npos)
    return std::nan("");
  std::vector<double> v = scan_numbers(text, p + label.size(), text.size(), n);
  if (static_cast<int>(v.size()) < n)
    return std::nan("");
  return v[static_cast<std::size_t>(n - 1)];
}

std::vector<double> numbers_after(const std::string &text, std::string_view label) {
  const std::size_t p = text.find(label);
  if (p == std::string::npos)
    return {};
  std::size_t end = text.find('\n', p);
  if (end == std::string::npos)
    end = text.size();
  return scan_numbers(text, p + label.size(), end, 1000);
}

} // namespace vorax::test
