#include "base/signalobject.h"

#include "base/ticks.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr short kReadyEvents = POLLIN | POLLERR | POLLHUP | POLLNVAL;

}  // namespace

int LPollRetrying(pollfd* fds, nfds_t count, int timeout_ms)
{
  // A monotonic deadline, so that a wall-clock change cannot stretch a wait.
  const long long deadline = timeout_ms > 0 ? GetMonotonicMs() + timeout_ms : 0;
  int remaining = timeout_ms;
  for (;;) {
    int rc = poll(fds, count, remaining);
    if (rc >= 0 || errno != EINTR)
      return rc;
    if (timeout_ms > 0) {
      long long left = deadline - GetMonotonicMs();
      remaining = left > 0 ? static_cast<int>(left) : 0;
    }
  }
}

bool LSignalObjectRef::WaitFor(int timeout_ms) const
{
  if (fd_ < 0)
    return false;
  pollfd p{fd_, POLLIN, 0};
  return LPollRetrying(&p, 1, timeout_ms) > 0 && (p.revents & POLLIN) != 0;
}

bool LSignalObjectRef::WaitSignal(unsigned int ms) const
{
  // poll takes an int; longer waits are capped at about 24 days.
  constexpr unsigned int kMaxPollMs = 0x7fffffffu;
  return WaitFor(static_cast<int>(ms > kMaxPollMs ? kMaxPollMs : ms));
}

bool LSignalObjectRef::WaitSignalForever() const
{
  return WaitFor(-1);
}

LSignalObject::LSignalObject() : event_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void LSignalObject::Signal()
{
  if (!event_.IsValid())
    return;
  const uint64_t one = 1;
  while (write(event_.Get(), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void LSignalObject::Reset()
{
  if (!event_.IsValid())
    return;
  uint64_t count;
  // EAGAIN: already zero.
  while (read(event_.Get(), &count, sizeof count) < 0 && errno == EINTR) {
  }
}

bool LSignalObjectGroup::Add(LSignalObjectRef ref)
{
  if (count_ >= kMaxEntries)
    return false;
  entries_[count_++] = pollfd{ref.GetPollFD(), POLLIN, 0};
  return true;
}

bool LSignalObjectGroup::IsEntrySignaled(unsigned int index) const
{
  return index < count_ && (entries_[index].revents & kReadyEvents) != 0;
}

int LSignalObjectGroup::Poll(int extra_fd, int timeout_ms, bool& extra_set)
{
  pollfd all[kMaxEntries + 1];
  for (unsigned int i = 0; i < count_; ++i)
    all[i] = pollfd{entries_[i].fd, POLLIN, 0};
  all[count_] = pollfd{extra_fd, POLLIN, 0};
  int rc = LPollRetrying(all, count_ + 1, timeout_ms);
  for (unsigned int i = 0; i < count_; ++i)
    entries_[i].revents = rc > 0 ? all[i].revents : 0;
  extra_set = rc > 0 && (all[count_].revents & POLLIN) != 0;
  return rc;
}
