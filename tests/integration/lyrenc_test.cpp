// The MP3 encoder component, run as the server runs it (through /bin/sh
// with its command lines) and checked with ffmpeg as the reference decoder.
#include <sys/resource.h>

#include <cstdio>

#include "integration/componentkit.h"

using namespace componentkit;

namespace {

const std::string kLyrenc = ComponentPath("lyrenc");

std::string LiveCommand(int kbps) {
  char line[600];
  std::snprintf(line, sizeof line,
                kbps <= 24 ? "\"%s\" -m m -a -b %d -h -r -x -s 44.100 --silent - -"
                           : "\"%s\" -m s -b %d -h -r -x -s 44.100 --silent - -",
                kLyrenc.c_str(), kbps);
  return line;
}

// The file command line's tail, with the rate written as the server does.
std::string FileCommand(const std::string& options, int rate, const std::string& output) {
  char line[900];
  std::snprintf(line, sizeof line, "\"%s\" %s -r -x -s %d.%.3d -S - \"%s\"", kLyrenc.c_str(), options.c_str(),
                rate / 1000, rate % 1000, output.c_str());
  return line;
}

int FrameSamples(int rate) { return rate >= 32000 ? 1152 : 576; }

// libmp3lame's fixed encoder delay; a stream without an info frame
// decodes to this much extra at the start plus up to two frames of padding.
constexpr long kEncoderDelay = 576;

bool IsFrameSync(const std::string& mp3) {
  return mp3.size() >= 2 && static_cast<uint8_t>(mp3[0]) == 0xFF && (static_cast<uint8_t>(mp3[1]) & 0xE0) == 0xE0;
}

class LyrencTest : public ::testing::Test {
protected:
  void SetUp() override {
    IgnoreBrokenPipes();
    ASSERT_EQ(access(kLyrenc.c_str(), X_OK), 0) << "lyrenc is not built: " << kLyrenc;
    ASSERT_FALSE(dir_.Path().empty());
  }

  // Stores mp3 and decodes it with ffmpeg.
  void Decode(const std::string& mp3, LAudio& decoded, LProbe& probe) {
    std::string path = dir_ / "stream.mp3";
    WriteWholeFile(path, mp3);
    ASSERT_TRUE(ProbeStream(path, probe));
    ASSERT_TRUE(DecodeWithFfmpeg(path, decoded));
  }

  LTempDir dir_;
};

TEST_F(LyrencTest, LiveStreamsKeepTheirFormatTonesAndFlushedLength) {
  struct Case {
    int kbps;
    std::vector<double> inputTones;
    int rate;
    int channels;
    std::vector<double> outputTones;
  };
  // Different tones left and right catch swapped or mixed channels; at 24
  // kbit/s the right channel is silent, so the mono level shows a true
  // down-mix (half the left level) rather than the left channel alone.
  const Case cases[] = {
      {56, {440, 1000}, 44100, 2, {440, 1000}},
      {24, {440, 0}, 24000, 1, {440}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kbps);
    LAudio source = Tone(44100, 88200, c.inputTones);
    LRunResult r = RunShell(LiveCommand(c.kbps), PcmBytes(source));
    ASSERT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.err, "") << "--silent must keep standard error quiet";
    // A stream is bare frames: no tag or info frame ahead of the audio.
    EXPECT_TRUE(IsFrameSync(r.out));

    LAudio decoded;
    LProbe probe;
    Decode(r.out, decoded, probe);
    EXPECT_EQ(probe.rate, c.rate);
    EXPECT_EQ(probe.channels, c.channels);
    EXPECT_EQ(probe.bitRate, c.kbps * 1000L);
    for (int ch = 0; ch < c.channels; ++ch) EXPECT_NEAR(ToneFrequency(decoded, ch), c.outputTones[ch], 5.0);
    if (c.channels == 1) {
      EXPECT_NEAR(Rms(decoded, 0), Rms(source, 0) / 2, Rms(source, 0) / 8);
    }

    // Without the final flush the last frames (several, at any rate) would
    // be missing and the decoded length would fall short of the input.
    long expected = static_cast<long>(source.Frames()) * c.rate / 44100;
    long extra = static_cast<long>(decoded.Frames()) - expected;
    EXPECT_GE(extra, kEncoderDelay);
    EXPECT_LE(extra, kEncoderDelay + 2 * FrameSamples(c.rate));
  }
}

