// Desktops talking to the real daemon over its control socket: a restart
// request, log lines to several desktops, reconnection of the desktop's
// proxy after the daemon comes back, and malformed traffic.

#include "app/controlclient.h"
#include "app/logcapture.h"
#include "app/mainengine.h"
#include "app/engineproxy.h"
#include "integration/daemon.h"
#include "settings/settings.h"

#include <cstdio>
#include <random>

namespace {

using Texts = std::vector<std::string>;

class ServiceControl : public ::testing::Test {
protected:
  void SetUp() override
  {
    UseFreeWebPort();
    ASSERT_EQ(RunVelorin({}, false).ExitCode(), 0);
    daemon_ = guard_.Daemon();
    ASSERT_GT(daemon_, 0);
  }

  // Connects and waits until the daemon has listed the connection: its
  // thread registers asynchronously, and lines before that are not sent.
  void ConnectListed(TestControlClient& client)
  {
    ASSERT_TRUE(client.Connect());
    // A request with a reply is handled only after the registration.
    ASSERT_TRUE(client.SendRequest(2, 0, 0xABC));
    TestMessage m;
    do
      ASSERT_TRUE(client.Read(m, 3000));
    while (m.type != 18);
  }

  bool WebHalfMissing()
  {
    auto texts = LogFileTexts();
    return std::find(texts.begin(), texts.end(), "Web server is not available in this build") != texts.end();
  }

  DaemonGuard guard_;
  pid_t daemon_ = -1;
};

TEST_F(ServiceControl, RestartRequestLogsItsStepsInOrder)
{
  TestControlClient client;
  ConnectListed(client);
  ASSERT_TRUE(client.SendRequest(1, 1, 1));
  Texts lines = client.CollectLogLines(1500);
  // The port setting did not change, so the server itself is not restarted.
  EXPECT_TRUE(InOrder(lines, {"Restarting web server", "Restarting audio input"}));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Restarting server"), 0);
  // The same lines are in the log file, once each.
  Texts file = LogFileTexts();
  EXPECT_EQ(std::count(file.begin(), file.end(), "Restarting web server"), 1);
  EXPECT_EQ(std::count(file.begin(), file.end(), "Restarting audio input"), 1);
}

TEST_F(ServiceControl, RestartRequestRestartsTheServerWhenThePortChanged)
{
  if (WebHalfMissing())
    GTEST_SKIP() << "this build runs without the streaming web server";
  TestControlClient client;
  ConnectListed(client);
  UseFreeWebPort();
  ASSERT_TRUE(client.SendRequest(1, 1, 1));
  Texts lines = client.CollectLogLines(2000);
  EXPECT_TRUE(InOrder(lines, {"Restarting web server", "Restarting server", "Restarting audio input"}));
}

TEST_F(ServiceControl, EveryDesktopGetsEveryLineWithTheDaemonsTime)
{
  TestControlClient a, b;
  ConnectListed(a);
  ConnectListed(b);
  ASSERT_TRUE(a.SendRequest(1, 1, 1));
  ASSERT_TRUE(b.SendRequest(1, 1, 1));
  std::vector<std::vector<std::string>> seen(2);
  int index = 0;
  for (TestControlClient* client : {&a, &b}) {
    TestMessage m;
    while (client->Read(m, 1500))
      if (m.type == 19)
        seen[index].push_back(m.Time() + " " + m.Text());
    ++index;
  }
  EXPECT_EQ(seen[0], seen[1]);
  Texts texts;
  for (const auto& line : seen[0])
    texts.push_back(line.substr(9));
  EXPECT_TRUE(InOrder(texts, {"Restarting web server", "Restarting audio input", "Restarting web server",
                              "Restarting audio input"}));
  // Each forwarded line is a line of the log file, time stamp included.
  Texts file = LogFileLines();
  for (const auto& line : seen[0])
    EXPECT_NE(std::find(file.begin(), file.end(), line), file.end()) << line;
}

TEST_F(ServiceControl, ProxyReconnectsSoonAfterTheDaemonReturns)
{
  LogCapture window;
  LServiceEngineProxy<MainEngine> proxy;
  proxy.Start();
  ASSERT_TRUE(proxy.IsServiceMode());

  kill(daemon_, SIGKILL);
  ASSERT_NE(guard_.WaitExit(daemon_, 2000), -1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  ASSERT_EQ(RunVelorin({}, false).ExitCode(), 0);
  auto socket_ready = std::chrono::steady_clock::now(); // no later than the socket appeared
  pid_t second = guard_.Daemon();
  ASSERT_GT(second, 0);
  // The listening socket plus the proxy's connection.
  while (CountUnixSockets(second) < 2 && MsSince(socket_ready) < 3000)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const long long ms = MsSince(socket_ready);
  EXPECT_EQ(CountUnixSockets(second), 2);
  EXPECT_LT(ms, 300) << "reconnection took " << ms << " ms";
  std::printf("proxy reconnected %lld ms after the new daemon's socket\n", ms);

  // The new daemon's lines reach the desktop's window.
  TestControlClient other;
  ConnectListed(other);
  ASSERT_TRUE(other.SendRequest(1, 1, 1));
  EXPECT_TRUE(window.WaitFor("Restarting audio input", 3000));
  proxy.Stop();
}

TEST_F(ServiceControl, MalformedTrafficClosesOnlyThatConnection)
{
  TestControlClient good;
  ConnectListed(good);
  std::mt19937 random(99);
  std::vector<unsigned char> noise(200);
  for (auto& byte : noise)
    byte = static_cast<unsigned char>(random());
  noise[0] = 0;
  auto truncated = EncodeTestHeader(1, 1, 64, 1);
  truncated.resize(truncated.size() + 20, 7);
  const std::vector<std::pair<std::string, std::vector<unsigned char>>> attacks = {
      {"wrong magic", EncodeTestHeader(1, 1, 0, 1, 0x3412)},
      {"huge size", EncodeTestHeader(1, 1, 0xFFFFFFFFu, 1)},
      {"random bytes", noise},
      {"truncated payload", truncated},
  };
  uint32_t tag = 10;
  for (const auto& [name, bytes] : attacks) {
    TestControlClient bad;
    ASSERT_TRUE(bad.Connect());
    ASSERT_TRUE(bad.SendRaw(bytes));
    EXPECT_TRUE(bad.ClosedWithin(12000)) << name;
    EXPECT_EQ(kill(daemon_, 0), 0) << "daemon gone after " << name;
    ASSERT_TRUE(good.SendRequest(2, 0, ++tag));
    TestMessage m;
    do
      ASSERT_TRUE(good.Read(m, 2000)) << "after " << name;
    while (m.type != 18);
    EXPECT_EQ(m.tag, tag);
  }
  // The good desktop still gets the daemon's lines.
  ASSERT_TRUE(good.SendRequest(1, 1, 99));
  EXPECT_TRUE(good.WaitForLogLine("Restarting audio input", 3000));
}

} // namespace
