// The identity of a run in its tables: every "@ RUN_..." header line (the deck, the seed, the
// parameter overrides) becomes a value of the run, RUN_SET "NAME=VALUE ..." one value per
// overridden NAME, so that collected rows can be told apart and sorted by what made them.
#pragma once

#include "collect/tfs_reader.h"

#include <string>
#include <vector>

namespace vorax::collect {

struct IdentityValue {
  std::string name; // the column: the header's name, or SET_NAME for an override
  std::string value;
  TfsType type = TfsType::text;
};

// The identity values of a table in the order of its header; an empty text when they are
// well formed, else the fault.
std::string identity_of(const TfsTable &table, std::vector<IdentityValue> &out);

// Whether a header line is part of a run's identity (RUN_...).
bool is_identity_header(std::string_view name);

// The type a text of an override stands for: integer or real when it is the whole number,
// else text.
TfsType kind_of_value(std::string_view text);

struct IdentityColumn {
  std::string name;
  TfsType type = TfsType::text;
};

// The identity columns of many runs: FILE first, then every identity name in the order the
// runs first give it. A column is numeric when every run gives it a number (real when any is
// real), and real with nan for the runs that lack it; a text column has an empty text there.
std::vector<IdentityColumn> identity_columns(const std::vector<std::vector<IdentityValue>> &runs);

// The cells of one run for those columns (FILE given as the run's file name), formatted as a
// table writes them.
std::vector<std::string> identity_cells(const std::vector<IdentityColumn> &columns,
                                        const std::string &file,
                                        const std::vector<IdentityValue> &identity);

} // namespace vorax::collect
