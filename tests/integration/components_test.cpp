// The encoder (lyrenc) and decoders (tarnel: Ogg Vorbis, wendrik: FLAC) run
// as the server runs them, their output read back by ffmpeg or sox.
#include "integration/kit.h"

#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const std::string kLyrenc = ComponentPath("lyrenc");
const std::string kTarnel = ComponentPath("tarnel");
const std::string kWendrik = ComponentPath("wendrik");

int FrameSamples(int rate)
{
  return rate >= 32000 ? 1152 : 576;
}
// Without an info frame a stream decodes to this much extra plus up to two frames of padding.
constexpr long kEncoderDelay = 576;

class LyrencTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    signal(SIGPIPE, SIG_IGN);
    for (const std::string& c : {kLyrenc, kTarnel, kWendrik})
      ASSERT_EQ(access(c.c_str(), X_OK), 0) << "not built: " << c;
  }

  std::string MakeWav(int rate, int bits, const std::vector<double>& tones, double seconds)
  {
    return SoxTone(dir_ / "tone source.wav", rate, tones, seconds, {"-b", std::to_string(bits)});
  }

  std::string Encode(const std::string& wav, const std::string& kind)
  {
    std::string out = wav + "." + kind;
    std::vector<std::string> argv = {"/usr/bin/oggenc", "-Q", wav, "-o", out};
    if (kind != "ogg")
      argv = {"/usr/bin/flac", "-s", "-f", kind == "oga" ? "--ogg" : "-s", wav, "-o", out};
    EXPECT_TRUE(RunProgram(argv).Exited(0));
    return out;
  }

  TempFolder dir_;
};

using DecoderTest = LyrencTest;

