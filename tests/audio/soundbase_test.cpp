// Sample formats against their exact arithmetic, and buffer peaks.
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "audio/soundbase.h"

namespace {

template <class F>
F FromBytes(std::initializer_list<unsigned char> bytes)
{
  F f;
  std::vector<unsigned char> b(bytes);
  memcpy(static_cast<void*>(&f), b.data(), sizeof f);
  return f;
}

template <class F>
std::vector<unsigned char> Bytes(const F& f)
{
  std::vector<unsigned char> b(sizeof f);
  memcpy(b.data(), &f, sizeof f);
  return b;
}

template <class F>
int Stored(int v)
{
  F f;
  f.Set(v);
  return f.Get();
}

} // namespace

TEST(SampleFormat, Sixteen)
{
  LSF16 s;
  s.Set(524272);
  EXPECT_EQ(Bytes(s), (std::vector<unsigned char>{0xFF, 0x7F}));
  s.Set(-524288);
  EXPECT_EQ(Bytes(s), (std::vector<unsigned char>{0x00, 0x80}));
  s.Set(8);
  EXPECT_EQ(s.Get(), 16);
  s.Set(7);
  EXPECT_EQ(s.Get(), 0);
  s.Set(-8);
  EXPECT_EQ(s.Get(), 0);
  s.Set(-9);
  EXPECT_EQ(s.Get(), -16);
  // Just beyond full scale saturates instead of wrapping to the other end.
  EXPECT_EQ(Stored<LSF16>(524287), 524272);
  EXPECT_EQ(Stored<LSF16>(INT_MAX), 524272);
  EXPECT_EQ(Stored<LSF16>(-524297), -524288);
  EXPECT_EQ(Stored<LSF16>(INT_MIN), -524288);
  EXPECT_EQ(LSF16::GetPeak(), 524272);
  // Every 16-bit value survives the round trip.
  for (int v = -32768; v <= 32767; ++v) {
    ASSERT_EQ(Stored<LSF16>(v * 16), v * 16);
  }
}

TEST(SampleFormat, BigEndianSixteen)
{
  auto s = FromBytes<LSFBE16>({0x12, 0x34});
  EXPECT_EQ(s.Get(), 0x1234 * 16);
  s = FromBytes<LSFBE16>({0x80, 0x00});
  EXPECT_EQ(s.Get(), -524288);
  s.Set(-16);
  EXPECT_EQ(Bytes(s), (std::vector<unsigned char>{0xFF, 0xFF}));
  s.Set(524272);
  EXPECT_EQ(Bytes(s), (std::vector<unsigned char>{0x7F, 0xFF}));
  EXPECT_EQ(Stored<LSFBE16>(600000), 524272);
  for (int v = -32768; v <= 32767; v += 7) {
    ASSERT_EQ(Stored<LSFBE16>(v * 16), v * 16);
  }
}

TEST(SampleFormat, EightBit)
{
  EXPECT_EQ(FromBytes<LSFU8>({128}).Get(), 0);
  EXPECT_EQ(FromBytes<LSFU8>({0}).Get(), -524288);
  EXPECT_EQ(FromBytes<LSFU8>({255}).Get(), 127 * 4096);
  LSFU8 u;
  u.Set(0);
  EXPECT_EQ(Bytes(u)[0], 128);
  u.Set(2048);
  EXPECT_EQ(Bytes(u)[0], 129);
  u.Set(2047);
  EXPECT_EQ(Bytes(u)[0], 128);
  u.Set(524287);
  EXPECT_EQ(Bytes(u)[0], 255);
  u.Set(-600000);
  EXPECT_EQ(Bytes(u)[0], 0);

  EXPECT_EQ(FromBytes<LSFS8>({0x80}).Get(), -524288);
  EXPECT_EQ(FromBytes<LSFS8>({0x7F}).Get(), 127 * 4096);
  EXPECT_EQ(Stored<LSFS8>(-2049), -4096);
  EXPECT_EQ(Stored<LSFS8>(-2048), 0);
  EXPECT_EQ(Stored<LSFS8>(INT_MAX), 127 * 4096);
  for (int v = -128; v <= 127; ++v) {
    ASSERT_EQ(Stored<LSFS8>(v * 4096), v * 4096);
    ASSERT_EQ(Stored<LSFU8>(v * 4096), v * 4096);
  }
}

