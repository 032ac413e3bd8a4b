#include "base/lockfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file.h"

namespace {

// True when fd is still the file that path names: a holder may have deleted
// the lock file between our open and our lock, and a lock on that orphan
// would guard nothing.
bool StillNamed(int fd, const char* path)
{
  struct stat byFd;
  struct stat byName;
  return ::fstat(fd, &byFd) == 0 && ::stat(path, &byName) == 0 && byFd.st_dev == byName.st_dev &&
         byFd.st_ino == byName.st_ino;
}

}  // namespace

bool LLockFile::Lock(const char* path)
{
  Release();
  char extension[kPathSize];
  LFile::GetFileExtensionFromPath(extension, path);
  if (extension[0] != 0) {
    LFile::ApplyNewFileExtension(path_, path, ".lck");
  } else {
    // Without an extension the lock file would be the guarded file itself
    // and creating it would empty that file: append the extension instead.
    std::size_t length = tlstrcpy(path_, path);
    tstrlcpy(path_ + length, ".lck", kPathSize - length);
  }
  if (tstrcmp(path_, path) == 0) {
    // A name at the length limit leaves no room for a distinct lock name.
    return true;
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    fd_ = ::open(path_, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0777);
    if (fd_ < 0) {
      return true;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      bool busy = errno == EWOULDBLOCK;
      Release();
      return !busy;
    }
    if (StillNamed(fd_, path_)) {
      held_ = true;
      return true;
    }
    Release();
  }
  return true;
}

void LLockFile::Release()
{
  if (fd_ < 0) {
    return;
  }
  // Delete the name while still holding the lock, so that nobody locks a
  // file that is about to vanish.
  if (held_) {
    ::unlink(path_);
    held_ = false;
  }
  ::close(fd_);
  fd_ = -1;
}
