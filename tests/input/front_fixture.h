// Helpers for the front-end unit tests: run the command loop over a deck held in memory and
// look at the tables it filled, or position the reader on a text to call one routine.
#pragma once

#include "common/control.h"
#include "common/halt.h"
#include "common/units.h"
#include "harness.h"
#include "input/command_loop.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/reader.h"

#include <cmath>
#include <string>
#include <string_view>

namespace vorax::test {

// Reader on the deck, letters upper-cased, nothing read yet.
inline void start_reader(std::string_view deck) {
  start_in_memory(deck);
  rdinit(DECK_UNIT, LISTING_UNIT, LOG_UNIT);
  cuplo.letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
}

// Reader positioned on the first significant character of the deck.
inline void at(std::string_view deck) {
  start_reader(deck);
  rdnext();
}

// Runs the command loop over the deck (with empty standard input) and returns the stop
// code, 0 when the loop returned normally.
inline int load(std::string_view deck) {
  start_reader(deck);
  clear();
  try {
    cntrol();
  } catch (const RunEnd &end) {
    return end.code;
  }
  return 0;
}

// Orders and evaluates the parameter table as a conversion does.
inline int evaluate() {
  int error = 0;
  parord(error);
  parevl();
  return error;
}

inline int element_index(std::string_view name) {
  for (int i = 1; i <= elmdat.low_count; ++i)
    if (elmnam.name(i) == Name8(name))
      return i;
  return 0;
}

// Value of attribute key of element name (NaN when either is unknown).
inline double attribute(std::string_view name, std::string_view key) {
  const int e = element_index(name);
  if (e == 0 || elmdat.first(e) == 0)
    return std::nan("");
  const int node = rdlook(Name8(key), parnam.name.data(), elmdat.first(e), elmdat.last(e));
  return node == 0 ? std::nan("") : parval.value(node);
}

inline int attribute_kind(std::string_view name, std::string_view key) {
  const int e = element_index(name);
  const int node = rdlook(Name8(key), parnam.name.data(), elmdat.first(e), elmdat.last(e));
  return node == 0 ? -99 : pardat.kind(node);
}

inline double parameter(std::string_view name) {
  for (int i = 1; i <= pardat.low_count; ++i)
    if (parnam.name(i) == Name8(name))
      return parval.value(i);
  return std::nan("");
}

} // namespace vorax::test
