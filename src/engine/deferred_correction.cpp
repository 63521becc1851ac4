// Data readers of the corrector and orbit-correction operations: CORR, SETC, CHAN, READ, ALIG,
// REFE, BASE and COCO read their records through them.
#include "engine/deferred_data.h"

#include "engine/operation_data.h"

namespace vorax {

namespace {

constexpr int ALIG_SETTINGS = 23;
constexpr int COCO_SETTINGS = 5;

} // namespace

// CORR: per element its name and one record of (first, last) position pairs, up to a name
// beginning with "99".
void read_corr_data(int &end_flag, const RecordSink &sink) {
  read_name_list(end_flag, [&](const std::string &element) {
    DataRecord ranges("RANGES", element);
    if (read_data_values(end_flag, -1, ranges))
      give(sink, ranges);
  });
}

// SETC: per corrector its element name and exactly 6 values (position, type, p1..p4), up to a
// name beginning with "99".
void read_setc_data(int &end_flag, const RecordSink &sink) {
  read_name_list(end_flag, [&](const std::string &element) {
    DataRecord corrector("CORRECTOR", element);
    if (read_data_values(end_flag, 6, corrector))
      give(sink, corrector);
  });
}

// CHAN: a group count n; per group a reference element name with the amount A and the change
// count m, then m changes, each an element name with exactly 4 values (position offset, value
// number, coefficient, offset).
void read_chan_data(int &end_flag, const RecordSink &sink) {
  DataRecord count("COUNT");
  if (!read_data_values(end_flag, 1, count))
    return;
  const int groups = truncated(count.value(1));
  for (int g = 1; g <= groups; ++g) {
    DataRecord group("GROUP");
    if (!read_data_name(end_flag, group.name) || !read_data_values(end_flag, 2, group))
      return;
    const int changes = truncated(group.value(2));
    give(sink, group);
    for (int c = 1; c <= changes; ++c) {
      DataRecord change("CHANGE");
      if (!read_data_name(end_flag, change.name) || !read_data_values(end_flag, 4, change))
        return;
      give(sink, change);
    }
  }
}

// READ: one value, the reading switch (truncated); unless it is 0, the monitor name pattern
// and the names of the first and last element of the reading range.
void read_read_data(int &end_flag, const RecordSink &sink) {
  DataRecord state("SWITCH");
  if (!read_data_values(end_flag, 1, state))
    return;
  const int reading = truncated(state.value(1));
  give(sink, state);
  if (reading == 0)
    return;
  DataRecord pattern("PATTERN");
  if (!read_data_name(end_flag, pattern.name))
    return;
  give(sink, pattern);
  DataRecord range("RANGE");
  if (read_data_name(end_flag, range.name) && read_data_name(end_flag, range.second_name))
    give(sink, range);
}

// ALIG: the first record of exactly 23 values, whose last is the particle count P; P particle
// records of exactly 6 coordinates, as for TRAC; then the correctors, monitors, varied
// parameters with their coupled entries, targets and weights as entries that each begin with
// an element name followed by one record of any number of values, up to a name beginning with
// "99", the end of every list of names in operation data.
void read_alig_data(int &end_flag, const RecordSink &sink) {
  DataRecord settings("SETTINGS");
  if (!read_data_values(end_flag, ALIG_SETTINGS, settings))
    return;
  give(sink, settings);
  const int particles = truncated(settings.value(ALIG_SETTINGS));
  for (int i = 1; i <= particles; ++i) {
    DataRecord particle("PARTICLE");
    if (!read_data_values(end_flag, 6, particle))
      return;
    give(sink, particle);
  }
  read_name_list(end_flag, [&](const std::string &element) {
    DataRecord entry("ENTRY", element);
    if (read_data_values(end_flag, -1, entry))
      give(sink, entry);
  });
}

// REFE: one record of any length, its option first.
void read_refe_data(int &end_flag, const RecordSink &sink) {
  DataRecord record("RECORD");
  if (read_data_values(end_flag, -1, record))
    give(sink, record);
}

// BASE: one record of any length (options and kick amplitudes of the bumps).
void read_base_data(int &end_flag, const RecordSink &sink) {
  DataRecord record("RECORD");
  if (read_data_values(end_flag, -1, record))
    give(sink, record);
}

// COCO: one record of exactly 5 values; then entries up to a name beginning with "99": an
// element name with exactly 2 values (planes, range count n) and, for n above 0, a record of
// exactly 2n values (the position pairs).
void read_coco_data(int &end_flag, const RecordSink &sink) {
  DataRecord settings("SETTINGS");
  if (!read_data_values(end_flag, COCO_SETTINGS, settings))
    return;
  give(sink, settings);
  read_name_list(end_flag, [&](const std::string &element) {
    DataRecord entry("ENTRY", element);
    if (!read_data_values(end_flag, 2, entry))
      return;
    const int ranges = truncated(entry.value(2));
    give(sink, entry);
    DataRecord pairs("RANGES", element);
    if (ranges > 0 && read_data_values(end_flag, pair_values(ranges), pairs))
      give(sink, pairs);
  });
}

} // namespace vorax
