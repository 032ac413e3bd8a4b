// The listener protocol over real TCP connections: bytes arrive complete
// and in order, a stop ends the stream within a wait slice, and a listener
// that stops reading is dropped after the send time-out while another
// listener of the same ring goes on.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "audio/audiolistensocket.h"
#include "audio/fakeencoder.h"
#include "base/uniquefd.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A connected loopback pair; small buffers so that a listener that does
// not read blocks its sender soon.
struct LConnection {
  LUniqueFD server;
  LUniqueFD client;
};

LConnection Connect()
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
  int small = 4096;
  setsockopt(c.client.Get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  if (connect(c.client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return c;
  c.server = LUniqueFD(accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  setsockopt(c.server.Get(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  return c;
}

struct LTestProcess {
  std::atomic<bool> stop{false};
  bool IsToStop() const { return stop.load(); }
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
    process_.stop = true;
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

// Writes pattern blocks in real time until stopped.
class LPatternFeeder {
public:
  explicit LPatternFeeder(LAudioQueue& queue)
  {
    thread_ = std::thread([this, &queue] {
      uint64_t offset = 0;
      while (!stop_.load()) {
        std::vector<int> samples = PatternSamples(offset, 4410);
        queue.Write(samples.data(), 4410);
        offset += 4410 * 4;
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

TEST_F(ListenSocketTest, StreamArrivesInOrderAndStopsWithinASlice)
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
  // Caught up and waiting: the stop ends the stream within a slice.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto start = Clock::now();
  sender.Stop();
  EXPECT_LT(SecondsSince(start), kListenerWaitSliceMs / 1000.0 + 0.15);
  EXPECT_EQ(sender.Result(), kProcessStopped);
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
