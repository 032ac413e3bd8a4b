#include <gtest/gtest.h>

#include <algorithm>
#include <poll.h>

#include "audio/audiofanout.h"
#include "audio/audiolistensocket.h"
#include "audio/audiotest.h"
#include "audio/fakeencoder.h"
#include "base/filelimit.h"

namespace {

// A connected loopback pair; with small buffers (0: the system's) a listener that does not read soon blocks its sender.
struct LConnection {
  explicit LConnection(int buffers = 4096)
  {
    nettest::Listener listener;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(listener.Port());
    if (buffers > 0)
      setsockopt(client.Get(), SOL_SOCKET, SO_RCVBUF, &buffers, sizeof buffers);
    if (connect(client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      server.Reset(listener.Accept());
    if (buffers > 0)
      setsockopt(server.Get(), SOL_SOCKET, SO_SNDBUF, &buffers, sizeof buffers);
  }
  LUniqueFD client{socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  LUniqueFD server;
};

class LSender {
public:
  LSender(const LAudioQueue& queue, LUniqueFD& socket) : socket_(socket.Release())
  {
    thread_ = std::jthread([this, &queue] {
      uint32_t start = GetTickCount();
      LAudioListener listener(queue);
      LProcessResult result = ProcessSendAudioBurst(process_, LIPSocketTCPRef(socket_.Get()), listener);
      if (result == kProcessDone && !queue.GetFanout().Adopt(std::move(socket_), listener, "test"))
        result = kProcessFailed;
      socket_.Close();
      ms_ = Since(start);
      result_ = result;
    });
  }
  ~LSender() { process_.stop = true; }
  int Result() const { return result_.load(); }  // -1 until done
  uint32_t Ms() const { return ms_.load(); }

private:
  LUniqueFD socket_;
  nettest::StopFlag process_;
  std::atomic<int> result_{-1};
  std::atomic<uint32_t> ms_{0};
  std::jthread thread_;
};

class LPatternFeeder {
public:
  explicit LPatternFeeder(LAudioQueue& queue, int frames = 4410)
      : thread_([this, &queue, frames](std::stop_token stop) {
          for (uint64_t offset = 0; !stop.stop_requested();
               std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            queue.Write(PatternSamples(offset, frames).data(), frames);
            written_ = offset += static_cast<uint64_t>(frames) * 4;
          }
        })
  {
  }
  uint64_t Written() const { return written_.load(); }

private:
  std::atomic<uint64_t> written_{0};
  std::jthread thread_;
};

class LPatternReceiver {
public:
  explicit LPatternReceiver(const std::vector<int>& clients) : received_(clients.size(), 0), last_(clients.size())
  {
    for (int fd : clients)
      fds_.push_back({fd, POLLIN, 0});
  }
  void ReadUntil(uint64_t total, uint32_t ms)
  {
    std::vector<char> buffer(65536);
    for (uint32_t start = GetTickCount(); Smallest() < total && Since(start) < ms && closed_ < int(fds_.size());) {
      if (poll(fds_.data(), fds_.size(), 20) <= 0)
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
        for (ssize_t j = 0; j < n; ++j) {
          auto byte = static_cast<uint8_t>(buffer[size_t(j)]);
          mismatches_ += received_[i] + uint64_t(j) > 0 && byte != PatternByte(last_[i] + 1u);
          last_[i] = byte;
        }
        received_[i] += static_cast<uint64_t>(n);
      }
    }
  }
  uint64_t Smallest() const { return *std::min_element(received_.begin(), received_.end()); }
  uint64_t Largest() const { return *std::max_element(received_.begin(), received_.end()); }
  uint64_t mismatches_ = 0;
  int closed_ = 0;

private:
  std::vector<pollfd> fds_;
  std::vector<uint64_t> received_;
  std::vector<uint8_t> last_;
};

class ListenSocketTest : public ::testing::Test {
protected:
  ListenSocketTest() { queue_.Start(56); }
  LFakeEncoder encoder_{"exec cat"};
  LAudioQueue queue_;
};

TEST_F(ListenSocketTest, ListenerThatStopsReadingDuringItsBurstIsDroppedOthersGoOn)
{
  LConnection reading, stalled;
  ASSERT_TRUE(reading.server.IsValid() && stalled.server.IsValid());
  LPatternFeeder feeder(queue_);
  // A full ring: the stalled listener's burst is more than its buffers take.
  ASSERT_TRUE(WaitFor([&] { return queue_.GetPublished() >= 40; }));
  LSender readingSender(queue_, reading.server);
  LSender stalledSender(queue_, stalled.server);
  LPatternReceiver receiver({reading.client.Get()});
  for (uint32_t start = GetTickCount(); stalledSender.Result() == -1 && Since(start) < 30000;)
    receiver.ReadUntil(UINT64_MAX, 50);
  EXPECT_EQ(stalledSender.Result(), kProcessFailed);
  EXPECT_GE(stalledSender.Ms(), uint32_t(kListenerSendTimeoutMs)) << "ended only after the time without progress";
  EXPECT_EQ(queue_.GetFanout().GetParkedCount(), 1) << "the reading one is parked";
  EXPECT_GT(receiver.Largest(), feeder.Written() / 2) << "the other listener kept up";
  EXPECT_EQ(receiver.mismatches_, 0u);
}

TEST_F(ListenSocketTest, FiveHundredParkedListenersReceiveEverySlotInOrderWithoutAThreadEach)
{
  constexpr int kListeners = 500;
  ASSERT_GE(LRaiseOpenFileLimit(), 2u * kListeners + 64);
  std::thread([] {}).join();  // sanitizer helper threads start with the first thread
  const int threads = CountThreads();
  std::vector<std::unique_ptr<LConnection>> connections;
  std::vector<std::unique_ptr<LSender>> senders;
  std::vector<int> clients;
  for (int i = 0; i < kListeners; ++i) {
    connections.push_back(std::make_unique<LConnection>(0));
    ASSERT_TRUE(connections.back()->server.IsValid()) << i;
    clients.push_back(connections.back()->client.Get());
    senders.push_back(std::make_unique<LSender>(queue_, connections.back()->server));
  }
  ASSERT_TRUE(WaitFor([&] { return queue_.GetFanout().GetParkedCount() == kListeners; }, 30));
  senders.clear();  // joins: every connection thread has ended
  EXPECT_LE(CountThreads(), threads + 1) << "the fan-out's thread, nothing per listener";
  LPatternReceiver receiver(clients);
  uint64_t written = 0;
  {
    LPatternFeeder feeder(queue_, 441);  // one chunk per block, as the encoder gives
    receiver.ReadUntil(UINT64_MAX, 6000);
    written = feeder.Written();
  }
  receiver.ReadUntil(written, 10000);
  EXPECT_GE(queue_.GetPublished(), 50u);
  EXPECT_EQ(receiver.Smallest(), written);
  EXPECT_EQ(receiver.Largest(), written);
  EXPECT_EQ(receiver.mismatches_, 0u);
  EXPECT_EQ(receiver.closed_, 0);
  EXPECT_EQ(queue_.GetFanout().GetParkedCount(), kListeners);
}

TEST_F(ListenSocketTest, FanoutEndsParkedListenersThatStallHangUpOrAreLappedAndAllOnEndAll)
{
  enum class Fault { Stall, HangUpLive, HangUpIdle, Lapped, EndAll };
  const struct {
    Fault fault;
    const char* name;
    uint32_t atLeastMs;  // not before: the no-progress time
    uint32_t withinMs;   // a hang-up is noticed well before that time
  } cases[] = {
      {Fault::Stall, "stops reading", kListenerSendTimeoutMs, kListenerSendTimeoutMs + 20000},
      {Fault::HangUpLive, "hangs up, ring advancing", 0, kListenerSendTimeoutMs},
      {Fault::HangUpIdle, "hangs up, ring idle", 0, kListenerSendTimeoutMs},
      {Fault::Lapped, "falls a ring behind", 0, kListenerSendTimeoutMs},
      {Fault::EndAll, "the web server stops", 0, kListenerSendTimeoutMs},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LAudioQueue queue;
    queue.Start(56);
    LConnection reading(0), faulty;
    LSender readingSender(queue, reading.server), faultySender(queue, faulty.server);
    ASSERT_TRUE(WaitFor([&] { return queue.GetFanout().GetParkedCount() == 2; }));
    LPatternReceiver rest({reading.client.Get()});
    uint32_t start = GetTickCount();
    uint64_t written = 0;
    {
      std::unique_ptr<LPatternFeeder> feeder;
      if (c.fault == Fault::Stall || c.fault == Fault::HangUpLive)
        feeder = std::make_unique<LPatternFeeder>(queue, 441);
      if (c.fault == Fault::HangUpLive || c.fault == Fault::HangUpIdle)
        faulty.client.Reset();
      if (c.fault == Fault::Lapped) {
        // More than a ring while it does not read; then it reads again and must get the end, not a jump.
        constexpr int kFrames = LAudioQueue::kSlotBytes * 8 / 4;
        for (uint64_t offset = 0; queue.GetPublished() < LAudioQueue::kSlots * 3 / 2; offset += kFrames * 4) {
          ASSERT_EQ(queue.Write(PatternSamples(offset, kFrames).data(), kFrames), kFrames * 4);
          rest.ReadUntil(UINT64_MAX, 50);
        }
        LPatternReceiver lapped({faulty.client.Get()});
        lapped.ReadUntil(UINT64_MAX, c.withinMs);
        EXPECT_EQ(lapped.closed_, 1);
        EXPECT_EQ(lapped.mismatches_, 0u);
      }
      if (c.fault == Fault::EndAll) {
        for (uint64_t offset = 0; offset < 4 * 441 * 4; offset += 441 * 4)
          ASSERT_EQ(queue.Write(PatternSamples(offset, 441).data(), 441), 441 * 4);
        rest.ReadUntil(4 * 441 * 4, 10000);
        queue.Start(56);
        EXPECT_EQ(queue.GetFanout().GetParkedCount(), 2);
        queue.GetFanout().EndAll();
      }
      while (queue.GetFanout().GetParkedCount() == 2 && Since(start) < c.withinMs + 5000)
        rest.ReadUntil(UINT64_MAX, 100);
      written = feeder ? feeder->Written() : 0;
    }
    const uint32_t ended = Since(start);
    EXPECT_EQ(queue.GetFanout().GetParkedCount(), c.fault == Fault::EndAll ? 0 : 1);
    EXPECT_GE(ended, c.atLeastMs);
    EXPECT_LT(ended, c.withinMs);
    if (c.fault == Fault::EndAll) {
      rest.ReadUntil(UINT64_MAX, 10000);
      EXPECT_EQ(rest.closed_, 1);
    } else if (written > 0) {
      rest.ReadUntil(written, 10000);
      EXPECT_EQ(rest.Largest(), written) << "the other listener kept up";
    }
    EXPECT_EQ(rest.mismatches_, 0u);
  }
}

}  // namespace
