#include "common/fdio.h"

#include <cerrno>
#include <unistd.h>

ssize_t ReadSome(int fd, void* data, size_t size)
{
  for (;;) {
    ssize_t n = ::read(fd, data, size);
    if (n >= 0 || errno != EINTR)
      return n;
  }
}

bool WriteAll(int fd, const void* data, size_t size)
{
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}
