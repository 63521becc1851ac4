// The data of MATR, MACH, BEAM and HARD, and of ZQVO: read, checked and stored before the
// machine pass runs.
#include "common/control.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/limits.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/operation_data.h"
#include "optics/beam_envelope.h"
#include "optics/lattice_functions.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"
#include "optics/optics_results.h"
#include "output/layout.h"

#include <cmath>
#include <string>

namespace vorax {

namespace {

void say(std::string_view text) {
  write_record(control.output_unit, text);
}

// Value k of the record; a record holds NINPUT values, so later ones were never given.
double v(int k) {
  return k <= NINPUT ? cintak.values(k) : 0.0;
}

// Nearest whole number, kept inside the int range whatever the data hold.
int whole(double x) {
  if (!(x > -1e9))
    return std::isnan(x) ? 0 : -1000000000;
  if (x > 1e9)
    return 1000000000;
  return static_cast<int>(std::lround(x));
}

// Reads any number of values into cintak; values beyond those read are 0, so an operation
// never sees numbers left over from an earlier one.
int read_values(int &end_flag) {
  cintak.values.fill(0.0);
  return input_record(end_flag);
}

// Checks an interval count against MXLIST; stops the run when it is exceeded.
bool intervals_fit(int nint) {
  if (nint <= MXLIST)
    return true;
  say(" **** TOO MANY INTERVALS " + fI(nint, 5) + " CHANGE MXLIST PARAMETER TO VALUE NEEDED");
  halt(2);
  return false; // recoverable-error mode: the operation is not run
}

// Stores nint pairs of positions from value `first` on.
void store_intervals(int nint, int first, int count) {
  mat.intervals(0) = count;
  for (int j = 1; j <= 2 * nint; ++j)
    mat.intervals(j) = whole(v(first + j - 1));
}

void matr(int count) {
  const double v1 = v(1);
  if (v1 < 0.0) {
    // -k: print option k mod 10 with interval mode; -1 .. -9 write MATRIX definitions.
    const int k = whole(-v1);
    mat.print_option = k % 10;
    mat.interval_mode = 10 * (k / 10) + 1;
  } else {
    mat.print_option = whole(v1);
    mat.interval_mode = 0;
  }
  const int nint = whole(v(2));
  if (!intervals_fit(nint))
    return;
  mat.nint = nint;
  func.nint = nint;
  // An active PRIN selection replaces the list, except in interval mode, which needs it.
  if (nint > 0 && (!cprt.selection || mat.interval_mode != 0))
    store_intervals(nint, 3, count);
  mat.is_matr = 1;
  func.operation = 500;
  open_optics_results(500);
  matrix();
  close_optics_results();
}

void mach(int count) {
  func.energy_start = v(1);
  func.sync_option = 0;
  if (v(1) != 0.0) {
    func.energy_end = v(2);
    // A step that does not advance would never finish the radiation table.
    func.energy_step = v(3) > 0.0 ? v(3) : 1.0;
    func.sync_option = std::max(0, whole(v(4)));
    func.dnu = v(5);
    // The lattice is one of N identical sectors; none given means the lattice is the ring.
    func.interaction_points = std::max(1, whole(v(6)));
    func.bunches = v(7);
  }
  const bool periodic_start = v(8) == 0.0;
  if (!periodic_start) {
    for (int j = 1; j <= 8; ++j)
      func.start(j) = v(7 + j);
  } else {
    start_from_analysis(func.start);
  }
  const int nint = whole(v(16));
  if (!intervals_fit(nint))
    return;
  mat.nint = nint;
  func.nint = nint;
  if (nint > 0 && !cprt.selection)
    store_intervals(nint, 17, count);
  mat.print_option = 1;
  mat.interval_mode = 0;
  mat.is_matr = 0;
  func.operation = 510;
  if (func.start(1) <= 0.0 || func.start(5) <= 0.0) {
    // No periodic solution (no analysis yet, or an unstable one) and no starting values.
    say(" NO VALID STARTING LATTICE FUNCTIONS (BETA NOT POSITIVE): MACH NOT PERFORMED");
    report_operation_warning("MACH not performed: no valid starting lattice functions (beta not "
                             "positive; no stable periodic solution and none given)");
    return;
  }
  if (control.print_level >= 1)
    say(" ELEMENT   #" + blanks(position_width(5) - 5) +
        "    BETAX   ALPHAX    BETAY   ALPHAY   ETAX   ETAPX  ETAY   ETAPY   NUX     "
        "NUY    EL. LEN   TOT. LEN    EIDEAL  EREAL ");
  if (control.print_level >= 3) {
    start_lattice_functions();
    say(lattice_line("", 0, 0.0, 0.0, lincav.initial_energy, lincav.initial_energy));
  }
  open_optics_results(510, periodic_start);
  matrix();
  close_optics_results();
}

void beam_operation(int count) {
  int at;
  if (v(1) != 0.0) {
    define_beam_direct(cintak.values.data());
    at = 22;
  } else {
    if (!define_beam_lattice(cintak.values.data()))
      return;
    at = 14;
  }
  say(" INPUT BEAM IS : ");
  print_beam(cbeam.sigma0);
  int nint = whole(v(at));
  cbeam.envelopes = 0;
  if (nint >= 900) {
    nint -= 1000;
    cbeam.envelopes = 1;
    print_envelope_header();
  }
  if (!intervals_fit(nint))
    return;
  cbeam.nint = nint;
  mat.nint = nint;
  func.nint = nint;
  if (nint > 0 && !cprt.selection)
    store_intervals(nint, at + 1, count);
  mat.print_option = 1;
  mat.interval_mode = 0;
  mat.is_matr = 0;
  func.operation = 515;
  if (nint == -2)
    return; // the beam is defined for later operations only
  matrix();
}

void hard(int count) {
  layout.energy = v(1);
  func.operation = 520;
  layout.geometry_mode = 0;
  if (count > 1) {
    if (!take_layout_values(&cintak.values(2), count))
      return;
    layout.geometry_mode = 2;
  }
  hwpnt();
}

} // namespace

void matpre(int code, int &end_flag) {
  if (code != 500 && code != 510 && code != 515 && code != 520) {
    say(" ERROR IN OPERATION CODE");
    return;
  }
  const int count = read_values(end_flag);
  switch (code) {
  case 500:
    matr(count);
    break;
  case 510:
    mach(count);
    break;
  case 515:
    beam_operation(count);
    break;
  default:
    hard(count);
    break;
  }
}

void zqvout(int, int &end_flag) {
  cintak.values.fill(0.0);
  std::string name;
  int name_width = 0;
  int count = 1;
  input(name, name_width, cintak.values.data(), NINPUT, end_flag, count, 1);
  zqvo.mode = whole(cintak.values(1));
}

} // namespace vorax
