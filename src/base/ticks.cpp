#include "base/ticks.h"

#include <cerrno>
#include <sys/time.h>
#include <time.h>

void Sleep(unsigned int ms)
{
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  // Resume after signal interruptions with the time that remains.
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

uint32_t GetTickCount()
{
  timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<uint32_t>(static_cast<uint64_t>(tv.tv_sec) * 1000u + tv.tv_usec / 1000);
}

int64_t GetMonotonicMs()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
