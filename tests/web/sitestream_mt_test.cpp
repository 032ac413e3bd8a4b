// Live streams through the site: listeners on real sockets follow an
// encoder queue fed from the test.  A pass-through encoder makes every byte
// checkable (order, several listeners, departures); the real encoder
// shows a player receiving decodable MP3 of the input.
#include <cmath>
#include <future>
#include <numbers>

#include "audio/mp3check.h"
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
  EXPECT_LT(Milliseconds(start), 1000);
  EXPECT_TRUE(LogShows("Streaming Three stopped\r\n"));
  EXPECT_TRUE(staying->SeesClose(1000));
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
