// The stop signals: the handler notes the signal, the run ends at its next interruption point.
#include "common/interruption.h"

#include "common/halt.h"

#include <csignal>
#include <cstring>
#include <exception>

namespace vorax {

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free words");

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void on_stop_signal(int signal) {
  request_stop(signal);
}

} // namespace

void catch_stop_signals() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = on_stop_signal;
  // Restarted system calls: a write to a pipe or a terminal is finished, not cut short by the
  // signal. The standard input, which can wait for ever, is read with its own wake-ups.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int s : STOP_SIGNALS)
    sigaddset(&action.sa_mask, s);
  for (int s : STOP_SIGNALS) {
    struct sigaction previous;
    if (::sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
      continue;
    ::sigaction(s, &action, nullptr);
  }
}

// Async-signal-safe: lock-free atomics, signal and raise only.
void request_stop(int signal) {
  if (intrpt.signal.load() != 0 || intrpt.ending.load() != 0) {
    // The user insists, or the close itself hangs (a full pipe): the default action now.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  intrpt.signal.store(signal);
}

void interruption_point() {
  if (intrpt.signal.load() == 0 || intrpt.ending.load() != 0 || std::uncaught_exceptions() > 0)
    return;
  throw RunEnd{INTERRUPTED};
}

void note_operation(std::string_view name) {
  std::memset(intrpt.operation, 0, sizeof intrpt.operation);
  name.copy(intrpt.operation, sizeof intrpt.operation - 1);
  intrpt.turn = 0;
  intrpt.position = 0;
}

void note_tracking(int turn, int position) {
  intrpt.turn = turn;
  intrpt.position = position;
}

void begin_closing() {
  intrpt.ending.store(1);
}

std::string signal_name(int signal) {
  switch (signal) {
  case SIGINT:
    return "SIGINT";
  case SIGTERM:
    return "SIGTERM";
  case SIGHUP:
    return "SIGHUP";
  default:
    return "signal " + std::to_string(signal);
  }
}

} // namespace vorax
