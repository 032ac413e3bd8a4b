// The velorin-rec tool run as a real process on files made by sox, lame,
// oggenc and flac; its recordings are read back with ffmpeg.
#include <csignal>
#include <thread>

#include "audio/mp3encode.h"
#include "base/stringtools.h"
#include "integration/componentkit.h"
#include "sound/mp3.h"
#include "sound/recordings.h"

using namespace componentkit;

namespace {

const std::string kTool = VELORIN_BINARY_DIR "/velorin-rec";

std::string HighFolder() {
  char folder[kPathSize];
  return LRecordingsGetHighFolder(folder);
}
std::string LowFolder() {
  char folder[kPathSize];
  return LRecordingsGetLowFolder(folder);
}

// Seconds from the first to the last sample of a channel louder than a
// quarter of the tone's amplitude: the recorded sound itself, whatever
// silence the encoder's delay and padding add around it.
double SoundSpan(const LAudio& audio, int channel, double threshold = 4000) {
  std::vector<double> x = audio.Channel(channel);
  size_t first = x.size(), last = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    if (std::abs(x[i]) > threshold) {
      first = std::min(first, i);
      last = i;
    }
  }
  return first < x.size() ? double(last - first + 1) / audio.rate : 0.0;
}

struct LExpect {
  int rate;
  int channels;
};

// The MP3 that the encoder pipe writes for a source at `rate` with
// `channels`: the rate it is fed with, and one channel when it is fed one or
// encodes in mono mode (mixing stereo input down).
LExpect EncoderFormat(int kbps, int rate, int channels) {
  LMp3EncodeSettings settings(kbps);
  char line[kEncoderCommandLineSize];
  int fedRate = 0;
  unsigned char fedChannels = 0;
  EXPECT_TRUE(Mp3CreateEncoderCommandLine(line, fedRate, fedChannels, "/dev/null", settings, rate,
                                          static_cast<unsigned char>(channels)));
  EXPECT_EQ(fedRate, LMp3CorrectSampleRate(settings, rate));
  bool mono = fedChannels == 1 || settings.channelMode == LMp3EncodeSettings::kModeMono;
  return {fedRate, mono ? 1 : 2};
}

class VelorinRecTest : public ::testing::Test {
protected:
  void SetUp() override {
    IgnoreBrokenPipes();
    ASSERT_EQ(access(kTool.c_str(), X_OK), 0) << "not built: " << kTool;
    ASSERT_FALSE(dir_.Path().empty());
  }

  LRunResult Tool(std::vector<std::string> args) {
    args.insert(args.begin(), kTool);
    return RunProgram(args);
  }

  // A tone file written by sox: one sine per channel at half scale.
  std::string MakeTone(const std::string& name, int rate, const std::vector<double>& tones, double seconds,
                       const std::vector<std::string>& format = {}) {
    std::string path = dir_ / name;
    std::vector<std::string> argv = {"/usr/bin/sox", "-n", "-r", std::to_string(rate), "-c",
                                     std::to_string(tones.size()), "-b", "16"};
    argv.insert(argv.end(), format.begin(), format.end());
    argv.insert(argv.end(), {path, "synth", std::to_string(seconds)});
    for (double f : tones) {
      argv.push_back("sine");
      argv.push_back(std::to_string(f));
    }
    argv.insert(argv.end(), {"vol", "0.5"});
    LRunResult r = RunProgram(argv);
    EXPECT_TRUE(r.Exited(0)) << r.err;
    return path;
  }

  std::string Encode(const std::vector<std::string>& argv, const std::string& output) {
    LRunResult r = RunProgram(argv);
    EXPECT_TRUE(r.Exited(0)) << r.err;
    return output;
  }

