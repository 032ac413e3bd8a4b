// The thread class: start and stop, its waits, priorities and the lock.
#include "base/lockobject.h"
#include "base/thread.h"
#include "base/ticks.h"

#include <atomic>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

#include "base/waitfor.h"

namespace {

using Results = std::vector<int>;

// Runs a function object as its thread function.
class TestThread : public LThread {
public:
  explicit TestThread(std::function<void(TestThread&)> body) : body_(std::move(body)) {}
  ~TestThread() { StopThreadNow(); }
  std::atomic<int> runs{0};

private:
  void ThreadFunction() override {
    runs.fetch_add(1);
    body_(*this);
  }
  std::function<void(TestThread&)> body_;
};

void WaitForStop(TestThread& t) {
  while (t.Wait(10000)) {
  }
}

TEST(Thread, OneThreadAtATimeAndARestartClearsTheStopRequest) {
  TestThread idle(WaitForStop);
  idle.StopThreadNow(); // no thread: returns at once
  idle.StartNormal();
  idle.StartNormal();
  idle.StartLow();
  ASSERT_TRUE(Eventually([&] { return idle.runs.load() >= 1; }));
  ::Sleep(50);
  EXPECT_EQ(idle.runs.load(), 1) << "a start on a running thread started a second";
  EXPECT_TRUE(idle.IsRunning());
  idle.StopThreadNow();
  EXPECT_FALSE(idle.IsRunning());
  EXPECT_TRUE(idle.IsToStop()) << "the stop request stays set until the next Start";
  std::atomic<bool> saw_stop{true};
  TestThread once([&](TestThread& t) { saw_stop = t.IsToStop(); });
  once.StartNormal();
  ASSERT_TRUE(Eventually([&] { return !once.IsRunning(); }));
  once.StopThreadSoon();
  once.StartNormal();
  ASSERT_TRUE(Eventually([&] { return once.runs.load() == 2 && !once.IsRunning(); }));
  EXPECT_FALSE(saw_stop.load()) << "Start must clear an earlier stop request";
}

// Each wait's result in order: timed out, signalled, then ended by the stop
// request (a wait that missed it would hold StopThreadNow for a minute).
TEST(Thread, WaitsRunFullOrEndOnStopAndReportWhy) {
  LSignalObject signal, entries[3];
  LSignalObjectGroup group;
  for (unsigned int i = 0; i < LSignalObjectGroup::kMaxEntries; ++i)
    group.Add(entries[i % 3]);
  Results r;
  std::atomic<bool> ready{false};
  TestThread thread([&](TestThread& t) {
    r = {t.Wait(30), t.ProcessWaitSignal(signal, 20), t.ProcessWaitSignalObjectGroup(group, 20)};
    signal.Signal();
    entries[2].Signal();
    r.push_back(t.ProcessWaitSignal(signal, 1000));
    r.push_back(t.ProcessWaitSignalForever(signal));
    r.push_back(t.ProcessWaitSignalObjectGroup(group, 1000));
    r.push_back(group.IsEntrySignaled(2) && !group.IsEntrySignaled(0));
    signal.Reset();
    entries[2].Reset();
    ready = true;
    r.push_back(t.ProcessWaitSignalObjectGroup(group, 60000)); // the stop still wakes a full group
    r.push_back(t.Wait(60000));
    r.push_back(t.Sleep(60000));
    r.push_back(t.ProcessWaitSignalForever(signal));
    signal.Signal();
    r.push_back(t.ProcessWaitSignal(signal, 60000));
    r.push_back(t.ProcessWait(60000));
  });
  thread.StartNormal();
  ASSERT_TRUE(Eventually([&] { return ready.load(); }));
  ::Sleep(20);
  const auto start = std::chrono::steady_clock::now();
  thread.StopThreadNow();
  EXPECT_LT(MsSince(start), 30000);
  const int failed = kProcessFailed, done = kProcessDone, stopped = kProcessStopped;
  EXPECT_EQ(r, (Results{1, failed, failed, done, done, done, 1, stopped, 0, 0, stopped, stopped, stopped}));
  EXPECT_EQ(group.GetCount(), 255u) << "the stop signal is not added to the group";
}

TEST(Thread, InterruptedWaitsResumeInsteadOfReportingASignal) {
  struct sigaction action = {}, previous;
  action.sa_handler = [](int) {}; // no SA_RESTART: poll returns EINTR
  sigaction(SIGUSR1, &action, &previous);
  LSignalObject never;
  std::atomic<pthread_t> worker{};
  std::atomic<bool> started{false};
  Results r;
  TestThread thread([&](TestThread& t) {
    worker = pthread_self();
    started = true;
    const auto start = std::chrono::steady_clock::now();
    r = {t.ProcessWaitSignal(never, 300), t.Wait(100), MsSince(start) >= 390};
  });
  thread.StartNormal();
  ASSERT_TRUE(Eventually([&] { return started.load(); }));
  for (int i = 0; i < 10; ++i, ::Sleep(20))
    pthread_kill(worker.load(), SIGUSR1);
  ASSERT_TRUE(Eventually([&] { return !thread.IsRunning(); }));
  thread.StopThreadNow();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(r, (Results{kProcessFailed, 1, 1})) << "an interruption ended a wait early or as the signal";
}

TEST(Thread, LowPriorityIsAppliedAndPassedOnByStartSame) {
  std::atomic<int> low_inside{1}, child_inside{1};
  TestThread child([&](TestThread&) { child_inside = LThread::GetCurrentPriority(); });
  TestThread low([&](TestThread& t) {
    low_inside = LThread::GetCurrentPriority();
    child.StartSame();
    child.StopThreadNow();
    WaitForStop(t);
  });
  low.StartLow();
  ASSERT_TRUE(Eventually([&] { return child_inside.load() != 1; }));
  EXPECT_EQ(Results({low_inside.load(), child_inside.load(), low.GetPriority()}), (Results{-10, -10, -10}));
  low.StopThreadNow();
  EXPECT_EQ(low.GetPriority(), -10) << "the stored priority when nothing runs";
  low.SetPriority(-5);
  EXPECT_EQ(low.GetPriority(), -5);
}

TEST(LockObject, ScopesExcludeEachOther) {
  LLockObject lock;
  long counter = 0; // plain on purpose: only the lock protects it
  auto body = [&](TestThread&) {
    for (int i = 0; i < 100000; ++i) {
      LLockScope scope(lock);
      ++counter;
    }
  };
  TestThread a(body), b(body), c(body);
  for (TestThread* t : {&a, &b, &c})
    t->StartNormal();
  ASSERT_TRUE(Eventually([&] { return !a.IsRunning() && !b.IsRunning() && !c.IsRunning(); }, 60000));
  EXPECT_EQ(counter, 300000);
}

} // namespace
