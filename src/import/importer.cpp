// The command line of vorax-import, the choice of the line to import, and the files written
// whole or not at all.
#include "import/importer.h"

#include "import/deck.h"
#include "import/interpreter.h"
#include "import/layout.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace vorax::importer {

namespace {

void usage(std::ostream &out) {
  out << "usage: vorax-import [-o DECK] [--sequence NAME] [--names FILE] FILE...\n"
         "  Reads MAD-X lattice files, in the order given as MAD-X would CALL them, and\n"
         "  writes the lattice part of a VORAX deck: parameters, elements, the beam line\n"
         "  and USE (no VORAX command: CALL the deck or append operations to it).\n"
         "  FILE...          the MAD-X files (sequences, strengths, ...)\n"
         "  -o DECK          write the deck to DECK (default: standard output)\n"
         "  --sequence NAME  the sequence or line to import (default: that of the latest\n"
         "                   USE, else the only sequence defined)\n"
         "  --names FILE     also write FILE, a TFS table of the VORAX name and the MAD-X\n"
         "                   name of every position of the line\n"
         "  --help           this text\n"
         "  Every statement skipped and every approximation gets a warning FILE:LINE on\n"
         "  standard error; errors are FILE:LINE: error: TEXT. Exit status: 0 when all\n"
         "  was carried, 1 when something was skipped or approximated, 2 on errors (no\n"
         "  deck is written then). docs/import.md gives every conversion.\n";
}

// Writes text into a new file beside path and renames it to path: path is the whole text or
// is left as it was.
struct PendingFile {
  std::string path, temporary;
};

bool write_beside(const std::string &path, const std::string &text, PendingFile &pending,
                  std::string &why) {
  const std::filesystem::path target(path);
  const std::filesystem::path dir = target.parent_path().empty() ? "." : target.parent_path();
  std::string name = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) {
      why = std::strerror(errno);
      ::close(fd);
      ::unlink(name.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) {
    why = std::strerror(errno);
    ::unlink(name.c_str());
    return false;
  }
  pending = {path, name};
  return true;
}

bool same_file(const std::string &a, const std::string &b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// The line to import: the one asked for, else that of the latest USE, else the only sequence
// that no other holds (or the only line when there is no sequence).
std::string chosen_line(Lattice &lattice, const std::string &asked, Diagnostics &diagnostics) {
  if (!asked.empty()) {
    const std::string name = lower(asked);
    if (lattice.sequences.count(name) == 0 && lattice.lines.count(name) == 0) {
      diagnostics.error("--sequence " + asked + ": no such sequence or line in the files read");
      return "";
    }
    return name;
  }
  if (!lattice.used.empty())
    return lattice.used;
  std::set<std::string> inside;
  for (const auto &[name, q] : lattice.sequences)
    for (const SequenceItem &item : q.items)
      if (lattice.sequences.count(item.name) != 0 && !lattice.element(item.name))
        inside.insert(item.name);
  std::vector<std::string> top;
  for (const auto &[name, q] : lattice.sequences)
    if (inside.count(name) == 0)
      top.push_back(name);
  if (top.empty() && lattice.lines.size() == 1)
    return lattice.lines.begin()->first;
  if (top.size() == 1)
    return top[0];
  std::string list;
  std::vector<std::string> names = top;
  if (top.empty())
    for (const auto &[name, l] : lattice.lines)
      names.push_back(name);
  std::sort(names.begin(), names.end());
  for (const std::string &n : names)
    list += " " + upper(n);
  diagnostics.error(names.empty() ? "the files define no sequence and no line"
                                  : "no USE in the files: name the line to import with "
                                    "--sequence (one of" +
                                        list + ")");
  return "";
}

} // namespace

int run_importer(const std::vector<std::string> &args, std::ostream &standard_output,
                 std::ostream &terminal) {
  std::string deck_path, names_path, asked;
  std::vector<std::string> files;
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (options && (a == "--help" || a == "-h")) {
      usage(standard_output);
      return 0;
    }
    if (options && a == "--") {
      options = false;
      continue;
    }
    std::string *value = nullptr;
    std::string option;
    if (options && (a == "-o" || a == "--sequence" || a == "--names")) {
      option = a;
      value = a == "-o" ? &deck_path : (a == "--sequence" ? &asked : &names_path);
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        terminal << "vorax-import: " << a << " needs a value (vorax-import --help)\n";
        return 2;
      }
      *value = args[++i];
      continue;
    }
    if (options && (a.rfind("--sequence=", 0) == 0 || a.rfind("--names=", 0) == 0)) {
      (a[2] == 's' ? asked : names_path) = a.substr(a.find('=') + 1);
      continue;
    }
    if (options && a.size() > 1 && a[0] == '-') {
      terminal << "vorax-import: unknown option " << a << " (vorax-import --help)\n";
      return 2;
    }
    files.push_back(a);
  }
  if (files.empty()) {
    terminal << "vorax-import: no MAD-X file to read (vorax-import --help)\n";
    return 2;
  }
  for (const std::string &out : {deck_path, names_path})
    for (const std::string &in : files)
      if (!out.empty() && same_file(out, in)) {
        terminal << "vorax-import: " << out << " is an input file; it is left as it is\n";
        return 2;
      }
  if (!deck_path.empty() && deck_path == names_path) {
    terminal << "vorax-import: the deck and the names table cannot be one file\n";
    return 2;
  }

  Diagnostics diagnostics(terminal);
  Lattice lattice(diagnostics);
  Interpreter interpreter(lattice, diagnostics);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (interpreter.stopped()) {
      diagnostics.warning({files[i], 0}, "not read: an earlier file ended the input with STOP");
      continue;
    }
    interpreter.read_file(files[i], nullptr);
  }
  interpreter.finish();
  if (diagnostics.errors() > 0)
    return 2;
  const std::string line = chosen_line(lattice, asked, diagnostics);
  if (line.empty())
    return 2;
  const Beam &beam = lattice.beam_of(line);
  if (beam.bv < 0)
    diagnostics.warning(beam.where, "BV = -1 is not carried: the strengths of " + upper(line) +
                                        " are imported as written, for a beam along it");
  Layout layout;
  DeckText text;
  if (!lay_out(lattice, line, diagnostics, layout) ||
      !make_deck(lattice, layout, interpreter.files(), diagnostics, text) ||
      diagnostics.errors() > 0)
    return 2;

  std::vector<PendingFile> pending;
  std::string why;
  for (const auto &[path, content] :
       {std::pair{deck_path, &text.deck}, std::pair{names_path, &text.names}}) {
    if (path.empty())
      continue;
    PendingFile p;
    if (!write_beside(path, *content, p, why)) {
      terminal << "vorax-import: cannot write " << path << ": " << why << "\n";
      for (const PendingFile &q : pending)
        ::unlink(q.temporary.c_str());
      return 2;
    }
    pending.push_back(p);
  }
  for (const PendingFile &p : pending)
    if (std::rename(p.temporary.c_str(), p.path.c_str()) != 0) {
      terminal << "vorax-import: cannot write " << p.path << ": " << std::strerror(errno) << "\n";
      for (const PendingFile &q : pending)
        ::unlink(q.temporary.c_str());
      return 2;
    }
  if (deck_path.empty())
    standard_output << text.deck << std::flush;
  diagnostics.note(upper(line) + ": " + std::to_string(text.positions) + " positions, " +
                   std::to_string(text.elements) + " elements, " + std::to_string(text.parameters) +
                   " parameters; " + std::to_string(diagnostics.warnings()) + " warning" +
                   (diagnostics.warnings() == 1 ? "" : "s"));
  return diagnostics.warnings() > 0 ? 1 : 0;
}

} // namespace vorax::importer
