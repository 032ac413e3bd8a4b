#include "base/filelimit.h"

namespace {

// What a privileged process (the root service) raises a lower hard limit
// to: room for tens of thousands of listeners, far below the kernel's usual
// per-process ceiling of 2^20.
constexpr rlim_t kWantedOpenFiles = 65536;

}  // namespace

rlim_t LRaiseOpenFileLimit()
{
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return 0;
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < kWantedOpenFiles) {
    const rlimit wanted{kWantedOpenFiles, kWantedOpenFiles};
    if (setrlimit(RLIMIT_NOFILE, &wanted) == 0)
      return wanted.rlim_cur;
  }
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    // An unlimited hard limit still stops at the kernel's ceiling.
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWantedOpenFiles : limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
      return raised.rlim_cur;
  }
  return limit.rlim_cur;
}
