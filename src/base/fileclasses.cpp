#include "base/fileclasses.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "base/flocktimed.h"

namespace {

// The open modes of the owning classes, in one place.
constexpr LFileOpenMode kRead{O_RDONLY, LOCK_SH, false, false, false};
constexpr LFileOpenMode kReadRetried{O_RDONLY, LOCK_SH, true, false, false};
constexpr LFileOpenMode kWrite{O_RDWR | O_CREAT, LOCK_EX, false, true, false};
constexpr LFileOpenMode kWriteRetried{O_RDWR | O_CREAT, LOCK_EX, true, true, false};
constexpr LFileOpenMode kWriteNew{O_RDWR | O_CREAT | O_EXCL, LOCK_EX, false, true, false};
// O_APPEND keeps appends whole even when the lock timed out and another
// appender writes at the same time.
constexpr LFileOpenMode kAppend{O_WRONLY | O_CREAT | O_APPEND, LOCK_EX, true, false, true};
constexpr LFileOpenMode kSharedRead{O_RDONLY, 0, false, false, false};
constexpr LFileOpenMode kSharedWrite{O_RDWR | O_CREAT, LOCK_SH, false, true, false};
constexpr LFileOpenMode kSharedReadWrite{O_RDWR | O_CREAT, LOCK_SH, false, false, false};
constexpr LFileOpenMode kReadWrite{O_RDWR | O_CREAT, LOCK_EX, true, false, false};

}  // namespace

int LOpenFileLocked(const char* path, const LFileOpenMode& mode, unsigned int timeLimitMs)
{
  if (path == nullptr) {
    return -1;
  }
  int fd;
  do {
    fd = ::open(path, mode.flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return -1;
  }
  if (mode.lock != 0) {
    if (mode.retry) {
      flocktimed(fd, mode.lock, timeLimitMs);
    } else {
      ::flock(fd, mode.lock | LOCK_NB);
    }
  }
  // Emptied after locking rather than by O_TRUNC, so that a writer waiting
  // for the lock does not cut the file under its current holder.
  if (mode.truncate && ::ftruncate(fd, 0) != 0 && errno != EINVAL) {
    ::close(fd);
    return -1;
  }
  if (mode.toEnd) {
    ::lseek(fd, 0, SEEK_END);
  }
  return fd;
}

void LCloseFile(int& fd)
{
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

LReadFile::LReadFile(const char* path)
{
  fd_ = LOpenFileLocked(path, kRead, 0);
}

LReadFile::LReadFile(const char* path, unsigned int timeLimitMs)
{
  fd_ = LOpenFileLocked(path, kReadRetried, timeLimitMs);
}

LWriteFile::LWriteFile(const char* path)
{
  fd_ = LOpenFileLocked(path, kWrite, 0);
}

LWriteFile::LWriteFile(const char* path, unsigned int timeLimitMs)
{
  fd_ = LOpenFileLocked(path, kWriteRetried, timeLimitMs);
}

bool LWriteFile::OpenNew(const char* path)
{
  Close();
  fd_ = LOpenFileLocked(path, kWriteNew, 0);
  return fd_ >= 0;
}

LAppendFile::LAppendFile(const char* path, unsigned int timeLimitMs)
{
  fd_ = LOpenFileLocked(path, kAppend, timeLimitMs);
}

LSharedReadFile::LSharedReadFile(const char* path)
{
  fd_ = LOpenFileLocked(path, kSharedRead, 0);
}

LSharedWriteFile::LSharedWriteFile(const char* path)
{
  fd_ = LOpenFileLocked(path, kSharedWrite, 0);
}

LSharedReadWriteFile::LSharedReadWriteFile(const char* path)
{
  fd_ = LOpenFileLocked(path, kSharedReadWrite, 0);
}

LReadWriteFile::LReadWriteFile(const char* path, unsigned int timeLimitMs)
{
  fd_ = LOpenFileLocked(path, kReadWrite, timeLimitMs);
}
