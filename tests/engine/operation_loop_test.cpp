// The operation loop: decoding of operation lines into rows of the operation table, the
// start-up tables (lengths, linac energies, matrix numbers), the run summary, dispatch and the
// end of the stream.
#include "engine_fixture.h"

#include "common/control.h"
#include "common/units.h"
#include "engine/engine_start.h"
#include "input/command_loop.h"
#include "input/reader.h"
#include "program/operation_loop.h"
#include "track/tracking_areas.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <random>

namespace vorax::test {
namespace {

struct Ran {
  int stop = -1;     // error stop code, -1 when vxmain returned
  int returned = -1; // vxmain's value
  std::string listing;
};

Ran run_vxmain() {
  Ran r;
  r.stop = stop_code([&] { r.returned = vxmain(); });
  r.listing = listing_text();
  return r;
}

// D(1 m) Q(0.5 m) D as the machine.
void fodo(std::string_view operations) {
  start_engine_test(operations);
  add_element(KODE_DRIFT, {1.0}, "D");
  add_element(KODE_QUAD, {0.5, 1.2, 1.0, 0.0}, "Q");
  set_machine({1, 2, 1});
}

using EngineLoop = EngineTest;

TEST_F(EngineLoop, OperationNamesGiveTheirRows) {
  fodo("   matrix 1 2\nMA TRIX\nSIMPLEX\nLEAST\nMACHINE\nHARD\nBEAM\nDETAIL\nCAVITY\nCOSY\n");
  struct Expected {
    std::string_view name;
    int code;
  };
  const Expected expected[] = {{"MATR", 500},  {"MATR", 500}, {"SIMP", 100}, {"LEAS", 110},
                               {"MACH", 510},  {"HARD", 520}, {"BEAM", 515}, {"DETA", 600},
                               {"CAVI", 4600}, {"COSY", 4500}};
  for (const Expected &e : expected) {
    const Operation *operation = nullptr;
    Chars<80> line;
    ASSERT_TRUE(getop(operation, line, 0));
    EXPECT_EQ(operation->name, e.name);
    EXPECT_EQ(operation->code, e.code);
  }
  const Operation *operation = nullptr;
  Chars<80> line;
  EXPECT_FALSE(getop(operation, line, 0)); // end of the input
}

TEST_F(EngineLoop, EveryNameHasOneRowWithItsOwnCode) {
  const char *names[] = {"SIMP", "LEAS", "MOVE", "TRAC", "MODI", "MATR", "MACH", "HARD", "BEAM",
                         "DETA", "GEOM", "LINE", "MISA", "ERRO", "SETM", "SETE", "SEED", "ALIG",
                         "REFE", "CORR", "SETC", "SYNC", "SHOC", "GENE", "BASE", "PART", "CONS",
                         "SHOE", "SHOM", "OUTP", "ADIA", "SETS", "SHOV", "FILE", "SETF", "CHAN",
                         "READ", "CADO", "RMAT", "INTE", "SEIS", "BLOC", "TUNE", "ZQVO", "SETL",
                         "PRIN", "SPAC", "LAYO", "COSY", "CAVI", "COCO"};
  start_engine_test();
  EXPECT_EQ(operation_table().size(), std::size(names));
  std::vector<int> codes;
  for (const char *n : names) {
    const Operation &operation = optitl(Chars<80>(n));
    EXPECT_EQ(operation.name, n);
    EXPECT_NE(operation.handler, nullptr) << n;
    codes.push_back(operation.code);
  }
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(std::adjacent_find(codes.begin(), codes.end()), codes.end());
  EXPECT_EQ(optitl(Chars<80>("CONSTANTS")).code, 2300);
  EXPECT_EQ(optitl(Chars<80>("ZQVO")).code, 4000);
  EXPECT_EQ(optitl(Chars<80>("PRINT")).code, 4200);
  EXPECT_EQ(stop_code([] { optitl(Chars<80>("FOOBAR LINE")); }), 280);
  EXPECT_TRUE(contains(listing_text(), "   ERROR IN OPERATION NAME : FOOBAR LIN : JOB STOPPED"));
  EXPECT_EQ(stop_code([] { optitl(Chars<80>("MAT")); }), 280);
}

// Each row that is not yet computed reads its data and names itself, not another row, in its
// message. The data layouts differ, so each row is tried with data of a few shapes until one
// gets through its reader.
TEST_F(EngineLoop, UnavailableRowsNameThemselves) {
  const char *shapes[] = {";\n",
                          " 1;\n",
                          " 99;\n",
                          " D 1;\n",
                          " D 1\n 99;\n",
                          " 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1;\n",
                          " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0;\n"};
  int unavailable = 0;
  for (const Operation &operation : operation_table()) {
    for (const char *data : shapes) {
      fodo(data);
      add_front_element("D", KW_DRIFT);
      int end_flag = 0;
      const int stop = stop_code([&] { operation.handler(operation.code, end_flag); });
      const std::string listing = listing_text();
      if (stop != -1 || !contains(listing, "IS NOT AVAILABLE"))
        continue;
      ++unavailable;
      EXPECT_EQ(
          count_of(listing, " OPERATION " + std::string(operation.name) + " IS NOT AVAILABLE"), 1)
          << operation.name;
      break;
    }
  }
  EXPECT_EQ(unavailable, 7); // every row but the forty-three computed operations
}

TEST_F(EngineLoop, OperationLinesCommentsAndEcho) {
  // Comments are echoed, blank lines skipped, only columns 1..72 are upper-cased.
  fodo("* note\n\n     \n" + std::string("shov") + std::string(68, ' ') + "tail\n");
  control.print_level = 2;
  const Operation *operation = nullptr;
  Chars<80> line;
  ASSERT_TRUE(getop(operation, line, 1));
  EXPECT_EQ(operation->code, 2900);
  EXPECT_EQ(line.view().substr(72, 4), "tail");
  const std::vector<std::string> lines = lines_of(listing_text());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "   * NOTE");
  EXPECT_EQ(lines[1], "1"); // the previous operation asked for a new page
  EXPECT_EQ(lines[2], " OPERATION LIST ,");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4].substr(0, 7), "   SHOV");

  fodo("SHOV\n");
  control.print_level = 1;
  ASSERT_TRUE(getop(operation, line, 1));
  EXPECT_EQ(listing_text(), "\n   SHOV\n");

  fodo("SHOV\n");
  control.print_level = 0;
  ASSERT_TRUE(getop(operation, line, 1));
  EXPECT_EQ(listing_text(), "");

  // An ALIG line is not echoed once, when ALIG asked for it.
  fodo("ALIG\nALIG\n");
  control.alig_echo = 0;
  ASSERT_TRUE(getop(operation, line, 0));
  EXPECT_FALSE(contains(listing_text(), "ALIG"));
  ASSERT_TRUE(getop(operation, line, 0));
  EXPECT_TRUE(contains(listing_text(), "   ALIG"));
}

