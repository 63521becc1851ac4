// Reset of every area of the lattice language to its program-start values.
#include "common/reset.h"
#include "input/beam_lines.h"
#include "input/command_loop.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/reader.h"

namespace vorax {

// The large tables are cleared in place rather than copied from a temporary.
void reset_input_areas() {
  rdbuff = Rdbuff{};
  iodata = Iodata{};
  ioflag = Ioflag{};
  cuplo = Cuplo{};
  noecho = Noecho{};

  pardat.low_count = 0;
  pardat.high_mark = MAXPAR + 1;
  pardat.kind.fill(0);
  pardat.left.fill(0);
  pardat.right.fill(0);
  pardat.def_line.fill(0);
  parnam.name.fill(Name8{});
  parval.value.fill(0.0);
  parlst.head = 0;
  parlst.link.fill(0);
  stack = Stack{};

  elmdat.low_count = 0;
  elmdat.high_mark = MAXELM + 1;
  elmdat.kind.fill(0);
  elmdat.first.fill(0);
  elmdat.last.fill(0);
  elmdat.list.fill(0);
  elmdat.def_line.fill(0);
  elmnam.name.fill(Name8{});
  elmnam.type.fill(Chars<4>{});
  elmnam.label.fill(Label14{});

  lpdata.count = 0;
  lpdata.ctype.fill(0);
  lpdata.prev.fill(0);
  lpdata.next.fill(0);
  lpdata.rep.fill(0);
  lpdata.ref.fill(0);
  lpdata.args.fill(0);
  seqnum.value.fill(0);
  seqflg.value.fill(0);
  period = Period{};
  flags = Flags{};

  units = Units{};
  newbm = Newbm{};
  prtcls = Prtcls{};
}

} // namespace vorax
