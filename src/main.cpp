// vorax [DECK [LISTING]] [OPTIONS]: reads the command line, checks every file the run will
// write, binds the deck, the listing and the standard units, chooses the result files, the
// tracking threads and the run's identity (seed, parameter overrides), sizes the machine tables,
// then runs the program.
#include "common/interruption.h"
#include "common/limits.h"
#include "common/processors.h"
#include "common/reset.h"
#include "common/run_identity.h"
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
      "usage: vorax [DECK [LISTING]] [--tables DIR] [--plots DIR] [--out DIR] [--threads N]\n"
      "             [--seed N] [--set NAME=VALUE]... [--max-positions N]\n"
      "  DECK          input deck read on unit 15 (none: commands come from standard input)\n"
      "  LISTING       printed listing written on unit 16 (none: standard output, or\n"
      "                listing.txt in the --out directory)\n"
      "  The message log goes to FOR009.DAT, or to the file named from the TITLE.\n"
      "  --tables DIR  also write TFS tables of the operations into DIR\n"
      "  --plots DIR   also write SVG plots of MACH, TRAC, LAYO and HARD into DIR\n"
      "                DIR must be an existing, writable directory. The listing is the same\n"
      "                with or without them.\n"
      "  --out DIR     every file of the run goes into DIR (created when missing): the\n"
      "                listing unless LISTING is named, the message log, and the tables\n"
      "                and plots unless --tables or --plots name other places\n"
      "  --threads N   tracking threads (default: the processors the program may run on,\n"
      "                as taskset or a batch system allows); the results are the same\n"
      "                for every N\n"
      "  --seed N      the seed of the run's random numbers, 0 to 2147483647, mixed with the\n"
      "                deck's SEED: the same N repeats the run, another N gives other draws\n"
      "  --set NAME=VALUE  gives the deck's parameter NAME the number VALUE in place of its\n"
      "                own definition (repeatable; the deck must define NAME)\n"
      "  --max-positions N  room for a machine of N element positions, 9998 to 999999\n"
      "                (default 9998): every table that grows with the machine grows with N\n"
      "  Every option also works as --option=VALUE.\n"
      "  --help        this text\n"
      "  --version     the program version\n",
      f);
}

// Two names of one regular file (a device such as /dev/null can be read and written at once).
bool same_file(const struct stat &a, const struct stat &b) {
  return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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

// Creates the directory and the missing ones above it; why it cannot be used, or empty.
std::string make_directory(const std::string &dir) {
  for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    const std::string part = dir.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
      return std::strerror(errno);
    if (slash == std::string::npos)
      break;
  }
  return vorax::unusable_directory(dir);
}

struct CommandLine {
  std::string deck, listing, tables, plots, out;
  int threads = 0;
  int max_positions = vorax::MAXPOS_ELEMENTS;
};

// Each option takes one value, as "--name VALUE" or "--name=VALUE"; take() stores it and
// says what is wrong with it (empty when it is right).
struct Option {
  std::string_view name;
  std::string (*take)(CommandLine &, const std::string &);
};

std::string take_directory(std::string &dir, const std::string &value) {
  if (value.empty())
    return "needs a directory";
  dir = value;
  return {};
}

const Option options[] = {
    {"--tables", [](CommandLine &c, const std::string &v) { return take_directory(c.tables, v); }},
    {"--plots", [](CommandLine &c, const std::string &v) { return take_directory(c.plots, v); }},
    {"--out", [](CommandLine &c, const std::string &v) { return take_directory(c.out, v); }},
    {"--threads",
     [](CommandLine &c, const std::string &v) -> std::string {
       char *end = nullptr;
       const long n = std::strtol(v.c_str(), &end, 10);
       if (v.empty() || *end != '\0' || n < 1 || n > 1024)
         return "needs a whole number of threads from 1 to 1024";
       c.threads = static_cast<int>(n);
       return {};
     }},
    {"--seed",
     [](CommandLine &, const std::string &v) -> std::string {
       if (!vorax::parse_run_seed(v, vorax::runid.seed))
         return "needs a whole number from 0 to " + std::to_string(vorax::MAX_RUN_SEED) +
                ", not '" + v + "'";
       vorax::runid.seeded = true;
       return {};
     }},
    {"--max-positions",
     [](CommandLine &c, const std::string &v) -> std::string {
       char *end = nullptr;
       errno = 0;
       const long n = std::strtol(v.c_str(), &end, 10);
       if (v.empty() || *end != '\0' || errno != 0 || n < vorax::MAXPOS_ELEMENTS ||
           n > vorax::LARGEST_MAX_POSITIONS)
         return "needs a whole number of positions from " + std::to_string(vorax::MAXPOS_ELEMENTS) +
                " to " + std::to_string(vorax::LARGEST_MAX_POSITIONS);
       c.max_positions = static_cast<int>(n);
       return {};
     }},
    {"--set",
     [](CommandLine &, const std::string &v) -> std::string {
       std::string why;
       return vorax::add_parameter_override(v, why) ? std::string() : why;
     }},
};

int refuse(const std::string &line) {
  std::fprintf(stderr, "vorax: %s\n", line.c_str());
  return 2;
}

