// MISA and SETM: the list of elements that may be misaligned with their amplitudes, and the
// random option, elements and position ranges that are misaligned.
#include "errors/misalignments.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/messages.h"
#include "common/random_numbers.h"
#include "engine/deferred_data.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "errors/selection_data.h"

#include <string>

namespace vorax {

namespace {

constexpr int NOT_IN_LIST = 278; // MIS:ELEM NOT MISAL

int list_entry_named(const std::string &name) {
  for (int k = 1; k <= mis.list_count; ++k)
    if (chinp.elname(mis.list_element(k)) == name)
      return k;
  return 0;
}

bool in_list(int element) {
  for (int k = 1; k <= mis.list_count; ++k)
    if (mis.list_element(k) == element)
      return true;
  return false;
}

void print_option(int r) {
  switch (r) {
  case 1:
    engine_message(" THE MISALIGNEMENT VALUES ARE MULTIPLIED RANDOMLY BY");
    engine_message(" +1 AND -1");
    break;
  case 2:
    engine_message(" THE MISALIGNMENT VALUES ARE MULTIPLIED BY THE VALUES");
    engine_message(" OF A UNIFORM RANDOM DISTRIBUTION WHOSE SIGMA IS 1");
    break;
  case 3:
  case 4:
    engine_message(" THE MISALIGNMENT VALUES ARE MULTIPLIED BY THE VALUES");
    engine_message(" OF A GAUSSIAN DISTRIBUTION WHOSE SIGMA IS 1 AND THAT IS");
    engine_message(r == 3 ? " TRUNCATED AT 2 SIGMAS"
                          : " TRUNCATED AT 6 SIGMAS(MAXIMUM AVAILABLE WITH GENERATOR)");
    break;
  default:
    engine_message(" NO RANDOM GENERATOR IS USED IN THE MISALIGNEMENT");
    break;
  }
}

} // namespace

void clear_misalignments() {
  reset_in_place(mis);
  reset_in_place(misset);
  reset_in_place(missav);
}

// A list longer than the table is read to its end, so that the operations after it stay in
// step, and the entries not kept are named.
void misdat(int, int &end_flag) {
  mis.list_count = 0;
  NameOverflow overflow;
  read_misa_data(end_flag, [&](const DataRecord &record) {
    if (mis.list_count == MXMIS) {
      if (overflow.empty()) {
        engine_message("  ******************************************** ");
        engine_message(" TOO MANY MISALIGNED ELEMENTS FIRST" + fI(MXMIS, 5) + " ONLY KEPT");
        engine_message(" CHANGE PARAMETER MXMIS ");
        engine_message("  ******************************************** ");
      }
      overflow.add(record.name);
      return;
    }
    const Name8 name(record.name);
    const int element = elid(name);
    if (element == 0)
      return;
    if (in_list(element))
      engine_message(" " + name.str() + " IS ALREADY IN THE LIST: ITS FIRST VALUES ARE USED");
    const int k = ++mis.list_count;
    mis.list_element(k) = element;
    for (int i = 1; i <= MISALIGNMENT_VALUES; ++i)
      mis.list_values(i, k) = i <= record.count ? record.value(i) : 0.0;
  });
  overflow.report("ENTRIES");
  engine_message(" TOTAL NUMBER OF MISALIGNED ELEMENTS :" + fI(mis.list_count, 5));
  engine_message(" MAXIMUM ALLOWED IS PARAMETER MXMIS :" + fI(MXMIS, 5));
  // The selection keeps its elements and takes their amplitudes from the new list.
  for (int s = 1; s <= mis.selected_count; ++s)
    if (!in_list(mis.selected_element(s)))
      engine_message(" " + chinp.elname(mis.selected_element(s)).str() +
                     " IS SELECTED BY SETM BUT NOT IN THIS LIST: IT IS NO LONGER MISALIGNED");
}

void setmis(int, int &end_flag) {
  if (missav.count > 0) {
    engine_message(" A PREVIOUS SHO MIS -1 OPERATION SAVED THE PREVIOUSLY DEFINED ");
    engine_message(" MISALIGNMENT DATA. A NEW MISALIGNMENT IS NOW SET. ");
    engine_message(" BEFORE YOU");
    engine_message(" ISSUE A ANOTHER SHO MIS -1, MAKE SURE THAT THE NEW MISALIGNEMENT ");
    engine_message(" REQUEST IS COMPATIBLE WITH THE PREVIOUS ONES. THE NEW SHO MIS -1 MAY");
    engine_message(" INFORM YOU OF SOME INCOMPATIBILITIES");
    missav.extend = true;
  }
  mis.selected_count = 0;
  SelectionReader reader(" MISALIGNED ELEMENTS DEFINED IN MISDAT", NOT_IN_LIST,
                         mis.selected_element, mis.selected_ranges, mis.selected_count);
  read_setm_data(end_flag, [&](const DataRecord &record) {
    reader.take(record, [](const std::string &name) {
      const int k = list_entry_named(name);
      return k == 0 ? 0 : mis.list_element(k);
    });
  });
  mis.random_option = reader.option();
  mis.active = true;
  cseeds.misalignment.mode = reader.table_mode() ? 1 : 0;
  cseeds.misalignment.index = reader.table_mode() ? 1 : cseeds.master_seed;
  if (reader.table_mode())
    engine_message("  FAST RANDOM SEQUENCE GENERATION USED  ");
  print_option(mis.random_option);
}

} // namespace vorax