TEST_F(EngineLoop, StartUpTablesAndSummary) {
  fodo("OUTP\n 3;\n");
  add_element(KODE_GKICK, {0.2, 0, 0, 0, 0, 0, 0, 0, 0.05, 1, 0}, "K");
  set_machine({1, 2, 1, 3});
  inputt.real_kick_count = 2;
  const Ran r = run_vxmain();
  EXPECT_EQ(r.stop, -1);
  EXPECT_EQ(r.returned, VXMAIN_STREAM_END);
  EXPECT_TRUE(contains(r.listing, " * VORAX PROGRAM : LAST MODIFIED ON MAY      20, 1991 ***"));
  EXPECT_DOUBLE_EQ(blank.element_length(3), 0.25); // L + DZ
  EXPECT_DOUBLE_EQ(blank.path_length(1), 1.0);
  EXPECT_DOUBLE_EQ(blank.path_length(2), 1.5);
  EXPECT_DOUBLE_EQ(blank.machine_length, 2.75);
  EXPECT_TRUE(contains(r.listing, " TOTAL LENGTH OF MACHINE IS:     2.750 METERS"));
  EXPECT_TRUE(contains(r.listing, " IN THIS RUN THERE ARE :"));
  EXPECT_TRUE(contains(r.listing, "     3 DISTINCT ELEMENTS.  MAX IS MXELMD :  3000"));
  EXPECT_TRUE(contains(r.listing, "     4 ELEMENTS IN MACHINE.MAX IS MAXPOS : 10000"));
  EXPECT_TRUE(contains(r.listing, "     1 MATRICES DEFINED.   MAX IS MAXMAT :   500"));
  EXPECT_TRUE(contains(r.listing, "    17 VALUES IN ELDAT.    MAX IS MAXDAT : 16000"));
  EXPECT_TRUE(contains(r.listing, " ** WARNING     2 MATRICES COMPUTED FOR REAL KICKS**"));
  EXPECT_EQ(blank.matrix_number(1), 0);
  EXPECT_EQ(blank.matrix_number(2), 1);
  EXPECT_EQ(blank.matrix_number(3), 0);
  EXPECT_EQ(sym.matrix_count, 1);

  // At print level 1 no length line; at 0 no kick warning either.
  fodo("OUTP\n 3;\n");
  inputt.real_kick_count = 1;
  newbm.value = 1; // a re-entry keeps the settings, here the print level
  control.print_level = 0;
  const Ran quiet = run_vxmain();
  EXPECT_FALSE(contains(quiet.listing, "VORAX PROGRAM"));
  EXPECT_FALSE(contains(quiet.listing, "TOTAL LENGTH"));
  EXPECT_FALSE(contains(quiet.listing, "REAL KICKS"));
  EXPECT_TRUE(contains(quiet.listing, " IN THIS RUN THERE ARE :"));
  newbm.value = 0;
}

