#pragma once

// INI-style data files (sections in brackets, key=value items) edited by
// section and key through a process-wide cache.  Used for foreign files such
// as a desktop session file.  A file is read once, on its first use, and
// written back after every change (so a killed process loses nothing).
// Sections, keys and paths match without regard to case.  Thread-safe: one
// lock serialises every use of the cache.
class LDatFile {
public:
  explicit LDatFile(const char* path);

  void GetText(const char* section, const char* key, const char* def, char* out) const;
  int GetInt(const char* section, const char* key, int def) const;
  void SetText(const char* section, const char* key, const char* value);
  void SetInt(const char* section, const char* key, int value);
  void RemoveItem(const char* section, const char* key);

private:
  char path_[260];
};

void LDatFileDeleteItem(const char* path, const char* section, const char* key);
