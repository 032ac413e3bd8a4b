#pragma once
// How headerless audio is to be read: sample rate, channel count and
// sample coding, kept in the settings store under a section named by the
// format ("RawAudio" for .raw and .snd files, "VoxAudio" for .vox files).
inline constexpr const char* kRawAudioSection = "RawAudio";
inline constexpr const char* kVoxAudioSection = "VoxAudio";

// Sample codings, in the order the settings dialog lists them.
enum LRawCodec : int {
  kRawCodecDialogicADPCM = 0,
  kRawCodecULaw = 1,
  kRawCodecALaw = 2,
  kRawCodecPCM16 = 3,  // little-endian
  kRawCodecU8 = 4,
  kRawCodecS8 = 5,
  kRawCodecPCM16BE = 6,
  kRawCodecFloat32 = 7,  // little-endian
  kRawCodecFloat32BE = 8,
  kRawCodecCount = 9,
};

class LRawSettingsPrompt;

class LRawSettings {
public:
  int sampleRate = 44100;
  unsigned char channels = 1;
  int codec = kRawCodecPCM16;

  // Reads the section's values (missing ones take the section's defaults).
  void Load(const char* section);
  void SaveAsDefaultSettings(const char* section) const;
  // Shows the raw settings dialog for the section through `parent`; true
  // when the user confirmed (the dialog has then stored the choice here and
  // in the store).  Without a parent there is no dialog to show: false.
  bool SettingsDialog(LRawSettingsPrompt* parent, const char* section);

  // The dialog's name of a coding; "" for an index outside the list.
  static const char* GetCodecName(int codec);
};

class LVoxSettings : public LRawSettings {
public:
  LVoxSettings()
  {
    sampleRate = 8000;
    codec = kRawCodecDialogicADPCM;
  }
  void Load() { LRawSettings::Load(kVoxAudioSection); }
  bool SettingsDialog(LRawSettingsPrompt* parent) { return LRawSettings::SettingsDialog(parent, kVoxAudioSection); }
};

// The desktop's raw settings dialog as the sound layer sees it (the windows
// live above this layer).  Called on the user interface thread.
class LRawSettingsPrompt {
public:
  virtual ~LRawSettingsPrompt() = default;
  // Shows the dialog for `section`, filled from `settings`.  On OK stores
  // the choice into `settings` and as the section's defaults
  // (SaveAsDefaultSettings) and returns true; false when cancelled.
  virtual bool RawSettingsDialog(const char* section, LRawSettings& settings) = 0;
};
