// The processors and threads the host grants the program: the default number of tracking
// threads, and how many of them can really be started.
#pragma once

namespace vorax {

// The processors this process may run on: its affinity mask (taskset, a batch scheduler's CPU
// set), not every processor of the machine; at least 1.
int available_processors();

// How many of `wanted` threads (the program's own thread counted) can run at once; error is the
// reason the next one could not be started (0 when all were).
int threads_that_start(int wanted, int &error);

} // namespace vorax