  // Both files of the recording hold the source's tones for its duration,
  // at the rate and channel count the encoder takes for each bit rate.
  void ExpectRecording(const std::string& name, int rate, const std::vector<double>& tones, double seconds) {
    const std::pair<std::string, int> rates[] = {{HighFolder(), 56}, {LowFolder(), 24}};
    for (const auto& [folder, kbps] : rates) {
      SCOPED_TRACE(folder + "/" + name + ".mp3");
      LAudio audio;
      ASSERT_TRUE(DecodeWithFfmpeg(folder + "/" + name + ".mp3", audio));
      LExpect expect = EncoderFormat(kbps, rate, static_cast<int>(tones.size()));
      EXPECT_EQ(audio.rate, expect.rate);
      ASSERT_EQ(audio.channels, expect.channels);
      // Two different tones mixed into one channel have no one frequency.
      bool mixed = audio.channels < static_cast<int>(tones.size()) && tones[0] != tones[1];
      for (int c = 0; c < audio.channels; ++c) {
        if (!mixed) {
          EXPECT_NEAR(ToneFrequency(audio, c), tones[static_cast<size_t>(c)], tones[static_cast<size_t>(c)] * 0.02);
        }
        EXPECT_NEAR(SoundSpan(audio, c, mixed ? 2000 : 4000), seconds, 0.05);
      }
    }
  }

  LTempDir dir_;
};

TEST_F(VelorinRecTest, AddsEveryReadableFormatAtBothRates) {
  const std::vector<double> stereo = {440, 660};
  std::string wav = MakeTone("talk.wav", 44100, stereo, 3);
  std::string ogg = dir_ / "song.ogg";
  Encode({"/usr/bin/oggenc", "-Q", MakeTone("song.wav", 48000, stereo, 2.5), "-o", ogg}, ogg);
  std::string flac = dir_ / "hymn.flac";
  Encode({"/usr/bin/flac", "-s", "-f", MakeTone("hymn.wav", 32000, {523.25}, 2), "-o", flac}, flac);
  std::string aiff = MakeTone("bell.aiff", 22050, {880}, 1.5);
  std::string au = MakeTone("buzz.au", 16000, {300, 500}, 1.5);

  LRunResult r = Tool({"add", wav, ogg, flac, aiff, au});
  ASSERT_TRUE(r.Exited(0)) << r.err;
  for (const char* name : {"talk", "song", "hymn", "bell", "buzz"})
    EXPECT_NE(r.out.find(std::string("Added ") + name), std::string::npos) << r.out;

  ExpectRecording("talk", 44100, stereo, 3);
  ExpectRecording("song", 48000, stereo, 2.5);
  ExpectRecording("hymn", 32000, {523.25}, 2);
  ExpectRecording("bell", 22050, {880}, 1.5);
  ExpectRecording("buzz", 16000, {300, 500}, 1.5);
}

TEST_F(VelorinRecTest, Mp3AtOrBelowTheRateIsCopiedAndAboveItReencoded) {
  std::string wav = MakeTone("src.wav", 44100, {440, 660}, 3);
  // 32 kbit/s: at or below the broadband rate (copied), above the dial-up
  // rate (re-encoded).
  std::string mid = Encode({"/usr/bin/lame", "--quiet", "-b", "32", wav, dir_ / "mid.mp3"}, dir_ / "mid.mp3");
  // 128 kbit/s: above both.
  std::string big = Encode({"/usr/bin/lame", "--quiet", "-b", "128", wav, dir_ / "big.mp3"}, dir_ / "big.mp3");
  // 16 kbit/s: at or below both.
  std::string low = Encode({"/usr/bin/lame", "--quiet", "-b", "16", "--resample", "16", wav, dir_ / "low.mp3"},
                           dir_ / "low.mp3");

  LRunResult r = Tool({"add", mid, big, low});
  ASSERT_TRUE(r.Exited(0)) << r.err;

  EXPECT_EQ(ReadWholeFile(HighFolder() + "/mid.mp3"), ReadWholeFile(mid));
  EXPECT_NE(ReadWholeFile(LowFolder() + "/mid.mp3"), ReadWholeFile(mid));
  EXPECT_NE(ReadWholeFile(HighFolder() + "/big.mp3"), ReadWholeFile(big));
  EXPECT_NE(ReadWholeFile(LowFolder() + "/big.mp3"), ReadWholeFile(big));
  EXPECT_EQ(ReadWholeFile(HighFolder() + "/low.mp3"), ReadWholeFile(low));
  EXPECT_EQ(ReadWholeFile(LowFolder() + "/low.mp3"), ReadWholeFile(low));
  ExpectRecording("big", 44100, {440, 660}, 3);

  // Re-encoded from the MP3 (which lame writes at a lower rate) at the
  // dial-up rate.
  LProbe source;
  ASSERT_TRUE(ProbeStream(mid, source));
  LAudio audio;
  ASSERT_TRUE(DecodeWithFfmpeg(LowFolder() + "/mid.mp3", audio));
  LExpect expect = EncoderFormat(24, source.rate, source.channels);
  EXPECT_EQ(audio.rate, expect.rate);
  EXPECT_EQ(audio.channels, expect.channels);
  EXPECT_NEAR(SoundSpan(audio, 0), 3, 0.05);
}

