// vorax-collect: the options, the runs read and checked, the collected table and the
// statistics written where they were asked for.
#include "collect/collector.h"

#include "collect/collection.h"
#include "collect/run_names.h"
#include "collect/statistics.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vorax::collect {

namespace {

constexpr const char *USAGE =
    "usage: vorax-collect [OPTIONS] TABLE...\n"
    "Merges the TFS tables of many runs into one table, with the identity of the run that\n"
    "wrote each row as its first columns, and gives the statistics of its numeric columns.\n"
    "  TABLE            a table file; a quoted pattern (runs/*/refe_1.tfs) stands for the\n"
    "                   files it matches, in natural order\n"
    "  --runs LIST      the run numbers (1-100, 1,4,7-9, 0-99:3): every TABLE is named\n"
    "                   once per run, with %a standing for the run number (%3a: 3 digits,\n"
    "                   zero-padded; %% for %)\n"
    "  --headers        one row per run from the numbers of its table's @ header lines\n"
    "                   (default: every row of every run's table)\n"
    "  -o FILE, --output FILE\n"
    "                   write the collected table (TFS) into FILE; - for standard output\n"
    "  --columns A,B    statistics of these columns only (default: every numeric column\n"
    "                   but the identity)\n"
    "  --percentiles P,Q\n"
    "                   the percentiles to give, 0 to 100 (default 50; none for none),\n"
    "                   interpolated linearly between the sorted values at rank (n-1)P/100\n"
    "  --stats FILE     the statistics into FILE (default: standard output, or the terminal\n"
    "                   when -o - takes standard output)\n"
    "  --stats-tfs FILE also the statistics as a TFS table in FILE (- for standard output)\n"
    "  --help, --version\n"
    "Identity columns: FILE, then every @ RUN_... header (RUN_DECK, RUN_SEED), RUN_SET\n"
    "\"NAME=VALUE ...\" as one column SET_NAME per overridden parameter. Statistics per\n"
    "column: N (finite values; nan and inf are left out and counted), MEAN, RMS = root mean\n"
    "square of the values sqrt(sum x^2/n), STD = standard deviation about the mean\n"
    "sqrt(sum (x-mean)^2/n), MIN, MAX, the percentiles; the same values give the same\n"
    "results in any order.\n"
    "A table that is missing, incomplete (cut short, or marked @ INCOMPLETE) or unreadable is\n"
    "reported and left out: it is not counted. Tables of another NAME or TYPE, or other\n"
    "columns, are refused.\n"
    "Exit status: 0 every run used, 1 runs left out, 2 an error (a bad option, a place\n"
    "that cannot be written, tables that cannot be collected together, no usable table).\n";

struct Options {
  std::vector<std::string> tables;
  Mode mode = Mode::rows;
  std::string output, stats, stats_tfs;
  bool columns_given = false, runs_given = false;
  std::vector<std::string> columns;
  std::vector<double> percentiles{50};
  std::vector<long long> runs;
};

struct Failure {
  std::string message;
};

std::vector<std::string> comma_list(const std::string &text) {
  std::vector<std::string> out;
  std::size_t p = 0;
  while (p <= text.size()) {
    std::size_t q = text.find(',', p);
    if (q == std::string::npos)
      q = text.size();
    out.push_back(text.substr(p, q - p));
    p = q + 1;
  }
  return out;
}

std::vector<double> percentile_list(const std::string &text) {
  std::vector<double> out;
  if (text == "none")
    return out;
  for (const std::string &item : comma_list(text)) {
    char *end = nullptr;
    const double p = std::strtod(item.c_str(), &end);
    if (item.empty() || end != item.c_str() + item.size() || !(p >= 0 && p <= 100))
      throw Failure{"--percentiles: \"" + item + "\" is not a percentile from 0 to 100"};
    out.push_back(p);
  }
  return out;
}

// Options taking a value accept it as the next argument or after "=".
Options parse_options(const std::vector<std::string> &args, bool &help, bool &version) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
      return o;
    }
    if (arg == "--version") {
      version = true;
      return o;
    }
    if (arg == "--headers") {
      o.mode = Mode::headers;
      continue;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      o.tables.push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string option = arg.starts_with("--") ? arg.substr(0, equals) : arg;
    std::string value;
    if (option == "-o" || option == "--output" || option == "--runs" || option == "--columns" ||
        option == "--percentiles" || option == "--stats" || option == "--stats-tfs") {
      if (option.size() < arg.size())
        value = arg.substr(option.size() + 1);
      else if (i + 1 < args.size())
        value = args[++i];
      else
        throw Failure{option + " needs a value"};
      if (value.empty())
        throw Failure{option + " needs a value"};
    } else {
      throw Failure{"unknown option " + arg + " (vorax-collect --help lists the options)"};
    }
    if (option == "-o" || option == "--output")
      o.output = value;
    else if (option == "--stats")
      o.stats = value;
    else if (option == "--stats-tfs")
      o.stats_tfs = value;
    else if (option == "--columns") {
      o.columns_given = true;
      o.columns = comma_list(value);
    } else if (option == "--percentiles") {
      o.percentiles = percentile_list(value);
    } else {
      o.runs_given = true;
      if (const std::string why = parse_run_list(value, o.runs); !why.empty())
        throw Failure{"--runs: " + why};
    }
  }
  if (o.tables.empty())
    throw Failure{"no table named (vorax-collect --help)"};
  if (o.stats == "-" && o.output == "-")
    throw Failure{"the collected table and the statistics cannot both go to standard output"};
  return o;
}

