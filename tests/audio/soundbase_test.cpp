#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/soundbase.h"

namespace {

using Bytes = std::vector<unsigned char>;

template <class F>
int Get(Bytes b)
{
  F f;
  std::memcpy(static_cast<void*>(&f), b.data(), sizeof f);
  return f.Get();
}

template <class F>
int GetFloat(float v)
{
  return Get<F>(Bytes(reinterpret_cast<unsigned char*>(&v), reinterpret_cast<unsigned char*>(&v) + 4));
}

template <class F>
Bytes Set(int v)
{
  F f;
  f.Set(v);
  Bytes b(sizeof f);
  std::memcpy(b.data(), static_cast<const void*>(&f), sizeof f);
  return b;
}

template <class F>
int Stored(int v)
{
  return Get<F>(Set<F>(v));
}

TEST(SampleFormat, ValuesBytesAndBoundaries)
{
  float half = 0;
  std::memcpy(&half, Set<LSFF32>(262144).data(), 4);
  const struct {
    int got, want;
  } values[] = {
      {Stored<LSF16>(8), 16},
      {Stored<LSF16>(7), 0},
      {Stored<LSF16>(-8), 0},
      {Stored<LSF16>(-9), -16},
      {Stored<LSF16>(INT_MAX), 524272},
      {Stored<LSF16>(INT_MIN), -524288},
      {Get<LSFBE16>({0x12, 0x34}), 0x1234 * 16},
      {Get<LSFBE16>({0x80, 0x00}), -524288},
      {Stored<LSFBE16>(600000), 524272},
      {Get<LSFU8>({128}), 0},
      {Get<LSFU8>({0}), -524288},
      {Get<LSFU8>({255}), 127 * 4096},
      {Get<LSFS8>({0x80}), -524288},
      {Get<LSFS8>({0x7F}), 127 * 4096},
      {Stored<LSFS8>(-2049), -4096},
      {Stored<LSFS8>(-2048), 0},
      {Stored<LSFS8>(INT_MAX), 127 * 4096},
      // Floats: the two byte orders use different scales, truncate toward zero, and damaged values stay defined.
      {GetFloat<LSFF32>(1.0f), 524288},
      {Get<LSFFRE32>({0x3F, 0x80, 0, 0}), 524272},
      {Get<LSFFRE32>({0xBF, 0x80, 0, 0}), -524272},
      {GetFloat<LSFF32>(1.9f / 524288), 1},
      {GetFloat<LSFF32>(-1.9f / 524288), -1},
      {half == 0.5f, 1},
      {GetFloat<LSFF32>(INFINITY), INT_MAX},
      {GetFloat<LSFF32>(-INFINITY), -INT_MAX},
      {GetFloat<LSFF32>(NAN), 0},
      {Get<LSFFRE32>({0x7F, 0xC0, 0, 0}), 0},
  };
  for (size_t i = 0; i < std::size(values); ++i)
    EXPECT_EQ(values[i].got, values[i].want) << "case " << i;
  const struct {
    Bytes got, want;
  } bytes[] = {
      {Set<LSF16>(524272), {0xFF, 0x7F}},
      {Set<LSF16>(-524288), {0x00, 0x80}},
      {Set<LSFBE16>(-16), {0xFF, 0xFF}},
      {Set<LSFBE16>(524272), {0x7F, 0xFF}},
      {Set<LSFU8>(0), {128}},
      {Set<LSFU8>(2048), {129}},
      {Set<LSFU8>(2047), {128}},
      {Set<LSFU8>(524287), {255}},
      {Set<LSFU8>(-600000), {0}},
      {Set<LSFFRE32>(-524272), {0xBF, 0x80, 0x00, 0x00}},
  };
  for (size_t i = 0; i < std::size(bytes); ++i)
    EXPECT_EQ(bytes[i].got, bytes[i].want) << "case " << i;
}

// The companding expansions from their segment formulas, at the internal scale (16-bit value * 16).
int ReferenceUlaw(int byte)
{
  int u = ~byte & 0xFF;
  int t = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
  return 16 * ((u & 0x80) ? 0x84 - t : t - 0x84);
}

int ReferenceAlaw(int byte)
{
  int a = byte ^ 0x55;
  int seg = (a & 0x70) >> 4;
  int t = seg == 0 ? ((a & 0x0F) << 4) + 8 : (((a & 0x0F) << 4) + 0x108) << (seg - 1);
  return 16 * ((a & 0x80) ? t : -t);
}

TEST(SampleFormat, CompandingMatchesItsFormulasAndRoundTrips)
{
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    int u = Get<LSFULAW>({static_cast<unsigned char>(b)});
    ASSERT_EQ(u, ReferenceUlaw(b));
    // Both zero codes decode to 0, which encodes as the positive one.
    ASSERT_EQ(Set<LSFULAW>(u)[0], b == 0x7F ? 0xFF : b);
    int a = Get<LSFALAW>({static_cast<unsigned char>(b)});
    ASSERT_EQ(a, ReferenceAlaw(b));
    ASSERT_EQ(Set<LSFALAW>(a)[0], b);
  }
  const struct {
    int got, want;
  } cases[] = {
      // Segment edges: the threshold belongs to the upper segment; overload
      // holds the top code and the most negative int must not overflow.
      {Set<LSFULAW>(1983)[0], ~0x0F & 0xFF},   {Set<LSFULAW>(1984)[0], ~0x10 & 0xFF},
      {Set<LSFULAW>(-1984)[0], ~0x90 & 0xFF},  {Set<LSFULAW>(INT_MAX)[0], 0x80},
      {Set<LSFULAW>(INT_MIN)[0], 0x00},        {Set<LSFALAW>(0)[0], 0x80 ^ 0x55},
      {Set<LSFALAW>(-1)[0], 0x00 ^ 0x55},      {Set<LSFALAW>(4095)[0], 0x8F ^ 0x55},
      {Set<LSFALAW>(4096)[0], 0x90 ^ 0x55},    {Set<LSFALAW>(INT_MAX)[0], 0xFF ^ 0x55},
      {Set<LSFALAW>(INT_MIN)[0], 0x7F ^ 0x55},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(BufferOps, PeaksAndTheirDecibels)
{
  const int silence[4] = {0, 0, 0, 0};
  const int stereo[6] = {100, -300, -200, 50, 150, 299};
  const int negatives[2] = {-5, -7};
  const int extreme[2] = {INT_MIN, 3};
  const int one[1] = {1};
  auto db = [](int peak) {
    int buf[4] = {0, peak, 0, -1};
    return GetBufferPeakDBChan(1, buf, 2, 2).GetDB();
  };
  const struct {
    int got, want;
  } cases[] = {
      {GetBufferPeak(silence, 2, 2), 0},
      {GetBufferPeakDBChan(1, silence, 2, 2).GetDB(), -127},
      {GetBufferPeak(stereo, 3, 2), 300},
      {GetBufferPeakChan(0, stereo, 3, 2), 200},
      {GetBufferPeakChan(1, stereo, 3, 2), 300},
      {GetBufferPeakChan(2, stereo, 3, 2), 0},  // no such channel
      {GetBufferPeakChan(0, stereo, 6, 1), 300},
      {GetBufferPeak(negatives, 2, 1), 7},
      {GetBufferPeak(extreme, 2, 1), INT_MAX},
      {db(131072), 0},
      {db(524272), 12},
      {db(65536), -6},
      {db(131071), 0},
      {db(1), -102},
      {db(INT_MAX), 84},
      {GetBufferPeakDBChan(0, one, 1, 1).GetDB(), -102},  // 20 log10(2^-17) = -102.35: inside the range
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

}  // namespace
