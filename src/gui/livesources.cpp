#include "gui/livesources.h"

#include <cstdio>

#include "settings/settings.h"

namespace {

void Prefix(int number, char (&prefix)[32])
{
  std::snprintf(prefix, sizeof prefix, VLKeys::LiveDevice.prefixFormat, number);
}

}  // namespace

int LLiveGetSourceCount()
{
  return LSettingGet(VLKeys::LiveSources);
}

void LLiveSetSourceCount(int count)
{
  LSettingSet(VLKeys::LiveSources, count);
}

LSoundRecordDevice LLiveGetDevice(int number)
{
  char prefix[32];
  Prefix(number, prefix);
  return LSettingGetSoundRecordDevice(VLKeys::LiveDevice.section, prefix);
}

void LLiveSetDevice(int number, const LSoundRecordDevice& device)
{
  char prefix[32];
  Prefix(number, prefix);
  LSettingSetSoundRecordDevice(VLKeys::LiveDevice.section, prefix, device);
}

void LLiveGetDeviceName(int number, char* name)
{
  LLiveGetDevice(number).GetDeviceName(name);
}
