#pragma once
#include <unistd.h>

// Owns one file descriptor and closes it on destruction.
class LUniqueFd {
public:
  LUniqueFd() = default;
  explicit LUniqueFd(int fd) : fd_(fd) {}
  ~LUniqueFd() { Reset(); }
  LUniqueFd(const LUniqueFd&) = delete;
  LUniqueFd& operator=(const LUniqueFd&) = delete;

  void Reset(int fd = -1) {
    if (fd_ >= 0)
      close(fd_);
    fd_ = fd;
  }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

private:
  int fd_ = -1;
};
