#pragma once

#include "audio/mp3header.h"
#include "base/fileclasses.h"

// The MP3 decoder's input file: a shared read file (no lock: other readers and the recordings library
// may hold the same file), read through a fixed buffer so that the byte-wise header search costs no
// system call per byte. Used by one decoder thread at a time.
class MP3ReadFile {
public:
  explicit MP3ReadFile(const char* path);
  MP3ReadFile(const MP3ReadFile&) = delete;
  MP3ReadFile& operator=(const MP3ReadFile&) = delete;

  bool IsOpen() const { return (bool)file_; }

  // Copies up to `bytes` bytes; returns how many arrived (fewer only at the end of the file).
  int Read(void* out, int bytes);
  // The next byte, or -1 at the end of the file.
  int ReadByte()
  {
    if (bufferPos_ < bufferFill_)
      return buffer_[bufferPos_++];
    return ReadByteSlow();
  }
  // Moves the read offset; offsets beyond the end are allowed and read nothing.
  void Seek(long long offset);
  void Skip(long long bytes) { Seek(Tell() + bytes); }
  long long Tell() const { return bufferStart_ + bufferPos_; }

  long long GetSize() const { return size_; }
  // The length used by every estimate: the size without its last 128 bytes (where an ID3v1 tag may
  // sit), never below 0.
  long long GetLength() const { return size_ > 128 ? size_ - 128 : 0; }
  // The length minus the current offset: what is left for the estimates. Negative once reading has
  // gone into the last 128 bytes.
  long long GetBytesToEnd() const { return GetLength() - Tell(); }

private:
  int ReadByteSlow();
  bool Fill();

  static constexpr int kBufferSize = 32768;

  LSharedReadFile file_;
  long long size_ = 0;
  long long bufferStart_ = 0;  // file offset of buffer_[0]
  int bufferFill_ = 0;
  int bufferPos_ = 0;
  unsigned char buffer_[kBufferSize];
};

// The header search's reach beyond the first four bytes.
constexpr int kMP3MaxSearchBytes = 65535;

// Searches the file for the next header from its current offset: drops one byte at a time, at most
// kMP3MaxSearchBytes bytes beyond the first four. On success the file stands after the header and its
// CRC word (which is not checked).
bool MP3ReadHeader(MP3ReadFile& file, MP3Header& header);
