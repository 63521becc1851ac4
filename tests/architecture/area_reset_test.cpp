// The area registry: every area comes back to its program-start values in place, whatever was
// written into it, and without a copy on the stack however large it is; and no area declared
// in the sources is left out of the registry.
#include "harness.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/random_numbers.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "engine/engine_start.h"
#include "engine/operation_data.h"
#include "fit/fit_areas.h"
#include "input/command_loop.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/reader.h"
#include "maps/symmap.h"
#include "optics/optics_areas.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pthread.h>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace vorax::test {
namespace {

// Noise over every byte of an area; the areas hold numbers and characters only.
template <class Area> void scribble(Area &area, std::mt19937 &noise) {
  static_assert(std::is_trivially_copyable_v<Area>);
  auto *bytes = reinterpret_cast<unsigned char *>(&area);
  for (std::size_t i = 0; i < sizeof(Area); ++i)
    bytes[i] = static_cast<unsigned char>(noise());
}

// The area equals, byte for byte, one freshly built by its default constructor.
template <class Area> bool at_start(const Area &area) {
  const auto fresh = std::make_unique<Area>();
  return std::memcmp(&area, fresh.get(), sizeof(Area)) == 0;
}

// Areas of fixed size of every folder that has any (track, errors, output and program have none
// of their own), small and large, with and without a constructor of their own. Those with
// machine tables are checked below.
template <class F> void for_each_area(F f) {
  f(control, "control");
  f(const_, "const_");
  f(mat, "mat");
  f(analc, "analc");
  f(cran, "cran");
  f(rdbuff, "rdbuff");
  f(stack, "stack");
  f(prtcls, "prtcls");
  f(opline, "opline");
  f(tarvocav, "tarvocav");
  f(func, "func");
  f(fitl, "fitl");
  f(lmwork, "lmwork");
}

TEST(AreaReset, EveryAreaComesBackToItsStartValues) {
  std::mt19937 noise(9);
  for_each_area([&](auto &area, const char *) { scribble(area, noise); });
  for_each_area([](auto &area, const char *name) { EXPECT_FALSE(at_start(area)) << name; });
  reset_all_areas();
  for_each_area([](auto &area, const char *name) { EXPECT_TRUE(at_start(area)) << name; });
}

// Areas with machine tables come back at the run's size with their start values, however they
// were written: scalars, table entries and name indexes alike.
TEST(AreaReset, MachineAreasComeBackAtTheRunsSize) {
  for (const int positions : {20'000, MAXPOS_ELEMENTS}) {
    size_machine_tables(positions);
    const MachineLimits &limits = machine_limits();
    pardat.low_count = 3;
    pardat.high_mark = 7;
    pardat.kind.fill(5);
    parnam.name(1) = Name8("X");
    EXPECT_EQ(parnam.index.find(Name8("X"), parnam.name, 3), 1);
    blank.mseq.fill(9);
    blank.maps(limits.maxmat)(1, 1) = 2.0;
    lincav.ereal(limits.maxpos) = 3.0;
    symmap.entry(limits.maxmat).valid = 1;
    reset_all_areas();
    EXPECT_EQ(pardat.low_count, 0);
    EXPECT_EQ(pardat.high_mark, limits.maxpar + 1);
    EXPECT_EQ(pardat.kind.hi(), limits.maxpar);
    EXPECT_EQ(pardat.kind(limits.maxpar), 0);
    EXPECT_EQ(parnam.name(1), Name8(""));
    EXPECT_EQ(parnam.index.find(Name8("X"), parnam.name, 1), 0);
    EXPECT_EQ(blank.mseq.hi(), limits.maxpos);
    EXPECT_EQ(blank.mseq(limits.maxpos), 0);
    EXPECT_EQ(blank.maps(limits.maxmat)(1, 1), 0.0);
    EXPECT_EQ(lincav.ereal(limits.maxpos), 0.0);
    EXPECT_EQ(lincav.initial_energy, 1.0);
    EXPECT_EQ(symmap.entry(limits.maxmat).valid, 0);
    EXPECT_EQ(elmdat.high_mark, limits.maxelm + 1);
  }
  EXPECT_EQ(pardat.kind.hi(), MAXPAR);
  EXPECT_EQ(blank.maps.hi(), MAXMAT);
}

// Larger than the 8 MB of a usual main-thread stack, as the particle store will be.
struct Huge {
  Table<double, 1, 2'000'000> values;
  int count = 7;
};
static_assert(sizeof(Huge) > 8 * 1024 * 1024);
Huge huge;
const AreaRegistration huge_registration{reset_area<huge>};

void *reset_all(void *) {
  reset_all_areas();
  return nullptr;
}

// The reset runs on a thread whose whole stack is 1 MB: a copy of the huge area built on it
// would overflow it at once.
TEST(AreaReset, LargeAreasAreResetInPlaceOnASmallStack) {
  huge.values.fill(-1.0);
  huge.count = 0;
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 1024 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, reset_all, nullptr), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
  EXPECT_EQ(huge.count, 7);
  EXPECT_EQ(huge.values(1), 0.0);
  EXPECT_EQ(huge.values(2'000'000), 0.0);
}

// A fresh engine entry sets the registered defaults of several folders, and only those.
TEST(AreaReset, EngineDefaultsOfEveryFolderAreSet) {
  reset_all_areas();
  control.print_level = 7;
  const_.pi = 3.0;
  sym.option = 1;
  prodct.ncol = 6;
  limit.count = 3;
  zqvo.mode = 1;
  control.output_unit = 42; // bound by the engine start itself, not a default
  set_engine_defaults();
  EXPECT_EQ(control.print_level, 3);
  EXPECT_EQ(const_.pi, 3.141592653589793);
  EXPECT_EQ(sym.option, 0);
  EXPECT_EQ(prodct.ncol, 27);
  EXPECT_EQ(limit.count, 0);
  EXPECT_EQ(zqvo.mode, 0);
  EXPECT_EQ(control.output_unit, 42);
  reset_all_areas();
}

// The sources of one kind under the top-level folders given, with their text.
std::vector<std::pair<std::string, std::string>>
source_files(std::initializer_list<const char *> folders) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const char *folder : folders) {
    const std::filesystem::path root = std::filesystem::path(VORAX_SOURCE_DIR) / folder;
    if (!std::filesystem::exists(root))
      continue;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
      const auto extension = entry.path().extension();
      if (extension != ".h" && extension != ".cpp")
        continue;
      std::ifstream file(entry.path());
      std::ostringstream text;
      text << file.rdbuf();
      files.emplace_back(entry.path().string(), text.str());
    }
  }
  return files;
}

