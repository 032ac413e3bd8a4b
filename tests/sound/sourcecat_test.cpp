// Concatenation of sources and silence, with the real converters for items
// of other formats.
#include <gtest/gtest.h>

#include "audio/sourcecat.h"
#include "sound/spconvertrate.h"
#include "sound/testsources.h"

namespace {

LSoundSource Ramp(int from, int frames, int rate = 11025, unsigned char ch = 1, int peak = LSF16::GetPeak())
{
  std::vector<int> v(static_cast<size_t>(frames) * ch);
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < ch; ++c) {
      v[static_cast<size_t>(i) * ch + c] = from + i;
    }
  }
  return LSoundSource(new VectorSource(v, rate, ch, peak));
}

std::vector<int> Expected(std::initializer_list<std::pair<int, int>> runs)
{
  // (start value, count) for ramps, (0, -count) for silence.
  std::vector<int> v;
  for (auto [from, n] : runs) {
    if (n < 0) {
      v.insert(v.end(), -n, 0);
    } else {
      for (int i = 0; i < n; ++i) {
        v.push_back(from + i);
      }
    }
  }
  return v;
}

} // namespace

TEST(SourceCat, ItemsInOrderWithSilence)
{
  LSoundSource a = Ramp(1, 300);
  LSoundSource b = Ramp(1001, 200);
  a.Seek(150); // items are rewound when opened
  LSoundSourceCat cat(LSPConvertSourceRateChannels);
  cat.AddSource(a);
  cat.AddSilence(LSoundTime(10)); // 110 frames at 11025 Hz
  cat.AddSource(b);
  LSoundSource s = cat.OpenSource();
  EXPECT_EQ(s.GetSampleRate(), 11025);
  EXPECT_EQ(s.GetChannels(), 1);
  EXPECT_EQ(s.GetEndSample(), 610);
  std::vector<int> all = ReadAll(s, 77);
  EXPECT_EQ(all, Expected({{1, 300}, {0, -110}, {1001, 200}}));
  EXPECT_EQ(s.GetPositionSample(), 610);
  EXPECT_EQ(s.GetEndSample(), 610);
}

TEST(SourceCat, ReadAcrossTheEnd)
{
  LSoundSource a = Ramp(1, 100);
  LSoundSourceCat cat(LSPConvertSourceRateChannels);
  cat.AddSource(a);
  LSoundSource s = cat.OpenSource(11025, 1);
  std::vector<int> buf(150, 7);
  // The frames delivered are counted and the rest is silence.
  EXPECT_EQ(s.Read(buf.data(), 150), 100);
  EXPECT_EQ(buf[99], 100);
  EXPECT_EQ(buf[149], 0);
  EXPECT_EQ(s.Read(buf.data(), 10), 0);
}

TEST(SourceCat, EndAndPositionWhileReading)
{
  LSoundSourceCat cat(LSPConvertSourceRateChannels);
  LSoundSource a = Ramp(1, 50);
  LSoundSource b = Ramp(100, 70);
  cat.AddSilence(LSoundTime(20)); // 220 frames
  cat.AddSource(a);
  cat.AddSource(b);
  LSoundSource s = cat.OpenSource();
  std::vector<int> buf(400);
  int total = 0;
  for (int chunk : {219, 2, 49, 1, 60}) {
    total += s.Read(buf.data(), chunk);
    EXPECT_EQ(s.GetPositionSample(), total);
    EXPECT_EQ(s.GetEndSample(), 340) << total;
  }
}

