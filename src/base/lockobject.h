#pragma once
#include <pthread.h>

// A plain (non-recursive) mutex.  Locking it twice from one thread
// deadlocks, as with any default pthread mutex.
class LLockObject {
public:
  LLockObject() = default;
  ~LLockObject() { pthread_mutex_destroy(&mutex_); }

  LLockObject(const LLockObject&) = delete;
  LLockObject& operator=(const LLockObject&) = delete;

  void Lock() { pthread_mutex_lock(&mutex_); }
  void Unlock() { pthread_mutex_unlock(&mutex_); }

private:
  pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
};

// Holds an LLockObject for the lifetime of the scope.
class LLockScope {
public:
  explicit LLockScope(LLockObject& lock) : lock_(lock) { lock_.Lock(); }
  ~LLockScope() { lock_.Unlock(); }

  LLockScope(const LLockScope&) = delete;
  LLockScope& operator=(const LLockScope&) = delete;

private:
  LLockObject& lock_;
};
