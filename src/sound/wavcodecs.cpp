#include "sound/wavcodecs.h"

#include <algorithm>
#include <climits>
#include <fcntl.h>

#include "sound/formaterrors.h"

namespace {

int ClampFrames(int64_t frames)
{
  return static_cast<int>(std::clamp<int64_t>(frames, 0, INT_MAX));
}

}  // namespace

LSRCPCMFileBase::LSRCPCMFileBase(LFileRef& file, int rate, unsigned char channels, int peak, int bytesPerSample,
                                 uint32_t dataBytes)
    : LSoundSourceBase(rate, channels, peak), bytesPerSample_(bytesPerSample)
{
  if (file) {
    fd_ = LUniqueFD(fcntl(file.GetHandle(), F_DUPFD_CLOEXEC, 0));
  }
  if (!fd_.IsValid()) {
    SetError(kFileErrorOpen);
    return;
  }
  dataStart_ = static_cast<int64_t>(file.Tell());
  frameBytes_ = GetChannels() * bytesPerSample;
  if (frameBytes_ <= 0) {
    SetError(kFileErrorCorrupt);
    frameBytes_ = 2;
  }
  if (dataBytes == kDataToEnd) {
    int64_t size = static_cast<int64_t>(file.GetFileSizeBytes());
    end_ = ClampFrames((size - dataStart_) / frameBytes_);
  } else {
    end_ = ClampFrames(dataBytes / frameBytes_);
  }
}

int LSRCPCMFileBase::GetEndSample() const
{
  if (!followFile_) {
    return end_;
  }
  LFileRef file(fd_.Get());
  return ClampFrames((static_cast<int64_t>(file.GetFileSizeBytes()) - dataStart_) / frameBytes_);
}

int LSRCPCMFileBase::Read(int* samples, int frames)
{
  if (frames <= 0) {
    return 0;
  }
  const int64_t start = position_;
  const int64_t end = GetEndSample();
  const int channels = GetChannels();
  for (int done = 0; done < frames; done += kReadFrames) {
    ReadChunk(samples + static_cast<int64_t>(done) * channels, start + done, std::min(kReadFrames, frames - done));
  }
  position_ = static_cast<int>(std::min<int64_t>(start + frames, INT_MAX));
  return static_cast<int>(std::clamp<int64_t>(end - start, 0, frames));
}

void LSRCPCMFileBase::ReadChunk(int* samples, int64_t start, int frames)
{
  const int channels = GetChannels();
  ClearAudioBuffer(samples, frames, static_cast<unsigned char>(channels));
  const int64_t from = std::max<int64_t>(start, 0);
  const int64_t to = std::min<int64_t>(start + frames, GetEndSample());
  if (to <= from || !fd_.IsValid()) {
    return;
  }
  LReadFileRef file(fd_.Get());
  if (!file.Seek(static_cast<uint64_t>(dataStart_ + from * frameBytes_))) {
    return;
  }
  size_t bytes = file.Read(GetBuffer(), static_cast<size_t>((to - from) * frameBytes_));
  ConvertIn(samples + (from - start) * channels, static_cast<int>(bytes / static_cast<size_t>(bytesPerSample_)));
}
