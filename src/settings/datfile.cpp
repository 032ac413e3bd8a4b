#include "settings/datfile.h"

#include "base/stringtools.h"
#include "settings/datfilecache.h"

#include <cstdio>

LDatFile::LDatFile(const char* path)
{
  tstrlcpy(path_, path, sizeof path_);
}

void LDatFile::GetText(const char* section, const char* key, const char* def, char* out) const
{
  LDatFileNativeSystem& system = LDatFileSystem();
  LLockScope scope(system.GetLock());
  const LDatFileNativeItem* item = system.Get(path_).Find(section, key);
  tstrlcpy(out, item ? item->value.c_str() : def, 260);
}

int LDatFile::GetInt(const char* section, const char* key, int def) const
{
  char text[260];
  GetText(section, key, "", text);
  return text[0] ? ttoi(text) : def;
}

void LDatFile::SetText(const char* section, const char* key, const char* value)
{
  LDatFileNativeSystem& system = LDatFileSystem();
  LLockScope scope(system.GetLock());
  LDatFileNativeFile& file = system.Get(path_);
  file.Set(section, key, value);
  file.Save();
}

void LDatFile::SetInt(const char* section, const char* key, int value)
{
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  SetText(section, key, text);
}

void LDatFile::RemoveItem(const char* section, const char* key)
{
  LDatFileNativeSystem& system = LDatFileSystem();
  LLockScope scope(system.GetLock());
  LDatFileNativeFile& file = system.Get(path_);
  file.Remove(section, key);
  file.Save();
}

void LDatFileDeleteItem(const char* path, const char* section, const char* key)
{
  LDatFile(path).RemoveItem(section, key);
}
