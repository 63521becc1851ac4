// vorax-collect on the tables of real runs: the rows and header numbers of many runs under
// their identity, statistics equal to those computed from the runs' own tables, runs that
// cannot be used left out and counted, and tables that do not belong together refused.
#include "collect/collector.h"
#include "harness.h"
#include "support/result_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

using namespace vorax::test;
using vorax::collect::run_collect;

namespace {

// A small ring whose focusing each run sets, as a run given --set KF=VALUE would.
std::string ring_deck(const std::string &kf) {
  return "TITLE\nCOLLECTED RING\nKF = " + kf +
         "\nQF: QUADRUPOLE, L = 0.5, K1 = KF\nQD: QUADRUPOLE, L = 0.5, K1 = -KF\n"
         "B: SBEND, L = 2.0, ANGLE = 0.3926990816987241\nD: DRIFT, L = 0.5\n"
         "CELL: LINE = (QF, D, B, D, QD, D, B, D)\nRING: LINE = (8*CELL)\nUSE, RING\nVORAX\n"
         "MATRIX\n 1,\nMACHINE\n 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0;\nSTOP\n";
}

// The identity a run of a study writes into its tables, after their ORIGIN line.
std::string with_identity(const std::string &table, const std::string &identity) {
  const std::size_t at = table.find('\n', table.find("@ ORIGIN")) + 1;
  return table.substr(0, at) + identity + table.substr(at);
}

std::string identity_lines(int seed, const std::string &kf) {
  return "@ RUN_DECK         %s  \"study.vx\"\n@ RUN_SEED         %d  " + std::to_string(seed) +
         "\n@ RUN_SET          %s  \"KF=" + kf + " LQ=0.5\"\n";
}

std::string focusing(int run) {
  return "0.8" + std::to_string(run);
}

class CollectRuns : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorax-collect-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string &name) const { return dir_ + "/" + name; }
  void write(const std::string &name, const std::string &text) const {
    std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
    std::ofstream(path(name)) << text;
  }
  std::string read(const std::string &name) const {
    std::ifstream f(path(name));
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  // Runs of the ring for seeds 1..n, their tables in run<k>/ as a study writes them.
  void write_runs(int n) {
    for (int k = 1; k <= n; ++k) {
      const std::string kf = focusing(k);
      const DeckRun run = run_deck_with_results(ring_deck(kf), {true, false});
      ASSERT_EQ(run.status, 0) << run.terminal;
      for (const char *table : {"matr_1.tfs", "mach_1.tfs"})
        write("run" + std::to_string(k) + "/" + table,
              with_identity(run.files.at(std::string("tables/") + table), identity_lines(k, kf)));
    }
  }
  ParsedTfs parsed(const std::string &name) const {
    ParsedTfs t;
    EXPECT_EQ(parse_tfs(read(name), t), "") << name;
    return t;
  }

  std::string dir_;
};

TEST_F(CollectRuns, RowsOfEveryRunUnderItsIdentityAsTheRunWroteThem) {
  write_runs(3);
  const auto out = run_collect({"--runs", "1-3", path("run%a/mach_1.tfs"), "-o", path("all.tfs")});
  ASSERT_EQ(out.status, 0) << out.terminal;
  EXPECT_TRUE(contains(out.terminal, "3 of 3 runs used")) << out.terminal;
  const ParsedTfs all = parsed("all.tfs");
  const std::vector<std::string> identity{"FILE", "RUN_DECK", "RUN_SEED", "SET_KF", "SET_LQ"};
  ASSERT_GT(all.columns.size(), identity.size());
  EXPECT_TRUE(std::equal(identity.begin(), identity.end(), all.columns.begin()));
  EXPECT_EQ(all.formats[2], "%d");
  EXPECT_EQ(all.formats[3], "%le"); // an override's number stays a number
  EXPECT_EQ(all.header.at("TITLE"), "COLLECTED RING");
  EXPECT_EQ(all.header.at("RUNS"), "3");
  std::size_t row = 0;
  for (int k = 1; k <= 3; ++k) {
    const ParsedTfs run = parsed("run" + std::to_string(k) + "/mach_1.tfs");
    ASSERT_EQ(std::vector<std::string>(all.columns.begin() + 5, all.columns.end()), run.columns);
    for (std::size_t r = 0; r < run.rows.size(); ++r, ++row) {
      ASSERT_LT(row, all.rows.size());
      EXPECT_EQ(all.rows[row][0], path("run" + std::to_string(k) + "/mach_1.tfs"));
      EXPECT_EQ(all.rows[row][2], std::to_string(k));
      EXPECT_EQ(std::strtod(all.rows[row][3].c_str(), nullptr),
                std::strtod(focusing(k).c_str(), nullptr));
      // Every cell as the run wrote it: the 17 digits survive the collection.
      EXPECT_TRUE(std::equal(run.rows[r].begin(), run.rows[r].end(), all.rows[row].begin() + 5));
    }
  }
  EXPECT_EQ(row, all.rows.size());
}

