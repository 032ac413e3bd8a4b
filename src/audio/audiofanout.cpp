#include "audio/audiofanout.h"

#include <cassert>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>

#include "base/ticks.h"
#include "settings/log.h"

namespace {

// Ready sockets taken per epoll_wait call.
constexpr int kEventsPerWait = 256;

}  // namespace

// One adopted listener; only the fan-out thread touches it, under the lock.
struct LParkedListener {
  LParkedListener(LUniqueFD socket, LAudioListener& from, const char* name, std::unique_ptr<LIcyFramer> icy)
      : socket(std::move(socket)), icy(std::move(icy)), listener(from), name(name)
  {
  }

  LUniqueFD socket;
  std::unique_ptr<LIcyFramer> icy;  // the listener's framer, if it asked for titles
  LAudioListener listener;
  std::string name;
  // Bytes the socket did not take yet; allocated only while there are any.
  std::unique_ptr<unsigned char[]> unsent;
  int unsentSize = 0;
  int unsentDone = 0;
  int64_t lastProgress = 0;  // monotonic ms of the last send that moved
  bool full = false;         // watched for writability
  bool peerClosed = false;   // the peer closed its side
  uint64_t idleSince = 0;    // ring position at the last hang-up check
  int64_t idleCheckedAt = 0;
  LParkedListener* previous = nullptr;
  LParkedListener* next = nullptr;
};

LAudioFanout::LAudioFanout(const LAudioQueue& queue)
    : queue_(queue), epoll_(epoll_create1(EPOLL_CLOEXEC)), batch_(new unsigned char[kListenerBatchBytes])
{
  // The pass request is the one entry without a listener.
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.ptr = nullptr;
  epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, passWanted_.GetRef().GetPollFD(), &event);
}

LAudioFanout::~LAudioFanout()
{
  StopThreadNow();
  EndAll();
}

bool LAudioFanout::Adopt(LUniqueFD socket, LAudioListener& listener, const char* name, std::unique_ptr<LIcyFramer> icy)
{
  LLockScope scope(lock_);
  StartNormal();  // the first listener starts the thread; later ones find it running
  if (!IsRunning())
    return false;  // no thread to serve it: the stream ends rather than hangs
  auto* parked = new LParkedListener(std::move(socket), listener, name, std::move(icy));
  parked->lastProgress = GetMonotonicMs();
  epoll_event event{};
  event.events = EPOLLRDHUP;
  event.data.ptr = parked;
  if (epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, parked->socket.Get(), &event) != 0) {
    delete parked;
    return false;
  }
  parked->next = first_;
  if (first_ != nullptr)
    first_->previous = parked;
  first_ = parked;
  ++parked_;
  return true;
}

void LAudioFanout::EndAll()
{
  LLockScope scope(lock_);
  while (first_ != nullptr)
    End(*first_);
}

int LAudioFanout::GetParkedCount()
{
  LLockScope scope(lock_);
  return parked_;
}

void LAudioFanout::End(LParkedListener& parked)
{
  assert(lock_.IsHeldByMe());
  if (parked.previous != nullptr)
    parked.previous->next = parked.next;
  else
    first_ = parked.next;
  if (parked.next != nullptr)
    parked.next->previous = parked.previous;
  --parked_;
  epoll_ctl(epoll_.Get(), EPOLL_CTL_DEL, parked.socket.Get(), nullptr);
  // A reset rather than a wait for the peer: nothing more is sent.
  shutdown(parked.socket.Get(), SHUT_RDWR);
  LOGF("Streaming %s stopped", parked.name.c_str());
  delete &parked;
}

void LAudioFanout::SetEvents(LParkedListener& parked, bool peerClosed, bool full)
{
  assert(lock_.IsHeldByMe());
  if (parked.peerClosed == peerClosed && parked.full == full)
    return;
  parked.peerClosed = peerClosed;
  parked.full = full;
  epoll_event event{};
  event.events = (peerClosed ? 0u : static_cast<uint32_t>(EPOLLRDHUP)) | (full ? static_cast<uint32_t>(EPOLLOUT) : 0u);
  event.data.ptr = &parked;
  epoll_ctl(epoll_.Get(), EPOLL_CTL_MOD, parked.socket.Get(), &event);
}

