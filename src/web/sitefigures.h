#pragma once
// The figures the status pages show, gathered on the request's thread from
// the running audio engine (no lock) and the site's own counters.
#include <cstdint>
#include <ctime>

#include "base/stringtools.h"

struct LSiteRateFigures {
  int kbps = 0;
  int listeners = 0;  // now
  int peak = 0;       // most at once since the program started
  uint64_t bytesSent = 0;
  bool encoderRunning = false;
};

struct LSiteInputFigures {
  int number = 0;  // from 1
  char name[kPathSize] = "";
  // Broadband, then dial-up.
  LSiteRateFigures rates[2];
};

// Inputs 1 .. Live/Sources (at most the engine's eight).  Without a running
// engine the rates are the configured ones and every count is 0.  Returns
// the number filled.
int LSiteGatherInputs(LSiteInputFigures (&inputs)[8]);

// Whether the figures may be shown to the peer of socket: one on the
// server's own machine (127.0.0.1 or ::1), or anyone when
// WebAccess/PublicStatus is set.
bool LSiteStatusAllowed(int socket);

// The version the footer and the feeds name.
inline constexpr const char* kSiteVersion = "1.01";
