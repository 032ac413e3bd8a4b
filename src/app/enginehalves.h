#pragma once
#include <memory>

class LAudioEngine;

// The two halves MainEngine drives: the live audio input and the streaming
// web server.  None of the operations returns a result; failures are
// logged by the halves themselves.  All are called on the engine's
// controlling thread, one at a time.
class LEngineHalf {
public:
  virtual ~LEngineHalf() = default;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  // Audio: a full stop and start.  Web: a stop and start only when the
  // configured port differs from the one the server runs on.
  virtual void Restart() = 0;
};

class LEngineAudioHalf : public LEngineHalf {
public:
  // The audio engine the web pages reach through gpAudioEngine while it
  // runs; null when this half has none.
  virtual LAudioEngine* GetAudioEngine() = 0;
};

class LEngineWebHalf : public LEngineHalf {};

// The halves the program runs with.
std::unique_ptr<LEngineAudioHalf> MakeEngineAudioHalf();
std::unique_ptr<LEngineWebHalf> MakeEngineWebHalf();
