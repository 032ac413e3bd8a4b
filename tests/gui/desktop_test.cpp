// The real executable on the virtual display: the run-once guard, the
// "setup" name rule, the -logon delay, and the tray icon docked in our own
// notification area (testtray.cpp) with its menu and "Confirm Stop".
#include "gui/runonce.h"
#include "integration/kit.h"

#include <X11/Xlib.h>
#include <netinet/in.h>
#include <sys/un.h>

namespace {

std::string Home()
{
  return std::getenv("HOME");
}
std::string DesktopErrorsPath()
{
  return Home() + "/desktop.err";
}

// Starts the program in the background with the test's environment.
pid_t StartDesktop(const std::vector<std::string>& args, const std::string& argv0 = VelorinBinary())
{
  std::vector<std::string> all{argv0};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(open("/dev/null", O_RDWR), STDOUT_FILENO);
    dup2(open(DesktopErrorsPath().c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644), STDERR_FILENO);
    execve(VelorinBinary().c_str(), argv.data(), environ);
    _exit(127);
  }
  return pid;
}

int Xdotool(const std::string& arguments)
{
  return std::system(("xdotool " + arguments).c_str());
}

// The test's own connection to the display.
class TestDisplay {
public:
  TestDisplay() : display_(XOpenDisplay(nullptr))
  {
    // Windows come and go between a query and the next look: not an error.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  ~TestDisplay()
  {
    if (display_ != nullptr)
      XCloseDisplay(display_);
  }
  TestDisplay(const TestDisplay&) = delete;
  TestDisplay& operator=(const TestDisplay&) = delete;

  Display* Get() const { return display_; }

  std::string Name(Window w) const
  {
    char* name = nullptr;
    std::string text = XFetchName(display_, w, &name) != 0 && name != nullptr ? name : "";
    if (name != nullptr)
      XFree(name);
    return text;
  }

  bool IsShown(Window w) const
  {
    XWindowAttributes a;
    return XGetWindowAttributes(display_, w, &a) != 0 && a.map_state == IsViewable;
  }

  // Viewable top-levels named `name` (no window manager), or the pop-ups (menus).
  std::vector<Window> Viewable(const std::string& name, bool overrideRedirect = false) const
  {
    std::vector<Window> found;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count) == 0)
      return found;
    for (unsigned int i = 0; i < count; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(display_, children[i], &a) != 0 && a.map_state == IsViewable &&
          (overrideRedirect ? a.override_redirect != 0 : (!a.override_redirect && Name(children[i]) == name)))
        found.push_back(children[i]);
    }
    if (children != nullptr)
      XFree(children);
    return found;
  }

  // The first viewable window named `name` other than `except`, waiting for it; 0 if none.
  Window Wait(const std::string& name, Window except = 0) const
  {
    Window found = 0;
    WaitUntil([&] {
      for (Window w : Viewable(name))
        found = w != except ? w : found;
      return found != 0;
    });
    return found;
  }

  // Asks the window to close, as a window manager's close button does.
  void SendDelete(Window w) const
  {
    XEvent ev = {};
    ev.xclient = {ClientMessage, 0, False, display_, w, XInternAtom(display_, "WM_PROTOCOLS", False), 32, {}};
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    XSendEvent(display_, w, False, NoEventMask, &ev);
    XFlush(display_);
  }

private:
  Display* display_;
};

// The real program with no live input, a free web port already announced
// (no first-start box), the service not enabled.
class Desktop : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_NE(x_.Get(), nullptr);
    port_ = PickFreePort();
    LSettingSetInt("Live", "Sources", 0);
    LSettingSetInt("WebServer", "Port", port_);
    LSettingSetInt("WebAccess", "PreviousServerPort", LSettingGetInt("WebAccess", "ServerPort", 85));
    LSettingSetBool("Service", "Enabled", false);
  }
  void TearDown() override { guard_.KillAll(); }

  DaemonGuard guard_;
  TestDisplay x_;
  int port_ = 0;
};

