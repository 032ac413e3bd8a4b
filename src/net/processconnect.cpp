#include "net/processconnect.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

LConnectStep LConnectBegin(LIPSocketTCP& socket, const LIPAddressWithPort& address)
{
  if (!socket.Create())
    return LConnectStep::Failed;
  if (address.GetAddress().GetNetworkOrder() == INADDR_NONE) {
    socket.Close();
    return LConnectStep::Failed;
  }
  const sockaddr_in& sa = address.GetSockAddr();
  if (connect(socket.GetSocket(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0)
    return LConnectStep::Connected;
  // An interrupted non-blocking connect goes on in the background like
  // one in progress.
  if (errno == EINPROGRESS || errno == EINTR)
    return LConnectStep::InProgress;
  socket.Close();
  return LConnectStep::Failed;
}

LWaitResult LConnectWait(LIPSocketTCP& socket, int ms)
{
  LWaitResult waited = LWaitWritable(socket.GetSocket(), ms);
  if (waited != LWaitResult::Ready)
    return waited;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(socket.GetSocket(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
    return LWaitResult::Error;
  return LWaitResult::Ready;
}
