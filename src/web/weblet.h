#pragma once
#include "base/detachedthread.h"
#include "base/stringtools.h"
#include "net/tcp.h"
#include "web/webletconnection.h"

// The embedded HTTP server: a listener thread that gives every accepted
// connection a detached thread of its own (LWebletConnection).  Requests
// whose page name is in the application's handler table go to that handler;
// every other path is answered with a static file from the root folder.
//
// StartServer and StopServer are called from the owner's thread (the
// engine); the listener thread calls NewConnection and BindConflict.
class LWebletServer : public LTCPListener, public LDetachedThreadsOwner {
public:
  LWebletServer() = default;
  // Stops the listener and every connection before the table and the root
  // folder go away.
  ~LWebletServer() { StopServer(); }

  // Keeps the table (which must outlive the server's run), copies the root
  // folder, reads the waiting limits and (re)starts the listener on
  // GetWebletServerPort().
  void StartServer(const LWebletScriptItem* table, unsigned int count, const char* rootFolder);
  // Stops the listener, so that no new connection starts, then stops and
  // waits for every connection thread.
  void StopServer();

  // Connections waiting for their request's head now (any thread).
  int GetWaitingCount() { return waiting_.GetCount(); }

  // WebServer/Port from the settings store; 1085 when it is 0.
  static unsigned short GetWebletServerPort();
  static void SetWebletServerPort(unsigned short port);

protected:
  // Listener thread.
  void NewConnection(LIPSocketTCP& socket) override;
  void BindConflict() override;

private:
  LWebletWaitingList waiting_;
  const LWebletScriptItem* table_ = nullptr;
  unsigned int count_ = 0;
  char rootFolder_[kPathSize] = "";
};
