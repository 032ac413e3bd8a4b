#include "net/processpipe.h"

#include "base/signalobject.h"
#include "base/thread.h"
#include "net/socketwait.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

namespace {

// Receives into the rest of the buffer.  False when the pipe ended or
// failed; a wake-up without data leaves done unchanged.
bool ReceiveRest(int pipe, char* buffer, unsigned int size, unsigned int& done)
{
  ssize_t got = recv(pipe, buffer + done, size - done, 0);
  if (got > 0) {
    done += static_cast<unsigned int>(got);
    return true;
  }
  return got < 0 && LIsTransientSocketError(errno);
}

// The sliced receive shared by every form that has a time-out; P says
// whether to stop before each slice.
template <class P>
int RecvBytesSliced(P& process, LNamedPipeRef pipe, void* buffer, unsigned int size, int timeout)
{
  char* bytes = static_cast<char*>(buffer);
  unsigned int done = 0;
  LIdleBudget budget(timeout);
  while (done < size) {
    if (process.IsToStop())
      return kProcessStopped;
    switch (LWaitReadable(pipe.GetDescriptor(), kProcessSliceMs)) {
    case LWaitResult::Ready:
      if (!ReceiveRest(pipe.GetDescriptor(), bytes, size, done))
        return kProcessFailed;
      break;
    case LWaitResult::Error: return kProcessFailed;
    case LWaitResult::TimedOut:
      if (!budget.SpendSlice())
        return kProcessFailed;
      break;
    }
  }
  return kProcessDone;
}

}  // namespace

int ProcessSend(LProcessInterfaceVoid& process, LNamedPipeRef pipe, const void* data, unsigned int size, int timeout)
{
  const char* next = static_cast<const char*>(data);
  unsigned int remaining = size;
  LIdleBudget budget(timeout);
  for (;;) {
    if (process.IsToStop())
      return kProcessStopped;
    ssize_t sent = send(pipe.GetDescriptor(), next, remaining, MSG_NOSIGNAL);
    if (sent >= 0 && static_cast<size_t>(sent) >= remaining)
      return kProcessDone;
    if (sent < 0 && !LIsTransientSocketError(errno))
      return kProcessFailed;
    if (sent > 0) {
      next += sent;
      remaining -= static_cast<unsigned int>(sent);
    }
    if (!budget.WaitWritable(pipe.GetDescriptor()))
      return kProcessFailed;
  }
}

int ProcessRecvBytes(LProcessInterfaceVoid& process, LNamedPipeRef pipe, void* buffer, unsigned int size, int timeout)
{
  return RecvBytesSliced(process, pipe, buffer, size, timeout);
}

int ProcessRecvBytes(LThread& thread, LNamedPipeRef pipe, void* buffer, unsigned int size)
{
  char* bytes = static_cast<char*>(buffer);
  unsigned int done = 0;
  while (done < size) {
    if (thread.IsToStop())
      return kProcessStopped;
    pollfd fds[2] = {{pipe.GetDescriptor(), POLLIN, 0}, {thread.GetStopSignal().GetPollFD(), POLLIN, 0}};
    if (pipe.GetDescriptor() < 0 || LPollRetrying(fds, 2, -1) < 0 || (fds[0].revents & POLLNVAL) != 0)
      return kProcessFailed;
    if (fds[1].revents != 0)
      return kProcessStopped;
    if (!ReceiveRest(pipe.GetDescriptor(), bytes, size, done))
      return kProcessFailed;
  }
  return kProcessDone;
}

int ProcessRecvBytes(LThread& thread, LNamedPipeRef pipe, void* buffer, unsigned int size, int timeout)
{
  return RecvBytesSliced(thread, pipe, buffer, size, timeout);
}
