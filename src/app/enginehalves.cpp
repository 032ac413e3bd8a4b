#include "app/enginehalves.h"

#include "audio/audioengine.h"
#include "web/server.h"

// The engine's halves: the live audio engine and the streaming site.

namespace {

class LAudioEngineHalf : public LEngineAudioHalf {
public:
  void Start() override { engine_.Start(); }
  void Stop() override { engine_.Stop(); }
  void Restart() override { engine_.Restart(); }
  LAudioEngine* GetAudioEngine() override { return &engine_; }

private:
  LAudioEngine engine_;
};

class LVLServerHalf : public LEngineWebHalf {
public:
  void Start() override { server_.Start(); }
  void Stop() override { server_.Stop(); }
  void Restart() override { server_.Restart(); }

private:
  LVLServer server_;
};

}  // namespace

std::unique_ptr<LEngineAudioHalf> MakeEngineAudioHalf()
{
  return std::make_unique<LAudioEngineHalf>();
}

std::unique_ptr<LEngineWebHalf> MakeEngineWebHalf()
{
  return std::make_unique<LVLServerHalf>();
}
