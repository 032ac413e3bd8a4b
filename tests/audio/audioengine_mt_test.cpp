// The audio engine end to end in one process: test sound cards, the real
// encoder component, listeners following the rings; checked by decoding
// what the listeners received.  Also encoder deaths, busy cards, restarts
// under load, and the source and rate choices of the settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alsa/testalsa.h"
#include "audio/audioengine.h"
#include "audio/queuefollow.h"
#include "audio/capturetest.h"
#include "audio/mp3check.h"
#include "settings/configkeys.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;


// A listener on its own thread, following one queue with the listener
// protocol and keeping what it is sent, with the arrival time of each
// chunk.
class LStreamReader {
public:
  explicit LStreamReader(LAudioQueue* queue)
  {
    thread_ = std::thread([this, queue] {
      FollowQueue(*this, *queue, [this](const void* data, unsigned int size) {
        std::lock_guard<std::mutex> guard(mutex_);
        bytes_.append(static_cast<const char*>(data), size);
        arrivals_.push_back({Clock::now(), bytes_.size()});
        return LProcessResult(kProcessDone);
      });
    });
  }
  ~LStreamReader() { Stop(); }
  LStreamReader(const LStreamReader&) = delete;
  LStreamReader& operator=(const LStreamReader&) = delete;

  bool IsToStop() const { return stop_.load(); }
  void Stop()
  {
    stop_ = true;
    if (thread_.joinable())
      thread_.join();
  }
  std::string Bytes() const
  {
    std::lock_guard<std::mutex> guard(mutex_);
    return bytes_;
  }
  size_t Size() const
  {
    std::lock_guard<std::mutex> guard(mutex_);
    return bytes_.size();
  }
  // The steady part of the stream, from `skip` seconds after the first
  // chunk to the last: its length in seconds and the share of all bytes
  // that arrived in it.
  void SteadyWindow(double skip, double& seconds, double& share) const
  {
    std::lock_guard<std::mutex> guard(mutex_);
    seconds = share = 0;
    if (arrivals_.empty())
      return;
    for (const LArrival& a : arrivals_) {
      if (std::chrono::duration<double>(a.time - arrivals_.front().time).count() >= skip) {
        seconds = std::chrono::duration<double>(arrivals_.back().time - a.time).count();
        share = static_cast<double>(bytes_.size() - a.bytes) / static_cast<double>(bytes_.size());
        return;
      }
    }
  }
  // Bytes per second over the steady window.
  double SteadyRate(double skip) const
  {
    double seconds = 0, share = 0;
    SteadyWindow(skip, seconds, share);
    return seconds > 0 ? share * static_cast<double>(Size()) / seconds : 0;
  }

private:
  struct LArrival {
    Clock::time_point time;
    size_t bytes;  // received up to and including this chunk
  };
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::string bytes_;
  std::vector<LArrival> arrivals_;
  std::thread thread_;
};

// The encoder process running under queue's shell (dash does not exec the
// command, so the shell is the encoder's parent).
pid_t FindEncoder(const LAudioQueue& queue)
{
  const pid_t shell = queue.GetEncoderPid();
  DIR* proc = opendir("/proc");
  pid_t found = -1;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
      continue;
    std::string base = std::string("/proc/") + entry->d_name;
    std::ifstream stat(base + "/stat");
    std::string line;
    std::getline(stat, line);
    size_t close = line.rfind(')');
    char state = 0;
    int parent = 0;
    if (close == std::string::npos || std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) != 2)
      continue;
    std::string comm;
    std::getline(std::ifstream(base + "/comm"), comm);
    if (comm == "lyrenc" && (parent == shell || atoi(entry->d_name) == shell))
      found = atoi(entry->d_name);
  }
  closedir(proc);
  return found;
}

// A live recorder waits for its first block, which triggers it.
bool BecomesRecording(LAudioStreamingSource& source)
{
  for (int i = 0; i < 100 && source.GetRecorder().GetState() != 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return source.GetRecorder().GetState() == 2;
}

struct LExpectTone {
  unsigned int source;
  int kbps;
  double frequency;
};

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

  // Decodes a reader's bytes and checks tone, length and continuity.  The
  // first second is left out of the timing: encoders that start slowly
  // (sanitizer builds) catch up in a burst there.  The streams have a
  // constant bit rate, so a share of the bytes is that share of the
  // decoded length.
  void CheckStream(const LStreamReader& reader, const LExpectTone& e)
  {
    SCOPED_TRACE(testing::Message() << "source " << e.source << " at " << e.kbps);
    std::vector<int16_t> pcm = DecodeMp3Bytes(reader.Bytes(), "/tmp/stream.mp3");
    ASSERT_FALSE(pcm.empty());
    const double decoded = static_cast<double>(pcm.size()) / 44100;
    double wall = 0, share = 0;
    reader.SteadyWindow(1.0, wall, share);
    ASSERT_GT(wall, 3.0);
    EXPECT_NEAR(decoded * share, wall, wall * 0.05) << "decoded " << decoded << " s in all";
    EXPECT_NEAR(ToneFrequency(pcm, 44100, 4410, pcm.size() - 4410), e.frequency, e.frequency * 0.01);
    const double level = Rms(pcm, 4410, pcm.size() - 4410);
    EXPECT_GT(level, 0.2 * 32767 * 0.5);
    EXPECT_EQ(LongestQuietMs(pcm, 44100, level * 0.3), 0) << "a gap in the stream";
  }

  LTestAlsaCards cards_;
};

