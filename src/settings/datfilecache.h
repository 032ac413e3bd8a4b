#pragma once
#include "base/lockobject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct LDatFileNativeItem {
  std::string key;
  std::string value;
};

struct LDatFileNativeSection {
  std::string name;
  std::vector<LDatFileNativeItem> items;  // file order
};

// One cached data file.  Saved when changed, at the latest when destroyed.
class LDatFileNativeFile {
public:
  explicit LDatFileNativeFile(const char* path);
  ~LDatFileNativeFile();
  LDatFileNativeFile(const LDatFileNativeFile&) = delete;
  LDatFileNativeFile& operator=(const LDatFileNativeFile&) = delete;

  const std::string& GetPath() const { return path_; }
  const LDatFileNativeItem* Find(const char* section, const char* key);
  void Set(const char* section, const char* key, const char* value);
  void Remove(const char* section, const char* key);
  void Save();

  // Parses file text into sections (exposed for tests of the format rules).
  static std::vector<LDatFileNativeSection> Parse(const char* path);
  static std::string Format(const std::vector<LDatFileNativeSection>& sections);

private:
  LDatFileNativeSection* FindSection(const char* section);

  std::string path_;
  uint32_t lastAccess_;
  bool changed_ = false;
  std::vector<LDatFileNativeSection> sections_;
};

// The process-wide cache; every operation holds its lock throughout.
class LDatFileNativeSystem {
public:
  LLockObject& GetLock() { return lock_; }
  // The cached file for path, read on first use.  Caller holds the lock.
  LDatFileNativeFile& Get(const char* path);

private:
  LLockObject lock_;
  std::vector<std::unique_ptr<LDatFileNativeFile>> files_;  // newest first
};

LDatFileNativeSystem& LDatFileSystem();
