// The corrector list: CORR defines correctors at the positions of elements, SETC sets their type
// and values, CHAN changes values in place, SHOC shows them; corchk, cset and creset give a set
// corrector's effect to the particles tracked through its element.
#include "errors/correctors.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/messages.h"
#include "common/result_table.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "engine/deferred_data.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vorax {

namespace {

constexpr int TOO_MANY = 1;     // ARRSIZE MAXCOR
constexpr int NOT_A_COR = 220;  // CHNGCOR:NOT A COR
constexpr int NOT_SET = 221;    // a changed corrector that SETC has not set
constexpr int ODD_COUNT = 222;  // CORDAT: an odd number of range values
constexpr int NO_MATCH = 223;   // SETCOR:NO MATCH
constexpr int BAD_OPTION = 290; // SHOCOR:BAD OPT #

// The corrector of the element at exactly the position, searched in position order up to the
// first larger position; 0 when there is none.
int corrector_at(int element, int position) {
  for (int i = 1; i <= corr.count && corr.position(i) <= position; ++i)
    if (corr.position(i) == position && corr.element(i) == element)
      return i;
  return 0;
}

bool has_position(int position) {
  for (int i = 1; i <= corr.count; ++i)
    if (corr.position(i) == position)
      return true;
  return false;
}

// The kinds whose tracking applies a corrector: the map kinds, the general kicks and the
// arbitrary elements.
bool takes_corrector(int kind) {
  switch (kind) {
  case KODE_BEND:
  case KODE_QUAD:
  case KODE_SEXT:
  case KODE_QUADSEXT:
  case KODE_GKICK:
  case KODE_MTWISS:
  case KODE_MATRIX:
  case KODE_ARBITRAR:
  case KODE_SOLENOID:
  case KODE_LCAVITY:
  case KODE_QUADAC:
    return true;
  default:
    return false;
  }
}

void no_match() {
  engine_message("  NO MATCH WAS FOUND FOR CORRECTOR ID AND POSITION");
  engine_message(" IN THE CORRECTOR LIST");
  engine_message(" DEFINED IN THE CORRECTOR DEFINITION");
  engine_message(" OPERATION . RUN IS STOPPED");
}

void add_corrector(int element, int position) {
  if (corr.count == machine_limits().maxcor) {
    engine_message("  THE NUMBER OF CORRECTORS DEFINED IS GREATER THAN THE");
    engine_message(" MAXIMUM ALLOWED :" + fI(machine_limits().maxcor, 6));
    engine_message("  CHANGE PARAMETER MAXCOR");
    engine_stop(TOO_MANY);
  }
  const int i = ++corr.count;
  corr.element(i) = element;
  corr.position(i) = position;
  corr.set(i) = false;
  corr.type(i) = 0;
  for (int k = 1; k <= CORRECTOR_VALUES; ++k)
    corr.value(k, i) = 0.0;
}

// Stable insertion sort by position.
void sort_correctors() {
  for (int i = 2; i <= corr.count; ++i) {
    const int element = corr.element(i), position = corr.position(i);
    int j = i - 1;
    while (j >= 1 && corr.position(j) > position) {
      corr.element(j + 1) = corr.element(j);
      corr.position(j + 1) = corr.position(j);
      --j;
    }
    corr.element(j + 1) = element;
    corr.position(j + 1) = position;
  }
}

std::string values_line(const double v[CORRECTOR_VALUES]) {
  std::string line = " ";
  for (int k = 0; k < CORRECTOR_VALUES; ++k)
    line += fE(v[k], 15, 7);
  return line;
}

// Average, rms, maximum and minimum of each value over the set correctors of the element (0:
// every element).
void statistics(int element) {
  double sum[CORRECTOR_VALUES] = {}, squares[CORRECTOR_VALUES] = {};
  double high[CORRECTOR_VALUES] = {}, low[CORRECTOR_VALUES] = {};
  int n = 0;
  for (int i = 1; i <= corr.count; ++i) {
    if (!corr.set(i) || (element != 0 && corr.element(i) != element))
      continue;
    for (int k = 0; k < CORRECTOR_VALUES; ++k) {
      const double v = corr.value(k + 1, i);
      sum[k] += v;
      squares[k] += v * v;
      high[k] = n == 0 ? v : std::fmax(high[k], v);
      low[k] = n == 0 ? v : std::fmin(low[k], v);
    }
    ++n;
  }
  double mean[CORRECTOR_VALUES] = {}, rms[CORRECTOR_VALUES] = {};
  for (int k = 0; k < CORRECTOR_VALUES && n > 0; ++k) {
    mean[k] = sum[k] / n;
    rms[k] = std::sqrt(squares[k] / n);
  }
  engine_message(" AVERAGE CORRECTOR VALUES ");
  engine_message(values_line(mean));
  engine_message("   RMS   CORRECTOR VALUES ");
  engine_message(values_line(rms));
  engine_message(" MAXIMUM CORRECTOR VALUES ");
  engine_message(values_line(high));
  engine_message(" MINIMUM CORRECTOR VALUES ");
  engine_message(values_line(low));
}

} // namespace

