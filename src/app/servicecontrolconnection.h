#pragma once
#include "app/controlmessage.h"
#include "app/controlpipe.h"
#include "base/detachedthread.h"
#include "base/signalobject.h"

#include <atomic>
#include <vector>

template <class E>
class LServiceEngine;

// One desktop's control connection in the service.  Its thread reads each
// request (header and payload) and hands it to the main thread, then waits
// until the main thread has carried it out; the main thread alone runs the
// engine.  A malformed request (wrong magic, a payload above the limit, a
// payload that does not arrive) closes the connection: the stream can no
// longer be trusted to be in step.
template <class E>
class LServiceControlConnection : public LDetachedThread {
public:
  // Takes over the pipe's descriptor.
  LServiceControlConnection(LServiceEngine<E>& engine, LServerPipe& pipe);
  ~LServiceControlConnection() override;

  // Main thread, under the host's list lock.
  void HandlePendingMessages();

  // Any thread, under the host's send lock.  After a failed send the
  // connection is shut down (its thread then ends) and later sends are
  // skipped.  Returns whether the bytes went out.
  bool SendCom(const void* data, unsigned int length, int timeout = kLogSendTimeoutMs);

  static constexpr int kLogSendTimeoutMs = 1000;
  static constexpr int kReplySendTimeoutMs = 5000;
  static constexpr int kPayloadTimeoutMs = 10000;
  static constexpr unsigned int kHandOverTimeoutMs = 600000;

protected:
  void ThreadFunction() override;

private:
  // Connection thread: the next request into header_ and payload_; false
  // when the connection is to be closed.
  bool ReadRequest();
  void SendReply(int result, const std::vector<unsigned char>& data);

  LServiceEngine<E>& engine_;
  LServerPipe pipe_;
  std::atomic<bool> pending_{false};
  std::atomic<bool> broken_{false};
  // Written by the connection thread before pending_ is set, read by the
  // main thread after it has seen pending_.
  LControlHeader header_;
  bool hasPayload_ = false;
  std::vector<unsigned char> payload_;
  LSignalObject done_;
};

class MainEngine;
extern template class LServiceControlConnection<MainEngine>;