TEST_F(VelorinRecTest, MisnamedOrDamagedFilesFailWithoutLeavingFiles) {
  // MP3 data under a .wav name is never passed through, and the WAV reader
  // refuses it.
  std::string wav = MakeTone("src.wav", 44100, {440}, 1);
  std::string disguised = dir_ / "disguised.wav";
  Encode({"/usr/bin/lame", "--quiet", "-b", "16", wav, disguised}, disguised);
  // Text under an .mp3 name is not copied into the library as it is.
  std::string junk = dir_ / "junk.mp3";
  WriteWholeFile(junk, std::string(3000, 'x'));

  for (const std::string& path : {disguised, junk, dir_ / "missing.wav", dir_.Path()}) {
    LRunResult r = Tool({"add", path});
    EXPECT_TRUE(r.Exited(1)) << path << ": " << r.err;
    EXPECT_FALSE(r.err.empty());
  }
  EXPECT_TRUE(FolderNames(HighFolder()).empty());
  EXPECT_TRUE(FolderNames(LowFolder()).empty());

  // A failure does not stop the files after it.
  LRunResult r = Tool({"add", junk, wav});
  EXPECT_TRUE(r.Exited(1)) << r.err;
  EXPECT_EQ(FolderNames(HighFolder()), std::vector<std::string>{"src.mp3"});

  // A recording added again from the library itself is left intact rather
  // than encoded onto itself.
  std::string inLibrary = HighFolder() + "/src.mp3";
  std::string before = ReadWholeFile(inLibrary);
  r = Tool({"add", inLibrary});
  EXPECT_TRUE(r.Exited(1)) << r.err;
  EXPECT_EQ(ReadWholeFile(inLibrary), before);
}

// The two rates are encoded at once; what a failure of one leaves is what
// encoding the broadband file first would leave.
TEST_F(VelorinRecTest, OneRateFailingLeavesNoDialUpFileWithoutItsBroadbandOne) {
  std::string wav = MakeTone("x.wav", 44100, {440, 660}, 3);
  // A folder in the way of the broadband file: no dial-up file either.
  std::filesystem::create_directory(HighFolder() + "/x.mp3");
  EXPECT_TRUE(Tool({"add", wav}).Exited(1));
  EXPECT_TRUE(FolderNames(LowFolder()).empty());

  // In the way of the dial-up file: the finished broadband file stays.
  std::filesystem::remove(HighFolder() + "/x.mp3");
  std::filesystem::create_directory(LowFolder() + "/x.mp3");
  EXPECT_TRUE(Tool({"add", wav}).Exited(1));
  LAudio audio;
  ASSERT_TRUE(DecodeWithFfmpeg(HighFolder() + "/x.mp3", audio));
  EXPECT_NEAR(SoundSpan(audio, 0), 3, 0.05);
}

