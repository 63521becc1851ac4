// Data reader of the output operation not yet computed: the COSY script.
#include "engine/deferred_data.h"

namespace vorax {

// COSY has no data: it writes its script and ends the run, so nothing after it is read.
void read_cosy_data(int &, const RecordSink &) {}

} // namespace vorax
