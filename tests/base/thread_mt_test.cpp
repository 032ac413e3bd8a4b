#include "base/lockobject.h"
#include "base/thread.h"
#include "base/ticks.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <pthread.h>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Waits up to 5 s for a condition set by another thread.
bool Eventually(const std::function<bool()>& condition)
{
  for (int i = 0; i < 500; ++i) {
    if (condition())
      return true;
    ::Sleep(10);
  }
  return condition();
}

// Runs a function object as its thread function.
class TestThread : public LThread {
public:
  explicit TestThread(std::function<void(TestThread&)> body) : body_(std::move(body)) {}
  ~TestThread() { StopThreadNow(); }

  std::atomic<int> runs{0};

private:
  void ThreadFunction() override
  {
    runs.fetch_add(1);
    body_(*this);
  }

  std::function<void(TestThread&)> body_;
};

void WaitForStop(TestThread& t)
{
  while (t.Wait(10000)) {
  }
}

TEST(Thread, StartOnARunningThreadDoesNotStartASecond)
{
  TestThread thread(WaitForStop);
  thread.StartNormal();
  thread.StartNormal();
  thread.StartLow();
  ASSERT_TRUE(Eventually([&] { return thread.runs.load() >= 1; }));
  ::Sleep(50);
  EXPECT_EQ(thread.runs.load(), 1);
  EXPECT_TRUE(thread.IsRunning());
  thread.StopThreadNow();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_TRUE(thread.IsToStop()) << "the stop request stays set until the next Start";
}

TEST(Thread, FinishedThreadIsJoinedAndRestartedWithAClearedStopRequest)
{
  std::atomic<bool> saw_stop{true};
  TestThread thread([&](TestThread& t) { saw_stop = t.IsToStop(); });
  thread.StartNormal();
  ASSERT_TRUE(Eventually([&] { return !thread.IsRunning(); }));
  thread.StopThreadSoon();
  thread.StartNormal();
  ASSERT_TRUE(Eventually([&] { return thread.runs.load() == 2 && !thread.IsRunning(); }));
  EXPECT_FALSE(saw_stop.load()) << "Start must clear an earlier stop request";
}

TEST(Thread, StopThreadNowWithoutAThreadReturnsAtOnce)
{
  TestThread thread(WaitForStop);
  auto start = Clock::now();
  thread.StopThreadNow();
  thread.StopThreadNow();
  EXPECT_LT(MsSince(start), 100);
  EXPECT_EQ(thread.runs.load(), 0);
}

TEST(Thread, WaitEndsAtOnceOnStopAndRunsFullOtherwise)
{
  std::atomic<int> first{-1};
  std::atomic<int> second{-1};
  std::atomic<long long> elapsed{-1};
  std::atomic<bool> short_wait{false};
  TestThread thread([&](TestThread& t) {
    short_wait = t.Wait(30);
    auto start = Clock::now();
    first = t.Wait(1000);
    elapsed = MsSince(start);
    second = t.Sleep(1000); // stop already requested: no wait at all
  });
  thread.StartNormal();
  ::Sleep(100);
  auto stop_time = Clock::now();
  thread.StopThreadNow();
  EXPECT_LT(MsSince(stop_time), 300);
  EXPECT_TRUE(short_wait.load());
  EXPECT_EQ(first.load(), 0);
  EXPECT_EQ(second.load(), 0);
  EXPECT_LT(elapsed.load(), 500);
}

TEST(Thread, ProcessWaitsReportDoneStoppedAndTimeOut)
{
  LSignalObject signal;
  std::atomic<int> timed_out{-1}, signalled{-1}, forever{-1}, stop_wins{-1}, stopped{-1}, after{-1};
  std::atomic<bool> ready{false};
  TestThread thread([&](TestThread& t) {
    timed_out = t.ProcessWaitSignal(signal, 20);
    signal.Signal();
    signalled = t.ProcessWaitSignal(signal, 1000);
    forever = t.ProcessWaitSignalForever(signal);
    signal.Reset();
    ready = true;
    stopped = t.ProcessWaitSignalForever(signal);
    signal.Signal();
    stop_wins = t.ProcessWaitSignal(signal, 1000);
    after = t.ProcessWait(1000);
  });
  thread.StartNormal();
  ASSERT_TRUE(Eventually([&] { return ready.load(); }));
  ::Sleep(20);
  thread.StopThreadNow();
  EXPECT_EQ(timed_out.load(), kProcessFailed);
  EXPECT_EQ(signalled.load(), kProcessDone);
  EXPECT_EQ(forever.load(), kProcessDone);
  EXPECT_EQ(stopped.load(), kProcessStopped);
  EXPECT_EQ(stop_wins.load(), kProcessStopped);
  EXPECT_EQ(after.load(), kProcessStopped);
}

