// Two source-to-sink copies at once: the second on a worker thread, every
// display call on the caller's thread, stops and failures passed between
// the two as a recording's two bit rates need.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "sound/prsourcetosinkpair.h"
#include "sound/testsources.h"

namespace {

constexpr int kRate = 8000;
constexpr int kBlock = 8192;

// Sleeps before every read, so that the copies overlap, and notes the
// threads that read it.
class SlowSource : public VectorSource {
public:
  SlowSource(int blocks, int sleepMs)
      : VectorSource(Sine(440, kRate, blocks * kBlock, 10000), kRate, 1), sleepMs_(sleepMs)
  {
  }
  int Read(int* samples, int frames) override
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs_));
    std::lock_guard<std::mutex> hold(lock_);
    readers_.insert(std::this_thread::get_id());
    return VectorSource::Read(samples, frames);
  }
  std::set<std::thread::id> Readers()
  {
    std::lock_guard<std::mutex> hold(lock_);
    return readers_;
  }

private:
  int sleepMs_;
  std::mutex lock_;
  std::set<std::thread::id> readers_;
};

// A display that records what it is told and counts calls from any thread
// but the one that made it.  It asks to stop after `stopAfterChecks`
// IsToStop calls, or from the first wait for the worker on.
class Display {
public:
  bool IsToStop()
  {
    Note();
    if (stopAfterChecks >= 0 && ++checks > stopAfterChecks)
      stop = true;
    return stop;
  }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
  {
    Note();
    if (stopInWait)
      stop = true;
    if (stop)
      return kProcessStopped;
    return signal.WaitSignal(ms) ? kProcessDone : kProcessFailed;
  }
  void SetProgress(double fraction)
  {
    Note();
    progress.push_back(fraction);
  }
  void SetStatus1(const char* text)
  {
    Note();
    status1.emplace_back(text);
  }
  void SetStatus2(const char*) { Note(); }
  void SetError(const char*) { Note(); }

  int stopAfterChecks = -1;
  bool stopInWait = false;
  bool stop = false;
  int checks = 0;
  std::vector<double> progress;
  std::vector<std::string> status1;
  std::atomic<int> foreignCalls{0};

private:
  void Note()
  {
    if (std::this_thread::get_id() != owner_)
      foreignCalls.fetch_add(1);
  }
  const std::thread::id owner_ = std::this_thread::get_id();
};

struct Copy {
  Copy(const char* name, SlowSource* source, RecordingSink* sink) : source(source), sink(sink)
  {
    op.name = name;
    op.source = LSoundSource(source);
    op.sink = LSoundSink(sink);
  }
  LPRSourceToSink op;
  SlowSource* source;
  RecordingSink* sink;
};

LPRSourceToSinkPairResult RunPair(Display& display, Copy& first, Copy& second)
{
  LProgressAdaptor<Display> adaptor(display);
  LPRSourceToSinkPairResult result = LPRSourceToSinkRunPair(adaptor, first.op, second.op);
  EXPECT_EQ(display.foreignCalls.load(), 0) << "the display was called from the worker";
  return result;
}

size_t Samples(int blocks)
{
  return static_cast<size_t>(blocks) * kBlock;
}

TEST(PRSourceToSinkPairTest, CopiesBothAtOnceWhileTheDisplayStaysOnItsThread)
{
  Copy first("First", new SlowSource(8, 3), new RecordingSink(kRate, 1));
  Copy second("Second", new SlowSource(12, 3), new RecordingSink(kRate, 1));
  Display display;
  LPRSourceToSinkPairResult result = RunPair(display, first, second);
  EXPECT_EQ(result.first, kProcessDone);
  EXPECT_EQ(result.second, kProcessDone);
  EXPECT_EQ(first.sink->data.size(), Samples(8));
  EXPECT_EQ(second.sink->data.size(), Samples(12));
  EXPECT_EQ(first.op.framesCopied, 8 * kBlock);
  EXPECT_EQ(second.op.framesCopied, 12 * kBlock);

  // Each copy read on its own thread, the first on the caller's.
  ASSERT_EQ(first.source->Readers(), std::set<std::thread::id>{std::this_thread::get_id()});
  ASSERT_EQ(second.source->Readers().size(), 1u);
  EXPECT_NE(*second.source->Readers().begin(), std::this_thread::get_id());

  // One bar for both: it never goes back, and when the first copy is
  // done it stands between half and full, as the longer second goes on.
  ASSERT_FALSE(display.progress.empty());
  EXPECT_TRUE(std::is_sorted(display.progress.begin(), display.progress.end()));
  EXPECT_EQ(display.progress.back(), 1.0);
  EXPECT_TRUE(std::any_of(display.progress.begin(), display.progress.end(),
                          [](double f) { return f > 0.5 && f < 1.0; }));
  EXPECT_EQ(display.status1, std::vector<std::string>{"First"});
}

TEST(PRSourceToSinkPairTest, AStopReachesBothCopies)
{
  {
    // While both run.
    Copy first("First", new SlowSource(40, 3), new RecordingSink(kRate, 1));
    Copy second("Second", new SlowSource(40, 3), new RecordingSink(kRate, 1));
    Display display;
    display.stopAfterChecks = 3;
    LPRSourceToSinkPairResult result = RunPair(display, first, second);
    EXPECT_EQ(result.first, kProcessStopped);
    EXPECT_EQ(result.second, kProcessStopped);
    EXPECT_EQ(first.sink->data.size(), Samples(3));
    EXPECT_LT(second.sink->data.size(), Samples(40));
  }
  {
    // Once the first has ended, while the display waits for the second:
    // the second ends within a block, not at its end.
    Copy first("First", new SlowSource(1, 0), new RecordingSink(kRate, 1));
    Copy second("Second", new SlowSource(400, 5), new RecordingSink(kRate, 1));
    Display display;
    display.stopInWait = true;
    auto start = std::chrono::steady_clock::now();
    LPRSourceToSinkPairResult result = RunPair(display, first, second);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(result.first, kProcessDone);
    EXPECT_EQ(result.second, kProcessStopped);
    EXPECT_EQ(first.sink->data.size(), Samples(1));
    EXPECT_LT(second.sink->data.size(), Samples(400));
  }
}

TEST(PRSourceToSinkPairTest, AFailedFirstStopsTheSecondButNotTheOtherWayRound)
{
  {
    Copy first("First", new SlowSource(40, 3), new RecordingSink(kRate, 1, 2));
    Copy second("Second", new SlowSource(400, 5), new RecordingSink(kRate, 1));
    Display display;
    LPRSourceToSinkPairResult result = RunPair(display, first, second);
    EXPECT_EQ(result.first, kProcessFailed);
    EXPECT_EQ(result.second, kProcessStopped);
    EXPECT_LT(second.sink->data.size(), Samples(400));
  }
  {
    Copy first("First", new SlowSource(20, 3), new RecordingSink(kRate, 1));
    Copy second("Second", new SlowSource(20, 3), new RecordingSink(kRate, 1, 2));
    Display display;
    LPRSourceToSinkPairResult result = RunPair(display, first, second);
    EXPECT_EQ(result.first, kProcessDone);
    EXPECT_EQ(result.second, kProcessFailed);
    EXPECT_EQ(first.sink->data.size(), Samples(20));
    EXPECT_EQ(second.sink->data.size(), Samples(2));
  }
}

} // namespace
