#pragma once
// The raw settings dialog: how a headerless audio file is to be read
// (sample coding, rate, channels), stored as the defaults of its section.
#include "gui/dialog.h"
#include "sound/rawsettings.h"

enum : int { kIdRawCodec = 101, kIdRawRate = 103, kIdRawChannels = 105, kIdRawDefaults = 107 };

class LRawSettingsDialog : public LDialog {
public:
  // Edits `settings`, saved under `section` on OK.
  LRawSettingsDialog(const char* section, LRawSettings& settings);

  bool InitDialog() override;
  bool CmOk() override;
  void Command(int id) override;

private:
  void BuildControls(GtkWidget* box) override;
  void Select(int codec, int rate, int channels);

  const char* section_;
  LRawSettings& settings_;
};

// The sound layer's prompt (LGenSourceOpenPrompt) shown over `parent`.
class LRawSettingsDialogPrompt final : public LRawSettingsPrompt {
public:
  explicit LRawSettingsDialogPrompt(GtkWindow* parent) : parent_(parent) {}
  bool RawSettingsDialog(const char* section, LRawSettings& settings) override;

private:
  GtkWindow* parent_;
};
