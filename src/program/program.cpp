// Program start: page header, plot output, reader, the command loop and the end-of-run
// summary; the one place where the end of the run is caught and turned into an exit status:
// the error stop, output that cannot be written, a stop signal and memory running out.
#include "program/program.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/interruption.h"
#include "common/limits.h"
#include "common/plot.h"
#include "common/random_numbers.h"
#include "common/run_identity.h"
#include "common/shared_areas.h"
#include "common/terminal_report.h"
#include "common/units.h"
#include "engine/engine_start.h"
#include "errors/correctors.h"
#include "errors/field_errors.h"
#include "errors/imperfection_passes.h"
#include "errors/misalignments.h"
#include "errors/ring_correction.h"
#include "input/command_loop.h"
#include "input/diagnostics.h"
#include "input/reader.h"
#include "optics/matrix_operation.h"
#include "output/orbit_plot.h"
#include "output/result_files.h"
#include "output/result_tables.h"
#include "output/ring_correction_table.h"
#include "output/tracking_layout_results.h"
#include "output/tracking_plots.h"
#include "program/operation_loop.h"
#include "track/tracked_matrix.h"
#include "track/tracking_hooks.h"

#include <cctype>
#include <cstdio>
#include <new>
#include <string>

namespace vorax {

namespace {

// Flushes every unit, and names the output that could not be written: its records, even those
// kept in buffers until now (a full disk), are lost, and the run cannot count as a success.
int finish(int status) {
  flush_all_units();
  if (write_failure().empty())
    return status;
  terminal("vorax: cannot write " + write_failure());
  return status > 128 ? status : 1; // an interruption keeps its own status
}

// The result files a run ending early left: incomplete ones under their names (they say so
// inside) and those that could not be written at all.
void report_result_files() {
  for (const std::string &file : resout.incomplete)
    terminal("vorax: incomplete: " + file + " holds what came before the end");
  for (const std::string &file : resout.lost)
    terminal("vorax: cannot write " + file);
}

// The listing's last record when the run ends early, so that a reader of the listing alone
// sees where and why it ends. A listing that cannot take it (the failure itself) is left as is.
void last_record(const std::string &text) {
  try {
    write_record(LISTING_UNIT, text);
  } catch (const RunEnd &) {
    // the failure that ends the run is reported once, by finish
  }
}

// Where the run stood: the operation and, in tracking, the turn and the position last done.
std::string where_the_run_stood() {
  if (intrpt.operation[0] == '\0')
    return "while reading the input";
  std::string where = std::string("during ") + intrpt.operation;
  if (intrpt.position >= 1 && intrpt.position <= mat.npos)
    where += ", turn " + std::to_string(intrpt.turn) + ", position " +
             std::to_string(intrpt.position) + " (" +
             std::string(chinp.elname(blank.mseq(intrpt.position)).trimmed()) + ")";
  return where;
}

std::string upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

int interrupted() {
  const int signal = intrpt.signal.load();
  const std::string where = where_the_run_stood();
  last_record("0*** RUN INTERRUPTED BY " + signal_name(signal) + " " + upper(where));
  terminal("vorax: interrupted by " + signal_name(signal) + " " + where +
           "; the listing ends there");
  report_result_files();
  return finish(128 + signal);
}

// The memory that ran out is given back as the exception unwinds; should even the report find
// none, the terminal still gets a fixed line.
int out_of_memory() {
  try {
    const std::string where = where_the_run_stood();
    last_record("0*** RUN STOPPED: OUT OF MEMORY " + upper(where));
    terminal("vorax: out of memory " + where + "; the run is stopped");
    report_result_files();
  } catch (const std::bad_alloc &) {
    std::fputs("vorax: out of memory; the run is stopped\n", stderr);
  }
  return finish(1);
}

bool enter_engine() {
  const bool end = vxmain() == VXMAIN_END_RUN;
  note_operation({});
  return end;
}

bool imperfections_active() {
  return mis.active || cerr.active;
}

template <class Hook> void fill(Hook &slot, Hook function) {
  if (slot == nullptr)
    slot = function;
}

// The closing line ends by naming the message log, where the markers and messages are.
std::string see_the_log() {
  return "; see the message log " + unit_file_name(LOG_UNIT);
}

// The stops of a full table that grows with the machine: correctors, map records, positions,
// element table, data slots, distinct elements, parameters, list cells, sequence.
bool machine_table_full(int code) {
  switch (code) {
  case 1:
  case 3:
  case 4:
  case 5:
  case 6:
  case 7:
  case 9:
  case 10:
  case 11:
    return true;
  default:
    return false;
  }
}

// The stops that report what a computation met (particles lost, a fit gone unstable, a singular
// system, a table of the lattice too small) rather than something wrong in the operation's data.
// A full corrector list (1) is the operation's own data.
bool stop_about_the_data(int code) {
  if (code != 1 && machine_table_full(code))
    return false;
  switch (code) {
  case 12:
  case 13:
  case 100:
  case 101:
  case 102:
  case 103:
  case 236:
  case 258:
  case 262:
  case 281:
  case 282:
  case 288:
  case 300:
  case 302:
  case 303:
  case 304:
  case 305:
  case 310:
  case 320:
    return false;
  default:
    return code >= 0;
  }
}

// An operation stopped by its data whose own message has no terminal line yet gets one, at the
// data line last read, quoting the operation's last message (or the stop's name).
void report_data_stop(int code) {
  if (termrep.operation[0] == '\0' || termrep.data_error_told || !stop_about_the_data(code))
    return;
  std::string message = termrep.last_message;
  if (message.find_first_not_of(' ') == std::string::npos) {
    std::string_view name = error_name(code);
    while (!name.empty() && name.back() == ' ')
      name.remove_suffix(1);
    message = std::string(name);
  }
  termrep.data_error_told = true;
  report_input_record(true, control.input_unit, record_number(control.input_unit), message);
}

// The count of the warnings for the closing line ("" when none).
std::string warnings_counted(std::string_view before) {
  return termrep.warnings > 0 ? std::string(before) + count_text(termrep.warnings, "warning")
                              : std::string();
}

// The error lines held back from the terminal, counted in one line.
void tell_held_errors() {
  if (termrep.errors_held > 0)
    terminal("vorax: " + count_text(termrep.errors_held, "more error") +
             " not shown here (the first " + std::to_string(TERMINAL_ERROR_LINES) + " are)" +
             see_the_log());
}

// What the person at the terminal can do about a full machine table.
std::string raising_the_tables() {
  const int now = machine_limits().maxpos_elements;
  if (now >= LARGEST_MAX_POSITIONS)
    return "vorax: the machine tables are at their largest (--max-positions " +
           std::to_string(now) + ")";
  return "vorax: --max-positions N raises this limit with every table that grows with the "
         "machine (this run: " +
         std::to_string(now) + " positions)";
}

} // namespace

// The program's functions go where no others stand: a test's own hooks, installed for a scope
// around a run, stay in force.
void install_tracking_hooks() {
  TrackingHooks hooks = tracking_seam.hooks();
  fill(hooks.pass_start, restart_imperfections);
  fill(hooks.pass_end, end_imperfection_pass);
  fill(hooks.active, imperfections_active);
  fill(hooks.may_stop, imperfections_may_stop);
  fill(hooks.misaligned, misaligned_position);
  fill(hooks.apply_errors, eset);
  fill(hooks.restore_element, ereset);
  fill(hooks.corrector, corrected_position);
  fill(hooks.monitor, monitor_state);
  fill(hooks.read_monitor, read_monitor);
  fill(hooks.observing, orbit_observing);
  fill(hooks.observe, orbit_observe);
  fill(hooks.plot_particles, plotpr);
  fill(hooks.results_begin, begin_tracking_results);
  fill(hooks.printed_coordinates, tracking_results_row);
  fill(hooks.results_end, end_tracking_results);
  fill(hooks.lost, tracking_results_loss);
  tracking_seam.install(hooks);
  TrackedMatrixHooks matrix = tracked_matrix_seam.hooks();
  fill(matrix.print_matrix, prmat);
  tracked_matrix_seam.install(matrix);
  CorrectionHooks correction = correction_seam.hooks();
  fill(correction.orbit_plot, plot_orbit_displacements);
  correction_seam.install(correction);
  ResultTableHooks tables = result_table_seam.hooks();
  fill(tables.wanted, tables_wanted);
  fill(tables.write, write_table_of_results);
  result_table_seam.install(tables);
  RingCorrectionHooks ring = ring_correction_seam.hooks();
  fill(ring.tables, write_ring_correction_tables);
  ring_correction_seam.install(ring);
}

void install_program_hooks() {
  command_loop_seam.install({enter_engine, setup});
  install_tracking_hooks();
}

int run_program() {
  install_program_hooks();
  int status = 0;
  try {
    pagtit.title = Chars<80>{};
    pagtit.version = Name8("1.01");
    pagtit.extra = Name8{};
    // Printer plots are drawn into the listing, so frames are counted against that unit.
    plinit(LISTING_UNIT);
    // A run given --seed has seeded random numbers from its start, also when its deck never
    // says SEED: the run's identity then holds for every random draw it makes.
    if (runid.seeded)
      fill_random_tables(mixed_seed(0, runid.seed));
    rdinit(DECK_UNIT, LISTING_UNIT, LOG_UNIT);
    // Units 15 and 16 are bound by the caller before the run starts.
    log_record("0INPUT STREAM AND MESSAGE LOG:");
    clear();
    cntrol();
    plend(iodata.log_unit);
    rdend(101);
    tell_held_errors();
    // The closing line: the counts of a run that had something to say; a clean run is quiet.
    if (iodata.error_count > 0) {
      status = 1;
      terminal("vorax: " + std::to_string(iodata.error_count) +
               (iodata.error_count == 1 ? " error" : " errors") + " found in the input" +
               warnings_counted(", ") + see_the_log());
    } else if (termrep.warnings > 0 || termrep.errors > 0) {
      terminal("vorax: " + count_text(termrep.errors, "error") + ", " +
               count_text(termrep.warnings, "warning"));
    }
  } catch (const RunEnd &end) {
    begin_closing();
    if (end.code == INTERRUPTED)
      return interrupted();
    if (end.code == COMMAND_LINE_REFUSED)
      return finish(2); // the reason is on the terminal; the run computed nothing
    status = 1;
    report_data_stop(end.code);
    end_operation_report();
    tell_held_errors();
    if (end.code == WRITE_FAILURE) {
      last_record("0*** RUN STOPPED: CANNOT WRITE " + write_failure());
      report_result_files();
      return finish(status); // the file is named once the other units have been flushed
    }
    std::string line = "vorax: run stopped with error number " + std::to_string(end.code) + ": ";
    std::string_view name = error_name(end.code);
    while (!name.empty() && name.back() == ' ')
      name.remove_suffix(1);
    line += name;
    // A scan-mode end is caused by the errors in the input: say how many.
    if (ioflag.scan_mode != 0 && iodata.error_count > 0)
      line += " (" + std::to_string(iodata.error_count) +
              (iodata.error_count == 1 ? " error" : " errors") + " found in the input" +
              warnings_counted(", ") + ")";
    else if (termrep.warnings > 0)
      line += " (" + warnings_counted("") + ")";
    terminal(line + see_the_log());
    if (machine_table_full(end.code))
      terminal(raising_the_tables());
    report_result_files();
  } catch (const std::bad_alloc &) {
    begin_closing();
    return out_of_memory();
  }
  return finish(status);
}

} // namespace vorax