TEST_F(AudioEngineTest, TwoSourcesStreamTheirTonesAtBothRates)
{
  LAudioEngine engine;
  const LExpectTone expects[] = {{0, 24, 1000}, {0, 56, 1000}, {1, 24, 2000}, {1, 56, 2000}};
  // Listeners attach before the start, so they get every chunk from the
  // first on: before any start the broadband rate is 20, and rate 0 picks
  // the dial-up queue.
  std::vector<std::unique_ptr<LStreamReader>> readers;
  std::vector<LAudioQueue*> queues;
  for (const LExpectTone& e : expects) {
    queues.push_back(engine.GetAudioQueue(e.source, e.kbps > 24 ? e.kbps : 0));
    readers.push_back(std::make_unique<LStreamReader>(queues.back()));
  }
  engine.Start();
  gpAudioEngine = &engine;
  for (size_t i = 0; i < queues.size(); ++i) {
    LAudioQueue* queue = gpAudioEngine.load()->GetAudioQueue(expects[i].source, expects[i].kbps);
    EXPECT_EQ(queue, queues[i]);
    EXPECT_EQ(queue->GetBitRate(), expects[i].kbps);
  }
  std::this_thread::sleep_for(std::chrono::seconds(5));
  for (auto& reader : readers)
    reader->Stop();
  gpAudioEngine = nullptr;
  engine.Stop();
  for (size_t i = 0; i < readers.size(); ++i)
    CheckStream(*readers[i], expects[i]);
  // 3 kB/s at 24 kbit/s, 7 kB/s at 56.
  EXPECT_NEAR(readers[0]->SteadyRate(1.0), 24000 / 8, 24000 / 8 * 0.05);
  EXPECT_NEAR(readers[1]->SteadyRate(1.0), 56000 / 8, 56000 / 8 * 0.05);
}

