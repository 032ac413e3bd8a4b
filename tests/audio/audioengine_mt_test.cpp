#include <gtest/gtest.h>

#include <csignal>

#include "alsa/testalsa.h"
#include "audio/audioengine.h"
#include "audio/audiotest.h"
#include "audio/mp3check.h"
#include "mp3frames.h"
#include "settings/configkeys.h"
#include "settings/settings.h"

namespace {

pid_t FindEncoder(pid_t shell)
{
  std::vector<pid_t> candidates = ChildrenOf(shell);
  candidates.push_back(shell);
  for (pid_t pid : candidates)
    if (ReadWhole("/proc/" + std::to_string(pid) + "/comm") == "lyrenc\n")
      return pid;
  return -1;
}

struct LExpectTone {
  unsigned int source;
  int kbps;
  double frequency;
};
const LExpectTone kStreams[] = {{0, 24, 1000}, {0, 56, 1000}, {1, 24, 2000}, {1, 56, 2000}};

class AudioEngineTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    TestAlsaSetCard(0, "sine:1000:0.5");
    TestAlsaSetCard(1, "sine:2000:0.5");
    LSettingSet(VLKeys::LiveSources, 2);
    LSettingSetString("Live", "Device1Device", "Velorin Test Card 0");
    LSettingSetString("Live", "Device2Device", "Velorin Test Card 1");
  }
  static bool WaitForSeconds(const std::vector<std::unique_ptr<LQueueReader>>& readers, double seconds)
  {
    for (size_t i = 0; i < readers.size(); ++i)
      if (!WaitFor([&] { return readers[i]->Bytes().size() >= seconds * kStreams[i].kbps * 125; }, 60))
        return false;
    return true;
  }
  static void CheckStream(const std::string& bytes, const LExpectTone& e)
  {
    SCOPED_TRACE(testing::Message() << "source " << e.source << " at " << e.kbps);
    std::vector<int16_t> pcm = DecodeMp3Bytes(bytes);
    ASSERT_GT(pcm.size(), 44100u * 2);
    EXPECT_NEAR(ToneFrequency(pcm, 44100, 4410, pcm.size() - 4410), e.frequency, e.frequency * 0.01);
    const double level = Rms(pcm, 4410, pcm.size() - 4410);
    EXPECT_GT(level, 0.2 * 32767 * 0.5);
    EXPECT_EQ(LongestQuietMs(pcm, 44100, level * 0.3), 0) << "a gap in the stream";
    EXPECT_NEAR(static_cast<double>(bytes.size()) * 44100 / static_cast<double>(pcm.size()), e.kbps * 125.0,
                e.kbps * 125.0 * 0.05);
  }
  LTestAlsaCards cards_;
};

TEST_F(AudioEngineTest, TwoSourcesStreamTheirTonesAtBothRatesAndAKilledEncoderIsReplaced)
{
  LAudioEngine engine;
  std::vector<std::unique_ptr<LQueueReader>> readers;
  std::vector<LAudioQueue*> queues;
  for (const LExpectTone& e : kStreams) {
    queues.push_back(engine.GetAudioQueue(e.source, e.kbps > 24 ? e.kbps : 0));
    readers.push_back(std::make_unique<LQueueReader>(*queues.back()));
  }
  engine.Start();
  ASSERT_TRUE(WaitForSeconds(readers, 3));
  const pid_t shell = queues[1]->GetEncoderPid();
  const pid_t victim = FindEncoder(shell);
  ASSERT_GT(victim, 0);
  const std::string beforeKill = readers[1]->Bytes();
  ASSERT_EQ(kill(victim, SIGKILL), 0);
  ASSERT_TRUE(WaitFor([&] { return queues[1]->GetEncoderPid() != shell && queues[1]->GetEncoderPid() > 0; }))
      << "the dead encoder was not replaced";
  const size_t atRestart = readers[1]->Bytes().size();
  ASSERT_TRUE(WaitFor([&] { return readers[1]->Bytes().size() >= atRestart + 3 * 56 * 125; }, 60));
  engine.Stop();
  EXPECT_EQ(CountChildren(), 0) << "every encoder reaped, the killed one too";
  EXPECT_NE(ReadLogText().find("The 56 kbps encoder ended (status 137); starting it again in 250 ms."),
            std::string::npos);
  for (size_t i = 0; i < readers.size(); ++i) {
    readers[i]->Stop();
    CheckStream(i == 1 ? beforeKill : readers[i]->Bytes(), kStreams[i]);
  }
  // The dead encoder's torn last frame is not passed on: the frames run on
  // unbroken into the new encoder's.
  LMp3FrameChecker frames;
  const std::string across = readers[1]->Bytes();
  frames.Feed(reinterpret_cast<const unsigned char*>(across.data()), across.size());
  EXPECT_TRUE(frames.Aligned());
  EXPECT_EQ(frames.Faults(), 0u);
  std::vector<int16_t> pcm = DecodeMp3Bytes(across.substr(atRestart));
  ASSERT_GT(pcm.size(), 44100u);
  EXPECT_NEAR(ToneFrequency(pcm, 44100, 4410, pcm.size() - 4410), 1000, 10);
}

