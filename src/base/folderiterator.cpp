#include "base/folderiterator.h"

#include <cstring>
#include <fnmatch.h>
#include <sys/stat.h>

bool LFile::FolderIteratorAllFiles::Open(const char* folder)
{
  Close();
  // Entry paths are built from the folder's name, so it must fit whole.
  if (folder == nullptr || std::strlen(folder) >= kPathSize) {
    return false;
  }
  tlstrcpy(folder_, folder);
  dir_ = ::opendir(folder);
  if (dir_ == nullptr) {
    return false;
  }
  Next();
  return true;
}

void LFile::FolderIteratorAllFiles::Close()
{
  if (dir_ != nullptr) {
    ::closedir(dir_);
    dir_ = nullptr;
  }
  entry_ = nullptr;
}

void LFile::FolderIteratorAllFiles::Next()
{
  if (dir_ == nullptr) {
    return;
  }
  entry_ = ::readdir(dir_);
  SkipUnaccepted();
}

void LFile::FolderIteratorAllFiles::SkipUnaccepted()
{
  while (entry_ != nullptr && !Accept(entry_->d_name)) {
    entry_ = ::readdir(dir_);
  }
}

bool LFile::FolderIteratorAllFiles::IsDotOrDotDot() const
{
  const char* name = GetFile();
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool LFile::FolderIteratorAllFiles::GetFilePath(char* out) const
{
  return LFile::MakeFilePathWhole(out, folder_, GetFile()) && entry_ != nullptr;
}

bool LFile::FolderIteratorAllFiles::IsFolder() const
{
  if (entry_ == nullptr) {
    return false;
  }
  if (entry_->d_type != DT_UNKNOWN) {
    return entry_->d_type == DT_DIR;
  }
  // Some file systems do not fill d_type.
  char path[kPathSize];
  struct stat st;
  return GetFilePath(path) && ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool LFile::FolderIterator::Open(const char* folder, const char* pattern)
{
  tlstrcpy(pattern_, pattern != nullptr ? pattern : "*");
  return FolderIteratorAllFiles::Open(folder);
}

bool LFile::FolderIterator::Open(const char* path)
{
  char folder[kPathSize];
  char pattern[kPathSize];
  LFile::GetFolderFromPath(folder, path);
  LFile::GetFileFromPath(pattern, path);
  if (folder[0] == 0) {
    tlstrcpy(folder, ".");
  }
  return Open(folder, pattern);
}

bool LFile::FolderIterator::Accept(const char* name) const
{
  return ::fnmatch(pattern_, name, FNM_CASEFOLD) == 0;
}
