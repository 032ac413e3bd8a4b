#include "sound/aiff.h"

#include <climits>
#include <cstring>

#include "base/fileclasses.h"
#include "sound/chunkfile.h"
#include "sound/formaterrors.h"
#include "sound/wavcodecs.h"

namespace {

constexpr uint32_t kCommBytes = 18;
constexpr uint32_t kSsndFieldBytes = 8;
constexpr int kMaxBits = 16;
constexpr uint16_t kExponentMin = 0x4000;
constexpr uint16_t kExponentMax = 0x401E;

LSoundSource Failed(unsigned char code)
{
  return LSoundSource(new LSoundSourceError(code));
}

}  // namespace

uint32_t LAifExtendedToRate(const unsigned char* extended)
{
  // The sign bit is part of the exponent field: a negative rate falls
  // outside the range as well.
  uint16_t exponent = LLoadBE16(extended);
  if (exponent < kExponentMin || exponent > kExponentMax) {
    return 0;
  }
  uint32_t mantissa = LLoadBE32(extended + 2);
  int shift = 30 - (exponent & 0xFF);
  if (shift == 0) {
    return mantissa;
  }
  uint32_t rate = mantissa >> shift;
  if (((mantissa >> (shift - 1)) & 1) != 0) {
    ++rate;
  }
  return rate;
}

LSoundSource LAifFile::OpenSource(const char* path)
{
  LSharedReadFile file(path);
  unsigned char form[12];
  if (file.Read(form, sizeof form) != sizeof form) {
    return Failed(file ? kFileErrorCorrupt : kFileErrorOpen);
  }
  if (memcmp(form, "FORM", 4) != 0 || memcmp(form + 8, "AIFF", 4) != 0) {
    return Failed(kFileErrorCorrupt);
  }
  uint32_t size = 0;
  unsigned char comm[kCommBytes];
  // A "COMM" shorter than its fixed fields would have the rest read from
  // whatever follows it.
  if (!LFindChunk(file, "COMM", LChunkByteOrder::Big, size) || size < kCommBytes ||
      file.Read(comm, sizeof comm) != sizeof comm || !LSkipChunkRest(file, size, kCommBytes)) {
    return Failed(kFileErrorCorrupt);
  }
  uint16_t channels = LLoadBE16(comm);
  uint16_t bits = LLoadBE16(comm + 6);
  uint32_t rate = LAifExtendedToRate(comm + 8);
  unsigned char fields[kSsndFieldBytes];
  if (!LFindChunk(file, "SSND", LChunkByteOrder::Big, size) || file.Read(fields, sizeof fields) != sizeof fields) {
    return Failed(kFileErrorCorrupt);
  }
  uint32_t dataBytes = size >= kSsndFieldBytes ? size - kSsndFieldBytes : 0;
  if (bits > kMaxBits) {
    return Failed(kFileErrorEncoding);
  }
  // Counts the 8-bit channel field cannot hold would otherwise wrap to
  // another count.
  if (channels < 1 || channels > 255 || rate < 1 || rate > INT_MAX) {
    return Failed(kFileErrorCorrupt);
  }
  const auto count = static_cast<unsigned char>(channels);
  if (bits > 8) {
    return LSoundSource(new LSRCPCMFile<LSFBE16>(file, static_cast<int>(rate), count, kPeakPCM, dataBytes));
  }
  return LSoundSource(new LSRCPCMFile<LSFS8>(file, static_cast<int>(rate), count, kPeakPCM, dataBytes));
}