TEST(Thread, FullGroupIsStillWokenByTheStopSignalAndNotGrown)
{
  LSignalObject entries[3];
  LSignalObjectGroup group;
  for (unsigned int i = 0; i < LSignalObjectGroup::kMaxEntries; ++i)
    group.Add(entries[i % 3]);
  std::atomic<int> timeout_result{-1}, entry_result{-1}, stop_result{-1};
  std::atomic<bool> entry_seen{false}, ready{false};
  TestThread thread([&](TestThread& t) {
    timeout_result = t.ProcessWaitSignalObjectGroup(group, 20);
    entries[2].Signal();
    entry_result = t.ProcessWaitSignalObjectGroup(group, 1000);
    entry_seen = group.IsEntrySignaled(2) && !group.IsEntrySignaled(0);
    entries[2].Reset();
    ready = true;
    stop_result = t.ProcessWaitSignalObjectGroup(group, 60000);
  });
  thread.StartNormal();
  ASSERT_TRUE(Eventually([&] { return ready.load(); }));
  ::Sleep(20);
  auto start = Clock::now();
  thread.StopThreadNow();
  EXPECT_LT(MsSince(start), 1000) << "the stop signal did not wake a full group";
  EXPECT_EQ(timeout_result.load(), kProcessFailed);
  EXPECT_EQ(entry_result.load(), kProcessDone);
  EXPECT_TRUE(entry_seen.load());
  EXPECT_EQ(stop_result.load(), kProcessStopped);
  EXPECT_EQ(group.GetCount(), 255u);
}

void IgnoreSignal(int) {}

TEST(Thread, InterruptedWaitsResumeInsteadOfReportingASignal)
{
  struct sigaction action = {};
  action.sa_handler = IgnoreSignal; // no SA_RESTART: poll returns EINTR
  struct sigaction previous;
  sigaction(SIGUSR1, &action, &previous);

  LSignalObject never;
  std::atomic<pthread_t> worker{};
  std::atomic<bool> started{false};
  std::atomic<int> result{-1};
  std::atomic<bool> waited{false};
  std::atomic<long long> elapsed{0};
  TestThread thread([&](TestThread& t) {
    worker = pthread_self();
    started = true;
    auto start = Clock::now();
    result = t.ProcessWaitSignal(never, 300);
    waited = t.Wait(100);
    elapsed = MsSince(start);
  });
  thread.StartNormal();
  ASSERT_TRUE(Eventually([&] { return started.load(); }));
  for (int i = 0; i < 10; ++i) {
    ::Sleep(20);
    pthread_kill(worker.load(), SIGUSR1);
  }
  ASSERT_TRUE(Eventually([&] { return !thread.IsRunning(); }));
  thread.StopThreadNow();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(result.load(), kProcessFailed) << "an interruption was reported as the signal";
  EXPECT_TRUE(waited.load());
  EXPECT_GE(elapsed.load(), 390);
}

TEST(Thread, PrioritiesAreAppliedOrSilentlyRefused)
{
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
  EXPECT_EQ(low_inside.load(), -10);
  EXPECT_EQ(child_inside.load(), -10) << "StartSame did not pass the caller's priority";
  EXPECT_EQ(low.GetPriority(), -10);
  low.StopThreadNow();
  EXPECT_EQ(low.GetPriority(), -10) << "the stored priority when nothing runs";

  // Real time needs a privilege the test may lack; either way the thread runs.
  std::atomic<int> high_inside{1};
  TestThread high([&](TestThread& t) {
    high_inside = LThread::GetCurrentPriority();
    WaitForStop(t);
  });
  int before = LThread::GetCurrentPriority();
  high.StartHigh();
  ASSERT_TRUE(Eventually([&] { return high_inside.load() != 1; }));
  EXPECT_TRUE(high_inside.load() == 80 || high_inside.load() == before) << high_inside.load();
  high.SetPriority(-5);
  EXPECT_EQ(high.GetPriority(), -5);
  high.StopThreadNow();
}

TEST(LockObject, ScopesExcludeEachOther)
{
  LLockObject lock;
  long counter = 0; // plain on purpose: only the lock protects it
  auto body = [&](TestThread&) {
    for (int i = 0; i < 100000; ++i) {
      LLockScope scope(lock);
      ++counter;
    }
  };
  TestThread a(body), b(body), c(body);
  a.StartNormal();
  b.StartNormal();
  c.StartNormal();
  ASSERT_TRUE(Eventually([&] { return !a.IsRunning() && !b.IsRunning() && !c.IsRunning(); }));
  a.StopThreadNow();
  b.StopThreadNow();
  c.StopThreadNow();
  EXPECT_EQ(counter, 300000);
}

} // namespace
