#pragma once
#include <atomic>
#include <pthread.h>

// A plain (non-recursive) mutex.  Locking it twice from one thread
// deadlocks, as with any default pthread mutex.  It knows its holder, so
// that code whose rule is "under this lock" can assert it.
class LLockObject {
public:
  LLockObject() = default;
  ~LLockObject() { pthread_mutex_destroy(&mutex_); }

  LLockObject(const LLockObject&) = delete;
  LLockObject& operator=(const LLockObject&) = delete;

  void Lock()
  {
    pthread_mutex_lock(&mutex_);
    holder_.store(pthread_self(), std::memory_order_relaxed);
    held_.store(true, std::memory_order_relaxed);
  }
  void Unlock()
  {
    held_.store(false, std::memory_order_relaxed);
    pthread_mutex_unlock(&mutex_);
  }
  // True when the calling thread holds the lock.  Only the holder itself
  // can see its own id there, so the answer is exact for the caller.
  bool IsHeldByMe() const
  {
    return held_.load(std::memory_order_relaxed) &&
           pthread_equal(holder_.load(std::memory_order_relaxed), pthread_self()) != 0;
  }

private:
  pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
  std::atomic<pthread_t> holder_{};
  std::atomic<bool> held_{false};
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
