#include <gtest/gtest.h>

#include <glib.h>
#include <sys/resource.h>

#include "alsa/testalsa.h"
#include "audio/audiotest.h"
#include "audio/mp3check.h"
#include "audio/soundrecllalsa.h"
#include "audio/soundrecorder.h"

// GLib's main context uses futex locks the thread checker cannot see.
extern "C" const char* __tsan_default_suppressions()
{
  return "called_from_lib:libglib-2.0.so.0\n";
}

namespace {

class LReaderThread : public LThread {
  void ThreadFunction() override {}
};

class LTestReceiver : public LSoundRecorderNotify {
public:
  void srntfRecord(int id) override { events.push_back("record " + std::to_string(id)); }
  void srntfWait(int id) override { events.push_back("wait " + std::to_string(id)); }
  void srntfStop(int id) override { events.push_back("stop " + std::to_string(id)); }
  void srntfTime(LSoundTime, int) override {}
  void srntfLevel(const LDBMC&, int) override { ++levelReports; }
  std::vector<std::string> events;
  int levelReports = 0;
};

template <class F>
bool PumpUntil(F done)
{
  return WaitFor([&] {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    return done();
  });
}

std::vector<std::string> gReported;
void Report(const char* message)
{
  gReported.push_back(message);
}

class CaptureTest : public ::testing::Test {
protected:
  bool Start(LDB trigger = LDB::Off(), LSoundTime silence = LSoundTime::Max(), int flags = 0,
             LTestReceiver* receiver = nullptr)
  {
    sink_ = LSoundSink(collected_ = new LCollectSink());
    if (receiver != nullptr)
      recorder_.SetNotify(receiver, 9);
    return recorder_.Start(sink_, 0, trigger, silence, flags);
  }
  LTestAlsaCards cards_;
  LCollectSink* collected_ = nullptr;
  LSoundSink sink_;
  LSoundRecorder recorder_;
};

TEST_F(CaptureTest, BlocksAreATenthOfTheSinkRateAndComeInRealTimeAtTheInternalScale)
{
  TestAlsaSetCard(1, "sine:1000:0.5", nullptr, "Line In");
  for (auto [rate, frames] : {std::pair{44100, 4410}, {100, 32}, {192000, 8192}}) {
    SCOPED_TRACE(rate);
    LSoundSink format(new LCollectSink(rate, 2));
    LSoundRecLLALSA capture;
    ASSERT_TRUE(capture.Open(LSoundRecordDevice("Line In", 0), format));
    EXPECT_EQ(capture.GetBufferSamples(), frames);
    EXPECT_EQ(capture.FlushData(nullptr), 0);
    LReaderThread thread;
    std::vector<int> all, block(static_cast<size_t>(frames) * 2);
    uint32_t start = GetTickCount();
    for (int i = 0; i < (rate == 44100 ? 10 : 1); ++i) {
      ASSERT_TRUE(capture.WaitForDataAndRead(thread, block.data()));
      all.insert(all.end(), block.begin(), block.end());
    }
    if (rate != 44100)
      continue;
    EXPECT_GE(Since(start), 880u) << "a second of sound takes a second";
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
}

TEST_F(CaptureTest, CardsThatCannotBeUsedAreRefusedAndReported)
{
  TestAlsaSetCard(0, "refuse", nullptr, "Busy Card");
  TestAlsaSetCard(1, "sine:1000");
  const std::string busy =
      "Velorin could not open Busy Card. Check to see if another application is using your sound device.";
  for (auto [card, channels, logged] : {std::tuple{0, 2, busy},
                                        {7, 2,
                                         std::string("Velorin could not open hw:7. Check to see if another "
                                                     "application is using your sound device.")},
                                        {1, 1, std::string("Sound card hw:1 cannot capture 1 channels.")}}) {
    SCOPED_TRACE(card);  // card 1 grants 2 channels: a mono block would overflow
    LSoundSink format(new LCollectSink(44100, static_cast<unsigned char>(channels)));
    LSoundRecordDevice device;
    device.SetListNumber(card);
    LSoundRecLLALSA capture;
    EXPECT_FALSE(capture.Open(device, format));
    EXPECT_NE(ReadLogText().find(logged), std::string::npos) << ReadLogText();
    LReaderThread thread;
    int block[64];
    EXPECT_FALSE(capture.WaitForDataAndRead(thread, block));
  }
  LSetSoundOpenFailureReporter(&Report);
  std::atomic<bool> destroyed{false};
  LSoundSink failing(new LCollectSink(44100, 2, &destroyed));
  LTestReceiver receiver;
  recorder_.SetNotify(&receiver, 3);
  EXPECT_FALSE(recorder_.Start(failing, 0, LDB::Off(), LSoundTime::Max(), 0));
  EXPECT_EQ(recorder_.GetState(), 0);
  EXPECT_TRUE(receiver.events.empty()) << "a failed start reports nothing";
  EXPECT_EQ(gReported, std::vector<std::string>{busy});
  failing.Close();
  EXPECT_TRUE(destroyed.load()) << "the recorder let go of the sink";
  LSetSoundOpenFailureReporter(nullptr);
}

TEST_F(CaptureTest, UnpluggedCardNeitherSpinsNorDelaysTheStopAndOverrunsAreRecovered)
{
  TestAlsaSetCard(0, "sine:1000", "fail");
  ASSERT_TRUE(Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  getrusage(RUSAGE_SELF, &after);
  auto us = [](const rusage& u) {
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000L + u.ru_utime.tv_usec + u.ru_stime.tv_usec;
  };
  EXPECT_LT(us(after) - us(before), 150000) << "CPU microseconds in 1.5 s of failing reads";
  // Retries at most every 100 ms (voluntary switches); at the card's own pace some 150.
  EXPECT_LT(after.ru_nvcsw - before.ru_nvcsw, 60) << "sleeps in 1.5 s of failing reads";
  uint32_t start = GetTickCount();
  recorder_.Stop();
  EXPECT_LT(Since(start), 3000u);
  EXPECT_EQ(collected_->FramesWritten(), 0);

  TestAlsaSetCard(0, "sine:1000", "overrun:250");
  ASSERT_TRUE(Start());
  EXPECT_TRUE(WaitFor([&] { return collected_->FramesWritten() >= 6 * 4410; }, 30));
  recorder_.Stop();
  for (int w : collected_->Get(&LCollectSink::writes_))
    EXPECT_EQ(w, 4410) << "whole blocks only";
}

TEST_F(CaptureTest, TriggerWithPreRollWhenTheSoundStartsInTheFirstHalf)
{
  const struct {
    double onset;    // seconds of silence before the sound
    int firstWrite;  // frames of the first write
    int loudFrom;    // first loud frame in what was written
  } cases[] = {
      {0.42, 2205, 2205 + 882},  // block 4's first half: pre-roll of block 3's end
      {0.47, 4410, 3087},        // second half: no pre-roll
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.onset);
    WriteSignalFile("/tmp/onset.raw", {{c.onset, 0}, {5.0, 0.5}});
    TestAlsaSetCard(0, "file:/tmp/onset.raw");
    LTestReceiver receiver;
    ASSERT_TRUE(Start(LDB(-20), LSoundTime::Max(), 0, &receiver));
    EXPECT_EQ(receiver.events, std::vector<std::string>({"wait 9"}));
    ASSERT_TRUE(PumpUntil([&] { return receiver.events.size() >= 2; }));
    EXPECT_EQ(receiver.events[1], "record 9");
    EXPECT_EQ(recorder_.GetState(), 2);
    recorder_.Stop();
    EXPECT_EQ(receiver.events.back(), "stop 9");
    std::vector<int> writes = collected_->Get(&LCollectSink::writes_),
                     samples = collected_->Get(&LCollectSink::samples_);
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0], c.firstWrite);
    size_t firstLoud = 0;
    while (firstLoud < samples.size() && std::abs(samples[firstLoud]) <= 1000)
      firstLoud += 2;
    EXPECT_NEAR(static_cast<int>(firstLoud / 2), c.loudFrom, 3);
  }
}