TEST(SampleFormat, FloatScalesDiffer)
{
  float one = 1.0f;
  LSFF32 f;
  memcpy(static_cast<void*>(&f), &one, 4);
  EXPECT_EQ(f.Get(), 524288);
  // Big-endian 1.0 (0x3F800000) uses the 524272 scale.
  EXPECT_EQ(FromBytes<LSFFRE32>({0x3F, 0x80, 0x00, 0x00}).Get(), 524272);
  EXPECT_EQ(FromBytes<LSFFRE32>({0xBF, 0x80, 0x00, 0x00}).Get(), -524272);
  // Truncation toward zero: 0.5 / 524288 below one step.
  float tiny = 1.9f / 524288.0f;
  memcpy(static_cast<void*>(&f), &tiny, 4);
  EXPECT_EQ(f.Get(), 1);
  tiny = -tiny;
  memcpy(static_cast<void*>(&f), &tiny, 4);
  EXPECT_EQ(f.Get(), -1);

  f.Set(262144);
  float back;
  memcpy(&back, static_cast<const void*>(&f), 4);
  EXPECT_EQ(back, 0.5f);
  LSFFRE32 r;
  r.Set(-524272);
  EXPECT_EQ(Bytes(r), (std::vector<unsigned char>{0xBF, 0x80, 0x00, 0x00}));
  EXPECT_EQ(LSFF32::GetPeak(), 1048744);
  EXPECT_EQ(LSFFRE32::GetPeak(), 1048744);
}

TEST(SampleFormat, DamagedFloatsStayDefined)
{
  for (float bad : {INFINITY, -INFINITY, NAN, 1e30f, -1e30f}) {
    LSFF32 f;
    memcpy(static_cast<void*>(&f), &bad, 4);
    int v = f.Get();
    if (std::isnan(bad)) {
      EXPECT_EQ(v, 0);
    } else {
      EXPECT_EQ(v, bad > 0 ? INT_MAX : -INT_MAX);
    }
  }
  EXPECT_EQ(FromBytes<LSFFRE32>({0x7F, 0xC0, 0x00, 0x00}).Get(), 0); // NaN
}

namespace {

// G.711 mu-law expansion from the standard's segment formula, scaled to the
// internal representation (16-bit value * 16).
int ReferenceUlaw(unsigned char byte)
{
  int u = ~byte & 0xFF;
  int t = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
  return 16 * ((u & 0x80) ? 0x84 - t : t - 0x84);
}

int ReferenceAlaw(unsigned char byte)
{
  int a = byte ^ 0x55;
  int t = (a & 0x0F) << 4;
  int seg = (a & 0x70) >> 4;
  if (seg == 0) {
    t += 8;
  } else {
    t = (t + 0x108) << (seg - 1);
  }
  return 16 * ((a & 0x80) ? t : -t);
}

template <class F>
F FromByte(int b)
{
  return FromBytes<F>({static_cast<unsigned char>(b)});
}

template <class F>
int Encode(int v)
{
  F f;
  f.Set(v);
  return Bytes(f)[0];
}

} // namespace

TEST(SampleFormat, UlawMatchesStandardAndRoundTrips)
{
  for (int b = 0; b < 256; ++b) {
    int v = FromByte<LSFULAW>(b).Get();
    ASSERT_EQ(v, ReferenceUlaw(static_cast<unsigned char>(b))) << b;
    // Both zero codes decode to 0, which encodes as the positive one.
    int expected = (b == 0x7F) ? 0xFF : b;
    ASSERT_EQ(Encode<LSFULAW>(v), expected) << b;
  }
  EXPECT_EQ(FromByte<LSFULAW>(0x80).Get(), 513984);
  EXPECT_EQ(LSFULAW::GetPeak(), 516096);
  // Segment edges: the threshold belongs to the upper segment.
  EXPECT_EQ(Encode<LSFULAW>(1983), (~0x0F) & 0xFF);
  EXPECT_EQ(Encode<LSFULAW>(1984), (~0x10) & 0xFF);
  EXPECT_EQ(Encode<LSFULAW>(-1984), (~0x90) & 0xFF);
  // Overload holds the top code; the most negative int must not overflow.
  EXPECT_EQ(Encode<LSFULAW>(INT_MAX), 0x80);
  EXPECT_EQ(Encode<LSFULAW>(INT_MIN), 0x00);
  // Quantisation error stays within one step of the segment it lands in.
  for (int v = -520000; v <= 520000; v += 37) {
    int code = Encode<LSFULAW>(v);
    int got = FromByte<LSFULAW>(code).Get();
    int e = ((~code) >> 4) & 7;
    ASSERT_LE(std::abs(got - v), 1 << (e + 7)) << v;
    ASSERT_TRUE(got == 0 || (got < 0) == (v < 0)) << v;
  }
}

