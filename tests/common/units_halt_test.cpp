// The record layer (memory binding, files, missing units) and the central error stop.
#include "common/control.h"
#include "common/halt.h"
#include "common/units.h"
#include "harness.h"

#include <gtest/gtest.h>

#include "common/reset.h"
#include "program/program.h"

#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

using namespace vorax;

TEST(Units, MemoryBoundDeckReadsLinesThenEndOfFile) {
  test::start_in_memory("first\r\nsecond\n\nlast", "");
  std::string line;
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_OK);
  EXPECT_EQ(line, "first");
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_OK);
  EXPECT_EQ(line, "second");
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_OK);
  EXPECT_EQ(line, "");
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_OK);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_EOF);
  rewind_unit(DECK_UNIT);
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_OK);
  EXPECT_EQ(line, "first");
}

TEST(Units, CapturedRecordsDropTrailingBlanks) {
  test::start_in_memory();
  write_record(LISTING_UNIT, "1HEADING   ");
  write_record(LOG_UNIT, " LOG");
  terminal("to the terminal");
  EXPECT_EQ(test::listing_text(), "1HEADING\n");
  EXPECT_EQ(test::log_text(), " LOG\n");
  EXPECT_EQ(test::terminal_text(), "to the terminal\n");
}

TEST(Units, NamedFileIsWrittenReadBackAndRewound) {
  test::start_in_memory();
  const std::string name = "/tmp/vorax_units_test.dat";
  std::remove(name.c_str());
  ASSERT_TRUE(open_unit(20, name));
  write_record(20, " A RECORD");
  close_unit(20);
  ASSERT_TRUE(open_unit(21, name));
  std::string line;
  EXPECT_EQ(read_record(21, line), READ_OK);
  EXPECT_EQ(line, " A RECORD");
  EXPECT_EQ(read_record(21, line), READ_EOF);
  rewind_unit(21);
  EXPECT_EQ(read_record(21, line), READ_OK);
  close_unit(21);
  std::remove(name.c_str());
}

TEST(Units, UnopenableAndMissingUnitsFailCleanly) {
  test::start_in_memory();
  EXPECT_FALSE(open_unit(30, "/nonexistent-directory/x.dat"));
  EXPECT_FALSE(open_unit(100, "X"));
  std::string line;
  EXPECT_EQ(read_record(77, line), READ_ERROR); // nothing connected, no FOR077.DAT
  EXPECT_EQ(read_record(0, line), READ_ERROR);
  EXPECT_EQ(default_unit_name(7), "FOR007.DAT");
}

TEST(Units, ARecordKeepsItsColumnsAndNoMore) {
  using namespace std::string_literals;
  const std::string long_line(1000000, 'x');
  const std::string text = long_line + "\nnext\n" + std::string(79, 'a') + "\r\n" +
                           std::string(80, 'b') + "\r\n" + "ok\nx\0y\nz\n"s;
  test::start_in_memory(text, "");
  std::string line; // fresh: its capacity shows what was held
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_OK);
  EXPECT_EQ(line, long_line.substr(0, 80));
  EXPECT_LT(line.capacity(), 1000u);
  EXPECT_EQ(read_record(DECK_UNIT, line, 3), READ_OK);
  EXPECT_EQ(line, "nex");
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_OK);
  EXPECT_EQ(line, std::string(79, 'a')); // the line end is CR LF
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_OK);
  EXPECT_EQ(line, std::string(80, 'b'));
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_OK);
  // A NUL byte: not text. The unit stays in error until it is rewound.
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_ERROR);
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_ERROR);
  rewind_unit(DECK_UNIT);
  EXPECT_EQ(read_record(DECK_UNIT, line), READ_OK);
  EXPECT_EQ(line, long_line.substr(0, 80));

  // The same from a file.
  const std::string name = "/tmp/vorax_units_long.dat";
  {
    std::ofstream f(name, std::ios::binary);
    f << long_line << "\nnext";
  }
  ASSERT_TRUE(open_unit(20, name));
  std::string from_file;
  EXPECT_EQ(read_record(20, from_file), READ_OK);
  EXPECT_EQ(from_file.size(), 80u);
  EXPECT_LT(from_file.capacity(), 1000u);
  EXPECT_EQ(read_record(20, from_file), READ_OK);
  EXPECT_EQ(from_file, "next");
  EXPECT_EQ(read_record(20, from_file), READ_EOF);
  close_unit(20);
  std::remove(name.c_str());
}

