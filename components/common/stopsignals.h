#pragma once
#include <csignal>

// Makes SIGINT, SIGTERM and SIGHUP end the process with exit status 1
// after removing the files registered with RemoveOnStop, so that a stopped
// component leaves nothing half written.  The handler does the removal
// itself (unlink and _exit are safe there), so a stop is honoured whatever
// the program is blocked in.  SIGPIPE and SIGXFSZ are ignored: a vanished
// reader and a file size limit show up as EPIPE and EFBIG on write.
void InstallStopSignals();

// Holds the stop signals back while it lives, so that creating a file and
// registering it for removal happen as one step.
class LStopSignalsHeld {
public:
  LStopSignalsHeld();
  ~LStopSignalsHeld();
  LStopSignalsHeld(const LStopSignalsHeld&) = delete;
  LStopSignalsHeld& operator=(const LStopSignalsHeld&) = delete;

private:
  sigset_t previous_;
};

// Registers path in slot 0 or 1 for removal on a stop signal (null
// clears the slot).  Paths longer than 4095 bytes are not registered.
void RemoveOnStop(int slot, const char* path);
