// vorax DECK [LISTING]: binds the deck, the listing and the standard units, then runs the program.
#include "common/units.h"
#include "input/program.h"

#include <cstdio>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

void usage(std::FILE *f) {
  std::fputs("usage: vorax [DECK [LISTING]]\n"
             "  DECK     input deck read on unit 15 (none: commands come from standard input)\n"
             "  LISTING  printed listing written on unit 16 (none: standard output)\n"
             "  The message log goes to FOR009.DAT, or to the file named from the TITLE.\n"
             "  --help     this text\n"
             "  --version  the program version\n",
             f);
}

} // namespace

int main(int argc, char **argv) {
  std::string deck, listing;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      usage(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("vorax 1.01");
      return 0;
    }
    if (positional == 0)
      deck = argv[i];
    else if (positional == 1)
      listing = argv[i];
    else {
      usage(stderr);
      return 2;
    }
    ++positional;
  }
  if (!deck.empty()) {
    std::FILE *f = std::fopen(deck.c_str(), "r");
    if (!f) {
      std::fprintf(stderr, "vorax: cannot read the deck %s: %s\n", deck.c_str(), std::strerror(errno));
      return 2;
    }
    std::fclose(f);
  }
  if (!listing.empty()) {
    std::FILE *f = std::fopen(listing.c_str(), "w");
    if (!f) {
      std::fprintf(stderr, "vorax: cannot write the listing %s: %s\n", listing.c_str(),
                   std::strerror(errno));
      return 2;
    }
    std::fclose(f);
  }
  vorax::bind_program_units(deck, listing);
  const int status = vorax::run_program();
  vorax::close_all_units();
  return status;
}