// Reads the arguments into c; -1 when the run goes on, else the exit status.
int read_command_line(int argc, char **argv, CommandLine &c) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      usage(stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("vorax 1.01");
      return 0;
    }
    // A deck or listing name starting with "-" is written ./-name; a bare "-" is a name too.
    if (arg.size() > 1 && arg[0] == '-') {
      const std::string name = arg.substr(0, arg.find('='));
      const Option *option = nullptr;
      for (const Option &o : options)
        if (o.name == name)
          option = &o;
      if (!option)
        return refuse("unknown option " + arg + " (vorax --help lists the options)");
      std::string value;
      if (name.size() < arg.size())
        value = arg.substr(name.size() + 1);
      else if (i + 1 < argc)
        value = argv[++i];
      if (const std::string why = option->take(c, value); !why.empty())
        return refuse(name + " " + why);
      continue;
    }
    if (positional == 0)
      c.deck = arg;
    else if (positional == 1)
      c.listing = arg;
    else
      return refuse("unexpected argument " + arg + ": a run takes at most DECK and LISTING, " +
                    c.deck + " and " + c.listing + " (vorax --help lists the options)");
    ++positional;
  }
  return -1;
}

// The deck must be readable, and the listing must not be the deck itself.
int check_deck(const CommandLine &c) {
  struct stat deck_file;
  const int read_error = ::stat(c.deck.c_str(), &deck_file) != 0 ? errno
                         : S_ISDIR(deck_file.st_mode)            ? EISDIR
                                                                 : 0;
  std::FILE *f = read_error == 0 ? std::fopen(c.deck.c_str(), "r") : nullptr;
  if (!f)
    return refuse("cannot read the deck " + c.deck + ": " +
                  std::strerror(read_error != 0 ? read_error : errno));
  std::fclose(f);
  // Creating the listing empties its file: when that file is the deck (under any name, or
  // standard output sent to it), nothing would be left to run.
  struct stat out;
  const bool listing_is_deck =
      c.listing.empty() ? ::fstat(STDOUT_FILENO, &out) == 0 && same_file(out, deck_file)
                        : ::stat(c.listing.c_str(), &out) == 0 && same_file(out, deck_file);
  if (listing_is_deck)
    return refuse("the listing " + (c.listing.empty() ? "(standard output)" : c.listing) +
                  " is the deck itself; the deck is left as it is");
  return -1;
}

// Every place the run writes into is checked (and the --out directory made) before any file is
// emptied: a run refused here leaves them all as they were.
int check_places(CommandLine &c) {
  if (!c.out.empty()) {
    if (const std::string why = make_directory(c.out); !why.empty())
      return refuse("cannot write into the directory " + c.out + ": " + why);
    if (c.listing.empty())
      c.listing = c.out + "/listing.txt";
    if (c.tables.empty())
      c.tables = c.out;
    if (c.plots.empty())
      c.plots = c.out;
  }
  for (const std::string *dir : {&c.tables, &c.plots})
    if (!dir->empty())
      if (const std::string why = vorax::unusable_directory(*dir); !why.empty())
        return refuse("cannot write into the directory " + *dir + ": " + why);
  if (!c.deck.empty())
    if (const int status = check_deck(c); status >= 0)
      return status;
  const std::string log = c.out.empty() ? vorax::default_unit_name(vorax::LOG_UNIT)
                                        : c.out + "/" + vorax::default_unit_name(vorax::LOG_UNIT);
  for (const auto &[what, path] :
       {std::pair<const char *, const std::string &>{"listing", c.listing}, {"message log", log}}) {
    if (path.empty())
      continue;
    if (const std::string why = cannot_write(path); !why.empty())
      return refuse(std::string("cannot write the ") + what + " " + path + ": " + why);
  }
  if (!c.listing.empty()) {
    std::FILE *f = std::fopen(c.listing.c_str(), "w");
    if (!f)
      return refuse("cannot write the listing " + c.listing + ": " + std::strerror(errno));
    std::fclose(f);
  }
  return -1;
}

} // namespace

int main(int argc, char **argv) {
  CommandLine c;
  if (const int status = read_command_line(argc, argv, c); status >= 0)
    return status;
  // The classic tables are built with the program; only a larger machine builds them again,
  // before any file is emptied, so that a machine too large for the memory changes nothing.
  if (c.max_positions != vorax::MAXPOS_ELEMENTS) {
    try {
      vorax::size_machine_tables(c.max_positions);
    } catch (const std::bad_alloc &) {
      return refuse("not enough memory for the tables of " + std::to_string(c.max_positions) +
                    " positions");
    }
  }
  if (const int status = check_places(c); status >= 0)
    return status;
  const int wanted = c.threads > 0 ? c.threads : vorax::available_processors();
  int thread_error = 0;
  const int usable = wanted > 1 ? vorax::threads_that_start(wanted, thread_error) : 1;
  if (usable < wanted)
    std::fprintf(stderr,
                 "vorax: only %d of %d tracking threads can be started (%s); tracking "
                 "runs on %d\n",
                 usable, wanted, std::strerror(thread_error), usable);
  vorax::set_tracking_threads(usable);
  vorax::bind_program_units(c.deck, c.listing);
  vorax::set_run_directory(c.out);
  vorax::resout.tables_dir = c.tables;
  vorax::resout.plots_dir = c.plots;
  vorax::runid.deck = c.deck;
  vorax::catch_stop_signals();
  const int status = vorax::run_program();
  vorax::close_all_units();
  return status;
}
