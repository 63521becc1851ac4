// The file and title commands of the command loop: TITLE, CALL, RETURN, OPEN and CLOSE.
#include "common/format.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "input/command_loop.h"
#include "input/reader.h"

#include <string>

namespace vorax {

namespace {

std::string line_text() {
  std::string s(80, ' ');
  for (int i = 1; i <= 80; ++i)
    s[static_cast<std::size_t>(i - 1)] = rdbuff(i);
  return s;
}

// The listing and the message log are bound by the program itself; reading them back or
// reconnecting them from the deck would overwrite what has been written so far.
bool refuse_output_unit(int unit, std::string_view command) {
  if (unit != iodata.listing_unit && unit != iodata.log_unit)
    return false;
  rdwarn("** WARNING ** LOGICAL UNIT " + fI(unit, 2) +
         " HOLDS THE LISTING OR THE MESSAGE LOG --- " + quoted(command) + " IGNORED");
  return true;
}

// Reconnecting or closing the unit being read would restart it from its first line, and a
// file that does so itself would never end.
bool refuse_input_unit(int unit, std::string_view command) {
  if (unit != iodata.input_unit)
    return false;
  rdwarn("** WARNING ** LOGICAL UNIT " + fI(unit, 2) + " IS BEING READ --- " + quoted(command) +
         " IGNORED");
  return true;
}

} // namespace

void title() {
  int error = 0;
  rdtest(";", error);
  if (error != 0) {
    ioflag.command_error = 1;
    return;
  }
  if (iodata.column != 81)
    rdwarn("** WARNING ** TEXT AFTER \"TITLE\" SKIPPED");
  rdline();
  if (ioflag.end_of_file != 0)
    pagtit.title = Chars<80>{};
  else
    pagtit.title = line_text();
  if (const auto title_output = command_loop_seam.hooks().title_output)
    title_output();
  iodata.column = 81;
}

void xcall() {
  int unit = 0, error = 0;
  rdfile(unit, error);
  if (error != 0) {
    ioflag.command_error = 1;
    return;
  }
  if (iodata.input_unit != STDIN_UNIT) {
    rdwarn("** WARNING ** \"CALL\"S CANNOT BE NESTED --- \"CALL\" IGNORED");
    return;
  }
  if (refuse_output_unit(unit, "CALL"))
    return;
  if (unit >= 1 && unit <= 99 && failed_opens.unit(unit) != 0) {
    rdwarn("** WARNING ** LOGICAL UNIT " + fI(unit, 2) +
           " WAS NEVER OPENED: ITS \"OPEN\" FAILED --- \"CALL\" IGNORED");
    return;
  }
  if (iodata.column != 81) {
    rdwarn("** WARNING ** TEXT AFTER \"CALL\" COMMAND SKIPPED");
    iodata.column = 81;
  }
  iodata.input_unit = unit;
  ioflag.end_of_file = 0;
  // The standard input cannot be rewound: a CALL of unit 5 goes on where it is.
  if (unit != STDIN_UNIT)
    rewind_unit(unit);
  log_record("0... READING LOGICAL UNIT NUMBER " + fI(unit, 2));
}

void xretrn() {
  int error = 0;
  rdtest(";", error);
  if (error != 0) {
    ioflag.command_error = 1;
    return;
  }
  if (iodata.input_unit == STDIN_UNIT) {
    rdwarn("** WARNING ** \"RETURN\" NOT PERMITTED ON STANDARD INPUT FILE --- \"RETURN\" IGNORED");
    return;
  }
  if (iodata.column != 81) {
    rdwarn("** WARNING ** TEXT AFTER \"RETURN\" SKIPPED");
    iodata.column = 81;
  }
  iodata.input_unit = STDIN_UNIT;
  ioflag.end_of_file = 0;
  log_record("0... READING STANDARD INPUT FILE");
}

void xopen() {
  int unit = 0, error = 0;
  rdfile(unit, error);
  if (error != 0) {
    ioflag.command_error = 1;
    return;
  }
  if (iodata.column != 81) {
    rdwarn("** WARNING ** TEXT AFTER \"OPEN\" SKIPPED");
    iodata.column = 81;
  }
  rdline();
  if (ioflag.end_of_file != 0) {
    rdfail("*** ERROR *** END OF FILE SEEN WHEN READING FILE NAME");
    ioflag.command_error = 1;
    return;
  }
  const std::string name = line_text();
  iodata.column = 81;
  if (refuse_output_unit(unit, "OPEN") || refuse_input_unit(unit, "OPEN"))
    return;
  const bool opened = open_unit(unit, name);
  // A CALL of unit 5 goes on reading the standard input, whatever OPEN did with the unit.
  if (unit >= 1 && unit <= 99 && unit != STDIN_UNIT)
    failed_opens.unit(unit) = opened ? 0 : 1;
  if (opened)
    log_record("0... SUCCESSFUL TO OPEN FILE:" + name);
  else
    rdwarn("** WARNING ** FAIL TO OPEN FILE: " + name);
}

void xclose() {
  int unit = 0, error = 0;
  rdfile(unit, error);
  if (error != 0) {
    ioflag.command_error = 1;
    return;
  }
  if (ioflag.scan_mode != 0)
    return;
  if (refuse_output_unit(unit, "CLOSE") || refuse_input_unit(unit, "CLOSE"))
    return;
  close_unit(unit);
}

} // namespace vorax
