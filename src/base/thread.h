#pragma once
#include "base/lockobject.h"
#include "base/processresult.h"
#include "base/signalobject.h"

#include <atomic>
#include <cstddef>
#include <pthread.h>
#include <sys/types.h>

// A joinable worker thread with a cooperative stop request.
//
// Priorities: 1 and above select the real-time round-robin policy with that
// real-time priority; 0 and below the normal policy with nice = -priority.
// Refused changes (no privilege for real time, or for lowering nice) are
// ignored and leave the thread at its previous priority.
//
// Start, StopThreadSoon and the Set/Get priority calls may come from any
// thread; StopThreadNow only from the thread's owner.  Wait, Sleep and the
// ProcessWait* calls are for the worker itself.  A derived class must call
// StopThreadNow() in its own destructor when ThreadFunction uses its members:
// ~LThread runs after they are gone.
class LThread {
public:
  static constexpr int kPriorityLow = -10;
  static constexpr int kPriorityNormal = 0;
  static constexpr int kPriorityHigh = 80;

  LThread() = default;
  ~LThread();

  LThread(const LThread&) = delete;
  LThread& operator=(const LThread&) = delete;

  // Takes the thread's lock.  Does nothing while the thread still runs; joins
  // a finished thread before starting anew.
  void Start(int priority);
  void StartLow() { Start(kPriorityLow); }
  void StartNormal() { Start(kPriorityNormal); }
  void StartHigh() { Start(kPriorityHigh); }
  // Starts with the calling thread's priority.
  void StartSame() { Start(GetCurrentPriority()); }

  // Sets the stop request and the stop signal; returns at once.
  void StopThreadSoon();
  // Owner only: asks the thread to stop and joins it.  Safe when nothing runs.
  void StopThreadNow();

  bool IsToStop() const { return stopRequested_.load(std::memory_order_relaxed); }
  // True from Start until the thread function has returned.
  bool IsRunning() const { return running_.load(std::memory_order_acquire); }
  LSignalObjectRef GetStopSignal() const { return stopSignal_.GetRef(); }

  // Worker: true when ms elapsed without a stop request; ends at once when a
  // stop is requested.
  bool Wait(unsigned int ms);
  bool Sleep(unsigned int ms) { return Wait(ms); }
  static void Yield();

  // Cooperative waits (kProcessDone / kProcessStopped / kProcessFailed).
  // ProcessWait: 0 when the time elapsed, 1 on a stop request.
  LProcessResult ProcessWait(unsigned int ms);
  // 0 signalled, 1 stop requested (wins when both are set), 2 time-out or
  // poll failure.
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms);
  LProcessResult ProcessWaitSignalForever(LSignalObjectRef signal);
  // Polls the group together with the stop signal: 2 time-out, 1 stop, 0 when
  // an entry is set (see LSignalObjectGroup::IsEntrySignaled).
  LProcessResult ProcessWaitSignalObjectGroup(LSignalObjectGroup& group, unsigned int ms);

  // Stores p and applies it to the running thread, if any.
  void SetPriority(int p);
  void SetPriorityHigh() { SetPriority(kPriorityHigh); }
  void SetPrioritySame() { SetPriority(GetCurrentPriority()); }
  // The running thread's priority; the stored one when no thread runs.
  int GetPriority() const;
  // The priority of the calling thread.
  static int GetCurrentPriority();

  // Stack size for the next Start (0: the system default, often 8 MiB of
  // address space).  Owners of many small workers (one per web connection)
  // set a smaller one.  Call before Start, from the thread that starts.
  void SetStackSize(size_t bytes) { stackSize_ = bytes; }

protected:
  virtual void ThreadFunction() = 0;

  // Start's preparation: clear the stop request, reset the stop signal, set
  // running and store the priority.
  void PrepareStart(int priority);
  // Body of the new thread up to the end of ThreadFunction, with running
  // cleared afterwards.
  void RunThreadBody();
  // Creates the system thread running entry(this); false on failure (running
  // is then cleared again).
  bool CreateThread(void* (*entry)(void*), pthread_t& handle);

  // The thread handle; valid while hasHandle_.  LThread writes both under
  // lock_ (Start) or as the owner (StopThreadNow); LDetachedThread under its
  // owner's list lock.
  pthread_t handle_{};
  bool hasHandle_ = false;

private:
  static void* Entry(void* self);
  LProcessResult WaitWithStop(LSignalObjectRef signal, int timeout_ms);

  LSignalObject stopSignal_;
  size_t stackSize_ = 0;
  std::atomic<bool> stopRequested_{false};
  std::atomic<pid_t> threadId_{-1};
  std::atomic<int> priority_{0};
  std::atomic<bool> running_{false};
  LLockObject lock_;
};
