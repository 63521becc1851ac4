// The result tables that operations below the table writer fill (REFE, ALIG, CORR, SHOC, SHOM,
// RMAT, TRAC's losses) and those above it (MOVE, GENE, BEAM), written as TFS tables.
#pragma once

#include "common/result_table.h"

namespace vorax {

// Writes the table as NAME_N.tfs (one per call of its operation) into the tables directory.
void write_table_of_results(const ResultTable &table);

} // namespace vorax
