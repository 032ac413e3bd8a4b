// The listener protocol over real TCP connections: the start burst on the
// listener's own thread, then the fan-out as the listener's one owner.
// Bytes arrive complete and in order, for one listener and for hundreds at
// once without a thread each; the fan-out ends a stream on the queue's
// stop, when the listener stops reading (during its burst or once parked),
// hangs up or is lapped, while the other listeners go on.
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <functional>
#include <memory>
#include <poll.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "audio/audiofanout.h"
#include "audio/audiolistensocket.h"
#include "audio/fakeencoder.h"
#include "base/filelimit.h"
#include "base/uniquefd.h"
#include "proccount.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A connected loopback pair; by default small buffers, so that a listener
// that does not read blocks its sender soon (0: the system's buffers).
struct LConnection {
  LUniqueFD server;
  LUniqueFD client;
};

LConnection Connect(int buffers = 4096)
{
  LConnection c;
  LUniqueFD listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener.Get(), 1) != 0 ||
      getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return c;
  c.client = LUniqueFD(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (buffers > 0)
    setsockopt(c.client.Get(), SOL_SOCKET, SO_RCVBUF, &buffers, sizeof buffers);
  if (connect(c.client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return c;
  c.server = LUniqueFD(accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (buffers > 0)
    setsockopt(c.server.Get(), SOL_SOCKET, SO_SNDBUF, &buffers, sizeof buffers);
  return c;
}

// A process stopped from outside, as a connection thread is.
struct LTestProcess {
  std::atomic<bool> stop{false};
  bool IsToStop() const { return stop.load(); }
};

// What a listener's connection thread does, on a thread of its own: the
// start burst, then the hand-over of the socket to the fan-out.
class LSender {
public:
  LSender(const LAudioQueue& queue, LUniqueFD& socket) : socket_(socket.Release())
  {
    thread_ = std::thread([this, &queue] {
      auto start = Clock::now();
      LAudioListener listener(queue);
      LProcessResult result = ProcessSendAudioBurst(process_, LIPSocketTCPRef(socket_.Get()), listener);
      if (result == kProcessDone && !queue.GetFanout().Adopt(std::move(socket_), listener, "test"))
        result = kProcessFailed;
      socket_.Close();
      seconds_ = SecondsSince(start);
      result_ = result;
      done_ = true;
    });
  }
  ~LSender() { Stop(); }
  void Stop()
  {
    process_.stop = true;
    if (thread_.joinable())
      thread_.join();
  }
  bool Done() const { return done_.load(); }
  int Result() const { return result_.load(); }
  double Seconds() const { return seconds_.load(); }

private:
  LUniqueFD socket_;
  LTestProcess process_;
  std::atomic<bool> done_{false};
  std::atomic<int> result_{-1};
  std::atomic<double> seconds_{0};
  std::thread thread_;
};

bool WaitUntil(const std::function<bool()>& condition, double seconds)
{
  const auto start = Clock::now();
  while (!condition() && SecondsSince(start) < seconds)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return condition();
}

// Whether the peer's end is closed (EOF or reset) within ms; pending
// stream bytes are read and dropped.
bool SeesEnd(int fd, int ms)
{
  const auto start = Clock::now();
  char buffer[65536];
  while (SecondsSince(start) * 1000 < ms) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10) <= 0)
      continue;
    if (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0)
      return true;
  }
  return false;
}

