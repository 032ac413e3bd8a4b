// The desktop's engine proxy against a service host in this process and
// against a hand-made peer: service and foreground modes, replies, log lines
// and notifications from the service, reconnection, and hostile input.

#include "app/controlmessage.h"
#include "app/logcapture.h"
#include "app/mainengineproxy.h"
#include "app/servicehostfixture.h"

#include "app/testhelpers.h"
#include "settings/settings.h"

#include <glib.h>
#include <sys/stat.h>

namespace {

using Proxy = LServiceEngineProxy<MainEngine>;

// Runs the default GLib context until pred holds or ms pass.
template <class Pred>
bool RunMainLoopUntil(Pred pred, int ms)
{
  return Eventually(
      [&] {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        return pred();
      },
      ms);
}

class NotifyRecorder : public LEngineNotifyHandler {
public:
  void EvEngineNotify(unsigned int code, const void* data, unsigned int size) override
  {
    codes.push_back(code);
    sizes.push_back(size);
    texts.push_back(data ? std::string(static_cast<const char*>(data), size) : std::string("<null>"));
  }
  std::vector<unsigned int> codes, sizes;
  std::vector<std::string> texts;
};

TEST(EngineProxy, ServiceModeSendsRequestsAndReceivesReplies)
{
  HalfCalls calls;
  RunningHost host(calls);
  Proxy proxy;
  proxy.Start();
  ASSERT_TRUE(proxy.IsServiceMode());
  EXPECT_FALSE(proxy.IsForegroundMode());
  calls.Take();

  proxy.Control(kEngineCtlRestart);
  EXPECT_TRUE(Eventually([&] { return calls.Count("audio.Restart+") == 1; }, 2000));

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(proxy.ControlWithResult(1, nullptr, 0), 0);
  std::vector<unsigned char> out{1, 2};
  EXPECT_EQ(proxy.ControlWithReturnData(1, "ab", 2, out), 0);
  EXPECT_TRUE(out.empty());
  EXPECT_LT(MsSince(start), 2000) << "replies were not matched to their requests";

  // The proxy's stop leaves the service running.
  proxy.Stop();
  EXPECT_FALSE(proxy.IsServiceMode());
  EXPECT_TRUE(host.Host().IsRunning());
  EXPECT_EQ(calls.Count("audio.Stop-"), 0u);
}

TEST(EngineProxy, ServiceLogLinesAreShownWithTheServicesTime)
{
  HalfCalls calls;
  RunningHost host(calls);
  LogCapture window;
  Proxy proxy;
  proxy.Start();
  ASSERT_TRUE(Eventually(
      [&] {
        host.Host().Log("23:59:58", "from the service", LLogWarning);
        return window.WaitFor("from the service", 50);
      },
      3000));
  for (const auto& line : window.Lines()) {
    if (line.text == "from the service") {
      EXPECT_EQ(line.time, "23:59:58");
      EXPECT_EQ(line.level, LLogWarning);
    }
  }
}

TEST(EngineProxy, NotificationsArriveOnTheMainLoopWithTheirData)
{
  HalfCalls calls;
  RunningHost host(calls);
  LogCapture window;
  Proxy proxy;
  NotifyRecorder recorder;
  proxy.SetProxyNotifyHandler(recorder);
  proxy.Start();
  // Until the connection is listed nothing is sent: repeat until a line
  // that follows the notification has been shown.  The main loop runs only
  // after the reader has queued everything (GLib's own locking is invisible
  // to the thread checker).
  ASSERT_TRUE(Eventually(
      [&] {
        host.Host().EvEngineNotify(3, "xyz", 3);
        host.Host().EvEngineNotify(4, nullptr, 77);
        host.Host().Log("00:00:00", "after", 0);
        return window.WaitFor("after", 50);
      },
      3000));
  ASSERT_TRUE(RunMainLoopUntil([&] { return recorder.codes.size() >= 2; }, 2000));
  ASSERT_EQ(recorder.codes[0], 3u);
  EXPECT_EQ(recorder.sizes[0], 3u);
  EXPECT_EQ(recorder.texts[0], "xyz");
  EXPECT_EQ(recorder.codes[1], 4u);
  EXPECT_EQ(recorder.sizes[1], 77u);
  EXPECT_EQ(recorder.texts[1], "<null>");
  proxy.InvalidateProxyNotifyHandler();
  proxy.Stop();
}

TEST(EngineProxy, ReconnectsSoonAfterTheServiceReturns)
{
  HalfCalls calls;
  LogCapture window;
  Proxy proxy;
  {
    RunningHost first(calls);
    proxy.Start();
    ASSERT_TRUE(proxy.IsServiceMode());
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // A request while the service is away is lost, not fatal.
  proxy.Control(kEngineCtlRestart);
  RunningHost second(calls);
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Eventually(
      [&] {
        second.Host().Log("01:02:03", "back again", 0);
        return window.WaitFor("back again", 2);
      },
      3000));
  EXPECT_LT(MsSince(start), 400) << "reconnection should follow within about 100 ms";
  calls.Take();
  proxy.Control(kEngineCtlRestart);
  EXPECT_TRUE(Eventually([&] { return calls.Count("audio.Restart+") == 1; }, 2000));
}

TEST(EngineProxy, StopIsPromptWhileReconnecting)
{
  HalfCalls calls;
  Proxy proxy;
  {
    RunningHost host(calls);
    proxy.Start();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  auto start = std::chrono::steady_clock::now();
  proxy.Stop();
  EXPECT_LT(MsSince(start), 500);
}

// The GUI thread sends while the reader replaces the pipe again and again.
TEST(EngineProxy, RequestsRaceReconnectionSafely)
{
  HalfCalls calls;
  Proxy proxy;
  std::unique_ptr<RunningHost> host = std::make_unique<RunningHost>(calls);
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
  proxy.Stop();
  EXPECT_TRUE(host->Host().IsRunning());
}

TEST(EngineProxy, ForegroundWhenNoServiceCanBeStarted)
{
  struct stat st{};
  if (stat("/etc/init.d/velorind", &st) == 0)
    GTEST_SKIP() << "an installed service would be started";
  // The engine runs in this process: keep its web server off ports in use.
  LSettingSetInt("WebServer", "Port", PickFreePort());
  LogCapture window;
  MainEngineProxy proxy;
  proxy.Start();
  ASSERT_TRUE(proxy.IsForegroundMode());
  EXPECT_FALSE(proxy.IsServiceMode());
  auto texts = window.Texts();
  EXPECT_TRUE(InOrder(texts, {"Unable to start the background service! Will attempt to run in foreground.",
                              "Starting audio input", "Starting web server"}));
  // The first start's notice came before all of it.
  EXPECT_EQ(texts.front().rfind("WebServer Starting: ", 0), 0u);

  window.Clear();
  proxy.CtlRestart();
  EXPECT_TRUE(InOrder(window.Texts(), {"Restarting web server", "Restarting audio input"}));
  window.Clear();
  proxy.Stop();
  EXPECT_TRUE(InOrder(window.Texts(), {"Stopping web server", "Stopping audio input"}));
  EXPECT_FALSE(proxy.IsForegroundMode());
}

// A peer posing as the service, sending what it likes.
class FakeService {
public:
  FakeService()
  {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    unlink(ServicePipePath().c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, ServicePipePath().c_str(), sizeof address.sun_path - 1);
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd_, 5) == 0;
  }
  ~FakeService()
  {
    close(fd_);
    unlink(ServicePipePath().c_str());
  }
  bool Ok() const { return ok_; }
  // The next connection, or -1 after ms.
  int Accept(int ms)
  {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0)
      return -1;
    return accept(fd_, nullptr, nullptr);
  }

private:
  int fd_ = -1;
  bool ok_ = false;
};

