// The imperfections at the start and end of a tracked pass: stream restarts and the copies kept
// between partial passes; what the tracking loop asks of them at a position.
#include "errors/imperfection_passes.h"

#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "engine/operation_data.h"
#include "errors/correctors.h"
#include "errors/field_errors.h"
#include "errors/misalignments.h"

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

bool misaligned_position(int position, int element, Displacements &at) {
  if (!mischk(position, element))
    return false;
  at = misset.current.at;
  return true;
}

bool corrected_position(int position, int element, Corset &effect) {
  if (!corchk(position, element))
    return false;
  effect = corset;
  return true;
}

namespace {

int first_misa_entry(int element) {
  for (int k = 1; k <= mis.list_count; ++k)
    if (mis.list_element(k) == element)
      return k;
  return 0;
}

int first_erro_entry(int element) {
  for (int k = 1; k <= cerr.list_count; ++k)
    if (cerr.list_element(k) == element)
      return k;
  return 0;
}

// The misalignment types mischk refuses: 1..3 for a bend, 1..4 otherwise, and type 2 (end offsets
// over the length) needs a length.
bool refused_type(int element, int type) {
  if (type < 1 || type > (inputt.kode(element) == KODE_BEND ? 3 : 4))
    return true;
  return type == 2 && lngth.ellen(element) == 0.0;
}

// Kinds whose map builders stop the run on values they cannot build: a bend of angle but no
// length, the energies of an accelerating quadrupole or cavity, the codes of a matrix.
bool map_may_refuse(int element, int entry) {
  switch (inputt.kode(element)) {
  case KODE_BEND:
    if (inputt.slot(element, slot::L) == 0.0)
      return true;
    for (int j = 1; j <= cerr.pair_count(entry); ++j)
      if (cerr.slot(j, entry) == slot::L)
        return true;
    return false;
  case KODE_QUADAC:
  case KODE_LCAVITY:
  case KODE_MATRIX:
    return true;
  default:
    return false;
  }
}

} // namespace

bool imperfections_may_stop() {
  if (mis.active) {
    if (mis.random_option < 0 || mis.random_option > 4)
      return true;
    for (int s = 1; s <= mis.selected_count; ++s) {
      const int e = mis.selected_element(s);
      const int k = first_misa_entry(e);
      if (k > 0 && e >= 1 && e <= inputt.nelm &&
          refused_type(e, truncated(mis.list_values(MISALIGNMENT_VALUES, k))))
        return true;
    }
  }
  if (cerr.active) {
    // Option 5 takes its factors from the file, which a pass may use up.
    if (cerr.random_option < 0 || cerr.random_option > 4)
      return true;
    for (int s = 1; s <= cerr.selected_count; ++s) {
      const int e = cerr.selected_element(s);
      const int k = first_erro_entry(e);
      if (k > 0 && e >= 1 && e <= inputt.nelm && map_may_refuse(e, k))
        return true;
    }
  }
  return false;
}

} // namespace vorax
