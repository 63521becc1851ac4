// SHOM: the misalignments of the machine as tracking applies them, position by position and in
// statistics, and the saved set that tracking then replays.
#include "errors/misalignments.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/messages.h"
#include "common/random_numbers.h"
#include "common/result_table.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/deferred_data.h"
#include "engine/operation_data.h"
#include "errors/imperfection_passes.h"
#include "track/tracking_loop.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vorax {

namespace {

constexpr int STATISTICS = 0; // the statistics only
constexpr int SAVE = -1;      // the positions, the statistics, and the set saved
constexpr int DROP = -2;      // the saved set dropped

// The drawn values are printed with 17 significant digits: read back, they are the values
// tracking uses, bit for bit. A blank always separates them.
std::string exact(double v) {
  return fE(v, 25, 17);
}

void write(const std::string &text) {
  write_record(control.output_unit, text);
}

bool same_values(const MisalignedPosition &a, const MisalignedPosition &b) {
  if (a.type != b.type)
    return false;
  for (int i = 1; i <= MISALIGNMENT_AMPLITUDES; ++i)
    if (a.amplitude(i) != b.amplitude(i))
      return false;
  return true;
}

struct Statistics {
  int drawn = 0, saved = 0;
  Table<double, 1, MISALIGNMENT_AMPLITUDES> sum, sum2, largest;

  void add(const MisalignedPosition &m, bool from_saved) {
    ++(from_saved ? saved : drawn);
    for (int i = 1; i <= MISALIGNMENT_AMPLITUDES; ++i) {
      const double a = m.amplitude(i);
      sum(i) += a;
      sum2(i) += a * a;
      largest(i) = std::fmax(largest(i), std::fabs(a));
    }
  }

  void print() const {
    const int n = drawn + saved;
    write("0 STATISTICS OVER" + fI(n, 6) + " MISALIGNED POSITIONS (" + fI(drawn, 6) + " DRAWN," +
          fI(saved, 6) + " SAVED)");
    if (n == 0)
      return;
    write("                   MEAN             RMS     LARGEST ABS");
    for (int i = 1; i <= MISALIGNMENT_AMPLITUDES; ++i)
      write(" A" + fI(i, 1) + fE(sum(i) / n, 16, 7) + fE(std::sqrt(sum2(i) / n), 16, 7) +
            fE(largest(i), 16, 7));
  }
};

void print_heading() {
  write("0 MISALIGNED POSITIONS: A1 .. A7 ARE M1 .. M7 OF MISA TIMES THEIR RANDOM FACTORS");
  write(" (A5 LONGITUDINAL SHIFT, A6 ROLL, A7 MOMENTUM OFFSET; S: REPLAYED FROM THE SAVED SET)");
  write("  POSITION ELEMENT  TYPE" + fA("A1", 27) + fA("A2", 25) + fA("A3", 25) + fA("A4", 25));
  write(std::string(26, ' ') + fA("A5", 25) + fA("A6", 25) + fA("A7", 25));
}

void print_position(const MisalignedPosition &m, bool from_saved) {
  write(" " + fI(m.position, 9) + " " + chinp.elname(m.element).str() + fI(m.type, 5) + " " +
        (from_saved ? "S" : " ") + exact(m.amplitude(1)) + exact(m.amplitude(2)) +
        exact(m.amplitude(3)) + exact(m.amplitude(4)));
  write(std::string(26, ' ') + exact(m.amplitude(5)) + exact(m.amplitude(6)) +
        exact(m.amplitude(7)));
}

// SHOM's table, whatever the option: every misaligned position as tracking sees it.
ResultTable misalignment_table() {
  ResultTable t("shom", "MISALIGNMENTS");
  t.text("UNITS", "S, A1 .. A5 in m and rad as MISA gives them; A6 rad; A7 relative");
  t.column("NAME", TfsType::text).column("NUMBER", TfsType::integer).column("S");
  t.column("TYPE", TfsType::integer).column("SAVED", TfsType::integer);
  for (int i = 1; i <= MISALIGNMENT_AMPLITUDES; ++i)
    t.column(std::string{'A', static_cast<char>('0' + i)});
  return t;
}

void table_row(ResultTable &t, const MisalignedPosition &m, bool from_saved) {
  t.cell(chinp.elname(m.element).trimmed()).cell(m.position).cell(blank.path_length(m.position));
  t.cell(m.type).cell(from_saved ? 1 : 0);
  for (int i = 1; i <= MISALIGNMENT_AMPLITUDES; ++i)
    t.cell(m.amplitude(i));
}

} // namespace

