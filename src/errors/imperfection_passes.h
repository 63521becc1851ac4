// The imperfections at the start and end of a tracked pass over the positions: the random
// streams restart so that every turn meets the same imperfect machine.
#pragma once

#include "common/random_numbers.h"

namespace vorax {

// A stream back to its start: the master seed in direct mode, index 1 and stride 1 in table
// mode.
void restart_stream(RandomStream &stream);

// Normal passes restart the misalignment and field-error streams and the factor counter;
// partial passes take them from the copies kept at the end of the previous partial pass.
void restart_imperfections(bool partial);
// Partial passes keep the streams and the counter for the next one. After a normal pass the
// current linac energies that cavities with errors changed are the design ones again.
void end_imperfection_pass(bool partial);

} // namespace vorax
