#include "sound/raw.h"

#include <fcntl.h>

#include "base/fileclasses.h"
#include "sound/formaterrors.h"
#include "sound/vox.h"

namespace {

using RawFactory = LSoundSourceBase* (*)(LFileRef& file, int rate, unsigned char channels);

template <class T, int Peak>
LSoundSourceBase* MakeRaw(LFileRef& file, int rate, unsigned char channels)
{
  auto* source = new LRawFileDataSoundSource<T>(file, rate, channels, Peak, LSRCPCMFileBase::kDataToEnd);
  source->FollowFileEnd();
  return source;
}

constexpr int kPeakG711 = 0x7E000;
constexpr int kPeakFloat = 0x1000A8;

// Indexed by codec; codec 0 (ADPCM) has its own reader.
const RawFactory kRawFactories[kRawCodecCount] = {
    nullptr,
    MakeRaw<LSFULAW, kPeakG711>,
    MakeRaw<LSFALAW, kPeakG711>,
    MakeRaw<LSF16, kPeakPCM>,
    MakeRaw<LSFU8, kPeakPCM>,
    MakeRaw<LSFS8, kPeakPCM>,
    MakeRaw<LSFBE16, kPeakPCM>,
    MakeRaw<LSFF32, kPeakFloat>,
    MakeRaw<LSFFRE32, kPeakFloat>,
};

}  // namespace

LSoundSource LRawFile::OpenSource(const char* path, const LRawSettings& settings)
{
  if (settings.codec == kRawCodecDialogicADPCM) {
    return OpenSourceADPCM(path, settings.sampleRate, settings.channels);
  }
  if (settings.codec < 0 || settings.codec >= kRawCodecCount) {
    return LSoundSource(new LSoundSourceError(kSourceErrorNoSource));
  }
  LSharedReadFile file(path);
  return LSoundSource(kRawFactories[settings.codec](file, settings.sampleRate, settings.channels));
}

LSoundSource LRawFile::OpenSourceADPCM(const char* path, int rate, unsigned char channels)
{
  (void)channels;
  LSharedReadFile file(path);
  int fd = file ? fcntl(file.GetHandle(), F_DUPFD_CLOEXEC, 0) : -1;
  return LSoundSource(new LSRCVOX(fd, rate));
}