// A file to be written must have an existing, writable directory and not be a directory.
void check_writable(const std::string &path) {
  if (path.empty() || path == "-")
    return;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw Failure{"cannot write " + path + ": it is a directory"};
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : path.substr(0, slash);
  if (::access(dir.c_str(), W_OK | X_OK) != 0)
    throw Failure{"cannot write " + path + ": " + dir + ": " + std::strerror(errno)};
}

// Writes a regular file whole or not at all: into a temporary beside it, renamed when complete,
// so that a reader (or a later collection) never sees half a table.
void write_file(const std::string &path, const std::string &text, std::string &standard_output) {
  if (path == "-") {
    standard_output += text;
    return;
  }
  struct stat st;
  const bool special = ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
  const std::string target = special ? path : path + ".part" + std::to_string(::getpid());
  std::FILE *f = std::fopen(target.c_str(), "w");
  bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const int error = errno;
  ok = f && std::fclose(f) == 0 && ok;
  if (ok && !special && std::rename(target.c_str(), path.c_str()) != 0)
    ok = false;
  if (!ok) {
    if (!special)
      std::remove(target.c_str());
    throw Failure{"cannot write " + path + ": " + std::strerror(error ? error : errno)};
  }
}

std::string percentile_name(double p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "P%g", p);
  return buf;
}

std::string number_text(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%15.8e", x);
  return buf;
}

std::string padded(const std::string &s, std::size_t width, bool right) {
  const std::string fill(s.size() < width ? width - s.size() : 0, ' ');
  return right ? fill + s : s + fill;
}

struct Selected {
  std::string name;
  ColumnStatistics statistics;
};

