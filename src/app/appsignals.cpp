#include "app/appsignals.h"

#include "app/messagebox.h"
#include "net/processcommand.h"
#include "settings/settings.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

std::atomic<bool> gAppIsRunningAsService{false};
std::atomic<bool> bLLibExceptionAlreadyTrapped{false};

namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "signal handlers need lock-free flags");

// Created once, never destroyed: the handler may write to it at any time.
LSignalObject* gServiceTermSignal = nullptr;

// Where a user who agrees to report a crash is sent.
constexpr const char* kBugReportAddress = "https://velorin.example/bugreport";

void SetHandler(int signal, void (*handler)(int))
{
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

// Installs the crash handler before main runs.
struct LCrashSignalInstaller {
  LCrashSignalInstaller()
  {
    for (int signal : kCrashSignals)
      SetHandler(signal, &LDebugSignalHandler);
  }
} gCrashSignalInstaller;

}  // namespace

void LDebugSignalHandler(int signal)
{
  SetHandler(signal, SIG_IGN);
  if (gAppIsRunningAsService.load()) {
    LSettingSet(VLKeys::ErrorsException, signal);
    bLLibExceptionAlreadyTrapped.store(true);
  }
  if (!bLLibExceptionAlreadyTrapped.exchange(true)) {
    char primary[260];
    std::snprintf(primary, sizeof primary,
                  "Velorin has crashed with an abnormal signal. Would you be willing to fill in a bug report on "
                  "our web site? Code: SIGNAL%d",
                  signal);
    if (PopupBoxQueryYes(nullptr, primary, "Abnormal Signal Crash")) {
      char command[512];
      std::snprintf(command, sizeof command, "xdg-open '%s' >/dev/null 2>&1 &", kBugReportAddress);
      RunCommandLineProcess(command);
    }
  }
  SetHandler(signal, SIG_DFL);
  raise(signal);
}

void LServiceTermSignalHandler(int)
{
  const int saved = errno;
  if (gServiceTermSignal != nullptr)
    gServiceTermSignal->Signal();
  errno = saved;
}

void LInstallServiceTermSignalHandler()
{
  if (gServiceTermSignal == nullptr)
    gServiceTermSignal = new LSignalObject;
  SetHandler(SIGTERM, &LServiceTermSignalHandler);
}

LSignalObjectRef LServiceTermSignal()
{
  return gServiceTermSignal != nullptr ? gServiceTermSignal->GetRef() : LSignalObjectRef();
}

void LIgnoreServiceTermSignal()
{
  SetHandler(SIGTERM, SIG_IGN);
}
