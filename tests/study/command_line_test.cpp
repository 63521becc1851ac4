// The command line that gives a run its identity: --set, --seed and --out as a user gives them
// to the program, the refusals before anything runs, and the identity in every table.
#include "programs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace vorax::test;

namespace {

const std::string VORAX = VORAX_BINARY;

// A ring whose focusing is defined twice around its use, and whose quadrupoles get random
// offsets; seed_record is the deck's SEED operation (empty: none).
std::string ring_deck(const std::string &kf_first, const std::string &kf_later,
                      const std::string &seed_record = "SEED\n 5\n") {
  return "TITLE\nSEEDED RING\nKF = " + kf_first +
         "\nQF: QUADRUPOLE, L = 0.5, K1 = KF\nQD: QUADRUPOLE, L = 0.5, K1 = -KF\n"
         "B: SBEND, L = 2.0, ANGLE = 0.3926990816987241\nD: DRIFT, L = 0.5\n"
         "CELL: LINE = (QF, D, B, D, QD, D, B, D)\nRING: LINE = (8*CELL)\nKF = " +
         kf_later + "\nUSE, RING\nVORAX\n" + seed_record +
         "MISA\n QF 1E-4 0 1E-4 0 0 0 0 1,\n 99\nSETM\n 3 1\n QF 0\nMATRIX\n 1,\nMACHINE\n"
         " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0,\nREFE\n 10 0 0 0 0 0 0;\nSTOP\n";
}

void write_file(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The rows of a table (every line after its "$" line).
std::string rows_of(const std::string &table) {
  const std::size_t formats = table.find("\n$");
  return formats == std::string::npos ? "" : table.substr(table.find('\n', formats + 1) + 1);
}

std::string orbit_lines(const std::string &listing) {
  std::string lines;
  std::size_t at = 0;
  while ((at = listing.find("ORBIT DISPLACEMENT IS", at)) != std::string::npos) {
    lines += listing.substr(at, listing.find('\n', at) - at) + "\n";
    ++at;
  }
  return lines;
}

TEST(CommandLine, BadInputEndsTheRunBeforeAnythingIsWritten) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"deck.vx", "--set", "KF"}, "--set needs NAME=VALUE"},
      {{"deck.vx", "--set=KF=0.9x"}, "the value '0.9x' of KF is not a finite number"},
      {{"deck.vx", "--set", "KF=1E999"}, "not a finite number"},
      {{"deck.vx", "--set", "9K=1"}, "the name must start with a letter"},
      {{"deck.vx", "--set", "K-F=1"}, "holds a character"},
      {{"deck.vx", "--seed", "-3"}, "--seed needs a whole number from 0 to 2147483647"},
      {{"deck.vx", "--seed=2147483648"}, "--seed needs a whole number"},
      {{"deck.vx", "--seed", "seven"}, "--seed needs a whole number"},
      {{"deck.vx", "--seed"}, "--seed needs a whole number"},
      {{"deck.vx", "--out", "deck.vx/runs"}, "cannot write into the directory deck.vx/runs"},
      {{"deck.vx", "--out", "/proc/vorax/runs"}, "cannot write into the directory"},
      {{"deck.vx", "--threads=0"}, "--threads needs a whole number of threads"},
      {{"deck.vx", "out.lis", "more.lis"}, "unexpected argument more.lis"},
      {{"deck.vx", "--seeds", "3"}, "unknown option --seeds"},
  };
  for (const Case &c : cases) {
    WorkDir dir;
    write_file(dir / "deck.vx", ring_deck("0.9", "0.9"));
    const ProgramRun run = run_program_in(dir.path(), VORAX, c.args);
    EXPECT_EQ(run.status, 2) << c.args.back();
    EXPECT_NE(run.terminal.find("vorax: "), std::string::npos);
    EXPECT_NE(run.terminal.find(c.says), std::string::npos) << run.terminal;
    EXPECT_EQ(files_under(dir.path()).size(), 1u) << c.args.back() << ": only the deck";
    EXPECT_EQ(file_text(dir / ".stdout.0"), "") << c.args.back();
  }
}

