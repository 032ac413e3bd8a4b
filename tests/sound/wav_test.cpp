// The WAV reader against files written by sox (decoded bit-exact against
// sox's own decoding) and against hand-made headers for the edge cases.
#include <gtest/gtest.h>

#include <numeric>

#include "sound/formaterrors.h"
#include "sound/soxfiles.h"
#include "sound/wav.h"

using namespace soxtest;

namespace {

struct WavLayout {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 8000;
  uint16_t bits = 16;
  uint32_t fmtSize = 16;
  std::vector<unsigned char> before;  // bytes before "RIFF"
  std::vector<unsigned char> between; // chunks between "fmt " and "data"
  std::vector<unsigned char> data;
  uint32_t dataSize = 0xFFFFFFFE;     // 0xFFFFFFFE: the size of `data`
};

std::vector<unsigned char> BuildWav(const WavLayout& s)
{
  std::vector<unsigned char> b = s.before;
  PutText(b, "RIFF");
  PutLE(b, 0, 4); // not used by the reader
  PutText(b, "WAVE");
  PutText(b, "fmt ");
  PutLE(b, s.fmtSize, 4);
  std::vector<unsigned char> fmt;
  PutLE(fmt, s.tag, 2);
  PutLE(fmt, s.channels, 2);
  PutLE(fmt, s.rate, 4);
  PutLE(fmt, s.rate * s.channels * ((s.bits + 7) / 8), 4);
  PutLE(fmt, s.channels * ((s.bits + 7) / 8), 2);
  PutLE(fmt, s.bits, 2);
  fmt.resize(s.fmtSize, 0);
  b.insert(b.end(), fmt.begin(), fmt.end());
  if (s.fmtSize % 2 != 0) {
    b.push_back(0);
  }
  b.insert(b.end(), s.between.begin(), s.between.end());
  PutText(b, "data");
  PutLE(b, s.dataSize == 0xFFFFFFFE ? static_cast<uint32_t>(s.data.size()) : s.dataSize, 4);
  b.insert(b.end(), s.data.begin(), s.data.end());
  return b;
}

// 16-bit little-endian samples counting up from `from`.
std::vector<unsigned char> Ramp16(int count, int from = 1)
{
  std::vector<unsigned char> b;
  for (int i = 0; i < count; ++i) {
    PutLE(b, static_cast<uint16_t>(from + i), 2);
  }
  return b;
}

class WavFile : public ::testing::Test {
protected:
  LSoundSource Open(const WavLayout& layout)
  {
    std::string path = dir_ / "t.wav";
    WriteBytes(path, BuildWav(layout));
    return LWaveFile::OpenSource(path.c_str());
  }
  TempDir dir_;
};

} // namespace

TEST_F(WavFile, SoxSixteenBitStereoDecodesBitExact)
{
  std::string path = dir_ / "noise.wav";
  Sox({"-n", "-r", "22050", "-c", "2", "-b", "16", path, "synth", "1.3", "whitenoise", "vol", "0.9"});
  LSoundSource s = LWaveFile::OpenSource(path.c_str());
  ASSERT_TRUE(s.IsOpen()) << int(s.GetErrorCode());
  EXPECT_EQ(s.GetSampleRate(), 22050);
  EXPECT_EQ(s.GetChannels(), 2);
  EXPECT_EQ(s.GetEndSample(), 28665);
  EXPECT_EQ(s.GetPeak(), 0x7FFF0);
  std::vector<int> ours = ReadToEnd(s, 8192);
  std::vector<int> sox = SoxDecode(dir_, {}, path);
  EXPECT_EQ(FirstDifference(ours, sox), -1);
  EXPECT_EQ(ours.size(), 2u * 28665);
}

TEST_F(WavFile, SoxEightBitUnsignedDecodesBitExact)
{
  std::string path = dir_ / "u8.wav";
  Sox({"-n", "-r", "8000", "-c", "1", "-b", "8", "-e", "unsigned-integer", path, "synth", "0.5", "whitenoise"});
  LSoundSource s = LWaveFile::OpenSource(path.c_str());
  ASSERT_TRUE(s.IsOpen());
  std::vector<int> ours = ReadToEnd(s, 333);
  std::vector<int> sox = SoxDecode(dir_, {}, path);
  EXPECT_EQ(FirstDifference(ours, sox), -1);
  EXPECT_EQ(ours.size(), 4000u);
}

