// The unit and record layer: logical units on files, standard streams and, for in-process runs,
// memory.
#include "common/units.h"

#include "common/halt.h"
#include "common/interruption.h"
#include "common/reset.h"
#include "common/run_identity.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vorax {

namespace {

// A file on the host, told apart by device and inode: two names of one file are the same file.
struct FileId {
  bool known = false;
  dev_t device = 0;
  ino_t inode = 0;
};

// Only regular files need guarding: a device such as /dev/null may serve several units at once.
FileId regular_file_id(const struct stat &st) {
  if (!S_ISREG(st.st_mode))
    return {};
  return {true, st.st_dev, st.st_ino};
}

FileId id_of_path(const std::string &name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 ? regular_file_id(st) : FileId{};
}

FileId id_of_stream(std::FILE *f) {
  struct stat st;
  return ::fstat(::fileno(f), &st) == 0 ? regular_file_id(st) : FileId{};
}

bool same_file(const FileId &a, const FileId &b) {
  return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

struct Unit {
  bool connected = false;
  std::string name;         // file behind the unit
  std::FILE *in = nullptr;  // open for reading
  std::FILE *out = nullptr; // open for writing
  bool standard_input = false;
  bool standard_output = false;
  bool memory_input = false; // reads `text` from `pos`
  std::string text;
  std::size_t pos = 0;          // also the reading position in a sandboxed file
  bool sandbox_writing = false; // a sandboxed file being written (emptied at its first record)
  bool read_failed = false;     // the input is not text: every later read fails as well
  bool write_failed = false;    // the failure has ended the run; later records are dropped
  int records = 0;              // records read since connected or rewound
};

// The standard input read through its descriptor: it may be a terminal or a pipe that waits for
// ever, and is then watched with wake-ups so that a stop signal is seen while nothing comes.
struct StandardInput {
  std::array<char, 4096> buffer;
  std::size_t pos = 0, length = 0;
  bool end = false, failed = false;
};

struct Layer {
  std::array<Unit, 100> units;
  bool capture = false;
  bool sandbox = false;
  std::map<std::string, std::string> files; // the sandbox
  std::string captured_listing, captured_log, captured_terminal;
  // The files the program was started on; no unit may write over them.
  FileId deck, standard_input, listing;
  // The result files the run has completed, which no unit may write over either.
  std::vector<std::pair<FileId, std::string>> results;
  std::string write_failure;
  StandardInput in;
  bool told_mark = false, told_tab = false; // the terminal notes of the input, once a run
  std::string run_directory;                // --out: where the run's own files go
};

Layer &layer() {
  static Layer l;
  return l;
}

bool valid(int unit) {
  return unit >= 1 && unit <= 99;
}

Unit &unit_at(int unit) {
  return layer().units[static_cast<std::size_t>(unit)];
}

void close_files(Unit &u) {
  if (u.in) {
    std::fclose(u.in);
    u.in = nullptr;
  }
  if (u.out) {
    std::fclose(u.out);
    u.out = nullptr;
  }
}

std::string *capture_buffer(int unit) {
  Layer &l = layer();
  if (!l.capture)
    return nullptr;
  if (unit == LISTING_UNIT)
    return &l.captured_listing;
  if (unit == LOG_UNIT)
    return &l.captured_log;
  if (unit == TERMINAL)
    return &l.captured_terminal;
  return nullptr;
}

bool file_exists(const std::string &name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The message log moves to the file named from the title, so its file is looked up each time.
FileId log_file_id() {
  const Unit &g = unit_at(LOG_UNIT);
  if (layer().capture || !g.connected)
    return {};
  return g.out ? id_of_stream(g.out) : id_of_path(g.name);
}

// Which of the program's own files the named file is, for a unit about to connect to it or
// write to it; empty when it is none of them. The deck is never written, not even by unit 15.
std::string program_file_clash(int unit, const std::string &name) {
  const Layer &l = layer();
  const FileId f = id_of_path(name);
  if (!f.known)
    return {};
  if (same_file(f, l.deck))
    return "the deck";
  if (unit != STDIN_UNIT && same_file(f, l.standard_input))
    return "the standard input";
  if (unit != LISTING_UNIT && same_file(f, l.listing))
    return "the listing";
  if (unit != LOG_UNIT && same_file(f, log_file_id()))
    return "the message log";
  for (const auto &[id, description] : l.results)
    if (same_file(f, id))
      return description;
  return {};
}

// One record from a byte source (next() gives a byte or EOF). At most `columns` characters are
// kept; the rest of the line is consumed and dropped, so nothing larger than a record is held.
// A NUL byte never occurs in text: the source is binary (a device such as /dev/zero, an
// executable, a UTF-16 file), and reading stops at once, since such input may have no line end
// at all. Other control characters are passed on; the parsers reject them as characters.
template <class Next> int take_record(Next next, std::string &line, std::size_t columns) {
  line.clear();
  std::size_t length = 0;
  bool any = false;
  int last = 0;
  for (int ch; (ch = next()) != EOF;) {
    any = true;
    if (ch == '\n')
      break;
    if (ch == '\0')
      return READ_ERROR;
    if (length < columns)
      line.push_back(static_cast<char>(ch));
    ++length;
    last = ch;
  }
  if (!any)
    return READ_EOF;
  if (last == '\r' && length <= columns) // a line end written as CR LF
    line.pop_back();
  return READ_OK;
}

int take_record(const std::string &text, std::size_t &pos, std::string &line, std::size_t columns) {
  return take_record(
      [&]() -> int { return pos < text.size() ? static_cast<unsigned char>(text[pos++]) : EOF; },
      line, columns);
}

int take_record(std::FILE *f, std::string &line, std::size_t columns) {
  const int status = take_record([f] { return std::getc(f); }, line, columns);
  return std::ferror(f) ? READ_ERROR : status;
}

// The poll wakes up now and then to look for a stop signal: the handler's restarted read would
// otherwise wait for the next line.
constexpr int STOP_LOOK_MS = 200;

int next_standard_input_byte(StandardInput &in) {
  while (in.pos == in.length) {
    if (in.end || in.failed)
      return EOF;
    interruption_point();
    pollfd p{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&p, 1, STOP_LOOK_MS);
    if (ready == 0 || (ready < 0 && errno == EINTR))
      continue;
    const ssize_t n = ::read(STDIN_FILENO, in.buffer.data(), in.buffer.size());
    if (n < 0 && errno == EINTR)
      continue;
    in.pos = 0;
    in.length = n > 0 ? static_cast<std::size_t>(n) : 0;
    in.end = n == 0;
    in.failed = n < 0;
  }
  return static_cast<unsigned char>(in.buffer[in.pos++]);
}

int take_standard_input_record(StandardInput &in, std::string &line, std::size_t columns) {
  const int status = take_record([&in] { return next_standard_input_byte(in); }, line, columns);
  return in.failed ? READ_ERROR : status;
}

int read_connected(int unit, Unit &u, std::string &line, std::size_t columns) {
  Layer &l = layer();
  if (u.memory_input)
    return take_record(u.text, u.pos, line, columns);
  if (u.standard_input)
    return take_standard_input_record(l.in, line, columns);
  if (!u.connected) {
    std::string name = default_unit_name(unit);
    if (l.sandbox ? l.files.count(name) == 0 : !file_exists(name))
      return READ_ERROR;
    u.connected = true;
    u.name = name;
  }
  if (l.sandbox) {
    if (u.sandbox_writing) { // switching from writing to reading starts at the beginning
      u.sandbox_writing = false;
      u.pos = 0;
    }
    return take_record(l.files[u.name], u.pos, line, columns);
  }
  if (!u.in) {
    if (u.out) { // switching from writing to reading starts at the beginning
      std::fclose(u.out);
      u.out = nullptr;
    }
    u.in = std::fopen(u.name.c_str(), "r");
    if (!u.in)
      return READ_ERROR;
  }
  return take_record(u.in, line, columns);
}

std::string unit_description(int unit) {
  const Unit &u = unit_at(unit);
  const std::string file = u.standard_output || u.standard_input ? "(standard output)" : u.name;
  if (unit == LISTING_UNIT)
    return "the listing " + file;
  if (unit == LOG_UNIT)
    return "the message log " + file;
  return "logical unit " + std::to_string(unit) + ", file " + file;
}

void keep_write_failure(int unit, const std::string &reason) {
  Layer &l = layer();
  unit_at(unit).write_failed = true;
  if (l.write_failure.empty())
    l.write_failure = unit_description(unit) + ": " + reason;
}

// Output that cannot be written ends the run: going on would compute results nobody receives
// and report success. The failure travels as RunEnd, the one exception of the system, with a
// code of its own, so that the top level flushes the other units and names the file.
[[noreturn]] void end_on_write_failure(int unit, const std::string &reason) {
  keep_write_failure(unit, reason);
  throw RunEnd{WRITE_FAILURE};
}

// The stream the unit writes to, opened (and its file created or emptied) at its first record.
std::FILE *output_stream(int unit, Unit &u) {
  if (u.standard_output || u.standard_input)
    return stdout;
  if (!u.connected) {
    u.connected = true;
    u.name = in_run_directory(default_unit_name(unit));
  }
  if (!u.out) {
    if (u.in) {
      std::fclose(u.in);
      u.in = nullptr;
    }
    const std::string clash = program_file_clash(unit, u.name);
    if (!clash.empty())
      end_on_write_failure(unit, "it is " + clash);
    u.out = std::fopen(u.name.c_str(), "w");
    if (!u.out)
      end_on_write_failure(unit, std::strerror(errno));
  }
  return u.out;
}

// How the terminal names the file of an input unit in its notes.
std::string source_of(int unit, const Unit &u) {
  if (unit == STDIN_UNIT)
    return "<stdin>";
  return u.name.empty() ? default_unit_name(unit) : u.name;
}

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

// Editors that save UTF-8 may put a byte-order mark before the first line, and tabs where the
// author meant blanks. Neither is a character of the languages: the mark is dropped and a tab
// read as one blank (one, not up to a tab stop, so that no text moves past the columns that
// are read), and the terminal says so once a run, at the first of each.
void clean_record(int unit, const Unit &u, std::string &line, std::size_t columns) {
  Layer &l = layer();
  const int record = u.records + 1;
  if (u.records == 0 && line.starts_with(BYTE_ORDER_MARK)) {
    line.erase(0, BYTE_ORDER_MARK.size());
    if (!l.told_mark) {
      l.told_mark = true;
      terminal(source_of(unit, u) + ":" + std::to_string(record) +
               ": note: the byte-order mark at the start of the file is skipped");
    }
  }
  if (line.size() > columns)
    line.resize(columns);
  for (char &c : line)
    if (c == '\t') {
      c = ' ';
      if (!l.told_tab) {
        l.told_tab = true;
        terminal(source_of(unit, u) + ":" + std::to_string(record) +
                 ": note: a tab is read as a blank (further tabs are not reported)");
      }
    }
}

} // namespace

std::string default_unit_name(int unit) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "FOR0%02d.DAT", unit % 100);
  return buf;
}