TEST_F(EngineLoop, LinacEnergiesAfterEachPosition) {
  fodo("OUTP\n3;\n");
  ASSERT_EQ(run_vxmain().stop, -1);
  for (int p = 1; p <= 3; ++p) {
    EXPECT_EQ(lincav.eideal(p), 1.0);
    EXPECT_EQ(lincav.ereal(p), 1.0);
  }
  EXPECT_EQ(lincav.linac, 0);

  fodo("OUTP\n3;\n");
  const int cav = add_element(KODE_LCAVITY, {1.0, 2.0, 0.5, 0, 1.3e9, 0, 0}, "CAV");
  const int cav2 = add_element(KODE_LCAVITY, {1.0, 9.0, -0.25, 0, 1.3e9, 0, 0}, "CAV2");
  set_machine({1, 2, cav, 1, cav2, 2});
  ASSERT_EQ(run_vxmain().stop, -1);
  const double expected[] = {2.0, 2.0, 2.5, 2.5, 2.25, 2.25};
  for (int p = 1; p <= 6; ++p) {
    EXPECT_EQ(lincav.eideal(p), expected[p - 1]) << p;
    EXPECT_EQ(lincav.ereal(p), expected[p - 1]) << p;
  }
  EXPECT_EQ(lincav.linac, 1);
  EXPECT_EQ(lincav.count, 2);
  EXPECT_EQ(lincav.positions(1), 3);
  EXPECT_EQ(lincav.positions(2), 5);
  EXPECT_EQ(lincav.initial_energy, 2.0);
}

TEST_F(EngineLoop, MatrixLimitAndKindTwentyRequest) {
  auto machine_of_quads = [](int n) {
    start_engine_test("OUTP\n3;\n");
    add_element(KODE_DRIFT, {1.0}, "D");
    for (int i = 0; i < n; ++i)
      add_element(KODE_QUAD, {0.1, 1.0, 1.0, 0.0}, "Q" + std::to_string(i));
    add_element(KODE_TARVOCAV, {0.1, 1, 1, 0}, "T");
    set_machine({1, 2, n + 2, 1, n + 2});
  };
  machine_of_quads(500);
  Ran r = run_vxmain();
  EXPECT_EQ(r.stop, -1);
  EXPECT_EQ(sym.matrix_count, 500);
  EXPECT_EQ(blank.matrix_number(501), 500);
  EXPECT_EQ(blank.matrix_number(502), 0);
  EXPECT_EQ(count_of(r.listing, " request a matrix for a tarvo cavity"), 1);
  EXPECT_EQ(tarvocav.request, 1);

  machine_of_quads(501);
  r = run_vxmain();
  EXPECT_EQ(r.stop, 3);
  EXPECT_TRUE(contains(r.listing, "  TOO MANY MATRICES : MAXIMUM IS :   500"));
  EXPECT_TRUE(contains(r.listing, "  INCREASE VALUE OF PARAMETER MAXMAT"));
}

TEST_F(EngineLoop, StreamEndsAfterTheOperationWithSemicolon) {
  // The operation whose data end with ";" runs to its end before the engine returns, and a
  // comma does not end the stream.
  fodo("* first a comment\n\nTRAC\n -1 -2 1 5\n 0 0 0 0 0 0\n 0,\nCONS\n 1 3.0,\nSHOV\n"
       "TRACK\n -1 -2 0 3;\nCONS\n 1 4.0;\n");
  const Ran r = run_vxmain();
  EXPECT_EQ(r.returned, VXMAIN_STREAM_END);
  EXPECT_EQ(const_.pi, 3.0);
  EXPECT_EQ(trace.iturn, 8); // TRACK continued the particle of TRAC
  std::string rest;
  EXPECT_EQ(read_record(DECK_UNIT, rest), READ_OK); // the last CONS is left for later
  EXPECT_EQ(rest, "CONS");
  // A heading after TRAC starts a new page; after CONS it does not.
  const std::vector<std::string> lines = lines_of(r.listing);
  const auto cons = std::find(lines.begin(), lines.end(), "   CONS");
  const auto shov = std::find(lines.begin(), lines.end(), "   SHOV");
  ASSERT_NE(cons, lines.end());
  ASSERT_NE(shov, lines.end());
  EXPECT_EQ(*(cons - 3), "1");
  EXPECT_EQ(*(cons - 2), " OPERATION LIST ,");
  EXPECT_EQ(*(shov - 2), " OPERATION LIST ,");
  EXPECT_NE(*(shov - 3), "1");
}

