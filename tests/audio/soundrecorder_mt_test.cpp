// Capture from the test sound cards through libasound: block sizes, real
// time delivery, busy and unplugged cards, overruns, the trigger with its
// pre-roll, silence and length rules, and the reports to the GUI thread,
// which must not pile up in a process without a main loop.
#include <gtest/gtest.h>

#include <chrono>
#include <glib.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "alsa/testalsa.h"
#include "audio/capturetest.h"
#include "audio/mp3check.h"
#include "audio/soundrecllalsa.h"
#include "audio/soundrecorder.h"

// The capture threads post reports while the test thread runs the main
// loop.  GLib guards its main context with its own futex locks, which the
// thread checker cannot see, so it is told to leave GLib's internals alone
// (a suppression for this program only; without the checker it is unused).
extern "C" const char* __tsan_default_suppressions() { return "called_from_lib:libglib-2.0.so.0\n"; }

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double CpuSeconds()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Times the threads of this process went to sleep: every retried read of a
// failing card sleeps at least once, even when it spins at the card's pace.
long Sleeps()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_nvcsw;
}

// An LThread to read with on the test's own thread.
class LReaderThread : public LThread {
protected:
  void ThreadFunction() override {}
};

class LTestReceiver : public LSoundRecorderNotify {
public:
  void srntfRecord(int id) override { Add("record", id); }
  void srntfWait(int id) override { Add("wait", id); }
  void srntfStop(int id) override { Add("stop", id); }
  void srntfTime(LSoundTime, int) override { ++times; }
  void srntfLevel(const LDBMC& levels, int) override
  {
    ++levelReports;
    lastMono = levels.GetMonoDB().GetDB();
  }

  std::vector<std::string> events;
  int times = 0;
  int levelReports = 0;
  int lastMono = -200;
  int lastId = -1;

private:
  void Add(const char* event, int id)
  {
    events.push_back(event);
    lastId = id;
  }
};