// Option 0: the statistics; a positive option: every misaligned position and the statistics;
// -1: the same, and the set is saved; -2: the saved set is dropped. The machine is walked as one
// tracked turn walks it, from the start of the misalignment stream, so that the values shown are
// those tracking applies; the stream is left as it was.
void shomis(int, int &end_flag) {
  int option = STATISTICS;
  bool read = false;
  read_shom_data(end_flag, [&](const DataRecord &record) {
    option = truncated(record.value(1));
    read = true;
  });
  if (!read)
    return;
  if (option == DROP) {
    engine_message(missav.count > 0 ? " THE SAVED MISALIGNMENTS ARE DROPPED: TRACKING DRAWS THEM "
                                      "FROM THE SELECTION AGAIN"
                                    : " NO SAVED MISALIGNMENTS TO DROP");
    reset_in_place(missav);
    return;
  }
  if (option < DROP) {
    engine_message(" SHOM OPTION" + fI(option, 6) +
                   " IS NOT KNOWN (0, 1, -1 OR -2): THE STATISTICS ARE PRINTED");
    option = STATISTICS;
  }

  const RandomStream stream = cseeds.misalignment;
  const MisalignedPosition kept = misset.current;
  const bool kept_here = mis.here;
  restart_stream(cseeds.misalignment);
  const bool listed = option != STATISTICS;
  if (listed)
    print_heading();
  Statistics stats;
  const bool tabled = result_tables_wanted();
  ResultTable table = misalignment_table();
  int conflicts = 0;
  const int npos = std::min(mat.npos, machine_limits().maxpos);
  for (int p = 1; p <= npos; ++p) {
    const int e = blank.mseq(p);
    if (e < 1 || e > inputt.nelm || !uses_misalignment(inputt.kode(e)))
      continue;
    MisalignedPosition drawn;
    const bool is_drawn = draw_misalignment(p, e, drawn);
    const MisalignedPosition *saved = saved_misalignment(p);
    if (!is_drawn && saved == nullptr)
      continue;
    const MisalignedPosition &seen = saved != nullptr ? *saved : drawn;
    stats.add(seen, saved != nullptr);
    if (listed)
      print_position(seen, saved != nullptr);
    if (tabled)
      table_row(table, seen, saved != nullptr);
    if (saved != nullptr && is_drawn && !same_values(drawn, *saved)) {
      if (option == SAVE)
        engine_message(" POSITION" + fI(p, 6) + " (" + chinp.elname(e).str() +
                       ") IS IN THE SAVED SET: ITS SAVED VALUES ARE KEPT, NOT THOSE NOW DRAWN");
      ++conflicts;
    }
    if (option == SAVE && saved == nullptr) {
      missav.entry(p) = drawn;
      missav.saved(p) = true;
      ++missav.count;
    }
  }
  cseeds.misalignment = stream;
  misset.current = kept;
  mis.here = kept_here;
  stats.print();
  if (tabled)
    write_result_table(table.integer("DRAWN", stats.drawn).integer("SAVED", stats.saved));
  if (conflicts > 0 && option != SAVE)
    write(" " + fI(conflicts, position_width(5)) +
          " SAVED POSITIONS ARE ALSO SELECTED NOW WITH OTHER VALUES: THE SAVED ONES ARE USED");
  if (option == SAVE) {
    missav.extend = false;
    write(" THE MISALIGNMENTS OF" + fI(missav.count, 6) +
          " POSITIONS ARE SAVED: TRACKING REPLAYS THEM UNTIL SHOM -2");
  }
}

} // namespace vorax
