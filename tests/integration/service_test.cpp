// The real executable's roles: the daemon's start, detachment and SIGTERM
// stop (while it streams to a listener), a start that fails before
// "started", crash signals, roles without a display; and desktops talking
// to the daemon over its control socket.
#include "alsa/testalsa.h"
#include "app/controlclient.h"
#include "integration/kit.h"
#include "web/webtestserver.h"

#include <sched.h>
#include <sys/mount.h>

namespace {

using Texts = std::vector<std::string>;
const std::string kSocket = "/opt/ostrel/velorin/etc/.spipe.velorind";

std::string Link(const std::string& path)
{
  char target[512];
  ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : "";
}

// A listener on input 1's live stream once an MP3 frame has come; null if none comes.
std::unique_ptr<webtest::Client> OpenLiveStream(unsigned short port)
{
  if (!webtest::WaitForPort(port))  // may still be binding after "started"
    return nullptr;
  auto client = std::make_unique<webtest::Client>(port);
  std::string received;
  bool framed = false;
  WaitUntil(
      [&] {
        received += client->ReadBytes(4096, 100);
        const size_t body = received.find("\r\n\r\n");
        for (size_t i = body == std::string::npos ? received.size() : body + 4; i + 1 < received.size(); ++i)
          framed = framed || (uint8_t(received[i]) == 0xFF && (uint8_t(received[i + 1]) & 0xE0) == 0xE0);
        return framed || client->closed();
      },
      client->Send("GET /velorin.mp3?src=1&kbps=56 HTTP/1.0\r\n\r\n") ? 10000 : 0);
  return framed ? std::move(client) : nullptr;
}

// Started plainly (capturing a test card, streaming to a listener) or with
// -service on a display: the command returns once the daemon has started,
// detached; SIGTERM, even twice, ends it with status 0 and removes its socket.
TEST(Service, DaemonStartsDetachedAndStopsCleanlyOnSigterm)
{
  LTestAlsaCards cards;
  TestAlsaSetCard(0, "sine:1000,2000:0.5");
  for (bool service : {false, true}) {
    SCOPED_TRACE(service ? "-service with a display" : "no arguments");
    DaemonGuard guard;
    UseFreeWebPort();
    LRunResult launch = RunVelorin(service ? Texts{"-service"} : Texts{}, service);
    EXPECT_TRUE(launch.Exited(0)) << launch.err;
    EXPECT_TRUE(Exists(kSocket)) << "the control socket is there when the command returns";
    pid_t daemon = guard.Daemon();
    ASSERT_GT(daemon, 0);
    const std::string proc = "/proc/" + std::to_string(daemon);
    EXPECT_EQ(Link(proc + "/cwd"), "/");
    auto fields = ProcStatFields(daemon);
    ASSERT_GT(fields.size(), 6u);
    EXPECT_EQ(fields[5], std::to_string(daemon)) << "not a session leader";
    EXPECT_EQ(fields[6], "0") << "has a controlling terminal";
    for (int fd = 0; fd < 3; ++fd)
      EXPECT_EQ(Link(proc + "/fd/" + std::to_string(fd)), "/dev/null") << "descriptor " << fd;
    auto listener = service ? nullptr : OpenLiveStream(LSettingGetInt("WebServer", "Port", 0));
    EXPECT_TRUE(service || listener) << "no MP3 stream";

    ASSERT_EQ(kill(daemon, SIGTERM), 0);
    kill(daemon, SIGTERM);
    int status = guard.WaitExit(daemon, 10000);
    listener.reset();
    ASSERT_NE(status, -1) << "still running";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_FALSE(Exists(kSocket)) << "socket file left behind";
    EXPECT_TRUE(InOrder(LogFileTexts(), {"Stopping web server", "Stopping audio input"}));
  }
}

// The child cannot open /dev/null in a namespace with an empty /dev, so it
// ends before "started": the launcher must end too, with status 1.
TEST(Service, LauncherFailsWhenTheChildDiesBeforeStarting)
{
  DaemonGuard guard;
  LChild launcher;  // the shell runs only when the program cannot be started
  ASSERT_TRUE(launcher.Start({"/bin/sh", "-c", "exit 91"}, [] {
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/dev", "tmpfs", 0, nullptr) != 0)
      _exit(90);
    unsetenv("DISPLAY");
    execl(VelorinBinary().c_str(), VelorinBinary().c_str(), static_cast<char*>(nullptr));
  }));
  std::string out, message;
  int status = launcher.Collect(out, message);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 90) << "cannot make the test namespace";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(message.find("ended before it had started"), std::string::npos) << message;
  EXPECT_TRUE(guard.Daemons().empty());
}