TEST_F(LyrencTest, EachLiveBlockYieldsFramesWithin100Milliseconds) {
  LAudio source = Tone(44100, 4410 * 6, {440, 1000});
  std::string pcm = PcmBytes(source);
  const size_t blockBytes = 4410 * 4;  // 100 ms of 44.1 kHz stereo
  for (int kbps : {24, 56}) {
    SCOPED_TRACE(kbps);
    LChild encoder;
    ASSERT_TRUE(encoder.StartShell(LiveCommand(kbps)));
    usleep(500 * 1000);  // let it start and wait for input
    std::string stream;
    for (size_t block = 0; block < 6; ++block) {
      ASSERT_EQ(write(encoder.In(), pcm.data() + block * blockBytes, blockBytes), static_cast<ssize_t>(blockBytes));
      auto start = std::chrono::steady_clock::now();
      pollfd fd = {encoder.Out(), POLLIN, 0};
      ASSERT_EQ(poll(&fd, 1, 100), 1) << "no output within 100 ms of block " << block;
      char buffer[65536];
      ssize_t n = read(encoder.Out(), buffer, sizeof buffer);
      ASSERT_GT(n, 0);
      stream.append(buffer, static_cast<size_t>(n));
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(IsFrameSync(stream));
    encoder.CloseIn();
    std::string rest, err;
    EXPECT_TRUE(WIFEXITED(encoder.Communicate("", rest, err)) && WEXITSTATUS(encoder.Wait()) == 0) << err;
    EXPECT_FALSE(rest.empty()) << "end of input must flush the frames still held";
  }
}

TEST_F(LyrencTest, FileCommandLinesEncodeAtTheirRateIntoTheQuotedFile) {
  struct Case {
    const char* options;
    int inputRate;
    std::vector<double> tones;  // one per channel fed
    int channels;
    bool constant;
    int kbps;
    bool infoFrame;
  };
  // As the server builds them: 24 kbit/s feeds stereo and mixes down, 16
  // kbit/s feeds mono, and VBR carries no -h.  libmp3lame leaves the info
  // frame out when a frame is too small to hold it and with CRCs (-p).
  const Case cases[] = {
      {"-a -m m -b 24 -h", 22050, {440, 440}, 1, true, 24, false},
      {"-m m -b 16 -h", 22050, {440}, 1, true, 16, false},
      {"-m j -b 128 -h", 44100, {440, 1000}, 2, true, 128, true},
      {"-m s -p -b 64 -h", 48000, {440, 1000}, 2, true, 64, false},
      {"-m m -b 32 -h", 8000, {440}, 1, true, 32, true},
      {"-m j -v -b 32 -B 128 -V 4", 44100, {440, 1000}, 2, false, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    std::string output = dir_ / "My Recording.mp3";
    LAudio source = Tone(c.inputRate, static_cast<size_t>(c.inputRate), c.tones);
    LRunResult r = RunShell(FileCommand(c.options, c.inputRate, output), PcmBytes(source));
    ASSERT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.out, "");
    LProbe probe;
    LAudio decoded;
    ASSERT_TRUE(ProbeStream(output, probe));
    ASSERT_TRUE(DecodeWithFfmpeg(output, decoded));
    EXPECT_EQ(probe.rate, c.inputRate);
    EXPECT_EQ(probe.channels, c.channels);
    if (c.constant) {
      EXPECT_EQ(probe.bitRate, c.kbps * 1000L);
    }
    for (int ch = 0; ch < c.channels; ++ch) EXPECT_NEAR(ToneFrequency(decoded, ch), c.tones[ch], c.tones[ch] / 100);
    // The info frame tells the decoder the delay and padding to drop; it
    // must sit at the start of the file, where it is rewritten at the end.
    std::string head = ReadWholeFile(output).substr(0, 200);
    bool tagged = head.find("Info") != std::string::npos || head.find("Xing") != std::string::npos;
    EXPECT_EQ(tagged, c.infoFrame);
    long extra = static_cast<long>(decoded.Frames()) - static_cast<long>(source.Frames());
    if (tagged) {
      EXPECT_LE(std::labs(extra), FrameSamples(c.inputRate));
    } else {
      EXPECT_GE(extra, kEncoderDelay);
      EXPECT_LE(extra, kEncoderDelay + 2 * FrameSamples(c.inputRate));
    }
    std::filesystem::remove(output);
  }
}

TEST_F(LyrencTest, EncodesAtTheInputRateOrTheNearestLowerRateThatAllowsTheBitRate) {
  struct Case {
    int inputRate;
    int kbps;
    int outputRate;
    int outputKbps;
  };
  const Case cases[] = {
      {44100, 24, 24000, 24},   // MPEG-1 has no 24: the highest lower rate with it
      {48000, 8, 24000, 8},     //
      {44100, 144, 24000, 144}, // 144 exists only at the MPEG-2 rates
      {24000, 160, 24000, 160}, // the top MPEG-2 rate is kept
      {11025, 64, 11025, 64},   // the top MPEG-2.5 rate is kept
      {11025, 80, 16000, 80},   // nothing lower allows 80: the lowest higher rate
      {22050, 192, 32000, 192}, //
      {96000, 128, 48000, 128}, // not an MP3 rate
      {44000, 40, 32000, 40},   // not an MP3 rate
      {44100, 28, 24000, 24},   // not a standard bit rate: the nearest, ties down
      {44100, 30, 44100, 32},   //
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.inputRate) + " Hz " + std::to_string(c.kbps) + " kbit/s");
    std::string output = dir_ / "rate.mp3";
    LAudio source = Tone(c.inputRate, static_cast<size_t>(c.inputRate / 2), {440, 1000});
    LRunResult r = RunShell(FileCommand("-m j -b " + std::to_string(c.kbps), c.inputRate, output), PcmBytes(source));
    ASSERT_TRUE(r.Exited(0)) << r.err;
    LProbe probe;
    LAudio decoded;
    ASSERT_TRUE(ProbeStream(output, probe));
    ASSERT_TRUE(DecodeWithFfmpeg(output, decoded));
    EXPECT_EQ(probe.rate, c.outputRate);
    EXPECT_EQ(probe.bitRate, c.outputKbps * 1000L);
    EXPECT_NEAR(ToneFrequency(decoded, 0), 440, 5);
  }
}

