// The program and the host's files: the deck is never written over. The built program is run
// where only the command line shows the behaviour.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vorax::test {
namespace {

std::string file_text(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void write_file(const std::string &path, const std::string &text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

// The program built beside this test program.
std::string program() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0)
    return "vorax";
  const std::string self(path, static_cast<std::size_t>(n));
  return self.substr(0, self.rfind('/')) + "/vorax";
}

struct HostRun {
  int status = -1;
  std::string terminal;
};

// A fresh directory in which the program runs with the given shell arguments.
class Host : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorax-host-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "' '" + dir + ".err'").c_str()); }

  std::string path(const std::string &name) const { return dir + "/" + name; }

  HostRun run(const std::string &arguments) const {
    const std::string command =
        "cd '" + dir + "' && '" + program() + "' " + arguments + " 2> '" + dir + ".err'";
    const int w = std::system(command.c_str());
    HostRun r;
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    r.terminal = file_text(dir + ".err");
    return r;
  }

  std::string dir;
};

const std::string small_deck = "D: DRIFT, L = 2\nL1: LINE = (D)\nUSE, L1\nSTOP\n";

TEST_F(Host, AListingThatIsTheDeckItselfIsRefusedAndTheDeckKept) {
  write_file(path("deck.vx"), small_deck);
  ASSERT_EQ(::link(path("deck.vx").c_str(), path("other.vx").c_str()), 0);
  const std::vector<std::string> same_file = {"deck.vx deck.vx", "deck.vx ./deck.vx",
                                              "deck.vx other.vx", "deck.vx " + dir + "/deck.vx",
                                              "deck.vx >> deck.vx"};
  for (const std::string &arguments : same_file) {
    const HostRun r = run(arguments);
    EXPECT_EQ(r.status, 2) << arguments;
    EXPECT_EQ(std::count(r.terminal.begin(), r.terminal.end(), '\n'), 1) << r.terminal;
    EXPECT_NE(r.terminal.find("is the deck itself"), std::string::npos) << r.terminal;
    EXPECT_EQ(file_text(path("deck.vx")), small_deck) << arguments;
  }
  EXPECT_EQ(file_text(path("FOR009.DAT")), ""); // nothing ran
  // A directory is no deck.
  const HostRun r = run(".");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.terminal, "vorax: cannot read the deck .: Is a directory\n");
}

} // namespace
} // namespace vorax::test
