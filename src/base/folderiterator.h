#pragma once
#include <dirent.h>

#include "base/file.h"
#include "base/stringtools.h"

// Walks the entries of one folder ("." and ".." included) with readdir; the
// iterator owns its DIR*.  operator bool is true while an entry is current.
class LFile::FolderIteratorAllFiles {
public:
  FolderIteratorAllFiles() = default;
  explicit FolderIteratorAllFiles(const char* folder) { Open(folder); }
  FolderIteratorAllFiles(const FolderIteratorAllFiles&) = delete;
  FolderIteratorAllFiles& operator=(const FolderIteratorAllFiles&) = delete;
  virtual ~FolderIteratorAllFiles() { Close(); }

  // Starts on the folder's first entry; false when it cannot be read.
  bool Open(const char* folder);
  void Close();

  explicit operator bool() const { return entry_ != nullptr; }
  bool operator!() const { return entry_ == nullptr; }
  const char* GetFile() const { return entry_ != nullptr ? entry_->d_name : ""; }
  // True for a sub-folder; a symbolic link is never one, so walks that
  // delete or copy trees stay inside the tree.
  bool IsFolder() const;
  // The entry's full path; false when it would not fit in kPathSize.
  bool GetFilePath(char* out) const;
  bool IsDotOrDotDot() const;
  void Next();

protected:
  // Whether the walk stops on an entry; all entries by default.
  virtual bool Accept(const char* /*name*/) const { return true; }
  void SkipUnaccepted();

private:
  DIR* dir_ = nullptr;
  dirent* entry_ = nullptr;
  char folder_[kPathSize] = {};
};

// Walks only the entries whose names match a shell pattern (fnmatch),
// without regard to case.
class LFile::FolderIterator : public LFile::FolderIteratorAllFiles {
public:
  FolderIterator() = default;
  FolderIterator(const char* folder, const char* pattern) { Open(folder, pattern); }

  bool Open(const char* folder, const char* pattern);
  // Folder and pattern from one path: "/music/*.wav".
  bool Open(const char* path);

protected:
  bool Accept(const char* name) const override;

private:
  char pattern_[kPathSize] = {};
};