TEST_F(CaptureTest, QuietInputWaitsAndSilenceGoesBackToWaiting)
{
  TestAlsaSetCard(0, "sine:1000:0.001");
  ASSERT_TRUE(Start(LDB(-20)));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(recorder_.GetState(), 1);
  EXPECT_EQ(collected_->FramesWritten(), 0);
  EXPECT_LT(recorder_.GetLevels().GetMonoDB().GetDB(), -20);
  recorder_.Stop();

  WriteSignalFile("/tmp/burst.raw", {{0.5, 0.5}, {3.0, 0}});
  TestAlsaSetCard(0, "file:/tmp/burst.raw");
  LTestReceiver receiver;
  ASSERT_TRUE(Start(LDB(-20), LSoundTime(500), 0, &receiver));
  ASSERT_TRUE(PumpUntil([&] { return receiver.events.size() >= 3; }));
  EXPECT_EQ(receiver.events, std::vector<std::string>({"wait 9", "record 9", "wait 9"}));
  recorder_.Stop();
  // The last loud block ended at 0.5 s: the silence rule takes the sink
  // back to 0.5 + 0.45 s, the stop trims it to 0.5 + 0.05 s.
  EXPECT_EQ(collected_->Get(&LCollectSink::seeks_),
            std::vector<int>({LSoundTime(950).GetSamples(44100), LSoundTime(550).GetSamples(44100)}));
  EXPECT_EQ(recorder_.GetLastLoudTime().GetMs(), 0) << "cleared by the stop";
}

