#pragma once
// The internal sample representation and the stored sample formats.
//
// Internal samples are signed 32-bit integers, interleaved frame by frame.
// A 16-bit sample s is held as s * 16, which leaves headroom above 16-bit
// full scale (+-524288) for filters and gain stages.  Every format below is
// a one-sample value type with the exact size of its storage, so an array of
// them lays over file or wire bytes directly.
#include <cstdint>
#include <cstring>

#include "audio/db.h"

inline constexpr int kSampleScaleShift = 4;       // 16-bit value << 4
inline constexpr int kSampleFullScale = 1 << 19;  // 16-bit full scale

inline int GetBytesFromSamples(int samples)
{
  return samples * 4;
}
inline int GetBytesFromSamples(int frames, unsigned char channels)
{
  return frames * channels * 4;
}

namespace soundformat {

// Narrowing conversions round half a step up and saturate at the format's
// limits: a sample just above full scale must not wrap to the opposite
// polarity (a full-scale click).
constexpr int SaturatingShift(int v, int shift, int lo, int hi)
{
  int64_t r = (static_cast<int64_t>(v) + (INT64_C(1) << (shift - 1))) >> shift;
  return r < lo ? lo : (r > hi ? hi : static_cast<int>(r));
}

// Float to internal scale, truncated toward zero; NaN gives 0 and values
// beyond the 32-bit range are held at its ends (a damaged float file must
// not reach undefined behaviour).
int FloatToInternal(double scaled);

uint32_t LoadBE32(const unsigned char* b);
void StoreBE32(unsigned char* b, uint32_t v);

}  // namespace soundformat

// Signed 16-bit, host byte order.
class LSF16 {
public:
  int Get() const { return s_ * 16; }
  void Set(int v) { s_ = static_cast<int16_t>(soundformat::SaturatingShift(v, 4, -32768, 32767)); }
  static constexpr int GetPeak() { return 524272; }

private:
  int16_t s_;
};

// Signed 16-bit, big-endian.
class LSFBE16 {
public:
  int Get() const { return static_cast<int16_t>((b_[0] << 8) | b_[1]) * 16; }
  void Set(int v)
  {
    int s = soundformat::SaturatingShift(v, 4, -32768, 32767);
    b_[0] = static_cast<unsigned char>((s >> 8) & 0xFF);
    b_[1] = static_cast<unsigned char>(s & 0xFF);
  }

private:
  unsigned char b_[2];
};

// Signed 8-bit.
class LSFS8 {
public:
  int Get() const { return s_ * 4096; }
  void Set(int v) { s_ = static_cast<int8_t>(soundformat::SaturatingShift(v, 12, -128, 127)); }
  static constexpr int GetPeak() { return 524272; }

private:
  int8_t s_;
};

// Unsigned 8-bit, 128 is silence.
class LSFU8 {
public:
  int Get() const { return (u_ - 128) * 4096; }
  void Set(int v) { u_ = static_cast<uint8_t>(soundformat::SaturatingShift(v, 12, -128, 127) + 128); }
  static constexpr int GetPeak() { return 524272; }

private:
  uint8_t u_;
};

// 32-bit float, host byte order, 1.0 = 524288.
class LSFF32 {
public:
  int Get() const { return soundformat::FloatToInternal(static_cast<double>(f_) * 524288.0); }
  void Set(int v) { f_ = static_cast<float>(v / 524288.0); }
  static constexpr int GetPeak() { return 1048744; }

private:
  float f_;
};

// 32-bit float, byte-reversed (big-endian), 1.0 = 524272.
class LSFFRE32 {
public:
  int Get() const
  {
    uint32_t bits = soundformat::LoadBE32(b_);
    float f;
    memcpy(&f, &bits, sizeof f);
    return soundformat::FloatToInternal(static_cast<double>(f) * 524272.0);
  }
  void Set(int v)
  {
    float f = static_cast<float>(v / 524272.0);
    uint32_t bits;
    memcpy(&bits, &f, sizeof bits);
    soundformat::StoreBE32(b_, bits);
  }
  static constexpr int GetPeak() { return 1048744; }

private:
  unsigned char b_[4];
};

// 8-bit mu-law.
class LSFULAW {
public:
  int Get() const;
  void Set(int v);
  static constexpr int GetPeak() { return 516096; }

private:
  uint8_t b_;
};

// 8-bit A-law.
class LSFALAW {
public:
  // Step size of each segment in the internal scale.
  static const int D[8];
  int Get() const;
  void Set(int v);

private:
  uint8_t b_;
};

static_assert(sizeof(LSF16) == 2 && sizeof(LSFBE16) == 2 && sizeof(LSFS8) == 1 && sizeof(LSFU8) == 1 &&
                  sizeof(LSFF32) == 4 && sizeof(LSFFRE32) == 4 && sizeof(LSFULAW) == 1 && sizeof(LSFALAW) == 1,
              "sample formats must lay over their storage");

// out[i] = in[i].Get() for count samples.
template <class Format>
void ConvertSamplesIn(int* out, const Format* in, int count)
{
  for (int i = 0; i < count; ++i) {
    out[i] = in[i].Get();
  }
}

// out[i].Set(in[i]) for count samples.
template <class Format>
void ConvertSamplesOut(Format* out, const int* in, int count)
{
  for (int i = 0; i < count; ++i) {
    out[i].Set(in[i]);
  }
}

int ClearAudioBuffer(int* samples, int count);
int ClearAudioBuffer(int* samples, int frames, unsigned char channels);

// Largest magnitude over frames * channels samples (0 for silence); a
// sample of INT_MIN counts as INT_MAX.
int GetBufferPeak(const int* samples, int frames, unsigned char channels);
// The same over one channel of an interleaved buffer.
int GetBufferPeakChan(unsigned char channel, const int* samples, int frames, unsigned char channels);
// One channel's peak in dB relative to 131072 (a quarter of 16-bit full
// scale, so full scale reads +12), rounded half away from zero; Off for
// silence.
LDB GetBufferPeakDBChan(unsigned char channel, const int* samples, int frames, unsigned char channels);