struct DeclaredArea {
  std::string type, name;
};

// Every area the sources declare (an "inline Type name;" at namespace scope, with or without
// braces or a comment) is registered on the next line, so that a new area cannot be left out
// of the reset. Seams are not areas: they hold the wiring the program installs at its start.
std::vector<DeclaredArea> scan_declared_areas() {
  const std::regex declaration(
      R"(^inline\s+(?!const\b|constexpr\b|Seam<)([A-Z][\w:]*(?:<[^;]*>)?)\s+(\w+)\s*(?:\{\s*\})?\s*;\s*(?://.*)?$)");
  std::vector<DeclaredArea> areas;
  for (const auto &[path, text] : source_files({"src"})) {
    std::istringstream lines(text);
    std::string line, previous_name;
    for (int number = 1; std::getline(lines, line); ++number) {
      if (!previous_name.empty()) {
        EXPECT_TRUE(line.starts_with("inline const AreaRegistration ") &&
                    line.ends_with("{reset_area<" + previous_name + ">};"))
            << path << ":" << number << " " << previous_name << " is not registered";
        previous_name.clear();
      }
      std::smatch m;
      if (line.starts_with("inline ") && std::regex_match(line, m, declaration)) {
        previous_name = m[2];
        areas.push_back({m[1], m[2]});
      }
    }
  }
  return areas;
}

