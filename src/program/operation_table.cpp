// The operation table, and the handler of every operation this version does not provide: it
// reads all of the operation's data by the operation's own layout and says in one line that
// the operation is not available, so that a deck written for it still runs through the rest.
#include "program/operation_table.h"

#include "engine/deferred_data.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "errors/correctors.h"
#include "errors/field_errors.h"
#include "errors/misalignments.h"
#include "errors/ring_correction.h"
#include "errors/seed.h"
#include "fit/fitting.h"
#include "maps/element_maps.h"
#include "optics/beam_generation.h"
#include "optics/constants.h"
#include "optics/energy_scan.h"
#include "optics/matrix_operation.h"
#include "optics/parameter_changes.h"
#include "output/cosy_script.h"
#include "output/layout.h"
#include "track/tracked_matrix.h"
#include "track/tracking_effects.h"
#include "track/tracking_loop.h"

#include <array>
#include <string>

namespace vorax {

namespace {

using DataReader = void (*)(int &end_flag, const RecordSink &sink);

std::string_view name_of(int code);

template <DataReader read> void not_available(int code, int &end_flag) {
  read(end_flag, {});
  engine_message(" OPERATION " + std::string(name_of(code)) +
                 " IS NOT AVAILABLE IN THIS VERSION; ITS DATA ARE SKIPPED");
}

// DETA, GEOM, LINE, PART, FILE, INTE and CAVI have no fixed layout yet: one record of any
// number of values is read.
constexpr OperationHandler one_record = not_available<read_one_record>;

// Name, code, handler, next heading on a new page, whether it computes along the machine, and
// (COSY) the end of the run. The rows after CAVI are operations added by this version: their
// names begin like no other row's, and their codes follow the others.
// clang-format off
constexpr std::array<Operation, 51> operations{{
    {"SIMP", 100, fitmat, true, true},
    {"LEAS", 110, fitlsq, true, true},
    {"MOVE", 200, twan, true, true},
    {"TRAC", 300, trapre, true, true},
    {"MODI", 400, modpre, false, false},
    {"MATR", 500, matpre, true, true},
    {"MACH", 510, matpre, true, true},
    {"HARD", 520, matpre, true, true},
    {"BEAM", 515, matpre, true, true},
    {"DETA", 600, one_record, true, false},
    {"GEOM", 700, one_record, true, false},
    {"LINE", 800, one_record, true, false},
    {"MISA", 900, misdat, false, false},
    {"ERRO", 1000, errdat, false, false},
    {"SETM", 1100, setmis, false, false},
    {"SETE", 1200, seterr, false, false},
    {"SEED", 1300, seed, false, false},
    {"ALIG", 1400, align, true, true},
    {"REFE", 1500, reforb, true, true},
    {"CORR", 1600, cordat, false, false},
    {"SETC", 1700, setcor, false, false},
    {"SYNC", 1800, setsyn, false, false},
    {"SHOC", 1900, shocor, false, false},
    {"GENE", 2000, gener, false, false},
    {"BASE", 2100, base, true, true},
    {"PART", 2200, one_record, false, false},
    {"CONS", 2300, condf, false, false},
    {"SHOE", 2400, shoerr, false, false},
    {"SHOM", 2500, shomis, false, false},
    {"OUTP", 2600, outcon, false, false},
    {"ADIA", 2700, setadi, false, false},
    {"SETS", 2800, setsym, false, false},
    {"SHOV", 2900, shocon, false, false},
    {"FILE", 3000, one_record, false, false},
    {"SETF", 3100, fitpt, false, false},
    {"CHAN", 3200, chgcor, false, false},
    {"READ", 3300, rdmon, false, false},
    {"CADO", 3400, hpon, false, false},
    {"RMAT", 3500, rmpre, true, true},
    {"INTE", 3600, one_record, true, false},
    {"SEIS", 3700, seism, false, false},
    {"BLOC", 3800, block, false, false},
    {"TUNE", 3900, tune, false, false},
    {"ZQVO", 4000, zqvout, false, false},
    {"SETL", 4100, limits, false, false},
    {"PRIN", 4200, prtdef, false, false},
    {"SPAC", 4300, spchg, false, false},
    {"LAYO", 4400, lay, true, true},
    {"COSY", 4500, dcosy, true, true, true},
    {"CAVI", 4600, one_record, false, false},
    {"COCO", 4700, correct_closed_orbit, true, true},
}};
// clang-format on

std::string_view name_of(int code) {
  for (const Operation &op : operations)
    if (op.code == code)
      return op.name;
  return "????";
}

} // namespace

std::span<const Operation> operation_table() {
  return operations;
}

const Operation &optitl(const Chars<80> &line) {
  std::string first;
  for (int i = 0; i < 80 && first.size() < 4; ++i)
    if (line[i] != ' ')
      first.push_back(line[i]);
  for (const Operation &op : operations)
    if (first == op.name)
      return op;
  const std::string message =
      "   ERROR IN OPERATION NAME : " + std::string(line.view().substr(0, 10)) + " : JOB STOPPED ";
  engine_message(message);
  report_data_error(message);
  engine_stop(280);
}

} // namespace vorax
