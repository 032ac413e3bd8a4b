#pragma once
// The streaming site: a weblet server with the site's pages (the
// information page, playlists, feeds, streams and recordings, the ASX
// banner, the listening page and the status figures).  Every other path is
// a static file from the SessionData folder.  The site keeps no state but
// the banner counter and its figures: every page reads the settings store
// each time it runs, so only a new port needs a restart.
#include <atomic>

#include "web/weblet.h"

// Raised by every Start and put into the ASX banner's URL (key "id"), so
// that players fetch the banner again after the server restarts.  Written
// on the engine's thread, read by the playlist pages.
extern std::atomic<int> gVLBannerCounter;

// Start, Stop and Restart are called on the engine's thread, one at a time;
// none reports a result (a port in use shows in the log while the listener
// retries).
class LVLServer : public LWebletServer {
public:
  LVLServer() = default;

  // Raises the banner counter, records the configured port and starts the
  // listener on it.  Returns once the listener thread runs.
  void Start();
  // Stops the listener and every connection, live streams included (those
  // parked with a queue's fan-out through the audio engine).
  void Stop();
  // Stop and Start, only when the configured port differs from the one the
  // server was last started on.
  void Restart();

  // The port of the last Start, 0 before the first.
  unsigned short GetStartedPort() const { return startedPort_; }

private:
  unsigned short startedPort_ = 0;
};
