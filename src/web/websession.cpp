#include "web/websession.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <random>

#include "base/file.h"
#include "base/folderiterator.h"
#include "base/formatter.h"
#include "base/stringlong.h"

namespace {

// Seeded once per process from the clock; shared by every connection thread.
class SessionNameSource {
public:
  void MakeLetters(char* out, int count)
  {
    std::lock_guard<std::mutex> guard(mutex_);
    for (int i = 0; i < count; ++i) {
      out[i] = static_cast<char>('a' + generator_() % 26);
    }
    out[count] = 0;
  }
  int NextNumber() { return counter_.fetch_add(1, std::memory_order_relaxed); }

private:
  std::mutex mutex_;
  std::minstd_rand generator_{static_cast<unsigned int>(time(nullptr))};
  std::atomic<int> counter_{1};
};

SessionNameSource& NameSource()
{
  static SessionNameSource source;
  return source;
}

bool HasSeparator(const char* name)
{
  return std::strchr(name, '/') != nullptr || std::strchr(name, '\\') != nullptr;
}

}  // namespace

char* LWebletGetSessionFolder(char* out)
{
  return LFile::GetSharedDataFolderAppSubFolder(kWebletSessionFolderName, out);
}

void LWebletSweepSessions(const char* folder, time_t now)
{
  char pattern[16];
  tsprintf(pattern, "*%s", kWebletSessionExtension);
  for (LFile::FolderIterator it(folder, pattern); it; it.Next()) {
    char path[kPathSize];
    time_t modified = 0;
    if (it.IsFolder() || !it.GetFilePath(path) || !LFile::GetFileModifiedTime(modified, path)) {
      continue;
    }
    if (modified < now - kWebletSessionLifetime) {
      LFile::DeleteFile(path);
    }
  }
}

void LWebletMakeSessionName(char* out)
{
  char letters[9];
  NameSource().MakeLetters(letters, 8);
  tsprintf(out, kPathSize, "%s%d", letters, NameSource().NextNumber());
}

bool LWebletMakeSessionPath(const char* name, char* path)
{
  char folder[kPathSize];
  LWebletGetSessionFolder(folder);
  // A cut path could name another file of the folder (a static file), which
  // a change to the session would then empty.
  if (std::strlen(folder) + 1 + std::strlen(name) + std::strlen(kWebletSessionExtension) >= kPathSize) {
    path[0] = 0;
    return false;
  }
  LFile::MakeFilePath(path, folder, name, kWebletSessionExtension);
  return true;
}

void LWebletSessionData::LoadSession(const char* name)
{
  char folder[kPathSize];
  LWebletSweepSessions(LWebletGetSessionFolder(folder), time(nullptr));
  if (name == nullptr || HasSeparator(name)) {
    return;
  }
  if (name[0] == 0) {
    name_[0] = 0;
    path_[0] = 0;
    return;
  }
  char path[kPathSize];
  if (!LWebletMakeSessionPath(name, path)) {
    return;
  }
  tlstrcpy(name_, name);
  tlstrcpy(path_, path);
  LHashTable::Clear();
  CloseWithoutSaving();
  LReadFile file(path_, kWebletSessionLockMs);
  if (!file) {
    return;
  }
  LStringLongTemplate text;
  char buffer[1024];
  for (;;) {
    std::size_t got = file.Read(buffer, sizeof buffer);
    for (std::size_t i = 0; i < got; ++i) {
      text.AddChar(buffer[i]);
    }
    if (got < sizeof buffer) {
      break;
    }
  }
  LHashTable::LoadHTTPString(text.c_str());
}

void LWebletSessionData::CreateNewSession()
{
  LHashTable::Clear();
  CloseWithoutSaving();
  LWebletMakeSessionName(name_);
  LWebletMakeSessionPath(name_, path_);
  SetDirty();
}

void LWebletSessionData::SetDirty()
{
  if (!writeFile_ && path_[0] != 0) {
    writeFile_.emplace(path_, kWebletSessionLockMs);
    if (!*writeFile_) {
      writeFile_.reset();
    }
  }
}

void LWebletSessionData::FlushSession()
{
  if (!writeFile_) {
    return;
  }
  LStringLongTemplate text;
  SaveHTTPString(text);
  writeFile_->Write(text.c_str(), text.GetLength());
  writeFile_.reset();
}

void LWebletSessionData::SetParm(const char* name, const char* value)
{
  SetDirty();
  LHashTable::SetParm(name, value);
}

void LWebletSessionData::SetInt(const char* name, int value)
{
  char text[16];
  tsprintf(text, "%d", value);
  SetParm(name, text);
}

void LWebletSessionData::DeleteParm(const char* name)
{
  SetDirty();
  LHashTable::DeleteParm(name);
}
