// Engine services of the start-up that the operations also use: units and echo file, path
// lengths, linac cavities and the energy after each position.
#include "engine/engine_start.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/limits.h"
#include "common/run_identity.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "common/units.h"
#include "engine/operation_data.h"
#include "input/reader.h"

#include <string>

namespace vorax {

namespace {

// Slot j of element k, or 0 when the element has fewer slots.
double element_slot(int k, int j) {
  const int slots = inputt.iadr(k + 1) - inputt.iadr(k);
  return j <= slots ? inputt.slot(k, j) : 0.0;
}

// The title may hold any character; only its first six make the file name, and characters that
// would lead into another directory or are not printable are replaced like blanks.
std::string echo_file_name() {
  std::string name;
  for (int i = 0; i < 6; ++i) {
    const char c = pagtit.title[i];
    const bool unsafe = c == ' ' || c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32 ||
                        static_cast<unsigned char>(c) > 126;
    name.push_back(unsafe ? '_' : c);
  }
  return name + ".ech";
}

} // namespace

// Kind-20 request and the positions of the linac cavities, in machine order.
void scan_positions() {
  tarvocav.request = 0;
  lincav.count = 0;
  for (int p = 1; p <= mat.npos; ++p) {
    const int kind = inputt.kode(blank.mseq(p));
    if (kind == KODE_TARVOCAV && tarvocav.request == 0) {
      write_record(control.output_unit, " request a matrix for a tarvo cavity ");
      tarvocav.request = 1;
    }
    if (kind == KODE_LCAVITY) {
      if (lincav.count == machine_limits().maxlin) {
        engine_message("  TOO MANY LINAC CAVITIES IN THE MACHINE : MAXIMUM IS :" +
                       fI(machine_limits().maxlin, 6));
        engine_stop(8);
      }
      lincav.positions(++lincav.count) = p;
    }
  }
  lincav.linac = lincav.count > 0 ? 1 : 0;
}

// Energy after each position: the first cavity's E0 (1.0 without cavities) plus the gains of
// the cavities at or before the position.
void fill_energies() {
  const int n = mat.npos;
  const double start =
      lincav.linac ? element_slot(blank.mseq(lincav.positions(1)), slot::lcavity::E0) : 1.0;
  lincav.initial_energy = start;
  for (int p = 1; p <= n; ++p) {
    lincav.eideal(p) = start;
    lincav.ereal(p) = start;
  }
  for (int q = 1; q <= lincav.count; ++q) {
    const int d = lincav.positions(q);
    const double gain = element_slot(blank.mseq(d), slot::lcavity::DELTAE);
    for (int p = d; p <= n; ++p) {
      lincav.eideal(p) += gain;
      lincav.ereal(p) += gain;
    }
  }
}

void setup() {
  control.input_unit = iodata.input_unit;
  control.output_unit = iodata.listing_unit;
  control.echo_unit = iodata.log_unit;
  control.echo_flag = control.echo_unit != control.output_unit ? 1 : 0;
  if (!control.echo_flag)
    return;
  const std::string name = in_run_directory(echo_file_name());
  // TITLE and every engine entry come here; reopening the file already in use would start it
  // afresh and lose what was written to it so far.
  if (unit_connected(control.echo_unit) && unit_file_name(control.echo_unit) == name)
    return;
  if (!open_unit(control.echo_unit, name))
    write_record(control.output_unit, " ** WARNING ** THE ECHO FILE " + name + " CANNOT BE OPENED");
}

void leng(bool report) {
  for (int k = 1; k <= inputt.nelm; ++k) {
    double length = element_slot(k, slot::L);
    if (inputt.kode(k) == KODE_GKICK)
      length += element_slot(k, slot::gkick::DZ);
    blank.element_length(k) = length;
  }
  double s = 0.0;
  for (int p = 1; p <= mat.npos; ++p) {
    s += blank.element_length(blank.mseq(p));
    blank.path_length(p) = s;
  }
  blank.machine_length = s;
  if (report && control.print_level >= 2)
    write_record(control.output_unit,
                 " TOTAL LENGTH OF MACHINE IS:" + fF(blank.machine_length, 10, 3) + " METERS");
}

} // namespace vorax
