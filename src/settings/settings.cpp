#include "settings/settings.h"

#include "base/stringtools.h"
#include "settings/settingssectionlist.h"

#include <cstdio>

void LToSettingString(char* buffer, int value)
{
  std::snprintf(buffer, 260, "%d", value);
}

void LToSettingString(char* buffer, bool value)
{
  buffer[0] = value ? '1' : '0';
  buffer[1] = '\0';
}

int LFromSettingString(const char* text, int def)
{
  return text[0] ? ttoi(text) : def;
}

bool LFromSettingString(const char* text, bool def)
{
  return text[0] ? text[0] != '0' : def;
}

namespace {

LSettingsSectionList& Store(LSettingStore store)
{
  return store == LSettingStore::Shared ? LSharedSettingsStore() : LUserSettingsStore();
}

int GetInt(LSettingsSectionList& store, const char* section, const char* key, int def)
{
  char text[260];
  store.GetString(section, key, "", text);
  return LFromSettingString(text, def);
}

bool GetBool(LSettingsSectionList& store, const char* section, const char* key, bool def)
{
  char text[260];
  store.GetString(section, key, "", text);
  return LFromSettingString(text, def);
}

template <typename T>
void Set(LSettingsSectionList& store, const char* section, const char* key, T value)
{
  char text[260];
  LToSettingString(text, value);
  store.SetString(section, key, text);
}

void IndexedKey(const char* format, int index, char* out)
{
  std::snprintf(out, 260, format, index);
}

}  // namespace

void LSettingGetString(const char* section, const char* key, const char* def, char* out)
{
  LSharedSettingsStore().GetString(section, key, def, out);
}
int LSettingGetInt(const char* section, const char* key, int def)
{
  return GetInt(LSharedSettingsStore(), section, key, def);
}
bool LSettingGetBool(const char* section, const char* key, bool def)
{
  return GetBool(LSharedSettingsStore(), section, key, def);
}
void LSettingSetString(const char* section, const char* key, const char* value)
{
  LSharedSettingsStore().SetString(section, key, value);
}
void LSettingSetInt(const char* section, const char* key, int value)
{
  Set(LSharedSettingsStore(), section, key, value);
}
void LSettingSetBool(const char* section, const char* key, bool value)
{
  Set(LSharedSettingsStore(), section, key, value);
}

void LUserSettingGetString(const char* section, const char* key, const char* def, char* out)
{
  LUserSettingsStore().GetString(section, key, def, out);
}
int LUserSettingGetInt(const char* section, const char* key, int def)
{
  return GetInt(LUserSettingsStore(), section, key, def);
}
bool LUserSettingGetBool(const char* section, const char* key, bool def)
{
  return GetBool(LUserSettingsStore(), section, key, def);
}
void LUserSettingSetString(const char* section, const char* key, const char* value)
{
  LUserSettingsStore().SetString(section, key, value);
}
void LUserSettingSetInt(const char* section, const char* key, int value)
{
  Set(LUserSettingsStore(), section, key, value);
}
void LUserSettingSetBool(const char* section, const char* key, bool value)
{
  Set(LUserSettingsStore(), section, key, value);
}

void LSettingsGetSharedFolder(char* out)
{
  tstrlcpy(out, LSharedSettingsStore().GetFolder(), 260);
}
void LSettingsGetUserFolder(char* out)
{
  tstrlcpy(out, LUserSettingsStore().GetFolder(), 260);
}

int LSettingGet(const LSettingKeyInt& key)
{
  return GetInt(Store(key.store), key.section, key.key, key.def);
}
bool LSettingGet(const LSettingKeyBool& key)
{
  return GetBool(Store(key.store), key.section, key.key, key.def);
}
void LSettingGet(const LSettingKeyString& key, char* out)
{
  Store(key.store).GetString(key.section, key.key, key.def, out);
}
void LSettingGet(const LSettingKeyStringIndexed& key, int index, char* out)
{
  char name[260];
  IndexedKey(key.keyFormat, index, name);
  Store(key.store).GetString(key.section, name, key.def, out);
}
int LSettingGet(const LSettingKeyIntIndexed& key, int index)
{
  char name[260];
  IndexedKey(key.keyFormat, index, name);
  return GetInt(Store(key.store), key.section, name, key.def);
}
void LSettingSet(const LSettingKeyIntIndexed& key, int index, int value)
{
  char name[260];
  IndexedKey(key.keyFormat, index, name);
  Set(Store(key.store), key.section, name, value);
}
void LSettingSet(const LSettingKeyInt& key, int value)
{
  Set(Store(key.store), key.section, key.key, value);
}
void LSettingSet(const LSettingKeyBool& key, bool value)
{
  Set(Store(key.store), key.section, key.key, value);
}
void LSettingSet(const LSettingKeyString& key, const char* value)
{
  Store(key.store).SetString(key.section, key.key, value);
}
void LSettingSet(const LSettingKeyStringIndexed& key, int index, const char* value)
{
  char name[260];
  IndexedKey(key.keyFormat, index, name);
  Store(key.store).SetString(key.section, name, value);
}
