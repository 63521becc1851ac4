// vorax-import FILE...: MAD-X lattice files in, the lattice part of a VORAX deck out.
#include "import/importer.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return vorax::importer::run_importer(args, std::cout, std::cerr);
}
