#pragma once
// The thread that accepts TCP connections on one port and hands each to
// its owner.

#include "base/thread.h"
#include "net/netbase.h"

#include <cstdint>

// Listens on all local IPv4 addresses.  While the port cannot be taken
// (another program holds it, or socket, bind or listen fail) the listener
// closes its socket and tries again every kRetryMs; a stop ends the wait at
// once.  Accepting with the descriptor table full (EMFILE, ENFILE) keeps
// the listening socket: the excess connection is closed and accepting
// resumes after kExhaustedPauseMs.
//
// Start and Stop are called from the owner's thread; NewConnection and
// BindConflict run on the listener thread.  A derived class must call
// Stop() in its own destructor, before the members NewConnection uses are
// gone.
class LTCPListener : public LThread {
public:
  static constexpr unsigned int kRetryMs = 30000;
  // Room for a burst of connects arriving faster than the thread accepts
  // (the system caps it at net.core.somaxconn).
  static constexpr int kBacklog = 4096;
  static constexpr unsigned int kExhaustedPauseMs = 100;

  LTCPListener();
  ~LTCPListener();

  // Stops a running listener, then listens on port from a new thread of
  // normal priority.
  void Start(unsigned short port);
  // Stops the thread and waits for it.
  void Stop();

  unsigned short GetPort() const { return port_; }

protected:
  void ThreadFunction() override;
  // Listener thread: one accepted connection, non-blocking and close-on-exec.
  // Take the descriptor with socket.Assign to keep it; whatever is left in
  // socket is closed when the call returns.  Return quickly: the next
  // connection waits meanwhile.
  virtual void NewConnection(LIPSocketTCP& socket) = 0;
  // Listener thread: binding failed because the port is in use.  Called on
  // every failed attempt.
  virtual void BindConflict() {}

private:
  // One listening period: open, bind and listen, then accept until stopped
  // or until the listening socket fails.
  void ListenAndAccept();
  void AcceptUntilStopped(int listening);

  // Written by Start before the thread starts, read by the thread.
  uint16_t port_ = 0;
};
