// TFS tables, the text table format that the tools of the field read: header lines
// "@ NAME %s "text"", a "*" line of column names, a "$" line of their formats, then one line
// per row. Every table of the system is written through here.
#pragma once

#include "common/tfs_format.h"

#include "output/result_files.h"

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
  // An integer known only when the table is closed (a count of what the rows tell): the line
  // holds value until TfsWriter::update gives the final one, in a field wide enough for any.
  TfsHeader &integer_later(std::string_view name, long long value);
  const std::string &lines() const { return lines_; }
  const std::vector<std::string> &late() const { return late_; }

private:
  std::string lines_;
  std::vector<std::string> late_;
};

// The first lines every table of the program starts with: NAME (the file's stem in upper
// case), TYPE, TITLE (the run's title) and ORIGIN. The writer adds the run's identity after them.
TfsHeader program_table_header(const std::string &stem, std::string_view type);

// One table written row by row: the header and the column lines are written when it is
// created, each row as one line when it is complete. The table is written under a temporary
// name and gets its own name when it is closed (result_files.h). Its header line STATUS says
// "INCOMPLETE" until the table is closed whole, when it becomes "COMPLETE" (a fixed place in
// the header, rewritten in place: rows of any number never need to be copied). A run that ends
// meanwhile (the error stop, a stop signal) leaves a valid table of the rows written so far,
// under its name, that says INCOMPLETE.
class TfsWriter {
public:
  TfsWriter(const std::string &path, const TfsHeader &header, std::span<const TfsColumn> columns);
  // Closes the table as close() does; only a write that fails at a normal end throws.
  ~TfsWriter() noexcept(false);
  // Closes the table and gives it its name: COMPLETE, unless the run is ending early.
  void close();
  TfsWriter(const TfsWriter &) = delete;
  TfsWriter &operator=(const TfsWriter &) = delete;

  // The cells of a row, in column order, each of its column's type; end_row writes the line.
  TfsWriter &text(std::string_view value);
  TfsWriter &integer(long long value);
  TfsWriter &real(double value);
  void end_row();

  // False once a write has failed (the file is then removed) or the table is closed.
  bool writing() const { return file_.open(); }

  // The final value of a header line made by TfsHeader::integer_later.
  void update(std::string_view name, long long value);

private:
  void cell(TfsType type, const std::string &formatted);
  void put(const std::string &text);

  std::string path_;
  ResultFile file_;
  long status_at_ = 0;                              // where the STATUS value stands in the file
  std::vector<std::pair<std::string, long>> later_; // header lines updated at the end
  std::vector<TfsColumn> columns_;
  std::string row_;
  std::size_t cells_ = 0;
};

} // namespace vorax
