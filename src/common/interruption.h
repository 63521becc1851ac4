// Stopping a run from outside: SIGINT, SIGTERM and SIGHUP end the run at a whole record. The
// handler only notes the signal; the run looks at the note where it can stop cleanly (between
// records, at each position of tracking) and ends there through RunEnd.
#pragma once

#include "common/reset.h"

#include <atomic>
#include <string>
#include <string_view>

namespace vorax {

// The code RunEnd carries when a stop signal ends the run (beside WRITE_FAILURE); the exit
// status is then 128 + the signal number, as the shells report a process the signal ended.
inline constexpr int INTERRUPTED = -2;

// The stop signal that has arrived (0: none) and where the run stood: the operation in progress
// and, while it tracks, the turn and the position last completed.
struct Intrpt {
  std::atomic<int> signal{0};
  std::atomic<int> ending{0}; // the run is being closed: a further signal ends it at once
  char operation[5] = {};
  int turn = 0;
  int position = 0;
};
inline Intrpt intrpt;
inline const AreaRegistration intrpt_registration{reset_area<intrpt>};

// Program start: catch the stop signals (those ignored when the program started, as under
// nohup, stay ignored).
void catch_stop_signals();

// What the handler does; also how a test asks for a stop without sending a signal. A request
// while one is pending, or while the run is being closed, ends the process at once.
void request_stop(int signal);

// Ends the run through RunEnd{INTERRUPTED} when a stop signal has arrived. Does nothing while
// the run is already ending (an exception unwinding, or the close after an interruption), so
// that the close itself can write its records.
void interruption_point();

// Where the run stands, for the report.
void note_operation(std::string_view name); // empty: no operation in progress
void note_tracking(int turn, int position); // 0, 0: not tracking

// The run is being closed after an interruption: from now on a signal ends it at once.
void begin_closing();

// "SIGINT", "SIGTERM", "SIGHUP" (or "signal N").
std::string signal_name(int signal);

} // namespace vorax
