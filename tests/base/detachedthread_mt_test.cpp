// Threads that delete themselves when they end, and the owner that stops
// and joins those still running.
#include "base/detachedthread.h"
#include "base/ticks.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>

#include "base/waitfor.h"

namespace {

std::atomic<int> gBuilt{0};
std::atomic<int> gDestroyed{0};

class CountedThread : public LDetachedThread {
public:
  explicit CountedThread(std::function<void(CountedThread&)> body, unsigned int destructor_ms = 0)
      : body_(std::move(body)), destructor_ms_(destructor_ms)
  {
    gBuilt.fetch_add(1);
  }
  ~CountedThread() override {
    // A slow tear-down widens the window in which a self-deleting thread
    // still runs after it left the owner's list.
    ::Sleep(destructor_ms_);
    gDestroyed.fetch_add(1);
  }

protected:
  void ThreadFunction() override { body_(*this); }

private:
  std::function<void(CountedThread&)> body_;
  unsigned int destructor_ms_;
};

void UntilStopped(CountedThread& t) {
  while (t.Wait(60000)) {
  }
}

class DetachedThreadsTest : public ::testing::Test {
protected:
  void SetUp() override { gBuilt = gDestroyed = 0; }
};

TEST_F(DetachedThreadsTest, StopNowOver500ThreadsManyEndingOnTheirOwnAtTheSameMoment) {
  for (int round = 0; round < 3; ++round) {
    gBuilt = gDestroyed = 0;
    LSignalObject gate;
    LDetachedThreadsOwner owner;
    std::atomic<int> waiting{0};
    for (int i = 0; i < 500; ++i) {
      const bool ends_alone = i % 2 == 0;
      owner.StartThreadNormal(new CountedThread([&, ends_alone](CountedThread& t) {
        waiting.fetch_add(1);
        if (ends_alone)
          t.ProcessWaitSignalForever(gate); // ends with the gate or the stop
        else
          UntilStopped(t);
      }));
    }
    ASSERT_TRUE(Eventually([&] { return waiting.load() == 500; }, 30000));
    // Half the threads end on their own while the owner unlinks and joins.
    gate.Signal();
    owner.StopThreadsNow();
    EXPECT_EQ(gBuilt.load(), 500);
    EXPECT_EQ(gDestroyed.load(), 500) << "round " << round;
  }
}

TEST_F(DetachedThreadsTest, EndedThreadsDeleteThemselvesAndStopNowWaitsForThat) {
  LDetachedThreadsOwner owner;
  for (int i = 0; i < 50; ++i)
    owner.StartThreadNormal(new CountedThread([](CountedThread&) {}));
  EXPECT_TRUE(Eventually([] { return gDestroyed.load() == 50; }));
  owner.StopThreadsNow(); // an empty list: returns at once
  EXPECT_EQ(gDestroyed.load(), 50);

  std::atomic<int> ended{0};
  for (int i = 0; i < 20; ++i)
    owner.StartThreadNormal(new CountedThread([&](CountedThread&) { ended.fetch_add(1); }, 300));
  ASSERT_TRUE(Eventually([&] { return ended.load() == 20; }));
  ::Sleep(20); // all are now in their slow destructors, off the list
  owner.StopThreadsNow();
  EXPECT_EQ(gDestroyed.load(), 70) << "StopThreadsNow returned while destructors still ran";
}

TEST_F(DetachedThreadsTest, StopSoonReachesEveryThreadAndOwnerDestructionStopsTheRest) {
  std::atomic<int> stopped{0}, waiting{0};
  {
    LDetachedThreadsOwner owner;
    for (int i = 0; i < 40; ++i) {
      owner.StartThreadNormal(new CountedThread([&](CountedThread& t) {
        waiting.fetch_add(1);
        stopped += !t.Wait(60000);
      }));
    }
    ASSERT_TRUE(Eventually([&] { return waiting.load() == 40; }));
    owner.StopThreadsSoon();
    EXPECT_TRUE(Eventually([] { return gDestroyed.load() == 40; }, 30000)) << "they end by themselves";
    EXPECT_EQ(stopped.load(), 40);
    for (int i = 0; i < 30; ++i)
      owner.StartThread(new CountedThread(UntilStopped), LThread::kPriorityLow);
  }
  EXPECT_EQ(gDestroyed.load(), 70);
}

TEST_F(DetachedThreadsTest, ThreadRunsAtTheRequestedPriorityAndMayStartSiblings) {
  LDetachedThreadsOwner owner;
  std::atomic<int> priority{1}, sibling_ran{0};
  owner.StartThread(new CountedThread([&](CountedThread&) {
                      priority = LThread::GetCurrentPriority();
                      owner.StartThreadNormal(new CountedThread([&](CountedThread&) { sibling_ran = 1; }));
                    }),
                    LThread::kPriorityLow);
  ASSERT_TRUE(Eventually([&] { return gDestroyed.load() == 2; }));
  EXPECT_EQ(priority.load(), -10);
  EXPECT_EQ(sibling_ran.load(), 1);
}

} // namespace
