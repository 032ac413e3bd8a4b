#include "app/commandline.h"
#include "app/installconsole.h"
#include "app/runmode.h"
#include "app/startservice.h"
#include "base/filelimit.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

// Entry point: decides the role from the command line and the display.
// The desktop and the wizards are not part of this build yet; their roles
// say so and end with status 2.

namespace {

constexpr int kNotAvailable = 2;

int RunService()
{
  StartService();
}

// 0 installed, 1 the terms were declined (or no release folder).
int RunInstall() { return RunInstallConsole() ? 0 : 1; }

// A failed uninstall (the service could not be stopped) is not reported as
// success.
int RunUninstall() { return UninstallConsole() ? 0 : 1; }

// What the toolkit does when it cannot open a display: say so and end.
int RunNoDisplay()
{
  std::fputs("Velorin: cannot open display (DISPLAY is not set).\n", stderr);
  return 1;
}

int RunDesktop()
{
  std::fputs("Velorin: the desktop application is not available in this build; run with -service for the "
             "background service.\n",
             stderr);
  return kNotAvailable;
}

int RunSetupExit() { return 0; }

struct LRunModeEntry {
  LRunMode mode;
  int (*run)();
};

constexpr LRunModeEntry kRunModes[] = {
    {LRunMode::Service, &RunService},
    {LRunMode::InstallConsole, &RunInstall},
    {LRunMode::UninstallConsole, &RunUninstall},
    {LRunMode::NoDisplay, &RunNoDisplay},
    {LRunMode::InstallWizard, &RunDesktop},
    {LRunMode::UninstallWizard, &RunDesktop},
    {LRunMode::SetupExit, &RunSetupExit},
    {LRunMode::Desktop, &RunDesktop},
};

} // namespace

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

  const LRunMode mode = LChooseRunMode(argc, argv, std::getenv("DISPLAY") != nullptr);
  for (const LRunModeEntry& entry : kRunModes)
    if (entry.mode == mode)
      return entry.run();
  return 1;
}
