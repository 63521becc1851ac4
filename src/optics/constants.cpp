// The physical and numerical constants of the engine: CONS changes them by number, SHOV shows
// them.
#include "optics/constants.h"

#include "common/control.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/operation_data.h"

#include <string>

namespace vorax {

namespace {

// Radians per degree follow pi through this factor (1/180 as stored).
constexpr double DEGREE_FRACTION = 0.005555555555555556;

void set_constant(int number, double value) {
  switch (number) {
  case 1:
    const_.pi = value;
    const_.twopi = 2.0 * value;
    const_.raddeg = value * DEGREE_FRACTION;
    break;
  case 2:
    const_.clight = value;
    // Rigidity per momentum, kG m per GeV/c, is 1e10 / c: the same scale as its default.
    const_.brho_factor = 1.0e10 / value;
    break;
  case 3:
    const_.emass = value;
    break;
  case 4:
    const_.erad = value;
    break;
  case 5:
    const_.echarge = value;
    break;
  case 6:
    condef.dpp_ref = value;
    break;
  case 7:
    const_.lsq_tolerance = value;
    break;
  case 8:
    const_.max_call_factor = truncated(value);
    break;
  case 9:
    const_.expulsion_factor = value;
    break;
  case 10:
    const_.eta_scaling = value;
    break;
  case 11:
    const_.sigma_scaling = value;
    break;
  case 12:
    const_.particle_kind = truncated(value);
    break;
  default:
    engine_message("  ERROR IN THE CONSTANT ORDER NUMBER " + fI(number, 5));
    halt(230);
  }
}

void print_constants() {
  write_record(control.output_unit, "                 PI    = " + fF(const_.pi, 19, 16));
  write_record(control.output_unit,
               "  VELOCITY OF LIGHT    = " + fE(const_.clight, 17, 10) + " M/S ");
  write_record(control.output_unit,
               "      PARTICLE MASS    = " + fE(const_.emass, 17, 10) + " GEV ");
  write_record(control.output_unit, "    PARTICLE RADIUS    = " + fE(const_.erad, 17, 10) + " M ");
  write_record(control.output_unit,
               "    PARTICLE CHARGE    = " + fE(const_.echarge, 17, 10) + " COULOMB ");
  write_record(control.output_unit, "  REFERENCE MOMENTUM IN DP/P = " + fE(condef.dpp_ref, 15, 8));
  write_record(control.output_unit, "    LSQ TOLERANCE      = " + fE(const_.lsq_tolerance, 12, 2));
  write_record(control.output_unit, "  MAX FCT CALL FACT    = " + fI(const_.max_call_factor, 4));
  write_record(control.output_unit,
               "  PART. EXPUL. FACT    = " + fE(const_.expulsion_factor, 10, 3));
  write_record(control.output_unit, "  ETA SCALING FACTOR   = " + fE(const_.eta_scaling, 10, 3));
  write_record(control.output_unit, "  SIGMA SCALING FACTOR = " + fE(const_.sigma_scaling, 10, 3));
  write_record(control.output_unit, std::string("  THE PARTICLE IS      : ") +
                                        (const_.particle_kind == 1 ? "PROTON  " : "ELECTRON"));
}

} // namespace

void condf(int, int &end_flag) {
  const int count = input_record(end_flag);
  // Each constant number needs its value; a lone number would take a stale value.
  if (count % 2 != 0) {
    engine_message("  ERROR: CONS NEEDS PAIRS OF CONSTANT NUMBER AND VALUE, BUT" + fI(count, 4) +
                   " VALUES WERE GIVEN");
    halt(230);
    return;
  }
  for (int pair = 1; pair <= count / 2; ++pair)
    set_constant(truncated(cintak.values(2 * pair - 1)), cintak.values(2 * pair));
  write_record(control.output_unit, "     THE NEW CONSTANT VALUES ARE ");
  print_constants();
}

void shocon(int, int &) {
  print_constants();
}

} // namespace vorax
