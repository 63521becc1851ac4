// SEED: the master seed of the run, read from the operation data, and the tables filled from it.
#include "errors/seed.h"

#include "common/format.h"
#include "common/random_numbers.h"
#include "common/run_identity.h"
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
  // With --seed the run's seed is mixed into the deck's: a deck's SEED still chooses among
  // streams, and every run seed gives each deck seed a stream of its own. SEED 0 then takes no
  // clock value, so that the run is repeated by its command line alone.
  const double value = cintak.values(1);
  const std::int32_t s = !runid.seeded  ? seed_from_value(value)
                         : value == 0.0 ? mixed_seed(0, runid.seed)
                                        : mixed_seed(seed_from_value(value), runid.seed);
  engine_message("   THE SEED SELECTED FOR THIS RUN IS :" + fI(s, 12));
  fill_random_tables(s);
}

} // namespace vorax
