// ERRO, SETE and SHOE: the list of elements with errors on named parameters, the selection with
// its random option, and the factor file of random option 5.
#include "errors/field_errors.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/messages.h"
#include "common/random_numbers.h"
#include "common/units.h"
#include "engine/deferred_data.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "errors/selection_data.h"
#include "track/tracking_loop.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace vorax {

namespace {

constexpr int NOT_IN_LIST = 252; // ERR:ELEM NO ERR
// The factor file's lines may be long lists of numbers: none of it is cut.
constexpr std::size_t FACTOR_LINE_COLUMNS = 65536;

bool in_list(int element) {
  for (int k = 1; k <= cerr.list_count; ++k)
    if (cerr.list_element(k) == element)
      return true;
  return false;
}

int list_element_named(const std::string &name) {
  for (int k = 1; k <= cerr.list_count; ++k)
    if (chinp.elname(cerr.list_element(k)) == name)
      return cerr.list_element(k);
  return 0;
}

void print_option(int r) {
  switch (r) {
  case 0:
    engine_message(" NO RANDOM GENERATOR IS USED IN SETTING UP THE");
    engine_message(" ERRORS");
    break;
  case 1:
    engine_message(" THE ERROR VALUES ARE MULTIPLIED RANDOMLY BY");
    engine_message(" +1 AND -1");
    break;
  case 2:
    engine_message(" THE ERROR VALUES ARE MULTIPLIED BY THE VALUES");
    engine_message(" OF A UNIFORM RANDOM DISTRIBUTION WHOSE SIGMA IS 1");
    break;
  case 3:
  case 4:
    engine_message(" THE ERROR VALUES ARE MULTIPLIED BY THE VALUES");
    engine_message(" OF A GAUSSIAN DISTRIBUTION WHOSE SIGMA IS 1 AND THAT IS");
    engine_message(r == 3 ? " TRUNCATED AT 2 SIGMAS" : " TRUNCATED AT 6 SIGMAS");
    break;
  case 5:
    engine_message(" THE ERROR VALUES ARE READ FROM THE FILE FOR007.DAT");
    engine_message(" AND USED WITH THE SIGMAS GIVEN IN THE ERRORS DATA ");
    engine_message(" DEFINITION");
    break;
  default:
    break; // the option is refused where the first error is applied
  }
}

// One free-format number: Fortran's D exponent is read as E.
bool parse_number(std::string token, double &value) {
  for (char &c : token)
    if (c == 'D' || c == 'd')
      c = 'E';
  errno = 0;
  char *end = nullptr;
  value = std::strtod(token.c_str(), &end);
  return end != token.c_str() && *end == '\0' && errno != ERANGE && std::isfinite(value);
}

} // namespace

void clear_field_errors() {
  reset_in_place(cerr);
  reset_in_place(errsrt);
  reset_in_place(ersav);
  reset_in_place(linsav);
}

// Pairs after the 25th of an element, and elements after the 50th, are read so that the
// operations after ERRO stay in step, and named as not kept; no lookup is made for them.
namespace {

// Field errors act only in tracking, and only on the kinds it changes at a position: an error
// on another kind, or on a magnet's APERTURE (which removes no particle in tracking), is kept
// and printed but changes nothing.
void warn_unused_by_tracking(int element, const Name8 &parameter) {
  const int kind = inputt.kode(element);
  const std::string where = "the field error on " + std::string(chinp.elname(element).trimmed()) +
                            " " + std::string(parameter.trimmed()) + " changes nothing: ";
  if (!uses_errors(kind)) {
    const char *kinds = kind == KODE_COLLIMAT   ? "collimators"
                        : kind == KODE_RFCAVITY ? "RF cavities"
                        : kind == KODE_DRIFT    ? "drifts"
                        : kind == KODE_MONITOR  ? "monitors"
                                                : "elements of this kind";
    report_data_warning(where + "tracking applies no field errors to " + kinds);
  } else if (parameter == Name8("APERTURE")) {
    report_data_warning(where + "tracking does not use a magnet's APERTURE");
  }
}

} // namespace

