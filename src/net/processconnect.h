#pragma once
// Cooperative TCP connects.  Templates over a process interface P with
// IsToStop(), asked after every idle 200 ms slice of the wait.  A connect
// that fails or is stopped leaves the socket closed (descriptor -1).

#include "base/processresult.h"
#include "net/ipaddress.h"
#include "net/netbase.h"
#include "net/socketwait.h"

enum class LConnectStep { Connected, InProgress, Failed };

// Opens a fresh non-blocking, close-on-exec socket in place of whatever the
// socket held and starts connecting it.  The invalid address
// 255.255.255.255 fails at once.  On Failed the socket is closed.
LConnectStep LConnectBegin(LIPSocketTCP& socket, const LIPAddressWithPort& address);
// Waits up to ms for a started connect to end.  The socket turns writable
// when the connect has ended either way, so its pending error decides:
// Ready only for a real connection, Error for a refusal or reset.
LWaitResult LConnectWait(LIPSocketTCP& socket, int ms);

template <class P>
LProcessResult ProcessConnect(P& process, LIPSocketTCP& socket, const LIPAddressWithPort& address, int timeout)
{
  switch (LConnectBegin(socket, address)) {
  case LConnectStep::Connected: return kProcessDone;
  case LConnectStep::Failed: return kProcessFailed;
  case LConnectStep::InProgress: break;
  }
  LIdleBudget budget(timeout);
  for (;;) {
    switch (LConnectWait(socket, kProcessSliceMs)) {
    case LWaitResult::Ready: return kProcessDone;
    case LWaitResult::Error: socket.Close(); return kProcessFailed;
    case LWaitResult::TimedOut:
      if (process.IsToStop()) {
        socket.Close();
        return kProcessStopped;
      }
      if (!budget.SpendSlice()) {
        socket.Close();
        return kProcessFailed;
      }
      break;
    }
  }
}

// Tries every address in order; the first connection or stop ends the
// walk.  2 when every address failed or there were none.
template <class P>
LProcessResult ProcessConnect(P& process, LIPSocketTCP& socket, const LIPAddressMultiHomedWithPort& addresses,
                              int timeout)
{
  for (unsigned int i = 0; i < addresses.GetHostCount(); ++i) {
    LProcessResult r = ProcessConnect(process, socket, addresses.GetHost(i), timeout);
    if (r != kProcessFailed)
      return r;
  }
  socket.Close();
  return kProcessFailed;
}

// host may carry its own ":port", which then replaces port.
template <class P>
LProcessResult ProcessConnect(P& process, LIPSocketTCP& socket, const char* host, unsigned short port, int timeout)
{
  return ProcessConnect(process, socket, LIPAddressMultiHomedWithPort(host, port), timeout);
}

// Closes the socket if open; always 0.
template <class P>
LProcessResult ProcessDisconnect(P&, LIPSocketTCP& socket, int)
{
  socket.Close();
  return kProcessDone;
}
