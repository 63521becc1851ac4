// vorax-import run in-process on MAD-X texts written into a fresh directory, and the maps and
// slots of the decks it writes, run through VORAX.
#pragma once

#include "harness.h"
#include "support/result_files.h"

#include <map>
#include <string>
#include <vector>

namespace vorax::test {

struct Import {
  int status = 0;
  std::string deck;                         // what standard output received
  std::string terminal;                     // standard error
  std::map<std::string, std::string> files; // the directory's files afterwards
};

// Writes the files (NAME or DIR/NAME) into a fresh directory and runs vorax-import there with
// args; the files of the directory itself are returned.
Import import_files(const std::map<std::string, std::string> &files,
                    const std::vector<std::string> &args);
// The text as the file lattice.madx, imported with args after the file's name.
Import import_text(const std::string &madx, const std::vector<std::string> &args = {});

// The map of a deck's whole line (R11 ... R66, T111 ... T666) from MATR's table.
std::vector<double> map_of(const std::string &lattice);
double largest_difference(const std::vector<double> &a, const std::vector<double> &b);

// The data slots of element k of the engine tables after VORAX has converted the deck.
std::vector<double> slots_of(const std::string &lattice, int k);

} // namespace vorax::test