TEST_F(EngineLoop, EndOfInputAndCosyEndTheStreamCleanly) {
  fodo("OUTP\n 2,\n");
  Ran r = run_vxmain();
  EXPECT_EQ(r.stop, -1);
  EXPECT_EQ(r.returned, VXMAIN_STREAM_END);

  fodo("COSY\n 1,\nOUTP\n 3;\n");
  r = run_vxmain();
  EXPECT_EQ(r.stop, -1);
  EXPECT_EQ(r.returned, VXMAIN_END_RUN);
  EXPECT_TRUE(contains(r.listing, "\n procedure mach ;\n"));
}

TEST_F(EngineLoop, OperationsWithoutALayoutReadOneRecord) {
  // Their one record may run over several lines up to its "," or ";".
  const char *names[] = {"DETA", "GEOM", "LINE", "PART", "FILE", "INTE", "CAVI"};
  std::string deck;
  for (const char *n : names)
    deck += std::string(n) + "\n 1 2.5\n -3,\n";
  fodo(deck + "SEED\n 7;\nMATR\n");
  const Ran r = run_vxmain();
  EXPECT_EQ(r.stop, -1);
  EXPECT_EQ(r.returned, VXMAIN_STREAM_END);
  for (const char *n : names)
    EXPECT_TRUE(contains(r.listing, std::string(" OPERATION ") + n +
                                        " IS NOT AVAILABLE IN THIS VERSION; ITS DATA ARE SKIPPED"))
        << n;
  std::string rest;
  EXPECT_EQ(read_record(DECK_UNIT, rest), READ_OK);
  EXPECT_EQ(rest, "MATR");
}

TEST_F(EngineLoop, EchoFileNamedFromTheTitleKeepsItsContent) {
  // Real files: the echo file is opened under the title's first six characters.
  start_engine_test();
  bind_program_units("", "listing.txt");
  pagtit.title = "MY RUN/../TEST";
  setup();
  EXPECT_EQ(control.echo_flag, 1);
  EXPECT_EQ(unit_file_name(LOG_UNIT), "MY_RUN.ech");
  write_record(LOG_UNIT, " first");
  setup(); // TITLE and VORAX both come here
  write_record(LOG_UNIT, " second");
  close_all_units();
  std::ifstream f("MY_RUN.ech");
  const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, " first\n second\n");

  reset_units();
  bind_program_units("", "listing.txt");
  pagtit.title = "../../x";
  setup();
  EXPECT_EQ(unit_file_name(LOG_UNIT), ".._.._.ech");
  close_all_units();
  reset_units();
}

// Random operation streams: the engine must end by returning or by the error stop, never crash
// or run on.
TEST_F(EngineLoop, RandomOperationStreamsEndCleanly) {
  const std::vector<std::string> pieces = {
      "MATR",     "CONS", "SHOV",   "OUTP", "SETL",  "PRIN", "TRAC",
      "SEED",     "COSY", "LEAS",   "ZQVO", "SETS",  "SETF", "NAME",
      "INTERVAL", "TYPE", "END",    "99",   "D",     "Q",    "Q*",
      "K1",       "L",    "BEND",   "1",    "-2.5",  "1E50", "1E51",
      ".",        "+",    "-",      "E",    "1.2.3", ",",    ";",
      "*",        "!",    "OUTPUT", " ",    "  ",    "0",    "12345678901234567890",
      "x",        "(",    "@",      "3.0,", "2;",    "...",  "QFLONGNAME"};
  const std::vector<std::string> operations = {"MATR", "CONS", "SHOV", "OUTP", "SETL", "PRIN",
                                               "TRAC", "MISA", "COSY", "CAVI", "ERRO", "ADIA",
                                               "CHAN", "ALIG", "MOVE", "SETM", "READ"};
  std::mt19937 random(20240611);
  int returned = 0, stopped = 0;
  for (int run = 0; run < 300; ++run) {
    std::string deck;
    const int n_lines = static_cast<int>(random() % 25);
    for (int i = 0; i < n_lines; ++i) {
      // Every other line starts like an operation, so that the streams reach the handlers.
      std::string line = random() % 2 ? operations[random() % operations.size()] + " " : "";
      const int n_pieces = static_cast<int>(random() % 8);
      for (int j = 0; j < n_pieces; ++j) {
        line += pieces[random() % pieces.size()];
        if (random() % 3)
          line += ' ';
      }
      if (random() % 7 == 0)
        line = std::string(random() % 90, ' ') + line;
      deck += line + "\n";
    }
    fodo(deck);
    add_front_element("D", KW_DRIFT);
    add_front_element("Q", KW_QUADRUPO);
    const Ran r = run_vxmain();
    (r.stop >= 0 ? stopped : returned) += 1;
  }
  EXPECT_GT(returned, 0);
  EXPECT_GT(stopped, 0);
}

} // namespace
} // namespace vorax::test
