#include "app/enginehalves.h"

#include "app/mainengine.h"
#include "settings/log.h"

// This build carries neither the audio engine nor the streaming site yet:
// the engine runs with halves that say so once per start, so the service
// and its control pipe work and the log tells why nothing streams.

// The audio layer defines this beside its engine; until that engine is in
// the build the pointer lives here and stays null.
std::atomic<LAudioEngine*> gpAudioEngine{nullptr};

namespace {

class LAudioHalfUnavailable : public LEngineAudioHalf {
public:
  void Start() override { LOGWARN("Audio input is not available in this build"); }
  void Stop() override {}
  void Restart() override {}
  LAudioEngine* GetAudioEngine() override { return nullptr; }
};

class LWebHalfUnavailable : public LEngineWebHalf {
public:
  void Start() override { LOGWARN("Web server is not available in this build"); }
  void Stop() override {}
  void Restart() override {}
};

} // namespace

std::unique_ptr<LEngineAudioHalf> MakeEngineAudioHalf() { return std::make_unique<LAudioHalfUnavailable>(); }

std::unique_ptr<LEngineWebHalf> MakeEngineWebHalf() { return std::make_unique<LWebHalfUnavailable>(); }