TEST_F(WavFile, SoxEncodingsThatAreRefused)
{
  // 24-bit integer and 32-bit float: known WAV files, encoding not handled.
  std::string b24 = dir_ / "b24.wav";
  std::string f32 = dir_ / "f32.wav";
  Sox({"-n", "-r", "8000", "-c", "1", "-b", "24", b24, "synth", "0.1", "sine", "440"});
  Sox({"-n", "-r", "8000", "-c", "1", "-e", "floating-point", "-b", "32", f32, "synth", "0.1", "sine", "440"});
  EXPECT_EQ(LWaveFile::OpenSource(b24.c_str()).GetErrorCode(), kFileErrorEncoding);
  EXPECT_EQ(LWaveFile::OpenSource(f32.c_str()).GetErrorCode(), kFileErrorEncoding);
  WavLayout floatTag;
  floatTag.tag = 3;
  floatTag.bits = 32;
  floatTag.data = Ramp16(8);
  EXPECT_EQ(Open(floatTag).GetErrorCode(), kFileErrorEncoding);
}

TEST_F(WavFile, ChunksBeforeTheWaveFormAreSkipped)
{
  WavLayout layout;
  layout.data = Ramp16(6);
  // A 12-byte foreign header whose size (5) leaves one byte of body and a
  // pad byte after the 4 already read as its "form type".
  PutText(layout.before, "JUNK");
  PutLE(layout.before, 5, 4);
  PutText(layout.before, "abcd");
  layout.before.insert(layout.before.end(), {'x', 0});
  LSoundSource s = Open(layout);
  ASSERT_TRUE(s.IsOpen()) << int(s.GetErrorCode());
  EXPECT_EQ(ReadToEnd(s), (std::vector<int>{16, 32, 48, 64, 80, 96}));

  // A foreign header whose size leaves nothing to skip cannot be walked.
  WavLayout tiny;
  PutText(tiny.before, "JUNK");
  PutLE(tiny.before, 3, 4);
  PutText(tiny.before, "abcd");
  EXPECT_EQ(Open(tiny).GetErrorCode(), kFileErrorCorrupt);
}

TEST_F(WavFile, FormatChunkSizes)
{
  WavLayout layout;
  layout.data = Ramp16(4);
  for (uint32_t size : {16u, 17u, 18u, 40u, 8192u}) {
    layout.fmtSize = size;
    LSoundSource s = Open(layout);
    EXPECT_TRUE(s.IsOpen()) << size;
    EXPECT_EQ(s.GetEndSample(), 4) << size;
  }
  for (uint32_t size : {14u, 15u, 8193u}) {
    layout.fmtSize = size;
    EXPECT_EQ(Open(layout).GetErrorCode(), kFileErrorCorrupt) << size;
  }
}

TEST_F(WavFile, FormatLimits)
{
  WavLayout layout;
  layout.data = Ramp16(12);
  struct Case {
    uint16_t channels;
    uint32_t rate;
    uint16_t tag;
    uint16_t bits;
    unsigned char error;
  } cases[] = {
      {1, 1, 1, 16, 0},           {255, 196000, 1, 16, 0},  {1, 8000, 1, 12, 0},
      {1, 8000, 1, 1, 0},         {0, 8000, 1, 16, 3},      {256, 8000, 1, 16, 3},
      {1, 0, 1, 16, 3},           {1, 196001, 1, 16, 3},    {1, 8000, 1, 17, 5},
      {1, 8000, 0xFFFE, 16, 5},   {1, 8000, 6, 8, 5},       {0, 0, 3, 32, 3},
  };
  for (const Case& c : cases) {
    layout.channels = c.channels;
    layout.rate = c.rate;
    layout.tag = c.tag;
    layout.bits = c.bits;
    EXPECT_EQ(Open(layout).GetErrorCode(), c.error) << c.channels << " " << c.rate << " " << c.tag << " " << c.bits;
  }
}

TEST_F(WavFile, TwelveBitSamplesReadAsSixteenBit)
{
  WavLayout layout;
  layout.bits = 12;
  for (int v : {0x7FF0, -0x8000, 0x0010, -0x0010}) {
    PutLE(layout.data, static_cast<uint16_t>(v), 2);
  }
  LSoundSource s = Open(layout);
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(ReadToEnd(s), (std::vector<int>{0x7FF0 * 16, -0x8000 * 16, 256, -256}));
}

TEST_F(WavFile, DataSizeSetsTheEnd)
{
  WavLayout stereo;
  stereo.channels = 2;
  stereo.data = Ramp16(5); // 10 bytes: two whole frames and half of one
  EXPECT_EQ(Open(stereo).GetEndSample(), 2);

  WavLayout toEnd;
  toEnd.data = Ramp16(7);
  toEnd.dataSize = 0xFFFFFFFF;
  EXPECT_EQ(Open(toEnd).GetEndSample(), 7);

  // A size beyond the file: the missing part reads as silence.
  WavLayout longer;
  longer.data = Ramp16(3);
  longer.dataSize = 10;
  LSoundSource s = Open(longer);
  EXPECT_EQ(s.GetEndSample(), 5);
  EXPECT_EQ(ReadToEnd(s), (std::vector<int>{16, 32, 48, 0, 0}));
}