// Runs the main loop's pending notifications on this thread until
// `done` or `seconds` pass.
template <class F>
bool PumpUntil(F done, double seconds)
{
  auto start = Clock::now();
  while (!done()) {
    if (SecondsSince(start) > seconds)
      return false;
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class CaptureTest : public ::testing::Test {
protected:
  LTestAlsaCards cards_;
};

TEST_F(CaptureTest, BlockIsATenthOfTheSinkRateWithinLimits)
{
  TestAlsaSetCard(0, "sine:1000");
  const struct {
    int rate;
    int frames;
  } cases[] = {{44100, 4410}, {8000, 800}, {100, 32}, {192000, 8192}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    LSoundSink format(new LCollectSink(c.rate, 2));
    LSoundRecLLALSA capture;
    ASSERT_TRUE(capture.Open(LSoundRecordDevice(), format));
    EXPECT_EQ(capture.GetBufferSamples(), c.frames);
    EXPECT_EQ(capture.GetBufferSamplesChans(), c.frames * 2);
    EXPECT_EQ(capture.FlushData(nullptr), 0);
    std::vector<int> block(static_cast<size_t>(c.frames) * 2);
    LReaderThread thread;
    ASSERT_TRUE(capture.WaitForDataAndRead(thread, block.data()));
  }
}

TEST_F(CaptureTest, ReadsWholeBlocksInRealTimeAtTheInternalScale)
{
  TestAlsaSetCard(0, "silence");
  TestAlsaSetCard(1, "sine:1000:0.5", nullptr, "Line In");
  LSoundSink format(new LCollectSink());
  LSoundRecLLALSA capture;
  ASSERT_TRUE(capture.Open(LSoundRecordDevice("Line In", 0), format));
  LReaderThread thread;
  std::vector<int> all, block(4410 * 2);
  auto start = Clock::now();
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(capture.WaitForDataAndRead(thread, block.data()));
    all.insert(all.end(), block.begin(), block.end());
  }
  EXPECT_NEAR(SecondsSince(start), 1.0, 0.12);
  std::vector<int16_t> left;
  int peak = 0;
  for (size_t i = 0; i < all.size(); i += 2) {
    EXPECT_EQ(all[i] % 16, 0) << "16-bit samples times 16";
    left.push_back(static_cast<int16_t>(all[i] / 16));
    peak = std::max(peak, std::abs(all[i]));
  }
  EXPECT_NEAR(ToneFrequency(left, 44100), 1000, 5);
  EXPECT_NEAR(peak, 0.5 * 32767 * 16, 0.01 * 32767 * 16);
  thread.StopThreadSoon();
  EXPECT_FALSE(capture.WaitForDataAndRead(thread, block.data())) << "a stop request ends reading";
}

TEST_F(CaptureTest, CardsThatCannotBeUsedAreRefusedAndReported)
{
  TestAlsaSetCard(0, "sine:1000");
  TestAlsaSetCard(1, "refuse", nullptr, "Busy Card");
  const struct {
    int card;
    unsigned char channels;
    const char* logged;
  } cases[] = {
      {1, 2, "Velorin could not open Busy Card. Check to see if another application is using your sound device."},
      {7, 2, "Velorin could not open hw:7. Check to see if another application is using your sound device."},
      // The card grants 2 channels: a mono block would overflow.
      {0, 1, "Sound card hw:0 cannot capture 1 channels."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.card);
    LSoundSink format(new LCollectSink(44100, c.channels));
    LSoundRecordDevice device;
    device.SetListNumber(c.card);
    LSoundRecLLALSA capture;
    EXPECT_FALSE(capture.Open(device, format));
    EXPECT_NE(ReadLogText().find(c.logged), std::string::npos) << ReadLogText();
    LReaderThread thread;
    int block[64];
    EXPECT_FALSE(capture.WaitForDataAndRead(thread, block));
  }
}

std::vector<std::string> gReported;
void Report(const char* message) { gReported.push_back(message); }

TEST_F(CaptureTest, BusyCardStopsItsRecorderOnlyAndGoesToTheReporter)
{
  TestAlsaSetCard(0, "refuse", nullptr, "Busy Card");
  TestAlsaSetCard(1, "sine:1000");
  LSetSoundOpenFailureReporter(&Report);
  gReported.clear();
  std::atomic<bool> destroyed{false};
  LSoundSink failing(new LCollectSink(44100, 2, &destroyed));
  LSoundSink working(new LCollectSink());
  LSoundRecorder busy, other;
  LTestReceiver receiver;
  busy.SetNotify(&receiver, 3);
  LSoundRecordDevice card1;
  card1.SetListNumber(1);
  other.SetDevice(card1);
  ASSERT_TRUE(other.Start(working, 0, LDB::Off(), LSoundTime::Max(), 0));
  auto start = Clock::now();
  EXPECT_FALSE(busy.Start(failing, 0, LDB::Off(), LSoundTime::Max(), 0));
  EXPECT_LT(SecondsSince(start), 1.0);
  EXPECT_EQ(busy.GetState(), 0);
  EXPECT_TRUE(receiver.events.empty()) << "a failed start reports nothing";
  ASSERT_EQ(gReported.size(), 1u);
  EXPECT_EQ(gReported[0],
            "Velorin could not open Busy Card. Check to see if another application is using your sound device.");
  failing.Close();
  EXPECT_TRUE(destroyed.load()) << "the recorder let go of the sink";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_GE(static_cast<LCollectSink*>(working.Get())->FramesWritten(), 3 * 4410);
  other.Stop();
  LSetSoundOpenFailureReporter(nullptr);
}

TEST_F(CaptureTest, UnpluggedCardNeitherSpinsNorDelaysTheStop)
{
  TestAlsaSetCard(0, "sine:1000", "fail");
  LSoundSink sink(new LCollectSink());
  LSoundRecorder recorder;
  ASSERT_TRUE(recorder.Start(sink, 0, LDB::Off(), LSoundTime::Max(), 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double cpuBefore = CpuSeconds();
  const long sleepsBefore = Sleeps();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const double cpu = CpuSeconds() - cpuBefore;
  const long sleeps = Sleeps() - sleepsBefore;
  EXPECT_LT(cpu, 0.15) << "CPU seconds used in 1.5 s of failing reads";
  // Retries at most every 100 ms: about 15, each with a sleep or two;
  // retrying at the card's own pace would sleep some 150 times.
  EXPECT_LT(sleeps, 60) << "sleeps in 1.5 s of failing reads";
  auto start = Clock::now();
  recorder.Stop();
  EXPECT_LT(SecondsSince(start), 0.2);
  EXPECT_EQ(static_cast<LCollectSink*>(sink.Get())->FramesWritten(), 0);
}

TEST_F(CaptureTest, OverrunsAreRecoveredAndCaptureGoesOn)
{
  TestAlsaSetCard(0, "sine:1000", "overrun:250");
  LSoundSink sink(new LCollectSink());
  LSoundRecorder recorder;
  ASSERT_TRUE(recorder.Start(sink, 0, LDB::Off(), LSoundTime::Max(), 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  recorder.Stop();
  // Every 250 ms an overrun costs what was buffered; most blocks still come.
  long frames = static_cast<LCollectSink*>(sink.Get())->FramesWritten();
  EXPECT_GE(frames, 6 * 4410);
  for (int w : static_cast<LCollectSink*>(sink.Get())->Writes())
    EXPECT_EQ(w, 4410) << "whole blocks only";
}

TEST_F(CaptureTest, TriggerWithPreRollWhenTheSoundStartsInTheFirstHalf)
{
  const struct {
    double onset;        // seconds of silence before the sound
    int firstWrite;      // frames of the first write
    int loudFrom;        // first loud frame in what was written
  } cases[] = {
      {0.42, 2205, 2205 + 882},  // block 4's first half: pre-roll of block 3's end
      {0.47, 4410, 3087},        // second half: no pre-roll
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.onset);
    WriteSignalFile("/tmp/onset.raw", {{c.onset, 0}, {5.0, 0.5}});
    TestAlsaSetCard(0, "file:/tmp/onset.raw");
    LSoundSink sink(new LCollectSink());
    LSoundRecorder recorder;
    LTestReceiver receiver;
    recorder.SetNotify(&receiver, 9);
    ASSERT_TRUE(recorder.Start(sink, 0, LDB(-20), LSoundTime::Max(), 0));
    EXPECT_EQ(receiver.events, std::vector<std::string>({"wait"}));
    EXPECT_EQ(receiver.lastId, 9);
    ASSERT_TRUE(PumpUntil([&] { return receiver.events.size() >= 2; }, 3));
    EXPECT_EQ(receiver.events[1], "record");
    EXPECT_EQ(recorder.GetState(), 2);
    recorder.Stop();
    auto* collected = static_cast<LCollectSink*>(sink.Get());
    std::vector<int> writes = collected->Writes();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0], c.firstWrite);
    std::vector<int> samples = collected->Samples();
    int firstLoud = -1;
    for (size_t i = 0; i < samples.size(); i += 2)
      if (std::abs(samples[i]) > 1000) {
        firstLoud = static_cast<int>(i / 2);
        break;
      }
    EXPECT_NEAR(firstLoud, c.loudFrom, 3);
    EXPECT_EQ(receiver.events.back(), "stop");
  }
}

TEST_F(CaptureTest, QuietInputKeepsWaitingAndWritesNothing)
{
  TestAlsaSetCard(0, "sine:1000:0.001");
  LSoundSink sink(new LCollectSink());
  LSoundRecorder recorder;
  ASSERT_TRUE(recorder.Start(sink, 0, LDB(-20), LSoundTime::Max(), 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(recorder.GetState(), 1);
  EXPECT_EQ(static_cast<LCollectSink*>(sink.Get())->FramesWritten(), 0);
  EXPECT_LT(recorder.GetLevels().GetMonoDB().GetDB(), -20);
  recorder.Stop();
}

TEST_F(CaptureTest, SilenceLongerThanTheSilenceTimeGoesBackToWaiting)
{
  // 0.5 s loud, then 3 s quiet.
  WriteSignalFile("/tmp/burst.raw", {{0.5, 0.5}, {3.0, 0}});
  TestAlsaSetCard(0, "file:/tmp/burst.raw");
  LSoundSink sink(new LCollectSink());
  LSoundRecorder recorder;
  LTestReceiver receiver;
  recorder.SetNotify(&receiver, 1);
  ASSERT_TRUE(recorder.Start(sink, 0, LDB(-20), LSoundTime(500), 0));
  ASSERT_TRUE(PumpUntil([&] { return receiver.events.size() >= 3; }, 3));
  EXPECT_EQ(receiver.events, std::vector<std::string>({"wait", "record", "wait"}));
  recorder.Stop();
  auto* collected = static_cast<LCollectSink*>(sink.Get());
  std::vector<int> seeks = collected->Seeks();
  // Last loud block ended at 0.5 s: the silence rule takes the sink back
  // to 0.5 + 0.45 s, the stop trims it to 0.5 + 0.05 s.
  EXPECT_EQ(seeks, std::vector<int>({LSoundTime(950).GetSamples(44100), LSoundTime(550).GetSamples(44100)}));
  EXPECT_EQ(recorder.GetLastLoudTime().GetMs(), 0) << "cleared by the stop";
}

TEST_F(CaptureTest, MaximumLengthStopsThroughTheMainLoop)
{
  TestAlsaSetCard(0, "sine:1000");
  LSoundSink sink(new LCollectSink());
  LSoundRecorder recorder;  // no receiver: the stop request is posted anyway
  ASSERT_TRUE(recorder.Start(sink, LSoundTime(300), LDB::Off(), LSoundTime::Max(), 2));
  ASSERT_TRUE(PumpUntil([&] { return recorder.GetState() == 0; }, 3));
  long frames = static_cast<LCollectSink*>(sink.Get())->FramesWritten();
  EXPECT_GE(frames, 4 * 4410);
  EXPECT_LE(frames, 6 * 4410);
}

TEST_F(CaptureTest, ReportsAreCoalescedAndNotPostedWithoutAReceiver)
{
  TestAlsaSetCard(0, "sine:1000");
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  {
    LSoundSink sink(new LCollectSink());
    LSoundRecorder recorder;
    ASSERT_TRUE(recorder.Start(sink, 0, LDB::Off(), LSoundTime::Max(), 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_FALSE(g_main_context_pending(nullptr)) << "nothing queued for a main loop nobody runs";
    recorder.Stop();
  }
  LSoundSink sink(new LCollectSink());
  LSoundRecorder recorder;
  LTestReceiver receiver;
  recorder.SetNotify(&receiver, 2);
  ASSERT_TRUE(recorder.Start(sink, 0, LDB::Off(), LSoundTime::Max(), 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  // One iteration dispatches every report that is waiting; a report the
  // thread posts meanwhile waits for the next one, so a loaded machine
  // cannot add to the count.
  ASSERT_TRUE(g_main_context_iteration(nullptr, FALSE));
  EXPECT_EQ(receiver.levelReports, 1) << "about eight blocks, one waiting report";
  ASSERT_TRUE(PumpUntil([&] { return receiver.levelReports >= 3; }, 2)) << "reports resume once delivered";
  recorder.Stop();
}

TEST_F(CaptureTest, GoSignalHoldsTheThreadAndStopsAreSafeInAnyState)
{
  TestAlsaSetCard(0, "sine:1000");
  LSoundRecorder recorder;
  LTestReceiver receiver;
  recorder.SetNotify(&receiver, 4);
  recorder.Stop();
  EXPECT_TRUE(receiver.events.empty()) << "stopping a recorder that never started reports nothing";

  LSoundSink errorSink;
  EXPECT_FALSE(recorder.Start(errorSink, 0, LDB::Off(), LSoundTime::Max(), 0));

  LSoundSink sink(new LCollectSink());
  ASSERT_TRUE(recorder.Start(sink, 0, LDB::Off(), LSoundTime::Max(), 1 | 2));
  EXPECT_EQ(receiver.events, std::vector<std::string>({"record"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  auto* collected = static_cast<LCollectSink*>(sink.Get());
  EXPECT_EQ(collected->FramesWritten(), 0) << "held until Go";
  recorder.Go();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_GE(collected->FramesWritten(), 2 * 4410);

  // Starting again stops the running capture first.
  LSoundSink second(new LCollectSink());
  ASSERT_TRUE(recorder.Start(second, 0, LDB::Off(), LSoundTime::Max(), 0));
  long firstFrames = collected->FramesWritten();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(collected->FramesWritten(), firstFrames);
  recorder.Stop();
  recorder.Stop();
  EXPECT_EQ(std::count(receiver.events.begin(), receiver.events.end(), "stop"), 2);
}

}  // namespace