TEST(SourceCat, Seeking)
{
  LSoundSourceCat cat(LSPConvertSourceRateChannels);
  LSoundSource a = Ramp(1, 100);
  LSoundSource b = Ramp(1001, 100);
  cat.AddSource(a);
  cat.AddSilence(LSoundTime(10)); // 110 frames
  cat.AddSource(b);
  LSoundSource s = cat.OpenSource();
  int v[5];

  s.Seek(95);
  ASSERT_EQ(s.Read(v, 5), 5);
  EXPECT_EQ(v[4], 100);
  s.Seek(205);
  ASSERT_EQ(s.Read(v, 5), 5);
  EXPECT_EQ(v[0], 0);
  EXPECT_EQ(v[4], 0);
  EXPECT_EQ(s.Read(v, 5), 5);
  EXPECT_EQ(v[0], 1001);
  s.Seek(215);
  ASSERT_EQ(s.Read(v, 1), 1);
  EXPECT_EQ(v[0], 1006);
  EXPECT_EQ(s.GetPositionSample(), 216);
  EXPECT_EQ(s.GetEndSample(), 310);

  // Before the start: silence first.
  s.Seek(-3);
  EXPECT_EQ(s.GetPositionSample(), -3);
  ASSERT_EQ(s.Read(v, 5), 5);
  EXPECT_EQ(std::vector<int>(v, v + 5), (std::vector<int>{0, 0, 0, 1, 2}));
  EXPECT_EQ(s.GetPositionSample(), 2);

  // Past the end: one second of silence, then nothing.
  s.Seek(1000);
  EXPECT_EQ(s.GetEndSample(), 1000 + 11025);
  std::vector<int> rest = ReadAll(s);
  EXPECT_EQ(rest, std::vector<int>(11025, 0));
}

TEST(SourceCat, ItemsOfOtherFormatsAreConverted)
{
  LSoundSourceCat cat(LSPConvertSourceRateChannels);
  LSoundSource low = LSoundSource(new VectorSource(Sine(500, 22050, 22050, 100000), 22050, 1));
  LSoundSource high = LSoundSource(new VectorSource(Sine(500, 44100, 44100, 400000, 2), 44100, 2, 2 * LSF16::GetPeak()));
  cat.AddSource(low);
  cat.AddSource(high);
  LSoundSource s = cat.OpenSource();
  EXPECT_EQ(s.GetSampleRate(), 44100);
  EXPECT_EQ(s.GetChannels(), 2);
  // The upsampled item's converter doubles its headroom; the declared peak
  // follows the largest item.
  EXPECT_EQ(s.GetPeak(), 2 * LSF16::GetPeak());
  EXPECT_EQ(s.GetEndSample(), 88200);
  std::vector<int> all = ReadAll(s);
  ASSERT_EQ(all.size(), 2u * 88200);
  std::vector<int> left(88200);
  for (int i = 0; i < 88200; ++i) {
    left[i] = all[2 * i];
    ASSERT_EQ(all[2 * i], all[2 * i + 1]);
  }
  EXPECT_NEAR(Amplitude(left, 500, 44100, 1000, 43000), 100000, 500);
  EXPECT_NEAR(Amplitude(left, 500, 44100, 45000, 88000), 400000, 10);

  // A fixed format converts the other way too.
  LSoundSource mono = cat.OpenSource(8000, 1);
  EXPECT_EQ(mono.GetChannels(), 1);
  EXPECT_EQ(static_cast<int>(ReadAll(mono).size()), mono.GetEndSample());
}

TEST(SourceCat, EmptyAndInvalidItems)
{
  LSoundSourceCat empty(LSPConvertSourceRateChannels);
  LSoundSource e = empty.OpenSource();
  EXPECT_EQ(e.GetSampleRate(), 8000);
  EXPECT_EQ(e.GetChannels(), 1);
  EXPECT_EQ(e.GetEndSample(), 0);
  int v[4] = {1, 1, 1, 1};
  EXPECT_EQ(e.Read(v, 4), 0);
  EXPECT_EQ(v[3], 0);

  LSoundSourceCat cat(LSPConvertSourceRateChannels);
  LSoundSource none;
  LSoundSource a = Ramp(1, 10, 16000);
  cat.AddSource(none);
  cat.AddSilence(LSoundTime(-5)); // counts as nothing
  cat.AddSource(a);
  LSoundSource s = cat.OpenSource();
  EXPECT_EQ(s.GetSampleRate(), 16000);
  EXPECT_EQ(ReadAll(s), Expected({{1, 10}}));
}