int read_record(int unit, std::string &line, std::size_t columns) {
  line.clear();
  if (!valid(unit))
    return READ_ERROR;
  interruption_point();
  Unit &u = unit_at(unit);
  if (u.read_failed)
    return READ_ERROR;
  // The first record may carry a byte-order mark in front of its columns.
  const std::size_t wanted = u.records == 0 ? columns + BYTE_ORDER_MARK.size() : columns;
  const int status = read_connected(unit, u, line, wanted);
  if (status == READ_OK) {
    clean_record(unit, u, line, columns);
    ++u.records;
  }
  if (status == READ_ERROR && u.connected) {
    u.read_failed = true;
    line.clear();
  }
  return status;
}

void write_record(int unit, std::string_view text) {
  // A stop signal ends the run here, between two records: the last one is whole.
  if (unit != TERMINAL)
    interruption_point();
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ')
    --n;
  text = text.substr(0, n);
  if (std::string *buf = capture_buffer(unit)) {
    buf->append(text);
    buf->push_back('\n');
    return;
  }
  if (unit == TERMINAL) { // the last resort: a failure here has nowhere to be reported
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return;
  }
  if (!valid(unit))
    return;
  Layer &l = layer();
  Unit &u = unit_at(unit);
  // A text bound in place of an input file (in-process runs) takes no records.
  if (u.write_failed || u.memory_input)
    return;
  if (l.sandbox && !u.standard_output && !u.standard_input) {
    if (!u.connected) {
      u.connected = true;
      u.name = default_unit_name(unit);
    }
    std::string &file = l.files[u.name];
    if (!u.sandbox_writing) {
      u.sandbox_writing = true;
      file.clear();
    }
    file.append(text);
    file.push_back('\n');
    return;
  }
  std::FILE *f = output_stream(unit, u);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fputc('\n', f);
  if (std::ferror(f))
    end_on_write_failure(unit, std::strerror(errno));
}

