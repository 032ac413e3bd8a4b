// The real executable on the virtual display, its tray icon docked in testtray.cpp.
#include "gui/runonce.h"
#include "integration/kit.h"

#include <X11/Xlib.h>
#include <netinet/in.h>
#include <sys/un.h>

namespace {

const auto Errors = [] { return ReadWhole(std::string(std::getenv("HOME")) + "/desktop.err"); };
const auto Xdotool = [](const std::string& arguments) { return std::system(("xdotool " + arguments).c_str()); };
// The icon sits at (600, 10) in the test tray, 24 x 24.
const auto ClickIcon = [](int button) { Xdotool("mousemove 612 22 click " + std::to_string(button)); };

// The program in the background; its errors go to ~/desktop.err.
pid_t StartDesktop(const std::string& args)
{
  const pid_t pid = fork();
  if (pid == 0)
    execl("/bin/sh", "sh", "-c", ("exec " + VelorinBinary() + args + " >/dev/null 2>>\"$HOME/desktop.err\"").c_str(),
          nullptr),
        _exit(127);
  return pid;
}

// No live input, a free web port already announced (no first-start box), no service; no window
// manager: windows come and go between looks, not an error.
class Desktop : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_NE(x_.get(), nullptr);
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    port_ = PickFreePort();
    LSettingSetInt("Live", "Sources", 0);
    LSettingSetInt("WebServer", "Port", port_);
    LSettingSetInt("WebAccess", "PreviousServerPort", LSettingGetInt("WebAccess", "ServerPort", 85));
    LSettingSetBool("Service", "Enabled", false);
  }
  void TearDown() override { guard_.KillAll(); }

  bool IsShown(Window w) const
  {
    XWindowAttributes a;
    return XGetWindowAttributes(x_.get(), w, &a) != 0 && a.map_state == IsViewable;
  }
  // Viewable top-levels named `name` other than `except`; for "" the pop-ups (menus).
  std::vector<Window> Viewable(const std::string& name, Window except = 0) const
  {
    std::vector<Window> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(x_.get(), DefaultRootWindow(x_.get()), &root, &parent, &children, &count);
    for (unsigned int i = 0; i < count; ++i) {
      XWindowAttributes a;
      char* title = nullptr;
      const bool named = XFetchName(x_.get(), children[i], &title) != 0 && title != nullptr && name == title;
      if (XGetWindowAttributes(x_.get(), children[i], &a) != 0 && a.map_state == IsViewable && children[i] != except &&
          (name.empty() ? a.override_redirect != 0 : !a.override_redirect && named))
        found.push_back(children[i]);
      XFree(title);
    }
    XFree(children);
    return found;
  }
  // Waits for such a window; 0 if none.
  Window Wait(const std::string& name, Window except = 0) const
  {
    std::vector<Window> v;
    return WaitUntil([&] { return !(v = Viewable(name, except)).empty(); }) ? v[0] : 0;
  }
  // As a window manager's close button: the program hides the window.
  bool Hide(Window w) const
  {
    XEvent ev = {};
    const long del = static_cast<long>(XInternAtom(x_.get(), "WM_DELETE_WINDOW", False));
    ev.xclient = {ClientMessage, 0, False, x_.get(), w, XInternAtom(x_.get(), "WM_PROTOCOLS", False), 32, {.l = {del}}};
    XSendEvent(x_.get(), w, False, NoEventMask, &ev);
    XFlush(x_.get());
    return WaitUntil([&] { return !IsShown(w); });
  }

  DaemonGuard guard_;
  std::unique_ptr<Display, int (*)(Display*)> x_{XOpenDisplay(nullptr), XCloseDisplay};
  int port_ = 0;
};

