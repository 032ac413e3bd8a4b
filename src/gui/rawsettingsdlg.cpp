#include "gui/rawsettingsdlg.h"

#include <cstdio>

#include "base/stringtools.h"
#include "gui/dialoggen.h"
#include "gui/listcontrol.h"

namespace {

constexpr const char* kRates[] = {"6000",  "8000",  "11025", "16000", "22050", "32000",
                                  "44100", "48000", "64000", "88200", "96000", "196000"};
constexpr int kRateMin = 6000;
constexpr int kRateMax = 196000;

}  // namespace

LRawSettingsDialog::LRawSettingsDialog(const char* section, LRawSettings& settings)
    : LDialog("Audio File Settings"), section_(section), settings_(settings)
{
}

void LRawSettingsDialog::BuildControls(GtkWidget* box)
{
  LDialogGenContext gen(box, *this);
  gen.AddCombo(kIdRawCodec, "Format");
  gen.AddCombo(kIdRawRate, "Sample Rate");
  gen.AddCombo(kIdRawChannels, "Channels");
  gen.AddButtons({{kIdRawDefaults, "Restore Defaults"}});
}

void LRawSettingsDialog::Select(int codec, int rate, int channels)
{
  SetControlInt(kIdRawCodec, codec);
  char text[16];
  std::snprintf(text, sizeof text, "%d", rate);
  LComboSelectText(GetControl(kIdRawRate), text);
  SetControlInt(kIdRawChannels, channels - 1);
}

bool LRawSettingsDialog::InitDialog()
{
  for (int codec = 0; codec < kRawCodecCount; ++codec)
    AddControlListItem(kIdRawCodec, LRawSettings::GetCodecName(codec));
  for (const char* rate : kRates)
    AddControlListItem(kIdRawRate, rate);
  AddControlListItem(kIdRawChannels, "Mono");
  AddControlListItem(kIdRawChannels, "Stereo");
  Select(settings_.codec, settings_.sampleRate, settings_.channels == 2 ? 2 : 1);
  return true;
}

void LRawSettingsDialog::Command(int id)
{
  if (id == kIdRawDefaults)
    Select(kRawCodecPCM16, 44100, 2);
}

bool LRawSettingsDialog::CmOk()
{
  char text[16];
  GetControlText(kIdRawRate, text, sizeof text);
  int rate = ttoi(text);
  if (rate < kRateMin || rate > kRateMax) {
    PopupControlDataInvalid(kIdRawRate, "Please select a sample rate between 6000 and 196000.", "Velorin");
    return false;
  }
  int codec = GetControlInt(kIdRawCodec);
  if (codec >= 0)
    settings_.codec = codec;
  settings_.sampleRate = rate;
  settings_.channels = static_cast<unsigned char>(GetControlInt(kIdRawChannels) == 1 ? 2 : 1);
  settings_.SaveAsDefaultSettings(section_);
  return true;
}

bool LRawSettingsDialogPrompt::RawSettingsDialog(const char* section, LRawSettings& settings)
{
  LRawSettingsDialog dialog(section, settings);
  return dialog.Run(parent_) == kIdOk;
}