bool open_unit(int unit, std::string_view name) {
  if (!valid(unit))
    return false;
  std::string file(name);
  while (!file.empty() && file.back() == ' ')
    file.pop_back();
  while (!file.empty() && file.front() == ' ')
    file.erase(file.begin());
  if (file.empty())
    file = default_unit_name(unit);
  Layer &l = layer();
  if (l.sandbox) {
    l.files.try_emplace(file); // status "unknown": created when missing
  } else {
    // A sequential file is a regular file or a character device; a directory can be opened for
    // reading on some systems but holds no records, and opening a FIFO could wait forever.
    struct stat st;
    if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode))
      return false;
    if (!program_file_clash(unit, file).empty())
      return false;
    // Status "unknown": the file must be readable or creatable; it is not truncated here.
    std::FILE *probe = std::fopen(file.c_str(), "a");
    if (!probe)
      probe = std::fopen(file.c_str(), "r");
    if (!probe)
      return false;
    std::fclose(probe);
  }
  Unit &u = unit_at(unit);
  close_files(u);
  reset_in_place(u);
  u.connected = true;
  u.name = file;
  return true;
}

void close_unit(int unit) {
  if (!valid(unit))
    return;
  Unit &u = unit_at(unit);
  close_files(u);
  reset_in_place(u);
}