// A parameter the deck never defines cannot be known before the deck is read: the run ends at
// the deck's first conversion, before the engine computes or writes anything of its own.
TEST(CommandLine, AnUnknownParameterEndsTheRunAtTheConversion) {
  WorkDir dir;
  write_file(dir / "deck.vx", ring_deck("0.9", "0.9"));
  const ProgramRun run = run_program_in(
      dir.path(), VORAX, {"deck.vx", "--set", "KF=1", "--set", "KX=2", "--out", "o"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.terminal.find("--set KX=2: the deck defines no parameter KX"), std::string::npos)
      << run.terminal;
  const std::string listing = file_text(dir / "o/listing.txt");
  EXPECT_EQ(listing.find("VORAX PROGRAM"), std::string::npos) << "the engine never started";
  for (const auto &[name, text] : files_under(dir / "o"))
    EXPECT_FALSE(name.ends_with(".tfs") || name.ends_with(".svg")) << name;
}

// The value given replaces every definition of the deck, before and after the parameter's
// uses: the run computes what the deck edited to that value computes, and only its message log
// says where the value came from.
TEST(CommandLine, SetReplacesEveryDefinitionOfTheParameter) {
  WorkDir dir;
  write_file(dir / "given.vx", ring_deck("0.5", "0.7"));
  write_file(dir / "edited.vx", ring_deck("0.85", "0.85"));
  const ProgramRun given = run_program_in(
      dir.path(), VORAX, {"given.vx", "--set", "kf=0.80", "--set=KF=0.85", "--out=g"});
  const ProgramRun edited = run_program_in(dir.path(), VORAX, {"edited.vx", "--out", "e"});
  ASSERT_EQ(given.status, 0) << given.terminal;
  ASSERT_EQ(edited.status, 0) << edited.terminal;
  const std::string table = file_text(dir / "g/mach_1.tfs");
  ASSERT_FALSE(rows_of(table).empty());
  EXPECT_EQ(rows_of(table), rows_of(file_text(dir / "e/mach_1.tfs")));
  EXPECT_EQ(orbit_lines(file_text(dir / "g/listing.txt")),
            orbit_lines(file_text(dir / "e/listing.txt")));
  EXPECT_NE(table.find("@ RUN_SET          %s  \"KF=0.85\"\n"), std::string::npos) << table;
  const std::string log = file_text(dir / "g/SEEDED.ech");
  EXPECT_NE(log.find("PARAMETER KF       IS SET TO 0.85 BY THE COMMAND LINE"), std::string::npos);
  EXPECT_EQ(file_text(dir / "e/SEEDED.ech").find("COMMAND LINE"), std::string::npos);
}

// The random numbers of a run are a function of its command line: the same --seed repeats the
// run (also when the deck asks for a seed from the clock), another gives other draws, and
// every deck seed still gives its own stream under one --seed, as it does without.
TEST(CommandLine, SeedGivesEveryRunItsOwnRepeatableStream) {
  WorkDir dir;
  write_file(dir / "clock.vx", ring_deck("0.9", "0.9", "SEED\n 0\n"));
  write_file(dir / "five.vx", ring_deck("0.9", "0.9", "SEED\n 5\n"));
  write_file(dir / "seven.vx", ring_deck("0.9", "0.9", "SEED\n 7\n"));
  write_file(dir / "none.vx", ring_deck("0.9", "0.9", ""));
  auto orbit = [&](const std::string &deck, const std::string &seed) {
    const std::string out = deck + "-" + seed;
    const ProgramRun run =
        run_program_in(dir.path(), VORAX, {deck + ".vx", "--seed", seed, "--out", out});
    EXPECT_EQ(run.status, 0) << run.terminal;
    return orbit_lines(file_text(dir / (out + "/listing.txt")));
  };
  const std::string clock3 = orbit("clock", "3");
  ASSERT_FALSE(clock3.empty());
  EXPECT_EQ(clock3, orbit("clock", "3"));
  EXPECT_NE(clock3, orbit("clock", "4"));
  EXPECT_NE(orbit("five", "3"), orbit("seven", "3"));
  EXPECT_NE(orbit("five", "3"), orbit("five", "4"));
  EXPECT_NE(orbit("none", "0"), orbit("none", "1"));
  EXPECT_NE(file_text(dir / "five-3/listing.txt").find("THE SEED SELECTED FOR THIS RUN IS :"),
            std::string::npos);
}

} // namespace
