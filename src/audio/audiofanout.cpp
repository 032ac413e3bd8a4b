#include "audio/audiofanout.h"

#include <cerrno>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include "base/ticks.h"

namespace {

// Writable sockets taken per epoll_wait call.
constexpr int kEventsPerWait = 256;

} // namespace

LAudioFanout::LAudioFanout(const LAudioQueue& queue) : queue_(queue), epoll_(epoll_create1(EPOLL_CLOEXEC))
{
  // The pass request is the one entry without a listener.
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.ptr = nullptr;
  epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, passWanted_.GetRef().GetPollFD(), &event);
}

LAudioFanout::~LAudioFanout() { StopThreadNow(); }

LProcessResult LAudioFanout::Serve(LParkedListener& parked, LSignalObjectRef stop)
{
  parked.lastProgress = GetMonotonicMs();
  if (!Park(parked))
    return kProcessFailed;
  // The peer closing its side is either a hang-up or a client that
  // half-closes after its request; only a ring that then stays idle tells
  // them apart (an active ring's next send to a vanished peer fails and
  // ends the stream).  After that the socket is only watched for errors and
  // the shutdown that ends it, and the ring is looked at once a time-out.
  short events = POLLRDHUP;
  int timeout = -1;
  uint64_t published = 0;
  LProcessResult result = kProcessStopped;
  for (;;) {
    pollfd fds[2] = {{stop.GetPollFD(), POLLIN, 0}, {parked.socket, events, 0}};
    const int ready = LPollRetrying(fds, 2, timeout);
    if (ready < 0) {
      result = kProcessFailed;
      break;
    }
    if ((fds[0].revents & POLLIN) != 0)
      break;
    if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      result = kProcessFailed;
      break;
    }
    const uint64_t now = queue_.GetPublished();
    if ((fds[1].revents & POLLRDHUP) != 0) {
      events = 0;
      timeout = static_cast<int>(kListenerHangUpIdleMs);
    } else if (ready == 0 && now == published) {
      break;  // hung up while the ring stood still
    }
    published = now;
  }
  Unpark(parked);
  // The fan-out's verdict wins: its shutdown is what woke us.
  return parked.ended ? LProcessResult(kProcessFailed) : result;
}

int LAudioFanout::GetParkedCount()
{
  std::lock_guard<std::mutex> guard(lock_);
  return parked_;
}

bool LAudioFanout::Park(LParkedListener& parked)
{
  std::lock_guard<std::mutex> guard(lock_);
  StartNormal();  // the first listener starts the thread; later ones find it running
  if (!IsRunning())
    return false;  // no thread to serve it: the stream ends rather than hangs
  parked.previous = nullptr;
  parked.next = first_;
  if (first_ != nullptr)
    first_->previous = &parked;
  first_ = &parked;
  ++parked_;
  return true;
}

void LAudioFanout::Unpark(LParkedListener& parked)
{
  std::lock_guard<std::mutex> guard(lock_);
  if (parked.previous != nullptr)
    parked.previous->next = parked.next;
  else
    first_ = parked.next;
  if (parked.next != nullptr)
    parked.next->previous = parked.previous;
  parked.previous = parked.next = nullptr;
  --parked_;
  // Events already queued for it are dropped with it; none is taken
  // without the lock.
  if (parked.watched)
    epoll_ctl(epoll_.Get(), EPOLL_CTL_DEL, parked.socket, nullptr);
  parked.watched = false;
}

void LAudioFanout::ServeOne(LParkedListener& parked, int64_t now)
{
  for (;;) {
    if (parked.sent == parked.size) {
      const LListenerBatch gathered = parked.listener.Gather(parked.batch, kListenerBatchBytes);
      parked.size = gathered.size;
      parked.sent = 0;
      if (gathered.size == 0) {
        parked.lastProgress = now;  // nothing waits: nothing can be late
        return;
      }
    }
    const ssize_t sent = send(parked.socket, parked.batch + parked.sent, static_cast<size_t>(parked.size - parked.sent),
                              MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent > 0) {
      parked.sent += static_cast<int>(sent);
      parked.lastProgress = now;
      continue;
    }
    const bool full = sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    if (!full || now - parked.lastProgress >= kListenerSendTimeoutMs)
      End(parked);
    else
      Watch(parked);
    return;
  }
}

void LAudioFanout::End(LParkedListener& parked)
{
  parked.ended = true;
  // Wakes the connection thread sleeping in Serve.
  shutdown(parked.socket, SHUT_RDWR);
}

void LAudioFanout::Watch(LParkedListener& parked)
{
  // One-shot: a socket that stays writable wakes the thread once, until
  // its next full send arms it again.
  epoll_event event{};
  event.events = EPOLLOUT | EPOLLONESHOT;
  event.data.ptr = &parked;
  if (epoll_ctl(epoll_.Get(), parked.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, parked.socket, &event) == 0)
    parked.watched = true;
}

void LAudioFanout::OnPublished(uint64_t published)
{
  if (published - passedAt_.load(std::memory_order_relaxed) >= static_cast<uint64_t>(kListenerPassChunks) &&
      !passSignalled_.exchange(true, std::memory_order_relaxed))
    passWanted_.Signal();
}

bool LAudioFanout::ServeWritable(int64_t now)
{
  epoll_event events[kEventsPerWait];
  const int ready = epoll_wait(epoll_.Get(), events, kEventsPerWait, 0);
  bool passWanted = false;
  for (int i = 0; i < ready; ++i) {
    auto* parked = static_cast<LParkedListener*>(events[i].data.ptr);
    if (parked == nullptr)
      passWanted = true;
    else if (!parked->ended)
      ServeOne(*parked, now);
  }
  return passWanted;
}

void LAudioFanout::Pass(int64_t now)
{
  passWanted_.Reset();
  passedAt_.store(queue_.GetPublished(), std::memory_order_relaxed);
  passSignalled_.store(false, std::memory_order_relaxed);
  for (LParkedListener* parked = first_; parked != nullptr; parked = parked->next) {
    if (!parked->ended)
      ServeOne(*parked, now);
  }
}

void LAudioFanout::ThreadFunction()
{
  int64_t lastPass = GetMonotonicMs();
  while (!IsToStop()) {
    // Between passes only sockets that were full and take data again are
    // served, unless the ring asks for a pass.
    const int64_t sinceLast = GetMonotonicMs() - lastPass;
    bool passNow = sinceLast >= kListenerSendIntervalMs;
    if (!passNow) {
      const auto rest = static_cast<unsigned int>(kListenerSendIntervalMs - sinceLast);
      const LProcessResult waited = ProcessWaitSignal(LSignalObjectRef(epoll_.Get()), rest);
      if (waited == kProcessStopped)
        return;
      if (waited == kProcessDone) {
        std::lock_guard<std::mutex> guard(lock_);
        passNow = ServeWritable(GetMonotonicMs());
      } else {
        passNow = true;
      }
    }
    if (passNow) {
      std::lock_guard<std::mutex> guard(lock_);
      lastPass = GetMonotonicMs();
      Pass(lastPass);
    }
  }
}