void SendAll(int fd, const std::vector<unsigned char>& bytes)
{
  ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

std::vector<unsigned char> LogLine(uint32_t level, uint32_t tag, const std::string& payload)
{
  auto bytes = EncodeTestHeader(kControlLogLine, level, static_cast<uint32_t>(payload.size()), tag);
  for (char c : payload)
    bytes.push_back(static_cast<unsigned char>(c));
  return bytes;
}

TEST(EngineProxy, HostileLogLinesAreClampedOrDropped)
{
  FakeService service;
  ASSERT_TRUE(service.Ok());
  LogCapture window;
  Proxy proxy;
  proxy.Start();
  ASSERT_TRUE(proxy.IsServiceMode());
  int peer = service.Accept(2000);
  ASSERT_GE(peer, 0);

  using namespace std::string_literals;
  SendAll(peer, LogLine(0, 0, "Xabc\0"s));           // tag 0: split raised to 1
  SendAll(peer, LogLine(0, 1000, "12:00:00\0tail"s)); // tag past the end
  SendAll(peer, LogLine(0, 1, "Z"s));                 // 1 byte: nothing shown
  SendAll(peer, LogLine(3, 9, "12:00:01\0last\0"s));
  ASSERT_TRUE(window.WaitFor("last", 2000));
  auto lines = window.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].time, "");
  EXPECT_EQ(lines[0].text, "abc");
  EXPECT_EQ(lines[1].time.substr(0, 8), "12:00:00");
  EXPECT_EQ(lines[1].text, "");
  EXPECT_EQ(lines[2].time, "12:00:01");
  EXPECT_EQ(lines[2].level, 3);
  close(peer);
}

TEST(EngineProxy, NotificationSizeNeverExceedsItsPayload)
{
  FakeService service;
  ASSERT_TRUE(service.Ok());
  LogCapture window;
  Proxy proxy;
  NotifyRecorder recorder;
  proxy.SetProxyNotifyHandler(recorder);
  proxy.Start();
  int peer = service.Accept(2000);
  ASSERT_GE(peer, 0);
  // The tag claims a million bytes; only four follow.
  SendAll(peer, EncodeTestHeader(kControlNotification, 8, 4, 1000000));
  SendAll(peer, std::vector<unsigned char>{'d', 'a', 't', 'a'});
  using namespace std::string_literals;
  SendAll(peer, LogLine(0, 9, "00:00:00\0after\0"s));
  ASSERT_TRUE(window.WaitFor("after", 2000));
  ASSERT_TRUE(RunMainLoopUntil([&] { return !recorder.codes.empty(); }, 2000));
  EXPECT_EQ(recorder.codes[0], 8u);
  EXPECT_EQ(recorder.sizes[0], 4u);
  EXPECT_EQ(recorder.texts[0], "data");
  proxy.Stop();
  close(peer);
}

TEST(EngineProxy, MalformedStreamMakesTheReaderReconnect)
{
  FakeService service;
  ASSERT_TRUE(service.Ok());
  Proxy proxy;
  proxy.Start();
  const std::vector<std::vector<unsigned char>> attacks = {
      EncodeTestHeader(kControlLogLine, 0, 4, 9, 0xBEEF),
      EncodeTestHeader(kControlLogLine, 0, 0xFFFFFFFFu, 9),
  };
  int peer = service.Accept(2000);
  ASSERT_GE(peer, 0);
  for (const auto& attack : attacks) {
    SendAll(peer, attack);
    auto start = std::chrono::steady_clock::now();
    int next = service.Accept(2000);
    ASSERT_GE(next, 0) << "no reconnection";
    EXPECT_LT(MsSince(start), 1000);
    close(peer);
    peer = next;
  }
  close(peer);
}

} // namespace