// The one place where a listener's bytes are gathered and sent.
void LAudioFanout::ServeOne(LParkedListener& parked, int64_t now)
{
  assert(lock_.IsHeldByMe());
  for (;;) {
    const unsigned char* data;
    int size;
    if (parked.unsent != nullptr) {
      data = parked.unsent.get() + parked.unsentDone;
      size = parked.unsentSize - parked.unsentDone;
    } else {
      const unsigned long overtaken = parked.listener.GetOvertakenCount();
      const LListenerBatch gathered = parked.listener.Gather(batch_.get(), kListenerBatchBytes);
      if (parked.listener.GetOvertakenCount() != overtaken) {
        End(parked);  // lapped
        return;
      }
      if (gathered.size == 0) {
        parked.lastProgress = now;  // nothing waits: nothing can be late
        SetEvents(parked, parked.peerClosed, false);
        return;
      }
      data = batch_.get();
      size = gathered.size;
    }
    const ssize_t sent = send(parked.socket.Get(), data, static_cast<size_t>(size), MSG_DONTWAIT | MSG_NOSIGNAL);
    const bool full = sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    if (sent < 0 && !full) {
      End(parked);
      return;
    }
    if (sent > 0)
      parked.lastProgress = now;
    const int took = sent > 0 ? static_cast<int>(sent) : 0;
    if (parked.unsent != nullptr) {
      parked.unsentDone += took;
      if (parked.unsentDone == parked.unsentSize)
        parked.unsent.reset();
    } else if (took < size) {
      parked.unsentSize = size - took;
      parked.unsentDone = 0;
      parked.unsent.reset(new unsigned char[static_cast<size_t>(parked.unsentSize)]);
      std::memcpy(parked.unsent.get(), data + took, static_cast<size_t>(parked.unsentSize));
    }
    if (took < size) {
      if (now - parked.lastProgress >= kListenerSendTimeoutMs)
        End(parked);
      else
        SetEvents(parked, parked.peerClosed, true);
      return;
    }
  }
}

void LAudioFanout::OnPublished(uint64_t published)
{
  if (published - passedAt_.load(std::memory_order_relaxed) >= static_cast<uint64_t>(kListenerPassChunks) &&
      !passSignalled_.exchange(true, std::memory_order_relaxed))
    passWanted_.Signal();
}

bool LAudioFanout::ServeReady(int64_t now)
{
  assert(lock_.IsHeldByMe());
  epoll_event events[kEventsPerWait];
  const int ready = epoll_wait(epoll_.Get(), events, kEventsPerWait, 0);
  bool passWanted = false;
  // Each listener appears at most once per wait, so ending one never
  // leaves a later event pointing at freed memory.
  for (int i = 0; i < ready; ++i) {
    auto* parked = static_cast<LParkedListener*>(events[i].data.ptr);
    const uint32_t what = events[i].events;
    if (parked == nullptr) {
      passWanted = true;
    } else if ((what & (EPOLLERR | EPOLLHUP)) != 0) {
      End(*parked);
    } else if ((what & EPOLLRDHUP) != 0) {
      // A hang-up or a client that half-closes after its request: only a
      // ring that then stays idle tells them apart (an active ring's next
      // send to a vanished peer fails).
      parked->idleSince = queue_.GetPublished();
      parked->idleCheckedAt = now;
      SetEvents(*parked, true, parked->full);
      if ((what & EPOLLOUT) != 0)
        ServeOne(*parked, now);
    } else if ((what & EPOLLOUT) != 0) {
      ServeOne(*parked, now);
    }
  }
  return passWanted;
}

void LAudioFanout::Pass(int64_t now)
{
  assert(lock_.IsHeldByMe());
  passWanted_.Reset();
  const uint64_t published = queue_.GetPublished();
  passedAt_.store(published, std::memory_order_relaxed);
  passSignalled_.store(false, std::memory_order_relaxed);
  for (LParkedListener* parked = first_; parked != nullptr;) {
    LParkedListener* next = parked->next;  // parked may end here
    if (parked->peerClosed && published != parked->idleSince) {
      parked->idleSince = published;
      parked->idleCheckedAt = now;
    }
    if (parked->peerClosed && now - parked->idleCheckedAt >= kListenerHangUpIdleMs)
      End(*parked);  // hung up while the ring stood still
    else if (!parked->full)
      ServeOne(*parked, now);
    else if (now - parked->lastProgress >= kListenerSendTimeoutMs)
      End(*parked);
    parked = next;
  }
}

void LAudioFanout::ThreadFunction()
{
  int64_t lastPass = GetMonotonicMs();
  while (!IsToStop()) {
    // Between passes only sockets that became ready are served, unless the
    // ring asks for a pass.
    const int64_t sinceLast = GetMonotonicMs() - lastPass;
    bool passNow = sinceLast >= kListenerSendIntervalMs;
    if (!passNow) {
      const auto rest = static_cast<unsigned int>(kListenerSendIntervalMs - sinceLast);
      const LProcessResult waited = ProcessWaitSignal(LSignalObjectRef(epoll_.Get()), rest);
      if (waited == kProcessStopped)
        return;
      if (waited == kProcessDone) {
        LLockScope scope(lock_);
        passNow = ServeReady(GetMonotonicMs());
      } else {
        passNow = true;
      }
    }
    if (passNow) {
      LLockScope scope(lock_);
      lastPass = GetMonotonicMs();
      Pass(lastPass);
    }
  }
}
