// Shared set-up of the engine unit tests: the operation stream bound as the deck, engine tables
// filled directly, and a scratch working directory for the echo file.
#pragma once

#include "harness.h"
#include "support/element_tables.h"

#include "common/engine_tables.h"
#include "common/halt.h"
#include "common/shared_areas.h"
#include "input/command_loop.h"
#include "input/elements.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace vorax::test {

// Runs each test in a fresh temporary directory (the engine opens its echo file there).
class EngineTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorax-engine-XXXXXX";
    const char *made = ::mkdtemp(tmpl);
    ASSERT_NE(made, nullptr);
    dir_ = made;
    ASSERT_TRUE(::getcwd(old_, sizeof old_) != nullptr);
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
    moved_ = true;
  }
  void TearDown() override {
    if (!moved_)
      return; // never clear a directory the test did not create
    if (DIR *d = ::opendir(".")) {
      while (dirent *e = ::readdir(d))
        if (e->d_name[0] != '.' || std::string(e->d_name).size() > 2)
          ::unlink(e->d_name);
      ::closedir(d);
    }
    ASSERT_EQ(::chdir(old_), 0);
    ::rmdir(dir_.c_str());
  }

private:
  std::string dir_;
  char old_[4096];
  bool moved_ = false;
};

// Binds the data as the operation stream and resets every area, the front end's element
// table and re-entry word included.
inline void start_engine_test(std::string_view data = "") {
  start_in_memory(data);
  elmdat.low_count = 0;
  newbm.value = 0;
}

// An entry of the front end's element table with its input keyword.
inline void add_front_element(const std::string &name, int keyword) {
  const int i = ++elmdat.low_count;
  elmnam.name(i) = name;
  elmdat.kind(i) = keyword;
}

// Calls f and returns the stop code of the error stop, or -1 when f returned.
template <class F> int stop_code(F &&f) {
  try {
    f();
  } catch (const RunEnd &end) {
    return end.code;
  }
  return -1;
}

// The first line holding text, or "" when none does.
inline std::string line_with(const std::string &listing, std::string_view text) {
  for (const std::string &l : lines_of(listing))
    if (contains(l, text))
      return l;
  return {};
}

} // namespace vorax::test
