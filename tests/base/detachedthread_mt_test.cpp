#include "base/detachedthread.h"
#include "base/ticks.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>

namespace {

std::atomic<int> gBuilt{0};
std::atomic<int> gDestroyed{0};

bool Eventually(const std::function<bool()>& condition)
{
  for (int i = 0; i < 1000; ++i) {
    if (condition())
      return true;
    ::Sleep(10);
  }
  return condition();
}

class CountedThread : public LDetachedThread {
public:
  explicit CountedThread(std::function<void(CountedThread&)> body, unsigned int destructor_ms = 0)
      : body_(std::move(body)), destructor_ms_(destructor_ms)
  {
    gBuilt.fetch_add(1);
  }
  ~CountedThread() override
  {
    // A slow tear-down widens the window in which a self-deleting thread is
    // still running after it left the owner's list.
    if (destructor_ms_ > 0)
      ::Sleep(destructor_ms_);
    gDestroyed.fetch_add(1);
  }

protected:
  void ThreadFunction() override { body_(*this); }

private:
  std::function<void(CountedThread&)> body_;
  unsigned int destructor_ms_;
};

class DetachedThreadsTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    gBuilt = 0;
    gDestroyed = 0;
  }
};

TEST_F(DetachedThreadsTest, StopNowOver500ThreadsManyEndingOnTheirOwnAtTheSameMoment)
{
  for (int round = 0; round < 3; ++round) {
    gBuilt = 0;
    gDestroyed = 0;
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
          while (t.Wait(60000)) {
          }
      }));
    }
    ASSERT_TRUE(Eventually([&] { return waiting.load() == 500; }));
    // Half the threads end on their own while the owner unlinks and joins.
    gate.Signal();
    owner.StopThreadsNow();
    EXPECT_EQ(gBuilt.load(), 500);
    EXPECT_EQ(gDestroyed.load(), 500) << "round " << round;
  }
}

TEST_F(DetachedThreadsTest, ThreadsThatEndDeleteThemselvesWhileTheOwnerLives)
{
  LDetachedThreadsOwner owner;
  for (int i = 0; i < 50; ++i)
    owner.StartThreadNormal(new CountedThread([](CountedThread&) {}));
  EXPECT_TRUE(Eventually([] { return gDestroyed.load() == 50; }));
  owner.StopThreadsNow(); // an empty list: returns at once
  EXPECT_EQ(gDestroyed.load(), 50);
}

TEST_F(DetachedThreadsTest, StopNowWaitsForThreadsStillDeletingThemselves)
{
  LDetachedThreadsOwner owner;
  std::atomic<int> ended{0};
  for (int i = 0; i < 20; ++i)
    owner.StartThreadNormal(new CountedThread([&](CountedThread&) { ended.fetch_add(1); }, 300));
  ASSERT_TRUE(Eventually([&] { return ended.load() == 20; }));
  ::Sleep(20); // all are now in their slow destructors, off the list
  owner.StopThreadsNow();
  EXPECT_EQ(gDestroyed.load(), 20) << "StopThreadsNow returned while destructors still ran";
}

TEST_F(DetachedThreadsTest, StopSoonReachesEveryThreadAndTheyEndByThemselves)
{
  LDetachedThreadsOwner owner;
  std::atomic<int> stopped{0};
  std::atomic<int> waiting{0};
  for (int i = 0; i < 40; ++i) {
    owner.StartThreadNormal(new CountedThread([&](CountedThread& t) {
      waiting.fetch_add(1);
      if (!t.Wait(60000))
        stopped.fetch_add(1);
    }));
  }
  ASSERT_TRUE(Eventually([&] { return waiting.load() == 40; }));
  auto start = std::chrono::steady_clock::now();
  owner.StopThreadsSoon();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_TRUE(Eventually([] { return gDestroyed.load() == 40; }));
  EXPECT_EQ(stopped.load(), 40);
}

TEST_F(DetachedThreadsTest, OwnerDestructionStopsAndDeletesRunningThreads)
{
  {
    LDetachedThreadsOwner owner;
    for (int i = 0; i < 30; ++i)
      owner.StartThread(new CountedThread([](CountedThread& t) {
        while (t.Wait(60000)) {
        }
      }),
                        LThread::kPriorityLow);
  }
  EXPECT_EQ(gDestroyed.load(), 30);
}

TEST_F(DetachedThreadsTest, ThreadRunsAtTheRequestedPriorityAndMayStartSiblings)
{
  LDetachedThreadsOwner owner;
  std::atomic<int> priority{1};
  std::atomic<int> sibling_ran{0};
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
