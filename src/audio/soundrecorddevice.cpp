#include "audio/soundrecorddevice.h"

#include <alsa/asoundlib.h>
#include <cstdio>
#include <cstring>

#include "base/stringtools.h"
#include "settings/configkeys.h"
#include "settings/settings.h"

namespace {

constexpr size_t kNameSize = 260;

// A card's control interface, closed on every path.
class LAlsaControl {
public:
  explicit LAlsaControl(int card)
  {
    char device[32];
    std::snprintf(device, sizeof device, "hw:%d", card);
    if (snd_ctl_open(&ctl_, device, 0) < 0)
      ctl_ = nullptr;
  }
  ~LAlsaControl()
  {
    if (ctl_ != nullptr)
      snd_ctl_close(ctl_);
  }
  LAlsaControl(const LAlsaControl&) = delete;
  LAlsaControl& operator=(const LAlsaControl&) = delete;

  // The card's name into name (kNameSize bytes); false when unknown.
  bool GetName(char* name) const
  {
    if (ctl_ == nullptr)
      return false;
    snd_ctl_card_info_t* info = nullptr;
    if (snd_ctl_card_info_malloc(&info) < 0)
      return false;
    bool ok = snd_ctl_card_info(ctl_, info) >= 0;
    if (ok)
      tstrlcpy(name, snd_ctl_card_info_get_name(info), kNameSize);
    snd_ctl_card_info_free(info);
    return ok;
  }

private:
  snd_ctl_t* ctl_ = nullptr;
};

// "<prefix><suffix>", cut to a key's 260 bytes.
void MakeKey(char* key, const char* prefix, const char* suffix)
{
  std::snprintf(key, kNameSize, "%s%s", prefix, suffix);
}

}  // namespace

LSoundRecordDevice::LSoundRecordDevice(const char* name, int channel) : channel_(channel)
{
  char cardName[kNameSize];
  for (int card = 0; card < kMaxCards; ++card) {
    GetListDeviceName(card, cardName);
    if (cardName[0] != 0 && std::strcmp(cardName, name) == 0)
      card_ = card;
  }
}

void LSoundRecordDevice::GetListDeviceName(int card, char* name)
{
  name[0] = 0;
  if (card < 0)
    return;
  LAlsaControl control(card);
  if (!control.GetName(name))
    name[0] = 0;
}

int LSoundRecordDevice::GetListChannelCount(int card)
{
  (void)card;
  return 0;
}

void LSoundRecordDevice::GetListChannelName(int card, int channel, char* name)
{
  (void)card;
  (void)channel;
  (void)name;
}

LSoundRecordDevice LSettingGetSoundRecordDevice(const char* section, const char* prefix)
{
  char key[kNameSize];
  char name[kNameSize];
  MakeKey(key, prefix, "Device");
  LSettingGetString(section, key, VLKeys::LiveDevice.defDevice, name);
  MakeKey(key, prefix, "Channel");
  int channel = LSettingGetInt(section, key, VLKeys::LiveDevice.defChannel);
  return LSoundRecordDevice(name, channel);
}

void LSettingSetSoundRecordDevice(const char* section, const char* prefix, const LSoundRecordDevice& device)
{
  char key[kNameSize];
  char name[kNameSize];
  device.GetDeviceName(name);
  MakeKey(key, prefix, "Device");
  LSettingSetString(section, key, name);
  MakeKey(key, prefix, "Channel");
  LSettingSetInt(section, key, device.GetListChannelNumber());
}
