// Threads: the signal object they wait on, start and stop, waits, priorities, detached
// threads with the owner that stops and joins them, and notifications delivered on the main loop.
#include "base/detachedthread.h"
#include "base/queuednotify.h"
#include "base/signalobject.h"
#include "base/thread.h"
#include "base/ticks.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <functional>
#include <glib.h>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

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
      ::Sleep(gTearDownMs), gDestroyed.fetch_add(this->IsRunning() ? 1000 : 1);  // never while it runs
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

TEST(Thread, OneThreadAtATimeAtLowPriorityAndARestartClearsTheStopRequest)
{
  std::atomic<int> priority{1};
  TestThread low([&](TestThread& t) { priority = LThread::GetCurrentPriority(), UntilStopped(t); });
  low.StopThreadNow();  // no thread: returns at once
  low.StartLow();
  low.StartNormal();
  ASSERT_TRUE(Eventually([&] { return priority.load() != 1; }));
  ::Sleep(50);
  EXPECT_EQ(low.runs.load(), 1) << "a start on a running thread started a second";
  EXPECT_EQ(Results({priority.load(), low.GetPriority()}), (Results{-10, -10}));
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
TEST(Thread, WaitsRunFullOrEndOnStopAndReportWhyOnSignalObjectsOfOneDescriptor)
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
  // A signal object costs one descriptor (every web connection's thread holds one).
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
    waiting = 0;
    for (int i = 0; i < 30; ++i)
      other.StartThread(
          new CountedThread([&](CountedThread& t) { waiting.fetch_add(1), UntilStopped(t), ::Sleep(100); }),
          LThread::kPriorityLow);  // slow to end: deleting one before it has ended shows
    ASSERT_TRUE(Eventually([&] { return waiting.load() == 30; }));
  }
  EXPECT_EQ(gDestroyed.load(), 550) << "the owner's destruction stops the rest";
}

int gLockDepth = 0, gEnters = 0;

void Drain()
{
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

struct Target : LThreadQueuedNotify {
  explicit Target(std::atomic<int>& count, bool delete_self = false) : count(count), delete_self(delete_self) {}
  void EvNotify() override
  {
    inside_lock = inside_lock && gLockDepth == 1;
    count.fetch_add(1);
    if (delete_self)
      delete this;
  }
  std::atomic<int>& count;
  bool delete_self, inside_lock = true;
};

// Each delivery as "type size bytes" ("null" for no data).
struct Handler : LQueuedNotifyDataHandler {
  std::vector<std::string> received;
  void EvQueuedNotifyData(unsigned int type, const void* data, unsigned int size) override
  {
    received.push_back(std::to_string(type) + " " + std::to_string(size) + " " +
                       (data ? std::string(static_cast<const char*>(data), size) : "null"));
  }
};

// Notifications cross from any thread to the main loop; targets run inside its lock, data handlers outside.
TEST(QueuedNotify, PostsAndDataArriveOnceIntactAndNeverAtADestroyedReceiver)
{
  LSetMainLoopLockHooks([] { gEnters += ++gLockDepth; }, [] { --gLockDepth; });
  std::atomic<int> count{0};
  auto gone = std::make_unique<Target>(count);
  gone->PostQueueNotify();
  gone.reset();
  auto* self_deleting = new Target(count, true);  // the second post must not reach it
  self_deleting->PostQueueNotify();
  self_deleting->PostQueueNotify();
  Target target(count);
  LQueuedNotifyDataSender sender;
  sender.NotifyData(1, "abc", 3);  // no handler: nothing queued
  Handler handler;
  auto destroyed = std::make_unique<Handler>();
  sender.SetNotifyHandler(*destroyed);
  std::vector<char> big(100000, 'a');
  sender.NotifyData(1, big.data(), static_cast<unsigned int>(big.size()));
  destroyed.reset();  // a delivery now would write into freed memory (ASan)
  sender.SetNotifyHandler(handler);
  char text[] = "level 3";
  sender.NotifyData(7, text, 8);
  text[0] = 'X';  // the sender's buffer may change at once
  sender.NotifyData(8, nullptr, 12);
  target.PostQueueNotify();
  EXPECT_EQ(count.load(), 0) << "delivered before the main loop ran";
  Drain();
  EXPECT_EQ(count.load(), 2) << "a post was lost or reached a destroyed target";
  EXPECT_TRUE(gEnters == 2 && gLockDepth == 0 && target.inside_lock) << "data is delivered without the lock";
  std::vector<std::string> expected = {std::string("7 8 level 3\0", 12), "8 12 null"};
  EXPECT_EQ(handler.received, expected);

  auto text_of = [](unsigned int id, unsigned int i) {
    return std::to_string(id) + "-" + std::to_string(i) + std::string(i % 40, '.');
  };
  std::vector<std::thread> posters;
  for (unsigned int id = 1; id <= 4; ++id) {
    posters.emplace_back([&, id] {
      for (unsigned int i = 0; i < 300; ++i) {
        target.PostQueueNotify();
        const std::string payload = text_of(id, i);
        sender.NotifyData(id, payload.data(), static_cast<unsigned int>(payload.size()));
      }
    });
    for (unsigned int i = 0; i < 300; ++i) {
      expected.push_back(std::to_string(id) + " " + std::to_string(text_of(id, i).size()) + " " + text_of(id, i));
    }
  }
  Eventually([&] { return Drain(), count.load() == 1202 && handler.received.size() == expected.size(); }, 10000);
  for (auto& poster : posters)
    poster.join();
  Drain();
  EXPECT_EQ(count.load(), 1202) << "posts were merged or lost";
  std::sort(expected.begin(), expected.end());
  std::sort(handler.received.begin(), handler.received.end());
  EXPECT_TRUE(handler.received == expected) << "payloads lost, doubled or torn";
  sender.InvalidateNotifyHandler();
  sender.NotifyData(3, "abc", 3);
  EXPECT_FALSE(g_main_context_pending(nullptr));
  LSetMainLoopLockHooks(nullptr, nullptr);
}

}  // namespace
