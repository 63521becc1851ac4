// The TFS table writer.
#include "output/tfs.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vorax {

namespace {

constexpr std::size_t HEADER_NAME = 16;
constexpr std::size_t CELL = 24;

std::string padded(std::string_view text, std::size_t width) {
  std::string s(text);
  if (s.size() < width)
    s.append(width - s.size(), ' ');
  return s;
}

std::string right(std::string_view text, std::size_t width) {
  std::string s;
  if (text.size() < width)
    s.append(width - text.size(), ' ');
  s += text;
  return s;
}

std::string header_line(std::string_view name, std::string_view format, const std::string &value) {
  return "@ " + padded(name, HEADER_NAME) + " " + padded(format, 4) + value + "\n";
}

std::string_view format_of(TfsType type) {
  switch (type) {
  case TfsType::text:
    return "%s";
  case TfsType::integer:
    return "%d";
  default:
    return "%le";
  }
}

} // namespace

std::string tfs_real(double value) {
  if (std::isnan(value))
    return "nan";
  if (std::isinf(value))
    return value > 0 ? "inf" : "-inf";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.16e", value);
  return buf;
}

std::string tfs_text(std::string_view value) {
  std::string s = "\"";
  for (char c : value)
    s.push_back(c == '"' ? '\'' : c);
  while (s.size() > 1 && s.back() == ' ')
    s.pop_back();
  s.push_back('"');
  return s;
}

TfsHeader &TfsHeader::text(std::string_view name, std::string_view value) {
  lines_ += header_line(name, "%s", tfs_text(value));
  return *this;
}

TfsHeader &TfsHeader::integer(std::string_view name, long long value) {
  lines_ += header_line(name, "%d", std::to_string(value));
  return *this;
}

TfsHeader &TfsHeader::real(std::string_view name, double value) {
  lines_ += header_line(name, "%le", tfs_real(value));
  return *this;
}

// The two values have the same length (the shorter padded outside its quotes), so that one
// can be written over the other.
constexpr std::string_view STATUS_INCOMPLETE = "\"INCOMPLETE\"";
constexpr std::string_view STATUS_COMPLETE = "\"COMPLETE\"  ";
static_assert(STATUS_INCOMPLETE.size() == STATUS_COMPLETE.size());

TfsWriter::TfsWriter(const std::string &path, const TfsHeader &header,
                     std::span<const TfsColumn> columns)
    : path_(path), file_(path, "table"), columns_(columns.begin(), columns.end()) {
  std::string names = "*", formats = "$";
  for (const TfsColumn &c : columns_) {
    names += " " + right(c.name, CELL);
    formats += " " + right(format_of(c.type), CELL);
  }
  const std::string status = header_line("STATUS", "%s", std::string(STATUS_INCOMPLETE));
  status_at_ = static_cast<long>(header.lines().size() + status.size()) - 1 -
               static_cast<long>(STATUS_INCOMPLETE.size());
  put(header.lines() + status + names + "\n" + formats + "\n");
}

TfsWriter::~TfsWriter() noexcept(false) {
  close();
}

void TfsWriter::close() {
  if (!file_.open())
    return;
  const bool complete = results_complete();
  if (complete)
    file_.rewrite(status_at_, STATUS_COMPLETE);
  file_.commit(!complete);
}

void TfsWriter::put(const std::string &text) {
  file_.write(text);
}

void TfsWriter::cell(TfsType type, const std::string &formatted) {
  // A row that does not follow its columns is a fault of the caller, never of the data.
  if (cells_ >= columns_.size() || columns_[cells_].type != type) {
    std::fprintf(stderr, "vorax: table %s: cell %zu does not fit its column\n", path_.c_str(),
                 cells_ + 1);
    std::abort();
  }
  row_ += " " + right(formatted, CELL);
  ++cells_;
}

TfsWriter &TfsWriter::text(std::string_view value) {
  cell(TfsType::text, tfs_text(value));
  return *this;
}

TfsWriter &TfsWriter::integer(long long value) {
  cell(TfsType::integer, std::to_string(value));
  return *this;
}

TfsWriter &TfsWriter::real(double value) {
  cell(TfsType::real, tfs_real(value));
  return *this;
}

void TfsWriter::end_row() {
  if (cells_ != columns_.size()) {
    std::fprintf(stderr, "vorax: table %s: a row of %zu cells for %zu columns\n", path_.c_str(),
                 cells_, columns_.size());
    std::abort();
  }
  put(row_ + "\n");
  row_.clear();
  cells_ = 0;
}

} // namespace vorax
