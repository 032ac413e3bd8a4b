// File system operations of LFile: folders, copies, deletion, temporary
// files and lock tests.
#include "base/file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/fileclasses.h"
#include "base/folderiterator.h"

namespace {

// Owns a descriptor opened for a short test.
class LScopedFd {
public:
  explicit LScopedFd(int fd) : fd_(fd) {}
  LScopedFd(const LScopedFd&) = delete;
  LScopedFd& operator=(const LScopedFd&) = delete;
  ~LScopedFd()
  {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int Get() const { return fd_; }

private:
  int fd_;
};

bool SameFile(const char* a, const char* b)
{
  struct stat sa;
  struct stat sb;
  return ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// True when another holder has path locked against `operation`.
bool ShareBlocked(const char* path, int operation)
{
  LScopedFd fd(::open(path, O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    return false;
  }
  return ::flock(fd.Get(), operation | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

}  // namespace

bool LFile::CreateFolder(const char* path)
{
  return ::mkdir(path, 0777) == 0;
}

bool LFile::IsFolder(const char* path)
{
  struct stat st;
  return path != nullptr && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool LFile::TestFileExists(const char* path)
{
  struct stat st;
  return path != nullptr && ::stat(path, &st) == 0;
}

bool LFile::TestFolderWritable(const char* path)
{
  return path != nullptr && IsFolder(path) && ::access(path, W_OK) == 0;
}

uint64_t LFile::GetFileSizeBytes(const char* path)
{
  struct stat st;
  if (path == nullptr || ::stat(path, &st) != 0) {
    return 0;
  }
  return static_cast<uint64_t>(st.st_size);
}

bool LFile::GetFileModifiedTime(time_t& time, const char* path)
{
  struct stat st;
  if (path == nullptr || ::stat(path, &st) != 0) {
    return false;
  }
  time = st.st_mtime;
  return true;
}

bool LFile::DeleteFile(const char* path)
{
  return path != nullptr && ::unlink(path) == 0;
}

bool LFile::DeleteFile(const char* path, unsigned int /*timeLimitMs*/)
{
  return DeleteFile(path);
}

bool LFile::IsSameFile(const char* a, const char* b)
{
  return SameFile(a, b);
}

bool LFile::CopyFile(const char* from, const char* to)
{
  // Opening the target empties it: copying a file onto itself would lose it.
  if (SameFile(from, to)) {
    return false;
  }
  LReadFile in(from);
  if (!in) {
    return false;
  }
  // A folder opens but cannot be read: refused before the target is emptied.
  struct stat source {};
  if (::fstat(in.GetHandle(), &source) != 0 || !S_ISREG(source.st_mode)) {
    return false;
  }
  LWriteFile out(to);
  if (!out) {
    return false;
  }
  char block[8192];
  for (;;) {
    ssize_t n;
    do {
      n = ::read(in.GetHandle(), block, sizeof block);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      return false;
    }
    if (n == 0) {
      return true;
    }
    if (out.Write(block, static_cast<std::size_t>(n)) != static_cast<std::size_t>(n)) {
      return false;
    }
  }
}

bool LFile::CopyFolderFiles(const char* from, const char* to)
{
  if (!IsFolder(from)) {
    return false;
  }
  if (!IsFolder(to) && !CreateFolder(to)) {
    return false;
  }
  char target[kPathSize];
  char source[kPathSize];
  for (FolderIteratorAllFiles it(from); it; it.Next()) {
    // Entries whose paths would be cut are skipped: a cut name could be
    // another file.
    if (it.IsDotOrDotDot() || !it.GetFilePath(source) || !MakeFilePathWhole(target, to, it.GetFile())) {
      continue;
    }
    if (it.IsFolder()) {
      CreateFolder(target);
      CopyFolderFiles(source, target);
    } else {
      CopyFile(source, target);
    }
  }
  return true;
}

bool LFile::DeleteFolder(const char* path)
{
  return path != nullptr && ::rmdir(path) == 0;
}

bool LFile::DeleteFolderAndFiles(const char* path)
{
  if (path == nullptr) {
    return false;
  }
  char entry[kPathSize];
  for (FolderIteratorAllFiles it(path); it; it.Next()) {
    // An entry whose path does not fit is left alone (and the folder then
    // stays): its cut path could name another file.
    if (it.IsDotOrDotDot() || !it.GetFilePath(entry)) {
      continue;
    }
    if (it.IsFolder()) {
      DeleteFolderAndFiles(entry);
    } else {
      ::unlink(entry);
    }
  }
  return DeleteFolder(path);
}

bool LFile::DeleteFolderTree(const char* path)
{
  if (path == nullptr || path[0] == 0) {
    return false;
  }
  char entry[kPathSize];
  for (FolderIteratorAllFiles it(path); it; it.Next()) {
    if (!it.IsDotOrDotDot() && it.IsFolder() && it.GetFilePath(entry)) {
      DeleteFolderTree(entry);
    }
  }
  return DeleteFolderAndFiles(path);
}

bool LFile::GetTempFile(char* out)
{
  MakeFilePath(out, "/tmp", "0XXXXXX");
  LScopedFd fd(::mkostemp(out, O_CLOEXEC));
  return fd.Get() >= 0;
}

bool LFile::TestFileShareReadBlocked(const char* path)
{
  return ShareBlocked(path, LOCK_SH);
}

bool LFile::TestFileShareWriteBlocked(const char* path)
{
  return ShareBlocked(path, LOCK_EX);
}

bool LFile::AppendFile(const char* path, const void* data, std::size_t bytes, unsigned int timeLimitMs)
{
  LAppendFile file(path, timeLimitMs);
  return file && file.Write(data, bytes) == bytes;
}
