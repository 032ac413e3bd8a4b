#include "base/fileref.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "base/formatter.h"

std::size_t LFileRef::_Read(void* buffer, std::size_t bytes)
{
  if (fd_ < 0) {
    return 0;
  }
  ssize_t n;
  do {
    n = ::read(fd_, buffer, bytes);
  } while (n < 0 && errno == EINTR);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::size_t LFileRef::_Write(const void* buffer, std::size_t bytes)
{
  if (fd_ < 0) {
    return 0;
  }
  ssize_t n;
  do {
    n = ::write(fd_, buffer, bytes);
  } while (n < 0 && errno == EINTR);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool LFileRef::Seek(uint64_t offset)
{
  return fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool LFileRef::SeekOffset(int64_t delta)
{
  return fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(delta), SEEK_CUR) >= 0;
}

uint64_t LFileRef::Tell() const
{
  off_t at = fd_ >= 0 ? ::lseek(fd_, 0, SEEK_CUR) : -1;
  return at > 0 ? static_cast<uint64_t>(at) : 0;
}

uint64_t LFileRef::GetFileSizeBytes() const
{
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    return 0;
  }
  return static_cast<uint64_t>(st.st_size);
}

bool LFileRef::Truncate()
{
  off_t at = fd_ >= 0 ? ::lseek(fd_, 0, SEEK_CUR) : -1;
  return at >= 0 && ::ftruncate(fd_, at) == 0;
}

bool LFileRef::GetFileModifiedTime(time_t& time) const
{
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    return false;
  }
  time = st.st_mtime;
  return true;
}

std::size_t LReadFileRef::Read(void* buffer, std::size_t bytes)
{
  std::size_t done = 0;
  while (done < bytes) {
    std::size_t n = _Read(static_cast<char*>(buffer) + done, bytes - done);
    if (n == 0) {
      break;
    }
    done += n;
  }
  return done;
}

bool LReadFileRef::ReadLine(char* buffer, std::size_t size)
{
  std::size_t kept = 0;
  bool any = false;
  char c;
  while (_Read(&c, 1) == 1) {
    if (c == '\r' || c == '\n') {
      // A CR LF or LF CR pair is one line end; anything else after the
      // line end (the same character again too) starts the next line.
      char next;
      if (_Read(&next, 1) == 1 && !(next != c && (next == '\r' || next == '\n'))) {
        SeekOffset(-1);
      }
      if (size > 0) {
        buffer[kept] = 0;
      }
      return true;
    }
    any = true;
    if (kept + 1 < size) {
      buffer[kept++] = c;
    }
  }
  if (size > 0) {
    buffer[kept] = 0;
  }
  return any;
}

bool LReadFileRef::ReadLineUTF8(char* buffer, std::size_t size)
{
  return ReadLine(buffer, size);
}

uint8_t LReadFileRef::ReadUInt8()
{
  uint8_t value = 0;
  return Read(&value, 1) == 1 ? value : 0;
}

uint32_t LReadFileRef::ReadUInt32()
{
  uint8_t bytes[4];
  if (Read(bytes, 4) != 4) {
    return 0;
  }
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::size_t LWriteFileRef::Write(const void* buffer, std::size_t bytes)
{
  std::size_t done = 0;
  while (done < bytes) {
    std::size_t n = _Write(static_cast<const char*>(buffer) + done, bytes - done);
    if (n == 0) {
      break;
    }
    done += n;
  }
  return done;
}

bool LWriteFileRef::WriteString(const char* text)
{
  std::size_t length = text != nullptr ? std::strlen(text) : 0;
  return Write(text, length) == length;
}

bool LWriteFileRef::WriteStringUTF8(const char* text)
{
  return WriteString(text);
}

bool LWriteFileRef::WriteLineLF(const char* text)
{
  return WriteString(text) && WriteString("\n");
}

bool LWriteFileRef::WriteLineCRLF(const char* text)
{
  return WriteString(text) && WriteString("\r\n");
}

bool LWriteFileRef::WriteUInt8(uint8_t value)
{
  return Write(&value, 1) == 1;
}

bool LWriteFileRef::WriteUInt32(uint32_t value)
{
  uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                      static_cast<uint8_t>(value >> 24)};
  return Write(bytes, 4) == 4;
}

std::size_t fprintf(LWriteFileRef& file, const char* format, ...)
{
  LStringLongTemplate text;
  va_list args;
  va_start(args, format);
  vsprintf(text, format, args);
  va_end(args);
  file.Write(text.c_str(), text.GetLength());
  return text.GetLength();
}
