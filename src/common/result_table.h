// A table of results, filled by the operation that computes them and written as a TFS table
// beside the listing by the table writer above (when the command line asks for tables). The
// folders below the writer reach it through result_table_seam.
#pragma once

#include "common/hooks.h"
#include "common/tfs_format.h"

#include <string>
#include <string_view>
#include <vector>

namespace vorax {

struct ResultCell {
  TfsType type = TfsType::real;
  std::string text;
  double value = 0.0; // integers too: every count of the program is exact in a double
};

class ResultTable {
public:
  // operation names the files (refe_1.tfs, refe_2.tfs ...), type is the table's TYPE. A part
  // names a second table of the same call: alig_1_correctors.tfs beside alig_1.tfs.
  ResultTable(std::string_view operation, std::string_view type, std::string_view part = {});

  // Header lines, in the order given, after NAME, TYPE, TITLE, ORIGIN and the run's identity.
  ResultTable &text(std::string_view name, std::string_view value);
  ResultTable &integer(std::string_view name, long long value);
  ResultTable &real(std::string_view name, double value);

  ResultTable &column(std::string_view name, TfsType type = TfsType::real);
  // The cells of a row in column order; a row ends after the cell of the last column.
  ResultTable &cell(std::string_view text);
  ResultTable &cell(int value);
  ResultTable &cell(double value);

  struct Named {
    std::string name;
    ResultCell cell;
  };
  const std::string &operation() const { return operation_; }
  const std::string &type() const { return type_; }
  const std::string &part() const { return part_; }
  const std::vector<Named> &header() const { return header_; }
  const std::vector<Named> &columns() const { return columns_; }
  const std::vector<ResultCell> &cells() const { return cells_; } // row after row

private:
  std::string operation_, type_, part_;
  std::vector<Named> header_, columns_;
  std::vector<ResultCell> cells_;
};

// What the table writer offers: whether tables are written at all (a run without them builds
// none), and the writing of one.
struct ResultTableHooks {
  bool (*wanted)() = nullptr;
  void (*write)(const ResultTable &table) = nullptr;
};
inline Seam<ResultTableHooks> result_table_seam;

inline bool result_tables_wanted() {
  const ResultTableHooks &h = result_table_seam.hooks();
  return h.wanted != nullptr && h.write != nullptr && h.wanted();
}
inline void write_result_table(const ResultTable &table) {
  if (result_tables_wanted())
    result_table_seam.hooks().write(table);
}

} // namespace vorax