// Live and file command lines as the server builds them, and rates and bit
// rates the encoder must correct: format, tones, length.
TEST_F(LyrencTest, EncoderOutputKeepsFormatTonesAndLength)
{
  struct Case {
    std::string options;  // between the program and "- OUTPUT"
    bool toFile;
    int inRate;
    std::vector<double> tones;  // one per channel fed
    std::string tail;           // appended to the input (a partial frame)
    int rate, channels, kbps;   // kbps 0: VBR
    bool infoFrame, checkLength;
  };
  // Different tones left and right catch swapped channels; no info frame in
  // frames too small for it, nor with CRCs (-p).
  const Case cases[] = {
      {"-m s -b 56 -h -r -x -s 44.100 --silent", false, 44100, {440, 1000}, "", 44100, 2, 56, false, true},
      {"-m m -a -b 24 -h -r -x -s 44.100 --silent", false, 44100, {440, 0}, "", 24000, 1, 24, false, true},
      {"-a -m m -b 24 -h -r -x -s 22.050 -S", true, 22050, {440, 440}, "", 22050, 1, 24, false, true},
      {"-m m -b 16 -h -r -x -s 22.050 -S", true, 22050, {440}, "", 22050, 1, 16, false, true},
      {"-m j -b 128 -h -r -x -s 44.100 -S", true, 44100, {440, 1000}, "xyz", 44100, 2, 128, true, true},
      {"-m s -p -b 64 -h -r -x -s 48.000 -S", true, 48000, {440, 1000}, "", 48000, 2, 64, false, true},
      {"-m m -b 32 -h -r -x -s 8.000 -S", true, 8000, {440}, "", 8000, 1, 32, true, true},
      {"-m j -v -b 32 -B 128 -V 4 -r -x -s 44.100 -S", true, 44100, {440, 1000}, "", 44100, 2, 0, true, true},
      // The input rate, or the nearest lower rate allowing the bit rate; a
      // bit rate that is no standard one becomes the nearest (ties down).
      {"-m j -b 24 -r -x -s 44.100 -S", true, 44100, {440, 1000}, "", 24000, 2, 24, false, false},
      {"-m j -b 8 -r -x -s 48.000 -S", true, 48000, {440, 1000}, "", 24000, 2, 8, false, false},
      {"-m j -b 144 -r -x -s 44.100 -S", true, 44100, {440, 1000}, "", 24000, 2, 144, false, false},
      {"-m j -b 160 -r -x -s 24.000 -S", true, 24000, {440, 1000}, "", 24000, 2, 160, false, false},
      {"-m j -b 64 -r -x -s 11.025 -S", true, 11025, {440, 1000}, "", 11025, 2, 64, false, false},
      {"-m j -b 80 -r -x -s 11.025 -S", true, 11025, {440, 1000}, "", 16000, 2, 80, false, false},
      {"-m j -b 192 -r -x -s 22.050 -S", true, 22050, {440, 1000}, "", 32000, 2, 192, false, false},
      {"-m j -b 128 -r -x -s 96.000 -S", true, 96000, {440, 1000}, "", 48000, 2, 128, false, false},
      {"-m j -b 40 -r -x -s 44.000 -S", true, 44000, {440, 1000}, "", 32000, 2, 40, false, false},
      {"-m j -b 28 -r -x -s 44.100 -S", true, 44100, {440, 1000}, "", 24000, 2, 24, false, false},
      {"-m j -b 30 -r -x -s 44.100 -S", true, 44100, {440, 1000}, "", 44100, 2, 32, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string output = c.toFile ? dir_ / "My Recording.mp3" : "-";
    LAudio source = Tone(c.inRate, static_cast<size_t>(c.inRate), c.tones);
    LRunResult r = RunShell("\"" + kLyrenc + "\" " + c.options + " - \"" + output + "\"", PcmBytes(source) + c.tail);
    ASSERT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(c.toFile ? r.out : r.err, "") << "a file line writes nothing, --silent says nothing";
    const std::string mp3 = c.toFile ? ReadWhole(output) : r.out;
    if (!c.toFile) {
      WriteWhole(dir_ / "stream.mp3", r.out);
      // A stream is bare frames: no tag or info frame ahead of the audio.
      EXPECT_TRUE(mp3.size() > 2 && uint8_t(mp3[0]) == 0xFF && (uint8_t(mp3[1]) & 0xE0) == 0xE0);
    }
    LProbe probe;
    LAudio decoded;
    const std::string path = c.toFile ? output : dir_ / "stream.mp3";
    ASSERT_TRUE(ProbeStream(path, probe));
    ASSERT_TRUE(DecodeWithFfmpeg(path, decoded));
    EXPECT_EQ(probe.rate, c.rate);
    EXPECT_EQ(probe.channels, c.channels);
    if (c.kbps != 0) {
      EXPECT_EQ(probe.bitRate, c.kbps * 1000L);
    }
    const bool downMix = c.channels < static_cast<int>(c.tones.size()) && c.tones[0] != c.tones[1];
    for (int ch = 0; ch < (c.checkLength && !downMix ? c.channels : 1); ++ch)
      EXPECT_NEAR(ToneFrequency(decoded, ch), c.tones[ch], 5.0) << ch;
    if (downMix) {
      EXPECT_NEAR(Rms(decoded, 0), Rms(source, 0) / 2, Rms(source, 0) / 8);
    }
    // The info frame gives the delay and padding to drop; without the final
    // flush the last frames would be missing.
    const std::string head = mp3.substr(0, 200);
    const bool tagged = head.find("Info") != std::string::npos || head.find("Xing") != std::string::npos;
    if (c.checkLength) {
      EXPECT_EQ(tagged, c.infoFrame);
    }
    const long extra = static_cast<long>(decoded.Frames()) - static_cast<long>(source.Frames()) * c.rate / c.inRate;
    if (c.checkLength && tagged) {
      EXPECT_LE(std::labs(extra), FrameSamples(c.rate));
    }
    if (c.checkLength && !tagged) {
      EXPECT_GE(extra, kEncoderDelay);
      EXPECT_LE(extra, kEncoderDelay + 2 * FrameSamples(c.rate));
    }
    std::filesystem::remove(output);
  }
}

// Raw input is big-endian unless -x swaps it; read the wrong way it is noise.
TEST_F(LyrencTest, EncoderReadsRawInputInTheByteOrderItIsTold)
{
  LAudio source = Tone(44100, 44100, {440});
  for (auto [options, bigEndian, clean] :
       {std::tuple{"-r -x", false, true}, std::tuple{"-r", true, true}, std::tuple{"-r", false, false}}) {
    SCOPED_TRACE(std::string(options) + (bigEndian ? " big-endian" : " little-endian"));
    LRunResult r =
        RunShell("\"" + kLyrenc + "\" -m m -b 64 " + options + " -s 44.1 --silent - -", PcmBytes(source, bigEndian));
    ASSERT_TRUE(r.Exited(0)) << r.err;
    LAudio decoded;
    WriteWhole(dir_ / "raw.mp3", r.out);
    ASSERT_TRUE(DecodeWithFfmpeg(dir_ / "raw.mp3", decoded));
    EXPECT_EQ(std::fabs(ToneFrequency(decoded, 0) - 440) < 5, clean) << ToneFrequency(decoded, 0);
  }
}

// A live encoder answers each 100 ms block at once, and flushes at the end.
TEST_F(LyrencTest, LiveEncoderAnswersEachBlockWithoutWaitingForTheEnd)
{
  const std::string pcm = PcmBytes(Tone(44100, 4410 * 4, {440, 1000}));
  const size_t blockBytes = 4410 * 4;
  LChild encoder;
  ASSERT_TRUE(encoder.Start({"/bin/sh", "-c", "\"" + kLyrenc + "\" -m s -b 56 -h -r -x -s 44.100 --silent - -"}));
  for (size_t block = 0; block < 4; ++block) {
    ASSERT_EQ(write(encoder.In(), pcm.data() + block * blockBytes, blockBytes), static_cast<ssize_t>(blockBytes));
    pollfd fd = {encoder.Out(), POLLIN, 0};
    ASSERT_EQ(poll(&fd, 1, 10000), 1) << "no output for block " << block;
    char buffer[65536];
    ASSERT_GT(read(encoder.Out(), buffer, sizeof buffer), 0);
  }
  std::string rest, err;
  int status = encoder.Collect(rest, err);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
  EXPECT_FALSE(rest.empty()) << "end of input must flush the frames still held";
}

// The decoders write a canonical WAV at the source's rate and channels (six
// channels back in WAV order; the low-passed LFE is not compared), with
// sox's samples for FLAC of any depth.
TEST_F(DecoderTest, DecodersWriteTheSourceAsACanonicalWav)
{
  struct Case {
    std::string component, kind;
    int rate, bits;
    std::vector<double> tones;
    double seconds;
    int tolerance;  // -1: compare tones; else the largest sample difference from sox
  };
  const Case cases[] = {
      {kTarnel, "ogg", 44100, 16, {440, 1000}, 1.5, -1},
      {kTarnel, "ogg", 22050, 16, {440}, 1.0, -1},
      {kTarnel, "ogg", 48000, 16, {200, 300, 400, 60, 600, 700}, 1.0, -1},
      {kWendrik, "flac", 44100, 16, {440, 1000}, 1.0, 0},
      {kWendrik, "flac", 44100, 24, {440, 1000}, 1.0, 1},
      {kWendrik, "flac", 96000, 32, {440, 1000}, 0.5, 1},
      {kWendrik, "flac", 8000, 8, {440}, 1.0, 0},
      {kWendrik, "flac", 48000, 16, {200, 300, 400, 500, 600, 700}, 0.5, 0},
      {kWendrik, "oga", 44100, 16, {440, 1000}, 1.0, 0},
  };
  umask(022);  // a new file's mode is 0666 less this
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind + " " + std::to_string(c.bits) + " bits " + std::to_string(c.tones.size()) + " channels");
    std::string wav = MakeWav(c.rate, c.bits, c.tones, c.seconds);
    std::string output = dir_ / "Temp 1.wav";
    const std::string input = Encode(wav, c.kind), decode = c.component == kWendrik ? "\" -d" : "\"";
    LRunResult r = RunShell("\"" + c.component + decode + " -o \"" + output + "\" \"" + input + "\"");
    ASSERT_TRUE(r.Exited(0)) << r.err;
    LAudio decoded;
    std::string why;
    ASSERT_TRUE(ReadCanonicalWav(output, decoded, why)) << why;
    struct stat made {};
    EXPECT_TRUE(stat(output.c_str(), &made) == 0 && (made.st_mode & 07777) == 0644) << made.st_mode;
    EXPECT_EQ(decoded.rate, c.rate);
    EXPECT_EQ(decoded.channels, static_cast<int>(c.tones.size()));
    EXPECT_EQ(decoded.Frames(), static_cast<size_t>(c.rate * c.seconds));
    if (c.tolerance < 0) {
      for (int ch = 0; ch < decoded.channels; ++ch)
        if (c.tones.size() != 6 || ch != 3) {
          EXPECT_NEAR(ToneFrequency(decoded, ch), c.tones[ch], c.tones[ch] / 50) << "channel " << ch;
        }
      continue;
    }
    LRunResult ref = RunProgram({"/usr/bin/sox", "-D", wav, "-t", "raw", "-e", "signed", "-b", "16", "-L", "-"});
    std::vector<int16_t> reference = SamplesFromLE(ref.out);
    ASSERT_EQ(decoded.samples.size(), reference.size());
    int worst = 0;
    for (size_t i = 0; i < reference.size(); ++i)
      worst = std::max(worst, std::abs(decoded.samples[i] - reference[i]));
    EXPECT_LE(worst, c.tolerance);
  }
}

