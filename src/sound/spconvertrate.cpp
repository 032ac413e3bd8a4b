#include "sound/spconvertrate.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "audio/soundbase.h"
#include "sound/spconvchannels.h"

LSRCConvertRate::LSRCConvertRate(const LSoundSource& input, int targetRate, bool preStage)
    : LSoundProcessBase(input), LConvertRateBase(input.GetSampleRate(), targetRate, kTaps, preStage), readIndex_(32),
      phaseAcc_(0), fill_(0), buffer_(static_cast<size_t>(kBufferFrames) * input.GetChannels(), 0), inShift_(0),
      outShift_(15), round_(1 << 14), loaded_(input.GetPositionSample()), inputEnded_(false), endIndex_(0)
{
  SetSampleRate(targetRate);
  // Room for the filter's overshoot above the input's own peak.
  if (input.GetPeak() <= 0x100000) {
    SetPeak(input.GetPeak() * 2);
  }
}

int LSRCConvertRate::ReadInto(int at, int frames)
{
  const int ch = GetChannels();
  int done = 0;
  if (!inputEnded_) {
    while (done < frames) {
      int n = input_.Read(&buffer_[static_cast<size_t>(at + done) * ch], frames - done);
      if (n <= 0) {
        break;
      }
      done += std::min(n, frames - done);
    }
  }
  if (done < frames) {
    ClearAudioBuffer(&buffer_[static_cast<size_t>(at + done) * ch], frames - done, static_cast<unsigned char>(ch));
    if (!inputEnded_) {
      inputEnded_ = true;
      endIndex_ = at + done;
    }
  }
  return done;
}

void LSRCConvertRate::ReadBuffer()
{
  const int ch = GetChannels();
  if (fill_ > kCompactAfter) {
    memmove(buffer_.data(), &buffer_[static_cast<size_t>(fill_) * ch], static_cast<size_t>(kTaps) * ch * sizeof(int));
    readIndex_ -= fill_;
    endIndex_ -= fill_;
    fill_ = 0;
  }
  int* overlap = &buffer_[static_cast<size_t>(fill_) * ch];
  if (inShift_ > 0) {
    for (int i = 0; i < kTaps * ch; ++i) {
      overlap[i] = static_cast<int>(static_cast<uint32_t>(overlap[i]) << inShift_);
    }
  }
  const int count = std::min(kBlockFrames, 32768 - fill_);
  ReadInto(fill_ + kTaps, count);

  const int frames = kTaps + count;
  const int peak = GetBufferPeak(overlap, frames, static_cast<unsigned char>(ch));
  int s = 0;
  // Past 2^30 (far beyond any real signal) the shift stops at 15 so that
  // the output shift never goes negative; the 64-bit sums take the rest.
  while (s < 15 && (peak >> s) > 32767) {
    ++s;
  }
  inShift_ = static_cast<uint8_t>(s);
  outShift_ = static_cast<uint8_t>(15 - s);
  round_ = (1 << (15 - s)) >> 1;
  if (s > 0) {
    const int64_t half = (INT64_C(1) << s) / 2;
    for (int i = 0; i < frames * ch; ++i) {
      overlap[i] = static_cast<int>((overlap[i] + half) >> s);
    }
  }
  fill_ += count;
  loaded_ += count;
}

namespace {

inline int ClampSample(int64_t v)
{
  return v > INT_MAX ? INT_MAX : (v < -INT_MAX ? -INT_MAX : static_cast<int>(v));
}

// The filter's inner products, 32 taps at a time (the second half's 32nd
// tap is the row's zero padding).  Built for AVX2 and for the baseline
// instruction set; the loader picks the one the processor runs.  A
// ThreadSanitizer build keeps the baseline only: the loader runs the
// picking function before the sanitizer's runtime is ready, and the
// instrumented function then crashes the program before main.
#if defined(__SANITIZE_THREAD__)
#define LSRC_DOT_CLONES
#else
#define LSRC_DOT_CLONES __attribute__((target_clones("avx2", "default")))
#endif

LSRC_DOT_CLONES int64_t Dot32(const int* __restrict coef, const int* __restrict s)
{
  int64_t a = 0;
  for (int t = 0; t < 32; ++t) {
    a += static_cast<int64_t>(coef[t]) * s[t];
  }
  return a;
}

LSRC_DOT_CLONES void Dot32Stereo(const int* __restrict coef, const int* __restrict s, int64_t* __restrict lr)
{
  int64_t l = 0;
  int64_t r = 0;
  for (int t = 0; t < 32; ++t) {
    l += static_cast<int64_t>(coef[t]) * s[2 * t];
    r += static_cast<int64_t>(coef[t]) * s[2 * t + 1];
  }
  lr[0] = l;
  lr[1] = r;
}

}  // namespace

