#include "sound/vox.h"

#include <algorithm>
#include <climits>

#include "base/fileref.h"
#include "sound/formaterrors.h"

namespace {

constexpr int kStepCount = 49;
constexpr int kSteps[kStepCount] = {16,  17,  19,  21,  23,  25,   28,   31,   34,   37,  41,  45,  50,
                                    55,  60,  66,  73,  80,  88,   97,   107,  118,  130, 143, 157, 173,
                                    190, 209, 230, 253, 279, 307,  337,  371,  408,  449, 494, 544, 598,
                                    658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};
constexpr int kIndexAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

}  // namespace

int LVox::Decode(int code)
{
  stepIndex_ = std::clamp(stepIndex_, 0, kStepCount - 1);
  int magnitude = (2 * (code & 7) + 1) * 16;
  int delta = kSteps[stepIndex_] * ((code & 8) != 0 ? -magnitude : magnitude);
  // The leak bounds the predictor at 64 times the largest step (about
  // 2^24), so no input can overflow it.
  predictor_ = predictor_ + delta - (predictor_ >> 6);
  stepIndex_ += kIndexAdjust[code & 7];
  return predictor_;
}

LSRCVOX::LSRCVOX(int fd, int rate) : LSoundSourceBase(rate, 1, kPeak), fd_(fd)
{
  if (!fd_.IsValid()) {
    SetError(kFileErrorOpen);
    return;
  }
  LFileRef file(fd_.Get());
  end_ = static_cast<int>(std::min<uint64_t>(file.GetFileSizeBytes() * 2, INT_MAX));
  file.Seek(0);
}

int LSRCVOX::NextByte()
{
  if (bufferIndex_ >= bufferFill_) {
    LReadFileRef file(fd_.Get());
    bufferFill_ = static_cast<int>(file._Read(buffer_, kBufferBytes));
    bufferIndex_ = 0;
    if (bufferFill_ <= 0) {
      bufferFill_ = 0;
      return -1;
    }
  }
  return buffer_[bufferIndex_++];
}

int LSRCVOX::Read(int* samples, int frames)
{
  if (frames <= 0) {
    return 0;
  }
  const int64_t start = position_;
  for (int i = 0; i < frames; ++i) {
    int64_t at = start + i;
    samples[i] = 0;
    if (at < 0 || at >= end_) {
      continue;
    }
    int code;
    if (nibblePending_) {
      code = pendingByte_ & 0x0F;
      nibblePending_ = false;
    } else {
      int byte = NextByte();
      if (byte < 0) {
        continue;  // the file shrank since it was opened
      }
      pendingByte_ = static_cast<uint8_t>(byte);
      nibblePending_ = true;
      code = byte >> 4;
    }
    samples[i] = Decode(code);
  }
  position_ = static_cast<int>(std::min<int64_t>(start + frames, INT_MAX));
  return static_cast<int>(std::clamp<int64_t>(end_ - start, 0, frames));
}

void LSRCVOX::Seek(int frame)
{
  position_ = frame;
  nibblePending_ = false;
  bufferFill_ = 0;
  bufferIndex_ = 0;
  if (frame <= 0) {
    ResetDecoder();
  }
  LFileRef file(fd_.Get());
  int64_t byte = std::clamp<int64_t>(frame, 0, end_) / 2;
  file.Seek(static_cast<uint64_t>(byte));
  // A frame in the middle of a byte starts with that byte's low nibble
  // rather than with the high nibble of the byte read before the seek.
  if (frame > 0 && frame < end_ && (frame & 1) != 0) {
    int value = NextByte();
    if (value >= 0) {
      pendingByte_ = static_cast<uint8_t>(value);
      nibblePending_ = true;
    }
  }
}
