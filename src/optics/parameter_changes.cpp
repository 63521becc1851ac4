// TUNE (one parameter moved in proportion to the distance of the horizontal tune found by the
// latest MOVE from a wanted one) and MODI (parameters set to given values), both through vary.
#include "optics/parameter_changes.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/messages.h"
#include "common/slots.h"
#include "engine/deferred_data.h"
#include "engine/engine_start.h"
#include "engine/lookup.h"
#include "maps/element_maps.h"
#include "track/closed_orbit.h"

#include <string>

namespace vorax {

namespace {

bool enters_path_length(int element, int parameter) {
  return parameter == slot::L ||
         (inputt.kode(element) == KODE_GKICK && parameter == slot::gkick::DZ);
}

} // namespace

double vary(int element, int parameter, double value, VaryMode mode) {
  double &p = inputt.slot(element, parameter);
  switch (mode) {
  case VaryMode::set:
    p = value;
    break;
  case VaryMode::add:
    p += value;
    break;
  case VaryMode::multiply:
    p *= value;
    break;
  }
  if (parameter == slot::L)
    lngth.ellen(element) = p;
  // Kinds without a stored map are composed from their data wherever they are used.
  if (blank.matrix_number(element) > 0)
    rebuild_design_map(element);
  // A GKICK's DZ lengthens the path as its L does: both update the cumulative lengths.
  if (enters_path_length(element, parameter))
    leng();
  return p;
}

void tune(int, int &end_flag) {
  read_tune_data(end_flag, [](const DataRecord &r) {
    // The first value of the operation is read and has no use in the adjustment.
    if (r.name.empty())
      return;
    const Name8 element_name(r.name);
    const int element = elid(element_name);
    const int parameter = vxpar(element, Name8(r.second_name));
    const double wanted = r.value(1), gain = r.value(2);
    // Without a MOVE there is no tune to move from; changing the parameter by the whole wanted
    // tune times the gain would be a guess, so nothing is changed.
    if (ctune.found == 0) {
      engine_message(" NO TUNE FOUND BY A MOVE OPERATION: " + std::string(element_name.trimmed()) +
                     " " + std::string(Name8(r.second_name).trimmed()) + " IS NOT CHANGED");
      return;
    }
    const double v = vary(element, parameter, (wanted - ctune.nux) * gain, VaryMode::add);
    if (control.print_level > 2)
      engine_message(" NEW VALUE OF " + std::string(Name8(r.second_name).trimmed()) + " OF " +
                     std::string(element_name.trimmed()) + " IS" + fE(v, 16, 5));
  });
}

void modpre(int, int &end_flag) {
  read_modi_data(end_flag, [](const DataRecord &r) {
    const Name8 name(r.name);
    const int element = element_named(name);
    if (element == 0) {
      engine_message(" COULDNT MATCH ELEMENT" + name.str() + " IN OPERATION 400");
      return;
    }
    vary(element, vxpar(element, Name8(r.second_name)), r.value(1), VaryMode::set);
  });
}

} // namespace vorax
