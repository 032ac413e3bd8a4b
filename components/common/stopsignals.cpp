#include "common/stopsignals.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

#include "common/report.h"

namespace {

constexpr int kSlots = 2;
constexpr size_t kPathBytes = 4096;

// Written only with the stop signals blocked, so the handler never sees a
// half-copied path.
char gRemoveOnStop[kSlots][kPathBytes];
char gStopMessage[256];
size_t gStopMessageLength = 0;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnStopSignal(int)
{
  for (const char* path : gRemoveOnStop) {
    if (path[0] != '\0')
      ::unlink(path);
  }
  ssize_t ignored = ::write(2, gStopMessage, gStopMessageLength);
  (void)ignored;
  ::_exit(1);
}

sigset_t StopSignalSet()
{
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals)
    sigaddset(&set, signal);
  return set;
}

}  // namespace

void InstallStopSignals()
{
  int length = std::snprintf(gStopMessage, sizeof gStopMessage, "%s: stopped by a signal\n", ProgramName());
  gStopMessageLength = length > 0 ? std::strlen(gStopMessage) : 0;

  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  action.sa_mask = StopSignalSet();
  for (int signal : kStopSignals)
    sigaction(signal, &action, nullptr);

  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int signal : {SIGPIPE, SIGXFSZ})
    sigaction(signal, &ignore, nullptr);
}

LStopSignalsHeld::LStopSignalsHeld()
{
  sigset_t stops = StopSignalSet();
  sigprocmask(SIG_BLOCK, &stops, &previous_);
}

LStopSignalsHeld::~LStopSignalsHeld()
{
  sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

void RemoveOnStop(int slot, const char* path)
{
  if (slot < 0 || slot >= kSlots)
    return;
  LStopSignalsHeld held;
  if (path != nullptr && std::strlen(path) < kPathBytes) {
    std::strcpy(gRemoveOnStop[slot], path);
  } else {
    gRemoveOnStop[slot][0] = '\0';
  }
}
