// The vorax-import program as a function: the command line in, the deck and the names table
// written, messages on the terminal, the exit status out (0: everything carried, 1: something
// skipped or approximated, 2: errors, and then nothing is written).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vorax::importer {

int run_importer(const std::vector<std::string> &args, std::ostream &standard_output,
                 std::ostream &terminal);

} // namespace vorax::importer
