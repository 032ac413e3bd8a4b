// The service host over real Unix sockets: requests from several desktops,
// the no-payload flag, replies, notifications, log forwarding, malformed
// and stalled peers, and stopping with connections open.

#include "app/controlmessage.h"
#include "app/servicehostfixture.h"

#include <sys/stat.h>

namespace {

using Calls = std::vector<std::string>;

// A running service host and the record of what it asked the engine halves.
class ServiceHostTest : public ::testing::Test {
protected:
  HalfCalls calls;
  RunningHost host{calls};
};

TEST_F(ServiceHostTest, SocketIsReadyWhenStartPipeReturns)
{
  ASSERT_TRUE(host.StartedPipe());
  struct stat st{};
  ASSERT_EQ(stat(ServicePipePath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0777u);
  TestControlClient client;
  EXPECT_TRUE(client.Connect());
  host.Stop();
  EXPECT_NE(stat(ServicePipePath().c_str(), &st), 0) << "socket file left behind";
  EXPECT_TRUE(client.ClosedWithin(1000));
}

TEST(ServiceHost, StaleSocketFileIsReplacedAndAnUnbindablePathIsReported)
{
  HalfCalls calls;
  {
    // A socket file nobody listens on, as a killed service leaves it.
    RunningHost first(calls);
  }
  {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, ServicePipePath().c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    RunningHost second(calls);
    EXPECT_TRUE(second.StartedPipe());
    TestControlClient client;
    EXPECT_TRUE(client.Connect());
  }
  // A folder where the socket belongs cannot be replaced: the host runs
  // without a pipe and says so through its result.
  ASSERT_EQ(mkdir(ServicePipePath().c_str(), 0755), 0);
  RunningHost third(calls);
  EXPECT_FALSE(third.StartedPipe());
  EXPECT_FALSE(third.Host().IsRunning());
  rmdir(ServicePipePath().c_str());
}

TEST_F(ServiceHostTest, EachRequestFromEachDesktopRestartsOnce)
{
  TestControlClient a, b;
  ASSERT_TRUE(a.Connect());
  ASSERT_TRUE(b.Connect());
  ASSERT_TRUE(WaitUntilListed(host.Host(), {&a, &b}));
  calls.Take();
  ASSERT_TRUE(a.SendRequest(kControlRequest, 1, 1));
  ASSERT_TRUE(b.SendRequest(kControlRequest, 1, 1));
  ASSERT_TRUE(a.SendRequest(kControlRequest, 1, 2));
  ASSERT_TRUE(Eventually([&] { return calls.Count("audio.Restart+") == 3; }, 3000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(calls.Count("web.Restart+"), 3u);
  EXPECT_EQ(calls.Count("audio.Restart+"), 3u);

  // Both desktops saw every restart's lines, in order.
  for (TestControlClient* client : {&a, &b}) {
    auto lines = client->CollectLogLines(300);
    Calls expected;
    for (int i = 0; i < 3; ++i) {
      expected.push_back("Restarting web server");
      expected.push_back("Restarting audio input");
    }
    EXPECT_EQ(lines, expected);
  }
}

TEST_F(ServiceHostTest, OtherCodesAndTypesAreReadAndIgnored)
{
  TestControlClient client;
  ASSERT_TRUE(client.Connect());
  calls.Take();
  ASSERT_TRUE(client.SendRequest(kControlRequest, 2, 1, {1, 2, 3}));
  // An unknown type with a payload: the payload is consumed, nothing answers.
  ASSERT_TRUE(client.SendRequest(9, 1, 2, {1, 2, 3, 4, 5, 6, 7}));
  ASSERT_TRUE(client.SendRequest(kControlRequestResult, 0, 3));
  TestMessage reply;
  ASSERT_TRUE(client.Read(reply, 2000));
  EXPECT_EQ(reply.type, kControlReply);
  EXPECT_EQ(reply.tag, 3u) << "the answer must be to the third request";
  EXPECT_TRUE(calls.Take().empty());
}

TEST_F(ServiceHostTest, NoPayloadFlagPassesTheSizeWithoutReading)
{
  TestControlClient client;
  ASSERT_TRUE(client.Connect());
  calls.Take();
  // Size 5 announced with the flag, no bytes follow; the next request comes
  // straight after.  Had the host read 5 bytes, it would be out of step.
  auto bytes = EncodeTestHeader(kControlRequest | kControlNoPayload, 1, 5, 1);
  auto next = EncodeTestHeader(kControlRequestResult, 1, 0, 2);
  bytes.insert(bytes.end(), next.begin(), next.end());
  ASSERT_TRUE(client.SendRaw(bytes));
  // Skip the restart's log lines up to the reply.
  TestMessage reply;
  do
    ASSERT_TRUE(client.Read(reply, 2000));
  while (reply.type != kControlReply);
  EXPECT_EQ(reply.magic, 0x1234);
  EXPECT_EQ(reply.code, 0u);
  EXPECT_EQ(reply.size, 0u);
  EXPECT_EQ(reply.tag, 2u);
  EXPECT_EQ(calls.Count("audio.Restart+"), 1u);

  // Size 0 without the flag runs the code too.
  ASSERT_TRUE(client.SendRequest(kControlRequest, 1, 3));
  EXPECT_TRUE(Eventually([&] { return calls.Count("audio.Restart+") == 2; }, 2000));
}

TEST_F(ServiceHostTest, RepliesCarryTheRequestsSequenceNumber)
{
  TestControlClient client;
  ASSERT_TRUE(client.Connect());
  ASSERT_TRUE(client.SendRequest(kControlRequestData, 4, 0xDEADBEEF, {9, 9}));
  TestMessage reply;
  ASSERT_TRUE(client.Read(reply, 2000));
  EXPECT_EQ(reply.type, kControlReply);
  EXPECT_EQ(reply.tag, 0xDEADBEEFu);
  EXPECT_EQ(reply.size, 0u);
  EXPECT_EQ(reply.code, 0u);
}

TEST_F(ServiceHostTest, PayloadLimitIsInclusive)
{
  TestControlClient client;
  ASSERT_TRUE(client.Connect());
  std::vector<unsigned char> largest(kControlMaxPayload, 0xAB);
  ASSERT_TRUE(client.SendRequest(kControlRequestResult, 0, 1, largest));
  TestMessage reply;
  ASSERT_TRUE(client.Read(reply, 3000));
  EXPECT_EQ(reply.tag, 1u);

  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(client.SendRaw(EncodeTestHeader(kControlRequest, 1, kControlMaxPayload + 1, 2)));
  EXPECT_TRUE(client.ClosedWithin(2000));
  EXPECT_LT(MsSince(start), 1000) << "an oversized announcement must be refused at once";
}

// A payload that never arrives ties up only its own connection: the main
// thread keeps serving the others meanwhile.
TEST_F(ServiceHostTest, TruncatedPayloadDoesNotStallOtherDesktops)
{
  TestControlClient stalled, good;
  ASSERT_TRUE(stalled.Connect());
  ASSERT_TRUE(good.Connect());
  auto bytes = EncodeTestHeader(kControlRequest, 1, 100, 1);
  bytes.resize(bytes.size() + 10, 0);
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(stalled.SendRaw(bytes));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(good.SendRequest(kControlRequestResult, 0, 7));
  TestMessage reply;
  ASSERT_TRUE(good.Read(reply, 1000)) << "the other desktop waited for the stalled one";
  EXPECT_EQ(reply.tag, 7u);
  EXPECT_TRUE(stalled.ClosedWithin(12000));
  EXPECT_GE(MsSince(start), 9000) << "the payload gets its 10 s";
  EXPECT_EQ(calls.Count("audio.Restart+"), 0u) << "a partial request must not run";
}

TEST_F(ServiceHostTest, NotificationsReachEveryDesktop)
{
  TestControlClient a, b;
  ASSERT_TRUE(a.Connect());
  ASSERT_TRUE(b.Connect());
  ASSERT_TRUE(WaitUntilListed(host.Host(), {&a, &b}));
  const unsigned char data[3] = {'a', 'b', 'c'};
  host.Host().EvEngineNotify(5, data, 3);
  host.Host().EvEngineNotify(6, nullptr, 99);
  for (TestControlClient* client : {&a, &b}) {
    TestMessage m;
    ASSERT_TRUE(client->Read(m, 1000));
    EXPECT_EQ(m.type, kControlNotification);
    EXPECT_EQ(m.code, 5u);
    EXPECT_EQ(m.size, 3u);
    EXPECT_EQ(m.tag, 3u);
    EXPECT_EQ(std::string(m.payload.begin(), m.payload.end()), "abc");
    ASSERT_TRUE(client->Read(m, 1000));
    EXPECT_EQ(m.code, 6u);
    EXPECT_EQ(m.size, 0u);
    EXPECT_EQ(m.tag, 99u);
  }
}

TEST_F(ServiceHostTest, LogLinesCarryLevelTimeAndText)
{
  TestControlClient client;
  ASSERT_TRUE(client.Connect());
  ASSERT_TRUE(WaitUntilListed(host.Host(), {&client}));
  LOGERROR("disk full");
  TestMessage m;
  ASSERT_TRUE(client.WaitForLogLine("disk full", 1000, &m));
  EXPECT_EQ(m.code, LLogError);
  EXPECT_EQ(m.tag, 9u) << "time text and its terminator";
  EXPECT_EQ(m.size, 9u + 10u);
  EXPECT_EQ(m.Time().size(), 8u);
  EXPECT_EQ(m.Time()[2], ':');
  EXPECT_EQ(m.payload.back(), 0);
}

// A desktop that stops reading is dropped once a send times out; logging
// threads are held up for at most about a second, and the others get
// every line.
TEST_F(ServiceHostTest, StalledDesktopIsDroppedWithoutStallingTheLog)
{
  TestControlClient stalled, good;
  ASSERT_TRUE(stalled.Connect());
  ASSERT_TRUE(good.Connect());
  ASSERT_TRUE(WaitUntilListed(host.Host(), {&good, &stalled}));

  std::atomic<int> received{0};
  std::atomic<bool> done{false};
  std::thread reader([&] {
    TestMessage m;
    while (!done.load() || received.load() < 60) {
      if (!good.Read(m, 3000))
        break;
      if (m.type == kControlLogLine && m.Text().size() == 8000)
        ++received;
    }
  });
  const std::string big(8000, 'x');
  long long slowest = 0;
  for (int i = 0; i < 60; ++i) {
    auto start = std::chrono::steady_clock::now();
    host.Host().Log("00:00:01", big.c_str(), 0);
    slowest = std::max(slowest, MsSince(start));
  }
  done.store(true);
  reader.join();
  EXPECT_EQ(received.load(), 60);
  EXPECT_LT(slowest, 2500);
  EXPECT_TRUE(stalled.ClosedWithin(3000));
}

// Desktops come and go while lines are logged and requests handled; every
// message that arrives is whole.
TEST_F(ServiceHostTest, ConnectionsComeAndGoUnderLoad)
{
  std::atomic<bool> stop{false};
  std::atomic<int> bad_frames{0};
  std::vector<std::thread> desktops;
  for (int t = 0; t < 4; ++t) {
    desktops.emplace_back([&, t] {
      uint32_t tag = 0;
      while (!stop.load()) {
        TestControlClient client;
        if (!client.Connect())
          continue;
        client.SendRequest(t % 2 == 0 ? kControlRequest : kControlRequestResult, 1, ++tag);
        TestMessage m;
        for (int i = 0; i < 5 && client.Read(m, 100); ++i)
          if (m.magic != 0x1234)
            ++bad_frames;
      }
    });
  }
  std::thread logger([&] {
    for (int i = 0; !stop.load(); ++i)
      LOGF("load line %d", i);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  stop.store(true);
  logger.join();
  for (auto& d : desktops)
    d.join();
  EXPECT_EQ(bad_frames.load(), 0);
  EXPECT_GT(calls.Count("audio.Restart+"), 0u);
  auto start = std::chrono::steady_clock::now();
  host.Stop();
  EXPECT_LT(MsSince(start), 1000);
}

TEST_F(ServiceHostTest, StopEndsPendingRequestsAndConnections)
{
  TestControlClient idle, half;
  ASSERT_TRUE(idle.Connect());
  ASSERT_TRUE(half.Connect());
  // Half a header: the connection thread is in the middle of a read.
  auto header = EncodeTestHeader(kControlRequest, 1, 0, 1);
  ASSERT_TRUE(half.SendRaw(header.data(), 7));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto start = std::chrono::steady_clock::now();
  host.Stop();
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_TRUE(idle.ClosedWithin(500));
  EXPECT_TRUE(half.ClosedWithin(500));
  EXPECT_EQ(calls.Take().back(), "audio.Stop-");
}

TEST(ServiceHost, WaitReturnsOnTheStopSignal)
{
  HalfCalls calls;
  LServiceEngine<MainEngine> host(MakeRecordingEngine(calls));
  LSignalObject term;
  std::thread waiter([&] { host.Wait(term); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto start = std::chrono::steady_clock::now();
  term.Signal();
  waiter.join();
  EXPECT_LT(MsSince(start), 500);
  // Already set: returns at once.
  host.Wait(term);
}

} // namespace
