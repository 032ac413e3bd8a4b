#include "settings/settingsfile.h"

#include "base/fileclasses.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kMaxText = 259;
constexpr unsigned kReadLockMs = 2000;
constexpr unsigned kWriteLockMs = 3000;

std::string Lowered(const char* key)
{
  std::string s(key ? key : "");
  if (s.size() > kMaxText)
    s.resize(kMaxText);
  for (char& c : s)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Cut(const char* text, size_t length)
{
  return std::string(text, std::min(length, kMaxText));
}

bool IsLineEnd(char c)
{
  return c == '\r' || c == '\n';
}

}  // namespace

LSettingsFile::LSettingsFile(const char* path) : path_(Cut(path, std::char_traits<char>::length(path))) {}

void LSettingsFile::Parse(const char* text, size_t length, std::vector<Entry>& entries)
{
  // The text ends at its first NUL byte, as the C string it is read into.
  const char* end = std::find(text, text + length, '\0');
  const char* p = text;
  while (p < end) {
    // Bytes up to 0x20 at a line's start are skipped: blank lines vanish.
    while (p < end && static_cast<unsigned char>(*p) <= 0x20)
      ++p;
    if (p == end)
      break;
    const char* key = p;
    while (p < end && *p != '=' && !IsLineEnd(*p))
      ++p;
    const char* keyEnd = p;
    while (p < end && *p == '=')
      ++p;
    const char* value = p;
    while (p < end && !IsLineEnd(*p))
      ++p;
    if (keyEnd > key)
      entries.push_back({Cut(key, keyEnd - key), Cut(value, p - value)});
    // A line end is CR LF, LF CR, a lone CR or a lone LF.
    if (p < end) {
      char first = *p++;
      if (p < end && IsLineEnd(*p) && *p != first)
        ++p;
    }
  }
}

std::string LSettingsFile::Format(const std::vector<Entry>& entries)
{
  std::string text;
  text.reserve(32768);
  for (const Entry& e : entries) {
    text += e.key;
    text += '=';
    text += e.value;
    text += "\r\n";
  }
  return text;
}

void LSettingsFile::ReloadIfChanged(int fd, bool always)
{
  struct stat st;
  if (stat(path_.c_str(), &st) != 0)
    return;  // deleted since the last load: keep what we have
  if (!always && SameStamp(st))
    return;
  // Not open (created by another process just after our open, or not
  // readable): keep what we have and look again next time, rather than
  // caching an empty list under the file's current stamp.
  if (fd < 0)
    return;
  std::string text;
  if (st.st_size > 0) {
    text.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < text.size()) {
      ssize_t n = pread(fd, text.data() + got, text.size() - got, static_cast<off_t>(got));
      if (n <= 0)
        break;
      got += static_cast<size_t>(n);
    }
    text.resize(got);
  }
  entries_.clear();
  Parse(text.data(), text.size(), entries_);
  Remember(st);
}

bool LSettingsFile::SameStamp(const struct stat& st) const
{
  return st.st_mtim.tv_sec == modified_.tv_sec && st.st_mtim.tv_nsec == modified_.tv_nsec && st.st_size == size_;
}

void LSettingsFile::Remember(const struct stat& st)
{
  modified_ = st.st_mtim;
  size_ = st.st_size;
}

LSettingsFile::Entry* LSettingsFile::Find(const std::string& lowered)
{
  for (Entry& e : entries_)
    if (e.key == lowered)
      return &e;
  return nullptr;
}

void LSettingsFile::GetString(const char* key, const char* def, char* out)
{
  std::string lowered = Lowered(key);
  LReadFile file(path_.c_str(), kReadLockMs);
  ReloadIfChanged(file.GetHandle(), false);
  const Entry* e = Find(lowered);
  const std::string& value = e ? e->value : Cut(def ? def : "", def ? std::char_traits<char>::length(def) : 0);
  value.copy(out, kMaxText);
  out[std::min(value.size(), kMaxText)] = '\0';
}

void LSettingsFile::SetString(const char* key, const char* value)
{
  std::string lowered = Lowered(key);
  LReadWriteFile file(path_.c_str(), kWriteLockMs);
  // Under the exclusive lock the file is always parsed afresh: another
  // process may have rewritten it within the same clock tick at the same
  // size, and saving from a stale cache would throw its change away.
  ReloadIfChanged(file.GetHandle(), true);

  bool changed = false;
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.key == lowered; });
  if (it != entries_.end()) {
    if (!value) {
      entries_.erase(it);
      changed = true;
    } else {
      std::string v = Cut(value, std::char_traits<char>::length(value));
      if (v != it->value) {
        it->value = std::move(v);
        changed = true;
      }
    }
  } else if (value) {
    entries_.push_back({lowered, Cut(value, std::char_traits<char>::length(value))});
    changed = true;
  }
  if (!changed || !file)
    return;

  std::string text = Format(entries_);
  file.Seek(0);
  file.Write(text.data(), text.size());
  file.Truncate();
  // Remember our own write so that the next read does not parse it again.
  struct stat st;
  if (stat(path_.c_str(), &st) == 0)
    Remember(st);
}