TEST_F(LyrencTest, RawInputIsBigEndianUnlessXSwapsIt) {
  LAudio source = Tone(44100, 44100, {440});
  struct Case {
    const char* options;
    bool bigEndian;
    bool clean;
  };
  const Case cases[] = {
      {"-r -x", false, true},
      {"-r", true, true},
      {"-r", false, false},  // little-endian read the other way round is noise
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.options) + (c.bigEndian ? " big-endian" : " little-endian"));
    LRunResult r = RunShell("\"" + kLyrenc + "\" -m m -b 64 " + c.options + " -s 44.1 --silent - -",
                            PcmBytes(source, c.bigEndian));
    ASSERT_TRUE(r.Exited(0)) << r.err;
    LAudio decoded;
    LProbe probe;
    Decode(r.out, decoded, probe);
    double frequency = ToneFrequency(decoded, 0);
    if (c.clean) {
      EXPECT_NEAR(frequency, 440, 5);
    } else {
      EXPECT_GT(std::fabs(frequency - 440), 100);
    }
  }
}

TEST_F(LyrencTest, InputEndingInsideAFrameDropsOnlyThePartialFrame) {
  LAudio source = Tone(44100, 44100, {440, 1000});
  std::string output = dir_ / "odd.mp3";
  LRunResult r = RunShell(FileCommand("-m j -b 128", 44100, output), PcmBytes(source) + "xyz");
  ASSERT_TRUE(r.Exited(0)) << r.err;
  LAudio decoded;
  ASSERT_TRUE(DecodeWithFfmpeg(output, decoded));
  EXPECT_NEAR(static_cast<double>(decoded.Frames()), 44100, 1152);
}

