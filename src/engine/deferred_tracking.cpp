// Data readers of the tracking operations not yet computed: girder blocks (BLOC), the tracked
// matrix (RMAT), radiation (SYNC), momentum offsets (SPAC), ground motion (SEIS) and slow parameter
// changes (ADIA).
#include "engine/deferred_data.h"

#include "common/format.h"
#include "engine/operation_data.h"

#include <array>

namespace vorax {

namespace {

constexpr int MAX_ADIA_POINTS = 99; // (turn, value) points of one slow change of type 3

} // namespace

// BLOC: the block option and the random option; then per block its start and end element
// names and a record of exactly 7 displacements, up to a name beginning with "99".
void read_bloc_data(int &end_flag, const RecordSink &sink) {
  DataRecord options("OPTIONS");
  if (!read_data_values(end_flag, 2, options))
    return;
  give(sink, options);
  read_name_list(end_flag, [&](const std::string &start) {
    DataRecord block("BLOCK", start);
    if (read_data_name(end_flag, block.second_name) && read_data_values(end_flag, 7, block))
      give(sink, block);
  });
}

// RMAT: a single record of any length: reference vector, displacements, options, intervals
// and the values of the coupled-motion analysis, all told apart by position in the record.
void read_rmat_data(int &end_flag, const RecordSink &sink) {
  DataRecord record("RECORD");
  if (read_data_values(end_flag, -1, record))
    give(sink, record);
}

// SYNC: a record of exactly 3 values: energy, radiation option, distribution option.
void read_sync_data(int &end_flag, const RecordSink &sink) {
  DataRecord record("SETTINGS");
  if (read_data_values(end_flag, 3, record))
    give(sink, record);
}

// SPAC: one record of any length: count, a, b1, b2.
void read_spac_data(int &end_flag, const RecordSink &sink) {
  DataRecord record("SETTINGS");
  if (read_data_values(end_flag, -1, record))
    give(sink, record);
}

// SEIS: exactly 6 values (wavelength, amplitude, phase in x, then in y), then the names of the
// first and the last element of the range.
void read_seis_data(int &end_flag, const RecordSink &sink) {
  DataRecord waves("WAVES");
  if (!read_data_values(end_flag, 6, waves))
    return;
  give(sink, waves);
  DataRecord range("RANGE");
  if (read_data_name(end_flag, range.name) && read_data_name(end_flag, range.second_name))
    give(sink, range);
}

// ADIA: per slow change an element name; a record of the parameter name and the type; then
// 4 values for type 1, 6 for type 2, and for type 3 a point count m and 2m values. Up to a name
// beginning with "99". Other types have no values of their own (they are refused when the
// change is applied).
void read_adia_data(int &end_flag, const RecordSink &sink) {
  read_name_list(end_flag, [&](const std::string &element) {
    DataRecord change("CHANGE", element);
    if (!read_data_name(end_flag, change.second_name) || !read_data_values(end_flag, 1, change))
      return;
    const int type = truncated(change.value(1));
    give(sink, change);
    DataRecord values("VALUES", element, change.second_name);
    if (type == 1 || type == 2) {
      if (read_data_values(end_flag, type == 1 ? 4 : 6, values))
        give(sink, values);
      return;
    }
    if (type != 3)
      return;
    DataRecord count("COUNT");
    if (!read_data_values(end_flag, 1, count))
      return;
    const int points = truncated(count.value(1));
    if (points > MAX_ADIA_POINTS) {
      engine_message(" too many parameters in the adiabatic option 3 .");
      engine_message("  Maximum is : " + fI(MAX_ADIA_POINTS, 5));
      engine_stop(13);
    }
    std::array<double, 2 * MAX_ADIA_POINTS> pairs{};
    values.role = "POINTS";
    if (read_data_values(end_flag, points > 0 ? 2 * points : 0, values, pairs.data(),
                         static_cast<int>(pairs.size())))
      give(sink, values);
  });
}

} // namespace vorax
