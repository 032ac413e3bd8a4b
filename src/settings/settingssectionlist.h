#pragma once
#include "base/lockobject.h"
#include "settings/settingsfile.h"

#include <memory>
#include <string>
#include <vector>

// A settings store: one folder holding one file per section (the section
// name lowered, no extension).  Items are made on first access to a section
// and live until the process ends.
//
// Called from every thread; one lock serialises lookup, file open, load and
// save of this store.  The shared and the user store have separate locks and
// never nest.
class LSettingsSectionList {
public:
  explicit LSettingsSectionList(const char* folder);
  LSettingsSectionList(const LSettingsSectionList&) = delete;
  LSettingsSectionList& operator=(const LSettingsSectionList&) = delete;

  void GetString(const char* section, const char* key, const char* def, char* out);
  void SetString(const char* section, const char* key, const char* value);
  const char* GetFolder() const { return folder_; }

private:
  struct Item {
    LSettingsFile file;
    std::string section;  // as first given
  };
  LSettingsFile& FindSection(const char* section);

  char folder_[260];
  std::vector<std::unique_ptr<Item>> items_;  // newest first
  LLockObject lock_;
};

// The shared store in /opt/ostrel/velorin/etc, read and written by the
// desktop and the service alike.
class LLocalSettings : public LSettingsSectionList {
public:
  LLocalSettings();
};

// The per-user store in $HOME/.ostrel/velorin.
class LUserSettings : public LSettingsSectionList {
public:
  LUserSettings();
};

LSettingsSectionList& LSharedSettingsStore();
LSettingsSectionList& LUserSettingsStore();