void corrector_table(std::string_view operation) {
  if (!result_tables_wanted())
    return;
  ResultTable t(operation, "CORRECTORS");
  int set = 0;
  for (int i = 1; i <= corr.count; ++i)
    set += corr.set(i) ? 1 : 0;
  t.integer("CORRECTORS", corr.count).integer("SET", set);
  t.text("UNITS", "S in m (the end of the element); VALUE1 .. VALUE4 as SETC gives them");
  t.column("NAME", TfsType::text).column("NUMBER", TfsType::integer).column("S");
  t.column("SET", TfsType::integer).column("TYPE", TfsType::integer);
  for (int k = 1; k <= CORRECTOR_VALUES; ++k)
    t.column(std::string("VALUE").append(1, static_cast<char>('0' + k)));
  for (int i = 1; i <= corr.count; ++i) {
    t.cell(chinp.elname(corr.element(i)).trimmed()).cell(corr.position(i));
    t.cell(blank.path_length(corr.position(i))).cell(corr.set(i) ? 1 : 0).cell(corr.type(i));
    for (int k = 1; k <= CORRECTOR_VALUES; ++k)
      t.cell(corr.value(k, i));
  }
  write_result_table(t);
}

void clear_correctors() {
  reset_in_place(corr);
  reset_in_place(corset);
  reset_in_place(crdmon);
  reset_in_place(monfit);
}

// Ranges that overlap, or name one position twice, still give one corrector there.
void cordat(int, int &end_flag) {
  reset_in_place(corr);
  read_corr_data(end_flag, [&](const DataRecord &record) {
    const int element = elid(Name8(record.name));
    if (element == 0)
      return;
    if (record.count % 2 != 0) {
      engine_message("  EVEN NUMBER OF DATA NEEDED : RUN STOPPED ");
      engine_stop(ODD_COUNT);
    }
    for (int k = 1; k + 1 <= record.count; k += 2) {
      const int first = std::max(truncated(record.value(k)), 1);
      const int last = std::min(truncated(record.value(k + 1)), mat.npos);
      for (int p = first; p <= last; ++p)
        if (blank.mseq(p) == element && !has_position(p))
          add_corrector(element, p);
    }
  });
  sort_correctors();
  for (int i = 1; i <= corr.count; ++i)
    if (!takes_corrector(inputt.kode(corr.element(i))) &&
        (i == 1 || corr.element(i - 1) != corr.element(i)))
      engine_message(" CORRECTORS ON " + chinp.elname(corr.element(i)).str() +
                     " HAVE NO EFFECT IN TRACKING: ITS KIND TAKES NONE");
  engine_message(" TOTAL NUMBER OF CORRECTORS DEFINED :" + fI(corr.count, 6));
  engine_message(" MAXIMUM ALLOWED IS PARAMETER MAXCOR :" + fI(machine_limits().maxcor, 6));
  corrector_table("corr");
}

void setcor(int, int &end_flag) {
  read_setc_data(end_flag, [&](const DataRecord &record) {
    const int element = elid(Name8(record.name));
    if (element == 0)
      return;
    const int i = corrector_at(element, truncated(record.value(1)));
    if (i == 0) {
      no_match();
      engine_stop(NO_MATCH);
    }
    corr.set(i) = true;
    corr.type(i) = truncated(record.value(2));
    for (int k = 1; k <= CORRECTOR_VALUES; ++k)
      corr.value(k, i) = record.value(k + 2);
  });
  corr.active = true;
}

void chgcor(int, int &end_flag) {
  int reference = 0;
  double amount = 0.0;
  read_chan_data(end_flag, [&](const DataRecord &record) {
    const std::string role = record.role;
    if (role == "GROUP") {
      reference = elpos(Name8(record.name));
      amount = record.value(1);
      return;
    }
    if (role != "CHANGE")
      return;
    const Name8 name(record.name);
    const int element = elid(name);
    const int position = reference + truncated(record.value(1));
    const int k = truncated(record.value(2));
    const int i = corrector_at(element, position);
    if (i == 0) {
      engine_message(" " + name.str() + " AT POSITION :" + fI(position, 6));
      no_match();
      engine_stop(NOT_A_COR);
    }
    if (!corr.set(i)) {
      engine_message("  CORRECTOR  " + name.str() + " AT POSITION :" + fI(position, 6) +
                     " IS NOT SET" + "   RUN IS STOPPED ");
      engine_stop(NOT_SET);
    }
    // Only the four values of a corrector can change.
    if (k < 1 || k > CORRECTOR_VALUES) {
      engine_message("  VALUE NUMBER" + fI(k, 6) + " OF CORRECTOR " + name.str() +
                     " DOES NOT EXIST   RUN IS STOPPED ");
      engine_stop(NOT_A_COR);
    }
    corr.value(k, i) = corr.value(k, i) + amount * record.value(3) + record.value(4);
  });
}

