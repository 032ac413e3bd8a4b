// The signal object (a set/reset flag on one descriptor) and the group that
// polls many at once.
#include "base/signalobject.h"
#include "proccount.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "base/waitfor.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(SignalObject, SetResetWaitsAndOneDescriptor) {
  const int before = CountDescriptors();
  int fd;
  {
    LSignalObject signal;
    ASSERT_TRUE(signal.IsValid());
    fd = signal.GetRef().GetPollFD();
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    EXPECT_TRUE(fcntl(fd, F_GETFL) & O_NONBLOCK);
    // Every web connection's thread holds one: it costs one descriptor.
    EXPECT_EQ(CountDescriptors(), before + 1);
    EXPECT_FALSE(signal.IsSignaled());
    auto start = Clock::now();
    EXPECT_FALSE(signal.WaitSignal(80));
    EXPECT_GE(MsSince(start), 75) << "the wait must last its time";
    start = Clock::now();
    EXPECT_FALSE(signal.WaitSignal(0));
    EXPECT_LT(MsSince(start), 1000);
    signal.Signal();
    EXPECT_TRUE(signal.WaitSignal(1000));
    EXPECT_TRUE(signal.GetRef().WaitSignalForever());
    EXPECT_TRUE(signal.IsSignaled()) << "a wait consumed the signal";
    // Set many times: a reset that took only one would leave it set, and no
    // number of signals may block.
    for (int i = 0; i < 200000; ++i)
      signal.Signal();
    signal.Reset();
    EXPECT_FALSE(signal.IsSignaled());
    signal.Reset(); // when not set: must not block
    EXPECT_FALSE(signal.IsSignaled());
  }
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(CountDescriptors(), before);

  LSignalObjectRef none;
  EXPECT_EQ(none.GetPollFD(), -1);
  EXPECT_FALSE(none.IsSignaled());
  EXPECT_FALSE(none.WaitSignal(10));
  EXPECT_FALSE(none.WaitSignalForever()) << "must not block forever on no descriptor";
}

TEST(SignalObjectGroup, HoldsAtMost255EntriesAndReportsWhichIsSet) {
  LSignalObject signals[2], extra;
  LSignalObjectGroup group;
  for (unsigned int i = 0; i < LSignalObjectGroup::kMaxEntries; ++i)
    EXPECT_TRUE(group.Add(signals[i % 2]));
  EXPECT_FALSE(group.Add(signals[0]));
  EXPECT_FALSE(group.Add(signals[1]));
  EXPECT_EQ(group.GetCount(), 255u);
  bool extra_set = true;
  EXPECT_EQ(group.Poll(extra.GetRef().GetPollFD(), 20, extra_set), 0);
  EXPECT_FALSE(extra_set);

  signals[1].Signal();
  ASSERT_GT(group.Poll(extra.GetRef().GetPollFD(), 1000, extra_set), 0);
  EXPECT_FALSE(extra_set);
  EXPECT_FALSE(group.IsEntrySignaled(0));
  EXPECT_TRUE(group.IsEntrySignaled(1));
  EXPECT_TRUE(group.IsEntrySignaled(253));
  EXPECT_FALSE(group.IsEntrySignaled(254));
  EXPECT_FALSE(group.IsEntrySignaled(255)) << "index past the end";
  // The extra descriptor wakes a full group and is not stored in it.
  signals[1].Reset();
  extra.Signal();
  ASSERT_GT(group.Poll(extra.GetRef().GetPollFD(), 1000, extra_set), 0);
  EXPECT_TRUE(extra_set);
  EXPECT_FALSE(group.IsEntrySignaled(1));
  EXPECT_EQ(group.GetCount(), 255u);
  group.Clear();
  EXPECT_EQ(group.GetCount(), 0u);
  EXPECT_TRUE(group.Add(signals[0]));
}

} // namespace
