#include "net/tcp.h"

#include "base/signalobject.h"
#include "base/uniquefd.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

// accept errors that concern one connection, not the listening socket:
// the connection is lost and the loop goes on.  Linux reports a new
// connection's pending network error through accept itself, so one client's
// broken network must not close the port for everybody.
constexpr int kConnectionErrors[] = {ECONNABORTED, EAGAIN, EWOULDBLOCK,  EINTR,      EPROTO,   ENOPROTOOPT,
                                     EHOSTDOWN,    ENONET, EHOSTUNREACH, EOPNOTSUPP, ENETDOWN, ENETUNREACH};

bool IsConnectionError(int error)
{
  return std::find(std::begin(kConnectionErrors), std::end(kConnectionErrors), error) != std::end(kConnectionErrors);
}

// accept errors of a process or system out of descriptors (or the memory
// for them): the listening socket is fine and is kept.
constexpr int kExhaustedErrors[] = {EMFILE, ENFILE, ENOBUFS, ENOMEM};

bool IsExhaustedError(int error)
{
  return std::find(std::begin(kExhaustedErrors), std::end(kExhaustedErrors), error) != std::end(kExhaustedErrors);
}

LUniqueFD OpenSpareDescriptor()
{
  return LUniqueFD(open("/dev/null", O_RDONLY | O_CLOEXEC));
}

}  // namespace

LTCPListener::LTCPListener()
{
  LIPSystemStartup();
}

LTCPListener::~LTCPListener()
{
  StopThreadNow();
  LIPSystemShutDown();
}

void LTCPListener::Start(unsigned short port)
{
  StopThreadNow();
  port_ = port;
  StartNormal();
}

void LTCPListener::Stop()
{
  StopThreadNow();
}

void LTCPListener::ThreadFunction()
{
  while (!IsToStop()) {
    ListenAndAccept();
    if (ProcessWait(kRetryMs) != kProcessDone)
      break;
  }
}

void LTCPListener::ListenAndAccept()
{
  LIPSocketTCP listening;
  if (!listening.Create())
    return;
  // Lets a restarted server take its port back while connections it closed
  // itself linger in TIME_WAIT; a port that another socket listens on still
  // refuses the bind.
  int on = 1;
  setsockopt(listening.GetSocket(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port_);
  if (bind(listening.GetSocket(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno == EADDRINUSE)
      BindConflict();
    return;
  }
  if (listen(listening.GetSocket(), kBacklog) != 0)
    return;
  AcceptUntilStopped(listening.GetSocket());
}

void LTCPListener::AcceptUntilStopped(int listening)
{
  // Held in reserve for a full descriptor table: given up for a moment, it
  // lets one waiting connection be accepted and closed at once, so that a
  // flood is answered with a close instead of a backlog that never moves.
  LUniqueFD spare = OpenSpareDescriptor();
  while (!IsToStop()) {
    pollfd fds[2] = {{listening, POLLIN, 0}, {GetStopSignal().GetPollFD(), POLLIN, 0}};
    if (LPollRetrying(fds, 2, -1) < 0 || (fds[0].revents & POLLIN) == 0)
      return;
    // Close-on-exec from the start: an encoder or command child started by
    // another thread must never hold a listener's connection open.
    int accepted = accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
    if (accepted < 0) {
      if (IsConnectionError(errno))
        continue;
      if (!IsExhaustedError(errno))
        return;
      if (spare.IsValid()) {
        spare.Close();
        LUniqueFD excess(accept4(listening, nullptr, nullptr, SOCK_CLOEXEC));
        excess.Close();
        spare = OpenSpareDescriptor();
      }
      if (ProcessWait(kExhaustedPauseMs) != kProcessDone)
        return;
      continue;
    }
    LIPSocketTCP connection(accepted);
    NewConnection(connection);
    Yield();
  }
}