// A Unix socket at the run-once path: bound only (a crashed instance's), or sending raw words.
bool UnixSocket(bool connectAndSend, const std::vector<int32_t>& words = {})
{
  LUniqueFD fd(socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, (Home() + "/.Velorin.runonce").c_str(), sizeof address.sun_path - 1);
  auto* a = reinterpret_cast<sockaddr*>(&address);
  if (!connectAndSend)
    return bind(fd.Get(), a, sizeof address) == 0;
  const auto size = static_cast<ssize_t>(words.size() * sizeof(int32_t));
  return connect(fd.Get(), a, sizeof address) == 0 && write(fd.Get(), words.data(), static_cast<size_t>(size)) == size;
}

TEST_F(Desktop, SecondStartForwardsItsArgumentsAndOnlyAnEmptyListPresentsTheWindow)
{
  ASSERT_TRUE(UnixSocket(false)) << "a stale socket file does not stop the start";
  // The first start of a program the installer did not install adds its menu entry.
  LSettingSet(VLKeys::Installed, false);
  pid_t first = StartDesktop({});
  Window main = x_.Wait("Velorin");
  ASSERT_NE(main, 0u);
  EXPECT_TRUE(LSettingGet(VLKeys::Installed));
  EXPECT_TRUE(Exists("/usr/share/applications/desktop/velorin.desktop"));
  x_.SendDelete(main);
  ASSERT_TRUE(WaitUntil([&] { return !x_.IsShown(main); }));
  // Hiding stores the geometry it was restored with (the defaults here).
  for (auto [key, value] : {std::pair{"X", 160}, {"Y", 80}, {"Width", 300}, {"Height", 250}})
    EXPECT_EQ(LUserSettingGetInt("MainWindow", key, -1), value) << key;

  EXPECT_EQ(guard_.WaitExit(StartDesktop({"-logon", "extra"}), 60000), 0);
  // Malformed messages are dropped with a warning each, after the forwarded arguments.
  for (const std::vector<int32_t>& words : std::vector<std::vector<int32_t>>{
           {-1}, {LRunOnceSocket::kMaxArguments + 1}, {2, 4}, {1, 1 << 30}})  // negative, too many, short, too long
    ASSERT_TRUE(UnixSocket(true, words));
  ASSERT_TRUE(WaitUntil([] {
    auto texts = LogFileTexts();
    return std::count(texts.begin(), texts.end(), "Dropped a malformed message from a second start") == 4;
  }));
  EXPECT_FALSE(x_.IsShown(main)) << "forwarded arguments must not present the window";
  // Without arguments the first instance comes to the front.
  EXPECT_EQ(guard_.WaitExit(StartDesktop({}), 60000), 0);
  EXPECT_TRUE(WaitUntil([&] { return x_.IsShown(main); }));
  EXPECT_EQ(guard_.WaitExit(first, 0), -1) << "the first instance must keep running";
}

TEST_F(Desktop, ProgramNamedSetupOpensNothing)
{
  const std::string link = Home() + "/velorin-setup";
  ASSERT_EQ(symlink(VelorinBinary().c_str(), link.c_str()), 0);
  EXPECT_EQ(guard_.WaitExit(StartDesktop({}, link), 60000), 0);
  EXPECT_TRUE(x_.Viewable("Velorin").empty());
  EXPECT_FALSE(LogHas("Starting web server")) << "no engine may start";
  // The settings stores are built before main: the per-user folder exists.
  EXPECT_TRUE(Exists(Home() + "/.ostrel/velorin"));
}

// -logon waits 9 s for a service started at boot, and only then.
TEST_F(Desktop, LogonDelaysTheWindowOnlyWhenTheServiceStartsAtBoot)
{
  for (bool enabled : {true, false}) {
    SCOPED_TRACE(enabled ? "service enabled" : "service not enabled");
    LSettingSetBool("Service", "Enabled", enabled);
    auto start = std::chrono::steady_clock::now();
    pid_t desktop = StartDesktop({"-logon"});
    ASSERT_NE(x_.Wait("Velorin"), 0u);
    if (enabled) {
      EXPECT_GE(MsSince(start), 9000);
    } else {
      EXPECT_LT(MsSince(start), 9000);
    }
    kill(desktop, SIGKILL);
    guard_.WaitExit(desktop, 60000);
    ASSERT_TRUE(WaitUntil([&] { return x_.Viewable("Velorin").empty(); }));
  }
}