const std::vector<DeclaredArea> &declared_areas() {
  static const std::vector<DeclaredArea> areas = scan_declared_areas();
  return areas;
}

TEST(AreaReset, EveryDeclaredAreaIsRegistered) {
  EXPECT_GE(declared_areas().size(), 50u);
}

// An area that holds machine tables says so, or a run with larger tables would keep it at the
// classic size.
TEST(AreaReset, EveryAreaWithMachineTablesIsRebuiltWithThem) {
  const std::regex machine_table(R"(\b(MachineTable|MachineMatrix|NameIndex)<?)");
  int sized = 0;
  for (const auto &[path, text] : source_files({"src"}))
    for (const auto &[type, name] : declared_areas()) {
      const std::size_t start = text.find("struct " + type + " {");
      if (start == std::string::npos)
        continue;
      const std::string body = text.substr(start, text.find("\n};", start) - start);
      if (!std::regex_search(body, machine_table))
        continue;
      ++sized;
      EXPECT_NE(body.find("static constexpr bool machine_sized = true;"), std::string::npos)
          << path << ": " << type;
    }
  EXPECT_GE(sized, 15);
}

// The whole area on the left of an assignment whose right side is a temporary built for it:
// "name = Type{}", "name = Type()" or "name = {}" (with or without "vorax::"), not a field.
bool assigns_temporary(const std::string &line, const std::string &name, const std::string &type) {
  for (std::size_t at = line.find(name); at != std::string::npos; at = line.find(name, at + 1)) {
    const char before = at == 0 ? ' ' : line[at - 1];
    const bool qualified = at >= 7 && line.compare(at - 7, 7, "vorax::") == 0;
    if (!qualified && (std::isalnum(static_cast<unsigned char>(before)) || before == '_' ||
                       before == '.' || before == '>' || before == ':'))
      continue;
    std::size_t i = at + name.size();
    const auto skip_blanks = [&] {
      while (i < line.size() && line[i] == ' ')
        ++i;
    };
    const auto take = [&](std::string_view word) {
      if (line.compare(i, word.size(), word) != 0)
        return false;
      i += word.size();
      return true;
    };
    skip_blanks();
    if (!take("=") || take("="))
      continue;
    skip_blanks();
    take("vorax::");
    take(type);
    skip_blanks();
    if (take("{}") || take("()"))
      return true;
  }
  return false;
}

// No area is put back by assigning a temporary (that builds the whole area on the stack
// first); reset_in_place does it where the area lives. Fields may still be assigned.
TEST(AreaReset, NoAreaIsAssignedATemporary) {
  const auto &areas = declared_areas();
  const auto files = source_files({"src", "tests", "bench", "fuzz"});
  ASSERT_FALSE(files.empty());
  // The probes are split so that this file does not hold what it looks for.
  EXPECT_TRUE(assigns_temporary("  vorax::fitl "
                                "= Fitl{};",
                                "fitl", "Fitl"));
  EXPECT_TRUE(assigns_temporary("analc "
                                "= {};",
                                "analc", "Analc"));
  EXPECT_FALSE(assigns_temporary("fitm.var(i) = CoupledList{};", "var", "CoupledList"));
  EXPECT_FALSE(assigns_temporary("out.analc = Analc{}; analc == Analc();", "analc", "Analc"));
  for (const auto &[path, text] : files) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
      if (line.find('=') == std::string::npos ||
          (line.find("{}") == std::string::npos && line.find("()") == std::string::npos))
        continue;
      for (const auto &[type, name] : areas)
        if (assigns_temporary(line, name, type))
          ADD_FAILURE() << path << ":" << number << ": " << line;
    }
  }
}

} // namespace
} // namespace vorax::test
