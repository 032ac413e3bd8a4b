#pragma once
#include "base/pipenamed.h"
#include "base/thread.h"
#include "base/uniquefd.h"

// Control pipes are Unix-domain stream sockets whose files live in the shared
// data folder as ".spipe.<name>", so that desktops of every user reach the
// service running as root.

// The socket path of the pipe called name (cut at 259 bytes).
void LMakeNamedPipePath(char* out, const char* name);

// Connects as a client.  On success the pipe holds a non-blocking,
// close-on-exec descriptor; on failure it is left closed.  The connect
// itself never blocks: a listener whose backlog is full counts as absent.
bool LConnectNamedPipe(LNamedPipe& pipe, const char* name);

// The service side of one accepted connection.
class LServerPipe : public LNamedPipe {
public:
  LServerPipe() = default;
  explicit LServerPipe(int descriptor) : LNamedPipe(descriptor) {}
};

// Accepts connections on a named control pipe, one thread for the accept
// loop.  Start and Stop are called by the owner's thread; NewConnection runs
// on the listener thread.
class LPipeListener : public LThread {
public:
  LPipeListener() = default;
  ~LPipeListener();

  // Stops a running listener, then binds and listens on the pipe's socket
  // file (mode 0777) before starting the accept thread, so that the socket
  // exists when Start returns.  False when it cannot be bound: no thread is
  // started then.
  bool Start(const char* name);
  // Stops the accept thread, closes the socket and deletes its file.
  void Stop();

  const char* GetPath() const { return path_; }

protected:
  void ThreadFunction() override;
  // Listener thread: takes over the accepted pipe's descriptor (or leaves it
  // to be closed).
  virtual void NewConnection(LServerPipe& pipe) = 0;

private:
  void CloseListeningSocket();

  char path_[260] = "";
  LUniqueFD listening_;
};
