#include "sound/au.h"

#include <climits>
#include <cstring>

#include "base/fileclasses.h"
#include "sound/chunkfile.h"
#include "sound/formaterrors.h"
#include "sound/wavcodecs.h"

namespace {

using AuFactory = LSoundSourceBase* (*)(LFileRef& file, int rate, unsigned char channels, uint32_t dataBytes);

template <class T, int Peak>
LSoundSourceBase* MakeAu(LFileRef& file, int rate, unsigned char channels, uint32_t dataBytes)
{
  return new LSRCPCMFile<T>(file, rate, channels, Peak, dataBytes);
}

constexpr int kPeakG711 = 0x7E000;

struct AuEncoding {
  uint32_t code;
  AuFactory make;
};

constexpr AuEncoding kEncodings[] = {
    {1, MakeAu<LSFULAW, kPeakG711>},
    {2, MakeAu<LSFS8, kPeakPCM>},
    {3, MakeAu<LSFBE16, kPeakPCM>},
    {27, MakeAu<LSFALAW, kPeakG711>},
};

LSoundSource Failed(unsigned char code)
{
  return LSoundSource(new LSoundSourceError(code));
}

}  // namespace

LSoundSource LAuFile::OpenSource(const char* path)
{
  LSharedReadFile file(path);
  unsigned char header[24];
  if (file.Read(header, sizeof header) != sizeof header) {
    return Failed(file ? kFileErrorCorrupt : kFileErrorOpen);
  }
  if (memcmp(header, ".snd", 4) != 0) {
    return Failed(kFileErrorCorrupt);
  }
  uint32_t offset = LLoadBE32(header + 4);
  uint32_t dataBytes = LLoadBE32(header + 8);
  uint32_t encoding = LLoadBE32(header + 12);
  uint32_t rate = LLoadBE32(header + 16);
  uint32_t channels = LLoadBE32(header + 20);
  for (const AuEncoding& row : kEncodings) {
    if (row.code != encoding) {
      continue;
    }
    // Counts the 8-bit channel field cannot hold would otherwise wrap to
    // another count.
    if (channels < 1 || channels > 255 || rate < 1 || rate > INT_MAX) {
      return Failed(kFileErrorCorrupt);
    }
    file.Seek(offset);
    return LSoundSource(row.make(file, static_cast<int>(rate), static_cast<unsigned char>(channels), dataBytes));
  }
  return Failed(kFileErrorEncoding);
}
