// Data readers of the output operations not yet computed: the machine layout (LAYO), the
// drawing-record switch (CADO) and the COSY script (COSY).
#include "engine/deferred_data.h"

namespace vorax {

// LAYO: one record of at most 100 values: S0, X0, Y0, Z0, THETA0, PHI0, PSI0, the unit, the
// range count n and the 2n range bounds.
void read_layo_data(int &end_flag, const RecordSink &sink) {
  DataRecord record("LAYOUT");
  if (read_data_values(end_flag, -1, record))
    give(sink, record);
}

// CADO: exactly 2 values, the drawing flag and the view. A ";" after them ends the operation
// stream as after any other operation.
void read_cado_data(int &end_flag, const RecordSink &sink) {
  DataRecord record("DRAWING");
  if (read_data_values(end_flag, 2, record))
    give(sink, record);
}

// COSY has no data: it writes its script and ends the run, so nothing after it is read.
void read_cosy_data(int &, const RecordSink &) {}

} // namespace vorax
