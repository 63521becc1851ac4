// The program and the host: the deck is never written over, output that cannot be written
// ends the run with a failure, input that is not text is a read error, whether it comes from
// the deck, from the operation stream or from a device; a stop signal ends the run at a whole
// record, and tables are never seen half-written. The built program is run where only the
// command line, the signals or the host's limits show the behaviour; the rest runs in-process.
#include "harness.h"

#include "common/hooks.h"
#include "track/tracking_hooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <new>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
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
    return run_shell("'" + program() + "' " + arguments);
  }
  // A shell command run in the directory, its standard error kept.
  HostRun run_shell(const std::string &command_line) const {
    const std::string command = "cd '" + dir + "' && (" + command_line + ") 2> '" + dir + ".err'";
    const int w = std::system(command.c_str());
    HostRun r;
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    r.terminal = file_text(dir + ".err");
    return r;
  }

  // The program started as a child in the directory: standard error to DIR.err, standard
  // output to the file out of the directory or to the descriptor out_fd, standard input from
  // in_fd (or /dev/null).
  pid_t start(const std::vector<std::string> &arguments, const std::string &out = "out.lis",
              int out_fd = -1, int in_fd = -1) const {
    const std::string self = program(), err = dir + ".err", out_path = path(out);
    const pid_t pid = ::fork();
    if (pid != 0)
      return pid;
    const int in = in_fd >= 0 ? in_fd : ::open("/dev/null", O_RDONLY);
    const int output = out_fd >= 0 ? out_fd : ::open(out_path.c_str(), O_WRONLY | O_CREAT, 0644);
    const int error = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::chdir(dir.c_str()) != 0 || in < 0 || output < 0 || error < 0 || ::dup2(in, 0) < 0 ||
        ::dup2(output, 1) < 0 || ::dup2(error, 2) < 0)
      ::_exit(126);
    std::vector<char *> argv{const_cast<char *>(self.c_str())};
    for (const std::string &a : arguments)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(self.c_str(), argv.data());
    ::_exit(127);
  }

  // The files of a subdirectory, hidden ones too.
  std::vector<std::string> names_in(const std::string &sub) const {
    std::vector<std::string> names;
    if (DIR *d = ::opendir(path(sub).c_str())) {
      while (const dirent *e = ::readdir(d))
        if (const std::string name = e->d_name; name != "." && name != "..")
          names.push_back(name);
      ::closedir(d);
    }
    return names;
  }

  std::string dir;
};

// Waits (up to 20 s) until ready() holds.
template <class Ready> bool eventually(Ready ready) {
  for (int i = 0; i < 2000; ++i) {
    if (ready())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

const std::string ring = "QF: QUADRUPOLE, L = 0.5, K1 = 0.9\nQD: QUADRUPOLE, L = 0.5, K1 = -0.9\n"
                         "D: DRIFT, L = 2.5\nRING: LINE = (4*(QF, D, QD, D))\nUSE, RING\nVORAX\n";

// The process's main thread waits in the write system call (Linux: /proc/PID/syscall starts
// with the number of the call it is blocked in).
bool in_write_call(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/syscall");
  long call = -1;
  return f >> call && call == SYS_write;
}

// Two particles go round the ring for ever, printed every `every` turns.
std::string endless_tracking(int every) {
  return ring + "TRAC\n -1 " + std::to_string(every) +
         " 2 2000000000\n 1E-3 0 1E-3 0 0 0\n 2E-3 0 0 0 0 1E-3\n 0;\nSTOP\n";
}

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
      if (text.find("MAX IS M", at) > end)
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

TEST(InputText, AByteOrderMarkIsSkippedAndATabReadAsABlankAndBothAreToldOnce) {
  const std::string deck = "\xEF\xBB\xBFTITLE\nTABS\tAND MARK\nD:\tDRIFT,\tL = 1\n"
                           "\tQF: QUADRUPOLE, L = 0.5,\tK1 = 0.9\nL1: LINE = (D, QF)\nUSE, L1\n"
                           "VORAX\nMATRIX\n\t1\t-1;\nSTOP\n";
  const DeckRun r = run_deck(deck);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.terminal, "deck:1: note: the byte-order mark at the start of the file is skipped\n"
                        "deck:2: note: a tab is read as a blank (further tabs are not reported)\n");
  EXPECT_TRUE(contains(r.listing, "\n TABS AND MARK\n")); // the title, under the banner
  EXPECT_TRUE(contains(r.listing, "               D: DRIFT, L = 1\n"));
  EXPECT_TRUE(contains(r.listing, "\n  1 -1;\n  AFTER :QF       ELEMENT #:    2\n"));
  // The mark counts in no column: an 80-column first line after it is read whole.
  const std::string wide = "D: DRIFT, L = 1" + std::string(64, ' ') + "2";
  const DeckRun w = run_deck("\xEF\xBB\xBF" + wide + "\nSTOP\n");
  EXPECT_TRUE(contains(w.listing, "               " + wide + "\n"));
}

TEST_F(Host, ARefusedRunLeavesTheListingAsItWas) {
  write_file(path("deck.vx"), small_deck);
  write_file(path("out.lis"), "the listing of an earlier run\n");
  ASSERT_EQ(::mkdir(path("FOR009.DAT").c_str(), 0755), 0); // the message log cannot be written
  const HostRun r = run("deck.vx out.lis");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.terminal, "vorax: cannot write the message log FOR009.DAT: Is a directory\n");
  EXPECT_EQ(file_text(path("out.lis")), "the listing of an earlier run\n");
}