void rewind_unit(int unit) {
  if (!valid(unit))
    return;
  Unit &u = unit_at(unit);
  u.read_failed = false;
  u.records = 0;
  if (u.memory_input || (layer().sandbox && !u.sandbox_writing))
    u.pos = 0;
  if (u.in)
    std::rewind(u.in);
}

int record_number(int unit) {
  return valid(unit) ? unit_at(unit).records : 0;
}

bool unit_connected(int unit) {
  return valid(unit) && unit_at(unit).connected;
}

std::string unit_file_name(int unit) {
  if (!valid(unit))
    return {};
  return unit_at(unit).name;
}

std::string in_run_directory(std::string_view name) {
  const std::string &dir = layer().run_directory;
  return dir.empty() ? std::string(name) : dir + "/" + std::string(name);
}

void set_run_directory(const std::string &dir) {
  Layer &l = layer();
  l.run_directory = dir;
  l.units[LOG_UNIT].name = in_run_directory(default_unit_name(LOG_UNIT));
}

void bind_program_units(const std::string &deck, const std::string &listing) {
  reset_units();
  Layer &l = layer();
  Unit &d = l.units[DECK_UNIT];
  if (deck.empty()) {
    d.memory_input = true; // no deck: unit 15 is empty
  } else {
    d.name = deck;
    l.deck = id_of_path(deck);
  }
  d.connected = true;
  Unit &s = l.units[STDIN_UNIT];
  s.connected = true;
  s.standard_input = true;
  l.standard_input = id_of_stream(stdin);
  Unit &o = l.units[LISTING_UNIT];
  o.connected = true;
  if (listing.empty()) {
    o.standard_output = true;
    l.listing = id_of_stream(stdout);
  } else {
    o.name = listing;
    l.listing = id_of_path(listing);
  }
  Unit &g = l.units[LOG_UNIT];
  g.connected = true;
  g.name = in_run_directory(default_unit_name(LOG_UNIT));
}

