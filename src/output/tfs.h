// TFS tables, the text table format that the tools of the field read: header lines
// "@ NAME %s "text"", a "*" line of column names, a "$" line of their formats, then one line
// per row. Every table of the system is written through here.
#pragma once

#include "common/tfs_format.h"

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorax {

struct TfsColumn {
  std::string_view name;
  TfsType type = TfsType::real;
};

// The header lines of a table, in the order given. Texts are written in double quotes; a
// double quote inside a text becomes an apostrophe, so that the line stays readable.
class TfsHeader {
public:
  TfsHeader &text(std::string_view name, std::string_view value);
  TfsHeader &integer(std::string_view name, long long value);
  TfsHeader &real(std::string_view name, double value);
  const std::string &lines() const { return lines_; }

private:
  std::string lines_;
};

// One table written row by row: the header and the column lines are written when it is
// created, each row as one line when it is complete. A run that ends meanwhile (the error
// stop unwinds through the writer) leaves a valid table of the rows written so far.
class TfsWriter {
public:
  TfsWriter(const std::string &path, const TfsHeader &header, std::span<const TfsColumn> columns);
  ~TfsWriter();
  TfsWriter(const TfsWriter &) = delete;
  TfsWriter &operator=(const TfsWriter &) = delete;

  // The cells of a row, in column order, each of its column's type; end_row writes the line.
  TfsWriter &text(std::string_view value);
  TfsWriter &integer(long long value);
  TfsWriter &real(double value);
  void end_row();

private:
  void cell(TfsType type, const std::string &formatted);
  void put(const std::string &text);

  std::string path_;
  std::FILE *file_ = nullptr;
  std::vector<TfsColumn> columns_;
  std::string row_;
  std::size_t cells_ = 0;
};

} // namespace vorax
