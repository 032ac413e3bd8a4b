#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#include "audio/audiotest.h"
#include "sound/prsourcetosinkpair.h"
#include "sound/testsources.h"

namespace {

constexpr int kRate = 8000;
constexpr size_t kBlock = 8192;

class SlowSource : public VectorSource {
public:
  SlowSource(int blocks, int sleepMs)
      : VectorSource(Sine(440, kRate, blocks * static_cast<int>(kBlock), 10000), kRate, 1), sleepMs_(sleepMs)
  {
  }
  int Read(int* samples, int frames) override
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs_));
    std::lock_guard<std::mutex> hold(lock_);
    readers.insert(std::this_thread::get_id());
    return VectorSource::Read(samples, frames);
  }
  std::set<std::thread::id> readers;  // read once the copies are over

private:
  int sleepMs_;
  std::mutex lock_;
};

// A display that records its progress and counts calls from any thread but its own.  It asks to stop after
// `stopAfterChecks` IsToStop calls, or from the first wait for the worker on.
class Display : public TestProgress {
public:
  bool IsToStop()
  {
    Note();
    stop = stop || (stopAfterChecks >= 0 && ++checks > stopAfterChecks);
    return stop;
  }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
  {
    Note();
    stop = stop || stopInWait;
    return TestProgress::ProcessWaitSignal(signal, ms);
  }
  void SetProgress(double fraction) { Note(), TestProgress::SetProgress(fraction); }
  void SetStatus1(const char* text) { Note(), TestProgress::SetStatus1(text); }
  void SetStatus2(const char*) { Note(); }
  void SetError(const char*) { Note(); }
  void Note() { foreignCalls += std::this_thread::get_id() != owner_; }

  int stopAfterChecks = -1, checks = 0;
  bool stopInWait = false;
  std::atomic<int> foreignCalls{0};

private:
  const std::thread::id owner_ = std::this_thread::get_id();
};

TEST(PRSourceToSinkPairTest, BothCopiesRunStopAndFailTogether)
{
  struct Side {
    int blocks, sleepMs, failAt;
    LProcessResult result;
    size_t minBlocks, maxBlocks;  // what reached the sink
  };
  struct Case {
    const char* what;
    Side first, second;
    int stopAfterChecks;
    bool stopInWait;
  } cases[] = {
      {"both done", {8, 3, INT_MAX, kProcessDone, 8, 8}, {12, 3, INT_MAX, kProcessDone, 12, 12}, -1, false},
      {"stop while both run",
       {40, 3, INT_MAX, kProcessStopped, 3, 3},
       {40, 3, INT_MAX, kProcessStopped, 0, 39},
       3,
       false},
      // Once the first has ended, while the display waits for the second: the second ends within a block or so, not at
      // its end.
      {"stop in the wait", {1, 0, INT_MAX, kProcessDone, 1, 1}, {400, 5, INT_MAX, kProcessStopped, 0, 399}, -1, true},
      {"the first fails", {40, 3, 2, kProcessFailed, 2, 2}, {400, 5, INT_MAX, kProcessStopped, 0, 399}, -1, false},
      {"the second fails alone", {20, 3, INT_MAX, kProcessDone, 20, 20}, {20, 3, 2, kProcessFailed, 2, 2}, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SlowSource* sources[2] = {new SlowSource(c.first.blocks, c.first.sleepMs),
                              new SlowSource(c.second.blocks, c.second.sleepMs)};
    LCollectSink* sinks[2] = {new LCollectSink(kRate, 1, nullptr, c.first.failAt),
                              new LCollectSink(kRate, 1, nullptr, c.second.failAt)};
    LPRSourceToSink ops[2];
    for (int i = 0; i < 2; ++i) {
      ops[i].name = i == 0 ? "First" : "Second";
      ops[i].source = LSoundSource(sources[i]);
      ops[i].sink = LSoundSink(sinks[i]);
    }
    Display display;
    display.stopAfterChecks = c.stopAfterChecks;
    display.stopInWait = c.stopInWait;
    LProgressAdaptor<Display> adaptor(display);
    LPRSourceToSinkPairResult result = LPRSourceToSinkRunPair(adaptor, ops[0], ops[1]);
    EXPECT_EQ(display.foreignCalls.load(), 0) << "the display was called from the worker";
    EXPECT_EQ(result.first, c.first.result);
    EXPECT_EQ(result.second, c.second.result);
    const Side* sides[2] = {&c.first, &c.second};
    for (int i = 0; i < 2; ++i) {
      EXPECT_GE(sinks[i]->samples_.size(), sides[i]->minBlocks * kBlock) << i;
      EXPECT_LE(sinks[i]->samples_.size(), sides[i]->maxBlocks * kBlock) << i;
    }
    if (c.first.result == kProcessDone && c.second.result == kProcessDone) {
      EXPECT_EQ(ops[1].framesCopied, 12 * static_cast<int>(kBlock));
      EXPECT_EQ(sources[0]->readers, std::set<std::thread::id>{std::this_thread::get_id()});
      ASSERT_EQ(sources[1]->readers.size(), 1u);
      EXPECT_NE(*sources[1]->readers.begin(), std::this_thread::get_id());
      EXPECT_TRUE(std::is_sorted(display.progress.begin(), display.progress.end()));
      EXPECT_TRUE(
          std::any_of(display.progress.begin(), display.progress.end(), [](double f) { return f > 0.5 && f < 1; }));
      EXPECT_EQ(display.progress.back(), 1.0);
      EXPECT_EQ(display.status1, std::vector<std::string>{"First"});
    }
  }
}

}  // namespace
