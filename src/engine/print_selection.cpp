// SETL (limits on varied parameters) and PRIN (which positions the detailed output prints).
#include "engine/lookup.h"

#include "common/control.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/limits.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/operation_data.h"

#include <array>
#include <string>
#include <string_view>

namespace vorax {

namespace {

constexpr int MAX_NAMES = 10;
constexpr int MAX_TYPES = 2;

// Engine kind names in kind order (place - 1 is the kind); blank places have no name.
constexpr std::array<std::string_view, 17> kind_names{
    "DRIFT",    "BEND",     "QUADRUPO", "SEXTUPOL", "QUADSEXT", "MULTIPOL",
    "COLLIMAT", "RFCAVITY", "GKICK",    "MTWISS",   "MATRIX",   "",
    "ARBITRAR", "MONITOR",  "",         "SOLENOID", ""};

// Reads one name of the given width from the operation data, no numbers.
std::string read_name(int width, int &end_flag) {
  std::string name;
  int count = 0;
  input(name, width, cintak.values.data(), 0, end_flag, count, 1);
  return name;
}

bool is_end_marker(std::string_view name) {
  return name.substr(0, 2) == "99";
}

void read_intervals(int &end_flag) {
  cprt.selection = 1;
  cprt.interval_mode = 1;
  for (;;) {
    const std::string name = read_name(8, end_flag);
    if (is_end_marker(name))
      return;
    const int position = elpos(Name8(name));
    if (cprt.interval_count == 2 * MXLIST) {
      engine_message("  TOO MANY INTERVALS REQUESTED ");
      halt(2);
      return;
    }
    cprt.intervals(++cprt.interval_count) = position;
  }
}

void read_name_patterns(int &end_flag) {
  cprt.selection = 1;
  cprt.name_mode = 1;
  for (;;) {
    const std::string name = read_name(8, end_flag);
    if (is_end_marker(name))
      return;
    if (cprt.name_count == MAX_NAMES) {
      engine_message(" TOO MANY NAMES : MAX IS 10");
      halt(18);
      return;
    }
    cprt.names(++cprt.name_count) = name;
  }
}

void read_kinds(int &end_flag) {
  cprt.selection = 1;
  cprt.type_mode = 1;
  for (;;) {
    const std::string name = read_name(8, end_flag);
    if (is_end_marker(name))
      return;
    const Name8 wanted(name);
    int kind = -1;
    for (std::size_t i = 0; i < kind_names.size() && kind < 0; ++i)
      if (!kind_names[i].empty() && wanted == kind_names[i])
        kind = static_cast<int>(i);
    if (kind < 0) {
      engine_message(" WRONG KEYWORD =" + name);
      halt(400);
      return;
    }
    if (cprt.type_count == MAX_TYPES) {
      engine_message(" TOO MANY TYPES ");
      halt(17);
      return;
    }
    cprt.types(++cprt.type_count) = kind;
  }
}

} // namespace

void limits(int &end_flag) {
  int entries = 0;
  for (;;) {
    const std::string element_name = read_name(8, end_flag);
    if (is_end_marker(element_name))
      break;
    const int element = elid(Name8(element_name));
    const std::string parameter = read_name(8, end_flag);
    const int slot = vxpar(element, Name8(parameter));
    int count = 4;
    std::string unused;
    int width = 0;
    input(unused, width, cintak.values.data(), NINPUT, end_flag, count, 1);
    if (entries == MXLVAR) {
      engine_message("  TOO MANY VARIABLE LIMITS . MAXIMUM IS : " + fI(MXLVAR, 5));
      engine_message("  CHANGE PARAMETER MXLVAR ");
      halt(0);
      break;
    }
    ++entries;
    limit.element(entries) = element;
    limit.slot(entries) = slot;
    std::string line =
        " LIMIT" + fI(entries, 3) + " : " + element_name + " " + parameter + " SLOT" + fI(slot, 4);
    for (int j = 1; j <= 4; ++j) {
      limit.value(entries, j) = cintak.values(j);
      line += fE(cintak.values(j), 15, 6);
    }
    write_record(control.output_unit, line);
  }
  limit.count = entries;
  limit.flag = 1;
}

void prtdef(int &end_flag) {
  cprt = Cprt{};
  for (;;) {
    const std::string keyword = read_name(20, end_flag);
    const Name8 pattern(keyword);
    if (iequal(pattern, Name8("INTERVAL")))
      read_intervals(end_flag);
    else if (iequal(pattern, Name8("TYPE")))
      read_kinds(end_flag);
    else if (iequal(pattern, Name8("NAME")))
      read_name_patterns(end_flag);
    else if (iequal(pattern, Name8("END")))
      return;
    else {
      engine_message(" WRONG KEYWORD : " + keyword);
      halt(400);
      return;
    }
  }
}

} // namespace vorax
