#pragma once
// Live streams through the site: LVLServer with an audio engine whose
// encoder passes its input straight through, so that every byte a listener
// receives is known (the pattern of audio/fakeencoder.h).
#include "audio/fakeencoder.h"
#include "sitetest.h"

namespace sitetest {

inline constexpr int kBlockFrames = 4410;
inline constexpr uint64_t kBlockBytes = kBlockFrames * 4;

class LiveSiteTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ResetSiteSettings();
    gpAudioEngine = &engine_;
    server_ = std::make_unique<SiteServer>();
  }
  void TearDown() override
  {
    server_.reset();
    gpAudioEngine = nullptr;
    engine_.Stop();
  }

  // Starts input 1's queue for kbps.  The broadband queue's rate decides
  // which queue a rate picks: start it first.
  LAudioQueue& StartQueue(int kbps = 56)
  {
    LAudioQueue* queue = engine_.GetAudioQueue(0, kbps);
    queue->Start(kbps);
    EXPECT_GT(queue->GetEncoderPid(), 0);
    return *queue;
  }

  // The next block of the pattern; written counts the queue's bytes.
  static void WriteBlock(LAudioQueue& queue, uint64_t& written)
  {
    std::vector<int> samples = PatternSamples(written, kBlockFrames);
    ASSERT_EQ(queue.Write(samples.data(), kBlockFrames), static_cast<int>(kBlockBytes));
    written += kBlockBytes;
  }
  void WriteBlock(LAudioQueue& queue) { WriteBlock(queue, written_); }

  // A listener that has sent its request.
  std::unique_ptr<Client> Connect(const std::string& target, const std::string& headers = "")
  {
    auto client = std::make_unique<Client>(server_->Port());
    EXPECT_TRUE(client->Send("GET " + target + " HTTP/1.1\r\nHost: h\r\n" + headers + "\r\n"));
    return client;
  }

  // Waits (generously) until the queue counts this many listeners.
  static bool ListenersReach(const LAudioQueue& queue, int count)
  {
    for (int i = 0; i < 1000 && queue.GetListenerStats().GetCurrent() != count; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return queue.GetListenerStats().GetCurrent() == count;
  }

  LFakeEncoder encoder_{"exec cat"};
  LAudioEngine engine_;
  std::unique_ptr<SiteServer> server_;
  uint64_t written_ = 0;
};

} // namespace sitetest
