#pragma once
#include <unistd.h>

// Owns one file descriptor and closes it on destruction; movable, not
// copyable, so a descriptor is closed exactly once.
class LUniqueFD {
public:
  LUniqueFD() = default;
  explicit LUniqueFD(int fd) : fd_(fd) {}
  ~LUniqueFD() { Close(); }

  LUniqueFD(const LUniqueFD&) = delete;
  LUniqueFD& operator=(const LUniqueFD&) = delete;
  LUniqueFD(LUniqueFD&& other) noexcept : fd_(other.Release()) {}
  LUniqueFD& operator=(LUniqueFD&& other) noexcept
  {
    if (this != &other) {
      Close();
      fd_ = other.Release();
    }
    return *this;
  }

  int Get() const { return fd_; }
  bool IsValid() const { return fd_ >= 0; }

  // Takes ownership of fd, closing the descriptor held before.
  void Reset(int fd = -1)
  {
    Close();
    fd_ = fd;
  }

  int Release()
  {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

  // False when close() reports an error (a late write error of the file).
  // close() is not retried on EINTR: on Linux the descriptor is already
  // released then, and a retry could close a descriptor another thread just
  // received.
  bool Close()
  {
    if (fd_ < 0)
      return true;
    int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

private:
  int fd_ = -1;
};
