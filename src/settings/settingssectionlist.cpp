#include "settings/settingssectionlist.h"

#include "base/file.h"
#include "base/stringtools.h"

#include <strings.h>

LSettingsSectionList::LSettingsSectionList(const char* folder)
{
  tstrlcpy(folder_, folder, sizeof folder_);
  LFile::CreateFolder(folder_);
}

LSettingsFile& LSettingsSectionList::FindSection(const char* section)
{
  for (auto& item : items_)
    if (strcasecmp(item->section.c_str(), section) == 0)
      return item->file;
  char name[260];
  tstrlcpy(name, section, sizeof name);
  tstrlwr(name);
  char path[260];
  LFile::MakeFilePath(path, folder_, name);
  items_.insert(items_.begin(), std::unique_ptr<Item>(new Item{LSettingsFile(path), name}));
  items_.front()->section = std::string(section).substr(0, 259);
  return items_.front()->file;
}

void LSettingsSectionList::GetString(const char* section, const char* key, const char* def, char* out)
{
  LLockScope scope(lock_);
  FindSection(section).GetString(key, def, out);
}

void LSettingsSectionList::SetString(const char* section, const char* key, const char* value)
{
  LLockScope scope(lock_);
  FindSection(section).SetString(key, value);
}

namespace {

std::string SharedFolder()
{
  char folder[260];
  LFile::GetSharedDataFolderApp(folder);
  return folder;
}

std::string UserFolder()
{
  char folder[260];
  LFile::GetUserDataFolderApp(folder);
  return folder;
}

}  // namespace

LLocalSettings::LLocalSettings() : LSettingsSectionList(SharedFolder().c_str()) {}

LUserSettings::LUserSettings() : LSettingsSectionList(UserFolder().c_str()) {}

// Built on first use rather than before main: the folders are created then,
// and no static initialisation order between translation units matters.
LSettingsSectionList& LSharedSettingsStore()
{
  static LLocalSettings store;
  return store;
}

LSettingsSectionList& LUserSettingsStore()
{
  static LUserSettings store;
  return store;
}