// Options: 1 statistics over every set corrector; 2 the same for the correctors of one element;
// 3 values 1 and 2 of one element's correctors by position; 4 the set correctors as SETC data.
// Options 2 and 3 take the element's name as the next record.
void shocor(int, int &end_flag) {
  DataRecord record("OPTION");
  if (!read_data_values(end_flag, 1, record))
    return;
  const int option = truncated(record.value(1));
  if (option < 1 || option > 4) {
    engine_message("  ERROR IN OPTION NUMBER " + fI(option, 6) + " RUN STOPPED");
    engine_stop(BAD_OPTION);
  }
  int element = 0;
  std::string name;
  if (option == 2 || option == 3) {
    if (!read_data_name(end_flag, name))
      return;
    element = elid(Name8(name));
    if (element == 0)
      return;
  }
  switch (option) {
  case 1:
    statistics(0);
    break;
  case 2:
    engine_message(" ANALYSIS FOR CORRECTORS : " + Name8(name).str());
    statistics(element);
    break;
  case 3:
    engine_message("  VALUES 1 AND 2 FOR CORRECTOR  : " + Name8(name).str());
    for (int i = 1; i <= corr.count; ++i)
      if (corr.element(i) == element)
        engine_message(" " + fI(corr.position(i), 6) + fE(corr.value(1, i), 15, 7) +
                       fE(corr.value(2, i), 15, 7));
    break;
  default:
    for (int i = 1; i <= corr.count; ++i) {
      if (!corr.set(i))
        continue;
      // Two lines within the 72 columns that operation data are read from.
      engine_message(" " + chinp.elname(corr.element(i)).str() + fI(corr.position(i), 6) +
                     fI(corr.type(i), 3) + fE(corr.value(1, i), 22, 14) +
                     fE(corr.value(2, i), 22, 14));
      engine_message("   " + fE(corr.value(3, i), 22, 14) + fE(corr.value(4, i), 22, 14) + ",");
    }
    engine_message("99,");
    break;
  }
  corrector_table("shoc");
}

// Types 0..2 displace the element (type 0 parallel, type 1 turned about its exit, type 2 about
// its entrance) by the values 1 and 2, so that the particle's coordinates relative to the
// element change at the entrance and change back at the exit: through a field-free element
// nothing is left. A turned element of no length is a parallel one (the angles p/L have no
// meaning there). Value 3 is a vertical kick and value 4 a momentum change, given once at the
// entrance (the momentum change is taken off at the exit). Types 3 and above are thin kicks:
// values 1 and 2 horizontally and vertically.
Corset corrector_effect(int type, const double p[CORRECTOR_VALUES], double length) {
  Corset c;
  if (type >= 3) {
    c.kick_x = p[0];
    c.kick_y = p[1];
    return c;
  }
  if (length == 0.0)
    type = 0;
  switch (type) {
  case 1:
    c.x_in = p[0];
    c.y_in = p[1];
    c.xp_in = -p[0] / length;
    c.yp_in = -p[1] / length;
    c.xp_out = p[0] / length;
    c.yp_out = p[1] / length;
    break;
  case 2:
    c.xp_in = p[0] / length;
    c.yp_in = p[1] / length;
    c.x_out = -p[0];
    c.y_out = -p[1];
    c.xp_out = -p[0] / length;
    c.yp_out = -p[1] / length;
    break;
  default:
    c.x_in = p[0];
    c.y_in = p[1];
    c.x_out = -p[0];
    c.y_out = -p[1];
    break;
  }
  c.kick_y = p[2];
  c.ddelta = p[3];
  return c;
}

// The cursor walks with the positions of a pass and starts again when a new pass comes back to
// an earlier position.
bool corchk(int position, int element) {
  if (!corr.active || corr.count == 0)
    return false;
  if (corr.cursor < 1 || corr.cursor > corr.count + 1 ||
      (corr.cursor > 1 && corr.position(corr.cursor - 1) >= position))
    corr.cursor = 1;
  while (corr.cursor <= corr.count && corr.position(corr.cursor) < position)
    ++corr.cursor;
  const int i = corr.cursor;
  if (i > corr.count || corr.position(i) != position || corr.element(i) != element || !corr.set(i))
    return false;
  double p[CORRECTOR_VALUES];
  for (int k = 0; k < CORRECTOR_VALUES; ++k)
    p[k] = corr.value(k + 1, i);
  corr.length = inputt.slot(element, slot::L);
  corset = corrector_effect(corr.type(i), p, corr.length);
  return true;
}

void cset(double z[6]) {
  enter_corrector(corset, z);
}

void creset(double z[6]) {
  leave_corrector(corset, z);
}

} // namespace vorax
