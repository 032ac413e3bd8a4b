#include "common/stopsignals.h"

#include <csignal>
#include <initializer_list>

namespace {

volatile sig_atomic_t gStopRequested = 0;

void OnStopSignal(int) { gStopRequested = 1; }

}  // namespace

void InstallStopSignals() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);

  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  // Likewise a file size limit shows up as EFBIG, and the half-written
  // file can still be removed.
  sigaction(SIGXFSZ, &ignore, nullptr);
}

bool StopRequested() { return gStopRequested != 0; }
