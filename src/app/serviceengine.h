#pragma once
#include "app/controlpipe.h"
#include "app/enginenotify.h"
#include "base/detachedthread.h"
#include "base/lockobject.h"
#include "base/signalobject.h"
#include <cassert>

#include <atomic>
#include <memory>
#include <vector>

template <class E>
class LServiceControlConnection;

// The name of the service's control pipe.
inline constexpr const char* kServicePipeName = "velorind";

// The service host: runs engine E on the daemon's main thread, accepts
// control connections from desktops and forwards the engine's notifications
// and the daemon's log lines to every connected desktop.
//
// Threads: the main thread runs StartPipe, StartEngine, Wait and Stop and
// carries out every control request; the listener thread accepts; each
// connection has a thread that reads its requests and hands them to the main
// thread.  Locks: the list lock before the send lock.  Changes to the list
// hold both; the wait loop holds the list lock while it handles requests;
// notifications and log lines hold the send lock alone.  Nothing logs while
// holding the send lock (logging takes it).
template <class E>
class LServiceEngine : public LPipeListener, public LDetachedThreadsOwner, public LEngineNotifyHandler {
public:
  using Connection = LServiceControlConnection<E>;

  // With the program's engine.
  LServiceEngine();
  explicit LServiceEngine(std::unique_ptr<E> engine);
  ~LServiceEngine();

  // Main thread.  False when the socket cannot be bound: the service then
  // runs without accepting desktops.
  bool StartPipe() { return LPipeListener::Start(kServicePipeName); }
  void StartEngine();
  // Runs the wait loop until StopSoon is called or, when given, the stop
  // signal is set.
  void Wait(LSignalObjectRef stop = LSignalObjectRef());
  // Any thread: asks the wait loop to return.
  void StopSoon();
  bool IsStopRequested() const { return stopRequested_.load(std::memory_order_acquire); }
  // Main thread: stops the listener, every connection and the engine.
  void Stop();

  E& GetEngine() { return *engine_; }

  // Any engine thread; takes the send lock.
  void EvEngineNotify(unsigned int code, const void* data, unsigned int size) override;
  // Any logging thread (with the log's own lock held); takes the send lock.
  void Log(const char* time, const char* text, unsigned char level);

  // Connection threads.
  void AddNotifyConnection(Connection* connection);
  void RemoveNotifyConnection(Connection* connection);
  void SignalWake() { wake_.Signal(); }
  // Main thread, under the list lock: runs send under the send lock.
  template <class F>
  void SendLocked(F&& send)
  {
    assert(listLock_.IsHeldByMe());
    LLockScope scope(sendLock_);
    send();
  }
  LSignalObjectRef GetWakeSignal() const { return wake_.GetRef(); }

protected:
  void NewConnection(LServerPipe& pipe) override;

private:
  std::unique_ptr<E> engine_;
  std::vector<Connection*> connections_;  // newest first
  LLockObject listLock_;
  LLockObject sendLock_;
  LSignalObject wake_;
  std::atomic<bool> newConnection_{false};
  std::atomic<bool> stopRequested_{false};
  bool engineStarted_ = false;
};

class MainEngine;
extern template class LServiceEngine<MainEngine>;
