// Result tables of the operations, written through the TFS writer.
#include "output/result_tables.h"

#include "common/shared_areas.h"
#include "output/result_files.h"
#include "output/tfs.h"

namespace vorax {

void write_table_of_results(const ResultTable &table) {
  if (!tables_wanted())
    return;
  // A part is written beside the call's first table, under its stem.
  const auto call = resout.calls.find(table.operation());
  const std::string stem =
      table.part().empty() || call == resout.calls.end()
          ? next_result_stem(table.operation())
          : table.operation() + "_" + std::to_string(call->second) + "_" + table.part();
  TfsHeader h = program_table_header(stem, table.type());
  for (const ResultTable::Named &line : table.header()) {
    if (line.cell.type == TfsType::text)
      h.text(line.name, line.cell.text);
    else if (line.cell.type == TfsType::integer)
      h.integer(line.name, static_cast<long long>(line.cell.value));
    else
      h.real(line.name, line.cell.value);
  }
  std::vector<TfsColumn> columns;
  for (const ResultTable::Named &c : table.columns())
    columns.push_back({c.name, c.cell.type});
  TfsWriter writer(table_path(stem), h, columns);
  std::size_t in_row = 0;
  for (const ResultCell &cell : table.cells()) {
    if (cell.type == TfsType::text)
      writer.text(cell.text);
    else if (cell.type == TfsType::integer)
      writer.integer(static_cast<long long>(cell.value));
    else
      writer.real(cell.value);
    if (++in_row == columns.size()) {
      writer.end_row();
      in_row = 0;
    }
  }
  writer.close();
}

} // namespace vorax