// The test notification area as a child whose report lines we read.
class TestTray {
public:
  TestTray() { EXPECT_TRUE(child_.Start({VELORIN_BINARY_DIR "/tests/gui/velorin-testtray"})); }
  // The next report line, waiting for it; "" when none came.
  std::string NextLine()
  {
    WaitUntil([&] {
      pollfd p{child_.Out(), POLLIN, 0};
      char chunk[256] = {};
      ssize_t n =
          buffer_.find('\n') == std::string::npos && poll(&p, 1, 100) == 1 ? read(p.fd, chunk, sizeof chunk) : 0;
      buffer_.append(chunk, static_cast<size_t>(std::max<ssize_t>(n, 0)));
      return buffer_.find('\n') != std::string::npos || n < 0;
    });
    const size_t end = buffer_.find('\n');
    std::string line = end == std::string::npos ? "" : buffer_.substr(0, end);
    buffer_.erase(0, end == std::string::npos ? buffer_.size() : end + 1);
    return line;
  }

private:
  LChild child_;
  std::string buffer_;
};

class Tray : public Desktop {
protected:
  // The icon sits at (600, 10) in the test tray, 24 x 24.
  static void ClickIcon(int button) { Xdotool("mousemove 612 22 click " + std::to_string(button)); }

  // "Confirm Stop", opened by the tray menu's "E_xit (Stop Server)" mnemonic.
  Window OpenConfirmStop(Window main)
  {
    size_t popups = x_.Viewable("", true).size();
    ClickIcon(3);
    if (!WaitUntil([&] { return x_.Viewable("", true).size() > popups; }))
      return 0;
    Xdotool("key x");
    Window box = x_.Wait("Velorin", main);
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
  Window main = x_.Wait("Velorin");
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

  // Cancel: nothing happens.  Yes: the window hides, the server goes on.
  Window box = OpenConfirmStop(main);
  ASSERT_NE(box, 0u);
  Xdotool("key Escape");
  ASSERT_TRUE(WaitUntil([&] { return !x_.IsShown(box); }));
  EXPECT_TRUE(x_.IsShown(main));
  ASSERT_NE(OpenConfirmStop(main), 0u);
  Xdotool("key alt+y");
  ASSERT_TRUE(WaitUntil([&] { return !x_.IsShown(main); }));
  EXPECT_EQ(guard_.WaitExit(desktop, 0), -1);
  sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port_)), {htonl(INADDR_LOOPBACK)}, {}};
  LUniqueFD web(socket(AF_INET, SOCK_STREAM, 0));
  EXPECT_EQ(connect(web.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << "the server goes on";
  // No: the service is stopped and the program quits.
  ASSERT_NE(OpenConfirmStop(main), 0u);
  Xdotool("key alt+n");
  int status = guard_.WaitExit(desktop, 60000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadWhole(DesktopErrorsPath());
}

// Ctrl+S opens the settings; Cancel still restarts the engine (the web
// server too after a port change).  A tray id up to 1000 is kept.
TEST_F(Tray, CancelledSettingsDialogStillRestartsTheEngine)
{
  LSettingSetInt("Settings", "TrayID", 5);
  pid_t desktop = StartDesktop({});
  Window main = x_.Wait("Velorin");
  ASSERT_NE(main, 0u);
  EXPECT_EQ(LSettingGetInt("Settings", "TrayID", -1), 5) << "a tray id up to 1000 is kept";
  ASSERT_TRUE(WaitUntil([] { return LogHas("Starting web server"); }));
  LSettingSetInt("WebServer", "Port", PickFreePort());
  Xdotool("windowfocus --sync " + std::to_string(main));
  Xdotool("key ctrl+s");
  Window sheet = x_.Wait("Velorin Settings");
  ASSERT_NE(sheet, 0u);
  Xdotool("windowfocus --sync " + std::to_string(sheet));
  Xdotool("key Escape");
  EXPECT_TRUE(WaitUntil([] {
    return InOrder(LogFileTexts(), {"Restarting web server", "Restarting server", "Restarting audio input"});
  })) << ReadWhole(DesktopErrorsPath());
  EXPECT_FALSE(x_.IsShown(sheet));
  EXPECT_EQ(guard_.WaitExit(desktop, 0), -1);
}

}  // namespace
