// The imperfections at the start and end of a tracked pass over the positions: the random
// streams restart so that every turn meets the same imperfect machine. And what the tracking
// loop asks of them at a position: the displacements of a misaligned position, the effect of a
// set corrector, and whether the pass may stop the run.
#pragma once

#include "common/random_numbers.h"
#include "track/element_frames.h"

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

// mischk and corchk with their results handed to the caller (the misalignment and corrector
// areas hold them too).
bool misaligned_position(int position, int element, Displacements &at);
bool corrected_position(int position, int element, Corset &effect);

// Whether a pass may stop the run (or print a message) at an imperfect position: a random option
// out of range, a misalignment type the element cannot take, factors of the file that may run
// out, or errors on an element whose map can refuse the changed values.
bool imperfections_may_stop();

} // namespace vorax
