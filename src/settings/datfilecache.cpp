#include "settings/datfilecache.h"

#include "base/fileclasses.h"
#include "base/ticks.h"

#include <cstring>
#include <strings.h>

namespace {

constexpr unsigned kDatLockMs = 1000;
constexpr unsigned kMaxLine = 552;  // 551 bytes kept per line

std::string Cut(const char* text)
{
  return std::string(text, strnlen(text, 259));
}

bool Same(const std::string& a, const char* b)
{
  return strcasecmp(a.c_str(), b) == 0;
}

}  // namespace

LDatFileNativeFile::LDatFileNativeFile(const char* path)
    : path_(Cut(path)), lastAccess_(GetTickCount()), sections_(Parse(path_.c_str()))
{
}

LDatFileNativeFile::~LDatFileNativeFile()
{
  Save();
}

std::vector<LDatFileNativeSection> LDatFileNativeFile::Parse(const char* path)
{
  std::vector<LDatFileNativeSection> sections;
  LReadFile file(path, kDatLockMs);
  if (!file)
    return sections;
  char line[kMaxLine];
  LDatFileNativeSection* current = nullptr;
  while (file.ReadLine(line, sizeof line)) {
    if (line[0] == '[') {
      char* end = std::strchr(line + 1, ']');
      if (end)
        *end = '\0';
      const char* name = line + 1;
      current = nullptr;
      for (auto& s : sections)
        if (Same(s.name, name))
          current = &s;
      if (!current) {
        sections.push_back({Cut(name), {}});
        current = &sections.back();
      }
      continue;
    }
    char* eq = std::strchr(line, '=');
    if (!current || !eq)
      continue;
    *eq = '\0';
    std::string key = Cut(line), value = Cut(eq + 1);
    bool found = false;
    for (auto& item : current->items)
      if (Same(item.key, key.c_str())) {
        item.value = value;
        found = true;
      }
    if (!found)
      current->items.push_back({key, value});
  }
  return sections;
}

std::string LDatFileNativeFile::Format(const std::vector<LDatFileNativeSection>& sections)
{
  std::string text;
  for (const auto& s : sections) {
    text += "[" + s.name + "]\r\n";
    for (const auto& item : s.items)
      text += item.key + "=" + item.value + "\r\n";
    text += "\r\n";
  }
  return text;
}

LDatFileNativeSection* LDatFileNativeFile::FindSection(const char* section)
{
  for (auto& s : sections_)
    if (Same(s.name, section))
      return &s;
  return nullptr;
}

const LDatFileNativeItem* LDatFileNativeFile::Find(const char* section, const char* key)
{
  lastAccess_ = GetTickCount();
  LDatFileNativeSection* s = FindSection(section);
  if (!s)
    return nullptr;
  for (const auto& item : s->items)
    if (Same(item.key, key))
      return &item;
  return nullptr;
}

void LDatFileNativeFile::Set(const char* section, const char* key, const char* value)
{
  changed_ = true;
  lastAccess_ = GetTickCount();
  LDatFileNativeSection* s = FindSection(section);
  if (!s) {
    sections_.push_back({Cut(section), {}});
    s = &sections_.back();
  }
  for (auto& item : s->items)
    if (Same(item.key, key)) {
      item.value = Cut(value);
      return;
    }
  s->items.push_back({Cut(key), Cut(value)});
}

void LDatFileNativeFile::Remove(const char* section, const char* key)
{
  lastAccess_ = GetTickCount();
  LDatFileNativeSection* s = FindSection(section);
  if (!s)
    return;
  for (auto it = s->items.begin(); it != s->items.end(); ++it)
    if (Same(it->key, key)) {
      s->items.erase(it);
      changed_ = true;
      return;
    }
}

void LDatFileNativeFile::Save()
{
  if (!changed_)
    return;
  std::string text = Format(sections_);
  LWriteFile file(path_.c_str(), kDatLockMs);
  if (file)
    file.Write(text.data(), text.size());
  changed_ = false;
}

LDatFileNativeFile& LDatFileNativeSystem::Get(const char* path)
{
  for (auto& f : files_)
    if (Same(f->GetPath(), path))
      return *f;
  files_.insert(files_.begin(), std::make_unique<LDatFileNativeFile>(path));
  return *files_.front();
}

LDatFileNativeSystem& LDatFileSystem()
{
  static LDatFileNativeSystem system;
  return system;
}
