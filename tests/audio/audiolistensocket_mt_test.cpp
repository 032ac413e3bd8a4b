// The listener protocol over real TCP connections: bytes arrive complete
// and in order, for one listener and for hundreds at once through the
// fan-out; a stop ends the stream at once; a listener that stops reading,
// during its start burst or once parked with the fan-out, is dropped after
// the send time-out while another listener of the same ring goes on; a
// parked listener that hangs up ends its stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
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

// A process stopped from outside, with the stop signal a connection
// thread has.
struct LTestProcess {
  std::atomic<bool> stop{false};
  LSignalObject signal;
  bool IsToStop() const { return stop.load(); }
  LSignalObjectRef GetStopSignal() const { return signal.GetRef(); }
  void Stop()
  {
    stop = true;
    signal.Signal();
  }
};

// Streams the queue to conn.server on a thread; the result and the time
// it took are kept.
class LSender {
public:
  LSender(const LAudioQueue& queue, int socket)
  {
    thread_ = std::thread([this, &queue, socket] {
      auto start = Clock::now();
      result_ = ProcessSendAudioQueue(process_, LIPSocketTCPRef(socket), queue);
      seconds_ = SecondsSince(start);
      done_ = true;
    });
  }
  ~LSender() { Stop(); }
  void Stop()
  {
    process_.Stop();
    if (thread_.joinable())
      thread_.join();
  }
  void Join() { thread_.join(); }
  bool Done() const { return done_.load(); }
  int Result() const { return result_.load(); }
  double Seconds() const { return seconds_.load(); }

private:
  LTestProcess process_;
  std::atomic<bool> done_{false};
  std::atomic<int> result_{-1};
  std::atomic<double> seconds_{0};
  std::thread thread_;
};

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

TEST_F(ListenSocketTest, StreamArrivesInOrderAndStopsAtOnce)
{
  LAudioQueue queue;
  queue.Start(56);
  LConnection conn = Connect();
  ASSERT_TRUE(conn.server.IsValid());
  LSender sender(queue, conn.server.Get());
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
  // Caught up and parked with the fan-out: the stop ends the stream at once.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(queue.GetFanout().GetParkedCount(), 1);
  auto start = Clock::now();
  sender.Stop();
  EXPECT_LT(SecondsSince(start), 0.15);
  EXPECT_EQ(sender.Result(), kProcessStopped);
  EXPECT_EQ(queue.GetFanout().GetParkedCount(), 0);
}

TEST_F(ListenSocketTest, ListenerThatStopsReadingIsDroppedOthersGoOn)
{
  LAudioQueue queue;
  queue.Start(56);
  LConnection reading = Connect();
  LConnection stalled = Connect();
  ASSERT_TRUE(reading.server.IsValid() && stalled.server.IsValid());
  LPatternFeeder feeder(queue);
  LSender readingSender(queue, reading.server.Get());
  LSender stalledSender(queue, stalled.server.Get());
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
  // Its buffers fill within a second; then ten seconds without progress.
  EXPECT_GE(stalledSender.Seconds(), kListenerSendTimeoutMs / 1000.0);
  EXPECT_LT(stalledSender.Seconds(), kListenerSendTimeoutMs / 1000.0 + 3);
  EXPECT_FALSE(readingSender.Done());
  EXPECT_GT(received, feeder.Written() / 2) << "the other listener kept up";
}

}  // namespace