// A Unix socket at the run-once path: bound only (a crashed instance's), or sending raw words.
bool RunOnceSocket(bool connectAndSend, const std::vector<int32_t>& words = {})
{
  LUniqueFD fd(socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un address{AF_UNIX, {}};
  std::strncpy(address.sun_path, (std::string(std::getenv("HOME")) + "/.Velorin.runonce").c_str(), 100);
  auto* a = reinterpret_cast<sockaddr*>(&address);
  if (!connectAndSend)
    return bind(fd.Get(), a, sizeof address) == 0;
  const auto size = static_cast<ssize_t>(words.size() * sizeof(int32_t));
  return connect(fd.Get(), a, sizeof address) == 0 && write(fd.Get(), words.data(), static_cast<size_t>(size)) == size;
}

TEST_F(Desktop, TrayIconSecondStartsSettingsAndConfirmStop)
{
  ASSERT_TRUE(RunOnceSocket(false)) << "a stale socket file does not stop the start";
  LSettingSet(VLKeys::Installed, false);
  LSettingSetInt("Settings", "TrayID", 1001);
  LChild tray;
  ASSERT_TRUE(tray.Start({VELORIN_BINARY_DIR "/tests/gui/velorin-testtray"}));
  pid_t desktop = StartDesktop("");
  Window main = Wait("Velorin");
  ASSERT_NE(main, 0u);
  // A first start not after an install adds the menu entry.
  EXPECT_TRUE(LSettingGet(VLKeys::Installed));
  EXPECT_TRUE(Exists("/usr/share/applications/desktop/velorin.desktop"));
  EXPECT_EQ(LSettingGetInt("Settings", "TrayID", -1), 0) << "a tray id above 1000 starts again at 0";
  // Docked by the system tray protocol: request, XEMBED, mapped.
  std::string report;
  WaitUntil([&] {
    char chunk[256];
    pollfd p{tray.Out(), POLLIN, 0};
    const ssize_t n = poll(&p, 1, 100) == 1 ? read(p.fd, chunk, sizeof chunk) : 0;
    report.append(chunk, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    return report.find('\n', report.find("mapped")) != std::string::npos || n < 0;
  });
  unsigned long icon = 0, mapped = 0;
  ASSERT_EQ(std::sscanf(report.c_str(), "dock %lu\nmapped %lu\n", &icon, &mapped), 2) << report;
  EXPECT_EQ(mapped, icon);

  // Ctrl+S: the settings; Cancel still restarts the engine, the web server too after a port change.
  ASSERT_TRUE(WaitUntil([] { return LogHas("Starting web server"); }));
  LSettingSetInt("WebServer", "Port", port_ = PickFreePort());
  Xdotool("windowfocus --sync " + std::to_string(main) + " key ctrl+s");
  Window sheet = Wait("Velorin Settings");
  ASSERT_NE(sheet, 0u);
  Xdotool("windowfocus --sync " + std::to_string(sheet) + " key Escape");
  EXPECT_TRUE(WaitUntil([] {
    return InOrder(LogFileTexts(), {"Restarting web server", "Restarting server", "Restarting audio input"});
  })) << Errors();
  EXPECT_TRUE(WaitUntil([&] { return !IsShown(sheet); }));

  // A second start forwards its arguments and ends; only an empty list presents the window.
  ASSERT_TRUE(Hide(main));
  EXPECT_EQ(guard_.WaitExit(StartDesktop(" -logon extra"), 60000), 0);
  // Negative, too many, short, too long: each dropped with a warning.
  const int32_t tooMany = LRunOnceSocket::kMaxArguments + 1;
  for (const std::vector<int32_t>& words : std::vector<std::vector<int32_t>>{{-1}, {tooMany}, {2, 4}, {1, 1 << 30}})
    ASSERT_TRUE(RunOnceSocket(true, words));
  const std::string dropped = "Dropped a malformed message from a second start";
  ASSERT_TRUE(WaitUntil([&] { return std::ranges::count(LogFileTexts(), dropped) == 4; }));
  EXPECT_FALSE(IsShown(main)) << "forwarded arguments must not present the window";
  EXPECT_EQ(guard_.WaitExit(StartDesktop(""), 60000), 0);
  EXPECT_TRUE(WaitUntil([&] { return IsShown(main); }));
  // A left click on the icon presents the hidden window.
  ASSERT_TRUE(Hide(main));
  ClickIcon(1);
  ASSERT_TRUE(WaitUntil([&] { return IsShown(main); }));

  // "Confirm Stop", opened by the tray menu's "E_xit (Stop Server)" mnemonic.
  auto confirmStop = [&] {
    const size_t popups = Viewable("").size();
    ClickIcon(3);
    Window box =
        WaitUntil([&] { return Viewable("").size() > popups; }) ? (Xdotool("key x"), Wait("Velorin", main)) : 0;
    if (box != 0)
      Xdotool("windowfocus --sync " + std::to_string(box));
    return box;
  };
  // Cancel: nothing.  Yes: the window hides, the server goes on.  No: the program quits.
  Window box = confirmStop();
  ASSERT_NE(box, 0u);
  Xdotool("key Escape");
  ASSERT_TRUE(WaitUntil([&] { return !IsShown(box); }));
  EXPECT_TRUE(IsShown(main));
  ASSERT_NE(confirmStop(), 0u);
  Xdotool("key alt+y");
  ASSERT_TRUE(WaitUntil([&] { return !IsShown(main); }));
  EXPECT_EQ(guard_.WaitExit(desktop, 0), -1);
  sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port_)), {htonl(INADDR_LOOPBACK)}, {}};
  LUniqueFD web(socket(AF_INET, SOCK_STREAM, 0));
  EXPECT_EQ(connect(web.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << "the server goes on";
  ASSERT_NE(confirmStop(), 0u);
  Xdotool("key alt+n");
  const int status = guard_.WaitExit(desktop, 60000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Errors();
}

}  // namespace