// The statistics of header numbers over runs against the plain formulas on the runs' own
// tables; and the same runs named in another order give the same bits.
TEST_F(CollectRuns, HeaderStatisticsEqualThoseOfTheRunsOwnTablesInAnyOrder) {
  write_runs(4);
  const auto out = run_collect({"--headers", path("run*/matr_1.tfs"), "--percentiles", "25,50",
                                "--stats-tfs", path("stats.tfs"), "-o", path("all.tfs")});
  ASSERT_EQ(out.status, 0) << out.terminal;
  const ParsedTfs all = parsed("all.tfs");
  ASSERT_EQ(all.rows.size(), 4u);
  EXPECT_EQ(all.header.at("COLLECTED"), "HEADERS");
  EXPECT_LT(all.column("Q1"), all.column("Q2"));
  EXPECT_EQ(all.column("RUN_SEED"), 2); // identity, not a result
  std::vector<double> q1;
  for (int k = 1; k <= 4; ++k)
    q1.push_back(parsed("run" + std::to_string(k) + "/matr_1.tfs").header_real("Q1"));
  std::sort(q1.begin(), q1.end());
  double sum = 0, squares = 0, deviations = 0;
  for (double x : q1)
    sum += x, squares += x * x;
  const double mean = sum / 4;
  for (double x : q1)
    deviations += (x - mean) * (x - mean);
  const ParsedTfs stats = parsed("stats.tfs");
  std::size_t row = 0;
  while (row < stats.rows.size() && stats.text(row, "COLUMN") != "Q1")
    ++row;
  ASSERT_LT(row, stats.rows.size());
  const double expected[] = {mean, std::sqrt(squares / 4), std::sqrt(deviations / 4), q1[0], q1[3],
                             // rank (n - 1) p / 100: 0.75 and 1.5
                             q1[0] + 0.75 * (q1[1] - q1[0]), (q1[1] + q1[2]) / 2};
  const char *names[] = {"MEAN", "RMS", "STD", "MIN", "MAX", "P25", "P50"};
  for (int i = 0; i < 7; ++i)
    EXPECT_NEAR(stats.real(row, names[i]), expected[i], 1e-15 * std::fabs(expected[i])) << names[i];
  EXPECT_EQ(stats.real(row, "N"), 4);
  EXPECT_TRUE(contains(out.standard_output, "runs used: 4 of 4")) << out.standard_output;

  const auto reversed = run_collect({"--headers", path("run4/matr_1.tfs"), path("run3/matr_1.tfs"),
                                     path("run2/matr_1.tfs"), path("run1/matr_1.tfs"),
                                     "--percentiles=25,50", "--stats-tfs", path("again.tfs")});
  ASSERT_EQ(reversed.status, 0) << reversed.terminal;
  EXPECT_EQ(read("again.tfs"), read("stats.tfs"));
}

// A missing run, one cut short, two marked incomplete (in either way) and an empty file are reported and left
// out: the statistics are those of the runs used, not of zeros in their place.
TEST_F(CollectRuns, RunsThatCannotBeUsedAreReportedAndLeftOut) {
  write_runs(3);
  const std::string whole = read("run3/matr_1.tfs");
  write("run4/matr_1.tfs", whole.substr(0, whole.size() - 5));
  write("run5/matr_1.tfs", whole + "@ INCOMPLETE     %s  \"stopped at turn 3\"\n");
  write("run6/matr_1.tfs", "");
  // As a run stopped during its operation leaves the table: every row there, its STATUS not
  // yet COMPLETE.
  std::string stopped = whole;
  const std::size_t status = stopped.find("\"COMPLETE\"  ");
  ASSERT_NE(status, std::string::npos) << whole;
  stopped.replace(status, 12, "\"INCOMPLETE\"");
  write("run8/matr_1.tfs", stopped);
  const auto out = run_collect({"--headers", "--runs", "1-8", path("run%a/matr_1.tfs"), "--columns",
                                "Q1", "--stats-tfs", path("stats.tfs"), "-o", path("all.tfs")});
  EXPECT_EQ(out.status, 1);
  for (const char *report : {"run4/matr_1.tfs: incomplete (its last line is cut short)",
                             "run5/matr_1.tfs: incomplete (it is marked INCOMPLETE)",
                             "run6/matr_1.tfs: incomplete (the table is empty)",
                             "run7/matr_1.tfs: missing",
                             "run8/matr_1.tfs: incomplete (its STATUS is INCOMPLETE)",
                             "3 of 8 runs used, 5 left out"})
    EXPECT_TRUE(contains(out.terminal, report)) << report << "\n" << out.terminal;
  const ParsedTfs stats = parsed("stats.tfs");
  EXPECT_EQ(stats.header.at("RUNS"), "3");
  EXPECT_EQ(stats.header.at("RUNS_LEFT_OUT"), "5");
  double sum = 0;
  for (int k = 1; k <= 3; ++k)
    sum += parsed("run" + std::to_string(k) + "/matr_1.tfs").header_real("Q1");
  EXPECT_NEAR(stats.real(0, "MEAN"), sum / 3, 1e-15);
  EXPECT_EQ(parsed("all.tfs").rows.size(), 3u);
}

