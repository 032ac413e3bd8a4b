#pragma once
// Sample-rate conversion: a polyphase windowed-sinc filter (LConvertRateBase)
// run over a work buffer of input frames in integer arithmetic.  Each block
// of input is normalised to 16 bits so that the filter's products with
// 16-bit coefficients keep their precision; the sums are taken in 64 bits so
// that no input, however loud or adversarial, can overflow them.
#include <cstdint>
#include <vector>

#include "sound/convertratebase.h"
#include "sound/soundprocess.h"

class LSRCConvertRate : public LSoundProcessBase, public LConvertRateBase {
public:
  static constexpr int kBlockFrames = 8192;
  static constexpr int kBufferFrames = 32768 + kTaps;  // 32831
  static constexpr int kCompactAfter = 32511;

  LSRCConvertRate(const LSoundSource& input, int targetRate, bool preStage);

  // Delivers output until the last output frame whose centre lies inside
  // the input; the rest of `samples` is then cleared and 0 follows.
  int Read(int* samples, int frames) override;
  int GetPositionSample() const override;
  int GetEndSample() const override;
  void Seek(int frame) override;

  int GetInputShift() const { return inShift_; }

private:
  void ReadBuffer();
  // Reads up to `frames` frames into buffer frame `at`, clearing what the
  // input could not deliver; returns the frames delivered.
  int ReadInto(int at, int frames);
  int InputToOutput(int64_t inputFrames) const;
  void FilterFrame(int* out) const;

  int32_t readIndex_;  // buffer frame of the first tap of the next output
  int32_t phaseAcc_;   // fractional input position in 1/phaseCount_ units
  int32_t fill_;       // new frames taken in since the last compaction
  std::vector<int> buffer_;
  uint8_t inShift_;
  uint8_t outShift_;
  int32_t round_;

  // Input frame number that the next refill puts at buffer frame fill_ + 63.
  int64_t loaded_;
  // Once the input has ended: buffer frame just past its last frame.
  bool inputEnded_;
  int64_t endIndex_;
};

class LSPConvertRate : public LSoundProcess {
public:
  explicit LSPConvertRate(int rate) : rate_(rate) {}
  LSoundSource OpenSource(LSoundSource& input) override;

private:
  int32_t rate_;
};

// Replaces `source` by a chain that delivers `rate` and `channels`.
void LSPConvertSourceRateChannels(int rate, unsigned char channels, LSoundSource& source);
