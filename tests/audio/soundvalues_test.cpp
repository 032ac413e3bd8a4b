#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "audio/soundtime.h"

namespace {

int SetSamples(int frames, int rate)
{
  LSoundTime t(777);
  t.SetSamples(frames, rate);  // a rate of 0 or less leaves the value alone
  return t.GetMs();
}

TEST(SoundTime, ConversionsTruncateAndSaturate)
{
  const struct {
    int got, want;
  } cases[] = {
      // Seconds truncate toward zero; out of range and NaN never reach an undefined float-to-int cast.
      {LSoundTime(1.9999).GetMs(), 1999},
      {LSoundTime(0.0009).GetMs(), 0},
      {LSoundTime(1e12).GetMs(), INT_MAX},
      {LSoundTime(-1e12).GetMs(), INT_MIN},
      {LSoundTime(std::nan("")).GetMs(), 0},
      {SetSamples(44100, 44100), 1000},
      {SetSamples(123, 0), 777},
      {LSoundTime(1500).GetSamples(44100), 66150},
      {LSoundTime(44099, 44100).GetMs(), 999},
      {LSoundTime(1).GetSamples(999), 0},
      {LSoundTime(-1500).GetSamples(8000), -12000},
      // 60 hours at 44.1 kHz is beyond 32 bits: saturated, not wrapped.
      {LSoundTime::Max().GetSamples(44100), INT_MAX},
      {LSoundTime::Max().GetSamples(8000), 1728000000},
      {LSoundTime(INT_MAX, 1).GetMs(), INT_MAX},
      {LSoundTime(INT_MAX, 44100).GetMs(), 48695774},
      {(LSoundTime(INT_MAX) + LSoundTime(1)).GetMs(), INT_MAX},
      {(LSoundTime(INT_MIN) - LSoundTime(1)).GetMs(), INT_MIN},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

}  // namespace
