// Channel converters: which channel survives, long reads, short inputs.
#include <gtest/gtest.h>

#include "sound/spconvchannels.h"
#include "sound/testsources.h"

namespace {

std::vector<int> Interleaved(int frames, unsigned char channels)
{
  std::vector<int> v(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      v[static_cast<size_t>(i) * channels + c] = i * 10 + c;
    }
  }
  return v;
}

} // namespace

TEST(ConvChannels, StereoToMonoKeepsLeft)
{
  LSoundSource src(new VectorSource(Interleaved(20000, 2), 44100, 2));
  LSoundSource out = LSPConvChannels(1).OpenSource(src);
  ASSERT_NE(dynamic_cast<LSRCConvStereoMono*>(out.Get()), nullptr);
  EXPECT_EQ(out.GetChannels(), 1);
  EXPECT_EQ(out.GetSampleRate(), 44100);
  // One read of more than a block must not overrun the read buffer.
  std::vector<int> v(20005, -1);
  EXPECT_EQ(out.Read(v.data(), 20005), 20000);
  for (int i = 0; i < 20000; ++i) {
    ASSERT_EQ(v[i], i * 10) << i;
  }
  EXPECT_EQ(v[20004], 0); // past the end: cleared
  EXPECT_EQ(out.GetPositionSample(), 20000);
  EXPECT_EQ(out.GetEndSample(), 20000);
}

TEST(ConvChannels, MonoToStereoDoubles)
{
  LSoundSource src(new VectorSource(Interleaved(9000, 1), 8000, 1, LSF16::GetPeak(), 333));
  LSoundSource out = LSPConvChannels(2).OpenSource(src);
  ASSERT_NE(dynamic_cast<LSRCConvMonoStereo*>(out.Get()), nullptr);
  std::vector<int> v = ReadAll(out, 8192);
  ASSERT_EQ(v.size(), 18000u);
  for (int i = 0; i < 9000; ++i) {
    ASSERT_EQ(v[2 * i], i * 10);
    ASSERT_EQ(v[2 * i + 1], i * 10);
  }
  out.Seek(100);
  int f[2];
  EXPECT_EQ(out.Read(f, 1), 1);
  EXPECT_EQ(f[1], 1000);
}

TEST(ConvChannels, WiderSourcesKeepTheirFirstChannels)
{
  LSoundSource six(new VectorSource(Interleaved(100, 6), 48000, 6));
  LSoundSource two = LSPConvChannels(2).OpenSource(six);
  EXPECT_EQ(two.GetChannels(), 2);
  std::vector<int> v = ReadAll(two);
  ASSERT_EQ(v.size(), 200u);
  EXPECT_EQ(v[2 * 7], 70);
  EXPECT_EQ(v[2 * 7 + 1], 71);

  LSoundSource one = LSPConvChannels(1).OpenSource(six);
  one.Seek(0); // the same input, read to its end above
  std::vector<int> m = ReadAll(one);
  ASSERT_EQ(m.size(), 100u);
  EXPECT_EQ(m[9], 90);

  LSoundSource st(new VectorSource(Interleaved(10, 2), 48000, 2));
  LSoundSource four = LSPConvChannels(4).OpenSource(st);
  std::vector<int> w = ReadAll(four);
  EXPECT_EQ(std::vector<int>(w.begin() + 4, w.begin() + 8), (std::vector<int>{10, 11, 10, 11}));
}

TEST(ConvChannels, NothingToDo)
{
  LSoundSource st(new VectorSource(Interleaved(10, 2), 48000, 2));
  EXPECT_EQ(LSPConvChannels(2).OpenSource(st).Get(), st.Get());
  EXPECT_EQ(LSPConvChannels(0).OpenSource(st).Get(), st.Get());
  LSoundSource none;
  EXPECT_EQ(LSPConvChannels(2).OpenSource(none).Get(), none.Get());
  LSRCConvStereoMono direct(none);
  EXPECT_EQ(direct.GetErrorCode(), 2);
  int buf[4] = {5, 5, 5, 5};
  EXPECT_EQ(direct.Read(buf, 4), 0);
  EXPECT_EQ(buf[3], 0);
}
