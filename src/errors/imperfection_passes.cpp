// The imperfections at the start and end of a tracked pass: stream restarts and the copies kept
// between partial passes.
#include "errors/imperfection_passes.h"

#include "common/shared_areas.h"
#include "errors/field_errors.h"

namespace vorax {

void restart_stream(RandomStream &stream) {
  if (stream.mode == 0) {
    stream.index = cseeds.master_seed;
  } else {
    stream.index = 1;
    stream.mode = 1;
  }
}

void restart_imperfections(bool partial) {
  if (partial) {
    cseeds.misalignment = cseeds.saved_misalignment;
    cseeds.field_error = cseeds.saved_field_error;
    errsrt.next = errsrt.saved_next;
    return;
  }
  restart_stream(cseeds.misalignment);
  restart_stream(cseeds.field_error);
  errsrt.next = 1;
}

void end_imperfection_pass(bool partial) {
  if (partial) {
    cseeds.saved_misalignment = cseeds.misalignment;
    cseeds.saved_field_error = cseeds.field_error;
    errsrt.saved_next = errsrt.next;
    return;
  }
  if (linsav.saved) {
    for (int p = 1; p <= mat.npos; ++p)
      lincav.ereal(p) = linsav.ereal(p);
    linsav.saved = false;
  }
}

} // namespace vorax
