// vorax DECK [LISTING] [options]: sizes the machine tables, binds the deck, the listing and
// the standard units, chooses the result files beside the listing and the tracking threads,
// then runs the program.
#include "common/interruption.h"
#include "common/limits.h"
#include "common/processors.h"
#include "common/reset.h"
#include "common/units.h"
#include "output/result_files.h"
#include "program/program.h"
#include "track/tracking_areas.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

void usage(std::FILE *f) {
  std::fputs(
      "usage: vorax [DECK [LISTING]] [--tables DIR] [--plots DIR] [--threads N]\n"
      "             [--max-positions N]\n"
      "  DECK          input deck read on unit 15 (none: commands come from standard input)\n"
      "  LISTING       printed listing written on unit 16 (none: standard output)\n"
      "  The message log goes to FOR009.DAT, or to the file named from the TITLE.\n"
      "  --tables DIR  also write TFS tables of MATR, MACH, SIMP, LEAS, TRAC, LAYO and HARD\n"
      "                into DIR\n"
      "  --plots DIR   also write SVG plots of MACH, TRAC, LAYO and HARD into DIR\n"
      "  DIR must be an existing, writable directory; --tables=DIR and --plots=DIR\n"
      "  work as well. The listing is the same with or without them.\n"
      "  --threads N   tracking threads (default: the processors the program may run on,\n"
      "                as taskset or a batch system allows); the results are the same\n"
      "                for every N\n"
      "  --max-positions N\n"
      "                room for a machine of N element positions (9998 to 999999, default\n"
      "                9998): every table that grows with the machine grows with N\n"
      "  --help        this text\n"
      "  --version     the program version\n",
      f);
}

// Two names of one regular file (a device such as /dev/null can be read and written at once).
bool same_file(const struct stat &a, const struct stat &b) {
  return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The value of --max-positions N or --max-positions=N, read before anything runs; 0 when it is
// not a whole number of positions the tables can be sized for.
int max_positions_value(const char *text) {
  if (text == nullptr)
    return 0;
  char *end = nullptr;
  errno = 0;
  const long n = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || n < vorax::MAXPOS_ELEMENTS ||
      n > vorax::LARGEST_MAX_POSITIONS)
    return 0;
  return static_cast<int>(n);
}

// Why the run could not write the file, checked without emptying it: an existing file must
// open for writing, a missing one must be creatable in its directory.
std::string cannot_write(const std::string &path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd >= 0) {
    ::close(fd);
    return {};
  }
  if (errno != ENOENT)
    return std::strerror(errno);
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  return ::access(dir.c_str(), W_OK | X_OK) == 0 ? std::string() : std::strerror(errno);
}

