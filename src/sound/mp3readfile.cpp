#include "sound/mp3readfile.h"

#include <cstring>

MP3ReadFile::MP3ReadFile(const char* path) : file_(path)
{
  if (file_)
    size_ = (long long)file_.GetFileSizeBytes();
}

bool MP3ReadFile::Fill()
{
  // Called when the buffer is used up: the next block starts at the current offset.
  bufferStart_ += bufferPos_;
  bufferPos_ = 0;
  bufferFill_ = 0;
  if (!file_ || bufferStart_ >= size_ || !file_.Seek((uint64_t)bufferStart_))
    return false;
  bufferFill_ = (int)file_.Read(buffer_, kBufferSize);
  return bufferFill_ > 0;
}

int MP3ReadFile::ReadByteSlow()
{
  if (!Fill())
    return -1;
  return buffer_[bufferPos_++];
}

int MP3ReadFile::Read(void* out, int bytes)
{
  unsigned char* dest = static_cast<unsigned char*>(out);
  int done = 0;
  while (done < bytes) {
    if (bufferPos_ >= bufferFill_ && !Fill())
      break;
    int n = bufferFill_ - bufferPos_;
    if (n > bytes - done)
      n = bytes - done;
    std::memcpy(dest + done, buffer_ + bufferPos_, n);
    bufferPos_ += n;
    done += n;
  }
  return done;
}

void MP3ReadFile::Seek(long long offset)
{
  if (offset < 0)
    offset = 0;
  if (offset >= bufferStart_ && offset <= bufferStart_ + bufferFill_) {
    bufferPos_ = (int)(offset - bufferStart_);
    return;
  }
  bufferStart_ = offset;
  bufferPos_ = 0;
  bufferFill_ = 0;
}

bool MP3ReadHeader(MP3ReadFile& file, MP3Header& header)
{
  unsigned char b[4];
  if (file.Read(b, 4) < 4)
    return false;
  for (int searched = 0;; searched++) {
    if (header.Parse(b)) {
      if (!header.protection)
        file.Skip(2);
      return true;
    }
    if (searched >= kMP3MaxSearchBytes)
      return false;
    int next = file.ReadByte();
    if (next < 0)
      return false;
    b[0] = b[1];
    b[1] = b[2];
    b[2] = b[3];
    b[3] = (unsigned char)next;
  }
}
