#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "audio/soundtime.h"

namespace {

std::string Text(int ms)
{
  char buf[LSoundTime::kTextSize];
  LSoundTime(ms).GetText(buf);
  return buf;
}

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

TEST(SoundTime, TextBothWays)
{
  const struct {
    const char* text;
    int ms;
  } parsed[] = {
      {"1:02:03.5", 3723500},
      {"0.25", 250},
      {".007", 7},
      {"1.23456", 1234},
      {"1.2.3", 1230},  // three fraction digits count; a second "." is ignored
      {"1:00-", -60000},
      {" 2m 30s", 230000},  // "-" anywhere, other characters skipped
      {"", 0},
      {"99999999999999999999999999", INT_MAX},
      {"-9:99999999:99999999999999", INT_MIN},
  };
  for (const auto& p : parsed)
    EXPECT_EQ(LSoundTime(p.text).GetMs(), p.ms) << p.text;
  EXPECT_EQ(LSoundTime(static_cast<const char*>(nullptr)).GetMs(), 0);
  const struct {
    int ms;
    const char* text;
  } formatted[] = {{3723500, "1:02:03.500"},   {0, "0:00:00.000"},
                   {-61001, "-0:01:01.001"},   {LSoundTime::Max().GetMs(), "60:00:00.000"},
                   {INT_MAX, "596:31:23.647"}, {INT_MIN, "-596:31:23.648"}};
  for (const auto& f : formatted)
    EXPECT_EQ(Text(f.ms), f.text);
}

}  // namespace
