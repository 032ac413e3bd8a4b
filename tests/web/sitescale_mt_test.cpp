// The site under connection load: a burst of listeners, a flood of idle
// connections and requests that never finish; listeners that stream are
// never cut by any of it.
#include <future>
#include <sys/resource.h>

#include "audio/audiofanout.h"
#include "audio/fakeencoder.h"
#include "base/filelimit.h"
#include "common/waitfor.h"
#include "sitetest.h"

using namespace sitetest;

namespace {

constexpr int kFrames = 4410;  // one 100 ms block

std::string Pattern(uint64_t from, uint64_t length)
{
  std::string bytes(length, 0);
  for (uint64_t i = 0; i < length; ++i)
    bytes[i] = static_cast<char>(PatternByte(from + i));
  return bytes;
}

// A generous bound on every awaited event.
constexpr int kDeadlineMs = 20000;

class SiteScaleTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ResetSiteSettings();
    gpAudioEngine = &engine_;
  }
  void TearDown() override
  {
    server_.reset();
    gpAudioEngine = nullptr;
    engine_.Stop();
  }
  LAudioQueue& StartQueue()
  {
    server_ = std::make_unique<SiteServer>();
    LAudioQueue& queue = *engine_.GetAudioQueue(0, 56);
    queue.Start(56);
    return queue;
  }
  // One block of the pattern through the pass-through encoder.
  void WriteBlock(LAudioQueue& queue)
  {
    std::vector<int> samples = PatternSamples(written_, kFrames);
    ASSERT_EQ(queue.Write(samples.data(), kFrames), kFrames * 4);
    written_ += kFrames * 4;
  }
  std::unique_ptr<Client> Listen()
  {
    auto client = std::make_unique<Client>(server_->Port());
    EXPECT_TRUE(client->Send("GET /velorin.mp3?src=1&kbps=56 HTTP/1.1\r\nHost: h\r\n\r\n"));
    EXPECT_EQ(client->ReadBytes(kAudioHeader.size(), 20000), kAudioHeader);
    return client;
  }
  // The listener has heard everything written so far, in order.
  void HearsAll(Client& listener, std::string& heard)
  {
    heard += listener.ReadBytes(written_ - heard.size(), 10000);
    ASSERT_TRUE(heard == Pattern(0, written_)) << heard.size() << " of " << written_ << " bytes";
  }

  LFakeEncoder encoder_{"exec cat"};
  LAudioEngine engine_;
  std::unique_ptr<SiteServer> server_;
  uint64_t written_ = 0;
};

TEST_F(SiteScaleTest, BurstOfTwoThousandListenersIsServedAndParkedWithoutAThreadEach)
{
  constexpr int kListeners = 2000;
  ASSERT_GE(LRaiseOpenFileLimit(), 3u * kListeners + 64);
  LAudioQueue& queue = StartQueue();
  WriteBlock(queue);
  ASSERT_TRUE(Eventually([&] { return queue.GetPublished() > 0; }, kDeadlineMs));
  const int threads = CountThreads();
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < kListeners; ++i) {
    clients.push_back(std::make_unique<Client>(server_->Port()));
    ASSERT_TRUE(clients.back()->Send("GET /velorin.mp3?src=1&kbps=56 HTTP/1.1\r\nHost: h\r\n\r\n")) << i;
  }
  const std::string expected = kAudioHeader + Pattern(0, written_);
  for (int i = 0; i < kListeners; ++i)
    ASSERT_EQ(clients[i]->ReadBytes(expected.size(), 20000), expected) << i;
  EXPECT_TRUE(Eventually([&] { return queue.GetFanout().GetParkedCount() == kListeners; }, kDeadlineMs));
  EXPECT_TRUE(Eventually([&] { return CountThreads() <= threads + 1; }, kDeadlineMs))
      << "more than the fan-out's one thread";
}

// A client holding more idle connections than the server has descriptors:
// the listener keeps streaming, and once the client lets go the site
// answers again at once (a server that lost its listening socket would
// answer only after its 30 s retry).
TEST_F(SiteScaleTest, IdleFloodLeavesListenersStreamingAndTheSiteAnswersAfterIt)
{
  LAudioQueue& queue = StartQueue();
  auto listener = Listen();
  std::string heard;
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit lowered = saved;
  lowered.rlim_cur = static_cast<rlim_t>(CountDescriptors() + 120);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  auto flood = std::async(std::launch::async, [this] {
    // The flood inherits the lowered limit and raises its own.
    return CommandOutput("python3 -c 'import resource, socket, time\n"
                         "h = resource.getrlimit(resource.RLIMIT_NOFILE)[1]\n"
                         "resource.setrlimit(resource.RLIMIT_NOFILE, (h, h))\n"
                         "held = []\n"
                         "for i in range(600):\n"
                         "  s = socket.socket(); s.setblocking(False); s.connect_ex((\"127.0.0.1\", " +
                         std::to_string(server_->Port()) +
                         ")); held.append(s)\n"
                         "time.sleep(3)\n"
                         "print(len(held))'");
  });
  while (flood.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    WriteBlock(queue);
    HearsAll(*listener, heard);
  }
  EXPECT_EQ(flood.get(), "600\n");
  const uint32_t ended = GetTickCount();
  EXPECT_TRUE(Eventually([&] { return server_->Get("/").rfind("HTTP/1.1 200 OK", 0) == 0; }, kDeadlineMs));
  EXPECT_LT(nettest::Since(ended), 10000u) << "the site came back only after its listening socket's retry";
  setrlimit(RLIMIT_NOFILE, &saved);
  WriteBlock(queue);
  HearsAll(*listener, heard);
}

// A trickling request is cut at the head's deadline however often it sends;
// past the cap the oldest waiting connections are cut; the listener is not.
TEST_F(SiteScaleTest, WaitingConnectionsAreCutAtTheDeadlineAndPastTheCap)
{
  LSettingSet(VLKeys::WebServerRequestHeadMs, 1500);
  LSettingSet(VLKeys::WebServerMaxWaiting, 10);
  LAudioQueue& queue = StartQueue();
  auto listener = Listen();
  Client trickling(server_->Port());
  ASSERT_TRUE(trickling.Send("GET / HTTP/1.1\r\n"));
  const uint32_t start = GetTickCount();
  while (!trickling.closed() && nettest::Since(start) < 20000) {
    trickling.Send("X");
    trickling.ReadBytes(1, 300);
  }
  EXPECT_TRUE(trickling.closed());
  EXPECT_GE(nettest::Since(start), 1400u) << "cut before its deadline";

  std::vector<std::unique_ptr<Client>> idle;
  for (int i = 0; i < 14; ++i) {
    idle.push_back(std::make_unique<Client>(server_->Port()));
    // Each one waits before the next arrives, so the oldest are known.
    Eventually([&] { return server_->Server().GetWaitingCount() >= std::min(i + 1, 10); }, kDeadlineMs);
  }
  for (int i = 0; i < 14; ++i) {
    idle[i]->ReadBytes(1, i < 4 ? 10000 : 0);
    EXPECT_EQ(idle[i]->closed(), i < 4) << i;
  }
  std::string heard;
  WriteBlock(queue);
  HearsAll(*listener, heard);
}

}  // namespace
