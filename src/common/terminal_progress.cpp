// The progress line of tracking runs: when it is due, what it says, where it goes.
#include "common/terminal_progress.h"

#include "common/terminal_report.h"
#include "common/units.h"

#include <algorithm>
#include <cstdio>

namespace vorax {

namespace {

// m:ss, or h:mm:ss from an hour on.
std::string clock_text(double seconds) {
  const long long s = static_cast<long long>(seconds + 0.5);
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
  return buf;
}

} // namespace

ProgressTiming &progress_timing() {
  static ProgressTiming timing;
  return timing;
}

void TrackingProgress::begin(bool shown, long long from, long long to, int particles,
                             int positions) {
  next_turn_ = LLONG_MAX;
  drawn_ = false;
  if (!shown || to <= from)
    return;
  from_ = from;
  to_ = to;
  particles_ = particles;
  start_ = Clock::now();
  screen_ = terminal_is_screen();
  if (screen_) {
    // Drawn only once the run has lasted a moment: short runs leave the screen as it was.
    stride_ = 1;
    next_turn_ = from + 1;
    next_draw_ = progress_timing().first_draw;
    last_look_ = 0.0;
    return;
  }
  // Plain lines carry no clock readings, so that two runs of a deck leave the same text; they
  // come at each twentieth of a long run.
  const double passes = static_cast<double>(to - from) * particles * positions;
  if (passes < static_cast<double>(PROGRESS_MIN_PASSES))
    return;
  next_step_ = 1;
  next_turn_ = from + (to - from + PROGRESS_LINES - 1) / PROGRESS_LINES;
}

double TrackingProgress::seconds() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

std::string TrackingProgress::text(long long turn, int alive, bool times) const {
  const std::string operation = termrep.operation[0] != '\0' ? termrep.operation : "tracking";
  const long long percent = (turn - from_) * 100 / (to_ - from_);
  std::string line = operation + ": turn " + std::to_string(turn) + " of " + std::to_string(to_) +
                     " (" + std::to_string(percent) + "%), " + std::to_string(alive) + " of " +
                     std::to_string(particles_) + " particles alive";
  if (times) {
    const double spent = seconds();
    line += ", " + clock_text(spent) + " elapsed";
    if (turn > from_)
      line +=
          ", about " +
          clock_text(spent * static_cast<double>(to_ - turn) / static_cast<double>(turn - from_)) +
          " left";
  }
  return line;
}

void TrackingProgress::due(long long turn, int alive) {
  if (screen_) {
    const double now = seconds();
    if (now >= next_draw_) {
      terminal_redraw(text(turn, alive, true));
      drawn_ = true;
      next_draw_ = now + progress_timing().redraw;
    }
    // The clock is read every few turns only, as many as pass in about a hundredth of a second.
    if (now - last_look_ < 0.005)
      stride_ = std::min<long long>(stride_ * 2, 1 << 20);
    else if (now - last_look_ > 0.02 && stride_ > 1)
      stride_ /= 2;
    last_look_ = now;
    next_turn_ = turn + stride_;
    return;
  }
  if (termrep.progress_lines >= PROGRESS_LINES) {
    next_turn_ = LLONG_MAX;
    return;
  }
  ++termrep.progress_lines;
  terminal(text(turn, alive, false));
  const long long span = to_ - from_;
  next_step_ = (turn - from_) * PROGRESS_LINES / span + 1;
  next_turn_ = next_step_ >= PROGRESS_LINES
                   ? LLONG_MAX
                   : from_ + (next_step_ * span + PROGRESS_LINES - 1) / PROGRESS_LINES;
}

void TrackingProgress::finish(long long turn, int alive) {
  if (drawn_ && screen_)
    terminal_redraw(text(turn, alive, true));
  next_turn_ = LLONG_MAX;
  if (drawn_)
    terminal_end_redraw();
  drawn_ = false;
}

TrackingProgress::~TrackingProgress() {
  if (drawn_)
    terminal_end_redraw();
}

} // namespace vorax
