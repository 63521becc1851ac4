// The program and the host's files: the deck is never written over, output that cannot be
// written ends the run with a failure, and input that is not text is a read error, whether it
// comes from the deck, from the operation stream or from a device. The built program is run
// where only the command line shows the behaviour; the rest runs in-process.
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

TEST_F(Host, ResultDirectoriesAndOptionsAreCheckedBeforeAnythingIsRead) {
  write_file(path("deck.vx"), small_deck);
  write_file(path("plain"), "");
  ASSERT_EQ(::mkdir(path("locked").c_str(), 0555), 0);
  const bool root = ::access(path("locked").c_str(), W_OK) == 0; // root writes anywhere
  std::vector<std::string> refused = {"deck.vx --tables missing",
                                      "deck.vx --plots=plain",
                                      "deck.vx --tables",
                                      "--plots= deck.vx",
                                      "deck.vx --table out",
                                      "--version2",
                                      "deck.vx -x",
                                      "deck.vx --max-positions",
                                      "--max-positions=12x deck.vx",
                                      "deck.vx --max-positions 9997",
                                      "deck.vx --max-positions=-20000",
                                      "deck.vx --max-positions 99999999999"};
  if (!root)
    refused.push_back("deck.vx --tables locked");
  for (const std::string &arguments : refused) {
    const HostRun r = run(arguments);
    EXPECT_EQ(r.status, 2) << arguments;
    EXPECT_EQ(std::count(r.terminal.begin(), r.terminal.end(), '\n'), 1) << r.terminal;
    EXPECT_EQ(r.terminal.rfind("vorax: ", 0), 0u) << r.terminal;
  }
  EXPECT_EQ(run("deck.vx --tables missing").terminal,
            "vorax: cannot write into the directory missing: No such file or directory\n");
  EXPECT_EQ(run("deck.vx -x").terminal,
            "vorax: unknown option -x (vorax --help lists the options)\n");
  EXPECT_EQ(run("deck.vx --max-positions 1e6").terminal,
            "vorax: --max-positions needs a whole number of positions from 9998 to 999999\n");
  struct stat st;
  EXPECT_NE(::stat(path("FOR009.DAT").c_str(), &st), 0); // nothing ran

  // Both spellings, in any place: the listing is that of the run without them.
  const std::string fodo = std::string(VORAX_SOURCE_DIR) + "/examples/fodo.vx";
  ASSERT_EQ(::mkdir(path("out").c_str(), 0755), 0);
  EXPECT_EQ(run("--tables=out '" + fodo + "' with.lis --plots out").status, 0);
  EXPECT_EQ(run("'" + fodo + "' without.lis").status, 0);
  EXPECT_EQ(file_text(path("with.lis")), file_text(path("without.lis")));
  // A larger machine changes only the limits the run summary gives.
  EXPECT_EQ(run("--max-positions 20000 '" + fodo + "' larger.lis").status, 0);
  const std::string larger = file_text(path("larger.lis"));
  EXPECT_NE(larger.find(" ELEMENTS IN MACHINE.MAX IS MAXPOS : 40002\n"), std::string::npos);
  auto without_limits = [](const std::string &text) {
    std::string kept;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
      end = std::min(text.find('\n', at), text.size());
      if (text.find(" MAX IS ", at) > end)
        kept += text.substr(at, end - at + 1);
    }
    return kept;
  };
  EXPECT_EQ(without_limits(larger), without_limits(file_text(path("without.lis"))));
  EXPECT_NE(file_text(path("out/mach_1.tfs")).find("@ NAME             %s  \"MACH_1\""),
            std::string::npos);
  EXPECT_NE(file_text(path("out/mach_1.svg")).find("<svg"), std::string::npos);
  EXPECT_NE(file_text(path("out/matr_1.tfs")).find("@ TYPE             %s  \"MAP\""),
            std::string::npos);
}

TEST_F(Host, NoUnitWritesOverTheDeckTheListingOrTheLog) {
  // OPEN of the program's own files is refused, and the run goes on.
  const std::string deck = "OPEN, 20\nDECK.VX\nOPEN, 21\nOUT.LIS\nOPEN, 22\n./FOR009.DAT\n" +
                           std::string("OPEN, 23\nOTHER.DAT\n") + small_deck;
  write_file(path("DECK.VX"), deck);
  HostRun r = run("DECK.VX OUT.LIS");
  EXPECT_EQ(r.status, 0) << r.terminal;
  const std::string log = file_text(path("FOR009.DAT"));
  for (const char *name : {"DECK.VX", "OUT.LIS", "./FOR009.DAT"})
    EXPECT_NE(log.find(std::string(" ** WARNING ** FAIL TO OPEN FILE: ") + name + "\n"),
              std::string::npos)
        << name << log;
  EXPECT_NE(log.find("0... SUCCESSFUL TO OPEN FILE:OTHER.DAT"), std::string::npos);
  EXPECT_NE(log.find(" * NUMBER OF WARNING MESSAGES =     3 *"), std::string::npos);
  EXPECT_EQ(file_text(path("DECK.VX")), deck);
  EXPECT_NE(file_text(path("OUT.LIS")).find("USE, L1"), std::string::npos);

  // The message log's own file is the deck: the deck is kept and the run ends at once.
  write_file(path("FOR009.DAT"), small_deck);
  r = run("FOR009.DAT OUT.LIS");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.terminal, "vorax: cannot write the message log FOR009.DAT: it is the deck\n");
  EXPECT_EQ(file_text(path("FOR009.DAT")), small_deck);
}

