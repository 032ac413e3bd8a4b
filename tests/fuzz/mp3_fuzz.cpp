// The MP3 decoder: arbitrary bytes through the frame decoder frame by frame, and as a whole file
// through the source (open, read in odd block sizes, seek, read on).

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "audio/mp3header.h"
#include "sound/mp3.h"
#include "sound/mp3framedecoder.h"

namespace {

void FuzzFrameDecoder(const uint8_t* data, size_t size)
{
  static MP3FrameDecoder decoder;
  static int out[1152 * 2];
  unsigned char side[36];
  std::vector<unsigned char> frame;
  bool configured = false;
  size_t pos = 0;
  while (pos + 4 <= size) {
    MP3Header h;
    if (!h.Parse(data + pos)) {
      pos++;
      continue;
    }
    if (!configured) {
      decoder.Configure(h);
      configured = true;
    }
    // A frame cut off by the end of the input is decoded from what is there, zero-padded.
    frame.assign(data + pos, data + (pos + h.GetFrameLength() < size ? pos + h.GetFrameLength() : size));
    frame.resize(h.GetFrameLength(), 0);
    size_t sideAt = 4 + h.GetCrcLength();
    std::memset(side, 0, sizeof(side));
    std::memcpy(side, frame.data() + sideAt, h.GetSideInfoLength());
    decoder.DecodeFrame(h, side, frame.data() + sideAt + h.GetSideInfoLength(), h.GetMainDataLength(), out);
    pos += h.GetFrameLength();
  }
}

// The input as a file: an anonymous memory file opened through its /proc path.
void FuzzSource(const uint8_t* data, size_t size)
{
  int fd = memfd_create("mp3fuzz", MFD_CLOEXEC);
  if (fd < 0)
    return;
  if (write(fd, data, size) == (ssize_t)size) {
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/self/fd/%d", fd);
    LSoundSource s = LMP3File::OpenSource(path);
    if (s.IsOpen()) {
      static int buffer[3000 * 2];
      int block = size ? 1 + data[0] * 11 % 2999 : 1152;
      for (int i = 0; i < 64 && s.Read(buffer, block) > 0; i++)
        ;
      long long span = (long long)s.GetEndSample() + 3000;
      s.Seek(size > 2 ? (int)((long long)(data[1] << 8 | data[2]) * 37 % span) - 1000 : 0);
      for (int i = 0; i < 8 && s.Read(buffer, block) > 0; i++)
        ;
    }
  }
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzFrameDecoder(data, size);
  FuzzSource(data, size);
  return 0;
}
