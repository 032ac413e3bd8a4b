// The real executable's roles: the daemon start and its detachment, the
// SIGTERM stop, a start that fails before "started", crash signals, and
// the roles that need a display they cannot open.

#include "alsa/testalsa.h"
#include "integration/daemon.h"
#include "settings/settings.h"

#include <cstdio>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {

const std::string kSocket = "/opt/ostrel/velorin/etc/.spipe.velorind";

bool Exists(const std::string& path)
{
  struct stat st{};
  return lstat(path.c_str(), &st) == 0;
}

std::string Link(const std::string& path)
{
  char target[512];
  ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : "";
}

TEST(Service, ReturnsOnceStartedAndRunsDetached)
{
  DaemonGuard guard;
  UseFreeWebPort();
  LaunchResult launch = RunVelorin({}, false);
  EXPECT_EQ(launch.ExitCode(), 0) << launch.errors;
  EXPECT_LT(launch.ms, 3000);
  // The control socket is there when the command returns.
  EXPECT_TRUE(Exists(kSocket));
  pid_t daemon = guard.Daemon();
  ASSERT_GT(daemon, 0);
  const std::string proc = "/proc/" + std::to_string(daemon);
  EXPECT_EQ(Link(proc + "/cwd"), "/");
  auto stat_fields = ProcStatFields(daemon);
  ASSERT_GT(stat_fields.size(), 6u);
  EXPECT_EQ(stat_fields[5], std::to_string(daemon)) << "not a session leader";
  EXPECT_EQ(stat_fields[6], "0") << "has a controlling terminal";
  for (int fd = 0; fd < 3; ++fd)
    EXPECT_EQ(Link(proc + "/fd/" + std::to_string(fd)), "/dev/null") << "descriptor " << fd;
  // The daemon is still there a moment later.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(kill(daemon, 0), 0);
}

TEST(Service, ServiceSwitchStartsTheDaemonEvenWithADisplay)
{
  DaemonGuard guard;
  UseFreeWebPort();
  LaunchResult launch = RunVelorin({"-service"}, true);
  EXPECT_EQ(launch.ExitCode(), 0) << launch.errors;
  EXPECT_GT(guard.Daemon(), 0);
  EXPECT_TRUE(Exists(kSocket));
}

TEST(Service, SigtermEndsWithStatusZeroWithinASecond)
{
  DaemonGuard guard;
  UseFreeWebPort();
  ASSERT_EQ(RunVelorin({}, false).ExitCode(), 0);
  pid_t daemon = guard.Daemon();
  ASSERT_GT(daemon, 0);
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(daemon, SIGTERM), 0);
  int status = guard.WaitExit(daemon, 3000);
  const long long ms = MsSince(start);
  ASSERT_NE(status, -1) << "still running";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_LT(ms, 1000);
  EXPECT_FALSE(Exists(kSocket)) << "socket file left behind";
  EXPECT_TRUE(InOrder(LogFileTexts(), {"Stopping web server", "Stopping audio input"}));
}

// Opens the live stream of input 1 on the daemon's web server and reads
// until an MP3 frame header (11 sync bits) has come; the socket stays open.
// -1 when no stream arrives.
int OpenLiveStream(int port, std::string& received)
{
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string request = "GET /velorin.mp3?src=1&kbps=56 HTTP/1.0\r\n\r\n";
  auto start = std::chrono::steady_clock::now();
  // The web server may still be binding its port when the daemon has
  // reported "started".
  int fd = -1;
  while (fd < 0 && MsSince(start) < 3000) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      fd = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (fd < 0 || send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
    if (fd >= 0)
      close(fd);
    return -1;
  }
  char buffer[4096];
  while (MsSince(start) < 5000) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0)
      continue;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0)
      break;
    received.append(buffer, static_cast<size_t>(n));
    auto body = received.find("\r\n\r\n");
    for (size_t i = body == std::string::npos ? received.size() : body + 4; i + 1 < received.size(); ++i)
      if (static_cast<unsigned char>(received[i]) == 0xFF && (static_cast<unsigned char>(received[i + 1]) & 0xE0) == 0xE0)
        return fd;
  }
  close(fd);
  return -1;
}

