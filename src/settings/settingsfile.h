#pragma once
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

// One section file of a settings store: key=value lines, CR LF ended.  The
// parsed entries are cached for reading and re-read only when the file's
// (modification time, size) pair changes, so two processes sharing the file
// see each other's writes without parsing on every read.  A write always
// re-reads the file under its exclusive lock, so no other writer's change is
// lost.
//
// Not thread-safe: the owning LSettingsSectionList serialises every call
// under its store lock; other processes are kept apart by flock on the file.
class LSettingsFile {
public:
  struct Entry {
    std::string key;    // as it stood in the file, or lowered when set here
    std::string value;  // at most 259 bytes
  };

  explicit LSettingsFile(const char* path);

  // Copies the value of the (lowered) key, or the default, into out (260 bytes).
  void GetString(const char* key, const char* def, char* out);
  // Stores the value (cut to 259 bytes); a null value removes the key.
  void SetString(const char* key, const char* value);
  void DeleteField(const char* key) { SetString(key, nullptr); }

  const char* GetPath() const { return path_.c_str(); }

  // Parses file text by the store's rules into entries, in file order.
  static void Parse(const char* text, size_t length, std::vector<Entry>& entries);
  // The file text for the entries: "%s=%s\r\n" each.
  static std::string Format(const std::vector<Entry>& entries);

private:
  void ReloadIfChanged(int fd, bool always);
  bool SameStamp(const struct stat& st) const;
  void Remember(const struct stat& st);
  Entry* Find(const std::string& lowered);

  std::string path_;
  std::vector<Entry> entries_;
  timespec modified_{};  // modification time at the last load or save
  long long size_ = 0;
};