// Every component refuses a bad command line with status 2 and a reason,
// touching neither its input nor what a failure would remove.
TEST_F(DecoderTest, BadCommandLinesExitWithStatus2AndTouchNothing)
{
  const std::string flac = Encode(MakeWav(44100, 16, {440}, 0.2), "flac");
  const std::string flacBytes = ReadWhole(flac);
  std::filesystem::create_directory(dir_ / "folder");
  const std::string o = dir_ / "o.wav";
  const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
      {{kLyrenc, "-r", "-m", "q", "-", "-"}, "-m"},
      {{kLyrenc, "-r", "-b", "abc", "-", "-"}, "-b"},
      {{kLyrenc, "-r", "-b", "7", "-", "-"}, "-b"},
      {{kLyrenc, "-r", "-b", "321", "-", "-"}, "-b"},
      {{kLyrenc, "-r", "-b"}, "needs a value"},
      {{kLyrenc, "-r", "-V", "10", "-", "-"}, "-V"},
      {{kLyrenc, "-r", "-v", "-b", "128", "-B", "64", "-", "-"}, "maximum"},
      {{kLyrenc, "-r", "-s", "44.1.2", "-", "-"}, "-s"},
      {{kLyrenc, "-r", "-s", "0.5", "-", "-"}, "-s"},
      {{kLyrenc, "-r", "-s", "200", "-", "-"}, "-s"},
      {{kLyrenc, "-r", "-s", "44.1005", "-", "-"}, "-s"},
      {{kLyrenc, "-r", "--bogus", "-", "-"}, "--bogus"},
      {{kLyrenc, "-r", "-"}, "input and an output"},
      {{kLyrenc, "-r", "-", "-", "extra"}, "extra"},
      {{kLyrenc, "-x", "-", "-"}, "-r"},
      {{kTarnel, "-d", "-o", o, flac}, "-d"},
      {{kTarnel, "-q", "-o", o, flac}, "-q"},
      {{kWendrik, "-o", o}, "input"},
      {{kWendrik, flac}, "-o"},
      {{kWendrik, "-d", "-o"}, "-o"},
      {{kWendrik, "-d", "-o", o, flac, flac}, "more than one"},
      // A failure removes the output path: never when it is the input.
      {{kWendrik, "-d", "-o", flac, flac}, "is the input"},
      {{kWendrik, "-d", "-o", dir_ / "folder", flac}, "folder"},
      {{kWendrik, "-d", "-o", "/dev/null", flac}, "/dev/null"},
  };
  for (const auto& [argv, says] : cases) {
    SCOPED_TRACE(::testing::PrintToString(argv));
    LRunResult r = RunProgram(argv);
    EXPECT_TRUE(r.Exited(2)) << r.status;
    EXPECT_NE(r.err.find(argv[0].substr(argv[0].rfind('/') + 1) + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(Exists(o));
    EXPECT_EQ(ReadWhole(flac), flacBytes);
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "folder"));
  }
  struct stat null;
  ASSERT_EQ(stat("/dev/null", &null), 0);
  EXPECT_TRUE(S_ISCHR(null.st_mode));
}