void bind_units_in_memory(std::string_view deck, std::string_view standard_input, UnitFiles files) {
  reset_units();
  Layer &l = layer();
  l.capture = true;
  l.sandbox = files == UnitFiles::sandbox;
  Unit &d = l.units[DECK_UNIT];
  d.connected = true;
  d.memory_input = true;
  d.text = deck;
  d.name = "deck"; // how the terminal names it
  Unit &s = l.units[STDIN_UNIT];
  s.connected = true;
  s.memory_input = true;
  s.text = standard_input;
  l.units[LISTING_UNIT].connected = true;
  l.units[LISTING_UNIT].name = "LISTING";
  l.units[LOG_UNIT].connected = true;
  l.units[LOG_UNIT].name = default_unit_name(LOG_UNIT);
}

const std::string &captured_output(int unit) {
  static const std::string none;
  const std::string *buf = capture_buffer(unit);
  return buf ? *buf : none;
}

std::map<std::string, std::string> &sandbox_files() {
  return layer().files;
}

void flush_all_units() {
  Layer &l = layer();
  for (int unit = 1; unit <= 99; ++unit) {
    Unit &u = unit_at(unit);
    if (u.out && (std::fflush(u.out) != 0 || std::ferror(u.out)))
      keep_write_failure(unit, std::strerror(errno));
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int unit = l.units[LISTING_UNIT].standard_output ? LISTING_UNIT : STDIN_UNIT;
    keep_write_failure(unit, std::strerror(errno));
  }
  std::fflush(stderr);
}

void close_all_units() {
  for (Unit &u : layer().units)
    close_files(u);
  std::fflush(stdout);
  std::fflush(stderr);
}

void end_on_output_failure(const std::string &description) {
  Layer &l = layer();
  if (l.write_failure.empty())
    l.write_failure = description;
  throw RunEnd{WRITE_FAILURE};
}

const std::string &write_failure() {
  return layer().write_failure;
}

std::string file_in_use(const std::string &path) {
  const FileId f = id_of_path(path);
  if (!f.known)
    return {};
  const std::string clash = program_file_clash(0, path);
  if (!clash.empty())
    return clash;
  for (int unit = 1; unit <= 99; ++unit) {
    const Unit &u = unit_at(unit);
    if (u.connected && !u.memory_input && !u.standard_input && !u.standard_output &&
        !u.name.empty() && same_file(f, u.out ? id_of_stream(u.out) : id_of_path(u.name)))
      return "the file of logical unit " + std::to_string(unit);
  }
  return {};
}

void protect_result_file(const std::string &path, const std::string &description) {
  const FileId f = id_of_path(path);
  if (f.known)
    layer().results.emplace_back(f, description);
}

void reset_units() {
  Layer &l = layer();
  for (Unit &u : l.units) {
    close_files(u);
    reset_in_place(u);
  }
  l.capture = false;
  l.sandbox = false;
  l.files.clear();
  l.captured_listing.clear();
  l.captured_log.clear();
  l.captured_terminal.clear();
  l.deck = l.standard_input = l.listing = FileId{};
  l.results.clear();
  l.write_failure.clear();
  l.in.pos = l.in.length = 0;
  l.in.end = l.in.failed = false;
  l.told_mark = l.told_tab = false;
}

} // namespace vorax
