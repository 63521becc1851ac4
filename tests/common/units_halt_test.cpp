// The record layer (memory binding, files, missing units) and the central error stop.
#include "common/control.h"
#include "common/halt.h"
#include "common/units.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

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

TEST(Halt, PrintsNumberAndTwentyCharacterNameThenEndsTheRun) {
  test::start_in_memory();
  control.echo_flag = 1;
  try {
    halt(272);
    FAIL() << "halt returned";
  } catch (const RunEnd &e) {
    EXPECT_EQ(e.code, 272);
  }
  EXPECT_EQ(test::listing_text(), "  HALTING WITH ERROR NUMBER :    272  AND ERROR : INPUT:BAD FORMAT\n");
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