// Bad inputs, a missing output folder and a full disk: status 1, a message
// naming the file, and no output file (a stale one there is removed too).
TEST_F(DecoderTest, FailuresLeaveNoOutputFileBehind)
{
  const std::string wav = MakeWav(44100, 16, {440, 1000}, 8.0);
  const std::string ogg = ReadWhole(Encode(wav, "ogg")), flac = ReadWhole(Encode(wav, "flac"));
  const std::string pcm = PcmBytes(Tone(44100, 44100 * 2, {440, 1000}));
  for (const std::string& name : FolderNames(dir_.Path()))
    std::filesystem::remove(dir_ / name);
  auto flipped = [](std::string bytes) {
    bytes[bytes.size() * 3 / 4] ^= 0x55;
    return bytes;
  };
  auto cut = [](const std::string& bytes) { return bytes.substr(0, bytes.size() * 3 / 4); };
  const char* kMissing = "\x01";
  struct Case {
    std::string component, input, bytes;  // bytes kMissing: no input file
    std::string says;
    rlim_t limit = 0;  // a file size limit: the disk fills up
    std::string output = "Temp1.wav";
  };
  const Case cases[] = {
      {kTarnel, "none.ogg", kMissing, "none.ogg"},
      {kWendrik, "none.flac", kMissing, "none.flac"},
      {kTarnel, "empty.ogg", "", "empty.ogg"},
      {kWendrik, "empty.flac", "", "empty.flac"},
      {kTarnel, "text.ogg", std::string(5000, 'x'), "text.ogg"},
      {kWendrik, "text.flac", std::string(5000, 'x'), "text.flac"},
      {kTarnel, "flac.ogg", flac, "flac.ogg"},
      {kWendrik, "ogg.flac", ogg, "ogg.flac"},
      {kTarnel, "damaged.ogg", flipped(ogg), "damaged.ogg"},
      {kWendrik, "damaged.flac", flipped(flac), "damaged.flac"},
      {kTarnel, "cut.ogg", cut(ogg), "cut.ogg"},
      {kWendrik, "cut.flac", cut(flac), "cut.flac"},
      {kTarnel, "full.ogg", ogg, "Temp1.wav", 65536},
      {kWendrik, "full.flac", flac, "Temp1.wav", 65536},
      {kLyrenc, "in.pcm", pcm, "missing/out.mp3", 0, "missing/out.mp3"},
      {kLyrenc, "absent.pcm", kMissing, "absent.pcm", 0, "out.mp3"},
      {kLyrenc, "full.pcm", pcm, "lyrenc: ", 4096, "out.mp3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.component + " " + c.input);
    if (c.bytes != kMissing)
      WriteWhole(dir_ / c.input, c.bytes);
    if (c.output == "Temp1.wav")
      WriteWhole(dir_ / c.output, "stale");
    std::vector<std::string> argv = {c.component, "-o", dir_ / c.output, dir_ / c.input};
    if (c.component == kLyrenc)
      argv = {kLyrenc, "-m", "j", "-b", "128", "-r", "-x", "-S", dir_ / c.input, dir_ / c.output};
    const rlimit limit{c.limit, c.limit};
    LRunResult r = RunProgram(argv, "", [&] {
      if (c.limit != 0)
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_TRUE(r.Exited(1)) << r.status;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(FolderNames(dir_.Path()),
              c.bytes == kMissing ? std::vector<std::string>{} : std::vector<std::string>{c.input});
    std::filesystem::remove(dir_ / c.input);
  }
}

// Stopped by SIGTERM while writing, each component removes what it began;
// a vanished reader ends the encoder with status 1, not by the signal.
TEST_F(DecoderTest, StoppedComponentsLeaveNoPartialFile)
{
  const std::string wav = MakeWav(44100, 16, {440, 1000}, 8.0);
  const std::string output = dir_ / "Temp1.wav", fifo = dir_ / "stalled";
  const std::vector<std::string> sources = {Encode(wav, "flac"), Encode(wav, "ogg"), dir_ / "tone.pcm"};
  WriteWhole(sources[2], PcmBytes(Tone(44100, 44100 * 8, {440, 1000})));
  const auto before = FolderNames(dir_.Path());
  const std::string components[] = {kWendrik, kTarnel, kLyrenc};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(components[i]);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    LChild child;
    std::vector<std::string> argv = {components[i], "-o", output, fifo};
    if (i == 2)
      argv = {kLyrenc, "-m", "j", "-b", "128", "-r", "-x", "-S", fifo, output};
    ASSERT_TRUE(child.Start(argv));
    int writer = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const std::string bytes = ReadWhole(sources[i]);
    ASSERT_EQ(write(writer, bytes.data(), bytes.size() / 2), static_cast<ssize_t>(bytes.size() / 2));
    // The source stalls halfway: wait until something of the output is written.
    EXPECT_TRUE(WaitUntil([&] {
      for (const std::string& name : FolderNames(dir_.Path()))
        if (name.rfind("Temp1.wav", 0) == 0 && std::filesystem::file_size(dir_ / name) > 0)
          return true;
      return false;
    }));
    kill(child.Pid(), SIGTERM);
    int status = child.Wait();
    close(writer);
    std::filesystem::remove(fifo);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(FolderNames(dir_.Path()), before);
  }

  LChild encoder;
  ASSERT_TRUE(encoder.Start({"/bin/sh", "-c", "exec \"" + kLyrenc + "\" -m s -b 56 -h -r -x -s 44.100 --silent - -"}));
  encoder.CloseOut();
  const std::string pcm = ReadWhole(sources[2]);
  for (size_t at = 0; at < pcm.size(); at += 17640)
    if (write(encoder.In(), pcm.data() + at, std::min<size_t>(17640, pcm.size() - at)) < 0)
      break;
  encoder.CloseIn();
  int status = encoder.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

// A component's installer puts the program given, or found beside it, where
// the server looks; reinstalling leaves a running encoder running.
TEST(ComponentInstallTest, InstallersPutTheirProgramWhereTheServerLooks)
{
  auto installer = [](const std::string& name) {
    return std::string(VELORIN_SOURCE_DIR) + "/components/" + name + "/" + name + ".component";
  };
  auto built = [](const std::string& name) {
    return std::string(VELORIN_BINARY_DIR) + "/components/" + name + "/" + name;
  };
  std::filesystem::remove_all("/opt/ostrel/components");  // tests/isolate brings them installed
  TempFolder dir;
  WriteWhole(dir / "wendrik.component", ReadWhole(installer("lyrenc")));
  WriteWhole(dir / "tarnel.component", ReadWhole(installer("lyrenc")));
  std::filesystem::copy_file(built("wendrik"), dir / "wendrik");
  struct Case {
    std::string script, program, installed;  // program "": none given
    std::vector<std::string> after;          // the components folder afterwards; empty: a failure
  };
  const Case cases[] = {
      {installer("lyrenc"), dir / "nothing-here", "lyrenc", {}},
      {dir / "tarnel.component", "", "tarnel", {}},
      {dir / "wendrik.component", "", "wendrik", {"wendrik"}},
      {installer("lyrenc"), built("lyrenc"), "lyrenc", {"lyrenc", "wendrik"}},
      {installer("tarnel"), built("tarnel"), "tarnel", {"lyrenc", "tarnel", "wendrik"}},
      {installer("lyrenc"), built("lyrenc"), "lyrenc", {"lyrenc", "tarnel", "wendrik"}},  // the encoder runs
  };
  LChild encoder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script + " " + c.program);
    LRunResult r = RunProgram(c.program.empty() ? std::vector<std::string>{"/bin/bash", c.script}
                                                : std::vector<std::string>{"/bin/bash", c.script, c.program});
    EXPECT_TRUE(r.Exited(c.after.empty() ? 1 : 0)) << r.err;
    EXPECT_EQ(FolderNames("/opt/ostrel/components"), c.after);
    const std::string installed = ComponentPath(c.installed);
    if (c.after.empty()) {
      EXPECT_NE(r.err.find(c.program.empty() ? c.installed : c.program), std::string::npos) << r.err;
      continue;
    }
    struct stat st {};
    EXPECT_TRUE(stat(installed.c_str(), &st) == 0 && (st.st_mode & 07777) == 0755) << std::oct << st.st_mode;
    EXPECT_TRUE(ReadWhole(installed) == ReadWhole(built(c.installed)));
    EXPECT_TRUE(RunProgram({installed, "--no-such-option"}).Exited(2)) << "a bad option gets the program's answer";
    if (encoder.Pid() <= 0 && c.installed == "lyrenc") {
      ASSERT_TRUE(encoder.Start({installed, "-m", "s", "-b", "56", "-r", "-x", "--silent", "-", "-"}));
    }
  }
  const std::string pcm = PcmBytes(Tone(44100, 44100, {440, 1000}));
  ASSERT_EQ(write(encoder.In(), pcm.data(), pcm.size()), static_cast<ssize_t>(pcm.size()));
  std::string out, err;
  int status = encoder.Collect(out, err);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
  EXPECT_GT(out.size(), 5000u);
}

}  // namespace
