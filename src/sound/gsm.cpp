#include "sound/gsm.h"

#include <algorithm>
#include <climits>
#include <fcntl.h>

#include "audio/soundbase.h"
#include "base/fileclasses.h"
#include "sound/formaterrors.h"

namespace {

constexpr int kGSMRate = 8000;

}  // namespace

LSoundSource LGSMFile::OpenSource(const char* path)
{
  LSharedReadFile file(path);
  int fd = file ? fcntl(file.GetHandle(), F_DUPFD_CLOEXEC, 0) : -1;
  return LSoundSource(new LGSMFileSource(fd));
}

LGSMFileSource::LGSMFileSource(int fd) : LSoundSourceBase(kGSMRate, 1, LGSMDecoder::kPeak), fd_(fd)
{
  if (!fd_.IsValid()) {
    SetError(kFileErrorOpen);
    return;
  }
  LFileRef file(fd_.Get());
  uint64_t frames = file.GetFileSizeBytes() / LGSMDecoder::kFrameBytes;
  end_ = static_cast<int>(std::min<uint64_t>(frames * LGSMDecoder::kFrameSamples, INT_MAX));
  file.Seek(0);
}

void LGSMFileSource::DecodeNextFrame()
{
  unsigned char bytes[LGSMDecoder::kFrameBytes];
  LReadFileRef file(fd_.Get());
  if (file.Read(bytes, sizeof bytes) == sizeof bytes) {
    decoder_.DecodeFrame(bytes, frame_);
  } else {
    ClearAudioBuffer(frame_, LGSMDecoder::kFrameSamples);
  }
  readIndex_ = 0;
}

int LGSMFileSource::Read(int* samples, int frames)
{
  if (frames <= 0) {
    return 0;
  }
  const int64_t start = position_;
  for (int i = 0; i < frames; ++i) {
    int64_t at = start + i;
    if (at < 0 || at >= end_) {
      samples[i] = 0;
      continue;
    }
    if (readIndex_ >= LGSMDecoder::kFrameSamples) {
      DecodeNextFrame();
    }
    samples[i] = frame_[readIndex_++];
  }
  position_ = static_cast<int>(std::min<int64_t>(start + frames, INT_MAX));
  return static_cast<int>(std::clamp<int64_t>(end_ - start, 0, frames));
}

void LGSMFileSource::Seek(int frame)
{
  position_ = frame;
  decoder_.Reset();
  readIndex_ = LGSMDecoder::kFrameSamples;
  LFileRef file(fd_.Get());
  if (frame <= 0) {
    file.Seek(0);
  } else if (frame >= end_) {
    file.Seek(static_cast<uint64_t>(end_ / LGSMDecoder::kFrameSamples) * LGSMDecoder::kFrameBytes);
  } else {
    file.Seek(static_cast<uint64_t>(frame / LGSMDecoder::kFrameSamples) * LGSMDecoder::kFrameBytes);
    DecodeNextFrame();
    readIndex_ = frame % LGSMDecoder::kFrameSamples;
  }
}
