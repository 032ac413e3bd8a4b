#include "base/pipe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

long LWriteNoSigPipe(int fd, const void* data, unsigned long size)
{
  sigset_t pipeOnly, previous;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  const bool wasPending = sigismember(&pending, SIGPIPE) == 1;

  ssize_t written = ::write(fd, data, size);
  int error = errno;
  // The kernel sends a write's SIGPIPE to the writing thread, so while it
  // is blocked here it waits to be taken.  A reader that leaves during a
  // write raises it too, and that write returns the part it got through.
  if (written < static_cast<ssize_t>(size) && !wasPending) {
    timespec zero{0, 0};
    while (sigtimedwait(&pipeOnly, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return written;
}

long LWriteAllNoSigPipe(int fd, const void* data, unsigned long size)
{
  const char* next = static_cast<const char*>(data);
  unsigned long left = size;
  while (left > 0) {
    long n = LWriteNoSigPipe(fd, next, left);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return -1;
    }
    next += n;
    left -= static_cast<unsigned long>(n);
  }
  return static_cast<long>(size);
}

// ---- LPopenStream

bool LPopenStream::Open(const char* command, const char* mode)
{
  Close();
  file_ = popen(command, mode);
  fd_ = file_ != nullptr ? fileno(file_) : -1;
  return file_ != nullptr;
}

int LPopenStream::Close()
{
  if (file_ == nullptr)
    return -1;
  int status = pclose(file_);
  file_ = nullptr;
  fd_ = -1;
  return status;
}

// ---- LPipeOut and LPipeIn

int LPipeOut::Write(const void* data, unsigned int size)
{
  const int fd = stream_.GetFD();
  if (fd < 0) {
    errno = EBADF;
    return -1;
  }
  return static_cast<int>(LWriteAllNoSigPipe(fd, data, size));
}

int LPipeIn::Read(void* data, unsigned int size)
{
  const int fd = stream_.GetFD();
  if (fd < 0)
    return 0;
  ssize_t n;
  do {
    n = ::read(fd, data, size);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : static_cast<int>(n);
}

// ---- LPipeInOut

bool LPipeInOut::Open(const char* command)
{
  Close();
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0)
    return false;
  LUniqueFD childIn(toChild[0]);
  write_ = LUniqueFD(toChild[1]);
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    write_.Close();
    return false;
  }
  read_ = LUniqueFD(fromChild[0]);
  LUniqueFD childOut(fromChild[1]);
  if (!child_.StartShell(command, childIn.Get(), childOut.Get())) {
    write_.Close();
    read_.Close();
    return false;
  }
  return true;
}

int LPipeInOut::Close()
{
  // Input first: the command sees the end of its input; with its output
  // closed as well, any last output it writes fails and it ends at once.
  write_.Close();
  read_.Close();
  return child_.Reap(LChildProcess::kReapGraceMs);
}

int LPipeInOut::Write(const void* data, unsigned int size)
{
  if (!write_.IsValid()) {
    errno = EBADF;
    return -1;
  }
  return static_cast<int>(LWriteAllNoSigPipe(write_.Get(), data, size));
}

int LPipeInOut::Read(void* data, unsigned int size)
{
  if (!read_.IsValid())
    return 0;
  ssize_t n;
  do {
    n = ::read(read_.Get(), data, size);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : static_cast<int>(n);
}

int LPipeInOut::GetBytesReady() const
{
  int n = 0;
  if (!read_.IsValid() || ioctl(read_.Get(), FIONREAD, &n) != 0 || n < 0)
    return 0;
  return n;
}
