// The velorin-rec tool on files written by sox, lame, oggenc and flac.
#include "audio/mp3encode.h"
#include "integration/kit.h"
#include "sound/mp3.h"
#include "sound/recordings.h"

namespace {

using Names = std::vector<std::string>;
const std::string kTool = VELORIN_BINARY_DIR "/velorin-rec";

std::string Folder(bool high)
{
  char folder[kPathSize];
  return high ? LRecordingsGetHighFolder(folder) : LRecordingsGetLowFolder(folder);
}

// Seconds from the first to the last loud sample, leaving out the encoder's delay and padding.
double SoundSpan(const LAudio& audio, int channel, double threshold = 4000)
{
  const std::vector<int16_t> x = audio.Channel(channel);
  size_t first = x.size(), last = 0;
  for (size_t i = 0; i < x.size(); ++i)
    if (std::abs(x[i]) > threshold) {
      first = std::min(first, i);
      last = i;
    }
  return first < x.size() ? double(last - first + 1) / audio.rate : 0.0;
}

class VelorinRecTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    signal(SIGPIPE, SIG_IGN);
    ASSERT_EQ(access(kTool.c_str(), X_OK), 0) << "not built: " << kTool;
  }

  LRunResult Tool(std::vector<std::string> args)
  {
    args.insert(args.begin(), kTool);
    return RunProgram(args);
  }

  std::string Make(const std::vector<std::string>& argv, const std::string& output)
  {
    LRunResult r = RunProgram(argv);
    EXPECT_TRUE(r.Exited(0)) << r.err;
    return output;
  }

  std::string MakeTone(const std::string& name, int rate, const std::vector<double>& tones, double seconds,
                       const Names& format = {"-b", "16"})
  {
    return SoxTone(dir_ / name, rate, tones, seconds, format);
  }

  // Both files hold the source's tones for its duration, at the encoder pipe's rate and channels.
  void ExpectRecording(const std::string& name, int rate, const std::vector<double>& tones, double seconds)
  {
    for (auto [high, kbps] : {std::pair{true, 56}, std::pair{false, 24}}) {
      const std::string path = Folder(high) + "/" + name + ".mp3";
      SCOPED_TRACE(path);
      LAudio audio;
      ASSERT_TRUE(DecodeWithFfmpeg(path, audio));
      LMp3EncodeSettings settings(kbps);
      char line[kEncoderCommandLineSize];
      int fedRate = 0;
      unsigned char fedChannels = 0;
      EXPECT_TRUE(Mp3CreateEncoderCommandLine(line, fedRate, fedChannels, "/dev/null", settings, rate,
                                              static_cast<unsigned char>(tones.size())));
      EXPECT_EQ(audio.rate, LMp3CorrectSampleRate(settings, rate));
      ASSERT_EQ(audio.channels, fedChannels == 1 || settings.channelMode == LMp3EncodeSettings::kModeMono ? 1 : 2);
      // Two different tones mixed into one channel have no one frequency.
      const bool mixed = audio.channels < static_cast<int>(tones.size()) && tones[0] != tones[1];
      for (int c = 0; c < audio.channels; ++c) {
        if (!mixed) {
          EXPECT_NEAR(ToneFrequency(audio, c), tones[c], tones[c] * 0.02);
        }
        EXPECT_NEAR(SoundSpan(audio, c, mixed ? 2000 : 4000), seconds, 0.05);
      }
    }
  }

  TempFolder dir_;
};

// Every readable format becomes a recording at both rates; headerless files
// are read with the options given, which are stored for the next file.
TEST_F(VelorinRecTest, AddsEveryReadableFormatAtBothRates)
{
  const std::vector<double> stereo = {440, 660};
  std::string ogg = Make({"/usr/bin/oggenc", "-Q", MakeTone("song.wav", 48000, stereo, 2.5), "-o", dir_ / "song.ogg"},
                         dir_ / "song.ogg");
  std::string flac =
      Make({"/usr/bin/flac", "-s", "-f", MakeTone("hymn.wav", 32000, {523.25}, 2), "-o", dir_ / "hymn.flac"},
           dir_ / "hymn.flac");
  LRunResult r = Tool({"add", MakeTone("talk.wav", 44100, stereo, 3), ogg, flac,
                       MakeTone("bell.aiff", 22050, {880}, 1.5), MakeTone("buzz.au", 16000, {300, 500}, 1.5)});
  ASSERT_TRUE(r.Exited(0)) << r.err;
  for (const char* name : {"talk", "song", "hymn", "bell", "buzz"})
    EXPECT_NE(r.out.find(std::string("Added ") + name), std::string::npos) << r.out;
  ExpectRecording("talk", 44100, stereo, 3);
  ExpectRecording("song", 48000, stereo, 2.5);
  ExpectRecording("hymn", 32000, {523.25}, 2);
  ExpectRecording("bell", 22050, {880}, 1.5);
  ExpectRecording("buzz", 16000, {300, 500}, 1.5);

  const Names raw = {"-b", "16", "-e", "signed", "-L"};  // no header
  ASSERT_TRUE(Tool({"add", "--raw-rate", "16000", "--raw-channels", "1", "--raw-codec", "3",
                    MakeTone("voice.raw", 16000, {440}, 2, raw)})
                  .Exited(0));
  ASSERT_TRUE(Tool({"add", MakeTone("again.raw", 16000, {440}, 1, raw)}).Exited(0));
  ASSERT_TRUE(Tool({"add", "--vox-rate", "8000", "--vox-channels", "1", "--vox-codec", "0",
                    MakeTone("call.gsm", 8000, {440}, 2), MakeTone("menu.vox", 8000, {440}, 2)})
                  .Exited(0));
  ExpectRecording("voice", 16000, {440}, 2);
  ExpectRecording("again", 16000, {440}, 1);
  ExpectRecording("call", 8000, {440}, 2);
  ExpectRecording("menu", 8000, {440}, 2);
}

