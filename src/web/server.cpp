#include "web/server.h"

#include "audio/audioengine.h"
#include "base/file.h"
#include "settings/log.h"
#include "web/sitepages.h"
#include "web/sitestats.h"
#include "web/websession.h"

std::atomic<int> gVLBannerCounter{1};

namespace {

constexpr LWebletScriptItem kVLScriptItems[] = {
    {"", VLWMain},
    {"velorin.m3u", VLWStream},
    {"velorin.rss", VLWRSS},
    {"velorin.mp3", VLWAudio},
    {"asxbanner.jpg", VLWASXBanner},
    {"listen", VLWListen},
    {"status.json", VLWStatusJSON},
    {"metrics", VLWMetrics},
};

}  // namespace

void LVLServer::Start()
{
  gVLBannerCounter.fetch_add(1, std::memory_order_relaxed);
  LSiteMarkStarted();
  startedPort_ = GetWebletServerPort();
  // Static files come from the session folder, which the sessions use too.
  char root[kPathSize];
  StartServer(kVLScriptItems, sizeof kVLScriptItems / sizeof kVLScriptItems[0], LWebletGetSessionFolder(root));
}

void LVLServer::Stop()
{
  StopServer();
  // Listeners past their start burst belong to their queues' fan-outs.
  if (LAudioEngine* engine = gpAudioEngine.load())
    engine->EndListenerStreams();
}

void LVLServer::Restart()
{
  if (GetWebletServerPort() == startedPort_)
    return;
  LOG("Restarting server");
  Stop();
  Start();
}
