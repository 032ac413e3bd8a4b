#include "app/commandline.h"
#include "app/installconsole.h"
#include "app/runmode.h"
#include "app/startservice.h"
#include "base/filelimit.h"
#include "gui/desktop.h"
#include "settings/settingssectionlist.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <sys/stat.h>

// Entry point: decides the role from the command line and the display.

namespace {

// The two settings stores are built before main, so their folders (the
// per-user one among them) exist from the start of every run.
const bool gStoresBuilt = (LSharedSettingsStore(), LUserSettingsStore(), true);

int RunService(LRunMode, int, char**)
{
  StartService();
}

// 0 installed, 1 the terms were declined (or no release folder).
int RunInstall(LRunMode, int, char**)
{
  return RunInstallConsole() ? 0 : 1;
}

// A failed uninstall (the service could not be stopped) is not reported as
// success.
int RunUninstall(LRunMode, int, char**)
{
  return UninstallConsole() ? 0 : 1;
}

// What the toolkit does when it cannot open a display: say so and end.
int RunNoDisplay(LRunMode, int, char**)
{
  std::fputs("Velorin: cannot open display (DISPLAY is not set).\n", stderr);
  return 1;
}

int RunDesktop(LRunMode mode, int argc, char** argv)
{
  return RunDesktopApplication(mode, argc, argv);
}

struct LRunModeEntry {
  LRunMode mode;
  int (*run)(LRunMode, int, char**);
};

constexpr LRunModeEntry kRunModes[] = {
    {LRunMode::Service, &RunService},
    {LRunMode::InstallConsole, &RunInstall},
    {LRunMode::UninstallConsole, &RunUninstall},
    {LRunMode::NoDisplay, &RunNoDisplay},
    {LRunMode::InstallWizard, &RunDesktop},
    {LRunMode::UninstallWizard, &RunDesktop},
    {LRunMode::SetupExit, &RunDesktop},
    {LRunMode::Desktop, &RunDesktop},
};

}  // namespace

int main(int argc, char** argv)
{
  LSetCommandLine(argc, argv);
  // Nothing stays blocked from whoever started us.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // Files get exactly the modes asked for: the root service and the desktop
  // users share settings and logs.
  umask(0);
  LRaiseOpenFileLimit();
  // Each connection has a short-lived thread; with the C library's default
  // of up to eight heaps per core, every rare moment with more of them at
  // once leaves one more heap resident for good, and a long-running
  // service creeps upward.  Two heaps keep its memory flat.
  mallopt(M_ARENA_MAX, 2);

  const LRunMode mode = LChooseRunMode(argc, argv, std::getenv("DISPLAY") != nullptr);
  for (const LRunModeEntry& entry : kRunModes)
    if (entry.mode == mode)
      return entry.run(mode, argc, argv);
  return 1;
}
