#pragma once
#include "app/enginenotify.h"
#include "base/lockobject.h"
#include "base/pipenamed.h"
#include "base/queuednotify.h"
#include "base/signalobject.h"
#include "base/thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// The desktop's handle on engine E: it runs E in the service and talks to it
// over the control pipe (service mode), or, when no service can be reached
// or started, runs E in this process (foreground mode).
//
// Start, Stop, Control and the Control...With forms run on the GUI thread.
// In service mode the proxy's own thread reads the pipe: it shows the
// service's log lines, queues its notifications for the GUI thread, and
// reconnects whenever the service goes away.  The reader replaces the pipe
// when it reconnects while the GUI thread sends through it, so the pipe is a
// shared pointer swapped under pipeLock_: a sender keeps the pipe it took
// open until its send is over, and never writes into a descriptor that was
// closed and reused.
template <class E>
class LServiceEngineProxy : public LThread,
                            public LEngineNotifyHandler,
                            public LQueuedNotifyDataSender,
                            public LQueuedNotifyDataHandler {
public:
  LServiceEngineProxy();
  ~LServiceEngineProxy() override;

  void Start();
  void Stop();
  // Sends a control request without awaiting an answer (service mode), or
  // calls the engine directly (foreground mode).
  void Control(unsigned int code, const void* data, unsigned int size);
  void Control(unsigned int code) { Control(code, nullptr, 0); }
  // The same, awaiting the engine's result (and data) for up to
  // kReplyTimeoutMs; 0 and no data when none arrives.
  int ControlWithResult(unsigned int code, const void* data, unsigned int size);
  int ControlWithReturnData(unsigned int code, const void* data, unsigned int size, std::vector<unsigned char>& out);

  bool IsServiceMode() const { return HasPipe(); }
  bool IsForegroundMode() const { return engine_ != nullptr; }

  // GUI thread: who receives the engine's notifications there.
  void SetProxyNotifyHandler(LEngineNotifyHandler& handler) { guiHandler_ = &handler; }
  void InvalidateProxyNotifyHandler() { guiHandler_ = &stub_; }

  // Any thread: queues the notification for the GUI thread.
  void EvEngineNotify(unsigned int code, const void* data, unsigned int size) override;
  // GUI thread: hands a queued notification to the proxy's handler.
  void EvQueuedNotifyData(unsigned int code, const void* data, unsigned int size) override;

  static constexpr int kSendTimeoutMs = 5000;
  static constexpr int kPayloadTimeoutMs = 10000;
  static constexpr unsigned int kReplyTimeoutMs = 5000;
  static constexpr unsigned int kReconnectDelayMs = 100;

protected:
  void ThreadFunction() override;

private:
  class Stub : public LEngineNotifyHandlerStub {};

  std::shared_ptr<LNamedPipe> GetPipe() const;
  void SetPipe(std::shared_ptr<LNamedPipe> pipe);
  bool HasPipe() const;

  // GUI thread: sends one request; returns its sequence number, 0 when it
  // could not be sent.
  uint32_t SendRequest(uint16_t type, unsigned int code, const void* data, unsigned int size);
  int Request(uint16_t type, unsigned int code, const void* data, unsigned int size, std::vector<unsigned char>* out);

  // Reader thread: reads messages until the pipe fails or the thread stops.
  void ReadMessages(LNamedPipeRef pipe);
  void Dispatch(uint16_t type, uint32_t code, uint32_t tag, unsigned char* payload, uint32_t size);
  void DispatchLogLine(uint32_t level, uint32_t tag, unsigned char* payload, uint32_t size);
  void DispatchReply(uint32_t result, uint32_t tag, const unsigned char* payload, uint32_t size);

  mutable LLockObject pipeLock_;
  std::shared_ptr<LNamedPipe> pipe_;
  std::unique_ptr<E> engine_;
  std::atomic<uint32_t> sequence_{0};
  LSignalObject reply_;
  std::atomic<int> replyResult_{0};
  // Guards replyData_, which the GUI thread registers and the reader fills.
  LLockObject replyLock_;
  std::vector<unsigned char>* replyData_ = nullptr;
  Stub stub_;
  LEngineNotifyHandler* guiHandler_ = &stub_;
};

class MainEngine;
extern template class LServiceEngineProxy<MainEngine>;