TEST_F(Host, OutputThatCannotBeWrittenEndsTheRunWithAFailure) {
  write_file(path("deck.vx"), small_deck);
  HostRun r = run("deck.vx /dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.terminal, "vorax: cannot write the listing /dev/full: No space left on device\n");
  // What could be written elsewhere was: the whole message log.
  EXPECT_NE(file_text(path("FOR009.DAT")).find("               STOP"), std::string::npos);

  r = run("deck.vx > /dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.terminal,
            "vorax: cannot write the listing (standard output): No space left on device\n");

  // A longer listing fails while the deck is read: the run ends there, it does not read on.
  std::string deck;
  for (int i = 1; i <= 400; ++i)
    deck += "D" + std::to_string(i) + ": DRIFT, L = 1\n";
  write_file(path("long.vx"), deck + "LAST: DRIFT\n");
  r = run("long.vx /dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.terminal, "vorax: cannot write the listing /dev/full: No space left on device\n");
  const std::string log = file_text(path("FOR009.DAT"));
  EXPECT_NE(log.find("D1: DRIFT"), std::string::npos);
  EXPECT_EQ(log.find("LAST: DRIFT"), std::string::npos);
}

TEST_F(Host, ADeviceThatIsNotTextIsAReadError) {
  const HostRun r = run("/dev/zero out.lis");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.terminal, "/dev/zero:1: error: READ ERROR ON LOGICAL UNIT 15, LINE    1 --- "
                        "EXECUTION TERMINATED\nvorax: run stopped with error number 102: LDFIN "
                        "READ ERROR; see the message log FOR009.DAT\n");
  EXPECT_NE(file_text(path("FOR009.DAT"))
                .find("0*** ERROR *** READ ERROR ON LOGICAL UNIT 15, LINE    1 --- EXECUTION "
                      "TERMINATED"),
            std::string::npos);
}

const std::string lattice = "D: DRIFT, L = 1\nL1: LINE = (D)\nUSE, L1\n";

TEST(InputNotText, ANulByteIsAReadErrorOfTheUnitWhereverItIsRead) {
  using namespace std::string_literals;
  // In a lattice line (the 2nd), read from the deck or from a called file.
  DeckRun r = run_deck("D: DRIFT\nQ: QUAD\0RUPO, L = 1\nSTOP\n"s);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.log, "0*** ERROR *** READ ERROR ON LOGICAL UNIT 15, LINE    2 --- "
                              "EXECUTION TERMINATED\n"));
  EXPECT_EQ(r.terminal, "deck:2: error: READ ERROR ON LOGICAL UNIT 15, LINE    2 --- EXECUTION "
                        "TERMINATED\nvorax: run stopped with error number 102: LDFIN READ ERROR; "
                        "see the message log FOR009.DAT\n");
  r = run_deck("OPEN, 20\nBIN.DAT\n", "CALL, 20\n", {{"BIN.DAT", "\0\0\0\0"s}});
  EXPECT_TRUE(contains(r.log, "READ ERROR ON LOGICAL UNIT 20, LINE"));
  EXPECT_EQ(r.status, 1);

  // In an operation line: the engine hands back, and the command loop stops on the same unit.
  r = run_deck(lattice + "VORAX\nOU\0TP\n 3;\nSTOP\n"s);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.log, "READ ERROR ON LOGICAL UNIT 15, LINE    5 --- EXECUTION TERMINATED"));
  EXPECT_FALSE(contains(r.listing, "ERROR IN OPERATION NAME"));

  // In operation data: the operation cannot complete.
  r = run_deck(lattice + "VORAX\nOUTP\n 3\0;\nSTOP\n"s);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.listing, "   READ ERROR WHILE READING OPERATION DATA\n"
                                  "  HALTING WITH ERROR NUMBER :    272"));
}

TEST(InputNotText, OnlyNamesOfSequentialFilesCanBeOpened) {
  const DeckRun r = run_deck("OPEN, 20\n.\nOPEN, 21\n/\nD: DRIFT\n");
  EXPECT_TRUE(contains(r.log, " ** WARNING ** FAIL TO OPEN FILE: .\n"));
  EXPECT_TRUE(contains(r.log, " ** WARNING ** FAIL TO OPEN FILE: /\n"));
  EXPECT_FALSE(contains(r.log, "SUCCESSFUL"));
  EXPECT_EQ(r.status, 0);
}

} // namespace
} // namespace vorax::test