TEST_F(Host, NoResultFileWritesOverTheDeckOrTheListing) {
  const std::string deck =
      ring + "MATRIX\n 1 -1,\nMACHINE\n 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0;\nSTOP\n";
  write_file(path("mach_1.tfs"), deck);
  HostRun r = run("mach_1.tfs out.lis --tables .");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.terminal, "vorax: cannot write the table ./mach_1.tfs: it is the deck\n");
  EXPECT_EQ(file_text(path("mach_1.tfs")), deck);
  EXPECT_EQ(lines_of(file_text(path("out.lis"))).back(),
            "0*** RUN STOPPED: CANNOT WRITE the table ./mach_1.tfs: it is the deck");
  EXPECT_TRUE(contains(file_text(path("matr_1.tfs")), "\"COMPLETE\""));

  write_file(path("deck.vx"), deck);
  r = run("deck.vx matr_1.tfs --tables .");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.terminal, "vorax: cannot write the table ./matr_1.tfs: it is the listing\n");
  const std::string listing = file_text(path("matr_1.tfs"));
  EXPECT_FALSE(contains(listing, "@ NAME"));
  EXPECT_EQ(lines_of(listing).back(),
            "0*** RUN STOPPED: CANNOT WRITE the table ./matr_1.tfs: it is the listing");
}