TEST_F(VelorinRecTest, VbrMp3WithShortLengthEstimateKeepsItsWholeDuration) {
  // Loud noise first (large frames), then a quiet tone (small frames), and
  // no VBR header: the length estimated from the first frames is short.
  std::string noise = dir_ / "noise.wav";
  Encode({"/usr/bin/sox", "-n", "-r", "44100", "-c", "2", "-b", "16", noise, "synth", "1", "whitenoise", "vol", "0.9"},
         noise);
  std::string tone = MakeTone("tone.wav", 44100, {440, 440}, 5);
  std::string joined = dir_ / "joined.wav";
  Encode({"/usr/bin/sox", noise, tone, joined}, joined);
  std::string vbr = dir_ / "vbr.mp3";
  Encode({"/usr/bin/lame", "--quiet", "-t", "-V", "0", joined, vbr}, vbr);

  LSoundSource estimate = LMP3File::OpenSource(vbr.c_str());
  ASSERT_FALSE(estimate.Error());
  ASSERT_LT(estimate.GetEnd().GetMs(), 5700) << "the estimate must be short for this test";
  estimate.Close();

  LRunResult r = Tool({"add", vbr});
  ASSERT_TRUE(r.Exited(0)) << r.err;
  for (const std::string& folder : {HighFolder(), LowFolder()}) {
    LAudio audio;
    ASSERT_TRUE(DecodeWithFfmpeg(folder + "/vbr.mp3", audio));
    // Noise and tone together: six seconds of sound.
    EXPECT_NEAR(SoundSpan(audio, 0), 6, 0.05) << folder;
  }
}

TEST_F(VelorinRecTest, InterruptDeletesThePartialFileAndKeepsEarlierOnes) {
  std::string first = MakeTone("first.wav", 44100, {440}, 1);
  std::string longer = MakeTone("long.wav", 44100, {440, 660}, 600);
  LChild child;
  ASSERT_TRUE(child.Start({kTool, "add", first, longer}));
  // Wait until the encoder has created the long recording's high file.
  std::string partial = HighFolder() + "/long.mp3";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!Exists(partial) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(Exists(partial));
  ASSERT_EQ(::kill(child.Pid(), SIGINT), 0);
  std::string out, err;
  int status = child.Communicate("", out, err);
  ASSERT_TRUE(WIFEXITED(status)) << err;
  EXPECT_EQ(WEXITSTATUS(status), 130) << err;
  EXPECT_NE(err.find("stopped"), std::string::npos) << err;
  EXPECT_EQ(FolderNames(HighFolder()), std::vector<std::string>{"first.mp3"});
  EXPECT_EQ(FolderNames(LowFolder()), std::vector<std::string>{"first.mp3"});

  // The same for a decode.
  std::string output = dir_ / "long-out.wav";
  LChild decode;
  ASSERT_TRUE(decode.Start({kTool, "decode", longer, output, "--rate", "11025"}));
  while (!Exists(output) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(Exists(output));
  ASSERT_EQ(::kill(decode.Pid(), SIGINT), 0);
  out.clear();
  err.clear();
  status = decode.Communicate("", out, err);
  ASSERT_TRUE(WIFEXITED(status)) << err;
  EXPECT_EQ(WEXITSTATUS(status), 130) << err;
  EXPECT_FALSE(Exists(output));
}

TEST_F(VelorinRecTest, ListAndRemove) {
  LRunResult r = Tool({"list"});
  ASSERT_TRUE(r.Exited(0)) << r.err;
  EXPECT_EQ(r.out, "");

  std::string wav = MakeTone("a.wav", 22050, {440}, 1);
  ASSERT_TRUE(Tool({"add", wav}).Exited(0));
  // A file placed by hand with an upper-case extension is a recording too.
  WriteWholeFile(HighFolder() + "/Show.MP3", ReadWholeFile(HighFolder() + "/a.mp3"));
  WriteWholeFile(LowFolder() + "/Show.MP3", ReadWholeFile(LowFolder() + "/a.mp3"));
  r = Tool({"list"});
  ASSERT_TRUE(r.Exited(0));
  std::vector<std::string> names;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Show", "a"}));

  r = Tool({"remove", "Show", "missing", "../High/a"});
  EXPECT_TRUE(r.Exited(1));
  EXPECT_NE(r.err.find("missing"), std::string::npos);
  EXPECT_EQ(FolderNames(HighFolder()), std::vector<std::string>{"a.mp3"});
  EXPECT_EQ(FolderNames(LowFolder()), std::vector<std::string>{"a.mp3"});

  // A recording whose high file is gone keeps its low file.
  std::filesystem::remove(HighFolder() + "/a.mp3");
  EXPECT_TRUE(Tool({"remove", "a"}).Exited(1));
  EXPECT_EQ(FolderNames(LowFolder()), std::vector<std::string>{"a.mp3"});
}

TEST_F(VelorinRecTest, DecodeWritesConvertedWav) {
  std::string wav = MakeTone("in.wav", 44100, {440, 660}, 2);
  std::string out = dir_ / "out.wav";
  LRunResult r = Tool({"decode", wav, out, "--rate", "22050", "--channels", "1"});
  ASSERT_TRUE(r.Exited(0)) << r.err;
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
  LRunResult ref = RunProgram({"/usr/bin/sox", wav, "-t", "raw", "-"});
  EXPECT_EQ(PcmBytes(audio), ref.out);
}

TEST_F(VelorinRecTest, UsageErrorsAndUnreadableInput) {
  std::string wav = MakeTone("in.wav", 8000, {440}, 0.5);
  const std::vector<std::vector<std::string>> usage = {
      {},
      {"bogus"},
      {"add"},
      {"add", "--raw-rate", "0", wav},
      {"add", "--raw-channels", "9", wav},
      {"add", "--vox-codec", "x", wav},
      {"add", "--frobnicate", wav},
      {"remove"},
      {"list", "extra"},
      {"decode", wav},
      {"decode", wav, dir_ / "o.wav", "--rate"},
      {"decode", wav, dir_ / "o.wav", "--channels", "0"},
  };
  for (const auto& args : usage) {
    LRunResult r = Tool(args);
    EXPECT_TRUE(r.Exited(2)) << ::testing::PrintToString(args) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos);
  }
  LRunResult help = Tool({"--help"});
  EXPECT_TRUE(help.Exited(0));
  EXPECT_NE(help.out.find("decode FILE OUT.wav"), std::string::npos);

  std::string junk = dir_ / "junk.wav";
  WriteWholeFile(junk, "RIFF....WAVEjunk");
  EXPECT_TRUE(Tool({"decode", junk, dir_ / "o.wav"}).Exited(1));
  EXPECT_FALSE(Exists(dir_ / "o.wav"));
  // The output may not overwrite the source being read.
  EXPECT_TRUE(Tool({"decode", wav, wav}).Exited(1));
  EXPECT_EQ(ReadWholeFile(wav).size(), 44u + 8000u);
  // An output in a folder that does not exist.
  EXPECT_TRUE(Tool({"decode", wav, dir_ / "no/such/o.wav"}).Exited(1));
}