TEST_F(CaptureTest, ReportsAreCoalescedAndNotPostedWithoutAReceiverAndMaximumLengthStops)
{
  TestAlsaSetCard(0, "sine:1000");
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  ASSERT_TRUE(Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_FALSE(g_main_context_pending(nullptr)) << "nothing queued for a main loop nobody runs";
  recorder_.Stop();
  LTestReceiver receiver;
  ASSERT_TRUE(Start(LDB::Off(), LSoundTime::Max(), 0, &receiver));
  ASSERT_TRUE(WaitFor([&] { return collected_->FramesWritten() >= 3 * 4410; }));
  // One iteration dispatches every waiting report; one posted meanwhile
  // waits for the next, so a loaded machine cannot add to the count.
  ASSERT_TRUE(g_main_context_iteration(nullptr, FALSE));
  EXPECT_EQ(receiver.levelReports, 1) << "several blocks, one waiting report";
  ASSERT_TRUE(PumpUntil([&] { return receiver.levelReports >= 3; })) << "reports resume once delivered";
  recorder_.Stop();

  LSoundRecorder unnotified;  // no receiver: the stop request is posted anyway
  LSoundSink sink(new LCollectSink());
  ASSERT_TRUE(unnotified.Start(sink, LSoundTime(300), LDB::Off(), LSoundTime::Max(), 2));
  ASSERT_TRUE(PumpUntil([&] { return unnotified.GetState() == 0; }));
  EXPECT_GE(static_cast<LCollectSink*>(sink.Get())->FramesWritten(), 4 * 4410);
  EXPECT_LE(static_cast<LCollectSink*>(sink.Get())->FramesWritten(), 6 * 4410);
}

TEST_F(CaptureTest, GoSignalHoldsTheThreadAndStopsAreSafeInAnyState)
{
  TestAlsaSetCard(0, "sine:1000");
  LTestReceiver receiver;
  recorder_.SetNotify(&receiver, 4);
  recorder_.Stop();
  EXPECT_TRUE(receiver.events.empty()) << "stopping a recorder that never started reports nothing";
  LSoundSink errorSink;
  EXPECT_FALSE(recorder_.Start(errorSink, 0, LDB::Off(), LSoundTime::Max(), 0));
  ASSERT_TRUE(Start(LDB::Off(), LSoundTime::Max(), 1 | 2));
  LCollectSink* first = collected_;
  EXPECT_EQ(receiver.events, std::vector<std::string>({"record 4"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(first->FramesWritten(), 0) << "held until Go";
  recorder_.Go();
  EXPECT_TRUE(WaitFor([&] { return first->FramesWritten() >= 2 * 4410; }));
  LSoundSink keep = sink_;
  ASSERT_TRUE(Start());  // stops the running capture first
  long firstFrames = first->FramesWritten();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(first->FramesWritten(), firstFrames);
  recorder_.Stop();
  recorder_.Stop();
  EXPECT_EQ(std::count(receiver.events.begin(), receiver.events.end(), "stop 4"), 2);
}

}  // namespace
