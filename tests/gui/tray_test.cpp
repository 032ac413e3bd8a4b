// The tray icon docked in our own notification area, its clicks and menu,
// "Confirm Stop" and the settings command, on the real executable.
#include "gui/desktopkit.h"

#include <netinet/in.h>
#include <poll.h>

namespace {

// The test notification area (tests/gui/testtray.cpp) as a child whose
// report lines we read.
class TestTray {
public:
  TestTray()
  {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
      return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      execl(VELORIN_BINARY_DIR "/tests/gui/velorin-testtray", "velorin-testtray", nullptr);
      _exit(127);
    }
    close(out[1]);
    out_.Reset(out[0]);
  }
  ~TestTray()
  {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // The next report line, waiting up to ms; "" when none came.
  std::string NextLine(int ms = 60000)
  {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
      auto end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      int left = ms - static_cast<int>(MsSince(start));
      pollfd p{out_.Get(), POLLIN, 0};
      if (left <= 0 || poll(&p, 1, left) <= 0)
        return "";
      char chunk[256];
      ssize_t n = read(out_.Get(), chunk, sizeof chunk);
      if (n <= 0)
        return "";
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

private:
  pid_t pid_ = -1;
  LUniqueFD out_;
  std::string buffer_;
};

bool WebServerAnswers(int port)
{
  LUniqueFD fd(socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// The icon sits at (600, 10) in the test tray, 24 x 24.
void ClickIcon(int button) { Xdotool("mousemove 612 22 click " + std::to_string(button)); }

class Tray : public DesktopTest {
protected:

  // The "Confirm Stop" box, opened from the tray menu's "E_xit (Stop
  // Server)" (its mnemonic), focused for the keyboard.
  Window OpenConfirmStop(Window main)
  {
    size_t popups = x_.Viewable("", true).size();
    ClickIcon(3);
    if (!WaitUntil([&] { return x_.Viewable("", true).size() > popups; }))
      return 0;
    Xdotool("key x");
    Window box = 0;
    WaitUntil([&] {
      for (Window w : x_.Viewable("Velorin"))
        if (w != main)
          box = w;
      return box != 0;
    });
    if (box != 0)
      Xdotool("windowfocus --sync " + std::to_string(box));
    return box;
  }
};

TEST_F(Tray, IconDocksAndAnswersClicksAndConfirmStopHasThreeAnswers)
{
  LSettingSetInt("Settings", "TrayID", 1001);
  TestTray tray;
  pid_t desktop = StartDesktop({});
  Window main = WaitMainWindow(x_);
  ASSERT_NE(main, 0u);

  // Docked by the system tray protocol: request, XEMBED, mapped.
  std::string dock = tray.NextLine();
  ASSERT_EQ(dock.rfind("dock ", 0), 0u) << dock;
  Window icon = std::strtoul(dock.c_str() + 5, nullptr, 10);
  EXPECT_EQ(x_.Name(icon), "TrayIcon");
  EXPECT_EQ(tray.NextLine(), "mapped " + std::to_string(icon));
  EXPECT_EQ(LSettingGetInt("Settings", "TrayID", -1), 0) << "a tray id above 1000 starts again at 0";

  // Left click presents the hidden window.
  x_.SendDelete(main);
  ASSERT_TRUE(WaitUntil([&] { return !x_.IsShown(main); }));
  ClickIcon(1);
  ASSERT_TRUE(WaitUntil([&] { return x_.IsShown(main); }));

  // Cancel: nothing happens.
  Window box = OpenConfirmStop(main);
  ASSERT_NE(box, 0u);
  Xdotool("key Escape");
  ASSERT_TRUE(WaitUntil([&] { return !x_.IsShown(box); }));
  EXPECT_TRUE(x_.IsShown(main));
  EXPECT_EQ(guard_.WaitExit(desktop, 0), -1);

  // Yes: the window hides, the server goes on.
  box = OpenConfirmStop(main);
  ASSERT_NE(box, 0u);
  Xdotool("key alt+y");
  ASSERT_TRUE(WaitUntil([&] { return !x_.IsShown(main); }));
  EXPECT_EQ(guard_.WaitExit(desktop, 0), -1);
  EXPECT_TRUE(WebServerAnswers(port_));

  // No: the service is stopped and the program quits.
  box = OpenConfirmStop(main);
  ASSERT_NE(box, 0u);
  Xdotool("key alt+n");
  int status = guard_.WaitExit(desktop, 60000);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << DesktopErrors();
}

// Ctrl+S opens the settings dialog; Cancel still restarts the engine, and a
// port changed meanwhile restarts the web server too.  (Without a tray the
// icon waits for one; the stored tray id is kept as it is.)
TEST_F(Tray, CancelledSettingsDialogStillRestartsTheEngine)
{
  LSettingSetInt("Settings", "TrayID", 5);
  pid_t desktop = StartDesktop({});
  Window main = WaitMainWindow(x_);
  ASSERT_NE(main, 0u);
  EXPECT_EQ(LSettingGetInt("Settings", "TrayID", -1), 5) << "a tray id up to 1000 is kept";
  ASSERT_TRUE(WaitUntil([] { return LogHas("Starting web server"); }));
  LSettingSetInt("WebServer", "Port", PickFreePort());
  Xdotool("windowfocus --sync " + std::to_string(main));
  Xdotool("key ctrl+s");
  Window sheet = 0;
  ASSERT_TRUE(WaitUntil([&] {
    auto found = x_.Viewable("Velorin Settings");
    sheet = found.empty() ? 0 : found[0];
    return sheet != 0;
  }));
  Xdotool("windowfocus --sync " + std::to_string(sheet));
  Xdotool("key Escape");
  EXPECT_TRUE(WaitUntil([] {
    return InOrder(LogFileTexts(), {"Restarting web server", "Restarting server", "Restarting audio input"});
  })) << DesktopErrors();
  EXPECT_FALSE(x_.IsShown(sheet));
  EXPECT_EQ(guard_.WaitExit(desktop, 0), -1);
}

} // namespace