void errdat(int, int &end_flag) {
  cerr.list_count = 0;
  NameOverflow elements_not_kept;
  NameOverflow pairs_not_kept;
  int entry = 0; // the entry taking pairs, 0 while they are not kept
  Name8 element_name;
  auto end_of_element = [&]() {
    if (!pairs_not_kept.empty()) {
      engine_message(" " + element_name.str() + " HAS MORE THAN" + fI(ERROR_PAIRS, 3) +
                     " ERROR PAIRS; THE FIRST" + fI(ERROR_PAIRS, 3) + " ARE KEPT");
      pairs_not_kept.report("PARAMETERS");
      pairs_not_kept = NameOverflow();
    }
  };
  read_erro_data(end_flag, [&](const DataRecord &record) {
    if (std::string_view(record.role) == "ELEMENT") {
      end_of_element();
      entry = 0;
      element_name = Name8(record.name);
      if (cerr.list_count == ERROR_ELEMENTS) {
        if (elements_not_kept.empty()) {
          engine_message("  **************************************** ");
          engine_message("  TOO MANY ELEMENTS WITH ERROR, FIRST " + fI(ERROR_ELEMENTS, 5) +
                         " ONLY KEPT ");
          engine_message("  **************************************** ");
        }
        elements_not_kept.add(record.name);
        return;
      }
      const int element = elid(element_name);
      if (element == 0)
        return;
      if (in_list(element))
        engine_message(" " + element_name.str() +
                       " IS ALREADY IN THE LIST: ITS FIRST ERRORS ARE USED");
      entry = ++cerr.list_count;
      cerr.list_element(entry) = element;
      cerr.pair_count(entry) = 0;
      return;
    }
    if (entry == 0)
      return;
    if (cerr.pair_count(entry) == ERROR_PAIRS) {
      pairs_not_kept.add(record.second_name);
      return;
    }
    const int slot = vxpar(cerr.list_element(entry), Name8(record.second_name));
    if (slot < 1)
      return;
    warn_unused_by_tracking(cerr.list_element(entry), Name8(record.second_name));
    const int j = ++cerr.pair_count(entry);
    cerr.slot(j, entry) = slot;
    cerr.value(j, entry) = record.value(1);
    cerr.applied(j, entry) = 0.0;
  });
  end_of_element();
  elements_not_kept.report("ELEMENTS");
}

void seterr(int, int &end_flag) {
  cerr.selected_count = 0;
  SelectionReader reader(" ELEMENTS WITH ERROR AS DEFINED IN ERRDAT", NOT_IN_LIST,
                         cerr.selected_element, cerr.selected_ranges, cerr.selected_count);
  read_sete_data(end_flag,
                 [&](const DataRecord &record) { reader.take(record, list_element_named); });
  cerr.random_option = reader.option();
  cerr.active = true;
  cseeds.field_error.mode = reader.table_mode() ? 1 : 0;
  cseeds.field_error.index = reader.table_mode() ? 1 : cseeds.master_seed;
  if (cerr.random_option == 5)
    read_factor_file();
  if (reader.table_mode())
    engine_message("  FAST RANDOM SEQUENCE GENERATION USED  ");
  print_option(cerr.random_option);
}

// Numbers separated by blanks or commas, on as many lines as there are. A file that cannot be
// read leaves no factors, and the first one asked for stops the run with the count; a word that
// is not a number ends the reading at the factors before it.
void read_factor_file() {
  errsrt.count = 0;
  errsrt.next = 1;
  errsrt.saved_next = 1;
  const std::string name = unit_connected(FACTOR_FILE_UNIT) ? unit_file_name(FACTOR_FILE_UNIT)
                                                            : default_unit_name(FACTOR_FILE_UNIT);
  rewind_unit(FACTOR_FILE_UNIT);
  std::string line;
  int status = read_record(FACTOR_FILE_UNIT, line, FACTOR_LINE_COLUMNS);
  if (status == READ_ERROR) {
    engine_message(" THE ERROR FACTOR FILE " + name + " CANNOT BE READ: NO FACTORS ARE AVAILABLE");
  }
  bool more = false;
  while (status == READ_OK && !more) {
    std::string::size_type at = 0;
    while (at < line.size()) {
      const auto start = line.find_first_not_of(" ,\t", at);
      if (start == std::string::npos)
        break;
      auto end = line.find_first_of(" ,\t", start);
      if (end == std::string::npos)
        end = line.size();
      at = end;
      const std::string token = line.substr(start, end - start);
      double value = 0.0;
      if (!parse_number(token, value)) {
        engine_message(" WORD '" + token + "' OF THE ERROR FACTOR FILE " + name +
                       " IS NOT A NUMBER: THE FACTORS BEFORE IT ARE USED");
        status = READ_EOF;
        break;
      }
      if (errsrt.count == MAXERR) {
        more = true;
        break;
      }
      errsrt.factor(++errsrt.count) = value;
    }
    if (status == READ_OK && !more)
      status = read_record(FACTOR_FILE_UNIT, line, FACTOR_LINE_COLUMNS);
  }
  rewind_unit(FACTOR_FILE_UNIT);
  if (more)
    engine_message("MORE THAN MAXERR = " + fI(MAXERR, 5) + " VALUES IN FILE FOR007.DAT");
  else
    engine_message(fI(errsrt.count, 5) + " VALUES READ FROM FOR007");
}

void shoerr(int, int &end_flag) {
  read_shoe_data(end_flag);
}

} // namespace vorax
