#pragma once
#include "base/signalobject.h"

#include <atomic>

// Set by StartService before the service engine is built; the crash handler
// records crashes of the service in the shared settings.
extern std::atomic<bool> gAppIsRunningAsService;
// Set once a crash has been dealt with, so the user is asked at most once.
extern std::atomic<bool> bLLibExceptionAlreadyTrapped;

// The crash signals: 4, 10 and 11 (SIGILL, SIGUSR1, SIGSEGV).  Their handler
// is installed before main by a static object of appsignals.cpp.
inline constexpr int kCrashSignals[] = {4, 10, 11};

// Crash handler: records the signal (service) or asks the user to report it
// (desktop), then ends the process with the signal's default action.
void LDebugSignalHandler(int signal);

// SIGTERM in the service: sets the termination signal that the service's
// wait loop watches.  It touches only objects that live as long as the
// process (an atomic flag and a pipe that is never closed), so it is
// async-signal-safe and cannot meet a service engine being destroyed; a
// SIGTERM that arrives while the service is still starting stays set.
void LServiceTermSignalHandler(int signal);
// Creates the termination signal, then installs the handler.
void LInstallServiceTermSignalHandler();
// Set once SIGTERM has arrived.
LSignalObjectRef LServiceTermSignal();
// Before exit: later SIGTERMs are ignored.
void LIgnoreServiceTermSignal();
