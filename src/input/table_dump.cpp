// The DUMP command: prints the element table, the parameter table and the link cells of the
// beam lines on the listing, for inspecting how a deck was stored.
#include "common/format.h"
#include "common/units.h"
#include "input/beam_lines.h"
#include "input/command_loop.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/reader.h"

#include <string>

namespace vorax {

namespace {

void out(const std::string &record) {
  write_record(iodata.listing_unit, record);
}

void element_row(int i) {
  out(fI(i, 10) + blanks(5) + elmnam.name(i).str() + blanks(5) + elmnam.type(i).str() +
      fI(elmdat.kind(i), 8) + fI(elmdat.first(i), 8) + fI(elmdat.last(i), 8) +
      fI(elmdat.list(i), 8) + fI(elmdat.def_line(i), 8));
}

void parameter_row(int i) {
  out(fI(i, 10) + blanks(5) + parnam.name(i).str() + fI(pardat.kind(i), 8) + fI(pardat.left(i), 8) +
      fI(pardat.right(i), 8) + fI(pardat.def_line(i), 8) + fF(parval.value(i), 15, 6));
}

} // namespace

void dump() {
  rdfind(";");
  dumpex();
}

void dumpex() {
  if (elmdat.low_count > 0) {
    out("1DUMP OF ELEMENT TABLE (1)");
    for (int i = 1; i <= elmdat.low_count; ++i)
      element_row(i);
  }
  if (elmdat.high_mark <= machine_limits().maxelm) {
    out("1DUMP OF ELEMENT TABLE (2)");
    for (int i = elmdat.high_mark; i <= machine_limits().maxelm; ++i)
      element_row(i);
  }
  if (pardat.low_count > 0) {
    out("1DUMP OF PARAMETER TABLE (1)");
    for (int i = 1; i <= pardat.low_count; ++i)
      parameter_row(i);
  }
  if (pardat.high_mark <= machine_limits().maxpar) {
    out("1DUMP OF PARAMETER TABLE (2)");
    for (int i = pardat.high_mark; i <= machine_limits().maxpar; ++i)
      parameter_row(i);
  }
  if (lpdata.count > 0) {
    out("1DUMP OF LINK TABLE");
    for (int i = 1; i <= lpdata.count && i <= machine_limits().maxlst; ++i)
      out(fI(i, 10) + fI(lpdata.ctype(i), 8) + fI(lpdata.prev(i), 8) + fI(lpdata.next(i), 8) +
          fI(lpdata.rep(i), 8) + fI(lpdata.ref(i), 8) + fI(lpdata.args(i), 8));
  }
}

} // namespace vorax
