// The operation loop: reads one operation line at a time, finds the operation by its first four
// letters and hands it to its handler, until an operation's data end with ";".
#include "program/operation_loop.h"

#include "common/control.h"
#include "common/halt.h"
#include "common/units.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "engine/unavailable_operations.h"
#include "errors/seed.h"
#include "fit/fitting.h"
#include "maps/element_maps.h"
#include "optics/constants.h"
#include "optics/matrix_operation.h"

#include <array>
#include <string>
#include <string_view>

namespace vorax {

namespace {

constexpr int OPERATIONS = 50;
constexpr int CASES = 46;

// The operation names in table order; the place of a name gives its operation code.
constexpr std::array<std::string_view, OPERATIONS> operation_names{
    "SIMP", "LEAS", "MOVE", "TRAC", "MODI", "MATR", "MACH", "HARD", "BEAM", "DETA",
    "GEOM", "LINE", "MISA", "ERRO", "SETM", "SETE", "SEED", "ALIG", "REFE", "CORR",
    "SETC", "SYNC", "SHOC", "GENE", "BASE", "PART", "CONS", "SHOE", "SHOM", "OUTP",
    "ADIA", "SETS", "SHOV", "FILE", "SETF", "CHAN", "READ", "CADO", "RMAT", "INTE",
    "SEIS", "BLOC", "TUNE", "ZQVO", "SETL", "PRIN", "SPAC", "LAYO", "COSY", "CAVI"};

constexpr int ALIG_CODE = 1400;

int code_of_place(int i) {
  if (i <= 2)
    return 90 + 10 * i;
  if (i <= 6)
    return 100 * i - 100;
  if (i <= 8)
    return 440 + 10 * i;
  if (i == 9)
    return 515;
  return 100 * i - 400;
}

// Page-eject flag left by each case for the next operation's heading.
constexpr std::array<int, CASES + 1> eject_after{0,                            // no case 0
                                                 1, 1, 1, 0, 1, 1, 1, 1, 0, 0, // 1..10
                                                 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, // 11..20
                                                 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, // 21..30
                                                 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, // 31..40
                                                 0, 0, 0, 1, 1, 0};            // 41..46

bool is_comment(char c) {
  return c == '(' || c == '*' || c == '@' || c == '!';
}

// State that every operation starts from afresh. Subsystems with per-operation words reset
// them here.
void reset_operation_state() {
  opline.column = 0; // the data start on the line after the operation line
}

// Calls the handler of the case; returns true when the operation ends the run.
bool dispatch(int code, int case_number, int &end_flag) {
  switch (case_number) {
  case 1:
    if (code == 100)
      fitmat(end_flag);
    else
      fitlsq(end_flag);
    break;
  case 2:
    twan(code, case_number, end_flag);
    break;
  case 3:
    trapre(end_flag);
    break;
  case 4:
    modpre(end_flag);
    break;
  case 5:
    matpre(code, end_flag);
    break;
  case 6:
    detail(end_flag);
    break;
  case 7:
    geaber(end_flag);
    break;
  case 8:
    linabe(end_flag);
    break;
  case 9:
    misdat(end_flag);
    break;
  case 10:
    errdat(end_flag);
    break;
  case 11:
    setmis(end_flag);
    break;
  case 12:
    seterr(end_flag);
    break;
  case 13:
    seed(end_flag);
    break;
  case 14:
    align(end_flag);
    break;
  case 15:
    reforb(end_flag);
    break;
  case 16:
    cordat(end_flag);
    break;
  case 17:
    setcor(end_flag);
    break;
  case 18:
    setsyn(end_flag);
    break;
  case 19:
    shocor(end_flag);
    break;
  case 20:
    gener(end_flag);
    break;
  case 21:
    base(end_flag);
    break;
  case 22:
    partan(end_flag);
    break;
  case 23:
    condf(end_flag);
    break;
  case 24:
    shoerr(end_flag);
    break;
  case 25:
    shomis(end_flag);
    break;
  case 26:
    outcon(end_flag);
    break;
  case 27:
    setadi(end_flag);
    break;
  case 28:
    setsym(end_flag);
    break;
  case 29:
    shocon();
    break;
  case 30:
    filpre(end_flag);
    break;
  case 31:
    fitpt(end_flag);
    break;
  case 32:
    chgcor(end_flag);
    break;
  case 33:
    rdmon(end_flag);
    break;
  case 34:
    hpon(end_flag);
    break;
  case 35:
    rmpre(end_flag);
    break;
  case 36:
    inter(end_flag);
    break;
  case 37:
    seism(end_flag);
    break;
  case 38:
    block(end_flag);
    break;
  case 39:
    tune(end_flag);
    break;
  case 40:
    zqvout(end_flag);
    break;
  case 41:
    limits(end_flag);
    break;
  case 42:
    prtdef(end_flag);
    break;
  case 43:
    spchg(end_flag);
    break;
  case 44:
    lay(end_flag);
    break;
  case 45:
    dcosy(end_flag);
    return true;
  case 46:
    setcav(end_flag);
    break;
  default:
    // Cannot come from the name table; the data are still read so the stream stays in step.
    engine_message(" ERROR IN OPERATION CODE");
    input_record(end_flag);
    break;
  }
  return false;
}

} // namespace

int optitl(const Chars<80> &line) {
  std::string first;
  for (int i = 0; i < 80 && first.size() < 4; ++i)
    if (line[i] != ' ')
      first.push_back(line[i]);
  for (int i = 1; i <= OPERATIONS; ++i)
    if (first == operation_names[static_cast<std::size_t>(i - 1)])
      return code_of_place(i);
  engine_message("   ERROR IN OPERATION NAME : " + std::string(line.view().substr(0, 10)) +
                 " : JOB STOPPED ");
  engine_stop(280);
}

bool getop(int &code, int &case_number, Chars<80> &line, int page_eject) {
  std::string raw;
  for (;;) {
    if (read_operation_record(raw) != READ_OK)
      return false; // the command loop sees the end of the input next
    line.assign(raw);
    for (int i = 0; i < 72; ++i)
      if (line[i] >= 'a' && line[i] <= 'z')
        line[i] = static_cast<char>(line[i] - 'a' + 'A');
    if (is_comment(line[0])) {
      engine_message("   " + line.str());
      continue;
    }
    if (!line.blank())
      break;
  }
  code = optitl(line);
  case_number = operation_case(code);
  if (code != ALIG_CODE || control.alig_echo != 0) {
    if (control.print_level >= 2) {
      if (page_eject)
        write_record(control.output_unit, "1");
      write_record(control.output_unit, " OPERATION LIST ,");
    }
    if (control.print_level >= 1) {
      write_record(control.output_unit, " ");
      write_record(control.output_unit, "   " + line.str());
    }
    if (control.echo_flag)
      write_record(control.echo_unit, "   " + line.str());
  }
  control.alig_echo = 1;
  reset_operation_state();
  return true;
}

int vxmain() {
  start_engine();
  for (;;) {
    int code = 0;
    int case_number = 0;
    Chars<80> line;
    if (!getop(code, case_number, line, control.page_eject))
      return VXMAIN_STREAM_END;
    int end_flag = 0;
    if (dispatch(code, case_number, end_flag))
      return VXMAIN_END_RUN;
    control.page_eject = case_number >= 1 && case_number <= CASES
                             ? eject_after[static_cast<std::size_t>(case_number)]
                             : 0;
    control.map_order = 2;
    // Only after the handler has run: the operation whose data end with ";" completes first.
    if (end_flag == 1)
      return VXMAIN_STREAM_END;
  }
}

} // namespace vorax
