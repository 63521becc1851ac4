// Reading TFS tables back for the result collector: the header, the columns and the rows of
// one table as the text it holds, and why a table cannot be used when it cannot.
#pragma once

#include "common/tfs_format.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorax::collect {

// One header line: its value as written, texts without their quotes.
struct TfsEntry {
  std::string name;
  std::string format;
  std::string value;
  TfsType type = TfsType::text;
};

struct TfsTable {
  std::vector<TfsEntry> header;
  std::vector<std::string> columns;
  std::vector<std::string> formats;
  std::vector<TfsType> types;
  // The cells of every row, row after row, as written (texts in their quotes); they point into
  // the file's text, which the table keeps.
  std::vector<std::string_view> cells;
  std::size_t rows = 0;
  std::unique_ptr<std::string> text;

  const TfsEntry *find(std::string_view name) const;
  std::string_view cell(std::size_t row, std::size_t column) const {
    return cells[row * columns.size() + column];
  }
};

// What a table was found to be. A table cut short (empty, its last line without an end, no
// column lines) or marked by an INCOMPLETE header line is incomplete: the run that wrote it
// did not finish it. One that breaks the format elsewhere is malformed.
enum class TableState { usable, missing, incomplete, malformed };

struct ReadTable {
  TableState state = TableState::usable;
  std::string why; // for any state but usable
  TfsTable table;
};

// The type a format word stands for: %s text, a %...d integer, any other a real.
TfsType type_of_format(std::string_view format);

ReadTable parse_table(std::string text);
ReadTable read_table(const std::string &path);

// A number cell or header value as the double it stands for.
double number_of(std::string_view text);

} // namespace vorax::collect