std::string aligned_statistics(const Collection &c, const std::vector<Selected> &selected,
                               const std::vector<double> &percentiles, std::size_t named) {
  std::string text =
      "runs used: " + std::to_string(c.runs.size()) + " of " + std::to_string(named) +
      ", left out: " + std::to_string(named - c.runs.size()) + "; table " + c.kind_name +
      " of type " + c.kind_type + ", " + std::to_string(c.rows()) + " rows\n";
  std::size_t name_width = 6, count_width = 5;
  for (const Selected &s : selected) {
    name_width = std::max(name_width, s.name.size());
    count_width = std::max(count_width, std::to_string(s.statistics.count).size());
  }
  std::vector<std::string> heads{"MEAN", "RMS", "STD", "MIN", "MAX"};
  for (double p : percentiles)
    heads.push_back(percentile_name(p));
  text += padded("COLUMN", name_width, false) + " " + padded("N", count_width, true);
  for (const std::string &h : heads)
    text += " " + padded(h, 15, true);
  text += '\n';
  for (const Selected &s : selected) {
    const ColumnStatistics &st = s.statistics;
    text += padded(s.name, name_width, false) + " " +
            padded(std::to_string(st.count), count_width, true);
    std::vector<double> numbers{st.mean, st.rms, st.std, st.min, st.max};
    numbers.insert(numbers.end(), st.percentiles.begin(), st.percentiles.end());
    for (double x : numbers)
      text += " " + number_text(x);
    text += '\n';
  }
  for (const Selected &s : selected)
    if (s.statistics.nonfinite > 0)
      text += s.name + ": " + std::to_string(s.statistics.nonfinite) +
              " values not finite (nan or inf), left out of its statistics\n";
  return text;
}

std::string tfs_statistics(const Collection &c, const std::vector<Selected> &selected,
                           const std::vector<double> &percentiles, std::size_t named) {
  std::string text = tfs_header_line("NAME", "%s", tfs_text("STATISTICS"));
  text += tfs_header_line("TYPE", "%s", tfs_text("STATISTICS"));
  text += tfs_header_line("ORIGIN", "%s", tfs_text("VORAX-COLLECT 1.01"));
  text += tfs_header_line("SOURCE_NAME", "%s", tfs_text(c.kind_name));
  text += tfs_header_line("SOURCE_TYPE", "%s", tfs_text(c.kind_type));
  text += tfs_header_line("COLLECTED", "%s", tfs_text(c.mode == Mode::rows ? "ROWS" : "HEADERS"));
  text += tfs_header_line("RUNS", "%d", std::to_string(c.runs.size()));
  text += tfs_header_line("RUNS_LEFT_OUT", "%d", std::to_string(named - c.runs.size()));
  text += tfs_header_line("ROWS", "%d", std::to_string(c.rows()));
  std::vector<std::string> names{"COLUMN", "N", "NONFINITE", "MEAN", "RMS", "STD", "MIN", "MAX"};
  for (double p : percentiles)
    names.push_back(percentile_name(p));
  text += '*';
  for (const std::string &n : names)
    text += tfs_cell(n);
  text += "\n$";
  for (std::size_t i = 0; i < names.size(); ++i)
    text += tfs_cell(tfs_format(i == 0 ? TfsType::text : i < 3 ? TfsType::integer : TfsType::real));
  text += '\n';
  for (const Selected &s : selected) {
    const ColumnStatistics &st = s.statistics;
    text += tfs_cell(tfs_text(s.name)) + tfs_cell(std::to_string(st.count)) +
            tfs_cell(std::to_string(st.nonfinite));
    std::vector<double> numbers{st.mean, st.rms, st.std, st.min, st.max};
    numbers.insert(numbers.end(), st.percentiles.begin(), st.percentiles.end());
    for (double x : numbers)
      text += tfs_cell(tfs_real(x));
    text += '\n';
  }
  return text;
}