TEST_F(Host, ATableThatCannotBeWrittenWholeIsRemovedAndTheRunFails) {
  // A limit on the size of the files the run writes: the table goes beyond it, the message log
  // stays below it and the listing goes into a pipe, which it does not bind.
  std::string deck = endless_tracking(1);
  write_file(path("ring.vx"), deck.replace(deck.find("2000000000"), 10, "100"));
  ASSERT_EQ(::mkdir(path("tables").c_str(), 0755), 0);
  ASSERT_EQ(run_shell("(trap '' XFSZ; ulimit -f 16; exec '" + program() +
                      "' ring.vx --tables tables) | cat > out.lis")
                .status,
            0);
  const std::string failure =
      "the table tables/trac_1.tfs: File too large; the partial file is removed";
  EXPECT_EQ(file_text(dir + ".err"), "vorax: cannot write " + failure + "\n");
  EXPECT_EQ(lines_of(file_text(path("out.lis"))).back(),
            "0*** RUN STOPPED: CANNOT WRITE " + failure);
  EXPECT_TRUE(names_in("tables").empty());
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

namespace vorax::test {
namespace {

TEST_F(Host, AStopSignalEndsTheRunAtAWholeRecordWithItsTablesClosed) {
  write_file(path("ring.vx"), endless_tracking(1000));
  ASSERT_EQ(::mkdir(path("tables").c_str(), 0755), 0);
  const pid_t pid = start({"ring.vx", "ring.lis", "--tables", "tables"});
  ASSERT_TRUE(eventually([&] { return file_text(path("ring.lis")).size() > 16384; }));
  // While it is written, the table is under a hidden temporary name only.
  ASSERT_EQ(names_in("tables").size(), 1u);
  EXPECT_EQ(names_in("tables")[0].rfind(".trac_1.tfs.", 0), 0u);
  ::kill(pid, SIGINT);
  int w = 0;
  ASSERT_EQ(::waitpid(pid, &w, 0), pid);
  EXPECT_TRUE(WIFEXITED(w) && WEXITSTATUS(w) == 128 + SIGINT) << w;

  // The terminal and the listing's last line say where: the listing ends with whole records.
  const std::vector<std::string> terminal = lines_of(file_text(dir + ".err"));
  ASSERT_GE(terminal.size(), 3u);
  const std::string &report = terminal[terminal.size() - 3];
  const std::string head = "vorax: interrupted by SIGINT during TRAC, turn ";
  ASSERT_EQ(report.rfind(head, 0), 0u) << report;
  std::string where = report.substr(head.size(), report.find(';') - head.size());
  std::transform(where.begin(), where.end(), where.begin(), ::toupper);
  const std::string listing = file_text(path("ring.lis"));
  EXPECT_EQ(listing.back(), '\n');
  EXPECT_EQ(lines_of(listing).back(), "0*** RUN INTERRUPTED BY SIGINT DURING TRAC, TURN " + where);
  EXPECT_EQ(terminal[terminal.size() - 2],
            "vorax: incomplete: the table tables/trac_1.tfs holds what came before the end");
  EXPECT_EQ(terminal.back(), "vorax: incomplete: the table tables/trac_1_losses.tfs holds what "
                             "came before the end");

  // The table is under its name, marked, and its rows are whole: nine cells each (the run may
  // stop between the two particles of a turn, as the listing does).
  EXPECT_EQ(names_in("tables"), (std::vector<std::string>{"trac_1.tfs", "trac_1_losses.tfs"}));
  const std::string table = file_text(path("tables/trac_1.tfs"));
  EXPECT_EQ(count_of(table, "\n@ STATUS           %s  \"INCOMPLETE\"\n"), 1);
  int rows = 0;
  for (const std::string &line : lines_of(table.substr(table.find("\n$") + 1)))
    if (line[0] == ' ') {
      std::istringstream cells(line);
      EXPECT_EQ(std::distance(std::istream_iterator<std::string>(cells), {}), 9) << line;
      ++rows;
    }
  EXPECT_GE(rows, 4);
}

TEST_F(Host, AStopSignalEndsARunWaitingForItsStandardInput) {
  int in[2];
  ASSERT_EQ(::pipe(in), 0);
  const pid_t pid = start({}, "out.lis", -1, in[0]);
  ::close(in[0]);
  ASSERT_EQ(::write(in[1], "D: DRIFT, L = 1\n", 16), 16);
  ASSERT_TRUE(
      eventually([&] { return ::access(path("FOR009.DAT").c_str(), F_OK) == 0; })); // running
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ::kill(pid, SIGHUP);
  int w = 0;
  ASSERT_EQ(::waitpid(pid, &w, 0), pid);
  ::close(in[1]);
  EXPECT_TRUE(WIFEXITED(w) && WEXITSTATUS(w) == 128 + SIGHUP) << w;
  EXPECT_EQ(file_text(dir + ".err"),
            "vorax: interrupted by SIGHUP while reading the input; the listing ends there\n");
  const std::string listing = file_text(path("out.lis"));
  EXPECT_TRUE(contains(listing, "D: DRIFT, L = 1\n"));
  EXPECT_EQ(lines_of(listing).back(), "0*** RUN INTERRUPTED BY SIGHUP WHILE READING THE INPUT");
}

TEST_F(Host, ASecondStopSignalEndsTheRunAtOnce) {
  // The listing goes into a pipe nobody reads: once it is full the run waits in a write and
  // cannot reach a whole record; the first signal is noted, the second ends it.
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  write_file(path("ring.vx"), endless_tracking(1));
  ASSERT_EQ(::mkdir(path("tables").c_str(), 0755), 0);
  const pid_t pid = start({"ring.vx", "--tables", "tables"}, "", out[1]);
  ::close(out[1]);
  const int capacity = ::fcntl(out[0], F_GETPIPE_SZ);
  int queued = 0;
  ASSERT_TRUE(
      eventually([&] { return ::ioctl(out[0], FIONREAD, &queued) == 0 && queued >= capacity; }));
  // A full pipe is not yet a run waiting in its write: the listing's own buffer may still be
  // filling while tracking goes on, and a signal then ends the run at a whole record, with its
  // tables closed. Only a run that sits in the write system call shows the second signal's work.
  ASSERT_TRUE(eventually([&] { return in_write_call(pid); }));
  ::kill(pid, SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int w = 0;
  EXPECT_EQ(::waitpid(pid, &w, WNOHANG), 0); // still waiting in its write
  ::kill(pid, SIGTERM);
  ASSERT_EQ(::waitpid(pid, &w, 0), pid);
  ::close(out[0]);
  EXPECT_TRUE(WIFSIGNALED(w) && WTERMSIG(w) == SIGTERM) << w;
  for (const std::string &name : names_in("tables")) // none under its name
    EXPECT_EQ(name[0], '.') << name;
}

// Memory that runs out (simulated where tracking starts a turn) ends the run as an error stop
// does: the listing says so in its last line, the terminal names the operation, status 1.
void no_memory(bool) {
  throw std::bad_alloc();
}

TEST(OutOfMemory, EndsTheRunWithItsUnitsWhole) {
  TrackingHooks hooks;
  hooks.pass_start = no_memory;
  const Seam<TrackingHooks>::Scope scope(tracking_seam, hooks);
  const DeckRun r = run_deck_with_results(endless_tracking(1), {true, false});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.terminal, "vorax: out of memory during TRAC; the run is stopped\n"
                        "vorax: incomplete: the table tables/trac_1.tfs holds what came before "
                        "the end\n"
                        "vorax: incomplete: the table tables/trac_1_losses.tfs holds what came "
                        "before the end\n");
  EXPECT_EQ(lines_of(r.listing).back(), "0*** RUN STOPPED: OUT OF MEMORY DURING TRAC");
  EXPECT_TRUE(contains(r.files.at("tables/trac_1.tfs"), "\"INCOMPLETE\""));
}

TEST_F(Host, TrackingRunsOnTheThreadsTheHostGrants) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the address sanitizer reserves more memory than any limit leaves";
#endif
  // Stacks of 1 GB under a limit of 600 MB: no thread beyond the program's own can start.
  std::string deck = endless_tracking(1);
  write_file(path("ring.vx"), deck.replace(deck.find("2000000000"), 10, "10"));
  const std::string limits =
      "ulimit -s 1048576 && ulimit -v 600000 && exec '" + program() + "' ring.vx ring.lis";
  HostRun r = run_shell(limits + " --threads 64");
  EXPECT_EQ(r.status, 0);
  const std::string summary = "TRAC: 2 particles tracked, 0 lost, 2 surviving; 10 turns done\n";
  EXPECT_EQ(r.terminal, "vorax: only 1 of 64 tracking threads can be started (Resource "
                        "temporarily unavailable); tracking runs on 1\n" +
                            summary);
  EXPECT_TRUE(contains(file_text(path("ring.lis")), "DURING TURN      10"));
  // The default is the processors of the affinity mask: one here, so no thread is wanted.
  cpu_set_t all, one;
  ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
  CPU_ZERO(&one);
  for (int cpu = 0; CPU_COUNT(&one) == 0; ++cpu)
    if (CPU_ISSET(cpu, &all))
      CPU_SET(cpu, &one);
  ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
  r = run_shell(limits);
  ::sched_setaffinity(0, sizeof all, &all);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.terminal, summary);
}

} // namespace
} // namespace vorax::test
