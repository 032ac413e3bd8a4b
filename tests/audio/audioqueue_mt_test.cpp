#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include "audio/audioqueue.h"
#include "audio/audiotest.h"
#include "audio/fakeencoder.h"

namespace {

bool ProcessExists(pid_t pid)
{
  return pid > 0 && (kill(pid, 0) == 0 || errno != ESRCH);
}

void WritePattern(LAudioQueue& queue, uint64_t& offset, uint64_t total, int frames = 4410)
{
  for (; offset < total; offset += static_cast<uint64_t>(frames) * 4) {
    std::vector<int> samples = PatternSamples(offset, frames);
    ASSERT_EQ(queue.Write(samples.data(), frames), frames * 4);
  }
}

class AudioQueueTest : public ::testing::Test {
protected:
  AudioQueueTest() { queue_.Start(56); }
  LFakeEncoder encoder_{"exec cat"};
  LAudioQueue queue_;
};

TEST_F(AudioQueueTest, NewListenerGetsTheLast32ChunksThenSleepsUntilTheNext)
{
  uint64_t offset = 0;
  WritePattern(queue_, offset, 100 * 2048);
  ASSERT_TRUE(WaitFor([&] { return queue_.GetPublished() >= 50; }));
  uint64_t settled = 0;
  while (settled != queue_.GetPublished()) {  // until the copying thread has drained the pipe
    settled = queue_.GetPublished();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  LAudioListener listener(queue_);
  EXPECT_EQ(listener.GetPosition(), settled - 32);
  unsigned char chunk[LAudioQueue::kSlotBytes];
  int length = 0;
  for (int i = 0; i < 32; ++i) {
    ASSERT_EQ(listener.ReadNext(chunk, length), LListenerRead::Chunk) << i;
    EXPECT_TRUE(IsPatternRun(chunk, length));
  }
  EXPECT_EQ(listener.ReadNext(chunk, length), LListenerRead::CaughtUp);
  EXPECT_EQ(length, 0);
  // Woken by the next chunk, not before it and not by the wait's timeout.
  std::atomic<bool> written{false};
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    written = true;
    WritePattern(queue_, offset, offset + 4, 1);
  });
  const uint32_t start = GetTickCount();
  listener.WaitForData(60000);
  EXPECT_TRUE(written.load());
  EXPECT_LT(Since(start), 40000u) << "not by the wait's timeout";
  writer.join();
  ASSERT_EQ(listener.ReadNext(chunk, length), LListenerRead::Chunk);
  EXPECT_EQ(length, 4);
}

TEST_F(AudioQueueTest, LappedListenerMovesToLiveAndNeverSeesATornSlot)
{
  std::jthread writer([&](std::stop_token stop) {
    for (uint64_t offset = 0; !stop.stop_requested(); std::this_thread::sleep_for(std::chrono::milliseconds(1)))
      WritePattern(queue_, offset, offset + 1024 * 4, 1024);
  });
  ASSERT_TRUE(WaitFor([&] { return queue_.GetPublished() >= 40; }));
  LAudioListener reader(queue_);
  unsigned char chunk[LAudioQueue::kSlotBytes];
  int length = 0, sends = 0;
  unsigned long torn = 0;
  uint64_t positionAfterStall = 0, publishedAfterStall = 0;
  while (sends <= 200) {
    LListenerRead r = reader.ReadNext(chunk, length);
    if (r == LListenerRead::CaughtUp)
      reader.WaitForData(200);
    if (r == LListenerRead::Overtaken && positionAfterStall == 0) {
      positionAfterStall = reader.GetPosition();
      publishedAfterStall = queue_.GetPublished();
    }
    if (r != LListenerRead::Chunk)
      continue;
    torn += !IsPatternRun(chunk, length);
    if (++sends == 5) {
      uint64_t lapped = queue_.GetPublished() + 2 * LAudioQueue::kSlots;
      ASSERT_TRUE(WaitFor([&] { return queue_.GetPublished() >= lapped; }));
    }
  }
  writer.request_stop();
  writer.join();
  EXPECT_GE(reader.GetOvertakenCount(), 1u);
  EXPECT_EQ(torn, 0u);
  ASSERT_GT(positionAfterStall, 0u);
  EXPECT_LE(publishedAfterStall - positionAfterStall, 4u) << "moved to the live end of the ring";
  const uint64_t published = queue_.GetPublished();
  EXPECT_EQ(queue_.CopyChunk(published + 1, chunk), -1) << "not yet written";
  EXPECT_EQ(queue_.CopyChunk(published - 64, chunk), -1) << "already overwritten";
  EXPECT_EQ(queue_.CopyChunk(0, chunk), -1);
}

TEST(AudioQueueEncoder, EncoderThatDiesLosesBlocksButNotTheProcess)
{
  LFakeEncoder dying("exec head -c 50000");  // passes 50 000 bytes, then exits
  LAudioQueue queue;
  queue.Start(56);
  int result = 0;
  for (uint64_t offset = 0; offset < 50 * 4410 * 4 && result >= 0; offset += 4410 * 4)
    result = queue.Write(PatternSamples(offset, 4410).data(), 4410);
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(errno == EPIPE || errno == EBADF) << errno;  // EBADF while it is replaced
  ASSERT_TRUE(WaitFor([&] { return queue.GetPublished() >= 50000 / 2048; }));
  uint32_t start = GetTickCount();
  queue.Stop();
  EXPECT_LT(Since(start), 5000u);
}

TEST(AudioQueueEncoder, StartsReplaceTheEncoderWithTheRatesCommandLine)
{
  LFakeEncoder encoder("echo \"$@\" > /tmp/encoder-args; exec cat");
  LAudioQueue queue;
  EXPECT_EQ(queue.GetBitRate(), LAudioQueue::kInitialBitRate);
  queue.Stop();  // never started: nothing to do
  pid_t previous = -1;
  for (auto [kbps, args] : {std::pair{24, "-m m -a -b 24 -h -r -x -s 44.100 --silent - -\n"},
                            std::pair{25, "-m s -b 25 -h -r -x -s 44.100 --silent - -\n"}}) {
    SCOPED_TRACE(kbps);
    std::remove("/tmp/encoder-args");
    queue.Start(kbps);
    EXPECT_FALSE(ProcessExists(previous)) << "the previous encoder ended and was reaped";
    previous = queue.GetEncoderPid();
    ASSERT_TRUE(ProcessExists(previous));
    EXPECT_EQ(queue.GetBitRate(), kbps);
    ASSERT_TRUE(WaitFor([] { return ReadWhole("/tmp/encoder-args").find('\n') != std::string::npos; }));
    EXPECT_EQ(ReadWhole("/tmp/encoder-args"), args);
  }
  queue.Stop();
  EXPECT_FALSE(ProcessExists(previous));
  EXPECT_EQ(queue.GetEncoderPid(), -1);
  std::vector<int> block(4410 * 2);
  EXPECT_EQ(queue.Write(block.data(), 4410), -1);

  std::rename("/opt/ostrel/components/lyrenc", "/opt/ostrel/components/gone");
  queue.Start(48);
  EXPECT_EQ(queue.GetBitRate(), 48) << "kept without the component";
  EXPECT_EQ(queue.GetEncoderPid(), -1);
  EXPECT_EQ(queue.Write(block.data(), 4410), -1);
  queue.Stop();
  std::rename("/opt/ostrel/components/gone", "/opt/ostrel/components/lyrenc");
}

}  // namespace
