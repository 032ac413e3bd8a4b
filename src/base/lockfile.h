#pragma once
#include "base/stringtools.h"

// A lock held through a separate lock file: the guarded name with its
// extension replaced by ".lck".  Used to choose temporary names that other
// threads and processes of the program do not also take.  Non-copyable; the
// lock is released on the next Lock and on destruction.
class LLockFile {
public:
  LLockFile() = default;
  LLockFile(const LLockFile&) = delete;
  LLockFile& operator=(const LLockFile&) = delete;
  ~LLockFile() { Release(); }

  // True when the lock is held, and also when the lock file cannot be
  // created (the caller goes on unguarded); false when another holder has
  // it.  Never waits.
  bool Lock(const char* path);
  // Closes the lock file; deletes it only when this object held the lock.
  void Release();

  bool IsHeld() const { return held_; }
  const char* GetLockPath() const { return path_; }

private:
  int fd_ = -1;
  char path_[kPathSize] = {};
  bool held_ = false;
};
