#pragma once
// Decompressor of one MOH segment: groups of 8 residuals of a 4-bit width
// each, decoded through an adaptive two-tap predictor into 16-bit samples,
// followed by a checksum byte.
#include <cstdint>

#include "base/fileref.h"

class LMOHDecompressor {
public:
  static constexpr int kBlockSamples = 4096;

  // Starts a segment of `count` samples; eightBitMode keeps the predictor
  // to 8 signed bits (output * 128), otherwise to 16 bits (output * 16).
  void Reset(int32_t count, bool eightBitMode);
  // Decodes as far as `input` allows, appending the samples to `file` as
  // 16-bit little-endian values; returns the bytes consumed.  Once the
  // samples are done the next byte is taken as the checksum and the call
  // returns; a call that runs out of input first goes on with the next one.
  int Ucp(const unsigned char* input, int length, LWriteFileRef& file);
  bool Finished() const { return samplesLeft_ <= 0; }
  // The checksum byte has been taken (the segment is complete).
  bool Checked() const { return checked_; }
  bool Error() const { return error_ != 0; }

private:
  // Takes `bits` bits from the top of the accumulator, feeding it input
  // bytes; false when the input ran out first.
  bool Take(int bits, int& value, const unsigned char* input, int length, int& consumed);
  int16_t Predict(int residual);

  uint8_t error_ = 0;
  uint32_t accumulator_ = 0;
  uint8_t bitCount_ = 0;
  uint8_t groupLeft_ = 0;
  uint8_t width_ = 0;
  int16_t x1_ = 0;  // previous sample
  int16_t a_ = 0;   // its coefficient
  int16_t x2_ = 0;  // the sample before
  int16_t b_ = 0;   // its coefficient
  uint8_t checksum_ = 0x7D;
  int32_t samplesLeft_ = 0;
  bool eightBit_ = true;
  bool checked_ = false;
};
