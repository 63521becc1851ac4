// The machine pass of the matrix operation: the accumulated map position by position, with
// the map printout, the periodic analysis, lattice functions, radiation integrals, the beam
// matrix and the values the least-squares fit collects.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/lookup.h"
#include "maps/element_maps.h"
#include "optics/beam_envelope.h"
#include "optics/lattice_functions.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"
#include "optics/optics_results.h"
#include "optics/synchrotron.h"

namespace vorax {

namespace {

void say(std::string_view text) {
  write_record(control.output_unit, text);
}

std::string name_at(int position) {
  return chinp.elname(blank.mseq(position)).str();
}

// Which positions get their map (or lattice-function line, or beam matrix) printed: NINT -2
// none, -1 the last, 0 every position, > 0 the pairs of the interval list, or the PRIN
// selection when one is active.
class PrintSelection {
public:
  explicit PrintSelection(int nint) : nint_(nint) {}

  bool at(int p) {
    if (nint_ <= -2)
      return false;
    if (nint_ == -1)
      return p == mat.npos;
    if (nint_ == 0)
      return true;
    if (cprt.selection) {
      int result = 0;
      prttst(p, prttst_cursor_, result);
      return result == 1;
    }
    // Pairs lying wholly behind p are passed over, so a pair given out of order cannot stop
    // the pairs after it.
    while (cursor_ <= nint_ && mat.intervals(2 * cursor_) < p)
      ++cursor_;
    if (cursor_ > nint_ || p < mat.intervals(2 * cursor_ - 1))
      return false;
    if (p == mat.intervals(2 * cursor_))
      ++cursor_;
    return true;
  }

private:
  int nint_;
  int cursor_ = 1;
  int prttst_cursor_ = 1;
};

void mach_maxima() {
  say(" MAXIMUM LATTICE FUNCTIONS :");
  say(" BETA X =" + fE(twf.beta_max(1), 20, 10) + " BETA Y =" + fE(twf.beta_max(2), 20, 10));
  say(" ETA  X =" + fE(twf.eta_max(1), 20, 10) + " ETA  Y =" + fE(twf.eta_max(2), 20, 10));
}

// Interval mode of MATR: the map of each pair of positions on its own, printed at its end.
// Pairs outside the machine or reversed describe no stretch of it and are passed over.
void interval_maps(const MapContext &maps) {
  for (int k = 1; k <= mat.nint; ++k) {
    const int a = mat.intervals(2 * k - 1), b = mat.intervals(2 * k);
    if (a < 1 || b > mat.npos || a > b)
      continue;
    mat.amap.set_identity(27);
    func.map_length = 0.0;
    for (int p = a; p <= b; ++p) {
      func.map_length += blank.element_length(blank.mseq(p));
      compose_position(p, mat.amap, maps);
    }
    if (control.print_level > 1)
      say("  BETWEEN  " + name_at(a) + "  ELEMENT # " + fI(a, position_width(5)) + "  AND " +
          name_at(b) + "  ELEMENT # " + fI(b, position_width(5)));
    prmat(mat.amap, mat.interval_mode, mat.print_option, func.map_length);
    note_map_position(b);
    if (b == mat.npos) {
      anal();
      pranal(mat.print_option);
    }
  }
}

void machine_pass(const MapContext &maps) {
  const int op = func.operation;
  const bool mach = op == 510, beam_op = op == 515, matr = !mach && !beam_op;
  const auto watcher = machine_pass_seam.hooks().at_position;
  const bool lattice = mach || watcher != nullptr;
  const bool sync = mach && func.sync_option >= 1;
  const int npos = mat.npos;
  PrintSelection selection(mat.nint);

  // BEAM's table: the envelopes at every position, whatever the listing prints.
  const bool envelopes = beam_op && result_tables_wanted();
  ResultTable table("beam", "ENVELOPE");
  if (envelopes)
    envelope_columns(table);
  if (lattice)
    start_lattice_functions();
  if (sync) {
    lum.integral.fill(0.0);
    lum.tilt_warned = 0;
    add_bend_integrals(1); // the functions at its entrance are the starting values
  }
  for (int p = 1; p <= npos; ++p) {
    const int k = blank.mseq(p);
    func.map_length += blank.element_length(k);
    compose_position(p, mat.amap, maps);
    const bool selected = selection.at(p);
    if (lattice) {
      update_lattice_functions(p);
      if (mach) {
        note_lattice_position(p);
        if ((control.print_level > 1 && selected) || (p == npos && control.print_level >= 1))
          say(lattice_line(name_at(p), p, blank.element_length(k), func.map_length,
                           lincav.eideal(p), lincav.ereal(p)));
        if (sync)
          add_bend_integrals(p + 1);
      }
    }
    if (beam_op) {
      beam();
      if (envelopes)
        envelope_row(table, name_at(p), p, func.map_length);
      if (cbeam.envelopes)
        say(envelope_line(name_at(p), p));
      if (selected && control.print_level > 1) {
        say("  BEAM AT :" + name_at(p) + " ELEMENT #:" + fI(p, position_width(5)));
        print_beam(cbeam.sigma);
      }
    }
    if (matr) {
      if (selected) {
        if (control.print_level > 1)
          say("  AFTER :" + name_at(p) + " ELEMENT #:" + fI(p, position_width(5)));
        prmat(mat.amap, mat.interval_mode, mat.print_option, func.map_length);
        note_map_position(p);
      }
      if (p == npos) {
        anal();
        if (mat.nint != -2)
          pranal(mat.print_option);
      }
    }
    if (watcher != nullptr)
      watcher(p);
  }
  if (mach && mat.nint == 0 && control.print_level >= 1)
    mach_maxima();
  if (sync)
    radiation_summary();
  if (envelopes)
    write_result_table(table);
}

} // namespace

void promtm(int position) {
  compose_position(position, mat.amap);
}

void matrix() {
  // The machine is composed at the order of the print option (first order only carries 6
  // columns); the engine's map order stays as it is, so that maps rebuilt later by the fits
  // keep their second-order terms.
  MapContext maps = map_context();
  maps.ncol = mat.print_option != 1 ? 27 : 6;
  mat.amap.set_identity(27);
  func.map_length = 0.0;
  if (func.operation != 510 && func.operation != 515 && mat.interval_mode != 0 && mat.nint > 0)
    interval_maps(maps);
  else
    machine_pass(maps);
}

void machine_quiet(int print_option) {
  const int nint = mat.nint, interval_mode = mat.interval_mode, is_matr = mat.is_matr;
  const int operation = func.operation;
  mat.print_option = print_option;
  mat.nint = -2;
  mat.interval_mode = 0;
  mat.is_matr = 1;
  func.operation = 500;
  matrix();
  mat.nint = nint;
  mat.interval_mode = interval_mode;
  mat.is_matr = is_matr;
  func.operation = operation;
}

} // namespace vorax
