#include "audio/audioengine.h"

#include <cstdio>

#include "settings/configkeys.h"
#include "settings/settings.h"

std::atomic<LAudioEngine*> gpAudioEngine{nullptr};

void LAudioEngine::Start()
{
  // Taken as unsigned, so a negative count also means all eight.
  unsigned int count = static_cast<unsigned int>(LSettingGet(VLKeys::LiveSources));
  if (count > kMaxSources)
    count = kMaxSources;
  for (unsigned int i = 0; i < count; ++i)
    sources_[i].Start(i);
}

void LAudioEngine::Stop()
{
  for (LAudioStreamingSource& source : sources_)
    source.Stop();
}

void LAudioEngine::EndListenerStreams()
{
  for (LAudioStreamingSource& source : sources_)
    source.EndListenerStreams();
}

void LAudioEngine::Restart()
{
  Stop();
  Start();
}

LAudioQueue* LAudioEngine::GetAudioQueue(unsigned int index, int kbps)
{
  return index < kMaxSources ? sources_[index].GetAudioQueue(kbps) : nullptr;
}

void LAudioGetSourceDisplayName(int number, char* name)
{
  LSettingGet(VLKeys::LiveName, number, name);
  if (name[0] == 0)
    std::snprintf(name, 260, "Velorin Live %d", number);
}
