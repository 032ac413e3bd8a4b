#include "web/sitefigures.h"

#include <algorithm>
#include <arpa/inet.h>
#include <climits>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

#include "audio/audioengine.h"
#include "settings/configkeys.h"
#include "settings/settings.h"

namespace {

// The rates the main page offers, which the engine's queues were started at.
void FillConfiguredRates(LSiteInputFigures& input)
{
  input.rates[0].kbps = std::clamp(LSettingGet(VLKeys::BroadBandKBPS), 24, 320);
  input.rates[1].kbps = std::clamp(LSettingGet(VLKeys::DialUpKBPS), 8, 56);
}

void FillQueue(LSiteRateFigures& rate, const LAudioQueue& queue)
{
  const LListenerStats& stats = queue.GetListenerStats();
  rate.kbps = queue.GetBitRate();
  rate.listeners = stats.GetCurrent();
  rate.peak = stats.GetPeak();
  rate.bytesSent = stats.GetSent();
  rate.encoderRunning = queue.IsEncoderRunning();
}

bool IsLoopbackHost(const sockaddr_storage& peer)
{
  if (peer.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(peer);
    return ntohl(v4.sin_addr.s_addr) == INADDR_LOOPBACK;
  }
  if (peer.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(peer);
    static const unsigned char kMapped[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0, 1};
    return IN6_IS_ADDR_LOOPBACK(&v6.sin6_addr) || std::memcmp(&v6.sin6_addr, kMapped, 16) == 0;
  }
  return false;
}

}  // namespace

int LSiteGatherInputs(LSiteInputFigures (&inputs)[8])
{
  const int count = std::clamp(LSettingGet(VLKeys::LiveSources), 0, static_cast<int>(LAudioEngine::kMaxSources));
  LAudioEngine* engine = gpAudioEngine.load();
  for (int i = 0; i < count; ++i) {
    LSiteInputFigures& input = inputs[i];
    input = LSiteInputFigures{};
    input.number = i + 1;
    LAudioGetSourceDisplayName(input.number, input.name);
    FillConfiguredRates(input);
    if (engine == nullptr)
      continue;
    // Every rate from the broadband queue's up picks that queue, every
    // lower one the dial-up queue.
    const unsigned int index = static_cast<unsigned int>(i);
    FillQueue(input.rates[0], *engine->GetAudioQueue(index, INT_MAX));
    FillQueue(input.rates[1], *engine->GetAudioQueue(index, INT_MIN));
  }
  return count;
}

bool LSiteStatusAllowed(int socket)
{
  if (LSettingGet(VLKeys::WebAccessPublicStatus))
    return true;
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  return getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0 && IsLoopbackHost(peer);
}
