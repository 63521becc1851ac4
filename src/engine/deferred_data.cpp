// What the readers of the not yet computed operations share: names, values and records through
// the operation-data reader, and the one layout of the operations without a fixed one.
#include "engine/deferred_data.h"

#include "common/shared_areas.h"
#include "engine/operation_data.h"

#include <algorithm>

namespace vorax {

bool read_data_name(int &end_flag, std::string &name) {
  if (data_ended(end_flag))
    return false;
  int width = 8;
  int count = 0;
  input(name, width, cintak.values.data(), 0, end_flag, count, 1);
  // A ";" where the name should be ends the data with no name.
  return !(data_ended(end_flag) && name.find_first_not_of(' ') == std::string::npos);
}

bool ends_name_list(const std::string &name) {
  return name.compare(0, 2, "99") == 0;
}

bool read_data_values(int &end_flag, int count, DataRecord &record, double *buffer, int capacity) {
  if (data_ended(end_flag))
    return false;
  double *values = buffer != nullptr ? buffer : cintak.values.data();
  record.values = values;
  record.count = 0;
  if (count == 0)
    return true;
  std::string unused;
  int width = 0;
  record.count = count;
  input(unused, width, values, capacity, end_flag, record.count, 1);
  return true;
}

int pair_values(int pairs) {
  return 2 * std::min(pairs, NINPUT);
}

void give(const RecordSink &sink, const DataRecord &record) {
  if (sink)
    sink(record);
}

// The operations without a fixed layout can only be read as one record of any number of
// values, ended by "," or ";".
void read_one_record(int &end_flag, const RecordSink &sink) {
  DataRecord record("RECORD");
  if (read_data_values(end_flag, -1, record))
    give(sink, record);
}

} // namespace vorax
