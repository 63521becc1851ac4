// Data readers of the misalignment and field-error operations: the lists (MISA, ERRO), the
// selections (SETM, SETE) and the reports (SHOM, SHOE). The operations hand a sink to them.
#include "engine/deferred_data.h"

#include "engine/operation_data.h"

namespace vorax {

namespace {

constexpr int MISALIGNMENT_VALUES = 8; // m1..m8 of one misaligned element

// SETM and SETE: the random option and the number n of selected elements; per element its
// name, its range count m and, for m above 0, the m (first, last) position pairs. A count of
// 0 (every position) or -1 (none) has no pairs, and neither has a count below -1.
void read_selection(int &end_flag, const RecordSink &sink) {
  DataRecord options("OPTIONS");
  if (!read_data_values(end_flag, 2, options))
    return;
  give(sink, options);
  const int selected = truncated(options.value(2));
  for (int i = 1; i <= selected; ++i) {
    DataRecord element("ELEMENT");
    if (!read_data_name(end_flag, element.name) || !read_data_values(end_flag, 1, element))
      return;
    const int ranges = truncated(element.value(1));
    give(sink, element);
    if (ranges <= 0)
      continue;
    DataRecord pairs("RANGES", element.name);
    if (!read_data_values(end_flag, pair_values(ranges), pairs))
      return;
    give(sink, pairs);
  }
}

} // namespace

// MISA: per element its name and one record of up to 8 values, up to a name beginning with
// "99".
void read_misa_data(int &end_flag, const RecordSink &sink) {
  read_name_list(end_flag, [&](const std::string &element) {
    DataRecord record("ELEMENT", element);
    if (read_data_values(end_flag, -1, record, nullptr, MISALIGNMENT_VALUES))
      give(sink, record);
  });
}

// ERRO: per element its name (an ELEMENT record without values), then (parameter name, value)
// pairs up to the end of the record, a "," or ";"; the elements up to a name beginning with "99".
void read_erro_data(int &end_flag, const RecordSink &sink) {
  read_name_list(end_flag, [&](const std::string &element) {
    give(sink, DataRecord("ELEMENT", element));
    if (end_flag == 2)
      end_flag = 0; // a "," after the element's name ends that name's record, not the pairs
    while (end_flag == 0) {
      DataRecord pair("PAIR", element);
      if (!read_data_name(end_flag, pair.second_name) || end_flag != 0)
        return; // the record ended before a value
      if (!read_data_values(end_flag, 1, pair))
        return;
      give(sink, pair);
    }
  });
}

void read_setm_data(int &end_flag, const RecordSink &sink) {
  read_selection(end_flag, sink);
}

void read_sete_data(int &end_flag, const RecordSink &sink) {
  read_selection(end_flag, sink);
}

// SHOM: its option, one value (-1 saves the misalignments drawn).
void read_shom_data(int &end_flag, const RecordSink &sink) {
  DataRecord record("OPTION");
  if (read_data_values(end_flag, 1, record))
    give(sink, record);
}

// SHOE has no data, as SHOV has none: the line after it is the next operation.
void read_shoe_data(int &, const RecordSink &) {}

} // namespace vorax
