// SETL (limits on varied parameters) and PRIN (which positions the detailed output prints).
#include "engine/lookup.h"

#include "common/control.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/limits.h"
#include "common/reset.h"
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

// A ";" ends the operation's data: the lines after it belong to the lattice language.
bool data_ended(int end_flag) {
  return end_flag == 1;
}

// The blank name the reader gives back when a ";" comes before any name.
bool ended_before_name(const std::string &name, int end_flag) {
  return data_ended(end_flag) && name.find_first_not_of(' ') == std::string::npos;
}

// Reads 8-character names up to the "99" marker or the end of the data and hands each to
// store, which returns false once the list is full (after its message and the error stop).
template <class Store> void read_names(int &end_flag, Store store) {
  for (;;) {
    const std::string name = read_name(8, end_flag);
    if (is_end_marker(name) || ended_before_name(name, end_flag) || !store(name) ||
        data_ended(end_flag))
      return;
  }
}

bool full(int count, int most, const char *message, int code) {
  if (count < most)
    return false;
  engine_message(message);
  halt(code);
  return true;
}

void read_intervals(int &end_flag) {
  cprt.selection = 1;
  cprt.interval_mode = 1;
  read_names(end_flag, [](const std::string &name) {
    const int position = elpos(Name8(name));
    if (full(cprt.interval_count, 2 * MXLIST, "  TOO MANY INTERVALS REQUESTED ", 2))
      return false;
    cprt.intervals(++cprt.interval_count) = position;
    return true;
  });
}

void read_name_patterns(int &end_flag) {
  cprt.selection = 1;
  cprt.name_mode = 1;
  read_names(end_flag, [](const std::string &name) {
    if (full(cprt.name_count, MAX_NAMES, " TOO MANY NAMES : MAX IS 10", 18))
      return false;
    cprt.names(++cprt.name_count) = name;
    return true;
  });
}

void read_kinds(int &end_flag) {
  cprt.selection = 1;
  cprt.type_mode = 1;
  read_names(end_flag, [](const std::string &name) {
    const Name8 wanted(name);
    int kind = -1;
    for (std::size_t i = 0; i < kind_names.size() && kind < 0; ++i)
      if (!kind_names[i].empty() && wanted == kind_names[i])
        kind = static_cast<int>(i);
    if (kind < 0) {
      engine_message(" WRONG KEYWORD =" + name);
      halt(400);
      return false;
    }
    if (full(cprt.type_count, MAX_TYPES, " TOO MANY TYPES ", 17))
      return false;
    cprt.types(++cprt.type_count) = kind;
    return true;
  });
}

} // namespace

void limits(int, int &end_flag) {
  int entries = 0;
  while (!data_ended(end_flag)) {
    const std::string element_name = read_name(8, end_flag);
    if (is_end_marker(element_name) || ended_before_name(element_name, end_flag))
      break;
    // An entry cut short by ";" lacks its four values.
    if (data_ended(end_flag))
      missing_values(4);
    const int element = elid(Name8(element_name));
    const std::string parameter = read_name(8, end_flag);
    if (data_ended(end_flag))
      missing_values(4);
    const int slot = vxpar(element, Name8(parameter));
    input_record(end_flag, 4);
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

void prtdef(int, int &end_flag) {
  reset_in_place(cprt);
  while (!data_ended(end_flag)) {
    const std::string keyword = read_name(20, end_flag);
    if (ended_before_name(keyword, end_flag))
      return;
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
