#include "sound/chunkfile.h"

#include <cstring>

namespace {

// A chunk's size with its pad byte, or -1 when that passes the largest
// signed 32-bit offset (the chunk cannot be skipped in one step and no
// sound file of this program's kind holds such a chunk before its audio).
int64_t PaddedSize(uint32_t size)
{
  int64_t padded = (static_cast<int64_t>(size) + 1) & ~static_cast<int64_t>(1);
  return padded > INT32_MAX ? -1 : padded;
}

}  // namespace

uint32_t LLoadLE32(const unsigned char* b)
{
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
         (static_cast<uint32_t>(b[3]) << 24);
}

uint16_t LLoadLE16(const unsigned char* b)
{
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t LLoadBE32(const unsigned char* b)
{
  return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
         (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
}

uint16_t LLoadBE16(const unsigned char* b)
{
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

bool LFindChunk(LReadFileRef& file, const char* id, LChunkByteOrder order, uint32_t& size)
{
  for (;;) {
    unsigned char header[8];
    if (file.Read(header, sizeof header) != sizeof header) {
      return false;
    }
    size = order == LChunkByteOrder::Little ? LLoadLE32(header + 4) : LLoadBE32(header + 4);
    if (memcmp(header, id, 4) == 0) {
      return true;
    }
    int64_t skip = PaddedSize(size);
    if (skip < 0 || !file.SeekOffset(skip)) {
      return false;
    }
  }
}

bool LSkipChunkRest(LReadFileRef& file, uint32_t size, uint32_t used)
{
  int64_t skip = PaddedSize(size);
  if (skip < 0 || skip < used) {
    return false;
  }
  return skip == used || file.SeekOffset(skip - used);
}
