#pragma once
// Sends one encoder queue to an Icecast 2 server as a source, so that the
// server (and the relays behind it) can serve an audience larger than this
// machine, even from behind a router that lets no listener in.
//
// The publisher is one more reader of the queue's ring, on a thread of its
// own, with time-limited sends: a slow or vanished server never holds up
// the local listeners.  It logs in with HTTP PUT and falls back to the
// older SOURCE method when the server answers 405.  A failed attempt or a
// lost connection is logged once and tried again after a pause that starts
// at kFirstRetryMs and doubles up to kMaxRetryMs; a connection that was up
// starts the pauses over.
#include <atomic>
#include <memory>

#include "audio/audioqueue.h"
#include "audio/icecasttarget.h"
#include "base/thread.h"
#include "net/netbase.h"

class LAudioPublisher : private LThread {
public:
  static constexpr unsigned int kFirstRetryMs = 1000;
  static constexpr unsigned int kMaxRetryMs = 60000;
  // Connecting, and the server's answer to the log-in, may take this long.
  static constexpr int kConnectMs = 5000;
  static constexpr int kAnswerMs = 5000;
  // A send that makes no progress for this long loses the connection.
  static constexpr int kSendMs = 10000;

  LAudioPublisher() = default;
  ~LAudioPublisher() { Stop(); }

  LAudioPublisher(const LAudioPublisher&) = delete;
  LAudioPublisher& operator=(const LAudioPublisher&) = delete;

  // Engine control thread.  Publishes queue to url under name (the
  // server's stream name and the log's); an empty url publishes nothing and
  // an invalid one is logged.  A running publisher is stopped first.
  void Start(const LAudioQueue& queue, const char* url, const char* name);
  // Engine control thread.  Ends the connection and the thread.
  void Stop();

  // Whether the server takes the stream now (any thread).
  bool IsPublishing() const { return publishing_.load(std::memory_order_acquire); }

private:
  enum class LLogIn { Accepted, MethodNotAllowed, Refused, Failed };

  void ThreadFunction() override;
  // One attempt: connect and log in with method.  status gets the server's
  // answer (0 when there was none).
  LLogIn LogIn(LIPSocketTCP& socket, const char* method, int& status);
  // Sends the ring until a send fails or the thread is asked to stop.
  void Stream(LIPSocketTCP& socket);
  // The thread as the process the socket operations ask about stopping.
  LThread& Self() { return *this; }
  // Waits ms (false on a stop request).
  bool Pause(unsigned int ms) { return ProcessWait(ms) == kProcessDone; }

  // Written by Start before the thread runs.
  const LAudioQueue* queue_ = nullptr;
  LIcecastTarget target_;
  char name_[kPathSize] = "";
  std::unique_ptr<unsigned char[]> batch_;
  std::atomic<bool> publishing_{false};
};
