#pragma once
#include "app/backgroundengine.h"
#include "app/enginehalves.h"

#include <atomic>
#include <memory>

// The running audio engine, null while the audio input is stopped.  Written
// by the engine's controlling thread, read by web server threads.
extern std::atomic<LAudioEngine*> gpAudioEngine;

// Engine control codes.
enum : unsigned int { kEngineCtlRestart = 1 };

// The streaming engine: the audio input and the web server.  The audio input
// starts before the web server and stops after it, so a listener never
// reaches a page whose sources are not running.
//
// Start, Stop, Control and CtlRestart are called by one controlling thread:
// the service's main thread, or the desktop's GUI thread in foreground mode.
class MainEngine : public LBackgroundEngine {
public:
  // With the program's halves.
  MainEngine();
  MainEngine(std::unique_ptr<LEngineAudioHalf> audio, std::unique_ptr<LEngineWebHalf> web);
  ~MainEngine() override;

  void Start();
  void Stop();
  // Code 1 restarts; every other code is accepted and ignored.  Data is not
  // used by this engine.
  void Control(unsigned int code, const void* data, unsigned int size);
  void CtlRestart();

private:
  std::unique_ptr<LEngineAudioHalf> audio_;
  std::unique_ptr<LEngineWebHalf> web_;
  bool started_ = false;
};