void LSRCConvertRate::FilterFrame(int* out) const
{
  const int* coef = GetRow(phaseAcc_);
  const int ch = GetChannels();
  const int* s = &buffer_[static_cast<size_t>(readIndex_) * ch];
  // Two half-sums, each halved before they are added, as in a 32-bit
  // design; with 64-bit sums the result is the same wherever that design
  // would not overflow.  The padding tap is zero, so reading one frame past
  // the window (still inside the buffer) adds nothing.
  if (ch == 1) {
    const int64_t a = Dot32(coef, s);
    const int64_t b = Dot32(coef + 32, s + 32);
    out[0] = ClampSample(((a >> 1) + (b >> 1) + round_) >> outShift_);
  } else if (ch == 2) {
    int64_t a[2];
    int64_t b[2];
    Dot32Stereo(coef, s, a);
    Dot32Stereo(coef + 32, s + 64, b);
    out[0] = ClampSample(((a[0] >> 1) + (b[0] >> 1) + round_) >> outShift_);
    out[1] = ClampSample(((a[1] >> 1) + (b[1] >> 1) + round_) >> outShift_);
  } else {
    for (int c = 0; c < ch; ++c) {
      int64_t a = 0;
      int64_t b = 0;
      for (int t = 0; t < 32; ++t) {
        a += static_cast<int64_t>(coef[t]) * s[t * ch + c];
      }
      for (int t = 32; t < kTaps; ++t) {
        b += static_cast<int64_t>(coef[t]) * s[t * ch + c];
      }
      out[c] = ClampSample(((a >> 1) + (b >> 1) + round_) >> outShift_);
    }
  }
}

int LSRCConvertRate::Read(int* samples, int frames)
{
  const int ch = GetChannels();
  int done = 0;
  for (; done < frames; ++done) {
    readIndex_ += phaseAcc_ / phaseCount_;
    phaseAcc_ %= phaseCount_;
    while (readIndex_ >= fill_) {
      ReadBuffer();
    }
    // An output frame exists while the next one would still start inside
    // the input, which makes the count of frames delivered from the start
    // exactly GetEndSample().
    if (inputEnded_ &&
        (static_cast<int64_t>(readIndex_) + kHalfTaps) * phaseCount_ + phaseAcc_ + step_ > endIndex_ * phaseCount_) {
      break;
    }
    FilterFrame(samples + static_cast<size_t>(done) * ch);
    phaseAcc_ += step_;
  }
  if (done < frames) {
    ClearAudioBuffer(samples + static_cast<size_t>(done) * ch, frames - done, static_cast<unsigned char>(ch));
  }
  return done;
}

int LSRCConvertRate::InputToOutput(int64_t n) const
{
  int64_t r = (n / step_) * phaseCount_ + (n % step_) * phaseCount_ / step_;
  return r > INT_MAX ? INT_MAX : (r < INT_MIN ? INT_MIN : static_cast<int>(r));
}

int LSRCConvertRate::GetEndSample() const
{
  return InputToOutput(input_.GetEndSample());
}

int LSRCConvertRate::GetPositionSample() const
{
  // The centre of the next output in 1/phaseCount input frames, divided by
  // the step: exact, including the pending fraction.
  int64_t centre = loaded_ - fill_ - kTaps + readIndex_ + kHalfTaps;
  int64_t r = (centre * phaseCount_ + phaseAcc_) / step_;
  return r > INT_MAX ? INT_MAX : static_cast<int>(r);
}

void LSRCConvertRate::Seek(int frame)
{
  if (frame < 0) {
    frame = 0;
  }
  const int64_t whole = frame / phaseCount_;
  const int64_t part = frame % phaseCount_;
  const int64_t inputFrame = whole * step_ + part * step_ / phaseCount_;
  phaseAcc_ = static_cast<int32_t>((part * step_) % phaseCount_);
  readIndex_ = 32;
  fill_ = 0;
  inShift_ = 0;
  inputEnded_ = false;
  endIndex_ = 0;

  // Buffer frames 32..62 receive the 31 input frames before the sought one;
  // before the start of the input they are silence (a source cannot be
  // sought to a negative frame).
  const int ch = GetChannels();
  ClearAudioBuffer(buffer_.data(), 32, static_cast<unsigned char>(ch));
  const int before = static_cast<int>(std::min<int64_t>(kHalfTaps, inputFrame));
  const int silence = kHalfTaps - before;
  ClearAudioBuffer(&buffer_[static_cast<size_t>(32) * ch], silence, static_cast<unsigned char>(ch));
  const int64_t seekTo = inputFrame - before;
  input_.Seek(seekTo > INT_MAX ? INT_MAX : static_cast<int>(seekTo));
  ReadInto(32 + silence, before);
  loaded_ = inputFrame;
}

LSoundSource LSPConvertRate::OpenSource(LSoundSource& input)
{
  if (!input.IsOpen() || input.GetSampleRate() == rate_) {
    return input;
  }
  if (rate_ < 1) {
    return LSoundSource(new LSoundSourceError(kSourceErrorFormat));
  }
  LSoundSource src = input;
  if (rate_ < (input.GetSampleRate() >> 2)) {
    src = LSoundSource(new LSRCConvertRate(src, rate_ * 2, true));
  }
  return LSoundSource(new LSRCConvertRate(src, rate_, false));
}

void LSPConvertSourceRateChannels(int rate, unsigned char channels, LSoundSource& source)
{
  if (source.GetChannels() > channels) {
    source = LSPConvChannels(channels).OpenSource(source);
  }
  if (source.GetSampleRate() != rate) {
    source = LSPConvertRate(rate).OpenSource(source);
  }
  if (source.GetChannels() != channels) {
    source = LSPConvChannels(channels).OpenSource(source);
  }
}
