// The desktop's engine proxy against a service host in this process: both
// modes, replies, log lines and reconnection.

#include "app/logcapture.h"
#include "app/mainengineproxy.h"
#include "app/servicehostfixture.h"
#include "app/testhelpers.h"
#include "settings/settings.h"

#include <unistd.h>

namespace {

TEST(EngineProxy, ServiceModeCarriesRequestsRepliesAndLogLines)
{
  HalfCalls calls;
  RunningHost host(calls);
  LogCapture window;
  LServiceEngineProxy<MainEngine> proxy;
  proxy.Start();
  ASSERT_TRUE(proxy.IsServiceMode() && !proxy.IsForegroundMode());
  calls.Take();
  proxy.Control(kEngineCtlRestart);
  EXPECT_TRUE(Eventually([&] { return calls.Count("audio.Restart+") == 1; }));
  // An unmatched reply would leave each call to its 5 s time-out.
  const auto start = Clock::now();
  std::vector<unsigned char> out{1, 2};
  EXPECT_EQ(proxy.ControlWithResult(1, nullptr, 0) + proxy.ControlWithReturnData(1, "ab", 2, out) + out.size(), 0u);
  EXPECT_LT(MsSince(start), 4500) << "replies were not matched to their requests";
  // Until the connection is listed nothing is sent: repeat until the line is shown.
  ASSERT_TRUE(Eventually([&] {
    host.engine.Log("23:59:58", "from the service", LLogWarning);
    return Eventually([&] { return InOrder(window.Texts(true), {"23:59:58 2 from the service"}); }, 50);
  })) << "not shown, or not with the service's time and level";
  proxy.Stop();
  EXPECT_FALSE(proxy.IsServiceMode());
  EXPECT_TRUE(host.engine.IsRunning() && calls.Count("audio.Stop-") == 0) << "a desktop's stop leaves the service";
}

// The GUI thread sends while the reader replaces the pipe again and again;
// the proxy reconnects, and stops promptly while it is reconnecting.
TEST(EngineProxy, RequestsRaceReconnectionSafely)
{
  HalfCalls calls;
  LServiceEngineProxy<MainEngine> proxy;
  auto host = std::make_unique<RunningHost>(calls);
  proxy.Start();
  std::atomic<bool> stop{false};
  std::thread restarter([&] {
    for (int i = 0; i < 6; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(120));
      host.reset();
      host = std::make_unique<RunningHost>(calls);
    }
    stop.store(true);
  });
  while (!stop.load())
    proxy.Control(2, "data", 4);
  restarter.join();
  EXPECT_TRUE(host->engine.IsRunning());
  calls.Take();
  EXPECT_TRUE(Eventually([&] {
    proxy.Control(kEngineCtlRestart);
    return calls.Count("audio.Restart+") > 0;
  })) << "no reconnection to the last service";
  host.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  const auto start = Clock::now();
  proxy.Stop();
  EXPECT_LT(MsSince(start), 3000);
}

TEST(EngineProxy, ForegroundWhenNoServiceCanBeStarted)
{
  if (access("/etc/init.d/velorind", F_OK) == 0)
    GTEST_SKIP() << "an installed service would be started";
  // The engine runs in this process: keep its web server off ports in use.
  LSettingSetInt("WebServer", "Port", PickFreePort());
  LogCapture window;
  MainEngineProxy proxy;
  proxy.Start();
  ASSERT_TRUE(proxy.IsForegroundMode() && !proxy.IsServiceMode());
  auto texts = window.Texts();
  EXPECT_TRUE(InOrder(texts, {"Unable to start the background service! Will attempt to run in foreground.",
                              "Starting audio input", "Starting web server"}));
  EXPECT_EQ(texts.front().rfind("WebServer Starting: ", 0), 0u) << "the first start's notice comes first";
  proxy.Stop();
  EXPECT_FALSE(proxy.IsForegroundMode());
}

}  // namespace
