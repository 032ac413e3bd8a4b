#include "base/filelimit.h"

rlim_t LRaiseOpenFileLimit()
{
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return 0;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    // An unlimited hard limit still stops at the kernel's per-process
    // ceiling, which is commonly 2^20.
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? rlim_t{1} << 20 : limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
      return raised.rlim_cur;
  }
  return limit.rlim_cur;
}
