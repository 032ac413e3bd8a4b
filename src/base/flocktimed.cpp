#include "base/flocktimed.h"

#include <cerrno>
#include <sys/file.h>

#include "base/ticks.h"

int flocktimed(int fd, int operation, unsigned int timeLimitMs)
{
  unsigned long pause = timeLimitMs / 32 + 1;
  for (;;) {
    int result;
    do {
      result = ::flock(fd, operation | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0 || errno != EWOULDBLOCK) {
      return result;
    }
    Sleep(static_cast<unsigned int>(pause));
    pause *= 2;
    if (pause >= timeLimitMs) {
      errno = EWOULDBLOCK;
      return -1;
    }
  }
}