// Files in the working directory, with their contents.
std::map<std::string, std::string> directory_files() {
  std::map<std::string, std::string> files;
  if (DIR *d = ::opendir(".")) {
    while (dirent *e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..")
        continue;
      std::ifstream f(name, std::ios::binary);
      std::ostringstream s;
      s << f.rdbuf();
      files[name] = s.str();
    }
    ::closedir(d);
  }
  return files;
}

TEST(Units, TheSandboxKeepsEveryFileOfARunInMemory) {
  char tmpl[] = "/tmp/vorax-sandbox-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  char old[4096];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir(tmpl), 0);
  {
    std::ofstream f("HOST.DAT");
    f << "H: DRIFT\n";
  }
  reset_all_areas();
  bind_units_in_memory("OPEN, 20\nNEW.DAT\nOPEN, 21\nHOST.DAT\nOPEN, 22\ngiven.dat\n"
                       "OPEN, 23\n/etc/passwd\nTITLE\nSandbox run\n"
                       "D: DRIFT, L = 1\nL1: LINE = (D)\nUSE, L1\nVORAX\nOUTP\n 3;\n",
                       "CALL, 7\nCALL, 21\nCALL, 22\nCALL, 23\nSTOP\n", UnitFiles::sandbox);
  sandbox_files()["FOR007.DAT"] = "F7: DRIFT, L = 7\n";
  sandbox_files()["GIVEN.DAT"] = "G: DRIFT\n";
  const int status = run_program();
  // A default unit written and read back stays in memory too.
  write_record(30, " A RECORD");
  std::string line;
  EXPECT_EQ(read_record(30, line), READ_OK);
  EXPECT_EQ(line, " A RECORD");
  const std::string log = test::log_text();
  const std::string terminal = test::terminal_text();
  const std::map<std::string, std::string> sandbox = sandbox_files();
  const std::map<std::string, std::string> on_disk = directory_files();
  reset_units();
  ASSERT_EQ(::chdir(old), 0);
  std::system((std::string("rm -rf ") + tmpl).c_str());

  EXPECT_EQ(status, 0) << terminal;
  EXPECT_EQ(test::count_of(log, "0... SUCCESSFUL TO OPEN FILE:"), 4);
  EXPECT_TRUE(test::contains(log, "F7: DRIFT, L = 7")); // read from the sandbox
  EXPECT_TRUE(test::contains(log, "G: DRIFT"));
  EXPECT_FALSE(test::contains(log, "H: DRIFT")); // the host file was not read
  EXPECT_FALSE(test::contains(log, "ROOT"));
  EXPECT_EQ(on_disk, (std::map<std::string, std::string>{{"HOST.DAT", "H: DRIFT\n"}}));
  std::set<std::string> names;
  for (const auto &[name, text] : sandbox)
    names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"FOR007.DAT", "GIVEN.DAT", "NEW.DAT", "HOST.DAT",
                                          "/ETC/PASSWD", "SANDBO.ech", "FOR030.DAT"}));
  EXPECT_EQ(sandbox.at("HOST.DAT"), "");
}

TEST(Halt, PrintsNumberAndTwentyCharacterNameThenEndsTheRun) {
  test::start_in_memory();
  control.echo_flag = 1;
  try {
    halt(272);
    FAIL() << "halt returned";
  } catch (const RunEnd &e) {
    EXPECT_EQ(e.code, 272);
  }
  EXPECT_EQ(test::listing_text(),
            "  HALTING WITH ERROR NUMBER :    272  AND ERROR : INPUT:BAD FORMAT\n");
  EXPECT_EQ(test::log_text(), test::listing_text());
}

TEST(Halt, UnknownNumbersAndTableOrder) {
  EXPECT_EQ(error_name(999), "ERROR NOT IN TABLE  ");
  EXPECT_EQ(error_name(0), "ARR MXLVAR MXLCOND  ");
  EXPECT_EQ(error_name(303), "                    ");
  EXPECT_EQ(error_name(400), "PRINT:WRNG KWD      ");
  EXPECT_EQ(error_name(101), "LDFIN NORMAL END    ");
}

TEST(Halt, RecoverableModeRecordsOnlyTheFirstErrorAndReturns) {
  test::start_in_memory();
  cinter.mode = 1;
  halt(203);
  halt(204);
  EXPECT_EQ(cinter.recorded, 203);
  EXPECT_EQ(test::count_of(test::listing_text(), "HALTING"), 1);
  EXPECT_TRUE(test::contains(test::listing_text(), "ALIG:NO MON FOUND"));
}
