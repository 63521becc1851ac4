// The TFS table writer.
#include "output/tfs.h"

#include "common/units.h"

#include <cerrno>
#include <cmath>
#include <cstring>

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

TfsWriter::TfsWriter(const std::string &path, const TfsHeader &header,
                     std::span<const TfsColumn> columns)
    : path_(path), columns_(columns.begin(), columns.end()) {
  file_ = std::fopen(path.c_str(), "w");
  if (!file_)
    end_on_output_failure("the table " + path + ": " + std::strerror(errno));
  std::string names = "*", formats = "$";
  for (const TfsColumn &c : columns_) {
    names += " " + right(c.name, CELL);
    formats += " " + right(format_of(c.type), CELL);
  }
  put(header.lines() + names + "\n" + formats + "\n");
}

TfsWriter::~TfsWriter() {
  if (file_)
    std::fclose(file_);
}

void TfsWriter::put(const std::string &text) {
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::ferror(file_)) {
    const int error = errno;
    std::fclose(file_);
    file_ = nullptr;
    end_on_output_failure("the table " + path_ + ": " + std::strerror(error));
  }
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