// Writes pattern blocks of `frames` every 100 ms until stopped.
class LPatternFeeder {
public:
  explicit LPatternFeeder(LAudioQueue& queue, int frames = 4410)
  {
    thread_ = std::thread([this, &queue, frames] {
      uint64_t offset = 0;
      while (!stop_.load()) {
        std::vector<int> samples = PatternSamples(offset, frames);
        queue.Write(samples.data(), frames);
        offset += static_cast<uint64_t>(frames) * 4;
        written_ = offset;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
  }
  ~LPatternFeeder()
  {
    stop_ = true;
    thread_.join();
  }
  uint64_t Written() const { return written_.load(); }

private:
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> written_{0};
  std::thread thread_;
};

class ListenSocketTest : public ::testing::Test {
protected:
  LFakeEncoder encoder_{"exec cat"};
};

TEST_F(ListenSocketTest, StreamArrivesInOrderAndEndAllEndsItAtOnce)
{
  LAudioQueue queue;
  queue.Start(56);
  LConnection conn = Connect();
  ASSERT_TRUE(conn.server.IsValid());
  LSender sender(queue, conn.server);
  std::string received;
  {
    LPatternFeeder feeder(queue);
    char buffer[8192];
    auto start = Clock::now();
    while (received.size() < 200000 && SecondsSince(start) < 10) {
      ssize_t n = recv(conn.client.Get(), buffer, sizeof buffer, 0);
      ASSERT_GT(n, 0);
      received.append(buffer, static_cast<size_t>(n));
    }
  }
  ASSERT_GE(received.size(), 200000u);
  for (size_t i = 0; i < received.size(); ++i)
    ASSERT_EQ(static_cast<uint8_t>(received[i]), PatternByte(i)) << "byte " << i;
  EXPECT_TRUE(sender.Done());
  EXPECT_EQ(sender.Result(), kProcessDone);
  EXPECT_EQ(queue.GetFanout().GetParkedCount(), 1);
  // The web server's stop ends the streams at once; a restart of the queue
  // does not.
  queue.Start(56);
  EXPECT_EQ(queue.GetFanout().GetParkedCount(), 1);
  queue.GetFanout().EndAll();
  EXPECT_TRUE(SeesEnd(conn.client.Get(), 200));
  EXPECT_EQ(queue.GetFanout().GetParkedCount(), 0);
}

TEST_F(ListenSocketTest, ListenerThatStopsReadingDuringItsBurstIsDroppedOthersGoOn)
{
  LAudioQueue queue;
  queue.Start(56);
  LConnection reading = Connect();
  LConnection stalled = Connect();
  ASSERT_TRUE(reading.server.IsValid() && stalled.server.IsValid());
  LPatternFeeder feeder(queue);
  // Fill the ring first: the stalled listener's burst is more than its
  // buffers take.
  ASSERT_TRUE(WaitUntil([&] { return queue.GetPublished() >= 40; }, 10));
  LSender readingSender(queue, reading.server);
  LSender stalledSender(queue, stalled.server);
  size_t received = 0;
  char buffer[8192];
  auto start = Clock::now();
  while (!stalledSender.Done() && SecondsSince(start) < 20) {
    ssize_t n = recv(reading.client.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0)
      received += static_cast<size_t>(n);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(stalledSender.Done());
  EXPECT_EQ(stalledSender.Result(), kProcessFailed);
  // Its buffers fill at once; then ten seconds without progress.
  EXPECT_GE(stalledSender.Seconds(), kListenerSendTimeoutMs / 1000.0);
  EXPECT_LT(stalledSender.Seconds(), kListenerSendTimeoutMs / 1000.0 + 3);
  EXPECT_EQ(queue.GetFanout().GetParkedCount(), 1) << "the reading one is parked";
  EXPECT_GT(received, feeder.Written() / 2) << "the other listener kept up";
}

// Receives on many connections at once and checks every byte against the
// pattern from offset 0 as it arrives.
class LPatternReceiver {
public:
  explicit LPatternReceiver(const std::vector<int>& clients) : received_(clients.size(), 0)
  {
    for (int fd : clients)
      fds_.push_back({fd, POLLIN, 0});
  }

  // Reads until every connection has `total` bytes or `seconds` pass.
  void ReadUntil(uint64_t total, double seconds)
  {
    auto start = Clock::now();
    std::vector<char> buffer(65536);
    while (Smallest() < total && SecondsSince(start) < seconds) {
      if (poll(fds_.data(), fds_.size(), 100) <= 0)
        continue;
      for (size_t i = 0; i < fds_.size(); ++i) {
        if ((fds_[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
          continue;
        ssize_t n = recv(fds_[i].fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n <= 0) {
          ++closed_;
          fds_[i].fd = -1;  // poll skips it from now on
          continue;
        }
        for (ssize_t j = 0; j < n; ++j)
          mismatches_ += static_cast<uint8_t>(buffer[static_cast<size_t>(j)]) != PatternByte(received_[i] + static_cast<uint64_t>(j));
        received_[i] += static_cast<uint64_t>(n);
      }
    }
  }
  uint64_t Smallest() const { return *std::min_element(received_.begin(), received_.end()); }
  uint64_t Largest() const { return *std::max_element(received_.begin(), received_.end()); }
  uint64_t Mismatches() const { return mismatches_; }
  int Closed() const { return closed_; }

private:
  std::vector<pollfd> fds_;
  std::vector<uint64_t> received_;
  uint64_t mismatches_ = 0;
  int closed_ = 0;
};

TEST_F(ListenSocketTest, FiveHundredParkedListenersReceiveEverySlotInOrderWithoutAThreadEach)
{
  constexpr int kListeners = 500;
  ASSERT_GE(LRaiseOpenFileLimit(), 2u * kListeners + 64);
  LAudioQueue queue;
  queue.Start(56);
  std::thread([] {}).join();  // sanitizer helper threads start with the first thread
  const int threads = CountThreads();
  // Attached to the empty ring, every listener must receive the whole
  // stream from its first byte, parked with the fan-out.
  std::vector<LConnection> connections;
  std::vector<std::unique_ptr<LSender>> senders;
  for (int i = 0; i < kListeners; ++i) {
    connections.push_back(Connect(0));
    ASSERT_TRUE(connections.back().server.IsValid()) << i;
    senders.push_back(std::make_unique<LSender>(queue, connections.back().server));
  }
  ASSERT_TRUE(WaitUntil([&] { return queue.GetFanout().GetParkedCount() == kListeners; }, 20));
  for (auto& sender : senders)
    sender->Stop();  // joins: each connection thread has ended
  // The queue's own thread and the fan-out's, nothing per listener.
  EXPECT_LE(CountThreads(), threads + 1);

  std::vector<int> clients;
  for (const LConnection& c : connections)
    clients.push_back(c.client.Get());
  LPatternReceiver receiver(clients);
  uint64_t written = 0;
  {
    // One chunk per 100 ms block, as the encoder gives at the usual rates.
    LPatternFeeder feeder(queue, 441);
    receiver.ReadUntil(UINT64_MAX, 6);
    written = feeder.Written();
  }
  receiver.ReadUntil(written, 5);
  EXPECT_GE(queue.GetPublished(), 50u);
  EXPECT_EQ(receiver.Smallest(), written);
  EXPECT_EQ(receiver.Largest(), written);
  EXPECT_EQ(receiver.Mismatches(), 0u);
  EXPECT_EQ(receiver.Closed(), 0);
  EXPECT_EQ(queue.GetFanout().GetParkedCount(), kListeners);
}

// Parked listeners the fan-out must end, one case each, beside a listener
// that reads throughout and must go on.
TEST_F(ListenSocketTest, FanoutEndsParkedListenersThatStallHangUpOrAreLapped)
{
  enum class Fault { Stall, HangUpLive, HangUpIdle, Lapped };
  const struct {
    Fault fault;
    const char* name;
    double atLeast;  // seconds before the end may come
    double within;   // seconds by which it must have come
  } cases[] = {
      {Fault::Stall, "stops reading", kListenerSendTimeoutMs / 1000.0, kListenerSendTimeoutMs / 1000.0 + 3},
      {Fault::HangUpLive, "hangs up, ring advancing", 0, (kListenerSendIntervalMs + kListenerHangUpIdleMs) / 1000.0 + 1},
      {Fault::HangUpIdle, "hangs up, ring idle", 0, (kListenerSendIntervalMs + kListenerHangUpIdleMs) / 1000.0 + 1},
      {Fault::Lapped, "falls a ring behind", 0, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LAudioQueue queue;
    queue.Start(56);
    LConnection reading = Connect(0);
    LConnection faulty = Connect();
    LSender readingSender(queue, reading.server);
    LSender faultySender(queue, faulty.server);
    ASSERT_TRUE(WaitUntil([&] { return queue.GetFanout().GetParkedCount() == 2; }, 5));
    LPatternReceiver rest({reading.client.Get()});
    auto start = Clock::now();
    uint64_t written = 0;
    {
      std::unique_ptr<LPatternFeeder> feeder;
      if (c.fault == Fault::Stall || c.fault == Fault::HangUpLive)
        feeder = std::make_unique<LPatternFeeder>(queue, 441);
      if (c.fault == Fault::HangUpLive || c.fault == Fault::HangUpIdle)
        faulty.client.Reset();
      if (c.fault == Fault::Lapped) {
        // More than a ring while the faulty one does not read (the other
        // reads on); then it reads again and must get the end, not a jump.
        constexpr int kFrames = LAudioQueue::kSlotBytes * 8 / 4;
        for (uint64_t offset = 0; queue.GetPublished() < LAudioQueue::kSlots * 3 / 2;) {
          std::vector<int> samples = PatternSamples(offset, kFrames);
          ASSERT_EQ(queue.Write(samples.data(), kFrames), kFrames * 4);
          offset += kFrames * 4;
          rest.ReadUntil(UINT64_MAX, 0.05);
        }
        std::string got;
        char buffer[65536];
        while (SecondsSince(start) < c.within) {
          pollfd p{faulty.client.Get(), POLLIN, 0};
          if (poll(&p, 1, 100) <= 0)
            continue;
          ssize_t n = recv(faulty.client.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
          if (n <= 0)
            break;
          got.append(buffer, static_cast<size_t>(n));
        }
        for (size_t i = 0; i < got.size(); ++i)
          ASSERT_EQ(static_cast<uint8_t>(got[i]), PatternByte(i)) << "byte " << i;
      }
      while (queue.GetFanout().GetParkedCount() == 2 && SecondsSince(start) < c.within + 5)
        rest.ReadUntil(UINT64_MAX, 0.1);
      if (feeder)
        written = feeder->Written();
    }
    const double ended = SecondsSince(start);
    EXPECT_EQ(queue.GetFanout().GetParkedCount(), 1);
    EXPECT_GE(ended, c.atLeast);
    EXPECT_LT(ended, c.within);
    if (written > 0) {
      rest.ReadUntil(written, 5);
      EXPECT_EQ(rest.Largest(), written) << "the other listener kept up";
    }
    EXPECT_EQ(rest.Mismatches(), 0u);
  }
}

}  // namespace