// Tables of another kind or other columns, and a collected table collected again, are refused
// with the file named and nothing written; so are bad options and unwritable places.
TEST_F(CollectRuns, TablesThatDoNotBelongTogetherAndBadOptionsAreRefused) {
  write_runs(2);
  std::string other = read("run2/mach_1.tfs");
  other.replace(other.find("BETX", other.find("\n*")), 4, "BETA");
  write("other/mach_1.tfs", other);
  std::string fewer = read("run2/matr_1.tfs");
  fewer.erase(fewer.find("@ Q2"), fewer.find('\n', fewer.find("@ Q2")) - fewer.find("@ Q2") + 1);
  write("fewer/matr_1.tfs", fewer);
  ASSERT_EQ(run_collect({path("run1/mach_1.tfs"), "-o", path("merged.tfs")}).status, 0);
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{path("run1/mach_1.tfs"), path("run2/matr_1.tfs")},
       path("run2/matr_1.tfs") + ": a table MATR_1 of type MAP, not MACH_1 of type TWISS"},
      {{path("run1/mach_1.tfs"), path("other/mach_1.tfs")},
       path("other/mach_1.tfs") + ": column 5 BETA %le, not BETX %le"},
      {{"--headers", path("run1/matr_1.tfs"), path("fewer/matr_1.tfs")},
       path("fewer/matr_1.tfs") + ": no number Q2"},
      {{path("merged.tfs")}, "its column FILE has the name of an identity column"},
      {{path("run1/mach_1.tfs"), "--columns", "BETX,NAME"}, "the column NAME holds texts"},
      {{path("run1/mach_1.tfs"), "--columns", "BETZ"}, "has no column BETZ"},
      {{path("run1/mach_1.tfs"), "--percentiles", "5,101"}, "\"101\" is not a percentile"},
      {{"--runs", "3-1", path("run%a/mach_1.tfs")}, "\"3-1\" is an empty range"},
      {{"--runs", "1-2", path("run1/mach_1.tfs")}, "holds its run number as %a"},
      {{path("run1/mach_1.tfs"), "-o", path("none/x.tfs")}, "cannot write " + path("none/x.tfs")},
      {{path("run1/mach_1.tfs"), "-o", "-", "--stats", "-"}, "cannot both go to standard output"},
      {{path("nothing.tfs")}, "no table to collect"},
      {{path("run1/mach_1.tfs"), "--frobnicate"}, "unknown option --frobnicate"},
  };
  for (const auto &c : cases) {
    auto args = c.args;
    args.insert(args.end(), {"--stats-tfs", path("stats.tfs")});
    const auto out = run_collect(args);
    EXPECT_EQ(out.status, 2) << c.message;
    EXPECT_TRUE(contains(out.terminal, c.message)) << c.message << "\n" << out.terminal;
    EXPECT_FALSE(std::filesystem::exists(path("stats.tfs"))) << c.message;
  }
}

// The program itself: the collected table alone on standard output when it goes there, the
// statistics and the summary on the terminal, and the exit status of left-out runs.
TEST_F(CollectRuns, TheProgramKeepsTheTableAloneOnStandardOutput) {
  write_runs(1);
  const std::string command = std::string(VORAX_COLLECT_BINARY) + " -o - " +
                              path("run1/mach_1.tfs") + " " + path("run2/mach_1.tfs") + " 2>" +
                              path("terminal.txt");
  std::FILE *pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string table;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    table.append(buffer, n);
  const int status = ::pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  ParsedTfs t;
  EXPECT_EQ(parse_tfs(table, t), "");
  EXPECT_EQ(t.header.at("RUNS_LEFT_OUT"), "1");
  const std::string terminal = read("terminal.txt");
  EXPECT_TRUE(contains(terminal, "run2/mach_1.tfs: missing")) << terminal;
  EXPECT_TRUE(contains(terminal, "runs used: 1 of 2, left out: 1")) << terminal;
}

} // namespace
