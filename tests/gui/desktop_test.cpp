// The real executable on the virtual display: the run-once guard, the
// "setup" name rule and the -logon delay.
#include "gui/desktopkit.h"
#include "gui/runonce.h"

#include <sys/un.h>

namespace {

std::string RunOnceSocketPath() { return std::string(std::getenv("HOME")) + "/.Velorin.runonce"; }

// Sends raw bytes to the first instance, as a broken or hostile peer would.
bool SendRaw(const std::vector<int32_t>& words)
{
  LUniqueFD fd(socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, RunOnceSocketPath().c_str(), sizeof address.sun_path - 1);
  if (connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return false;
  return write(fd.Get(), words.data(), words.size() * sizeof(int32_t)) ==
         static_cast<ssize_t>(words.size() * sizeof(int32_t));
}

using Desktop = DesktopTest;

TEST_F(Desktop, SecondStartForwardsItsArgumentsAndOnlyAnEmptyListPresentsTheWindow)
{
  // A socket file left by an instance that crashed does not stop the start.
  {
    LUniqueFD stale(socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, RunOnceSocketPath().c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(stale.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  // The first desktop start of a program the installer did not install
  // adds its menu entry, once.
  const char* entry = "/usr/share/applications/desktop/velorin.desktop";
  LSettingSet(VLKeys::Installed, false);
  pid_t first = StartDesktop({});
  Window main = WaitMainWindow(x_);
  ASSERT_NE(main, 0u);
  EXPECT_TRUE(LSettingGet(VLKeys::Installed));
  struct stat st{};
  EXPECT_EQ(stat(entry, &st), 0) << entry;
  x_.SendDelete(main);
  ASSERT_TRUE(WaitUntil([&] { return !x_.IsShown(main); }));
  // Hiding stores the geometry it was restored with (the defaults here).
  for (auto [key, value] : {std::pair{"X", 160}, {"Y", 80}, {"Width", 300}, {"Height", 250}})
    EXPECT_EQ(LUserSettingGetInt("MainWindow", key, -1), value) << key;

  pid_t forward = StartDesktop({"-logon", "extra"});
  EXPECT_EQ(guard_.WaitExit(forward, 60000), 0);

  // Malformed messages are dropped; each logs a warning, in order, so the
  // last warning also means the forwarded arguments were handled.
  const std::vector<std::vector<int32_t>> malformed = {
      {-1},                                // negative count
      {LRunOnceSocket::kMaxArguments + 1}, // too many arguments
      {2, 4},                              // cut short
      {1, 1 << 30},                        // an argument too long
  };
  for (const auto& words : malformed)
    ASSERT_TRUE(SendRaw(words));
  ASSERT_TRUE(WaitUntil([] {
    auto texts = LogFileTexts();
    return std::count(texts.begin(), texts.end(), "Dropped a malformed message from a second start") ==
           static_cast<long>(4);
  }));
  EXPECT_FALSE(x_.IsShown(main)) << "forwarded arguments must not present the window";

  // Without arguments the first instance comes to the front; it still
  // answers after the malformed messages.
  pid_t plain = StartDesktop({});
  EXPECT_EQ(guard_.WaitExit(plain, 60000), 0);
  EXPECT_TRUE(WaitUntil([&] { return x_.IsShown(main); }));
  EXPECT_EQ(guard_.WaitExit(first, 0), -1) << "the first instance must keep running";
}

TEST_F(Desktop, ProgramNamedSetupOpensNothing)
{
  const std::string link = std::string(std::getenv("HOME")) + "/velorin-setup";
  ASSERT_EQ(symlink(VelorinBinary().c_str(), link.c_str()), 0);
  pid_t setup = StartDesktop({}, link);
  EXPECT_EQ(guard_.WaitExit(setup, 60000), 0);
  EXPECT_TRUE(x_.Viewable("Velorin").empty());
  EXPECT_FALSE(LogHas("Starting web server")) << "no engine may start";
  // The settings stores are built before main: the per-user folder exists
  // even though nothing was written to it.
  struct stat st{};
  EXPECT_EQ(stat((std::string(std::getenv("HOME")) + "/.ostrel/velorin").c_str(), &st), 0);
}

// -logon waits 9 s for a service started at boot, and only then.
TEST_F(Desktop, LogonDelaysTheWindowOnlyWhenTheServiceStartsAtBoot)
{
  for (bool enabled : {true, false}) {
    SCOPED_TRACE(enabled ? "service enabled" : "service not enabled");
    LSettingSetBool("Service", "Enabled", enabled);
    auto start = std::chrono::steady_clock::now();
    pid_t desktop = StartDesktop({"-logon"});
    ASSERT_NE(WaitMainWindow(x_), 0u);
    if (enabled)
      EXPECT_GE(MsSince(start), 9000);
    else
      EXPECT_LT(MsSince(start), 9000);
    kill(desktop, SIGKILL);
    guard_.WaitExit(desktop, 60000);
    ASSERT_TRUE(WaitUntil([&] { return x_.Viewable("Velorin").empty(); }));
  }
}

} // namespace
