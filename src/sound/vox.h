#pragma once
// Dialogic (OKI) 4-bit ADPCM: headerless files of two codes per byte, high
// nibble first, always mono.
#include <cstdint>

#include "audio/soundsource.h"
#include "base/uniquefd.h"

// The decoder: a step index into the 49 Dialogic step sizes and a
// predictor that leaks 1/64 of itself per sample, so that a decoder started
// in the middle of a stream settles instead of keeping an offset.
class LVox {
public:
  // Decodes one 4-bit code; returns the new sample in the internal scale.
  int Decode(int code);
  void ResetDecoder()
  {
    stepIndex_ = 0;
    predictor_ = 0;
  }

private:
  int stepIndex_ = 0;
  int32_t predictor_ = 0;
};

class LSRCVOX : public LSoundSourceBase, public LVox {
public:
  static constexpr int kPeak = 0x200000;

  // Takes over the open file (error 4 when it is not open).
  LSRCVOX(int fd, int rate);

  // Fills `frames` samples, silence outside the file; returns how many lie
  // before the end.
  int Read(int* samples, int frames) override;
  int GetPositionSample() const override { return position_; }
  int GetEndSample() const override { return end_; }
  // The decoder carries its state on, except that a seek to frame 0 or
  // before starts it afresh; an odd frame starts with its byte's low
  // nibble.
  void Seek(int frame) override;

private:
  // The next byte of the file, or -1 at its end.
  int NextByte();

  static constexpr int kBufferBytes = 4096;

  LUniqueFD fd_;
  int position_ = 0;
  int end_ = 0;
  bool nibblePending_ = false;
  uint8_t pendingByte_ = 0;
  unsigned char buffer_[kBufferBytes];
  int bufferFill_ = 0;
  int bufferIndex_ = 0;
};
