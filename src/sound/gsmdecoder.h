#pragma once
// GSM 06.10 full-rate speech decoder, in the fixed-point arithmetic of the
// standard up to the short-term synthesis filter.  The output stage is the
// program's own: de-emphasis and scaling straight into the internal sample
// scale (16-bit value * 16), without the standard's final saturation and
// truncation to 13 bits.
#include <cstdint>

class LGSMDecoder {
public:
  static constexpr int kFrameBytes = 33;
  static constexpr int kFrameSamples = 160;
  // Largest output of the de-emphasis for a full-scale input: twice the
  // 16-bit full scale in the internal scale.
  static constexpr int kPeak = 0xFFFE0;

  LGSMDecoder() { Reset(); }
  void Reset();
  // Decodes one packed frame (the 4-bit signature is not checked) into
  // kFrameSamples internal samples.
  void DecodeFrame(const unsigned char* frame, int* out);

private:
  struct Parameters {
    int16_t LARc[8];
    int16_t Nc[4];
    int16_t bc[4];
    int16_t Mc[4];
    int16_t xmaxc[4];
    int16_t xMc[4][13];
  };
  static void Unpack(const unsigned char* frame, Parameters& p);
  void LongTermSynthesis(int subframe, const Parameters& p, int16_t* wt);
  void ShortTermSynthesis(const int16_t* LARc, const int16_t* wt, int16_t* sr);
  void FilterSegment(const int16_t* LARp, int count, const int16_t* wt, int16_t* sr);

  int16_t drp_[160];  // 120 samples of history, then the current subframe
  int16_t nrp_;       // last valid lag
  int16_t LARppPrev_[8];
  int16_t v_[9];  // short-term synthesis lattice state
  int32_t y_;     // de-emphasis state, internal scale
};
