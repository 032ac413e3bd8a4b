// Threads: the signal object they wait on, start and stop, waits, priorities,
// the lock, and detached threads with the owner that stops and joins them.
#include "base/detachedthread.h"
#include "base/lockobject.h"
#include "base/signalobject.h"
#include "base/thread.h"
#include "base/ticks.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>

#include "common/proccount.h"
#include "common/waitfor.h"

namespace {

using Results = std::vector<int>;
std::atomic<int> gDestroyed{0}, gTearDownMs{0};

// A slow tear-down widens the window in which a self-deleting thread runs off the owner's list.
template <class Base>
struct Body : Base {
  explicit Body(std::function<void(Body&)> body) : body(std::move(body)) {}
  ~Body()
  {
    if constexpr (std::is_same_v<Base, LThread>)
      this->StopThreadNow();
    else
      ::Sleep(gTearDownMs), gDestroyed.fetch_add(1);
  }
  void ThreadFunction() override { runs.fetch_add(1), body(*this); }
  std::function<void(Body&)> body;
  std::atomic<int> runs{0};
};
using TestThread = Body<LThread>;
using CountedThread = Body<LDetachedThread>;

template <class T>
void UntilStopped(T& t)
{
  while (t.Wait(60000)) {
  }
}

TEST(Thread, OneThreadAtATimeARestartClearsTheStopRequestAndLowPriorityIsPassedOn)
{
  std::atomic<int> low_inside{1}, child_inside{1};
  TestThread child([&](TestThread&) { child_inside = LThread::GetCurrentPriority(); });
  TestThread low([&](TestThread& t) {
    low_inside = LThread::GetCurrentPriority();
    child.StartSame();
    child.StopThreadNow();
    UntilStopped(t);
  });
  low.StopThreadNow();  // no thread: returns at once
  low.StartLow();
  low.StartNormal();
  ASSERT_TRUE(Eventually([&] { return child_inside.load() != 1; }));
  ::Sleep(50);
  EXPECT_EQ(low.runs.load(), 1) << "a start on a running thread started a second";
  EXPECT_EQ(Results({low_inside.load(), child_inside.load(), low.GetPriority()}), (Results{-10, -10, -10}));
  low.StopThreadNow();
  EXPECT_TRUE(!low.IsRunning() && low.IsToStop()) << "the stop request stays set until the next Start";
  std::atomic<bool> saw_stop{true};
  TestThread once([&](TestThread& t) { saw_stop = t.IsToStop(); });
  once.StopThreadSoon();
  once.StartNormal();
  ASSERT_TRUE(Eventually([&] { return once.runs.load() == 1 && !once.IsRunning(); }));
  EXPECT_FALSE(saw_stop.load()) << "Start must clear an earlier stop request";
}

// Each wait's result in order: timed out, signalled, then ended by the stop
// request (a wait that missed it would hold StopThreadNow for a minute).
TEST(Thread, WaitsRunFullOrEndOnStopAndReportWhy)
{
  LSignalObject signal, entries[3];
  LSignalObjectGroup group;
  for (unsigned int i = 0; i < LSignalObjectGroup::kMaxEntries; ++i)
    group.Add(entries[i % 3]);
  EXPECT_FALSE(group.Add(entries[0])) << "255 entries at most";
  Results r;
  std::atomic<bool> ready{false};
  TestThread thread([&](TestThread& t) {
    r = {t.Wait(30), t.ProcessWaitSignal(signal, 20), t.ProcessWaitSignalObjectGroup(group, 20)};
    signal.Signal();
    entries[2].Signal();
    r.insert(r.end(), {t.ProcessWaitSignal(signal, 1000), t.ProcessWaitSignalForever(signal),
                       t.ProcessWaitSignalObjectGroup(group, 1000),
                       group.IsEntrySignaled(2) && group.IsEntrySignaled(254) && !group.IsEntrySignaled(0)});
    signal.Reset();
    entries[2].Reset();
    ready = true;
    // The stop still wakes a full group; a set signal does not hide it.
    r.insert(r.end(), {t.ProcessWaitSignalObjectGroup(group, 60000), t.Wait(60000), t.Sleep(60000),
                       t.ProcessWaitSignalForever(signal), (signal.Signal(), t.ProcessWaitSignal(signal, 60000)),
                       t.ProcessWait(60000)});
  });
  thread.StartNormal();
  ASSERT_TRUE(Eventually([&] { return ready.load(); }));
  ::Sleep(20);
  thread.StopThreadNow();
  const int failed = kProcessFailed, done = kProcessDone, stopped = kProcessStopped;
  EXPECT_EQ(r, (Results{1, failed, failed, done, done, done, 1, stopped, 0, 0, stopped, stopped, stopped}));
  EXPECT_EQ(group.GetCount(), 255u) << "the stop signal is not added to the group";
}

TEST(Thread, InterruptedWaitsResumeInsteadOfReportingASignal)
{
  struct sigaction action = {}, previous;
  action.sa_handler = [](int) {};  // no SA_RESTART: poll returns EINTR
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
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(r, (Results{kProcessFailed, 1, 1})) << "an interruption ended a wait early or as the signal";
}

TEST(LockObject, ScopesExcludeEachOther)
{
  LLockObject lock;
  long counter = 0;  // plain on purpose: only the lock protects it
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

TEST(SignalObject, SetResetWaitsAndOneDescriptor)
{
  const int before = CountDescriptors();
  {
    LSignalObject signal;
    const int fd = signal.GetRef().GetPollFD();
    EXPECT_TRUE((fcntl(fd, F_GETFD) & FD_CLOEXEC) && (fcntl(fd, F_GETFL) & O_NONBLOCK) &&
                CountDescriptors() == before + 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(signal.IsSignaled() || signal.WaitSignal(80));
    EXPECT_GE(MsSince(start), 75) << "the wait must last its time";
    for (int i = 0; i < 200000; ++i)  // no number of signals may block, and one reset takes them all
      signal.Signal();
    EXPECT_TRUE(signal.WaitSignal(1000) && signal.GetRef().WaitSignalForever() && signal.IsSignaled());
    signal.Reset();
    signal.Reset();  // when not set: must not block
    EXPECT_FALSE(signal.IsSignaled());
  }
  EXPECT_EQ(CountDescriptors(), before);
  LSignalObjectRef none;
  EXPECT_FALSE(none.IsSignaled() || none.WaitSignal(10) || none.WaitSignalForever());
}

TEST(DetachedThreads, StopNowWhileManyEndOnTheirOwnAndTheOwnerWaitsForSelfDeletion)
{
  LSignalObject gate;
  LDetachedThreadsOwner owner;
  std::atomic<int> waiting{0};
  for (int i = 0; i < 500; ++i) {
    owner.StartThreadNormal(new CountedThread([&, alone = i % 2 == 0](CountedThread& t) {
      waiting.fetch_add(1);
      alone ? (void)t.ProcessWaitSignalForever(gate) : UntilStopped(t);  // ends with the gate or the stop
    }));
  }
  ASSERT_TRUE(Eventually([&] { return waiting.load() == 500; }, 30000));
  gate.Signal();  // half end on their own while the owner unlinks and joins
  owner.StopThreadsNow();
  EXPECT_EQ(gDestroyed.load(), 500);
  std::atomic<int> ended{0};
  gTearDownMs = 300;
  for (int i = 0; i < 20; ++i)
    owner.StartThreadNormal(new CountedThread([&](CountedThread&) { ended.fetch_add(1); }));
  ASSERT_TRUE(Eventually([&] { return ended.load() == 20; }));
  ::Sleep(20);
  owner.StopThreadsNow();
  gTearDownMs = 0;
  EXPECT_EQ(gDestroyed.load(), 520) << "StopThreadsNow returned while destructors still ran";
  {
    LDetachedThreadsOwner other;
    for (int i = 0; i < 30; ++i)
      other.StartThread(new CountedThread(UntilStopped<CountedThread>), LThread::kPriorityLow);
  }
  EXPECT_EQ(gDestroyed.load(), 550) << "the owner's destruction stops the rest";
}

}  // namespace
