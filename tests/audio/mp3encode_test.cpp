#include <gtest/gtest.h>

#include "audio/mp3check.h"
#include "audio/mp3encode.h"
#include "audio/pipe16sink.h"
#include "settings/settings.h"
#include "sound/testsources.h"

namespace {

TEST(Mp3CommandLine, FileCommandLinesByRateModeAndInput)
{
  using S = LMp3EncodeSettings;
  const struct {
    void (*adjust)(S&);
    int bitRate, inputRate, inputChannels;
    const char* options;  // between the encoder path and the output file
    int rate, channels;
  } cases[] = {
      {nullptr, 32, 44100, 2, " -m j -b 32 -h -r -x -s 44.100 -S - ", 44100, 2},
      {nullptr, 31, 44100, 2, " -m j -b 31 -h -r -x -s 22.050 -S - ", 22050, 2},
      {nullptr, 24, 44100, 2, " -a -m m -b 24 -h -r -x -s 22.050 -S - ", 22050, 2},
      {nullptr, 16, 44100, 2, " -m m -b 16 -h -r -x -s 22.050 -S - ", 22050, 1},
      {nullptr, 56, 44100, 1, " -m m -b 56 -h -r -x -s 44.100 -S - ", 44100, 1},
      {nullptr, 128, 96000, 2, " -m j -b 128 -h -r -x -s 48.000 -S - ", 48000, 2},
      {[](S& s) { s.channelMode = 7; }, 64, 44100, 2, " -m j -b 64 -h -r -x -s 44.100 -S - ", 44100, 2},
      {[](S& s) { s.channelMode = S::kModeStereo; }, 64, 44100, 2, " -m s -b 64 -h -r -x -s 44.100 -S - ", 44100, 2},
      {[](S& s) { s.channelMode = S::kModeForce; }, 64, 44100, 2, " -m f -b 64 -h -r -x -s 44.100 -S - ", 44100, 2},
      {[](S& s) { s.errorProtection = true, s.highQuality = false; }, 64, 44100, 2,
       " -m j -p -b 64 -r -x -s 44.100 -S - ", 44100, 2},
      {[](S& s) { s.constantBitRate = false; }, 64, 44100, 2, " -m j -v -b 32 -B 128 -V 4 -r -x -s 44.100 -S - ", 44100,
       2},
      {[](S& s) { s.constantBitRate = false, s.vbrMaxBitRate = 16; }, 64, 44100, 2,
       " -a -m m -v -b 32 -B 16 -V 4 -r -x -s 44.100 -S - ", 44100, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    S settings(c.bitRate);
    if (c.adjust != nullptr)
      c.adjust(settings);
    char line[kEncoderCommandLineSize];
    int rate = 0;
    unsigned char channels = 0;
    ASSERT_TRUE(Mp3CreateEncoderCommandLine(line, rate, channels, "/tmp/out.mp3", settings, c.inputRate,
                                            static_cast<unsigned char>(c.inputChannels)));
    EXPECT_EQ(line, "\"/opt/ostrel/components/lyrenc/lyrenc\"" + std::string(c.options) + "\"/tmp/out.mp3\"");
    EXPECT_EQ(rate, c.rate);
    EXPECT_EQ(channels, c.channels);
  }
  S saved(40);
  saved.vbrQuality = 7;
  saved.errorProtection = true;
  saved.SaveAsDefaultSettings();
  const std::pair<const char*, int> keys[] = {{"ConstantBitRate", 1}, {"CBRBitRate", 40},     {"HighQuality", 1},
                                              {"VBRMinBitRate", 32},  {"VBRMaxBitRate", 128}, {"VBRQuality", 7},
                                              {"ErrorProtection", 1}, {"ChannelMode", 1}};
  for (auto [key, value] : keys)
    EXPECT_EQ(LSettingGetInt("MP3Encoder", key, -1), value) << key;
}

TEST(Mp3CommandLine, SampleRateCorrectionBoundaries)
{
  const struct {
    int bitRate, rate, expected;
  } cases[] = {
      {128, 96000, 48000}, {128, 47999, 44100}, {128, 32000, 32000}, {128, 24000, 24000}, {128, 23999, 22050},
      {128, 16000, 16000}, {128, 15999, 11025}, {128, 8000, 8000},   {128, -5, 8000},     {192, 31999, 44100},
      {192, 32000, 32000}, {160, 8000, 8000},  // above 160 kbit/s only the high rates
      {31, 22051, 22050},  {31, 22050, 22050},  {31, 16000, 16000},  {32, 44100, 44100},  // 31 and less: 22050 at most
  };
  for (const auto& c : cases) {
    LMp3EncodeSettings settings(c.bitRate);
    EXPECT_EQ(LMp3CorrectSampleRate(settings, c.rate), c.expected) << c.bitRate << " kbit/s at " << c.rate;
  }
  LMp3EncodeSettings vbr(64);
  vbr.constantBitRate = false;
  vbr.vbrMinBitRate = 24;
  vbr.vbrMaxBitRate = 192;
  EXPECT_EQ(LMp3CorrectSampleRate(vbr, 16000), 44100) << "VBR maximum counts as the upper rate";
  vbr.vbrMaxBitRate = 128;
  EXPECT_EQ(LMp3CorrectSampleRate(vbr, 44100), 22050) << "VBR minimum counts as the lower rate";
}

TEST(Mp3CommandLine, MissingComponentAndOverlongNames)
{
  LMp3EncodeSettings settings(56);
  char line[kEncoderCommandLineSize];
  int rate = 0;
  unsigned char channels = 0;
  std::rename("/opt/ostrel/components/lyrenc", "/opt/ostrel/components/away");
  EXPECT_FALSE(Mp3CreateEncoderCommandLine(line, rate, channels, "/tmp/x.mp3", settings, 44100, 2));
  EXPECT_STREQ(line, "");
  EXPECT_FALSE(Mp3CreateLiveCommandLine(line, 56));
  EXPECT_STREQ(line, "");
  EXPECT_TRUE(OpenMp3Sink("/tmp/x.mp3", settings, 44100, 2).Error());
  EXPECT_FALSE(Exists("/tmp/x.mp3"));
  std::rename("/opt/ostrel/components/away", "/opt/ostrel/components/lyrenc");
  // A name that cannot fit is refused rather than cut (a cut name would lose its closing quote or name another file).
  std::string longName = "/tmp/" + std::string(700, '$') + ".mp3";
  EXPECT_FALSE(Mp3CreateEncoderCommandLine(line, rate, channels, longName.c_str(), settings, 44100, 2));
  EXPECT_STREQ(line, "");
  std::string fits = "/tmp/" + std::string(250, '$') + ".mp3";
  EXPECT_TRUE(Mp3CreateEncoderCommandLine(line, rate, channels, fits.c_str(), settings, 44100, 2));
}

// Other rates and channel counts: VelorinRecTest.AddsEveryReadableFormatAtBothRates.
TEST(Mp3FileEncode, EncodesAFileThatDecodesToTheToneUnderItsLiteralName)
{
  const std::string path = "/tmp/a \"b\" $(id -u) `uname` \\ $HOME ${PATH}.mp3";  // a shell would name another file
  {
    LMp3EncodeSettings settings(56);
    LSoundSink sink = OpenMp3Sink(path.c_str(), settings, 44100, 2);
    ASSERT_FALSE(sink.Error());
    std::vector<int> tone = Sine(440, 44100, 88200, 256000, 2);
    EXPECT_EQ(sink.Write(tone.data(), 88199), 88199 * 4);
    EXPECT_EQ(sink.Write(tone.data() + 88199 * 2, 1), 4);
    EXPECT_EQ(sink.GetPosition().GetMs(), 2000);
  }  // the last handle closes the encoder and waits for it
  std::vector<int16_t> pcm = DecodeMp3File(path);
  EXPECT_NEAR(static_cast<double>(pcm.size()) / 44100, 2.0, 0.1);
  EXPECT_NEAR(ToneFrequency(pcm, 44100, 4410, pcm.size() - 4410), 440, 4.4);
}

TEST(Mp3FileEncode, EncoderThatStopsReadingPutsTheSinkInError)
{
  // One takes 1000 bytes and exits, the other never starts (popen still
  // runs the shell): later writes must fail without SIGPIPE in this process.
  for (const char* command : {"head -c 1000 >/dev/null", "/nonexistent/lyrenc - /tmp/never.mp3 2>/dev/null"}) {
    SCOPED_TRACE(command);
    LPipe16Sink sink(command, 44100, 2);
    ASSERT_FALSE(sink.Error());
    std::vector<int> tone = Sine(440, 44100, 4410, 256000, 2);
    int result = 0;
    for (int i = 0; i < 200 && result >= 0; ++i)
      result = sink.Write(tone.data(), 4410);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(sink.Error());
    EXPECT_EQ(sink.Write(tone.data(), 0), 0);
  }
}

}  // namespace
