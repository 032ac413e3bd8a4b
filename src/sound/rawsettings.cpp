#include "sound/rawsettings.h"

#include "base/stringtools.h"
#include "settings/settings.h"

namespace {

struct SectionKeys {
  const char* section;
  const LSettingKeyInt& rate;
  const LSettingKeyInt& channels;
  const LSettingKeyInt& codec;
};

const SectionKeys kSections[] = {
    {kRawAudioSection, VLKeys::RawSampleRate, VLKeys::RawChannels, VLKeys::RawCodec},
    {kVoxAudioSection, VLKeys::VoxSampleRate, VLKeys::VoxChannels, VLKeys::VoxCodec},
};

// An unknown section is read with the raw keys' names and defaults.
const SectionKeys& KeysOf(const char* section)
{
  for (const SectionKeys& keys : kSections) {
    if (tstrcmp(keys.section, section) == 0) {
      return keys;
    }
  }
  return kSections[0];
}

const char* const kCodecNames[kRawCodecCount] = {
    "Dialogic ADPCM",
    "G711 uLaw",
    "G711 aLaw",
    "16 bit PCM (Intel Endian)",
    "8 bit unsigned",
    "8 bit signed",
    "16 bit PCM (Big Endian)",
    "32 bit float (Intel Endian)",
    "32 bit float (Big Endian)",
};

}  // namespace

void LRawSettings::Load(const char* section)
{
  const SectionKeys& keys = KeysOf(section);
  sampleRate = LSettingGetInt(section, keys.rate.key, keys.rate.def);
  int stored = LSettingGetInt(section, keys.channels.key, keys.channels.def);
  // A stored 0 (or any count the 8-bit field cannot hold) reads as mono
  // rather than wrapping to some other count.
  channels = static_cast<unsigned char>(stored >= 1 && stored <= 255 ? stored : 1);
  codec = LSettingGetInt(section, keys.codec.key, keys.codec.def);
}

void LRawSettings::SaveAsDefaultSettings(const char* section) const
{
  const SectionKeys& keys = KeysOf(section);
  LSettingSetInt(section, keys.rate.key, sampleRate);
  LSettingSetInt(section, keys.channels.key, channels);
  LSettingSetInt(section, keys.codec.key, codec);
}

bool LRawSettings::SettingsDialog(LRawSettingsPrompt* parent, const char* section)
{
  Load(section);
  return parent != nullptr && parent->RawSettingsDialog(section, *this);
}

const char* LRawSettings::GetCodecName(int codec)
{
  return codec >= 0 && codec < kRawCodecCount ? kCodecNames[codec] : "";
}
