// The progress of a long tracking run on the terminal: on a screen one line redrawn in place (turn,
// percent done, particles alive, time spent and left), finished with its line end; elsewhere a
// few plain lines, at most PROGRESS_LINES per operation. The tracking loop calls it once per turn
// from its serial part; the check is one comparison until something is due.
#pragma once

#include <chrono>
#include <climits>
#include <string>

namespace vorax {

inline constexpr int PROGRESS_LINES = 20;
// A run shows plain progress lines only when it is long: this many particle-element passes.
inline constexpr long long PROGRESS_MIN_PASSES = 1000000;

// When the screen line is first drawn and how often it is redrawn (seconds). A setting of the
// program, not of a run: a test that draws at once keeps it across the runs it starts.
struct ProgressTiming {
  double first_draw = 0.5;
  double redraw = 0.1;
};
ProgressTiming &progress_timing();

class TrackingProgress {
public:
  // A run of the operation in progress from turn `from` to turn `to`, with `particles` alive over
  // `positions` positions. `shown` false: the run tells nothing (searches that track quietly).
  void begin(bool shown, long long from, long long to, int particles, int positions);
  // The turns up to `turn` are done; `alive` particles go on.
  void turn(long long turn, int alive) {
    if (turn >= next_turn_)
      due(turn, alive);
  }
  // The run has ended there: a screen line drawn is drawn a last time and gets its line end.
  void finish(long long turn, int alive);
  // Also when the run ends through the error stop: the next line starts on a line of its own.
  ~TrackingProgress();

private:
  using Clock = std::chrono::steady_clock;
  void due(long long turn, int alive);
  std::string text(long long turn, int alive, bool times) const;
  double seconds() const;

  bool screen_ = false;
  long long from_ = 0, to_ = 0;
  int particles_ = 0;
  long long next_turn_ = LLONG_MAX; // the first turn at which due() looks again
  long long stride_ = 1;            // on a screen, turns between looks at the clock
  long long next_step_ = 0;         // elsewhere, the twentieth of the run next told
  double next_draw_ = 0.0;          // on a screen, when the line is next drawn
  bool drawn_ = false;
  Clock::time_point start_{};
  double last_look_ = 0.0;
};

} // namespace vorax
