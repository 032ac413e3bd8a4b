#include "app/systemfile.h"

#include "base/stringtools.h"
#include "base/uniquefd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const char* data, size_t size)
{
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies the source descriptor (or the text) into "path.new" and renames it.
bool Place(const char* path, int source, const char* text, mode_t mode, uid_t owner, gid_t group)
{
  char temporary[kPathSize + 8];
  std::snprintf(temporary, sizeof temporary, "%s.new", path);
  ::unlink(temporary);
  LUniqueFD out(::open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (!out.IsValid())
    return false;
  bool written = true;
  if (text != nullptr) {
    written = WriteAll(out.Get(), text, std::strlen(text));
  } else {
    char block[65536];
    for (;;) {
      ssize_t n = ::read(source, block, sizeof block);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0) {
        written = n == 0;
        break;
      }
      if (!WriteAll(out.Get(), block, static_cast<size_t>(n))) {
        written = false;
        break;
      }
    }
  }
  if (written && geteuid() == 0)
    written = ::fchown(out.Get(), owner, group) == 0;
  // The mode asked for, whatever the process's file-creation mask.
  if (written)
    written = ::fchmod(out.Get(), mode) == 0;
  out.Reset();
  if (!written || ::rename(temporary, path) != 0) {
    ::unlink(temporary);
    return false;
  }
  return true;
}

}  // namespace

bool LWriteSystemFile(const char* path, const char* text, mode_t mode, uid_t owner, gid_t group)
{
  return Place(path, -1, text, mode, owner, group);
}

bool LCopySystemFile(const char* from, const char* to, mode_t mode, uid_t owner, gid_t group)
{
  LUniqueFD in(::open(from, O_RDONLY | O_CLOEXEC));
  return in.IsValid() && Place(to, in.Get(), nullptr, mode, owner, group);
}
