#include "sound/gsmdecoder.h"

#include <cstring>

namespace {

constexpr int16_t kMin = -32768;
constexpr int16_t kMax = 32767;

int16_t Saturate(int32_t v)
{
  return static_cast<int16_t>(v < kMin ? kMin : (v > kMax ? kMax : v));
}

int16_t Add(int16_t a, int16_t b)
{
  return Saturate(static_cast<int32_t>(a) + b);
}

int16_t Sub(int16_t a, int16_t b)
{
  return Saturate(static_cast<int32_t>(a) - b);
}

// Product of two Q15 values, rounded.
int16_t MultR(int16_t a, int16_t b)
{
  if (a == kMin && b == kMin) {
    return kMax;
  }
  return static_cast<int16_t>((static_cast<int32_t>(a) * b + 16384) >> 15);
}

// Shifts of the standard that accept negative and large counts.
int16_t ShiftRight(int16_t a, int n);
int16_t ShiftLeft(int16_t a, int n)
{
  if (n >= 16) {
    return 0;
  }
  if (n <= -16) {
    return static_cast<int16_t>(a < 0 ? -1 : 0);
  }
  if (n < 0) {
    return ShiftRight(a, -n);
  }
  return static_cast<int16_t>(static_cast<int32_t>(a) * (1 << n));
}

int16_t ShiftRight(int16_t a, int n)
{
  if (n >= 16) {
    return static_cast<int16_t>(a < 0 ? -1 : 0);
  }
  if (n <= -16) {
    return 0;
  }
  if (n < 0) {
    return static_cast<int16_t>(static_cast<int32_t>(a) * (1 << -n));
  }
  return static_cast<int16_t>(a >> n);
}

// Decoding tables of the log-area ratios.
constexpr int16_t kMIC[8] = {-32, -32, -16, -16, -8, -8, -4, -4};
constexpr int16_t kB[8] = {0, 0, 2048, -2560, 94, -1792, -341, -1144};
constexpr int16_t kINVA[8] = {13107, 13107, 13107, 13107, 19223, 17476, 31454, 29708};
// Long-term gains and the normalised mantissas of the RPE block maximum.
constexpr int16_t kQLB[4] = {3277, 11469, 21299, 32767};
constexpr int16_t kFAC[8] = {18431, 20479, 22527, 24575, 26623, 28671, 30719, 32767};
// Bits of the eight coded log-area ratios.
constexpr int kLARBits[8] = {6, 6, 5, 5, 4, 4, 3, 3};

// The frame's bits, most significant first.
class BitReader {
public:
  explicit BitReader(const unsigned char* bytes) : bytes_(bytes) {}
  int16_t Take(int count)
  {
    int value = 0;
    for (int i = 0; i < count; ++i, ++bit_) {
      value = (value << 1) | ((bytes_[bit_ >> 3] >> (7 - (bit_ & 7))) & 1);
    }
    return static_cast<int16_t>(value);
  }

private:
  const unsigned char* bytes_;
  int bit_ = 0;
};

int16_t LARpToRp(int16_t LARp)
{
  int16_t magnitude = LARp < 0 ? (LARp == kMin ? kMax : static_cast<int16_t>(-LARp)) : LARp;
  int16_t r;
  if (magnitude < 11059) {
    r = static_cast<int16_t>(magnitude << 1);
  } else if (magnitude < 20070) {
    r = static_cast<int16_t>(magnitude + 11059);
  } else {
    r = Add(static_cast<int16_t>(magnitude >> 2), 26112);
  }
  return LARp < 0 ? static_cast<int16_t>(-r) : r;
}

}  // namespace

void LGSMDecoder::Reset()
{
  memset(drp_, 0, sizeof drp_);
  nrp_ = 40;
  memset(LARppPrev_, 0, sizeof LARppPrev_);
  memset(v_, 0, sizeof v_);
  y_ = 0;
}

void LGSMDecoder::Unpack(const unsigned char* frame, Parameters& p)
{
  BitReader bits(frame);
  bits.Take(4);
  for (int i = 0; i < 8; ++i) {
    p.LARc[i] = bits.Take(kLARBits[i]);
  }
  for (int s = 0; s < 4; ++s) {
    p.Nc[s] = bits.Take(7);
    p.bc[s] = bits.Take(2);
    p.Mc[s] = bits.Take(2);
    p.xmaxc[s] = bits.Take(6);
    for (int i = 0; i < 13; ++i) {
      p.xMc[s][i] = bits.Take(3);
    }
  }
}

