// The folders of src/ form layers: a file includes headers of its own folder and of lower ones
// only. A lower folder reaches a higher one through a hook the higher one installs, never
// through an include; this test reads every include of the sources and fails on any other.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorax::test {
namespace {

// The layers, lowest first (docs/architecture.md draws them). A new folder takes its place here.
constexpr std::array<std::string_view, 10> LAYERS = {
    "common", "input", "engine", "maps", "track", "errors", "output", "optics", "fit", "program"};

// The other programs of the project, each in a folder of its own beside the layers: it stands
// on the layers up to the one named and no layer includes it.
constexpr std::array<std::pair<std::string_view, std::string_view>, 2> PROGRAMS = {
    {{"collect", "common"}, {"import", "common"}}};

std::optional<int> layer_of(std::string_view folder) {
  const auto at = std::find(LAYERS.begin(), LAYERS.end(), folder);
  if (at != LAYERS.end())
    return static_cast<int>(at - LAYERS.begin());
  // A program's folder counts as the layer it stands on for what it includes.
  for (const auto &[program, top] : PROGRAMS)
    if (program == folder)
      return layer_of(top);
  return std::nullopt;
}

bool is_program(std::string_view folder) {
  return std::any_of(PROGRAMS.begin(), PROGRAMS.end(),
                     [&](const auto &p) { return p.first == folder; });
}

// What is wrong with one include line of a file in folder `from`, or "" when nothing is:
// an include of a higher folder, of a folder outside the layers, or one that climbs out of
// its folder with "..". Includes without a folder (the file's own folder, libraries) pass.
std::string include_fault(std::string_view from, const std::string &line) {
  static const std::regex include(R"(^\s*#\s*include\s*"([^"]*)\")");
  std::smatch m;
  if (!std::regex_search(line, m, include))
    return "";
  const std::string target = m[1];
  if (target.find("..") != std::string::npos)
    return "climbs out of its folder";
  const auto slash = target.find('/');
  if (slash == std::string::npos)
    return "";
  const std::string folder = target.substr(0, slash);
  if (folder == from)
    return "";
  if (is_program(folder))
    return "includes the program folder " + folder;
  const auto to = layer_of(folder);
  if (!to)
    return "includes folder " + folder + ", which has no place among the layers";
  if (*to > *layer_of(from))
    return "includes the higher folder " + folder;
  return "";
}

TEST(Layers, TheCheckFindsAnUpwardInclude) {
  EXPECT_EQ(include_fault("optics", R"(#include "fit/fitting.h")"),
            "includes the higher folder fit");
  EXPECT_EQ(include_fault("common", R"(  # include "input/reader.h" // for the reader)"),
            "includes the higher folder input");
  EXPECT_EQ(include_fault("maps", R"(#include "../fit/fitting.h")"), "climbs out of its folder");
  EXPECT_EQ(include_fault("maps", R"(#include "tracking/kernels.h")"),
            "includes folder tracking, which has no place among the layers");
  EXPECT_EQ(include_fault("fit", R"(#include "optics/matrix_operation.h")"), "");
  EXPECT_EQ(include_fault("track", R"(#include "track/map_kernels.h")"), "");
  EXPECT_EQ(include_fault("fit", R"(#include "minimiser.h")"), "");
  EXPECT_EQ(include_fault("fit", R"(#include <cminpack.h>)"), "");
  EXPECT_EQ(include_fault("collect", R"(#include "common/tfs_format.h")"), "");
  EXPECT_EQ(include_fault("collect", R"(#include "collect/statistics.h")"), "");
  EXPECT_EQ(include_fault("collect", R"(#include "output/tfs.h")"),
            "includes the higher folder output");
  EXPECT_EQ(include_fault("program", R"(#include "collect/collector.h")"),
            "includes the program folder collect");
  EXPECT_EQ(include_fault("import", R"(#include "common/cavity_masses.h")"), "");
  EXPECT_EQ(include_fault("import", R"(#include "input/reader.h")"),
            "includes the higher folder input");
  EXPECT_EQ(include_fault("program", R"(#include "import/lattice.h")"),
            "includes the program folder import");
}

// Every folder of src/ has its place, and no file includes a folder above its own. The files
// directly in src/ (the program's main) stand above every folder.
TEST(Layers, NoFolderIncludesAHigherOne) {
  const std::filesystem::path src = std::filesystem::path(VORAX_SOURCE_DIR) / "src";
  int includes = 0;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(src)) {
    if (entry.is_directory()) {
      const std::string folder = entry.path().lexically_relative(src).begin()->string();
      EXPECT_TRUE(layer_of(folder) || is_program(folder))
          << "src/" << folder << " has no place among the layers";
      continue;
    }
    const std::filesystem::path relative = entry.path().lexically_relative(src);
    if (relative.parent_path().empty())
      continue;
    const std::string folder = relative.begin()->string();
    if (!layer_of(folder) && !is_program(folder))
      continue;
    std::ifstream file(entry.path());
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
      if (line.find("#") == std::string::npos || line.find("include") == std::string::npos)
        continue;
      ++includes;
      const std::string fault = include_fault(folder, line);
      EXPECT_EQ(fault, "") << "src/" << relative.string() << ":" << number << ": " << line;
    }
  }
  EXPECT_GT(includes, 300);
}

} // namespace
} // namespace vorax::test
