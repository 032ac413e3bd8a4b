#include "sound/mohdecompressor.h"

namespace {

constexpr int kGroupSamples = 8;
constexpr int kWidthBits = 4;

// Coefficient step: the residual's correlation with the tap's sample,
// normalised by their energy (at most 12 in size).
int16_t Adapt(int16_t coefficient, int16_t sample, int residual)
{
  int64_t num = static_cast<int64_t>(sample) * 24 * residual;
  int64_t den = static_cast<int64_t>(sample) * sample + static_cast<int64_t>(residual) * residual + 1;
  return static_cast<int16_t>(coefficient + num / den);
}

void Flush(int16_t* block, int& count, LWriteFileRef& file)
{
  unsigned char bytes[LMOHDecompressor::kBlockSamples * 2];
  for (int i = 0; i < count; ++i) {
    bytes[2 * i] = static_cast<unsigned char>(block[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<unsigned char>((block[i] >> 8) & 0xFF);
  }
  file.Write(bytes, static_cast<size_t>(count) * 2);
  count = 0;
}

}  // namespace

void LMOHDecompressor::Reset(int32_t count, bool eightBitMode)
{
  error_ = 0;
  accumulator_ = 0;
  bitCount_ = 0;
  groupLeft_ = 0;
  width_ = 0;
  x1_ = a_ = x2_ = b_ = 0;
  checksum_ = 0x7D;
  samplesLeft_ = count;
  eightBit_ = eightBitMode;
  checked_ = false;
}

bool LMOHDecompressor::Take(int bits, int& value, const unsigned char* input, int length, int& consumed)
{
  while (bitCount_ < bits) {
    if (consumed >= length) {
      return false;
    }
    accumulator_ = (accumulator_ << 8) | input[consumed];
    checksum_ = static_cast<uint8_t>(checksum_ + input[consumed]);
    ++consumed;
    bitCount_ = static_cast<uint8_t>(bitCount_ + 8);
  }
  bitCount_ = static_cast<uint8_t>(bitCount_ - bits);
  value = static_cast<int>((accumulator_ >> bitCount_) & ((1u << bits) - 1));
  return true;
}

int16_t LMOHDecompressor::Predict(int residual)
{
  int64_t p = (static_cast<int64_t>(a_) * x1_ + static_cast<int64_t>(x2_) * (b_ - a_) + 128) >> 8;
  a_ = Adapt(a_, x1_, residual);
  b_ = Adapt(b_, x2_, residual);
  x2_ = x1_;
  if (eightBit_) {
    x1_ = static_cast<int8_t>(p + residual);
    return static_cast<int16_t>(x1_ * 128);
  }
  x1_ = static_cast<int16_t>(p + residual);
  return static_cast<int16_t>(x1_ * 16);
}

int LMOHDecompressor::Ucp(const unsigned char* input, int length, LWriteFileRef& file)
{
  int16_t block[kBlockSamples];
  int count = 0;
  int consumed = 0;
  while (samplesLeft_ > 0) {
    int value = 0;
    if (groupLeft_ == 0) {
      if (!Take(kWidthBits, value, input, length, consumed)) {
        break;
      }
      width_ = static_cast<uint8_t>(value);
      groupLeft_ = kGroupSamples;
    }
    if (!Take(width_, value, input, length, consumed)) {
      break;
    }
    int residual = width_ != 0 ? value - (1 << (width_ - 1)) : 0;
    block[count++] = Predict(residual);
    if (count == kBlockSamples) {
      Flush(block, count, file);
    }
    --groupLeft_;
    --samplesLeft_;
  }
  if (samplesLeft_ <= 0 && !checked_ && consumed < length) {
    uint8_t stored = input[consumed++];
    error_ = (error_ == 0 && stored == checksum_) ? 0 : 1;
    checked_ = true;
  }
  Flush(block, count, file);
  return consumed;
}