// The runs' tables, read: those that cannot be used are reported and left out; a file named
// twice is used once.
std::vector<RunTable> read_runs(const Options &o, std::size_t &named, std::string &terminal) {
  std::vector<std::string> names;
  for (const std::string &pattern : o.tables) {
    const std::vector<long long> runs = o.runs_given ? o.runs : std::vector<long long>{0};
    for (long long run : runs) {
      std::string name = pattern;
      if (o.runs_given)
        if (const std::string why = name_of_run(pattern, run, name); !why.empty())
          throw Failure{why};
      const std::vector<std::string> files = expand_name(name);
      if (files.empty())
        names.push_back(name); // read as a file, it is reported missing
      names.insert(names.end(), files.begin(), files.end());
    }
  }
  std::vector<RunTable> runs;
  std::vector<std::pair<dev_t, ino_t>> seen;
  named = 0;
  for (const std::string &name : names) {
    struct stat st;
    if (::stat(name.c_str(), &st) == 0) {
      const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
      if (std::find(seen.begin(), seen.end(), id) != seen.end()) {
        terminal += "vorax-collect: " + name + ": named twice, used once\n";
        continue;
      }
      seen.push_back(id);
    }
    ++named;
    ReadTable r = read_table(name);
    RunTable run{name, std::move(r.table), {}};
    if (r.state == TableState::usable)
      if (std::string why = identity_of(run.table, run.identity); !why.empty()) {
        r.state = TableState::malformed;
        r.why = std::move(why);
      }
    if (r.state != TableState::usable) {
      const char *what = r.state == TableState::missing      ? "missing"
                         : r.state == TableState::incomplete ? "incomplete"
                                                             : "unreadable";
      terminal += "vorax-collect: " + name + ": " + what + " (" + r.why + "), left out\n";
      continue;
    }
    runs.push_back(std::move(run));
  }
  return runs;
}

int collect(const Options &o, CollectOutcome &outcome) {
  for (const std::string &path : {o.output, o.stats, o.stats_tfs})
    check_writable(path);
  std::size_t named = 0;
  std::vector<RunTable> runs = read_runs(o, named, outcome.terminal);
  if (runs.empty())
    throw Failure{"no table to collect: none of the " + std::to_string(named) +
                  " named can be used"};
  Collection c;
  if (const std::string why = collect_runs(std::move(runs), o.mode, c); !why.empty())
    throw Failure{why};

  std::vector<Selected> selected;
  const std::vector<std::string> wanted =
      o.columns_given
          ? o.columns
          : std::vector<std::string>(c.columns.begin() + c.identity_count, c.columns.end());
  for (const std::string &name : wanted) {
    const auto at = std::find(c.columns.begin(), c.columns.end(), name);
    if (at == c.columns.end())
      throw Failure{"--columns: the collected table has no column " + name};
    const std::size_t column = static_cast<std::size_t>(at - c.columns.begin());
    if (c.types[column] == TfsType::text) {
      if (o.columns_given)
        throw Failure{"--columns: the column " + name + " holds texts"};
      continue;
    }
    selected.push_back({name, statistics_of(c.values(column), o.percentiles)});
  }

  std::string terminal_statistics;
  if (!o.output.empty())
    write_file(o.output, c.tfs(named - c.runs.size()), outcome.standard_output);
  const std::string aligned = aligned_statistics(c, selected, o.percentiles, named);
  if (!o.stats.empty())
    write_file(o.stats, aligned, outcome.standard_output);
  else if (o.output == "-")
    terminal_statistics = aligned;
  else
    outcome.standard_output += aligned;
  if (!o.stats_tfs.empty())
    write_file(o.stats_tfs, tfs_statistics(c, selected, o.percentiles, named),
               outcome.standard_output);
  outcome.terminal += terminal_statistics;
  outcome.terminal += "vorax-collect: " + std::to_string(c.runs.size()) + " of " +
                      std::to_string(named) + " runs used";
  if (named > c.runs.size())
    outcome.terminal += ", " + std::to_string(named - c.runs.size()) + " left out";
  outcome.terminal += '\n';
  return named > c.runs.size() ? 1 : 0;
}

} // namespace

CollectOutcome run_collect(const std::vector<std::string> &args) {
  CollectOutcome outcome;
  try {
    bool help = false, version = false;
    const Options o = parse_options(args, help, version);
    if (help) {
      outcome.standard_output = USAGE;
      return outcome;
    }
    if (version) {
      outcome.standard_output = "vorax-collect 1.01\n";
      return outcome;
    }
    outcome.status = collect(o, outcome);
  } catch (const Failure &f) {
    outcome.standard_output.clear();
    outcome.terminal += "vorax-collect: " + f.message + "\n";
    outcome.status = 2;
  }
  return outcome;
}

} // namespace vorax::collect