TEST_F(AudioEngineTest, BusyCardLeavesItsQueueIdleAndTheOtherSourceStreams)
{
  TestAlsaSetCard(0, "refuse", nullptr, "Busy Card");
  LSettingSetString("Live", "Device1Device", "Busy Card");
  LAudioEngine engine;
  engine.Start();
  EXPECT_EQ(engine.GetSource(0).GetRecorder().GetState(), 0);
  LAudioQueue* idle = engine.GetAudioQueue(0, 56);
  LAudioQueue* live = engine.GetAudioQueue(1, 56);
  EXPECT_GT(idle->GetEncoderPid(), 0) << "the encoders run without input";
  EXPECT_TRUE(WaitFor([&] { return engine.GetSource(1).GetRecorder().GetState() == 2 && live->GetPublished() > 5; }));
  EXPECT_EQ(idle->GetPublished(), 0u);
  engine.Stop();
}

TEST_F(AudioEngineTest, RestartsUnderListenersLeakNothing)
{
  LAudioEngine engine;
  std::thread([] {}).join();
  engine.Start();  // first start: libraries and caches settle
  engine.Stop();
  const int descriptors = CountDescriptors();
  const int threads = CountThreads();
  std::vector<std::unique_ptr<LQueueReader>> readers;
  for (int i = 0; i < 20; ++i)
    readers.push_back(std::make_unique<LQueueReader>(*engine.GetAudioQueue(i % 2, i % 4 < 2 ? 24 : 56)));
  engine.Start();
  for (int i = 0; i < 100; ++i) {
    engine.Restart();
    if (i % 10 == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  for (auto& reader : readers)
    EXPECT_TRUE(WaitFor([&] { return !reader->Bytes().empty(); }, 30));
  engine.Stop();
  readers.clear();
  EXPECT_EQ(CountDescriptors(), descriptors);
  EXPECT_EQ(CountThreads(), threads);
  EXPECT_EQ(CountChildren(), 0);
}

TEST_F(AudioEngineTest, SourceCountsRatesAndQueueChoice)
{
  // Without the encoder only the recorders run: enough to count sources.
  std::rename("/opt/ostrel/components/lyrenc", "/opt/ostrel/components/away");
  for (auto [setting, started] : {std::pair{0, 0}, {3, 3}, {9, 8}, {-1, 8}}) {
    SCOPED_TRACE(setting);
    LSettingSet(VLKeys::LiveSources, setting);
    LAudioEngine engine;
    engine.Start();
    int running = 0;
    for (unsigned int i = 0; i < LAudioEngine::kMaxSources; ++i)
      running += engine.GetSource(i).GetRecorder().GetState() != 0;
    EXPECT_EQ(running, started);
    engine.Stop();
  }
  std::rename("/opt/ostrel/components/away", "/opt/ostrel/components/lyrenc");

  LSettingSet(VLKeys::LiveSources, 1);
  LAudioEngine engine;
  LAudioQueue* dialUp = engine.GetAudioQueue(0, 0);
  engine.Start();
  for (auto [kbps, dial] : {std::pair{24, true}, {55, true}, {0, true}, {56, false}, {64, false}})
    EXPECT_EQ(engine.GetAudioQueue(0, kbps) == dialUp, dial) << kbps;
  EXPECT_EQ(engine.GetAudioQueue(8, 56), nullptr);
  LAudioQueue* idle = engine.GetAudioQueue(5, 56);
  ASSERT_NE(idle, nullptr) << "a source beyond the count has an idle queue";
  EXPECT_EQ(idle->GetEncoderPid(), -1);
  LSettingSet(VLKeys::BroadBandKBPS, 64);
  EXPECT_EQ(engine.GetAudioQueue(0, 64)->GetBitRate(), 56);
  engine.Restart();
  EXPECT_EQ(engine.GetAudioQueue(0, 64)->GetBitRate(), 64);
  EXPECT_EQ(engine.GetAudioQueue(0, 63), dialUp);
  engine.Stop();

  char name[260];
  LAudioGetSourceDisplayName(3, name);
  EXPECT_STREQ(name, "Velorin Live 3");
  LSettingSet(VLKeys::LiveName, 3, "Studio");
  LAudioGetSourceDisplayName(3, name);
  EXPECT_STREQ(name, "Studio");
}

}  // namespace
