// The encoder queue and its listeners across threads, with a pass-through
// "encoder" (cat) so that every byte in the ring can be checked: order,
// completeness, the 32-chunk start, wrap-around, lapped listeners that must
// never see a torn slot, wake-ups and stops.
#include "proccount.h"
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/queuefollow.h"
#include "audio/audioqueue.h"
#include "audio/fakeencoder.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }


bool ProcessExists(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno != ESRCH); }

// A process interface that a test stops from outside.
struct LTestProcess {
  std::atomic<bool> stop{false};
  bool IsToStop() const { return stop.load(); }
};

// Writes pattern blocks from `offset` on until `total` bytes are written.
void WritePattern(LAudioQueue& queue, uint64_t& offset, uint64_t total, int frames = 4410)
{
  while (offset < total) {
    std::vector<int> samples = PatternSamples(offset, frames);
    ASSERT_EQ(queue.Write(samples.data(), frames), frames * 4);
    offset += static_cast<uint64_t>(frames) * 4;
  }
}

bool WaitUntil(const std::function<bool()>& condition, double seconds)
{
  auto start = Clock::now();
  while (!condition()) {
    if (SecondsSince(start) > seconds)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class AudioQueueTest : public ::testing::Test {
protected:
  LFakeEncoder encoder_{"exec cat"};
};

TEST_F(AudioQueueTest, EveryByteArrivesInOrderThroughTheRingAndItsWrap)
{
  LAudioQueue queue;
  queue.Start(56);
  ASSERT_GT(queue.GetEncoderPid(), 0);
  constexpr uint64_t kTotal = 4410 * 4 * 24;  // several laps of the ring
  std::string received;
  std::atomic<uint64_t> receivedSize{0};
  LTestProcess process;
  std::thread listener([&] {
    FollowQueue(process, queue, [&](const void* data, unsigned int size) {
      received.append(static_cast<const char*>(data), size);
      receivedSize = received.size();
      if (received.size() >= kTotal)
        process.stop = true;
      return LProcessResult(kProcessDone);
    });
  });
  // The listener attached to an empty ring.  Each block waits for the
  // listener, so the writer cannot lap it.
  uint64_t offset = 0;
  while (offset < kTotal) {
    WritePattern(queue, offset, offset + 4410 * 4);
    ASSERT_TRUE(WaitUntil([&] { return receivedSize.load() >= offset; }, 5)) << offset;
  }
  listener.join();
  ASSERT_EQ(received.size(), kTotal);
  for (size_t i = 0; i < received.size(); ++i)
    ASSERT_EQ(static_cast<uint8_t>(received[i]), PatternByte(i)) << "byte " << i;
  EXPECT_GT(queue.GetPublished(), 3u * 64) << "wrapped more than once";
  for (int i = 0; i < LAudioQueue::kSlots; ++i)
    EXPECT_LE(queue.GetLength(static_cast<unsigned char>(i)), LAudioQueue::kSlotBytes);
  EXPECT_EQ(queue.GetCurrentIndex(), queue.GetPublished() % 64);
}

TEST_F(AudioQueueTest, NewListenerGetsTheLast32ChunksThenWaitsForLiveData)
{
  LAudioQueue queue;
  queue.Start(56);
  uint64_t offset = 0;
  WritePattern(queue, offset, 100 * 2048);
  ASSERT_TRUE(WaitUntil([&] { return queue.GetPublished() >= 50; }, 5));
  // Let the copying thread drain the pipe.
  uint64_t settled = 0;
  do {
    settled = queue.GetPublished();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  } while (queue.GetPublished() != settled);

  LAudioListener listener(queue);
  EXPECT_EQ(listener.GetPosition(), settled - 32);
  unsigned char chunk[LAudioQueue::kSlotBytes];
  int length = 0;
  for (int i = 0; i < 32; ++i) {
    ASSERT_EQ(listener.ReadNext(chunk, length), LListenerRead::Chunk) << i;
    EXPECT_TRUE(IsPatternRun(chunk, length));
  }
  EXPECT_EQ(listener.ReadNext(chunk, length), LListenerRead::CaughtUp);
  EXPECT_EQ(length, 0);

  // A caught-up listener is woken by the next chunk, not by a poll timer.
  std::atomic<double> wokenAfter{-1};
  std::thread waiter([&] {
    auto start = Clock::now();
    listener.WaitForData(5000);
    wokenAfter = SecondsSince(start);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  WritePattern(queue, offset, offset + 4, 1);
  waiter.join();
  EXPECT_GT(wokenAfter.load(), 0.25);
  EXPECT_LT(wokenAfter.load(), 0.6);
  ASSERT_EQ(listener.ReadNext(chunk, length), LListenerRead::Chunk);
  EXPECT_EQ(length, 4);
}

TEST_F(AudioQueueTest, ListenerOfAnEmptyRingSendsNothingAndStopsWithinASlice)
{
  LAudioQueue queue;  // never started: the ring was never filled
  LTestProcess process;
  int sends = 0;
  std::atomic<double> stoppedAfter{-1};
  std::atomic<int> result{-1};
  std::thread listener([&] {
    result = FollowQueue(process, queue, [&](const void*, unsigned int) {
      ++sends;
      return LProcessResult(kProcessDone);
    });
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  auto start = Clock::now();
  process.stop = true;
  listener.join();
  stoppedAfter = SecondsSince(start);
  EXPECT_EQ(sends, 0);
  EXPECT_EQ(result.load(), kProcessStopped);
  EXPECT_LT(stoppedAfter.load(), kFollowWaitSliceMs / 1000.0 + 0.1);
}

TEST_F(AudioQueueTest, FailedSendEndsTheStreamWithItsResult)
{
  LAudioQueue queue;
  queue.Start(56);
  uint64_t offset = 0;
  WritePattern(queue, offset, 8 * 2048);
  ASSERT_TRUE(WaitUntil([&] { return queue.GetPublished() >= 4; }, 5));
  LTestProcess process;
  int sends = 0;
  LProcessResult result = FollowQueue(process, queue, [&](const void*, unsigned int) {
    return LProcessResult(++sends == 3 ? kProcessFailed : kProcessDone);
  });
  EXPECT_EQ(result, kProcessFailed);
  EXPECT_EQ(sends, 3);
}

TEST_F(AudioQueueTest, LappedListenerMovesToLiveAndNeverSeesATornSlot)
{
  LAudioQueue queue;
  queue.Start(56);
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    uint64_t offset = 0;
    while (writing.load()) {
      WritePattern(queue, offset, offset + 1024 * 4, 1024);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return queue.GetPublished() >= 40; }, 5));

  // A listener that stalls in its send while the writer laps it.
  LTestProcess process;
  int sends = 0;
  unsigned long tornChunks = 0;
  uint64_t positionAfterStall = 0, publishedAfterStall = 0;
  std::thread listener([&] {
    LAudioListener reader(queue);
    unsigned char chunk[LAudioQueue::kSlotBytes];
    int length = 0;
    while (!process.IsToStop()) {
      LListenerRead r = reader.ReadNext(chunk, length);
      if (r == LListenerRead::CaughtUp) {
        reader.WaitForData(200);
        continue;
      }
      if (r == LListenerRead::Overtaken && positionAfterStall == 0) {
        positionAfterStall = reader.GetPosition();
        publishedAfterStall = queue.GetPublished();
      }
      if (r != LListenerRead::Chunk)
        continue;
      tornChunks += IsPatternRun(chunk, length) ? 0 : 1;
      if (++sends == 5) {
        uint64_t lapped = queue.GetPublished() + 2 * LAudioQueue::kSlots;
        while (queue.GetPublished() < lapped)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      if (sends > 200)
        process.stop = true;
    }
    EXPECT_GE(reader.GetOvertakenCount(), 1u);
  });
  listener.join();
  writing = false;
  writer.join();
  EXPECT_EQ(tornChunks, 0u);
  ASSERT_GT(positionAfterStall, 0u);
  EXPECT_LE(publishedAfterStall - positionAfterStall, 4u) << "moved to the live end of the ring";
}

TEST_F(AudioQueueTest, CopiesRacingTheWriterAreRejectedNotTorn)
{
  LAudioQueue queue;
  queue.Start(56);
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    uint64_t offset = 0;
    while (writing.load())
      WritePattern(queue, offset, offset + 8192 * 4, 8192);
  });
  ASSERT_TRUE(WaitUntil([&] { return queue.GetPublished() >= 64; }, 5));
  // Readers copy the oldest chunks, the ones the writer refills next.
  std::atomic<unsigned long> whole{0}, rejected{0}, torn{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&, r] {
      unsigned char chunk[LAudioQueue::kSlotBytes];
      auto start = Clock::now();
      while (SecondsSince(start) < 1.5) {
        uint64_t oldest = queue.GetPublished() - 63 + static_cast<uint64_t>(r);
        int length = queue.CopyChunk(oldest, chunk);
        if (length < 0)
          ++rejected;
        else if (IsPatternRun(chunk, length))
          ++whole;
        else
          ++torn;
      }
    });
  }
  for (std::thread& t : readers)
    t.join();
  writing = false;
  writer.join();
  EXPECT_EQ(torn.load(), 0u);
  EXPECT_GT(whole.load(), 0u);
  RecordProperty("rejected", std::to_string(rejected.load()));
  queue.Stop();
  unsigned char chunk[LAudioQueue::kSlotBytes];
  EXPECT_EQ(queue.CopyChunk(0, chunk), -1);
  EXPECT_EQ(queue.CopyChunk(queue.GetPublished() + 1, chunk), -1) << "not yet written";
  EXPECT_EQ(queue.CopyChunk(queue.GetPublished() - 64, chunk), -1) << "already overwritten";
}

TEST_F(AudioQueueTest, RestartLeavesOneEncoderAndOneThread)
{
  std::thread([] {}).join();
  const int threadsBefore = CountThreads();
  LAudioQueue queue;
  queue.Stop();  // never started: nothing to do
  queue.Start(24);
  pid_t first = queue.GetEncoderPid();
  ASSERT_TRUE(ProcessExists(first));
  EXPECT_EQ(CountThreads(), threadsBefore + 1);
  queue.Start(56);
  EXPECT_FALSE(ProcessExists(first)) << "the first encoder ended and was reaped";
  EXPECT_TRUE(ProcessExists(queue.GetEncoderPid()));
  EXPECT_EQ(CountThreads(), threadsBefore + 1);
  EXPECT_EQ(queue.GetBitRate(), 56);
  pid_t second = queue.GetEncoderPid();
  queue.Stop();
  EXPECT_FALSE(ProcessExists(second));
  EXPECT_EQ(CountThreads(), threadsBefore);
  EXPECT_EQ(queue.GetEncoderPid(), -1);
  std::vector<int> block(4410 * 2);
  errno = 0;
  EXPECT_EQ(queue.Write(block.data(), 4410), -1);
}

TEST(AudioQueueEncoder, CommandLineFollowsTheRate)
{
  LFakeEncoder encoder("echo \"$@\" > /tmp/encoder-args; exec cat");
  const struct {
    int kbps;
    const char* args;
  } cases[] = {
      {24, "-m m -a -b 24 -h -r -x -s 44.100 --silent - -"},
      {25, "-m s -b 25 -h -r -x -s 44.100 --silent - -"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kbps);
    std::remove("/tmp/encoder-args");
    LAudioQueue queue;
    queue.Start(c.kbps);
    ASSERT_TRUE(WaitUntil([] { return std::ifstream("/tmp/encoder-args").peek() != EOF; }, 5));
    std::string args;
    std::ifstream file("/tmp/encoder-args");
    std::getline(file, args);
    EXPECT_EQ(args, c.args);
  }
}

TEST(AudioQueueEncoder, MissingComponentStartsNothingButKeepsTheRate)
{
  LFakeEncoder placeholder("exec cat");
  std::rename("/opt/ostrel/components/lyrenc", "/opt/ostrel/components/gone");
  std::thread([] {}).join();
  const int threadsBefore = CountThreads();
  LAudioQueue queue;
  EXPECT_EQ(queue.GetBitRate(), LAudioQueue::kInitialBitRate);
  queue.Start(48);
  EXPECT_EQ(queue.GetBitRate(), 48);
  EXPECT_EQ(queue.GetEncoderPid(), -1);
  EXPECT_EQ(CountThreads(), threadsBefore);
  std::vector<int> block(4410 * 2);
  EXPECT_EQ(queue.Write(block.data(), 4410), -1);
  queue.Stop();
  std::rename("/opt/ostrel/components/gone", "/opt/ostrel/components/lyrenc");
}

TEST(AudioQueueEncoder, EncoderThatDiesLosesBlocksButNotTheProcess)
{
  // Passes 50 000 bytes through, then exits.
  LFakeEncoder encoder("exec head -c 50000");
  LAudioQueue queue;
  queue.Start(56);
  uint64_t offset = 0;
  int result = 0;
  for (int i = 0; i < 50 && result >= 0; ++i) {
    std::vector<int> samples = PatternSamples(offset, 4410);
    result = queue.Write(samples.data(), 4410);
    offset += 4410 * 4;
  }
  EXPECT_EQ(result, -1);
  // EPIPE from the dead encoder, or EBADF while it is being replaced.
  EXPECT_TRUE(errno == EPIPE || errno == EBADF) << errno;
  ASSERT_TRUE(WaitUntil([&] { return queue.GetPublished() >= 50000 / 2048; }, 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  uint64_t after = queue.GetPublished();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(queue.GetPublished(), after) << "the ring stops advancing";
  auto start = Clock::now();
  queue.Stop();
  EXPECT_LT(SecondsSince(start), 0.5);
}

}  // namespace
