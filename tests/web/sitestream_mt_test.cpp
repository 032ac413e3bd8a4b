// Live streams through the site: listeners on real sockets follow an
// encoder queue fed from the test.  A pass-through encoder makes every byte
// checkable (order, several listeners, departures); the real encoder
// shows a player receiving decodable MP3 of the input.
#include <cmath>
#include <future>
#include <numbers>
#include <sys/resource.h>

#include "audio/audiofanout.h"
#include "audio/fakeencoder.h"
#include "audio/mp3check.h"
#include "base/filelimit.h"
#include "sitelive.h"

using namespace sitetest;

namespace {

std::string Pattern(uint64_t from, uint64_t length)
{
  std::string bytes(length, 0);
  for (uint64_t i = 0; i < length; ++i)
    bytes[i] = static_cast<char>(PatternByte(from + i));
  return bytes;
}

class SiteStreamTest : public LiveSiteTest {
protected:
  // A listener that has sent its request and read the response header.
  std::unique_ptr<Client> Listen(const std::string& target)
  {
    auto client = Connect(target);
    EXPECT_EQ(client->ReadBytes(kAudioHeader.size()), kAudioHeader);
    return client;
  }

  // Waits until the queue has published nothing new for 300 ms.
  static uint64_t SettledPublished(const LAudioQueue& queue)
  {
    uint64_t last = queue.GetPublished();
    for (int quiet = 0; quiet < 300; quiet += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (queue.GetPublished() != last) {
        last = queue.GetPublished();
        quiet = 0;
      }
    }
    return last;
  }
};

TEST_F(SiteStreamTest, ListenersReceiveTheRingInOrder)
{
  LAudioQueue& queue = StartQueue();
  WriteBlock(queue);  // fewer than 32 chunks: a new listener gets all of them
  SettledPublished(queue);
  auto first = Listen("/velorin.mp3?src=1&kbps=56");
  auto second = Listen("/velorin.mp3?src=1&kbps=64");
  EXPECT_TRUE(LogShows("Streaming Velorin Live 1 (56 kpbs)\r\n"));
  std::string a, b;
  for (int block = 0; block < 30; ++block) {
    if (block > 0)
      WriteBlock(queue);
    // Read as it comes, so that no listener falls a ring behind.
    a += first->ReadBytes(written_ - a.size(), 5000);
    b += second->ReadBytes(written_ - b.size(), 5000);
    ASSERT_EQ(a.size(), written_);
  }
  EXPECT_TRUE(a == Pattern(0, written_));
  EXPECT_TRUE(b == a);

  // A listener that leaves ends its stream at the next sends.
  first->Close();
  for (int block = 0; block < 3; ++block)
    WriteBlock(queue);
  EXPECT_TRUE(LogShows("Streaming Velorin Live 1 stopped\r\n"));
  EXPECT_EQ(second->ReadBytes(written_ - b.size(), 5000), Pattern(b.size(), written_ - b.size()));
}

TEST_F(SiteStreamTest, CurlPlaysTheStream)
{
  LAudioQueue& queue = StartQueue();
  auto curl = std::async(std::launch::async, [this] {
    return Shell("curl -s -N --max-time 3 -D /tmp/head -o /tmp/body '" + server_->Url("/velorin.mp3?src=1&kbps=56") +
                 "'; cat /tmp/head");
  });
  ASSERT_TRUE(LogShows("Streaming Velorin Live 1 (56 kpbs)\r\n"));
  for (int block = 0; block < 10; ++block) {
    WriteBlock(queue);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(curl.get(), kAudioHeader);
  std::string body = Shell("cat /tmp/body");
  EXPECT_EQ(body.size(), written_);
  EXPECT_TRUE(body == Pattern(0, body.size()));
  EXPECT_TRUE(LogShows("Streaming Velorin Live 1 stopped\r\n"));
}

TEST_F(SiteStreamTest, IdleStreamsEndWhenTheListenerLeavesOrTheServerStops)
{
  // Input 2 has no running encoder: its ring never advances.
  const int threads = CountThreads();
  auto leaving = Listen("/velorin.mp3?src=2&kbps=56");
  leaving->Close();
  EXPECT_TRUE(LogShows("Streaming Velorin Live 2 stopped\r\n"));
  // The connection's thread ends; the queue's fan-out thread, started for
  // the listener, stays with the queue.
  for (int i = 0; i < 100 && CountThreads() > threads + 1; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_LE(CountThreads(), threads + 1);

  // One that stays is ended by the server's stop.
  LSettingSet(VLKeys::LiveName, 3, "Three");
  auto staying = Listen("/velorin.mp3?src=3");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // past the hang-up checks
  EXPECT_FALSE(staying->SeesClose(0));
  auto start = std::chrono::steady_clock::now();
  server_->Server().Stop();
  EXPECT_TRUE(staying->SeesClose(200)) << "parked: ended by the server's stop at once";
  EXPECT_LT(Milliseconds(start), 1000);
  EXPECT_TRUE(LogShows("Streaming Three stopped\r\n"));
}

// A burst of 2,000 listeners within about a second: every one gets its
// answer and start burst and is then parked with the fan-out, and no
// connection thread stays behind.
TEST_F(SiteStreamTest, BurstOfTwoThousandListenersIsServed)
{
  constexpr int kListeners = 2000;
  ASSERT_GE(LRaiseOpenFileLimit(), 3u * kListeners + 64);
  LAudioQueue& queue = StartQueue();
  WriteBlock(queue);
  SettledPublished(queue);
  const int threads = CountThreads();
  std::vector<std::unique_ptr<Client>> clients;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kListeners; ++i) {
    clients.push_back(std::make_unique<Client>(server_->Port()));
    ASSERT_TRUE(clients.back()->Send("GET /velorin.mp3?src=1&kbps=56 HTTP/1.1\r\nHost: h\r\n\r\n")) << i;
  }
  std::printf("%d connects took %ld ms\n", kListeners, Milliseconds(start));
  const std::string expected = kAudioHeader + Pattern(0, written_);
  for (int i = 0; i < kListeners; ++i)
    ASSERT_EQ(clients[i]->ReadBytes(expected.size(), 20000), expected) << i;
  for (int i = 0; i < 2000 && queue.GetFanout().GetParkedCount() < kListeners; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(queue.GetFanout().GetParkedCount(), kListeners);
  for (int i = 0; i < 500 && CountThreads() > threads + 1; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_LE(CountThreads(), threads + 1) << "the fan-out's thread only";
}

// A client holding far more idle connections than the server has
// descriptors: the listener keeps streaming, and once the client lets go
// the site answers again at once (the listening socket was kept).
TEST_F(SiteStreamTest, IdleFloodLeavesListenersStreamingAndTheSiteAnswersAfterIt)
{
  LAudioQueue& queue = StartQueue();
  auto listener = Listen("/velorin.mp3?src=1&kbps=56");
  std::string heard;
  auto keepStreaming = [&] {
    WriteBlock(queue);
    heard += listener->ReadBytes(written_ - heard.size(), 5000);
    ASSERT_EQ(heard.size(), written_);
  };
  keepStreaming();
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit lowered = saved;
  lowered.rlim_cur = static_cast<rlim_t>(CountDescriptors() + 120);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  // The flood raises its own limit; it holds 600 connections for 3 s.
  auto flood = std::async(std::launch::async, [this] {
    return Shell("python3 -c 'import resource, socket, time\n"
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
  // Each block reaches the listener at the fan-out's next pass.
  while (flood.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    keepStreaming();
  EXPECT_EQ(flood.get(), "600\n");
  const auto ended = std::chrono::steady_clock::now();
  std::string page;
  // A server that lost its listening socket would answer only after its
  // 30 s retry; one that kept it answers as soon as the backlog is read,
  // well inside this bound even on a loaded machine.
  while (page.rfind("HTTP/1.1 200 OK", 0) != 0 && Milliseconds(ended) < 10000)
    page = server_->Get("/");
  EXPECT_LT(Milliseconds(ended), 5000) << "the site answered again only after this long";
  setrlimit(RLIMIT_NOFILE, &saved);
  keepStreaming();
  EXPECT_TRUE(heard == Pattern(0, written_));
}

// Connections that never finish their request: a trickling one is cut at
// the head's deadline however often it sends, and past the cap the oldest
// waiting ones are cut; a streaming listener is neither.
TEST_F(SiteStreamTest, WaitingConnectionsAreCutAtTheDeadlineAndPastTheCap)
{
  server_.reset();
  LSettingSet(VLKeys::WebServerRequestHeadMs, 1500);
  LSettingSet(VLKeys::WebServerMaxWaiting, 10);
  server_ = std::make_unique<SiteServer>();
  LAudioQueue& queue = StartQueue();
  auto listener = Listen("/velorin.mp3?src=1&kbps=56");

  Client trickling(server_->Port());
  ASSERT_TRUE(trickling.Send("GET / HTTP/1.1\r\n"));
  const auto start = std::chrono::steady_clock::now();
  bool cut = false;
  while (!cut && Milliseconds(start) < 10000) {
    trickling.Send("X");
    cut = trickling.SeesClose(300);
  }
  EXPECT_TRUE(cut);
  EXPECT_GE(Milliseconds(start), 1400) << "cut before its deadline";

  std::vector<std::unique_ptr<Client>> idle;
  for (int i = 0; i < 14; ++i) {
    idle.push_back(std::make_unique<Client>(server_->Port()));
    // Each one waits before the next arrives, so the oldest are known.
    for (int w = 0; w < 200 && server_->Server().GetWaitingCount() < std::min(i + 1, 10); ++w)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (int i = 0; i < 14; ++i)
    EXPECT_EQ(idle[i]->SeesClose(i < 4 ? 3000 : 0), i < 4) << i;
  WriteBlock(queue);
  EXPECT_EQ(listener->ReadBytes(written_, 5000), Pattern(0, written_));
}

// The real encoder behind the same path: a player receives MP3 that
// decodes to the tone the input carried.
TEST(SiteStreamEncoderTest, APlayerHearsTheInput)
{
  ResetSiteSettings();
  LAudioEngine engine;
  gpAudioEngine = &engine;
  SiteServer server;
  LAudioQueue* queue = engine.GetAudioQueue(0, 56);
  queue->Start(56);
  ASSERT_GT(queue->GetEncoderPid(), 0) << "the encoder component is missing";

  auto curl = std::async(std::launch::async, [&server] {
    return Shell("curl -s -N --max-time 4 -o /tmp/live.mp3 '" + server.Url("/velorin.mp3?src=1&kbps=56") + "'");
  });
  ASSERT_TRUE(LogShows("Streaming Velorin Live 1 (56 kpbs)\r\n"));
  std::vector<int> samples(kBlockFrames * 2);
  long frame = 0;
  for (int block = 0; block < 25; ++block) {
    for (int i = 0; i < kBlockFrames; ++i, ++frame) {
      int value = static_cast<int>(std::lround(12000 * std::sin(2 * std::numbers::pi * 1000 * frame / 44100.0))) * 16;
      samples[2 * i] = samples[2 * i + 1] = value;
    }
    ASSERT_EQ(queue->Write(samples.data(), kBlockFrames), static_cast<int>(kBlockFrames * 4));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
  curl.get();
  std::vector<int16_t> decoded = DecodeMp3File("/tmp/live.mp3");
  ASSERT_GT(decoded.size(), 44100u);
  EXPECT_NEAR(ToneFrequency(decoded, 44100, 4410, decoded.size() - 4410), 1000.0, 5.0);
  server.Server().Stop();
  gpAudioEngine = nullptr;
  engine.Stop();
}

} // namespace