// A killed encoder is started again; its listener, attached throughout,
// hears the tone again and the other streams never notice.
TEST_F(AudioEngineTest, KilledEncoderIsReplacedAndItsListenerHearsTheToneAgain)
{
  LAudioEngine engine;
  engine.Start();
  const LExpectTone expects[] = {{0, 24, 1000}, {0, 56, 1000}, {1, 24, 2000}, {1, 56, 2000}};
  std::vector<LAudioQueue*> queues;
  std::vector<std::unique_ptr<LStreamReader>> readers;
  for (const LExpectTone& e : expects) {
    queues.push_back(engine.GetAudioQueue(e.source, e.kbps));
    readers.push_back(std::make_unique<LStreamReader>(queues.back()));
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const pid_t shell = queues[1]->GetEncoderPid();
  const pid_t victim = FindEncoder(*queues[1]);
  ASSERT_GT(victim, 0);
  ASSERT_EQ(kill(victim, SIGKILL), 0);
  // Replaced after a 250 ms pause; the deadline is generous for loaded runs.
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while ((queues[1]->GetEncoderPid() == shell || queues[1]->GetEncoderPid() < 0) && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_NE(queues[1]->GetEncoderPid(), shell) << "the dead encoder was not replaced";
  const size_t atRestart = readers[1]->Size();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  for (auto& reader : readers)
    reader->Stop();
  EXPECT_NE(ReadLogText().find("The 56 kbps encoder ended (status 137); starting it again in 250 ms."),
            std::string::npos);
  for (size_t i = 0; i < readers.size(); ++i) {
    SCOPED_TRACE(i);
    // What arrived after the restart alone: the new encoder's stream.
    const std::string bytes = readers[i]->Bytes();
    std::vector<int16_t> pcm = DecodeMp3Bytes(i == 1 ? bytes.substr(atRestart) : bytes, "/tmp/stream.mp3");
    ASSERT_GT(pcm.size(), 44100u * 2);
    EXPECT_NEAR(ToneFrequency(pcm, 44100, 4410, pcm.size() - 4410), expects[i].frequency,
                expects[i].frequency * 0.01);
  }
  engine.Stop();
  EXPECT_EQ(CountChildren(), 0) << "every encoder reaped, the killed one too";
}

TEST_F(AudioEngineTest, BusyCardIsLoggedAndTheOtherSourceStreams)
{
  TestAlsaSetCard(0, "refuse", nullptr, "Busy Card");
  LSettingSetString("Live", "Device1Device", "Busy Card");
  LAudioEngine engine;
  engine.Start();
  EXPECT_EQ(engine.GetSource(0).GetRecorder().GetState(), 0);
  EXPECT_TRUE(BecomesRecording(engine.GetSource(1)));
  EXPECT_NE(ReadLogText().find("Velorin could not open Busy Card. Check to see if another application is using your "
                               "sound device."),
            std::string::npos);
  LAudioQueue* idle = engine.GetAudioQueue(0, 56);
  LAudioQueue* live = engine.GetAudioQueue(1, 56);
  EXPECT_GT(idle->GetEncoderPid(), 0) << "the encoders run without input";
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(idle->GetPublished(), 0u);
  EXPECT_GT(live->GetPublished(), 5u);
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

  std::vector<std::unique_ptr<LStreamReader>> readers;
  for (int i = 0; i < 20; ++i)
    readers.push_back(std::make_unique<LStreamReader>(engine.GetAudioQueue(i % 2, i % 4 < 2 ? 24 : 56)));
  engine.Start();
  for (int i = 0; i < 100; ++i) {
    engine.Restart();
    if (i % 10 == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  engine.Stop();
  for (auto& reader : readers) {
    reader->Stop();
    EXPECT_GT(reader->Size(), 0u);
  }
  readers.clear();
  EXPECT_EQ(CountDescriptors(), descriptors);
  EXPECT_EQ(CountThreads(), threads);
  EXPECT_EQ(CountChildren(), 0);
}

TEST_F(AudioEngineTest, SourceCountsRatesAndQueueChoice)
{
  // Without the encoder only the recorders run: enough to count sources.
  std::rename("/opt/ostrel/components/lyrenc", "/opt/ostrel/components/away");
  const struct {
    int setting;
    int started;
  } counts[] = {{0, 0}, {1, 1}, {3, 3}, {8, 8}, {9, 8}, {-1, 8}};
  for (const auto& c : counts) {
    SCOPED_TRACE(c.setting);
    LSettingSet(VLKeys::LiveSources, c.setting);
    LAudioEngine engine;
    engine.Start();
    int running = 0;
    for (unsigned int i = 0; i < LAudioEngine::kMaxSources; ++i)
      running += engine.GetSource(i).GetRecorder().GetState() != 0;
    EXPECT_EQ(running, c.started);
    engine.Stop();
  }
  std::rename("/opt/ostrel/components/away", "/opt/ostrel/components/lyrenc");

  LSettingSet(VLKeys::LiveSources, 1);
  LAudioEngine engine;
  engine.Stop();  // never started: nothing happens
  LAudioQueue* dialUp = engine.GetAudioQueue(0, 0);
  EXPECT_EQ(engine.GetAudioQueue(0, 19), dialUp) << "before any start the broadband rate is 20";
  EXPECT_NE(engine.GetAudioQueue(0, 20), dialUp);
  engine.Start();
  const struct {
    unsigned int index;
    int kbps;
    bool dial;
  } choices[] = {{0, 24, true}, {0, 55, true}, {0, 0, true}, {0, 56, false}, {0, 64, false}};
  for (const auto& c : choices)
    EXPECT_EQ(engine.GetAudioQueue(c.index, c.kbps) == dialUp, c.dial) << c.kbps;
  EXPECT_EQ(engine.GetAudioQueue(8, 56), nullptr);
  EXPECT_EQ(engine.GetAudioQueue(static_cast<unsigned int>(-1), 56), nullptr);
  LAudioQueue* idle = engine.GetAudioQueue(5, 56);
  ASSERT_NE(idle, nullptr) << "a source beyond the count has an idle queue";
  EXPECT_EQ(idle->GetEncoderPid(), -1);

  // Rate and device changes wait for the restart.
  LSettingSet(VLKeys::BroadBandKBPS, 64);
  EXPECT_EQ(engine.GetAudioQueue(0, 64)->GetBitRate(), 56);
  engine.Restart();
  EXPECT_EQ(engine.GetAudioQueue(0, 64)->GetBitRate(), 64);
  EXPECT_EQ(engine.GetAudioQueue(0, 63), dialUp);
  engine.Stop();
}

TEST_F(AudioEngineTest, UnknownDeviceNameCapturesFromCardZero)
{
  LSettingSetString("Live", "Device1Device", "No Such Card");
  LSettingSet(VLKeys::LiveSources, 1);
  LAudioEngine engine;
  engine.Start();
  EXPECT_EQ(engine.GetSource(0).GetRecorder().GetDevice().GetListNumber(), 0);
  EXPECT_TRUE(BecomesRecording(engine.GetSource(0)));
  engine.Stop();
}

TEST(AudioSourceNames, DisplayNamesFallBackToTheNumber)
{
  char name[260];
  LAudioGetSourceDisplayName(3, name);
  EXPECT_STREQ(name, "Velorin Live 3");
  LSettingSet(VLKeys::LiveName, 3, "Studio");
  LAudioGetSourceDisplayName(3, name);
  EXPECT_STREQ(name, "Studio");
}

}  // namespace
