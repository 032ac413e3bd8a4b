#include "app/mainengine.h"

#include "settings/log.h"

#include <malloc.h>

MainEngine::MainEngine() : MainEngine(MakeEngineAudioHalf(), MakeEngineWebHalf()) {}

MainEngine::MainEngine(std::unique_ptr<LEngineAudioHalf> audio, std::unique_ptr<LEngineWebHalf> web)
    : audio_(std::move(audio)), web_(std::move(web))
{
}

MainEngine::~MainEngine()
{
  Stop();
}

void MainEngine::Start()
{
  LOG("Starting audio input");
  audio_->Start();
  gpAudioEngine.store(audio_->GetAudioEngine(), std::memory_order_release);
  LOG("Starting web server");
  web_->Start();
  started_ = true;
}

void MainEngine::Stop()
{
  if (!started_)
    return;
  started_ = false;
  LOG("Stopping web server");
  web_->Stop();
  LOG("Stopping audio input");
  gpAudioEngine.store(nullptr, std::memory_order_release);
  audio_->Stop();
}

void MainEngine::Control(unsigned int code, const void*, unsigned int)
{
  if (code == kEngineCtlRestart)
    CtlRestart();
}

void MainEngine::CtlRestart()
{
  LOG("Restarting web server");
  web_->Restart();
  LOG("Restarting audio input");
  audio_->Restart();
  // What the old halves freed goes back to the system, so that restarts
  // do not add up in the service's memory.
  malloc_trim(0);
}
