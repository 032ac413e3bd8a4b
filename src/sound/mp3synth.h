#pragma once

// The polyphase synthesis filter bank: turns 32 sub-band samples per channel into 32 output samples,
// 18 times per granule. Each channel keeps a history of the matrixed vectors V (64 values per round);
// the window works on the newest 1024 values, which move to the top of the history only when the
// write offset runs below 0 (every 16 rounds).
class MP3PolyphaseSynth {
public:
  MP3PolyphaseSynth() { Reset(); }

  void Reset();

  // One granule: in[channel][time][sub-band] with only the first `subbands` sub-bands nonzero;
  // writes 18 × 32 interleaved frames of `channels` samples. Output samples are the filter results,
  // in the scale where a full-scale sine has amplitude 524288, truncated toward zero without
  // clipping (only kept inside the range of int).
  void Synthesize(const float in[][18][32], int channels, int subbands, int* out);

private:
  static constexpr int kHistory = 2048;
  static constexpr int kResetOffset = 1088;

  float history_[2][kHistory];
  int offset_;
};