// An MP3 at or below a rate is copied, above it re-encoded; one whose length
// estimate is short (loud frames first, no VBR header) keeps its duration.
TEST_F(VelorinRecTest, Mp3AtOrBelowTheRateIsCopiedAndAboveItReencoded)
{
  std::string wav = MakeTone("src.wav", 44100, {440, 660}, 3);
  auto lame = [&](const std::string& name, Names options) {
    options.insert(options.begin(), {"/usr/bin/lame", "--quiet"});
    options.insert(options.end(), {wav, dir_ / name});
    return Make(options, dir_ / name);
  };
  const std::string mid = lame("mid.mp3", {"-b", "32"}), big = lame("big.mp3", {"-b", "128"}),
                    low = lame("low.mp3", {"-b", "16", "--resample", "16"});
  std::string noise = Make({"/usr/bin/sox", "-n", "-r", "44100", "-c", "2", "-b", "16", dir_ / "noise.wav", "synth",
                            "1", "whitenoise", "vol", "0.9"},
                           dir_ / "noise.wav");
  wav = Make({"/usr/bin/sox", noise, MakeTone("tone.wav", 44100, {440, 440}, 5), dir_ / "joined.wav"},
             dir_ / "joined.wav");
  const std::string vbr = lame("vbr.mp3", {"-t", "-V", "0"});
  LSoundSource estimate = LMP3File::OpenSource(vbr.c_str());
  ASSERT_FALSE(estimate.Error());
  ASSERT_LT(estimate.GetEnd().GetMs(), 5700) << "the estimate must be short for this test";
  estimate.Close();

  LRunResult r = Tool({"add", mid, big, low, vbr});
  ASSERT_TRUE(r.Exited(0)) << r.err;
  for (auto [name, high, copied] : {std::tuple{"mid", true, true},
                                    {"mid", false, false},
                                    {"big", true, false},
                                    {"big", false, false},
                                    {"low", true, true},
                                    {"low", false, true}})
    EXPECT_EQ(ReadWhole(Folder(high) + "/" + name + ".mp3") == ReadWhole(dir_ / (std::string(name) + ".mp3")), copied)
        << name << (high ? " high" : " low");
  ExpectRecording("big", 44100, {440, 660}, 3);
  LProbe source;
  ASSERT_TRUE(ProbeStream(mid, source));
  LAudio audio;
  ASSERT_TRUE(DecodeWithFfmpeg(Folder(false) + "/mid.mp3", audio));
  LMp3EncodeSettings dialUp(24);
  EXPECT_EQ(audio.rate, LMp3CorrectSampleRate(dialUp, source.rate));
  EXPECT_NEAR(SoundSpan(audio, 0), 3, 0.05);
  for (bool high : {true, false}) {
    ASSERT_TRUE(DecodeWithFfmpeg(Folder(high) + "/vbr.mp3", audio));
    EXPECT_NEAR(SoundSpan(audio, 0), 6, 0.05) << "noise and tone: six seconds of sound";
  }
}

