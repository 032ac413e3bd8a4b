#pragma once
#include "base/lockobject.h"
#include "base/thread.h"

// The link of a singly linked list.
class LListable {
public:
  LListable* pNext = nullptr;
};

class LDetachedThreadsOwner;

// A worker that lives on its own: created with new, started through an
// LDetachedThreadsOwner, and deleted either by itself when ThreadFunction
// returns or by the owner after joining it (StopThreadsNow).  Once started,
// the creator must not touch the object again: it may already be gone.
class LDetachedThread : public LListable, public LThread {
public:
  LDetachedThread() = default;
  virtual ~LDetachedThread() = default;

protected:
  void ThreadFunction() override = 0;

private:
  friend class LDetachedThreadsOwner;
  static void* DetachedEntry(void* self);

  LDetachedThreadsOwner* owner_ = nullptr;
};

// Keeps the running detached threads (newest first) and can stop them all.
//
// Lifetime of one thread's system resources: threads are created joinable.
// A thread that ends while still listed unlinks itself under the list lock,
// detaches itself (nobody will join it) and deletes itself.  A thread that
// the owner has taken from the list (StopThreadsNow) is joined by the owner
// and only then deleted, so the owner never deletes a thread that is still
// running its last steps, and never a thread that deleted itself.
//
// The list lock is held while the list changes, while stop requests are sent
// and while a thread is created, never while joining.  All methods may be
// called from any thread except from a thread of this owner.
class LDetachedThreadsOwner {
public:
  LDetachedThreadsOwner() = default;
  ~LDetachedThreadsOwner() { StopThreadsNow(); }

  LDetachedThreadsOwner(const LDetachedThreadsOwner&) = delete;
  LDetachedThreadsOwner& operator=(const LDetachedThreadsOwner&) = delete;

  // Takes ownership of thread.  If the system thread cannot be created the
  // object is deleted at once.
  void StartThread(LDetachedThread* thread, int priority);
  void StartThreadNormal(LDetachedThread* thread) { StartThread(thread, LThread::kPriorityNormal); }

  // Sends every listed thread its stop request; returns at once.
  void StopThreadsSoon();
  // Stops, joins and deletes every listed thread, then waits until threads
  // that were deleting themselves have finished doing so.
  void StopThreadsNow();

private:
  friend class LDetachedThread;
  // Called by a thread of this owner as its very last step.
  void Destruct(LDetachedThread* thread);
  bool UnlinkLocked(LDetachedThread* thread);

  LListable* head_ = nullptr;
  // Threads that unlinked themselves and are still running their destructor.
  int exiting_ = 0;
  LLockObject lock_;
};
