#pragma once
#include "base/fileref.h"

// Owning file classes: each opens in its constructor (check with operator
// bool), takes its whole-file advisory lock and closes in its destructor.
// A lock that is not granted never fails the open: the file is then used
// without it.  The locks only coordinate the program's own readers and
// writers: shared for readers, exclusive for writers and appenders.
// Time limits are in milliseconds (see flocktimed).

template <class Ref>
class LOwnedFile : public Ref {
public:
  LOwnedFile(const LOwnedFile&) = delete;
  LOwnedFile& operator=(const LOwnedFile&) = delete;
  ~LOwnedFile() { Close(); }

  void Close();

protected:
  LOwnedFile() = default;
};

// How an owning class opens its file.
struct LFileOpenMode {
  int flags;      // open() flags besides O_CLOEXEC
  int lock;       // LOCK_SH, LOCK_EX or 0 for none
  bool retry;     // retried with flocktimed, else one non-blocking try
  bool truncate;  // truncate to 0 after locking
  bool toEnd;     // position at the end after locking
};

// Opens path as described; returns the descriptor or -1.
int LOpenFileLocked(const char* path, const LFileOpenMode& mode, unsigned int timeLimitMs);
void LCloseFile(int& fd);

template <class Ref>
void LOwnedFile<Ref>::Close()
{
  LCloseFile(this->fd_);
}

// Read only, shared lock.
class LReadFile : public LOwnedFile<LReadFileRef> {
public:
  explicit LReadFile(const char* path);
  LReadFile(const char* path, unsigned int timeLimitMs);
};

// Read-write, created (0666), exclusive lock, truncated to 0.
class LWriteFile : public LOwnedFile<LWriteFileRef> {
public:
  LWriteFile() = default;
  explicit LWriteFile(const char* path);
  LWriteFile(const char* path, unsigned int timeLimitMs);
  // As the one-try constructor, but fails when the file exists already.
  bool OpenNew(const char* path);
};

// Write only, created, exclusive lock, every write at the end.
class LAppendFile : public LOwnedFile<LWriteFileRef> {
public:
  LAppendFile(const char* path, unsigned int timeLimitMs);
};

// Read only, no lock.
class LSharedReadFile : public LOwnedFile<LReadFileRef> {
public:
  explicit LSharedReadFile(const char* path);
};

// Read-write, created, shared lock, truncated to 0.
class LSharedWriteFile : public LOwnedFile<LWriteFileRef> {
public:
  explicit LSharedWriteFile(const char* path);
};

// Read-write, created, shared lock, content kept.
class LSharedReadWriteFile : public LOwnedFile<LReadWriteFileRef> {
public:
  explicit LSharedReadWriteFile(const char* path);
};

// Read-write, created, exclusive lock, content kept.
class LReadWriteFile : public LOwnedFile<LReadWriteFileRef> {
public:
  LReadWriteFile(const char* path, unsigned int timeLimitMs);
};