namespace {

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

TEST_F(ListenSocketTest, ThreeHundredListenersEachReceiveEverySlotInOrder)
{
  constexpr int kListeners = 300;
  ASSERT_GE(LRaiseOpenFileLimit(), 4u * kListeners + 64);
  LAudioQueue queue;
  queue.Start(56);
  // Attached to the empty ring, every listener must receive the whole
  // stream from its first byte, parked with the fan-out.
  std::vector<LConnection> connections;
  std::vector<std::unique_ptr<LSender>> senders;
  for (int i = 0; i < kListeners; ++i) {
    connections.push_back(Connect(0));
    ASSERT_TRUE(connections.back().server.IsValid()) << i;
    senders.push_back(std::make_unique<LSender>(queue, connections.back().server.Get()));
  }
  for (int i = 0; i < 200 && queue.GetFanout().GetParkedCount() < kListeners; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(queue.GetFanout().GetParkedCount(), kListeners);

  std::vector<int> clients;
  for (const LConnection& c : connections)
    clients.push_back(c.client.Get());
  LPatternReceiver receiver(clients);
  uint64_t written = 0;
  {
    // One chunk per 100 ms block, as the encoder gives at the usual rates.
    LPatternFeeder feeder(queue, 441);
    receiver.ReadUntil(UINT64_MAX, 10);
    written = feeder.Written();
  }
  receiver.ReadUntil(written, 5);
  EXPECT_GE(queue.GetPublished(), 95u);
  EXPECT_EQ(receiver.Smallest(), written);
  EXPECT_EQ(receiver.Largest(), written);
  EXPECT_EQ(receiver.Mismatches(), 0u);
  EXPECT_EQ(receiver.Closed(), 0);
  for (auto& sender : senders)
    EXPECT_FALSE(sender->Done());
}

TEST_F(ListenSocketTest, ParkedListenerThatStopsReadingIsDroppedAfterTheTimeOut)
{
  LAudioQueue queue;
  queue.Start(56);
  LConnection reading = Connect();
  LConnection stalling = Connect();
  ASSERT_TRUE(reading.server.IsValid() && stalling.server.IsValid());
  LSender readingSender(queue, reading.server.Get());
  LSender stallingSender(queue, stalling.server.Get());
  LPatternFeeder feeder(queue, 441);
  // Both follow live for a while, parked with the fan-out.
  LPatternReceiver warmUp({reading.client.Get(), stalling.client.Get()});
  warmUp.ReadUntil(UINT64_MAX, 1.5);
  ASSERT_EQ(queue.GetFanout().GetParkedCount(), 2);
  ASSERT_GT(warmUp.Smallest(), 0u);

  // Then one stops reading; its buffers fill within a second.
  auto start = Clock::now();
  LPatternReceiver rest({reading.client.Get()});
  while (!stallingSender.Done() && SecondsSince(start) < 20)
    rest.ReadUntil(UINT64_MAX, 0.2);
  ASSERT_TRUE(stallingSender.Done());
  EXPECT_EQ(stallingSender.Result(), kProcessFailed);
  EXPECT_GE(SecondsSince(start), kListenerSendTimeoutMs / 1000.0);
  EXPECT_LT(SecondsSince(start), kListenerSendTimeoutMs / 1000.0 + 3);
  EXPECT_FALSE(readingSender.Done());
  EXPECT_EQ(queue.GetFanout().GetParkedCount(), 1);
  EXPECT_GT(rest.Largest(), 10 * 441 * 4 * 8u) << "the other listener kept up";
}

TEST_F(ListenSocketTest, ParkedListenerThatHangsUpEndsItsStream)
{
  LAudioQueue queue;
  queue.Start(56);
  for (bool live : {true, false}) {
    SCOPED_TRACE(live ? "ring advancing" : "ring idle");
    LConnection conn = Connect(0);
    ASSERT_TRUE(conn.server.IsValid());
    LSender sender(queue, conn.server.Get());
    std::unique_ptr<LPatternFeeder> feeder;
    if (live)
      feeder = std::make_unique<LPatternFeeder>(queue, 441);
    for (int i = 0; i < 100 && queue.GetFanout().GetParkedCount() < 1; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(queue.GetFanout().GetParkedCount(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    auto start = Clock::now();
    conn.client.Reset();
    while (!sender.Done() && SecondsSince(start) < 5)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(sender.Done());
    // The next send meets the reset, or the idle ring confirms the close.
    EXPECT_LT(SecondsSince(start), (kListenerSendIntervalMs + kListenerHangUpIdleMs) / 1000.0 + 0.5);
    EXPECT_EQ(queue.GetFanout().GetParkedCount(), 0);
  }
}

}  // namespace