// A daemon that captures from a sound card, encodes and serves a listener
// still stops within the second the init script allows before it kills.
TEST(Service, SigtermStopsAStreamingDaemonWithinASecond)
{
  LTestAlsaCards cards;
  TestAlsaSetCard(0, "sine:1000,2000:0.5");
  DaemonGuard guard;
  UseFreeWebPort();
  ASSERT_EQ(RunVelorin({}, false).ExitCode(), 0);
  pid_t daemon = guard.Daemon();
  ASSERT_GT(daemon, 0);

  int listener = -1;
  auto texts = LogFileTexts();
  const bool web_missing =
      std::find(texts.begin(), texts.end(), "Web server is not available in this build") != texts.end();
  if (!web_missing && Exists("/opt/ostrel/components/lyrenc/lyrenc")) {
    std::string received;
    listener = OpenLiveStream(LSettingGetInt("WebServer", "Port", 0), received);
    EXPECT_GE(listener, 0) << "no MP3 stream; received " << received.size() << " bytes";
  } else {
    std::printf("no live stream checked: %s\n", web_missing ? "no web server in this build" : "lyrenc not built");
  }

  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(daemon, SIGTERM), 0);
  int status = guard.WaitExit(daemon, 5000);
  const long long ms = MsSince(start);
  if (listener >= 0)
    close(listener);
  ASSERT_NE(status, -1) << "still running";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_LT(ms, 1000);
  std::printf("daemon stopped %lld ms after SIGTERM\n", ms);
}

TEST(Service, RepeatedSigtermsStillEndWithZero)
{
  DaemonGuard guard;
  UseFreeWebPort();
  for (int round = 0; round < 5; ++round) {
    ASSERT_EQ(RunVelorin({}, false).ExitCode(), 0);
    pid_t daemon = guard.Daemon();
    ASSERT_GT(daemon, 0);
    kill(daemon, SIGTERM);
    kill(daemon, SIGTERM);
    int status = guard.WaitExit(daemon, 3000);
    ASSERT_NE(status, -1) << "round " << round;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
}

// The child cannot open /dev/null in a mount namespace with an empty /dev,
// so it ends before "started": the launcher must end too, with status 1.
TEST(Service, LauncherFailsWhenTheChildDiesBeforeStarting)
{
  DaemonGuard guard;
  int errors[2];
  ASSERT_EQ(pipe(errors), 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(errors[1], STDERR_FILENO);
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/dev", "tmpfs", 0, nullptr) != 0)
      _exit(90);
    unsetenv("DISPLAY");
    execl(VelorinBinary().c_str(), VelorinBinary().c_str(), static_cast<char*>(nullptr));
    _exit(91);
  }
  close(errors[1]);
  std::string message;
  char buffer[256];
  ssize_t n;
  while ((n = read(errors[0], buffer, sizeof buffer)) > 0)
    message.append(buffer, static_cast<size_t>(n));
  close(errors[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 90) << "cannot make the test namespace";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_LT(MsSince(start), 2000);
  EXPECT_NE(message.find("ended before it had started"), std::string::npos) << message;
  EXPECT_TRUE(guard.Daemons().empty());
}

TEST(Service, CrashSignalsAreRecordedAndEndTheDaemon)
{
  for (int signal : {10, 11}) {
    DaemonGuard guard;
    UseFreeWebPort();
    ASSERT_EQ(RunVelorin({}, false).ExitCode(), 0);
    pid_t daemon = guard.Daemon();
    ASSERT_GT(daemon, 0);
    kill(daemon, signal);
    int status = guard.WaitExit(daemon, 3000);
    ASSERT_NE(status, -1) << "signal " << signal;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
    EXPECT_EQ(LSettingGetInt("Errors", "Exception", 0), signal);
  }
}

TEST(Service, RolesThatCannotOpenADisplayEndWithStatusOne)
{
  DaemonGuard guard;
  // No display at all, or one that cannot be opened (nothing serves :97):
  // the toolkit's start fails, and no daemon is left behind.
  for (bool display : {false, true}) {
    LaunchResult launch = RunVelorin({"-logon"}, display);
    EXPECT_EQ(launch.ExitCode(), 1) << display;
    EXPECT_NE(launch.errors.find("cannot open display"), std::string::npos) << launch.errors;
  }
  EXPECT_TRUE(guard.Daemons().empty());
  EXPECT_FALSE(Exists(kSocket));
}

} // namespace