// RPE decoding and long-term synthesis of one 40-sample subframe; its
// output goes to wt and into the lag history.
void LGSMDecoder::LongTermSynthesis(int s, const Parameters& p, int16_t* wt)
{
  // The block maximum's exponent and mantissa.
  int16_t xmaxc = p.xmaxc[s];
  int16_t exp = 0;
  if (xmaxc > 15) {
    exp = static_cast<int16_t>((xmaxc >> 3) - 1);
  }
  int16_t mant = static_cast<int16_t>(xmaxc - (exp << 3));
  if (mant == 0) {
    exp = -4;
    mant = 7;
  } else {
    while (mant <= 7) {
      mant = static_cast<int16_t>(mant << 1 | 1);
      --exp;
    }
    mant = static_cast<int16_t>(mant - 8);
  }
  // Inverse APCM quantisation and placement on the RPE grid.
  int16_t erp[40] = {};
  const int16_t factor = kFAC[mant];
  const int16_t shift = Sub(6, exp);
  const int16_t round = ShiftLeft(1, Sub(shift, 1));
  for (int i = 0; i < 13; ++i) {
    int16_t t = static_cast<int16_t>(((p.xMc[s][i] << 1) - 7) * 4096);
    t = MultR(factor, t);
    t = Add(t, round);
    erp[p.Mc[s] + 3 * i] = ShiftRight(t, shift);
  }
  // Long-term prediction from the lag history; an out-of-range lag keeps
  // the previous one.
  int16_t lag = p.Nc[s];
  if (lag < 40 || lag > 120) {
    lag = nrp_;
  }
  nrp_ = lag;
  const int16_t gain = kQLB[p.bc[s]];
  int16_t* current = drp_ + 120;
  for (int k = 0; k < 40; ++k) {
    current[k] = Add(erp[k], MultR(gain, current[k - lag]));
    wt[k] = current[k];
  }
  memmove(drp_, drp_ + 40, 120 * sizeof(int16_t));
}

void LGSMDecoder::FilterSegment(const int16_t* LARp, int count, const int16_t* wt, int16_t* sr)
{
  int16_t rp[8];
  for (int i = 0; i < 8; ++i) {
    rp[i] = LARpToRp(LARp[i]);
  }
  for (int k = 0; k < count; ++k) {
    int16_t sri = wt[k];
    for (int i = 7; i >= 0; --i) {
      sri = Sub(sri, MultR(rp[i], v_[i]));
      v_[i + 1] = Add(v_[i], MultR(rp[i], sri));
    }
    sr[k] = sri;
    v_[0] = sri;
  }
}

void LGSMDecoder::ShortTermSynthesis(const int16_t* LARc, const int16_t* wt, int16_t* sr)
{
  int16_t LARpp[8];
  for (int i = 0; i < 8; ++i) {
    int16_t t = static_cast<int16_t>(Add(LARc[i], kMIC[i]) * 1024);
    t = Sub(t, static_cast<int16_t>(kB[i] * 2));
    t = MultR(kINVA[i], t);
    LARpp[i] = Add(t, t);
  }
  // The coefficients move from the previous frame's to this frame's over
  // the first 40 samples, in three steps.
  int16_t LARp[8];
  for (int i = 0; i < 8; ++i) {
    LARp[i] = Add(Add(static_cast<int16_t>(LARppPrev_[i] >> 2), static_cast<int16_t>(LARpp[i] >> 2)),
                  static_cast<int16_t>(LARppPrev_[i] >> 1));
  }
  FilterSegment(LARp, 13, wt, sr);
  for (int i = 0; i < 8; ++i) {
    LARp[i] = Add(static_cast<int16_t>(LARppPrev_[i] >> 1), static_cast<int16_t>(LARpp[i] >> 1));
  }
  FilterSegment(LARp, 14, wt + 13, sr + 13);
  for (int i = 0; i < 8; ++i) {
    LARp[i] = Add(Add(static_cast<int16_t>(LARppPrev_[i] >> 2), static_cast<int16_t>(LARpp[i] >> 2)),
                  static_cast<int16_t>(LARpp[i] >> 1));
  }
  FilterSegment(LARp, 13, wt + 27, sr + 27);
  FilterSegment(LARpp, 120, wt + 40, sr + 40);
  memcpy(LARppPrev_, LARpp, sizeof LARpp);
}

void LGSMDecoder::DecodeFrame(const unsigned char* frame, int* out)
{
  Parameters p;
  Unpack(frame, p);
  int16_t wt[kFrameSamples];
  for (int s = 0; s < 4; ++s) {
    LongTermSynthesis(s, p, wt + 40 * s);
  }
  int16_t sr[kFrameSamples];
  ShortTermSynthesis(p.LARc, wt, sr);
  // De-emphasis (a pole at 880/1024) straight into the internal scale:
  // the standard's output is twice the filter state, and the internal
  // scale is 16 times a 16-bit value.
  for (int k = 0; k < kFrameSamples; ++k) {
    y_ = sr[k] * 32 + static_cast<int32_t>((static_cast<int64_t>(y_) * 880 + 512) >> 10);
    out[k] = y_;
  }
}
