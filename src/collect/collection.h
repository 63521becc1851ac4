// The tables of many runs as one: their rows (or the numbers of their headers) under the
// identity columns of the run that wrote them, after checking that they are of one kind.
#pragma once

#include "collect/run_identity.h"
#include "collect/tfs_reader.h"

#include <string>
#include <vector>

namespace vorax::collect {

// rows: every row of every run's table; headers: one row per run from its numeric headers.
enum class Mode { rows, headers };

struct RunTable {
  std::string file;
  TfsTable table;
  std::vector<IdentityValue> identity;
};

struct Collection {
  Mode mode = Mode::rows;
  std::string kind_name, kind_type; // the NAME and TYPE all tables share
  std::vector<std::string> columns; // identity columns first
  std::vector<TfsType> types;
  std::size_t identity_count = 0;
  std::vector<RunTable> runs;
  std::vector<TfsEntry> shared_header; // header lines every run has alike

  std::size_t rows() const;
  // The number in a numeric column of every row, runs in their order.
  std::vector<double> values(std::size_t column) const;
  // The collected table as TFS text; left_out is the number of runs named but not used.
  std::string tfs(std::size_t left_out) const;

private:
  friend std::string collect_runs(std::vector<RunTable> runs, Mode mode, Collection &out);
  std::string_view cell(std::size_t run, std::size_t row, std::size_t column) const;

  // Per run: its identity cells, and in headers mode where in its header each column's
  // number stands.
  std::vector<std::vector<std::string>> identity_cells_;
  std::vector<std::vector<std::size_t>> header_entries_;
};

// Joins the runs' tables, the first as the pattern of the others: all must carry the same NAME
// and TYPE and the same columns (headers mode: the same numeric headers). Returns an empty
// text, or the refusal naming the file that differs.
std::string collect_runs(std::vector<RunTable> runs, Mode mode, Collection &out);

} // namespace vorax::collect
