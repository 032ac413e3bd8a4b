#pragma once
#include "base/detachedthread.h"
#include "base/stringtools.h"
#include "net/netbase.h"
#include "web/webletform.h"
#include "web/webletwaiting.h"

// One row of the application's handler table: a page name (the request path
// without its leading '/', compared exactly; "" is the root) and the
// handler that writes the whole response, status line included.
struct LWebletScriptItem {
  const char* pageName;
  void (*handler)(LWebletForm& form);
};

// The thread of one accepted connection: reads requests, answers each by a
// handler or with a static file, and deletes itself when it ends.  Only
// static files are served on a persistent connection; after a handler, an
// error answer or a failed send the connection ends.
class LWebletConnection : public LDetachedThread {
public:
  // Takes the socket over (the given one is left empty).  The handler table
  // and the waiting list must outlive the connection; the root folder is
  // copied.  While it waits for a request's head the connection is on
  // `waiting`, which limits how long and how many.
  LWebletConnection(LIPSocketTCP& socket, const LWebletScriptItem* table, unsigned int count, const char* rootFolder,
                    LWebletWaitingList& waiting);
  ~LWebletConnection() override = default;

protected:
  void ThreadFunction() override;

private:
  enum class After { NextRequest, Close, CloseAtOnce };

  After ServeRequest();
  After ServeStatic(LWebletForm& form);
  After SendOutcome(const char* text);
  // Half-closes for writing and waits briefly for the peer to close, so that
  // the end of the response is not lost to a reset.
  void CloseGracefully();

  LIPSocketTCP socket_;
  const LWebletScriptItem* table_;
  unsigned int count_;
  LWebletWaitingList& waiting_;
  char rootFolder_[kPathSize];
};
