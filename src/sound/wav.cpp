#include "sound/wav.h"

#include <cstring>

#include "base/fileclasses.h"
#include "sound/chunkfile.h"
#include "sound/formaterrors.h"
#include "sound/wavcodecs.h"

namespace {

constexpr uint32_t kFormatMinBytes = 16;
constexpr uint32_t kFormatMaxBytes = 8192;
constexpr uint16_t kFormatTagPCM = 1;
constexpr int kMaxBits = 16;
constexpr uint32_t kMaxRate = 196000;

// The fields of a "fmt " chunk that the reader uses.
struct WaveFormat {
  uint16_t tag;
  uint16_t channels;
  uint32_t rate;
  uint16_t bits;
};

LSoundSource Failed(unsigned char code)
{
  return LSoundSource(new LSoundSourceError(code));
}

// Moves past any chunks before the "RIFF" .. "WAVE" header.
bool FindWaveForm(LReadFileRef& file)
{
  for (;;) {
    unsigned char header[12];
    if (file.Read(header, sizeof header) != sizeof header) {
      return false;
    }
    if (memcmp(header, "RIFF", 4) == 0 && memcmp(header + 8, "WAVE", 4) == 0) {
      return true;
    }
    uint32_t skip = LLoadLE32(header + 4);
    if (!SkipToNextChunk(skip) || !file.SeekOffset(skip)) {
      return false;
    }
  }
}

bool ReadFormat(LReadFileRef& file, WaveFormat& format)
{
  uint32_t size = 0;
  if (!LFindChunk(file, "fmt ", LChunkByteOrder::Little, size) || size < kFormatMinBytes || size > kFormatMaxBytes) {
    return false;
  }
  unsigned char body[kFormatMaxBytes];
  if (file.Read(body, size) != size) {
    return false;
  }
  format.tag = LLoadLE16(body);
  format.channels = LLoadLE16(body + 2);
  format.rate = LLoadLE32(body + 4);
  format.bits = LLoadLE16(body + 14);
  // The pad byte of an odd-sized chunk.
  return LSkipChunkRest(file, size, size);
}

}  // namespace

bool SkipToNextChunk(uint32_t& size)
{
  size = (size + 1) & ~1u;
  if (size > 4) {
    size -= 4;
    return true;
  }
  size = 0;
  return false;
}

LSoundSource LWaveFile::OpenSource(const char* path)
{
  LSharedReadFile file(path);
  if (!file) {
    return Failed(kFileErrorOpen);
  }
  WaveFormat format{};
  uint32_t dataBytes = 0;
  if (!FindWaveForm(file) || !ReadFormat(file, format) ||
      !LFindChunk(file, "data", LChunkByteOrder::Little, dataBytes)) {
    return Failed(kFileErrorCorrupt);
  }
  if (format.channels < 1 || format.channels > 255 || format.rate < 1 || format.rate > kMaxRate) {
    return Failed(kFileErrorCorrupt);
  }
  if (format.tag != kFormatTagPCM || format.bits > kMaxBits) {
    return Failed(kFileErrorEncoding);
  }
  const auto channels = static_cast<unsigned char>(format.channels);
  const auto rate = static_cast<int>(format.rate);
  if (format.bits > 8) {
    return LSoundSource(new LSRCPCMFile<LSF16>(file, rate, channels, kPeakPCM, dataBytes));
  }
  return LSoundSource(new LSRCPCMFile<LSFU8>(file, rate, channels, kPeakPCM, dataBytes));
}
