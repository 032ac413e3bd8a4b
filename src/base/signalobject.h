#pragma once
#include "base/uniquefd.h"

#include <poll.h>

// poll() that resumes after signal interruptions with the time that remains
// (timeout_ms < 0 waits without limit).  Returns poll's result: the number of
// ready entries, 0 on time-out, -1 on an error other than EINTR.
int LPollRetrying(pollfd* fds, nfds_t count, int timeout_ms);

// The read end of an LSignalObject: a pollable descriptor, copied freely.
// Waiting never consumes the signal.  Any thread may wait on it.
class LSignalObjectRef {
public:
  explicit LSignalObjectRef(int fd = -1) : fd_(fd) {}

  int GetPollFD() const { return fd_; }

  // True when the signal is set within ms milliseconds.
  bool WaitSignal(unsigned int ms) const;
  // Returns when the signal is set (true), or false only if poll fails.
  bool WaitSignalForever() const;
  bool IsSignaled() const { return WaitSignal(0); }

private:
  bool WaitFor(int timeout_ms) const;

  int fd_;
};

// A manual-reset event that can be polled together with sockets and pipes:
// an eventfd, "set" while its counter is above zero.  One descriptor per
// event (a pipe would take two): every web connection's thread has a stop
// signal, and descriptors bound the number of listeners.  Non-blocking and
// close-on-exec.  Signal() and Reset() may be called from any thread.
class LSignalObject {
public:
  LSignalObject();

  LSignalObject(const LSignalObject&) = delete;
  LSignalObject& operator=(const LSignalObject&) = delete;

  // False when the descriptor could not be created; the object then never
  // becomes set and every wait on it times out.
  bool IsValid() const { return event_.IsValid(); }

  // Adds one to the counter.  A counter at its maximum is already set, so
  // EAGAIN is ignored.
  void Signal();
  // Reads the counter back to zero.
  void Reset();

  LSignalObjectRef GetRef() const { return LSignalObjectRef(event_.Get()); }
  operator LSignalObjectRef() const { return GetRef(); }

  bool WaitSignal(unsigned int ms) const { return GetRef().WaitSignal(ms); }
  bool WaitSignalForever() const { return GetRef().WaitSignalForever(); }
  bool IsSignaled() const { return GetRef().IsSignaled(); }

private:
  LUniqueFD event_;
};

// Up to kMaxEntries signals to wait on together; further adds are ignored.
// Used by one thread at a time.
class LSignalObjectGroup {
public:
  static constexpr unsigned int kMaxEntries = 255;

  // False when the group was already full and the entry was dropped.
  bool Add(LSignalObjectRef ref);
  void Clear() { count_ = 0; }
  unsigned int GetCount() const { return count_; }
  // After a poll: whether entry index was readable (set) or in error.
  bool IsEntrySignaled(unsigned int index) const;

  // Polls every entry plus extra_fd (which is not stored in the group, so a
  // full group can still be woken by it and repeated polls do not grow the
  // group).  Stores the returned events per entry; extra_set tells whether
  // extra_fd was readable.  Returns LPollRetrying's result.
  int Poll(int extra_fd, int timeout_ms, bool& extra_set);

private:
  pollfd entries_[kMaxEntries] = {};
  unsigned int count_ = 0;
};
