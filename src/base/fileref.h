#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>

// A POSIX file descriptor that this object does not own (-1 when not open).
// The owning classes (fileclasses.h) open in their constructor and close in
// their destructor.  Reads and writes report errors as 0 bytes.
class LFileRef {
public:
  explicit LFileRef(int fd = -1) : fd_(fd) {}

  bool operator!() const { return fd_ < 0; }
  explicit operator bool() const { return fd_ >= 0; }
  int GetHandle() const { return fd_; }

  // One read or write call (retried when interrupted); bytes done, 0 on error.
  std::size_t _Read(void* buffer, std::size_t bytes);
  std::size_t _Write(const void* buffer, std::size_t bytes);

  bool Seek(uint64_t offset);
  bool SeekOffset(int64_t delta);
  // Current offset, 0 on error.
  uint64_t Tell() const;
  // 0 when the file cannot be examined.
  uint64_t GetFileSizeBytes() const;
  // Cuts the file at the current offset.
  bool Truncate();
  bool GetFileModifiedTime(time_t& time) const;

protected:
  int fd_;
};

class LReadFileRef : public virtual LFileRef {
public:
  using LFileRef::LFileRef;

  // Reads until bytes are read or the file ends; returns the count.
  std::size_t Read(void* buffer, std::size_t bytes);
  // Reads one line ending in CR, LF, CR LF or LF CR into buffer (size bytes,
  // always terminated when size > 0); characters beyond size - 1 are read
  // and dropped.  False at the end of the file when nothing was read.
  bool ReadLine(char* buffer, std::size_t size);
  bool ReadLineUTF8(char* buffer, std::size_t size);
  // Little-endian; 0 when the file ends first.
  uint8_t ReadUInt8();
  uint32_t ReadUInt32();
};

class LWriteFileRef : public virtual LFileRef {
public:
  using LFileRef::LFileRef;

  // Writes all bytes unless an error stops it; returns the count written.
  std::size_t Write(const void* buffer, std::size_t bytes);
  // Each true when every byte was written.
  bool WriteString(const char* text);
  bool WriteStringUTF8(const char* text);
  bool WriteLineLF(const char* text);
  bool WriteLineCRLF(const char* text);
  bool WriteUInt8(uint8_t value);
  bool WriteUInt32(uint32_t value);
};

class LReadWriteFileRef : public LReadFileRef, public LWriteFileRef {
public:
  explicit LReadWriteFileRef(int fd = -1) : LFileRef(fd) {}
};

// Formats with the program's formatter (%d %s %H %U) and writes the text;
// returns its length.
std::size_t fprintf(LWriteFileRef& file, const char* format, ...);
