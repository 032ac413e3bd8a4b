// Headerless raw files in every sample coding, against sox's writing and
// decoding of the same files, and the raw settings in the settings store.
#include <gtest/gtest.h>

#include <algorithm>

#include "settings/settings.h"
#include "sound/formaterrors.h"
#include "sound/raw.h"
#include "sound/soxfiles.h"

using namespace soxtest;

namespace {

struct Coding {
  int codec;
  std::vector<std::string> sox; // sox's options for the same coding
  int tolerance;                // internal units; 0 = bit-exact
};

// Floats are scaled and truncated here but rounded by sox; the big-endian
// float is also scaled by 524272 rather than 524288: within two 16-bit
// steps either way.
const Coding kCodings[] = {
    {1, {"-e", "u-law", "-b", "8"}, 0},
    {2, {"-e", "a-law", "-b", "8"}, 0},
    {3, {"-e", "signed-integer", "-b", "16", "-L"}, 0},
    {4, {"-e", "unsigned-integer", "-b", "8"}, 0},
    {5, {"-e", "signed-integer", "-b", "8"}, 0},
    {6, {"-e", "signed-integer", "-b", "16", "-B"}, 0},
    {7, {"-e", "floating-point", "-b", "32", "-L"}, 32},
    {8, {"-e", "floating-point", "-b", "32", "-B"}, 32},
};

std::vector<std::string> RawOptions(const Coding& c, int rate, int channels)
{
  std::vector<std::string> o = {"-t", "raw", "-r", std::to_string(rate), "-c", std::to_string(channels)};
  o.insert(o.end(), c.sox.begin(), c.sox.end());
  return o;
}

} // namespace

TEST(RawFile, EveryCodingAgainstSox)
{
  TempDir dir;
  for (const Coding& c : kCodings) {
    std::string path = dir / ("c" + std::to_string(c.codec) + ".raw");
    std::vector<std::string> args = {"-n"};
    std::vector<std::string> options = RawOptions(c, 16000, 2);
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {path, "synth", "0.4", "whitenoise", "vol", "0.9"});
    Sox(args);
    LRawSettings settings;
    settings.sampleRate = 16000;
    settings.channels = 2;
    settings.codec = c.codec;
    LSoundSource s = LRawFile::OpenSource(path.c_str(), settings);
    ASSERT_TRUE(s.IsOpen()) << c.codec;
    EXPECT_EQ(s.GetSampleRate(), 16000);
    EXPECT_EQ(s.GetChannels(), 2);
    EXPECT_EQ(s.GetEndSample(), 6400) << c.codec;
    std::vector<int> ours = ReadToEnd(s, 8192);
    std::vector<int> sox = SoxDecode(dir, RawOptions(c, 16000, 2), path);
    ASSERT_EQ(ours.size(), sox.size()) << c.codec;
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      worst = std::max(worst, std::abs(ours[i] - sox[i]));
    }
    EXPECT_LE(worst, c.tolerance) << "codec " << c.codec;
  }
}

TEST(RawFile, LengthFollowsTheFile)
{
  TempDir dir;
  std::string path = dir / "grow.raw";
  WriteBytes(path, std::vector<unsigned char>(10, 0));
  LRawSettings settings;
  settings.channels = 2;
  settings.codec = kRawCodecPCM16;
  LSoundSource s = LRawFile::OpenSource(path.c_str(), settings);
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(s.GetEndSample(), 2); // 10 bytes of 4-byte frames

  // A file that is still being written is followed.
  std::vector<unsigned char> more;
  PutLE(more, 0x1234, 2);
  PutLE(more, 0xFFFF, 2);
  std::vector<unsigned char> all(10, 0);
  all.insert(all.begin() + 8, more.begin(), more.end());
  all.resize(14);
  WriteBytes(path, all);
  EXPECT_EQ(s.GetEndSample(), 3);
  s.Seek(2);
  int frame[2] = {-1, -1};
  EXPECT_EQ(s.Read(frame, 1), 1);
  EXPECT_EQ(frame[0], 0x1234 * 16);
  EXPECT_EQ(frame[1], -16);
}

TEST(RawFile, CodecsOutsideTheListAndMissingFiles)
{
  TempDir dir;
  std::string path = dir / "x.raw";
  WriteBytes(path, std::vector<unsigned char>(16, 0));
  for (int codec : {9, -1, 100}) {
    LRawSettings settings;
    settings.codec = codec;
    EXPECT_EQ(LRawFile::OpenSource(path.c_str(), settings).GetErrorCode(), kSourceErrorNoSource) << codec;
  }
  std::string missing = dir / "missing.raw";
  for (int codec : {0, 3, 7}) {
    LRawSettings settings;
    settings.codec = codec;
    EXPECT_EQ(LRawFile::OpenSource(missing.c_str(), settings).GetErrorCode(), kFileErrorOpen) << codec;
  }
  LRawSettings zeroRate;
  zeroRate.sampleRate = 0;
  EXPECT_EQ(LRawFile::OpenSource(path.c_str(), zeroRate).GetErrorCode(), kSourceErrorFormat);
}

TEST(RawSettings, DefaultsStoreAndChannelLimits)
{
  LRawSettings raw;
  raw.Load(kRawAudioSection);
  EXPECT_EQ(raw.sampleRate, 44100);
  EXPECT_EQ(raw.channels, 1);
  EXPECT_EQ(raw.codec, kRawCodecPCM16);
  LVoxSettings vox;
  vox.Load();
  EXPECT_EQ(vox.sampleRate, 8000);
  EXPECT_EQ(vox.channels, 1);
  EXPECT_EQ(vox.codec, kRawCodecDialogicADPCM);

  raw.sampleRate = 22050;
  raw.channels = 2;
  raw.codec = kRawCodecALaw;
  raw.SaveAsDefaultSettings(kRawAudioSection);
  LRawSettings back;
  back.Load(kRawAudioSection);
  EXPECT_EQ(back.sampleRate, 22050);
  EXPECT_EQ(back.channels, 2);
  EXPECT_EQ(back.codec, kRawCodecALaw);
  vox.Load(); // the other section is untouched
  EXPECT_EQ(vox.sampleRate, 8000);

  for (int stored : {0, -3, 256, 1000}) {
    LSettingSetInt(kVoxAudioSection, "Channels", stored);
    vox.Load();
    EXPECT_EQ(vox.channels, 1) << stored;
  }
  LSettingSetInt(kVoxAudioSection, "Channels", 255);
  vox.Load();
  EXPECT_EQ(vox.channels, 255);
}