TEST_F(WavFile, ChunksBetweenFormatAndDataAreSkipped)
{
  WavLayout layout;
  layout.data = Ramp16(3, 100);
  PutText(layout.between, "LIST");
  PutLE(layout.between, 3, 4); // odd: a pad byte follows
  layout.between.insert(layout.between.end(), {'a', 'b', 'c', 0});
  PutText(layout.between, "fact");
  PutLE(layout.between, 4, 4);
  PutLE(layout.between, 3, 4);
  LSoundSource s = Open(layout);
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(ReadToEnd(s), (std::vector<int>{1600, 1616, 1632}));

  // An odd-sized format chunk is followed by its pad byte.
  WavLayout odd;
  odd.fmtSize = 19;
  odd.data = Ramp16(2, 7);
  LSoundSource o = Open(odd);
  EXPECT_EQ(ReadToEnd(o), (std::vector<int>{112, 128}));
}

TEST_F(WavFile, DamagedAndMissingFiles)
{
  std::string missing = dir_ / "missing.wav";
  EXPECT_EQ(LWaveFile::OpenSource(missing.c_str()).GetErrorCode(), kFileErrorOpen);

  WavLayout layout;
  layout.data = Ramp16(4);
  std::vector<unsigned char> whole = BuildWav(layout);
  std::string path = dir_ / "cut.wav";
  // Every cut inside the header fails with 3; a cut inside the data still
  // opens, with the end from the header and silence for what is missing.
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    WriteBytes(path, std::vector<unsigned char>(whole.begin(), whole.begin() + static_cast<long>(cut)));
    LSoundSource s = LWaveFile::OpenSource(path.c_str());
    if (cut < 44) {
      EXPECT_EQ(s.GetErrorCode(), kFileErrorCorrupt) << cut;
    } else {
      ASSERT_TRUE(s.IsOpen()) << cut;
      std::vector<int> expected = {16, 32, 48, 64};
      for (size_t i = (cut - 44) / 2; i < 4; ++i) {
        expected[i] = 0;
      }
      EXPECT_EQ(ReadToEnd(s), expected) << cut;
    }
  }

  // A chunk size that cannot be skipped in one step.
  WavLayout huge;
  PutText(huge.between, "LIST");
  PutLE(huge.between, 0x80000000u, 4);
  huge.data = Ramp16(2);
  EXPECT_EQ(Open(huge).GetErrorCode(), kFileErrorCorrupt);
  WavLayout allBits;
  PutText(allBits.between, "LIST");
  PutLE(allBits.between, 0xFFFFFFFFu, 4);
  EXPECT_EQ(Open(allBits).GetErrorCode(), kFileErrorCorrupt);
}

TEST_F(WavFile, SilenceBeforeTheStartAndAfterTheEnd)
{
  WavLayout layout;
  layout.data = Ramp16(200);
  LSoundSource s = Open(layout);
  ASSERT_TRUE(s.IsOpen());
  s.Seek(-40);
  std::vector<int> buffer(100, -1);
  EXPECT_EQ(s.Read(buffer.data(), 100), 100);
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(buffer[i], 0) << i;
  }
  for (int i = 40; i < 100; ++i) {
    ASSERT_EQ(buffer[i], (i - 39) * 16) << i;
  }
  EXPECT_EQ(s.GetPositionSample(), 60);

  // Across the end: the frames before it, then silence, then nothing.
  s.Seek(150);
  std::fill(buffer.begin(), buffer.end(), -1);
  EXPECT_EQ(s.Read(buffer.data(), 100), 50);
  EXPECT_EQ(buffer[49], 200 * 16);
  EXPECT_EQ(buffer[50], 0);
  EXPECT_EQ(buffer[99], 0);
  EXPECT_EQ(s.Read(buffer.data(), 100), 0);
  EXPECT_EQ(s.GetPositionSample(), 350);

  // Back again, and a read larger than the read buffer.
  s.Seek(0);
  std::vector<int> big(20000, -1);
  EXPECT_EQ(s.Read(big.data(), 20000), 200);
  EXPECT_EQ(big[199], 200 * 16);
  EXPECT_EQ(std::accumulate(big.begin() + 200, big.end(), 0LL), 0);

  // Far beyond the int range of positions: no overflow, only silence.
  s.Seek(INT32_MAX - 10);
  EXPECT_EQ(s.Read(buffer.data(), 100), 0);
  EXPECT_EQ(s.GetPositionSample(), INT32_MAX);
}
