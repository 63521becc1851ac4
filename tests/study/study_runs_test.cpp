// The tutorial's study on one machine: its deck run for three seeds side by side in one
// directory, each run repeated alone byte for byte, and the collected statistics equal to those
// computed from the runs' own tables.
#include "programs.h"
#include "support/result_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

using namespace vorax::test;

namespace {

const std::string VORAX = VORAX_BINARY;
const std::string COLLECT = VORAX_COLLECT_BINARY;
const std::string STUDY = std::string(VORAX_SOURCE_DIR) + "/examples/study.vx";

std::vector<std::string> task(int seed) {
  return {"study.vx", "--seed", std::to_string(seed), "--out", "runs/task-" + std::to_string(seed)};
}

ParsedTfs parsed(const std::string &path) {
  ParsedTfs t;
  EXPECT_EQ(parse_tfs(file_text(path), t), "") << path;
  return t;
}

TEST(StudyRuns, SeedsRunSideBySideRepeatAloneAndCollect) {
  WorkDir dir, alone;
  std::filesystem::copy_file(STUDY, dir / "study.vx");
  std::filesystem::copy_file(STUDY, alone / "study.vx");
  // Three runs started at once in one directory.
  pid_t pids[3];
  for (int seed = 1; seed <= 3; ++seed)
    pids[seed - 1] = start_program(dir.path(), VORAX, task(seed), seed);
  for (int seed = 1; seed <= 3; ++seed) {
    const ProgramRun run = wait_program(pids[seed - 1], dir.path(), seed);
    EXPECT_EQ(run.status, 0) << run.terminal;
  }
  EXPECT_EQ(files_under(dir.path()).size(), 1u + 3 * files_under(dir / "runs/task-1").size())
      << "every file of a run is in its own directory";
  const std::map<std::string, std::string> two = files_under(dir / "runs/task-2");
  for (const char *name : {"listing.txt", "ERROR_.ech", "coco_1.tfs", "coco_1_correctors.tfs",
                           "corr_1.tfs", "trac_1.tfs", "trac_1_losses.tfs"})
    EXPECT_EQ(two.count(name), 1u) << name;
  EXPECT_NE(two.at("listing.txt").find("OPERATION LIST"), std::string::npos);
  EXPECT_NE(two.at("coco_1.tfs"), files_under(dir / "runs/task-3").at("coco_1.tfs"));
  // The same command line alone, elsewhere: the same files, byte for byte.
  const ProgramRun run = run_program_in(alone.path(), VORAX, task(2));
  ASSERT_EQ(run.status, 0) << run.terminal;
  EXPECT_TRUE(files_under(alone / "runs/task-2") == two);

  // The statistics of the corrected orbit over the runs, from their tables' headers.
  const ProgramRun collect =
      run_program_in(dir.path(), COLLECT,
                     {"--headers", "--runs", "1-3", "runs/task-%a/coco_1.tfs", "--columns",
                      "RMS_X_AFTER,RMS_Y_AFTER", "--percentiles", "50", "--stats-tfs", "stats.tfs",
                      "-o", "all.tfs"});
  ASSERT_EQ(collect.status, 0) << collect.terminal;
  const ParsedTfs stats = parsed(dir / "stats.tfs");
  ASSERT_EQ(stats.rows.size(), 2u);
  for (std::size_t row = 0; row < 2; ++row) {
    const std::string column = stats.text(row, "COLUMN");
    std::vector<double> v;
    for (int seed = 1; seed <= 3; ++seed)
      v.push_back(
          parsed(dir / ("runs/task-" + std::to_string(seed) + "/coco_1.tfs")).header_real(column));
    std::sort(v.begin(), v.end());
    const double mean = (v[0] + v[1] + v[2]) / 3;
    const double rms = std::sqrt((v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) / 3);
    EXPECT_EQ(stats.real(row, "N"), 3.0);
    EXPECT_NEAR(stats.real(row, "MEAN"), mean, 1e-15 * mean) << column;
    EXPECT_NEAR(stats.real(row, "RMS"), rms, 1e-15 * rms) << column;
    EXPECT_EQ(stats.real(row, "MIN"), v[0]) << column;
    EXPECT_EQ(stats.real(row, "MAX"), v[2]) << column;
    EXPECT_EQ(stats.real(row, "P50"), v[1]) << column;
  }
  // Each row of the collection says which run it came from.
  const ParsedTfs all = parsed(dir / "all.tfs");
  ASSERT_EQ(all.rows.size(), 3u);
  for (std::size_t row = 0; row < 3; ++row)
    EXPECT_EQ(all.real(row, "RUN_SEED"), static_cast<double>(row + 1));
}

} // namespace
