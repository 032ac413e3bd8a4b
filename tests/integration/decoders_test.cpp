// The Ogg Vorbis (tarnel) and FLAC (wendrik) decoder components, run with
// the server's command templates on files made by oggenc and flac from
// test tones that sox writes.
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>

#include "integration/componentkit.h"

using namespace componentkit;

namespace {

const std::string kTarnel = ComponentPath("tarnel");
const std::string kWendrik = ComponentPath("wendrik");

// The server's templates: component, output WAV, source.
std::string DecodeCommand(const std::string& component, const std::string& output, const std::string& source) {
  const char* format = component == kWendrik ? "\"%s\" -d -o \"%s\" \"%s\"" : "\"%s\" -o \"%s\" \"%s\"";
  char line[1200];
  std::snprintf(line, sizeof line, format, component.c_str(), output.c_str(), source.c_str());
  return line;
}

struct LSource {
  int rate;
  int bits;
  std::vector<double> tones;  // one per channel
  double seconds;
};

class DecoderTest : public ::testing::Test {
protected:
  void SetUp() override {
    IgnoreBrokenPipes();
    for (const std::string& c : {kTarnel, kWendrik}) ASSERT_EQ(access(c.c_str(), X_OK), 0) << "not built: " << c;
    ASSERT_FALSE(dir_.Path().empty());
  }

  // Writes the tone as a WAV file with sox and returns its path.
  std::string MakeWav(const LSource& s, const std::string& name) {
    std::string path = dir_ / name;
    std::vector<std::string> argv = {"/usr/bin/sox", "-n", "-r", std::to_string(s.rate), "-c",
                                     std::to_string(s.tones.size()), "-b", std::to_string(s.bits), path,
                                     "synth", std::to_string(s.seconds)};
    for (double f : s.tones) {
      argv.push_back("sine");
      argv.push_back(std::to_string(f));
    }
    argv.push_back("vol");
    argv.push_back("0.5");
    LRunResult r = RunProgram(argv);
    EXPECT_TRUE(r.Exited(0)) << r.err;
    return path;
  }