TEST_F(LyrencTest, BadCommandLinesExitWithStatus2AndSayWhy) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"-r", "-m", "q", "-", "-"}, "-m"},
      {{"-r", "-b", "abc", "-", "-"}, "-b"},
      {{"-r", "-b", "7", "-", "-"}, "-b"},
      {{"-r", "-b", "321", "-", "-"}, "-b"},
      {{"-r", "-b"}, "needs a value"},
      {{"-r", "-V", "10", "-", "-"}, "-V"},
      {{"-r", "-v", "-b", "128", "-B", "64", "-", "-"}, "maximum"},
      {{"-r", "-s", "44.1.2", "-", "-"}, "-s"},
      {{"-r", "-s", "0.5", "-", "-"}, "-s"},
      {{"-r", "-s", "200", "-", "-"}, "-s"},
      {{"-r", "-s", "44.1005", "-", "-"}, "-s"},
      {{"-r", "--bogus", "-", "-"}, "--bogus"},
      {{"-r", "-"}, "input and an output"},
      {{"-r", "-", "-", "extra"}, "extra"},
      {{"-x", "-", "-"}, "-r"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {kLyrenc};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    LRunResult r = RunProgram(argv, "");
    EXPECT_TRUE(r.Exited(2)) << r.status;
    EXPECT_NE(r.err.find("lyrenc: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(LyrencTest, AVanishedReaderEndsTheEncoderWithAnErrorStatusNotASignal) {
  LChild encoder;
  ASSERT_TRUE(encoder.StartShell("exec " + LiveCommand(56)));
  encoder.CloseOut();
  std::string pcm = PcmBytes(Tone(44100, 44100 * 2, {440, 1000}));
  // The encoder exits at its first write, so our writes may fail too.
  for (size_t at = 0; at < pcm.size(); at += 17640) {
    if (write(encoder.In(), pcm.data() + at, std::min<size_t>(17640, pcm.size() - at)) < 0) break;
  }
  encoder.CloseIn();
  int status = encoder.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST_F(LyrencTest, AFailedFileEncodeLeavesNoFileBehind) {
  std::string pcm = PcmBytes(Tone(44100, 44100 * 2, {440, 1000}));
  std::string output = dir_ / "out.mp3";

  // No such folder.
  LRunResult r = RunShell(FileCommand("-m j -b 128", 44100, dir_ / "missing/out.mp3"), pcm);
  EXPECT_TRUE(r.Exited(1));
  EXPECT_NE(r.err.find("missing/out.mp3"), std::string::npos) << r.err;

  // No such input: the output is not even created.
  r = RunProgram({kLyrenc, "-r", "-x", "-S", dir_ / "absent.pcm", output});
  EXPECT_TRUE(r.Exited(1));
  EXPECT_NE(r.err.find("absent.pcm"), std::string::npos) << r.err;
  EXPECT_FALSE(Exists(output));

  // The disk fills up (here: a file size limit) halfway through.
  r = RunProgram({kLyrenc, "-m", "j", "-b", "128", "-r", "-x", "-S", "-", output}, pcm, [] {
    rlimit limit = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_TRUE(r.Exited(1)) << r.status;
  EXPECT_FALSE(Exists(output));

  // Stopped by a signal while the encoding is under way.
  LChild encoder;
  ASSERT_TRUE(encoder.Start({kLyrenc, "-m", "j", "-b", "128", "-r", "-x", "-S", "-", output}));
  ASSERT_EQ(write(encoder.In(), pcm.data(), 65536), 65536);
  for (int i = 0; i < 100 && !Exists(output); ++i) usleep(10 * 1000);
  ASSERT_TRUE(Exists(output));
  kill(encoder.Pid(), SIGTERM);
  int status = encoder.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_FALSE(Exists(output));
}

}  // namespace
