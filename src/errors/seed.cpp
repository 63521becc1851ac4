// SEED: the master seed of the run, read from the operation data, and the tables filled from it.
#include "errors/seed.h"

#include "common/format.h"
#include "common/random_numbers.h"
#include "common/shared_areas.h"
#include "engine/operation_data.h"

namespace vorax {

// A SEED whose data end before its value would otherwise take whatever an earlier operation
// left in the buffer: it stops as a record with too few values does.
void seed(int, int &end_flag) {
  if (input_record(end_flag, 1) < 1) {
    engine_message("   ERROR--" + fI(1, 3) + " ELEMENTS WERE NOT FOUND");
    engine_stop(273);
  }
  const std::int32_t s = seed_from_value(cintak.values(1));
  engine_message("   THE SEED SELECTED FOR THIS RUN IS :" + fI(s, 12));
  fill_random_tables(s);
}

} // namespace vorax