TEST(SampleFormat, AlawMatchesStandardAndRoundTrips)
{
  for (int b = 0; b < 256; ++b) {
    int v = FromByte<LSFALAW>(b).Get();
    ASSERT_EQ(v, ReferenceAlaw(static_cast<unsigned char>(b))) << b;
    ASSERT_EQ(Encode<LSFALAW>(v), b) << b;
  }
  EXPECT_EQ(LSFALAW::D[7], 16384);
  EXPECT_EQ(Encode<LSFALAW>(0), 0x80 ^ 0x55);
  EXPECT_EQ(Encode<LSFALAW>(-1), 0x00 ^ 0x55);
  EXPECT_EQ(Encode<LSFALAW>(4095), (0x80 | 0x0F) ^ 0x55);
  EXPECT_EQ(Encode<LSFALAW>(4096), (0x80 | 0x10) ^ 0x55);
  EXPECT_EQ(Encode<LSFALAW>(INT_MAX), 0xFF ^ 0x55);
  EXPECT_EQ(Encode<LSFALAW>(INT_MIN), 0x7F ^ 0x55);
  // Decoding sits in the middle of the step, so the error is at most half
  // a step (plus the clamp above the top level).
  for (int v = -524288; v <= 524287; v += 41) {
    int got = FromByte<LSFALAW>(Encode<LSFALAW>(v)).Get();
    int magnitude = v < 0 ? -v : v;
    int e = 0;
    while (e < 7 && magnitude >= (4096 << e)) {
      ++e;
    }
    if (magnitude < 262144 + 16 * 16384) {
      ASSERT_LE(std::abs(got - v), LSFALAW::D[e] / 2) << v;
    }
  }
}

TEST(BufferOps, Peaks)
{
  const int silence[4] = {0, 0, 0, 0};
  EXPECT_EQ(GetBufferPeak(silence, 2, 2), 0);
  EXPECT_EQ(GetBufferPeakDBChan(1, silence, 2, 2).GetDB(), -127);

  const int stereo[6] = {100, -300, -200, 50, 150, 299};
  EXPECT_EQ(GetBufferPeak(stereo, 3, 2), 300);
  EXPECT_EQ(GetBufferPeakChan(0, stereo, 3, 2), 200);
  EXPECT_EQ(GetBufferPeakChan(1, stereo, 3, 2), 300);
  EXPECT_EQ(GetBufferPeakChan(2, stereo, 3, 2), 0); // no such channel
  EXPECT_EQ(GetBufferPeakChan(0, stereo, 6, 1), GetBufferPeak(stereo, 6, 1));
  const int negatives[2] = {-5, -7};
  EXPECT_EQ(GetBufferPeak(negatives, 2, 1), 7);
  const int extreme[2] = {INT_MIN, 3};
  EXPECT_EQ(GetBufferPeak(extreme, 2, 1), INT_MAX);
}

TEST(BufferOps, PeakDecibels)
{
  auto db = [](int peak) {
    int buf[4] = {0, peak, 0, -1};
    return GetBufferPeakDBChan(1, buf, 2, 2).GetDB();
  };
  EXPECT_EQ(db(131072), 0);
  EXPECT_EQ(db(524272), 12);
  EXPECT_EQ(db(-524288), 12);
  EXPECT_EQ(db(65536), -6);
  EXPECT_EQ(db(131071), 0);
  EXPECT_EQ(db(1), -102);
  EXPECT_EQ(db(INT_MAX), 84);
  // 20 log10(2^-17) is -102.35..., so every peak stays inside the range.
  int mono[1] = {1};
  EXPECT_EQ(GetBufferPeakDBChan(0, mono, 1, 1).GetDB(), -102);
}
