// The unit and record layer: logical units on files, standard streams and, for tests, memory.
#include "common/units.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace vorax {

namespace {

struct Unit {
  bool connected = false;
  std::string name;          // file behind the unit
  std::FILE *in = nullptr;   // open for reading
  std::FILE *out = nullptr;  // open for writing
  bool standard_input = false;
  bool standard_output = false;
  bool memory_input = false; // reads `text` from `pos`
  std::string text;
  std::size_t pos = 0;
};

struct Layer {
  std::array<Unit, 100> units;
  bool capture = false;
  std::string captured_listing, captured_log, captured_terminal;
};

Layer &layer() {
  static Layer l;
  return l;
}

bool valid(int unit) { return unit >= 1 && unit <= 99; }

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

// One line from a stream, without its end; false at end of file with nothing read.
int read_line(std::FILE *f, std::string &line) {
  line.clear();
  int ch;
  bool any = false;
  while ((ch = std::fgetc(f)) != EOF) {
    any = true;
    if (ch == '\n')
      break;
    line.push_back(static_cast<char>(ch));
  }
  if (std::ferror(f))
    return READ_ERROR;
  if (!any)
    return READ_EOF;
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  return READ_OK;
}

} // namespace

std::string default_unit_name(int unit) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "FOR0%02d.DAT", unit % 100);
  return buf;
}

int read_record(int unit, std::string &line) {
  line.clear();
  if (!valid(unit))
    return READ_ERROR;
  Unit &u = layer().units[static_cast<std::size_t>(unit)];
  if (u.memory_input) {
    if (u.pos >= u.text.size())
      return READ_EOF;
    std::size_t end = u.text.find('\n', u.pos);
    if (end == std::string::npos)
      end = u.text.size();
    line.assign(u.text, u.pos, end - u.pos);
    u.pos = end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    return READ_OK;
  }
  if (u.standard_input)
    return read_line(stdin, line);
  if (!u.connected) {
    std::string name = default_unit_name(unit);
    if (!file_exists(name))
      return READ_ERROR;
    u.connected = true;
    u.name = name;
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
  return read_line(u.in, line);
}

void write_record(int unit, std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ')
    --n;
  text = text.substr(0, n);
  if (std::string *buf = capture_buffer(unit)) {
    buf->append(text);
    buf->push_back('\n');
    return;
  }
  std::FILE *f = nullptr;
  if (unit == TERMINAL) {
    f = stderr;
  } else if (valid(unit)) {
    Unit &u = layer().units[static_cast<std::size_t>(unit)];
    if (u.standard_output || u.standard_input) {
      f = stdout;
    } else {
      if (!u.connected) {
        u.connected = true;
        u.name = default_unit_name(unit);
      }
      if (!u.out) {
        if (u.in) {
          std::fclose(u.in);
          u.in = nullptr;
        }
        u.out = std::fopen(u.name.c_str(), "w");
      }
      f = u.out;
    }
  }
  if (!f)
    return; // the file could not be created: the record is lost, as on a full disk
  std::fwrite(text.data(), 1, text.size(), f);
  std::fputc('\n', f);
  if (f == stderr)
    std::fflush(f);
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
  // Status "unknown": the file must be readable or creatable; it is not truncated here.
  std::FILE *probe = std::fopen(file.c_str(), "a");
  if (!probe)
    probe = std::fopen(file.c_str(), "r");
  if (!probe)
    return false;
  std::fclose(probe);
  Unit &u = layer().units[static_cast<std::size_t>(unit)];
  close_files(u);
  u = Unit{};
  u.connected = true;
  u.name = file;
  return true;
}

void close_unit(int unit) {
  if (!valid(unit))
    return;
  Unit &u = layer().units[static_cast<std::size_t>(unit)];
  close_files(u);
  u = Unit{};
}

void rewind_unit(int unit) {
  if (!valid(unit))
    return;
  Unit &u = layer().units[static_cast<std::size_t>(unit)];
  if (u.memory_input)
    u.pos = 0;
  if (u.in)
    std::rewind(u.in);
}

bool unit_connected(int unit) {
  return valid(unit) && layer().units[static_cast<std::size_t>(unit)].connected;
}

std::string unit_file_name(int unit) {
  if (!valid(unit))
    return {};
  return layer().units[static_cast<std::size_t>(unit)].name;
}

void bind_program_units(const std::string &deck, const std::string &listing) {
  reset_units();
  Layer &l = layer();
  Unit &d = l.units[DECK_UNIT];
  if (deck.empty()) {
    d.memory_input = true; // no deck: unit 15 is empty
  } else {
    d.connected = true;
    d.name = deck;
  }
  d.connected = true;
  Unit &s = l.units[STDIN_UNIT];
  s.connected = true;
  s.standard_input = true;
  Unit &o = l.units[LISTING_UNIT];
  o.connected = true;
  if (listing.empty())
    o.standard_output = true;
  else
    o.name = listing;
  Unit &g = l.units[LOG_UNIT];
  g.connected = true;
  g.name = default_unit_name(LOG_UNIT);
}

void bind_units_in_memory(std::string_view deck, std::string_view standard_input) {
  reset_units();
  Layer &l = layer();
  l.capture = true;
  Unit &d = l.units[DECK_UNIT];
  d.connected = true;
  d.memory_input = true;
  d.text = deck;
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

void flush_all_units() {
  for (Unit &u : layer().units)
    if (u.out)
      std::fflush(u.out);
  std::fflush(stdout);
  std::fflush(stderr);
}

void close_all_units() {
  for (Unit &u : layer().units)
    close_files(u);
  std::fflush(stdout);
  std::fflush(stderr);
}

void reset_units() {
  Layer &l = layer();
  for (Unit &u : l.units) {
    close_files(u);
    u = Unit{};
  }
  l.capture = false;
  l.captured_listing.clear();
  l.captured_log.clear();
  l.captured_terminal.clear();
}

} // namespace vorax
