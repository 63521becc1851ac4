// Reading TFS tables back for the result collector.
#include "collect/tfs_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace vorax::collect {

namespace {

bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The words of a line from `p` on: quoted texts (which may hold blanks) and bare words. False
// when a quote is left open.
bool words_of(std::string_view line, std::size_t p, std::vector<std::string_view> &out) {
  out.clear();
  while (p < line.size()) {
    if (blank(line[p])) {
      ++p;
      continue;
    }
    std::size_t q = p + 1;
    if (line[p] == '"') {
      q = line.find('"', q);
      if (q == std::string_view::npos)
        return false;
      ++q;
    } else {
      while (q < line.size() && !blank(line[q]))
        ++q;
    }
    out.push_back(line.substr(p, q - p));
    p = q;
  }
  return true;
}

bool whole_number(std::string_view s, TfsType type) {
  if (s.empty() || s.size() > 64)
    return false;
  const std::string copy(s);
  char *end = nullptr;
  errno = 0;
  if (type == TfsType::integer)
    (void)std::strtoll(copy.c_str(), &end, 10);
  else
    (void)std::strtod(copy.c_str(), &end);
  return end == copy.c_str() + copy.size() && (type != TfsType::integer || errno == 0);
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && blank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && blank(s.back()))
    s.remove_suffix(1);
  return s;
}

bool quoted(std::string_view s) {
  return s.size() >= 2 && s.front() == '"' && s.back() == '"';
}

ReadTable fault(TableState state, std::string why) {
  ReadTable r;
  r.state = state;
  r.why = std::move(why);
  return r;
}

} // namespace

TfsType type_of_format(std::string_view format) {
  if (format == "%s")
    return TfsType::text;
  if (format.size() >= 2 && format.front() == '%' && format.back() == 'd')
    return TfsType::integer;
  return TfsType::real;
}

double number_of(std::string_view text) {
  const std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

const TfsEntry *TfsTable::find(std::string_view name) const {
  for (const TfsEntry &e : header)
    if (e.name == name)
      return &e;
  return nullptr;
}

ReadTable parse_table(std::string content) {
  if (content.empty())
    return fault(TableState::incomplete, "the table is empty");
  // The writer ends every line it writes: a last line without its end was cut short.
  if (content.back() != '\n')
    return fault(TableState::incomplete, "its last line is cut short");
  ReadTable r;
  TfsTable &t = r.table;
  t.text = std::make_unique<std::string>(std::move(content));
  const std::string_view text = *t.text;
  std::vector<std::string_view> words;
  bool names_seen = false, formats_seen = false;
  std::size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    const std::size_t end = text.find('\n', start);
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    const std::string where = "line " + std::to_string(number) + ": ";
    if (!words_of(line, 0, words))
      return fault(TableState::malformed, where + "a quoted text is not closed");
    if (words.empty())
      continue;
    if (line[0] == '@') {
      // "@ NAME FORMAT VALUE": the value is the rest of the line, blanks included.
      std::size_t p = 1;
      while (p < line.size() && blank(line[p]))
        ++p;
      const std::size_t name_end = line.find_first_of(" \t", p);
      std::size_t f = name_end == std::string_view::npos ? line.size() : name_end;
      TfsEntry e;
      e.name = line.substr(p, f - p);
      // A run that was stopped marks the tables it leaves unfinished, with a value of any
      // type, possibly after the rows it managed to write.
      if (e.name == "INCOMPLETE")
        return fault(TableState::incomplete, "it is marked INCOMPLETE");
      if (names_seen)
        return fault(TableState::malformed, where + "a header line after the column names");
      while (f < line.size() && blank(line[f]))
        ++f;
      std::size_t v = f;
      while (v < line.size() && !blank(line[v]))
        ++v;
      e.format = line.substr(f, v - f);
      while (v < line.size() && blank(line[v]))
        ++v;
      std::string_view value = line.substr(v);
      while (!value.empty() && blank(value.back()))
        value.remove_suffix(1);
      if (e.name.empty() || e.format.empty() || e.format[0] != '%')
        return fault(TableState::malformed, where + "a header line is @ NAME FORMAT VALUE");
      e.type = type_of_format(e.format);
      if (e.type == TfsType::text ? !quoted(value) : !whole_number(value, e.type))
        return fault(TableState::malformed,
                     where + "the value of " + e.name + " does not fit its format " + e.format);
      e.value = e.type == TfsType::text ? value.substr(1, value.size() - 2) : value;
      // The program's own tables say whether they were closed whole: a STATUS that is not
      // COMPLETE is a run stopped during the operation that wrote it.
      if (e.name == "STATUS" && e.type == TfsType::text && trimmed(e.value) == "INCOMPLETE")
        return fault(TableState::incomplete, "its STATUS is INCOMPLETE");
      t.header.push_back(std::move(e));
    } else if (line[0] == '*') {
      if (names_seen)
        return fault(TableState::malformed, where + "a second line of column names");
      names_seen = true;
      for (std::size_t i = 1; i < words.size(); ++i)
        t.columns.emplace_back(words[i]);
      if (words[0] != "*")
        t.columns.insert(t.columns.begin(), std::string(words[0].substr(1)));
    } else if (line[0] == '$') {
      if (!names_seen || formats_seen)
        return fault(TableState::malformed, where + "the formats line is not after the names");
      formats_seen = true;
      for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view w = i == 0 ? words[0].substr(1) : words[i];
        if (!w.empty())
          t.formats.emplace_back(w);
      }
      if (t.formats.size() != t.columns.size())
        return fault(TableState::malformed, where + "formats and column names differ in number");
      for (const std::string &format : t.formats)
        t.types.push_back(type_of_format(format));
    } else {
      if (!formats_seen)
        return fault(TableState::malformed, where + "a row before the column lines");
      if (words.size() != t.columns.size())
        return fault(TableState::malformed, where + "a row of " + std::to_string(words.size()) +
                                                " cells for " + std::to_string(t.columns.size()) +
                                                " columns");
      for (std::size_t i = 0; i < words.size(); ++i)
        if (t.types[i] == TfsType::text ? !quoted(words[i]) : !whole_number(words[i], t.types[i]))
          return fault(TableState::malformed, where + "the cell of " + t.columns[i] +
                                                  " does not fit its format " + t.formats[i]);
      t.cells.insert(t.cells.end(), words.begin(), words.end());
      ++t.rows;
    }
  }
  if (!formats_seen)
    return fault(TableState::incomplete, "it has no column lines");
  return r;
}

ReadTable read_table(const std::string &path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return fault(TableState::missing, std::strerror(errno));
  if (S_ISDIR(st.st_mode))
    return fault(TableState::missing, "it is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return fault(TableState::missing, std::strerror(errno));
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad())
    return fault(TableState::missing, "it cannot be read");
  return parse_table(std::move(content).str());
}

} // namespace vorax::collect
