#pragma once
// The site's own figures for the status pages: when the server first
// started and how often each recording was downloaded.  Live listener
// figures are kept by the encoder queues (LListenerStats).
#include <cstdint>
#include <ctime>

// Engine thread: the first call stores the time; later calls keep it.
void LSiteMarkStarted();
// Seconds since 1970 of the first start, 0 before it (any thread).
time_t LSiteGetStartTime();

// Connection threads: one download of the recording `name` was sent (an
// answer that starts at its first byte, whole or ranged, sent to its
// end).  Takes a lock: downloads are rare next to stream sends.
void LSiteCountDownload(const char* name);
// Downloads of the recording `name` so far, both rates together.
uint64_t LSiteGetDownloads(const char* name);
