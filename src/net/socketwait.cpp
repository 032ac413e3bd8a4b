#include "net/socketwait.h"

#include <cerrno>
#include <poll.h>

namespace {

// poll rather than select: select's descriptor sets cannot hold descriptors
// of 1024 and above, which a busy server with one socket per listener
// reaches.
LWaitResult WaitFor(int descriptor, short events, int ms)
{
  if (descriptor < 0)
    return LWaitResult::Error;
  pollfd entry{descriptor, events, 0};
  for (;;) {
    int rc = poll(&entry, 1, ms);
    if (rc > 0)
      return (entry.revents & POLLNVAL) != 0 ? LWaitResult::Error : LWaitResult::Ready;
    if (rc == 0)
      return LWaitResult::TimedOut;
    if (errno != EINTR)
      return LWaitResult::Error;
  }
}

}  // namespace

LWaitResult LWaitReadable(int descriptor, int ms)
{
  return WaitFor(descriptor, POLLIN, ms);
}

LWaitResult LWaitWritable(int descriptor, int ms)
{
  return WaitFor(descriptor, POLLOUT, ms);
}

bool LIsTransientSocketError(int error)
{
  return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

bool LIdleBudget::WaitWritable(int descriptor)
{
  switch (LWaitWritable(descriptor, kProcessSliceMs)) {
  case LWaitResult::Ready: return true;
  case LWaitResult::TimedOut: return SpendSlice();
  case LWaitResult::Error: break;
  }
  return false;
}
