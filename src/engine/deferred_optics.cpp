// Data readers of the optics operations not yet computed: lattice functions by tracking (MOVE),
// parameter changes (MODI, TUNE) and beam generation (GENE).
#include "engine/deferred_data.h"

#include "engine/operation_data.h"

namespace vorax {

// MOVE: twelve settings, of which the fifth gives the number of momentum deviations; the
// deviations; then the plot switch, four plot limits and two plot options. An energy count
// above what the analysis takes is still read through, so that the stream stays in step.
void read_move_data(int &end_flag, const RecordSink &sink) {
  DataRecord settings("SETTINGS");
  if (!read_data_values(end_flag, 12, settings))
    return;
  give(sink, settings);
  const int energies = truncated(settings.value(5) + 0.01);
  if (energies > 0) {
    DataRecord deviations("DEVIATIONS");
    if (!read_data_values(end_flag, energies, deviations))
      return;
    give(sink, deviations);
  }
  DataRecord plot("PLOT");
  if (read_data_values(end_flag, 7, plot))
    give(sink, plot);
}

// MODI: a count, then per change an element name, a parameter name and the new value.
void read_modi_data(int &end_flag, const RecordSink &sink) {
  DataRecord count("COUNT");
  if (!read_data_values(end_flag, 1, count))
    return;
  const int changes = truncated(count.value(1));
  for (int i = 1; i <= changes; ++i) {
    DataRecord change("CHANGE");
    if (!read_data_name(end_flag, change.name) || !read_data_name(end_flag, change.second_name) ||
        !read_data_values(end_flag, 1, change))
      return;
    give(sink, change);
  }
}

// TUNE: one value the adjustment does not use, the element and parameter names, then the
// requested tune and the coefficient.
void read_tune_data(int &end_flag, const RecordSink &sink) {
  DataRecord first("UNUSED");
  if (!read_data_values(end_flag, 1, first))
    return;
  give(sink, first);
  DataRecord change("CHANGE");
  if (read_data_name(end_flag, change.name) && read_data_name(end_flag, change.second_name) &&
      read_data_values(end_flag, 2, change))
    give(sink, change);
}

// GENE: one record of any number of values (option, truncation limits, scale, count, centroid).
void read_gene_data(int &end_flag, const RecordSink &sink) {
  DataRecord record("GENERATION");
  if (read_data_values(end_flag, -1, record))
    give(sink, record);
}

} // namespace vorax