int unknown_option(std::string_view arg) {
  std::fprintf(stderr, "vorax: unknown option %.*s (vorax --help lists the options)\n",
               static_cast<int>(arg.size()), arg.data());
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  std::string deck, listing, tables, plots;
  int positional = 0, threads = 0;
  int max_positions = vorax::MAXPOS_ELEMENTS;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      usage(stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("vorax 1.01");
      return 0;
    }
    if (std::strcmp(argv[i], "--threads") == 0) {
      char *end = nullptr;
      const long n = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
      if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || n < 1 || n > 1024) {
        std::fprintf(stderr, "vorax: --threads needs a whole number of threads from 1 to 1024\n");
        return 2;
      }
      threads = static_cast<int>(n);
      ++i;
      continue;
    }
    if (arg == "--max-positions" || arg.starts_with("--max-positions=")) {
      const bool joined = arg != "--max-positions";
      const char *value = joined         ? argv[i] + std::strlen("--max-positions=")
                          : i + 1 < argc ? argv[++i]
                                         : nullptr;
      max_positions = max_positions_value(value);
      if (max_positions == 0) {
        std::fprintf(stderr,
                     "vorax: --max-positions needs a whole number of positions from %d to %d\n",
                     vorax::MAXPOS_ELEMENTS, vorax::LARGEST_MAX_POSITIONS);
        return 2;
      }
      continue;
    }
    if (arg.starts_with("--tables") || arg.starts_with("--plots")) {
      std::string &dir = arg.starts_with("--tables") ? tables : plots;
      const std::string_view option = arg.substr(0, arg.find('='));
      if (option != "--tables" && option != "--plots")
        return unknown_option(arg);
      if (option.size() < arg.size())
        dir = arg.substr(option.size() + 1);
      else if (i + 1 < argc)
        dir = argv[++i];
      if (dir.empty()) {
        std::fprintf(stderr, "vorax: %.*s needs a directory\n", static_cast<int>(option.size()),
                     option.data());
        return 2;
      }
      if (const std::string why = vorax::unusable_directory(dir); !why.empty()) {
        std::fprintf(stderr, "vorax: cannot write into the directory %s: %s\n", dir.c_str(),
                     why.c_str());
        return 2;
      }
      continue;
    }
    // A deck or listing name starting with "-" is written ./-name; a bare "-" is a name too.
    if (arg.size() > 1 && arg[0] == '-')
      return unknown_option(arg);
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
    struct stat deck_file;
    const int read_error = ::stat(deck.c_str(), &deck_file) != 0 ? errno
                           : S_ISDIR(deck_file.st_mode)          ? EISDIR
                                                                 : 0;
    std::FILE *f = read_error == 0 ? std::fopen(deck.c_str(), "r") : nullptr;
    if (!f) {
      std::fprintf(stderr, "vorax: cannot read the deck %s: %s\n", deck.c_str(),
                   std::strerror(read_error != 0 ? read_error : errno));
      return 2;
    }
    std::fclose(f);
    // Creating the listing empties its file: when that file is the deck (under any name, or
    // standard output sent to it), nothing would be left to run.
    struct stat out;
    const bool listing_is_deck =
        listing.empty() ? ::fstat(STDOUT_FILENO, &out) == 0 && same_file(out, deck_file)
                        : ::stat(listing.c_str(), &out) == 0 && same_file(out, deck_file);
    if (listing_is_deck) {
      std::fprintf(stderr, "vorax: the listing %s is the deck itself; the deck is left as it is\n",
                   listing.empty() ? "(standard output)" : listing.c_str());
      return 2;
    }
  }
  // The classic tables are built with the program; only a larger machine builds them again,
  // before any file is emptied, so that a machine too large for the memory changes nothing.
  if (max_positions != vorax::MAXPOS_ELEMENTS) {
    try {
      vorax::size_machine_tables(max_positions);
    } catch (const std::bad_alloc &) {
      std::fprintf(stderr, "vorax: not enough memory for the tables of %d positions\n",
                   max_positions);
      return 2;
    }
  }
  // Every file the run writes from its start is checked before any is emptied: a run refused
  // here leaves them all as they were.
  const std::string log = vorax::default_unit_name(vorax::LOG_UNIT);
  for (const auto &[what, path] :
       {std::pair<const char *, const std::string &>{"listing", listing}, {"message log", log}}) {
    if (path.empty())
      continue;
    if (const std::string why = cannot_write(path); !why.empty()) {
      std::fprintf(stderr, "vorax: cannot write the %s %s: %s\n", what, path.c_str(), why.c_str());
      return 2;
    }
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
  const int wanted = threads > 0 ? threads : vorax::available_processors();
  int thread_error = 0;
  const int usable = wanted > 1 ? vorax::threads_that_start(wanted, thread_error) : 1;
  if (usable < wanted)
    std::fprintf(stderr,
                 "vorax: only %d of %d tracking threads can be started (%s); tracking "
                 "runs on %d\n",
                 usable, wanted, std::strerror(thread_error), usable);
  vorax::set_tracking_threads(usable);
  vorax::bind_program_units(deck, listing);
  vorax::resout.tables_dir = tables;
  vorax::resout.plots_dir = plots;
  vorax::catch_stop_signals();
  const int status = vorax::run_program();
  vorax::close_all_units();
  return status;
}
