#include "engine/JLThreadPriority.h"

#include <pthread.h>
#include <sched.h>

#include <cstdlib>
#include <cstring>

bool JL_RealtimeWanted() {
  const char* off = getenv("JL_NO_REALTIME");
  return !(off && strcmp(off, "1") == 0);
}

bool JL_RaiseThreadPriority(int priority) {
  const int lo = sched_get_priority_min(SCHED_FIFO), hi = sched_get_priority_max(SCHED_FIFO);
  sched_param p{};
  p.sched_priority = priority < lo ? lo : priority > hi ? hi : priority;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) == 0;
}
