// The cells and lines of TFS tables.
#include "common/tfs_format.h"

#include <cmath>
#include <cstdio>

namespace vorax {

namespace {

constexpr std::size_t HEADER_NAME = 16;
constexpr std::size_t HEADER_FORMAT = 4;
constexpr std::size_t CELL = 24;

std::string padded(std::string_view text, std::size_t width) {
  std::string s(text);
  if (s.size() < width)
    s.append(width - s.size(), ' ');
  return s;
}

} // namespace

std::string_view tfs_format(TfsType type) {
  switch (type) {
  case TfsType::text:
    return "%s";
  case TfsType::integer:
    return "%d";
  default:
    return "%le";
  }
}

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

std::string tfs_header_line(std::string_view name, std::string_view format,
                            std::string_view value) {
  std::string line = "@ " + padded(name, HEADER_NAME) + " " + padded(format, HEADER_FORMAT);
  line += value;
  line += '\n';
  return line;
}

std::string tfs_cell(std::string_view formatted) {
  std::string s = " ";
  if (formatted.size() < CELL)
    s.append(CELL - formatted.size(), ' ');
  s += formatted;
  return s;
}

} // namespace vorax
