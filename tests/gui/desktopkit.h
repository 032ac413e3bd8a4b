#pragma once
// Running the real desktop application on the test's virtual display:
// settings that keep it quiet and fast, starting it, and looking at its
// windows through Xlib.

#include "base/uniquefd.h"
#include "integration/daemon.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>

// Settings for a desktop run: no live input (no sound card here), a free
// web port already "announced" (no first-start message box), and the
// service not enabled.  Returns the web port.
inline int PrepareDesktopSettings()
{
  const int port = PickFreePort();
  LSettingSetInt("Live", "Sources", 0);
  LSettingSetInt("WebServer", "Port", port);
  LSettingSetInt("WebAccess", "PreviousServerPort", LSettingGetInt("WebAccess", "ServerPort", 85));
  LSettingSetBool("Service", "Enabled", false);
  return port;
}

inline std::string DesktopErrorsPath() { return std::string(std::getenv("HOME")) + "/desktop.err"; }

// What the programs started here wrote to standard error (sanitizer
// reports among them), for a failing test's message.
inline std::string DesktopErrors()
{
  std::ifstream in(DesktopErrorsPath());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Starts the program in the background with the test's environment
// (DISPLAY included); its standard output goes to /dev/null, its standard
// error to DesktopErrorsPath().
inline pid_t StartDesktop(const std::vector<std::string>& args, const std::string& argv0 = VelorinBinary())
{
  std::vector<std::string> all{argv0};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    int errors = open(DesktopErrorsPath().c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(null, STDOUT_FILENO);
    dup2(errors, STDERR_FILENO);
    execve(VelorinBinary().c_str(), argv.data(), environ);
    _exit(127);
  }
  return pid;
}

// Polls every 20 ms until the condition holds or ms have passed.
inline bool WaitUntil(const std::function<bool()>& condition, int ms = 60000)
{
  auto start = std::chrono::steady_clock::now();
  do {
    if (condition())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (MsSince(start) < ms);
  return condition();
}

inline bool LogHas(const std::string& text)
{
  auto texts = LogFileTexts();
  return std::find(texts.begin(), texts.end(), text) != texts.end();
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
    std::string text;
    if (XFetchName(display_, w, &name) != 0 && name != nullptr) {
      text = name;
      XFree(name);
    }
    return text;
  }

  bool IsShown(Window w) const
  {
    XWindowAttributes a;
    return XGetWindowAttributes(display_, w, &a) != 0 && a.map_state == IsViewable;
  }

  // Viewable children of the root window (no window manager: the top-level
  // windows) named `name`; with overrideRedirect, the viewable pop-ups
  // (menus) instead, whatever their name.
  std::vector<Window> Viewable(const std::string& name, bool overrideRedirect = false) const
  {
    std::vector<Window> found;
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count) == 0)
      return found;
    for (unsigned int i = 0; i < count; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(display_, children[i], &a) == 0 || a.map_state != IsViewable)
        continue;
      if (overrideRedirect ? a.override_redirect != 0 : (!a.override_redirect && Name(children[i]) == name))
        found.push_back(children[i]);
    }
    if (children != nullptr)
      XFree(children);
    return found;
  }

  // Asks the window to close, as a window manager's close button does.
  void SendDelete(Window w) const
  {
    XEvent ev = {};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, w, False, NoEventMask, &ev);
    XFlush(display_);
  }

private:
  Display* display_;
};

// The one viewable main window ("Velorin"), waiting for it; 0 if none.
inline Window WaitMainWindow(const TestDisplay& x, int ms = 60000)
{
  Window found = 0;
  WaitUntil(
      [&] {
        auto w = x.Viewable("Velorin");
        found = w.size() == 1 ? w[0] : 0;
        return found != 0;
      },
      ms);
  return found;
}

inline int Xdotool(const std::string& arguments) { return std::system(("xdotool " + arguments).c_str()); }

// The real program on the test display, with settings of its own; whatever
// it started is ended after each test.
class DesktopTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_NE(x_.Get(), nullptr);
    port_ = PrepareDesktopSettings();
  }
  void TearDown() override { guard_.KillAll(); }

  DaemonGuard guard_;
  TestDisplay x_;
  int port_ = 0;
};
