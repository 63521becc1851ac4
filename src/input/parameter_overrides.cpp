// The parameter values a run is given on its command line (--set), put in place of the deck's
// own definitions each time the parameters are ordered and evaluated.
#include "common/table.h"
#include "common/halt.h"
#include "common/run_identity.h"
#include "common/units.h"
#include "input/parameters.h"
#include "input/reader.h"

namespace vorax {

namespace {

int named_parameter(const std::string &name) {
  const Name8 wanted(name);
  for (int i = 1; i <= pardat.low_count; ++i)
    if (parnam.name(i) == wanted)
      return i;
  return 0;
}

} // namespace

// An override replaces the deck's definition wherever it stands, before or after the uses and
// also when the deck redefines the parameter between two conversions: every element and
// expression using it sees the value given. A name the deck has not defined by its first
// conversion is most likely mistyped; a run that went on would silently be another study than
// the one asked for, so it ends here, before the engine computes anything.
void apply_parameter_overrides() {
  if (runid.overrides.empty())
    return;
  for (const ParameterOverride &o : runid.overrides) {
    const int node = named_parameter(o.name);
    if (node == 0 || pardat.kind(node) < PAR_CONSTANT) {
      terminal("vorax: --set " + o.name + "=" + o.text + ": the deck defines no parameter " +
               o.name + " before it converts its lattice (VORAX); nothing is computed");
      throw RunEnd{COMMAND_LINE_REFUSED};
    }
  }
  for (const ParameterOverride &o : runid.overrides) {
    const int node = named_parameter(o.name);
    pardat.kind(node) = PAR_CONSTANT;
    pardat.left(node) = 0;
    pardat.right(node) = 0;
    parval.value(node) = o.value;
    if (!runid.overrides_noted)
      log_record("0** NOTE ** PARAMETER " + Name8(o.name).str() + " IS SET TO " + o.text +
                 " BY THE COMMAND LINE; THE DECK'S DEFINITION IS NOT USED");
  }
  runid.overrides_noted = true;
}

} // namespace vorax