TEST_F(VelorinRecTest, HeaderlessFilesUseTheStoredOrGivenSettings) {
  // 16-bit little-endian mono at 16 kHz, without a header.
  std::string raw = MakeTone("voice.raw", 16000, {440}, 2, {"-e", "signed", "-L"});
  LRunResult r = Tool({"add", "--raw-rate", "16000", "--raw-channels", "1", "--raw-codec", "3", raw});
  ASSERT_TRUE(r.Exited(0)) << r.err;
  ExpectRecording("voice", 16000, {440}, 2);

  // The settings stay: a second file is read the same way without options.
  std::string second = MakeTone("again.raw", 16000, {440}, 1, {"-e", "signed", "-L"});
  ASSERT_TRUE(Tool({"add", second}).Exited(0));
  ExpectRecording("again", 16000, {440}, 1);
}

TEST_F(VelorinRecTest, TelephoneFormats) {
  std::string gsm = MakeTone("call.gsm", 8000, {440}, 2);
  std::string vox = MakeTone("menu.vox", 8000, {440}, 2);
  LRunResult r = Tool({"add", "--vox-rate", "8000", "--vox-channels", "1", "--vox-codec", "0", gsm, vox});
  ASSERT_TRUE(r.Exited(0)) << r.err;
  ExpectRecording("call", 8000, {440}, 2);
  ExpectRecording("menu", 8000, {440}, 2);
}

}  // namespace
