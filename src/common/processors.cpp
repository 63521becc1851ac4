// Processors and threads the host grants the program.
#include "common/processors.h"

#include <algorithm>
#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <vector>

namespace vorax {

namespace {

// Threads started here together, each waiting at the gate until it opens.
struct Gate {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t opened = PTHREAD_COND_INITIALIZER;
  bool open = false;
};

extern "C" void *wait_at_gate(void *argument) {
  Gate &g = *static_cast<Gate *>(argument);
  pthread_mutex_lock(&g.lock);
  while (!g.open)
    pthread_cond_wait(&g.opened, &g.lock);
  pthread_mutex_unlock(&g.lock);
  return nullptr;
}

} // namespace

// The processors this process may run on: its affinity mask (taskset, a batch scheduler's CPU
// set), not every processor of the machine.
int available_processors() {
  for (int size = 1024; size <= 1 << 16; size *= 2) {
    cpu_set_t *set = CPU_ALLOC(size);
    if (!set)
      break;
    const std::size_t bytes = CPU_ALLOC_SIZE(size);
    const bool known = ::sched_getaffinity(0, bytes, set) == 0;
    const int count = known ? CPU_COUNT_S(bytes, set) : 0;
    const int error = errno;
    CPU_FREE(set);
    if (known)
      return std::max(count, 1);
    if (error != EINVAL) // EINVAL: more processors than the set holds
      break;
  }
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// How many of the wanted threads can run at once. Under a memory limit (each thread's stack is
// reserved) or a limit of processes, thread creation fails, and the threads' runtime would then
// end the program with its own message in the middle of tracking: the threads are tried here
// once, all alive together as tracking has them, and tracking runs on as many as started.
int threads_that_start(int wanted, int &error) {
  Gate gate;
  std::vector<pthread_t> started;
  started.reserve(static_cast<std::size_t>(std::max(wanted, 1)));
  error = 0;
  for (int k = 1; k < wanted; ++k) { // the program's own thread is the first
    pthread_t t;
    error = pthread_create(&t, nullptr, wait_at_gate, &gate);
    if (error != 0)
      break;
    started.push_back(t);
  }
  pthread_mutex_lock(&gate.lock);
  gate.open = true;
  pthread_cond_broadcast(&gate.opened);
  pthread_mutex_unlock(&gate.lock);
  for (pthread_t t : started)
    pthread_join(t, nullptr);
  return static_cast<int>(started.size()) + 1;
}

} // namespace vorax
