// The service host over real Unix sockets: framing, replies, stalled and
// truncating peers, and stopping.

#include "app/servicehostfixture.h"

#include <sys/stat.h>

namespace {

using Header = std::tuple<uint16_t, uint16_t, uint32_t, uint32_t, uint32_t>;  // magic, type, code, size, tag

class ServiceHostTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(a.Connect() && b.Connect()); }
  HalfCalls calls;
  RunningHost host{calls};
  TestControlClient a, b;
};

// Stop ends every connection, an idle one and one halfway through a header, and removes the socket file.
TEST_F(ServiceHostTest, SocketFileIsOpenToAllAndStopRemovesItAndEndsEveryConnection)
{
  struct stat st {};
  ASSERT_TRUE(host.startedPipe && stat(kServicePipePath.c_str(), &st) == 0);
  EXPECT_EQ(st.st_mode & (S_IFMT | 0777), S_IFSOCK | 0777u);
  auto bytes = EncodeTestHeader(kControlRequest, 1, 0, 1);
  ASSERT_TRUE(b.SendRaw({bytes.begin(), bytes.begin() + 7}));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = Clock::now();
  host.Stop();
  EXPECT_LT(MsSince(start), 5000);
  EXPECT_NE(stat(kServicePipePath.c_str(), &st), 0) << "socket file left behind";
  EXPECT_TRUE(a.ClosedWithin(5000) && b.ClosedWithin(5000));
  EXPECT_EQ(calls.Take().back(), "audio.Stop-");
  // A folder in the socket's place: no pipe, and the host does not run.
  ASSERT_EQ(mkdir(kServicePipePath.c_str(), 0755), 0);
  RunningHost blocked(calls);
  EXPECT_FALSE(blocked.startedPipe || blocked.engine.IsRunning());
  rmdir(kServicePipePath.c_str());
}

TEST_F(ServiceHostTest, RequestsAreFramedByTheirHeaderAndRepliesCarryTheirTag)
{
  calls.Take();
  TestMessage reply;
  // Other codes and unknown types are read (payload and all) and ignored.
  ASSERT_TRUE(a.SendRequest(kControlRequest, 2, 1, {1, 2, 3}));
  ASSERT_TRUE(a.SendRequest(9, 1, 2, {1, 2, 3, 4, 5, 6, 7}));
  ASSERT_TRUE(a.SendRequest(kControlRequestData, 4, 0xDEADBEEF, {9, 9}));
  ASSERT_TRUE(a.Read(reply, 5000));
  EXPECT_EQ(reply.Header(), Header(0x1234, kControlReply, 0, 0, 0xDEADBEEFu));
  EXPECT_TRUE(calls.Take().empty());
  // Size 5 announced with the no-payload flag and no bytes follow: had the
  // host read 5 bytes, it would be out of step with the next request.
  auto bytes = EncodeTestHeader(kControlRequest | kControlNoPayload, 1, 5, 1);
  auto next = EncodeTestHeader(kControlRequestResult, 1, 0, 2);
  bytes.insert(bytes.end(), next.begin(), next.end());
  ASSERT_TRUE(a.SendRaw(bytes));
  do
    ASSERT_TRUE(a.Read(reply, 5000));
  while (reply.type != kControlReply);
  EXPECT_EQ(reply.Header(), Header(0x1234, kControlReply, 0, 0, 2));
  EXPECT_EQ(calls.Count("audio.Restart+"), 1u);
  ASSERT_TRUE(a.SendRequest(kControlRequest, 1, 3));  // size 0 without the flag runs too
  EXPECT_TRUE(Eventually([&] { return calls.Count("audio.Restart+") == 2; }));
  ASSERT_TRUE(a.SendRaw(EncodeTestHeader(kControlRequest, 1, kControlMaxPayload + 1, 5)));
  EXPECT_TRUE(a.ClosedWithin(5000)) << "an oversized announcement must not wait 10 s for its payload";
}

TEST_F(ServiceHostTest, TruncatedPayloadDoesNotStallOtherDesktops)
{
  auto bytes = EncodeTestHeader(kControlRequest, 1, 100, 1);
  bytes.resize(bytes.size() + 10, 0);
  const auto start = Clock::now();
  ASSERT_TRUE(a.SendRaw(bytes));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(b.SendRequest(kControlRequestResult, 0, 7));
  TestMessage reply;
  ASSERT_TRUE(b.Read(reply, 5000)) << "the other desktop waited for the stalled one";
  EXPECT_EQ(reply.tag, 7u);
  EXPECT_TRUE(a.ClosedWithin(20000));
  EXPECT_GE(MsSince(start), 9000) << "the payload gets its 10 s";
  EXPECT_EQ(calls.Count("audio.Restart+"), 0u) << "a partial request must not run";
}

// A desktop that stops reading is dropped once a send times out; logging
// threads are held up only that long, and the others get every line.
TEST_F(ServiceHostTest, StalledDesktopIsDroppedWithoutStallingTheLog)
{
  TestControlClient &stalled = a, &good = b;
  ASSERT_TRUE(WaitUntilListed({&good, &stalled}));
  std::atomic<int> received{0};
  std::thread reader([&] {
    for (TestMessage m; received.load() < 60 && good.Read(m, 10000);)
      received += m.type == kControlLogLine && m.Text().size() == 8000;
  });
  const std::string big(8000, 'x');
  long long slowest = 0;
  for (int i = 0; i < 60; ++i) {
    const auto start = Clock::now();
    host.engine.Log("00:00:01", big.c_str(), 0);
    slowest = std::max(slowest, MsSince(start));
  }
  EXPECT_LT(slowest, 4000) << "a log line waits at most the 1 s send time-out";
  reader.join();
  EXPECT_EQ(received.load(), 60);
  EXPECT_TRUE(stalled.ClosedWithin(10000));
}

}  // namespace
