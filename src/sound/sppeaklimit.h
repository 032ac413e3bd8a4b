#pragma once
// Peak limiter: keeps every output sample within a limit by a gain that
// moves smoothly from block to block.  Blocks are about 1/35 second; the
// limiter looks two blocks ahead, so the gain has already ramped down when
// a loud block starts.  Gains are 24-bit fixed point (0x1000000 = 1.0).
#include <cstdint>
#include <vector>

#include "sound/soundprocess.h"

inline constexpr int32_t kGainUnity = 0x1000000;

// a * g / 2^24 without the product of the two low 12-bit halves; every
// partial product fits in 32 bits for any sample and a gain up to unity.
inline int GainMultiply(int a, int g)
{
  return (a >> 12) * (g >> 12) + (((g >> 12) * (a & 0xFFF)) >> 12) + (((g & 0xFFF) * (a >> 12)) >> 12);
}

class LSRCPeakLimit : public LSoundProcessBase {
public:
  static constexpr int kMaxLimit = 0x3FFFFF;

  // `peak` is the limit in the internal sample scale, taken within
  // 1 .. kMaxLimit (beyond that the level arithmetic would overflow).
  LSRCPeakLimit(const LSoundSource& input, int peak);

  // Delivers limited frames until the input ends; the rest of `samples`
  // is then cleared.
  int Read(int* samples, int frames) override;
  int GetPositionSample() const override;
  void Seek(int frame) override;

  int GetBlockLength() const { return blockLength_; }
  // Level of a block whose largest magnitude is `max`.
  int ConvMaxtoLev(int max) const;

private:
  struct Block {
    int* samples;
    int valid;  // frames that came from the input; the rest is silence
  };
  void CalcCLev();
  void Restart();
  void Fill(Block& block);
  void ApplyGain(int* out, const int* in, int frames);

  int32_t blockLength_;
  int32_t restartMark_;
  int32_t index_;  // frame of the current block that is output next
  std::vector<int> storage_;
  Block current_;
  Block next_;
  Block afterNext_;
  int32_t levelPrevious_;
  int32_t levelCurrent_;
  int32_t levelNext_;
  int32_t levelAfterNext_;
  int32_t gain_;
  int32_t increment_;
  int32_t limit_;
};

class LSPPeakLimit : public LSoundProcess {
public:
  explicit LSPPeakLimit(int peak) : limit_(peak) {}
  // The input itself when its declared peak is within the limit.
  LSoundSource OpenSource(LSoundSource& input) override;

private:
  int32_t limit_;
};
