#pragma once
#include <unistd.h>

// Owns one file descriptor and closes it when it goes; moves, never copies.
class LFd {
public:
  LFd() = default;
  explicit LFd(int fd) : fd_(fd) {}
  ~LFd() { Close(); }
  LFd(const LFd&) = delete;
  LFd& operator=(const LFd&) = delete;
  LFd(LFd&& other) noexcept : fd_(other.Release()) {}
  LFd& operator=(LFd&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.Release();
    }
    return *this;
  }

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Returns false when close reports an error, which for a written file
  // can be the first sign of a failed write-back.
  bool Close() {
    if (fd_ < 0) return true;
    int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

private:
  int fd_ = -1;
};
