// Time and level value types: conversions, text forms and clamping.
#include <climits>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "audio/db.h"
#include "audio/soundtime.h"

namespace {

std::string Text(const LSoundTime& t)
{
  char buf[LSoundTime::kTextSize];
  t.GetText(buf);
  return buf;
}

} // namespace

TEST(SoundTime, SecondsTruncateTowardZero)
{
  EXPECT_EQ(LSoundTime(1.9999).GetMs(), 1999);
  EXPECT_EQ(LSoundTime(-1.9999).GetMs(), -1999);
  EXPECT_EQ(LSoundTime(0.0009).GetMs(), 0);
  // Out of range and NaN must not reach an undefined float-to-int cast.
  EXPECT_EQ(LSoundTime(1e12).GetMs(), INT_MAX);
  EXPECT_EQ(LSoundTime(-1e12).GetMs(), INT_MIN);
  EXPECT_EQ(LSoundTime(std::nan("")).GetMs(), 0);
}

TEST(SoundTime, FramesAndMilliseconds)
{
  LSoundTime t;
  t.SetSamples(44100, 44100);
  EXPECT_EQ(t.GetMs(), 1000);
  EXPECT_EQ(LSoundTime(1500).GetSamples(44100), 66150);
  // Remainders are truncated, not rounded.
  EXPECT_EQ(LSoundTime(44099, 44100).GetMs(), 999);
  EXPECT_EQ(LSoundTime(1).GetSamples(999), 0);
  EXPECT_EQ(LSoundTime(-1500).GetSamples(8000), -12000);
  // A rate of 0 or less leaves the value alone.
  t.SetSamples(123, 0);
  EXPECT_EQ(t.GetMs(), 1000);
  t.SetSamples(123, -5);
  EXPECT_EQ(t.GetMs(), 1000);
}

TEST(SoundTime, LongTimesDoNotOverflow)
{
  // 60 hours at 44.1 kHz is 9.5e9 frames: beyond 32 bits, so it saturates
  // instead of wrapping to a negative count.
  EXPECT_EQ(LSoundTime::Max().GetSamples(44100), INT_MAX);
  EXPECT_EQ(LSoundTime::Max().GetSamples(8000), 1728000000);
  EXPECT_EQ(LSoundTime(INT_MAX, 1).GetMs(), INT_MAX);
  EXPECT_EQ(LSoundTime(INT_MIN, 1).GetMs(), INT_MIN);
  EXPECT_EQ(LSoundTime(INT_MAX, 44100).GetMs(), 48695774);
  EXPECT_EQ((LSoundTime(INT_MAX) + LSoundTime(1)).GetMs(), INT_MAX);
  EXPECT_EQ((LSoundTime(INT_MIN) - LSoundTime(1)).GetMs(), INT_MIN);
  EXPECT_EQ((LSoundTime(5) - LSoundTime(7)).GetMs(), -2);
  EXPECT_TRUE(LSoundTime(1) > LSoundTime(-1));
}

TEST(SoundTime, ParsesText)
{
  EXPECT_EQ(LSoundTime("1:02:03.5").GetMs(), 3723500);
  EXPECT_EQ(LSoundTime("12").GetMs(), 12000);
  EXPECT_EQ(LSoundTime("0.25").GetMs(), 250);
  EXPECT_EQ(LSoundTime(".007").GetMs(), 7);
  // Only three fraction digits count; a second "." is ignored.
  EXPECT_EQ(LSoundTime("1.23456").GetMs(), 1234);
  EXPECT_EQ(LSoundTime("1.2.3").GetMs(), 1230);
  // "-" anywhere, other characters skipped.
  EXPECT_EQ(LSoundTime("-1:00").GetMs(), -60000);
  EXPECT_EQ(LSoundTime("1:00-").GetMs(), -60000);
  EXPECT_EQ(LSoundTime(" 2m 30s").GetMs(), 230000);
  EXPECT_EQ(LSoundTime("").GetMs(), 0);
  EXPECT_EQ(LSoundTime("abc").GetMs(), 0);
  EXPECT_EQ(LSoundTime(static_cast<const char*>(nullptr)).GetMs(), 0);
  // Endless digits saturate rather than wrap.
  EXPECT_EQ(LSoundTime("99999999999999999999999999").GetMs(), INT_MAX);
  EXPECT_EQ(LSoundTime("-9:99999999:99999999999999").GetMs(), INT_MIN);
}

TEST(SoundTime, FormatsText)
{
  EXPECT_EQ(Text(LSoundTime(3723500)), "1:02:03.500");
  EXPECT_EQ(Text(LSoundTime(0)), "0:00:00.000");
  EXPECT_EQ(Text(LSoundTime(-61001)), "-0:01:01.001");
  EXPECT_EQ(Text(LSoundTime::Max()), "60:00:00.000");
  EXPECT_EQ(Text(LSoundTime(INT_MAX)), "596:31:23.647");
  EXPECT_EQ(Text(LSoundTime(INT_MIN)), "-596:31:23.648");
  // Round trip through the parser.
  for (int ms : {0, 1, 999, 59999, 3600000, -3723500, 215999999}) {
    EXPECT_EQ(LSoundTime(Text(LSoundTime(ms)).c_str()).GetMs(), ms) << ms;
  }
}

TEST(DB, ClampsAndCompares)
{
  EXPECT_EQ(LDB(200).GetDB(), 127);
  EXPECT_EQ(LDB(-300).GetDB(), -127);
  EXPECT_EQ(LDB(-128).GetDB(), -127);
  EXPECT_EQ(LDB(INT_MIN).GetDB(), -127);
  EXPECT_EQ(LDB(-5).GetDB(), -5);
  EXPECT_EQ((LDB::Off() - LDB(4)).GetDB(), -127);
  EXPECT_EQ((LDB::Max() - LDB::Min()).GetDB(), 127);
  EXPECT_EQ((LDB(3) - LDB(10)).GetDB(), -7);
  // Signed comparisons: a negative level is below a positive one.
  EXPECT_TRUE(LDB(1) > LDB(-1));
  EXPECT_FALSE(LDB(-1) > LDB(1));
  EXPECT_TRUE(LDB(-1) >= LDB(-1));
  EXPECT_TRUE(LDB::Off() == LDB::Min());
}

TEST(DB, MonoLevelOfChannels)
{
  LDBMC levels;
  EXPECT_EQ(levels.GetChannels(), 0);
  EXPECT_EQ(levels.GetMonoDB().GetDB(), -127);
  levels.SetChannels(1);
  levels[0] = LDB(-20);
  levels[1] = LDB(50); // not a channel of a mono signal
  EXPECT_EQ(levels.GetMonoDB().GetDB(), -20);
  levels.SetChannels(2);
  EXPECT_EQ(levels.GetMonoDB().GetDB(), 50);
  levels[1] = LDB(-30);
  EXPECT_EQ(levels.GetMonoDB().GetDB(), -20);
  levels.SetChannels(3);
  levels[2] = LDB(100);
  EXPECT_EQ(levels.GetMonoDB().GetDB(), -20);
  levels.SetChannels(255);
  levels[255] = LDB(7);
  EXPECT_EQ(levels[255].GetDB(), 7);
}
