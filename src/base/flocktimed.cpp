#include "base/flocktimed.h"

#include <algorithm>
#include <cerrno>
#include <sys/file.h>

#include "base/ticks.h"

namespace {

constexpr uint32_t kRetryStepMs = 5;

// The total wait of the doubling schedule.
uint32_t GiveUpAfter(unsigned int timeLimitMs)
{
  unsigned long pause = timeLimitMs / 32 + 1;
  unsigned long total = 0;
  while (pause < timeLimitMs) {
    total += pause;
    pause *= 2;
  }
  return static_cast<uint32_t>(total);
}

int TryLock(int fd, int operation)
{
  int result;
  do {
    result = ::flock(fd, operation | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

int flocktimed(int fd, int operation, unsigned int timeLimitMs)
{
  const uint32_t giveUp = GiveUpAfter(timeLimitMs);
  const uint32_t start = GetTickCount();
  for (;;) {
    if (TryLock(fd, operation) == 0)
      return 0;
    if (errno != EWOULDBLOCK)
      return -1;
    uint32_t waited = GetTickCount() - start;
    if (waited >= giveUp) {
      errno = EWOULDBLOCK;
      return -1;
    }
    Sleep(std::min(kRetryStepMs, giveUp - waited));
  }
}