  // The source as 16-bit samples, converted by sox without dither.
  LAudio Reference(const std::string& wav, const LSource& s) {
    LRunResult r = RunProgram({"/usr/bin/sox", "-D", wav, "-t", "raw", "-e", "signed", "-b", "16", "-L", "-"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    LAudio audio;
    audio.rate = s.rate;
    audio.channels = static_cast<int>(s.tones.size());
    audio.samples = SamplesFromLE(r.out);
    return audio;
  }

  std::string Encode(const std::vector<std::string>& argv) {
    LRunResult r = RunProgram(argv);
    EXPECT_TRUE(r.Exited(0)) << r.err;
    return argv.back();
  }
  std::string MakeOgg(const std::string& wav) { return Encode({"/usr/bin/oggenc", "-Q", wav, "-o", wav + ".ogg"}); }
  std::string MakeFlac(const std::string& wav, bool inOgg = false) {
    std::vector<std::string> argv = {"/usr/bin/flac", "-s", "-f"};
    if (inOgg) argv.push_back("--ogg");
    argv.insert(argv.end(), {wav, "-o", wav + (inOgg ? ".oga" : ".flac")});
    return Encode(argv);
  }

  LTempDir dir_;
};

TEST_F(DecoderTest, TarnelDecodesOggToTheSourceRateChannelsLengthAndTones) {
  // Six channels are stored in Vorbis order (centre second, LFE last) and
  // must come back in WAV order; the LFE channel (index 3) is low-passed by
  // the encoder, so its tone is not compared.
  const LSource sources[] = {
      {44100, 16, {440, 1000}, 1.5},
      {22050, 16, {440}, 1.0},
      {48000, 16, {200, 300, 400, 60, 600, 700}, 1.0},
  };
  for (const LSource& s : sources) {
    SCOPED_TRACE(std::to_string(s.rate) + " Hz, " + std::to_string(s.tones.size()) + " channels");
    std::string ogg = MakeOgg(MakeWav(s, "tone source.wav"));
    std::string output = dir_ / "Temp 1.wav";
    LRunResult r = RunShell(DecodeCommand(kTarnel, output, ogg));
    ASSERT_TRUE(r.Exited(0)) << r.err;
    LAudio decoded;
    std::string why;
    ASSERT_TRUE(ReadCanonicalWav(output, decoded, why)) << why;
    EXPECT_EQ(decoded.rate, s.rate);
    EXPECT_EQ(decoded.channels, static_cast<int>(s.tones.size()));
    EXPECT_EQ(decoded.Frames(), static_cast<size_t>(s.rate * s.seconds));
    for (int c = 0; c < decoded.channels; ++c) {
      if (s.tones.size() == 6 && c == 3) continue;
      EXPECT_NEAR(ToneFrequency(decoded, c), s.tones[static_cast<size_t>(c)], s.tones[static_cast<size_t>(c)] / 50)
          << "channel " << c;
    }
  }
}

TEST_F(DecoderTest, WendrikDecodesFlacOfEveryDepthTo16BitsAsAReferenceConverterDoes) {
  struct Case {
    LSource source;
    bool inOgg;
    int tolerance;  // deeper samples: sox's rounding and ours may differ by one
  };
  const Case cases[] = {
      {{44100, 16, {440, 1000}, 1.0}, false, 0},
      {{44100, 24, {440, 1000}, 1.0}, false, 1},
      {{96000, 32, {440, 1000}, 0.5}, false, 1},
      {{8000, 8, {440}, 1.0}, false, 0},
      {{48000, 16, {200, 300, 400, 500, 600, 700}, 0.5}, false, 0},
      {{44100, 16, {440, 1000}, 1.0}, true, 0},
  };
  for (const Case& c : cases) {
    const LSource& s = c.source;
    SCOPED_TRACE(std::to_string(s.bits) + " bits, " + std::to_string(s.tones.size()) + " channels" +
                 (c.inOgg ? ", in Ogg" : ""));
    std::string wav = MakeWav(s, "tone source.wav");
    std::string flac = MakeFlac(wav, c.inOgg);
    std::string output = dir_ / "Temp 1.wav";
    LRunResult r = RunShell(DecodeCommand(kWendrik, output, flac));
    ASSERT_TRUE(r.Exited(0)) << r.err;
    LAudio decoded;
    std::string why;
    ASSERT_TRUE(ReadCanonicalWav(output, decoded, why)) << why;
    LAudio reference = Reference(wav, s);
    EXPECT_EQ(decoded.rate, s.rate);
    EXPECT_EQ(decoded.channels, reference.channels);
    ASSERT_EQ(decoded.samples.size(), reference.samples.size());
    int worst = 0;
    for (size_t i = 0; i < decoded.samples.size(); ++i) {
      worst = std::max(worst, std::abs(decoded.samples[i] - reference.samples[i]));
    }
    EXPECT_LE(worst, c.tolerance);
  }
}

TEST_F(DecoderTest, BadInputsFailWithAMessageAndLeaveNoFileAtAll) {
  LSource s = {44100, 16, {440, 1000}, 4.0};
  std::string wav = MakeWav(s, "source.wav");
  std::string ogg = ReadWholeFile(MakeOgg(wav));
  std::string flac = ReadWholeFile(MakeFlac(wav));
  std::filesystem::remove(wav);
  std::filesystem::remove(wav + ".ogg");
  std::filesystem::remove(wav + ".flac");
  auto flipped = [](std::string bytes) {
    bytes[bytes.size() * 3 / 4] ^= 0x55;
    return bytes;
  };
  auto cut = [](const std::string& bytes) { return bytes.substr(0, bytes.size() * 3 / 4); };

  struct Case {
    const char* name;
    std::string component;
    const char* input;  // file name in the folder
    std::string bytes;  // its content; the input is missing when null
    bool present;
  };
  const Case cases[] = {
      {"missing", kTarnel, "none.ogg", "", false},
      {"missing", kWendrik, "none.flac", "", false},
      {"empty", kTarnel, "empty.ogg", "", true},
      {"empty", kWendrik, "empty.flac", "", true},
      {"not audio", kTarnel, "text.ogg", std::string(5000, 'x'), true},
      {"not audio", kWendrik, "text.flac", std::string(5000, 'x'), true},
      {"other format", kTarnel, "flac.ogg", flac, true},
      {"other format", kWendrik, "ogg.flac", ogg, true},
      {"damaged page", kTarnel, "damaged.ogg", flipped(ogg), true},
      {"damaged frame", kWendrik, "damaged.flac", flipped(flac), true},
      {"cut short", kTarnel, "cut.ogg", cut(ogg), true},
      {"cut short", kWendrik, "cut.flac", cut(flac), true},
  };
  for (const Case& c : cases) {
    std::string name = c.component == kTarnel ? "tarnel" : "wendrik";
    SCOPED_TRACE(name + ": " + c.name);
    std::string input = dir_ / c.input;
    if (c.present) WriteWholeFile(input, c.bytes);
    // A stale file where the output goes must not pass for a result.
    std::string output = dir_ / "Temp1.wav";
    WriteWholeFile(output, "stale");
    LRunResult r = RunShell(DecodeCommand(c.component, output, input));
    EXPECT_TRUE(r.Exited(1)) << r.status;
    EXPECT_NE(r.err.find(name + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.input), std::string::npos) << r.err;
    std::vector<std::string> left = FolderNames(dir_.Path());
    std::vector<std::string> expected;
    if (c.present) expected.push_back(c.input);
    EXPECT_EQ(left, expected);
    std::filesystem::remove(input);
  }
}

TEST_F(DecoderTest, BadCommandLinesExitWithStatus2AndTouchNothing) {
  LSource s = {44100, 16, {440}, 0.2};
  std::string wav = MakeWav(s, "source.wav");
  std::string flac = MakeFlac(wav);
  std::string flacBytes = ReadWholeFile(flac);
  std::filesystem::create_directory(dir_ / "folder");
  struct Case {
    std::vector<std::string> argv;
    const char* says;
  };
  const Case cases[] = {
      {{kTarnel, "-d", "-o", dir_ / "o.wav", flac}, "-d"},
      {{kWendrik, "-o", dir_ / "o.wav"}, "input"},
      {{kWendrik, flac}, "-o"},
      {{kWendrik, "-d", "-o"}, "-o"},
      {{kWendrik, "-d", "-o", dir_ / "o.wav", flac, flac}, "more than one"},
      {{kTarnel, "-q", "-o", dir_ / "o.wav", flac}, "-q"},
      // Failure removes the output path: never when it is the input.
      {{kWendrik, "-d", "-o", flac, flac}, "is the input"},
      {{kWendrik, "-d", "-o", dir_ / "folder", flac}, "folder"},
      {{kWendrik, "-d", "-o", "/dev/null", flac}, "/dev/null"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (size_t i = 1; i < c.argv.size(); ++i) line += c.argv[i] + " ";
    SCOPED_TRACE(line);
    LRunResult r = RunProgram(c.argv);
    EXPECT_TRUE(r.Exited(2)) << r.status;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(dir_ / "o.wav"));
    EXPECT_EQ(ReadWholeFile(flac), flacBytes);
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "folder"));
  }
  struct stat null;
  ASSERT_EQ(stat("/dev/null", &null), 0);
  EXPECT_TRUE(S_ISCHR(null.st_mode));
}

TEST_F(DecoderTest, AFullDiskOrAStopSignalLeavesNoPartialFile) {
  // Long enough that half of the compressed file decodes to more than the
  // decoders buffer before writing.
  LSource s = {44100, 16, {440, 1000}, 8.0};
  std::string wav = MakeWav(s, "source.wav");
  std::string flac = MakeFlac(wav);
  std::string ogg = MakeOgg(wav);
  std::string output = dir_ / "Temp1.wav";
  const std::vector<std::string> sources = {"source.wav", "source.wav.flac", "source.wav.ogg"};
  auto onlySources = [&] { return FolderNames(dir_.Path()) == sources; };

  for (const std::vector<std::string>& argv :
       {std::vector<std::string>{kWendrik, "-d", "-o", output, flac}, {kTarnel, "-o", output, ogg}}) {
    SCOPED_TRACE(argv[0] + " with a file size limit");
    LRunResult r = RunProgram(argv, "", [] {
      rlimit limit = {65536, 65536};
      setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_TRUE(r.Exited(1)) << r.status;
    EXPECT_NE(r.err.find("Temp1.wav"), std::string::npos) << r.err;
    EXPECT_TRUE(onlySources());
  }

  // The source arrives through a pipe that stalls halfway; the decoder has
  // written part of its output when it is stopped.
  std::string fifo = dir_ / "stalled";
  for (const auto& [component, source] : {std::pair{kWendrik, flac}, std::pair{kTarnel, ogg}}) {
    SCOPED_TRACE(component + " stopped by SIGTERM");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    LChild decoder;
    ASSERT_TRUE(decoder.Start({component, "-o", output, fifo}));
    int writer = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    std::string bytes = ReadWholeFile(source);
    ASSERT_EQ(write(writer, bytes.data(), bytes.size() / 2), static_cast<ssize_t>(bytes.size() / 2));
    // Wait until the decoder's temporary file holds decoded audio.
    bool writing = false;
    for (int i = 0; i < 500 && !writing; ++i) {
      for (const std::string& name : FolderNames(dir_.Path())) {
        if (name.rfind("Temp1.wav.", 0) == 0 && std::filesystem::file_size(dir_ / name) > 0) writing = true;
      }
      if (!writing) usleep(10 * 1000);
    }
    EXPECT_TRUE(writing);
    kill(decoder.Pid(), SIGTERM);
    int status = decoder.Wait();
    close(writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    std::filesystem::remove(fifo);
    EXPECT_TRUE(onlySources());
  }
}

}  // namespace
