#include "sound/spconvchannels.h"

#include <algorithm>

#include "audio/soundbase.h"

LSRCConvChannels::LSRCConvChannels(const LSoundSource& input, unsigned char channels)
    : LSoundProcessBase(input), inChannels_(input.GetChannels()),
      buffer_(static_cast<size_t>(kBlockFrames) * input.GetChannels())
{
  SetChannels(channels);
}

int LSRCConvChannels::ReadInput(int frames)
{
  int n = input_.Read(buffer_.data(), frames);
  return n < 0 ? 0 : std::min(n, frames);
}

// Callers may ask for more than one block: the input is read block by block
// so that the read buffer never overflows.  The part of `samples` that the
// input could not fill is cleared.
int LSRCConvChannels::Read(int* samples, int frames)
{
  const int out = GetChannels();
  const int in = inChannels_;
  int done = 0;
  while (done < frames) {
    int n = ReadInput(std::min(frames - done, kBlockFrames));
    int* dst = samples + static_cast<size_t>(done) * out;
    for (int i = 0; i < n; ++i) {
      const int* src = &buffer_[static_cast<size_t>(i) * in];
      for (int c = 0; c < out; ++c) {
        dst[i * out + c] = src[c % in];
      }
    }
    done += n;
    if (n == 0) {
      break;
    }
  }
  if (frames > done) {
    ClearAudioBuffer(samples + static_cast<size_t>(done) * out, frames - done, static_cast<unsigned char>(out));
  }
  return done;
}

int LSRCConvStereoMono::Read(int* samples, int frames)
{
  int done = 0;
  while (done < frames) {
    int n = ReadInput(std::min(frames - done, kBlockFrames));
    int* dst = samples + done;
    for (int i = 0; i < n; ++i) {
      dst[i] = buffer_[static_cast<size_t>(i) * 2];
    }
    done += n;
    if (n == 0) {
      break;
    }
  }
  if (frames > done) {
    ClearAudioBuffer(samples + done, frames - done);
  }
  return done;
}

int LSRCConvMonoStereo::Read(int* samples, int frames)
{
  int done = 0;
  while (done < frames) {
    int n = ReadInput(std::min(frames - done, kBlockFrames));
    int* dst = samples + static_cast<size_t>(done) * 2;
    for (int i = 0; i < n; ++i) {
      dst[2 * i] = buffer_[i];
      dst[2 * i + 1] = buffer_[i];
    }
    done += n;
    if (n == 0) {
      break;
    }
  }
  if (frames > done) {
    ClearAudioBuffer(samples + static_cast<size_t>(done) * 2, (frames - done) * 2);
  }
  return done;
}

LSoundSource LSPConvChannels::OpenSource(LSoundSource& input)
{
  const unsigned char have = input.GetChannels();
  if (input.Error() || have == 0 || channels_ == 0 || have == channels_) {
    return input;
  }
  if (have == 2 && channels_ == 1) {
    return LSoundSource(new LSRCConvStereoMono(input));
  }
  if (have == 1 && channels_ == 2) {
    return LSoundSource(new LSRCConvMonoStereo(input));
  }
  return LSoundSource(new LSRCConvChannels(input, channels_));
}
