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
using Clock = std::chrono::steady_clock;

// Runs the default GLib context until pred holds.
template <class Pred>
bool RunMainLoopUntil(Pred pred) {
  return Eventually([&] {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    return pred();
  });
}

struct NotifyRecorder : LEngineNotifyHandler {
  void EvEngineNotify(unsigned int code, const void* data, unsigned int size) override {
    seen.push_back(std::to_string(code) + " " + std::to_string(size) + " " +
                   (data ? std::string(static_cast<const char*>(data), size) : std::string("<null>")));
  }
  std::vector<std::string> seen;
};

TEST(EngineProxy, ServiceModeCarriesRequestsRepliesLogLinesAndNotifications) {
  HalfCalls calls;
  RunningHost host(calls);
  LogCapture window;
  NotifyRecorder recorder;
  Proxy proxy;
  proxy.SetProxyNotifyHandler(recorder);
  proxy.Start();
  ASSERT_TRUE(proxy.IsServiceMode());
  EXPECT_FALSE(proxy.IsForegroundMode());
  calls.Take();
  proxy.Control(kEngineCtlRestart);
  EXPECT_TRUE(Eventually([&] { return calls.Count("audio.Restart+") == 1; }));
  // An unmatched reply would leave each call to its 5 s time-out.
  const auto start = Clock::now();
  EXPECT_EQ(proxy.ControlWithResult(1, nullptr, 0), 0);
  std::vector<unsigned char> out{1, 2};
  EXPECT_EQ(proxy.ControlWithReturnData(1, "ab", 2, out), 0);
  EXPECT_TRUE(out.empty());
  EXPECT_LT(MsSince(start), 4500) << "replies were not matched to their requests";

  // Until the connection is listed nothing is sent: repeat until the line
  // that follows the notifications has been shown.
  ASSERT_TRUE(Eventually([&] {
    host.Host().EvEngineNotify(3, "xyz", 3);
    host.Host().EvEngineNotify(4, nullptr, 77);
    host.Host().Log("23:59:58", "from the service", LLogWarning);
    return window.WaitFor("from the service", 50);
  }));
  for (const auto& line : window.Lines())
    EXPECT_TRUE(line.text != "from the service" || (line.time == "23:59:58" && line.level == LLogWarning)) << line.time;
  ASSERT_TRUE(RunMainLoopUntil([&] { return recorder.seen.size() >= 2; }));
  EXPECT_EQ(std::vector<std::string>(recorder.seen.begin(), recorder.seen.begin() + 2),
            (std::vector<std::string>{"3 3 xyz", "4 77 <null>"}));
  proxy.InvalidateProxyNotifyHandler();
  // The proxy's stop leaves the service running.
  proxy.Stop();
  EXPECT_FALSE(proxy.IsServiceMode());
  EXPECT_TRUE(host.Host().IsRunning());
  EXPECT_EQ(calls.Count("audio.Stop-"), 0u);
}

// The GUI thread sends while the reader replaces the pipe again and again;
// the proxy reconnects, and stops promptly while it is reconnecting.
TEST(EngineProxy, RequestsRaceReconnectionSafely) {
  HalfCalls calls;
  Proxy proxy;
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
  EXPECT_TRUE(host->Host().IsRunning());
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

TEST(EngineProxy, ForegroundWhenNoServiceCanBeStarted) {
  struct stat st {};
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
  EXPECT_EQ(texts.front().rfind("WebServer Starting: ", 0), 0u) << "the first start's notice comes first";
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
  FakeService() : fd_(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    unlink(ServicePipePath().c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, ServicePipePath().c_str(), sizeof address.sun_path - 1);
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd_, 5) == 0;
  }
  ~FakeService() {
    close(fd_);
    unlink(ServicePipePath().c_str());
  }
  bool Ok() const { return ok_; }
  // The next connection, or -1 after 5 s.
  int Accept() {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 5000) > 0 ? accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  }

private:
  int fd_;
  bool ok_ = false;
};

void Send(int fd, uint16_t type, uint32_t code, uint32_t tag, const std::string& payload, uint32_t size = ~0u) {
  auto bytes = EncodeTestHeader(type, code, size != ~0u ? size : static_cast<uint32_t>(payload.size()), tag);
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

TEST(EngineProxy, HostilePeerIsClampedOrDroppedAndAMalformedStreamReconnects) {
  using namespace std::string_literals;
  FakeService service;
  ASSERT_TRUE(service.Ok());
  LogCapture window;
  NotifyRecorder recorder;
  Proxy proxy;
  proxy.SetProxyNotifyHandler(recorder);
  proxy.Start();
  ASSERT_TRUE(proxy.IsServiceMode());
  int peer = service.Accept();
  ASSERT_GE(peer, 0);
  Send(peer, kControlLogLine, 0, 0, "Xabc\0"s);           // tag 0: split raised to 1
  Send(peer, kControlLogLine, 0, 1000, "12:00:00\0tail"s); // tag past the end
  Send(peer, kControlLogLine, 0, 1, "Z"s);                 // 1 byte: nothing shown
  Send(peer, kControlNotification, 8, 1000000, "data");    // the tag claims a million bytes
  Send(peer, kControlLogLine, 3, 9, "12:00:01\0last\0"s);
  ASSERT_TRUE(window.WaitFor("last", 5000));
  auto lines = window.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].time + "|" + lines[0].text, "|abc");
  EXPECT_EQ(lines[1].time.substr(0, 8) + "|" + lines[1].text, "12:00:00|");
  EXPECT_EQ(lines[2].time, "12:00:01");
  EXPECT_EQ(lines[2].level, 3);
  ASSERT_TRUE(RunMainLoopUntil([&] { return !recorder.seen.empty(); }));
  EXPECT_EQ(recorder.seen[0], "8 4 data");
  proxy.InvalidateProxyNotifyHandler();

  // A wrong magic or an impossible size: the reader drops the pipe and
  // connects anew.
  for (auto [magic, size] : {std::pair<uint16_t, uint32_t>{0xBEEF, 4}, {0x1234, 0xFFFFFFFFu}}) {
    auto bytes = EncodeTestHeader(kControlLogLine, 0, size, 9, magic);
    ASSERT_EQ(send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL), 16);
    int next = service.Accept();
    ASSERT_GE(next, 0) << "no reconnection";
    close(peer);
    peer = next;
  }
  close(peer);
  proxy.Stop();
}

} // namespace