TEST(Service, CrashSignalsAreRecordedAndEndTheDaemon)
{
  for (int signal : {SIGUSR1, SIGSEGV}) {
    DaemonGuard guard;
    UseFreeWebPort();
    ASSERT_TRUE(RunVelorin({}, false).Exited(0));
    pid_t daemon = guard.Daemon();
    ASSERT_GT(daemon, 0);
    kill(daemon, signal);
    int status = guard.WaitExit(daemon, 10000);
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
    EXPECT_EQ(LSettingGetInt("Errors", "Exception", 0), signal);
  }
}

// No display, or one that cannot be opened: the toolkit's start fails and
// no daemon is left behind.
TEST(Service, RolesThatCannotOpenADisplayEndWithStatusOne)
{
  DaemonGuard guard;
  for (bool display : {false, true}) {
    LRunResult launch = RunVelorin({"-logon"}, display);
    EXPECT_TRUE(launch.Exited(1)) << display;
    EXPECT_NE(launch.err.find("cannot open display"), std::string::npos) << launch.err;
  }
  EXPECT_TRUE(guard.Daemons().empty());
  EXPECT_FALSE(Exists(kSocket));
}

// The log lines ("time text") a desktop gets, up to and with `last`.
Texts LinesUntil(TestControlClient& client, const std::string& last)
{
  Texts lines;
  TestMessage m;
  while (client.Read(m, 10000) && (m.type != 19 || (lines.push_back(m.Time() + " " + m.Text()), m.Text() != last))) {
  }
  return lines;
}

Texts TextsOf(const Texts& lines)
{
  Texts texts;
  for (const auto& line : lines)
    texts.push_back(line.substr(line.find(' ') + 1));
  return texts;
}

// A restart request logs its steps in order to every desktop, with the
// daemon's time, as in the log file; the server itself restarts only when
// its port changed.
TEST(ServiceControl, RestartRequestLogsItsStepsToEveryDesktop)
{
  DaemonGuard guard;
  UseFreeWebPort();
  ASSERT_TRUE(RunVelorin({}, false).Exited(0));
  ASSERT_GT(guard.Daemon(), 0);
  TestControlClient a, b;
  for (TestControlClient* client : {&a, &b}) {
    // Listed once a request with a reply is answered.
    ASSERT_TRUE(client->Connect());
    ASSERT_TRUE(client->SendRequest(2, 0, 0xABC));
    TestMessage m;
    do
      ASSERT_TRUE(client->Read(m, 10000));
    while (m.type != 18 || m.tag != 0xABC);
  }
  ASSERT_TRUE(a.SendRequest(1, 1, 1));
  Texts seenA = LinesUntil(a, "Restarting audio input"), seenB = LinesUntil(b, "Restarting audio input");
  EXPECT_EQ(seenA, seenB);
  const Texts textsA = TextsOf(seenA);
  EXPECT_TRUE(InOrder(textsA, {"Restarting web server", "Restarting audio input"}));
  EXPECT_EQ(std::count(textsA.begin(), textsA.end(), "Restarting server"), 0);
  Texts file = LogFileLines(), texts = LogFileTexts();
  for (const auto& line : seenA)
    EXPECT_NE(std::find(file.begin(), file.end(), line), file.end()) << line;
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Restarting web server"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Restarting audio input"), 1);

  UseFreeWebPort();
  ASSERT_TRUE(b.SendRequest(1, 1, 1));
  EXPECT_TRUE(InOrder(TextsOf(LinesUntil(b, "Restarting audio input")),
                      {"Restarting web server", "Restarting server", "Restarting audio input"}));
}

}  // namespace
