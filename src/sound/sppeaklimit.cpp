#include "sound/sppeaklimit.h"

#include <algorithm>
#include <cstring>

#include "audio/soundbase.h"

LSRCPeakLimit::LSRCPeakLimit(const LSoundSource& input, int peak)
    : LSoundProcessBase(input), blockLength_(std::clamp(input.GetSampleRate() / 35, 16, 8192)),
      restartMark_(3 * blockLength_), index_(restartMark_), levelPrevious_(kGainUnity), levelCurrent_(kGainUnity),
      levelNext_(kGainUnity), levelAfterNext_(kGainUnity), gain_(kGainUnity), increment_(0),
      limit_(std::clamp(peak, 1, kMaxLimit))
{
  const size_t blockSamples = static_cast<size_t>(blockLength_) * GetChannels();
  storage_.assign(3 * blockSamples, 0);
  current_ = {&storage_[0], 0};
  next_ = {&storage_[blockSamples], 0};
  afterNext_ = {&storage_[2 * blockSamples], 0};
  SetPeak(limit_);
}

int LSRCPeakLimit::ConvMaxtoLev(int max) const
{
  if (limit_ >= max) {
    return kGainUnity;
  }
  // limit / max in 24-bit fixed point, in two halves of 9 bits so that the
  // dividend fits in 32 bits; the divisor is formed in 64 bits because max
  // may be close to INT_MAX.
  const int divisor = static_cast<int>((static_cast<int64_t>(max) + 64) >> 6);
  return ((limit_ << 9) / divisor) << 9;
}

void LSRCPeakLimit::CalcCLev()
{
  int32_t delta = std::min(levelCurrent_, levelNext_) - gain_;
  int32_t mean =
      static_cast<int32_t>((static_cast<int64_t>(levelPrevious_) + levelCurrent_ + levelNext_ + levelAfterNext_) >> 2);
  if (mean - gain_ < delta) {
    delta = mean - gain_;
  }
  increment_ = delta / blockLength_;
  gain_ += delta % blockLength_;
}

void LSRCPeakLimit::Fill(Block& block)
{
  const int ch = GetChannels();
  int done = 0;
  while (done < blockLength_) {
    int n = input_.Read(block.samples + static_cast<size_t>(done) * ch, blockLength_ - done);
    if (n <= 0) {
      break;
    }
    done += std::min(n, blockLength_ - done);
  }
  ClearAudioBuffer(block.samples + static_cast<size_t>(done) * ch, blockLength_ - done, static_cast<unsigned char>(ch));
  block.valid = done;
}

void LSRCPeakLimit::Restart()
{
  const unsigned char ch = GetChannels();
  Fill(current_);
  levelCurrent_ = ConvMaxtoLev(GetBufferPeak(current_.samples, blockLength_, ch));
  levelPrevious_ = levelCurrent_;
  Fill(next_);
  levelNext_ = ConvMaxtoLev(GetBufferPeak(next_.samples, blockLength_, ch));
  Fill(afterNext_);
  levelAfterNext_ = ConvMaxtoLev(GetBufferPeak(afterNext_.samples, blockLength_, ch));
  gain_ = levelCurrent_;
  CalcCLev();
  index_ = 0;
}

void LSRCPeakLimit::ApplyGain(int* out, const int* in, int frames)
{
  const int ch = GetChannels();
  if (gain_ > kGainUnity - 1 && increment_ == 0) {
    memcpy(out, in, static_cast<size_t>(frames) * ch * sizeof(int));
    return;
  }
  int32_t g = gain_;
  if (ch == 1) {
    for (int i = 0; i < frames; ++i) {
      out[i] = GainMultiply(in[i], g);
      g += increment_;
    }
  } else if (ch == 2) {
    for (int i = 0; i < frames; ++i) {
      out[2 * i] = GainMultiply(in[2 * i], g);
      out[2 * i + 1] = GainMultiply(in[2 * i + 1], g);
      g += increment_;
    }
  } else {
    for (int i = 0; i < frames; ++i) {
      for (int c = 0; c < ch; ++c) {
        out[i * ch + c] = GainMultiply(in[i * ch + c], g);
      }
      g += increment_;
    }
  }
  gain_ = g;
}

int LSRCPeakLimit::Read(int* samples, int frames)
{
  const int ch = GetChannels();
  int done = 0;
  while (done < frames) {
    if (index_ >= blockLength_) {
      if (index_ >= restartMark_) {
        Restart();
      } else {
        Block old = current_;
        current_ = next_;
        next_ = afterNext_;
        afterNext_ = old;
        Fill(afterNext_);
        levelPrevious_ = levelCurrent_;
        levelCurrent_ = levelNext_;
        levelNext_ = levelAfterNext_;
        levelAfterNext_ = ConvMaxtoLev(GetBufferPeak(afterNext_.samples, blockLength_, static_cast<unsigned char>(ch)));
        CalcCLev();
        index_ = 0;
      }
    }
    // The input ended inside (or before) the current block.
    if (index_ >= current_.valid) {
      break;
    }
    const int n = std::min(current_.valid - index_, frames - done);
    ApplyGain(samples + static_cast<size_t>(done) * ch, current_.samples + static_cast<size_t>(index_) * ch, n);
    index_ += n;
    done += n;
  }
  if (done < frames) {
    ClearAudioBuffer(samples + static_cast<size_t>(done) * ch, frames - done, static_cast<unsigned char>(ch));
  }
  return done;
}

int LSRCPeakLimit::GetPositionSample() const
{
  if (index_ >= restartMark_) {
    return input_.GetPositionSample();
  }
  // The input has been read up to the end of the block after next.
  return input_.GetPositionSample() - (current_.valid - std::min(index_, current_.valid)) - next_.valid -
         afterNext_.valid;
}

void LSRCPeakLimit::Seek(int frame)
{
  input_.Seek(frame);
  Restart();
}

LSoundSource LSPPeakLimit::OpenSource(LSoundSource& input)
{
  if (input.GetPeak() <= limit_) {
    return input;
  }
  return LSoundSource(new LSRCPeakLimit(input, limit_));
}