TEST_F(VelorinRecTest, FailuresLeaveNoFileOfTheirOwnAndDoNotStopTheOthers)
{
  std::string wav = MakeTone("src.wav", 44100, {440}, 1);
  // MP3 data named .wav is not passed through; text named .mp3 is not copied.
  std::string disguised =
      Make({"/usr/bin/lame", "--quiet", "-b", "16", wav, dir_ / "disguised.wav"}, dir_ / "disguised.wav");
  std::string junk = dir_ / "junk.mp3";
  WriteWhole(junk, std::string(3000, 'x'));
  for (const std::string& path : {disguised, junk, dir_ / "missing.wav", dir_.Path()}) {
    LRunResult r = Tool({"add", path});
    EXPECT_TRUE(r.Exited(1)) << path << ": " << r.err;
    EXPECT_FALSE(r.err.empty());
  }
  EXPECT_TRUE(FolderNames(Folder(true)).empty());
  EXPECT_TRUE(FolderNames(Folder(false)).empty());
  EXPECT_TRUE(Tool({"add", junk, wav}).Exited(1));
  EXPECT_EQ(FolderNames(Folder(true)), Names{"src.mp3"});
  // Added again from the library itself: left intact, not encoded onto itself.
  std::string inLibrary = Folder(true) + "/src.mp3", before = ReadWhole(inLibrary);
  EXPECT_TRUE(Tool({"add", inLibrary}).Exited(1));
  EXPECT_TRUE(ReadWhole(inLibrary) == before);

  // A failure of one rate leaves what encoding the broadband file first would.
  wav = MakeTone("x.wav", 44100, {440, 660}, 3);
  std::filesystem::create_directory(Folder(true) + "/x.mp3");
  EXPECT_TRUE(Tool({"add", wav}).Exited(1));
  EXPECT_EQ(FolderNames(Folder(false)), Names{"src.mp3"});
  std::filesystem::remove(Folder(true) + "/x.mp3");
  std::filesystem::create_directory(Folder(false) + "/x.mp3");
  EXPECT_TRUE(Tool({"add", wav}).Exited(1));
  LAudio audio;
  ASSERT_TRUE(DecodeWithFfmpeg(Folder(true) + "/x.mp3", audio));
  EXPECT_NEAR(SoundSpan(audio, 0), 3, 0.05);
}

// SIGINT deletes the partial file, keeps the earlier ones and exits with 130.
TEST_F(VelorinRecTest, InterruptDeletesThePartialFileAndKeepsEarlierOnes)
{
  std::string longer = MakeTone("long.wav", 44100, {440, 660}, 600);
  const std::vector<std::pair<Names, std::string>> runs = {
      {{kTool, "add", MakeTone("first.wav", 44100, {440}, 1), longer}, Folder(true) + "/long.mp3"},
      {{kTool, "decode", longer, dir_ / "long-out.wav", "--rate", "11025"}, dir_ / "long-out.wav"},
  };
  for (const auto& [argv, partial] : runs) {
    SCOPED_TRACE(argv[1]);
    LChild child;
    ASSERT_TRUE(child.Start(argv));
    ASSERT_TRUE(WaitUntil([&] { return Exists(partial); }));
    ASSERT_EQ(::kill(child.Pid(), SIGINT), 0);
    std::string out, err;
    int status = child.Collect(out, err);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << err;
    EXPECT_NE(err.find("stopped"), std::string::npos) << err;
    EXPECT_FALSE(Exists(partial));
  }
  EXPECT_EQ(FolderNames(Folder(true)), Names{"first.mp3"});
  EXPECT_EQ(FolderNames(Folder(false)), Names{"first.mp3"});
}

TEST_F(VelorinRecTest, DecodeWritesConvertedWavAndRefusesBadFiles)
{
  std::string wav = MakeTone("in.wav", 44100, {440, 660}, 2), out = dir_ / "out.wav";
  ASSERT_TRUE(Tool({"decode", wav, out, "--rate", "22050", "--channels", "1"}).Exited(0));
  LAudio audio;
  std::string why;
  ASSERT_TRUE(ReadCanonicalWav(out, audio, why)) << why;
  EXPECT_EQ(audio.rate, 22050);
  EXPECT_EQ(audio.channels, 1);
  EXPECT_NEAR(double(audio.Frames()) / 22050, 2, 0.01);
  EXPECT_NEAR(ToneFrequency(audio, 0), 440, 5);
  EXPECT_NEAR(Rms(audio, 0), 16384 / std::sqrt(2.0), 800);
  // Without options: the source's own format, sample for sample.
  ASSERT_TRUE(Tool({"decode", wav, out}).Exited(0));
  ASSERT_TRUE(ReadCanonicalWav(out, audio, why)) << why;
  EXPECT_EQ(audio.rate, 44100);
  EXPECT_EQ(audio.channels, 2);
  EXPECT_TRUE(PcmBytes(audio) == RunProgram({"/usr/bin/sox", wav, "-t", "raw", "-"}).out);

  wav = MakeTone("short.wav", 8000, {440}, 0.5);
  const std::string o = dir_ / "o.wav";
  WriteWhole(dir_ / "junk.wav", "RIFF....WAVEjunk");
  EXPECT_TRUE(Tool({"decode", dir_ / "junk.wav", o}).Exited(1));
  EXPECT_FALSE(Exists(o));
  EXPECT_TRUE(Tool({"decode", wav, wav}).Exited(1)) << "the output may not overwrite the source";
  EXPECT_EQ(ReadWhole(wav).size(), 44u + 8000u);
  EXPECT_TRUE(Tool({"decode", wav, dir_ / "no/such/o.wav"}).Exited(1));
}

}  // namespace
