#pragma once
// The audio engine: eight streaming sources, built idle with the engine
// and kept for its whole life, so a queue pointer handed to a listener
// stays valid as long as the engine exists.  Sources are numbered 0..7
// here and 1..8 in settings, names and requests.
#include <atomic>

#include "audio/audiostreamingsource.h"

class LAudioEngine {
public:
  static constexpr unsigned int kMaxSources = 8;

  LAudioEngine() = default;
  // Sources are destroyed from the last to the first, each stopping.
  ~LAudioEngine() = default;

  LAudioEngine(const LAudioEngine&) = delete;
  LAudioEngine& operator=(const LAudioEngine&) = delete;

  // Engine control thread; never concurrent with each other.
  // Starts sources 0 .. count - 1 for the configured count (above 8, or
  // negative, means 8).
  void Start();
  // Stops all eight sources, running or not.
  void Stop();
  // Ends every live listener's stream; the sources go on.
  void EndListenerStreams();
  void Restart();

  // Web connection threads, no lock: the queue of source `index` for kbps,
  // or null for an index above 7.
  LAudioQueue* GetAudioQueue(unsigned int index, int kbps);

  // Engine control thread (and tests).
  LAudioStreamingSource& GetSource(unsigned int index) { return sources_[index % kMaxSources]; }

private:
  LAudioStreamingSource sources_[kMaxSources];
};

// The running audio engine, or null: set by engine control right after
// Start returns and cleared right before Stop; read by the stream handler.
extern std::atomic<LAudioEngine*> gpAudioEngine;

// Display name of source number n (from 1): the setting "Name<n>" of
// section Live, or "Velorin Live <n>" when that is empty (260 bytes).
void LAudioGetSourceDisplayName(int number, char* name);
