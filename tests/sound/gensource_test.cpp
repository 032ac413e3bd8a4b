// Opening files by extension: the direct readers in any letter case, the
// conversions through temporary WAV files and their locks (also held by
// another process), the outside decoders tarnel and wendrik, the
// missing-decoder texts, and the raw settings prompt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/lockfile.h"
#include "settings/settings.h"
#include "sound/formaterrors.h"
#include "sound/gensource.h"
#include "sound/soxfiles.h"

using namespace soxtest;

namespace {

constexpr const char* kNoPluginApe =
    "Velorin could not locate a plugin for the file with extension \".ape\". No plugin appears to be available, "
    "therefore this format may be unsupported. Visit http://www.ostrel.com/velorin/components.html to check if "
    "there is a plugin for this format.";
constexpr const char* kNotInstalledFlac =
    "Velorin could not locate a plugin for the file with extension \".FLAC\".\r\n\r\nYou will need to download "
    "and install the plugin yourself from here: http://www.ostrel.com/velorin/components.html";

// A DCT file (version 0, no details) around a WAV file.
std::string WrapDct(const std::string& wav)
{
  std::string b;
  PutLE(b, 0, 2);
  PutLE(b, 0, 4);
  PutLE(b, 0, 4);
  b.append(12 + 11 + 1, '\0'); // eleven empty strings
  PutLE(b, 0, 4);              // no notes
  b += wav;
  uint32_t total = static_cast<uint32_t>(b.size());
  for (int i = 0; i < 4; ++i) {
    b[2 + i] = static_cast<char>(total >> (8 * i));
  }
  return b;
}

std::vector<std::string> Names(const std::string& folder)
{
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    names.push_back(e.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The desktop's raw settings dialog, answering as told.
class TestPrompt : public LRawSettingsPrompt {
public:
  explicit TestPrompt(bool confirm, int rate = 0) : confirm_(confirm), rate_(rate) {}
  bool RawSettingsDialog(const char* section, LRawSettings& settings) override
  {
    sections.push_back(section);
    if (confirm_ && rate_ > 0) {
      settings.sampleRate = rate_;
      settings.SaveAsDefaultSettings(section);
    }
    return confirm_;
  }
  std::vector<std::string> sections;

private:
  bool confirm_;
  int rate_;
};

// An open interface that may show dialogs (the progress display's never
// does).
class InteractiveOpen {
public:
  InteractiveOpen(TestProgress& progress, LRawSettingsPrompt* parent) : progress_(progress), parent_(parent) {}
  bool IsInteractive() const { return true; }
  LRawSettingsPrompt* GetParentWindow() const { return parent_; }
  void SetError(const char* text) { progress_.SetError(text); }
  TestProgress& GetProcess() { return progress_; }

private:
  TestProgress& progress_;
  LRawSettingsPrompt* parent_;
};

class Dispatch : public ::testing::Test {
protected:
  LProcessResult Open(LSoundSource& source, const std::string& path, const char* temp = nullptr)
  {
    return LGenSourceOpenProcess(progress_, source, path.c_str(), temp != nullptr ? temp : temp_.Path().c_str());
  }
  std::string MakeDct(const std::string& name)
  {
    std::string wav = files_ / (name + ".inner.wav");
    Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", wav, "synth", "0.5", "sine", "440"});
    std::string dct = files_ / name;
    EXPECT_TRUE(WriteWhole(dct, WrapDct(ReadWhole(wav))));
    return dct;
  }
  TempDir files_;
  TempDir temp_;
  TestProgress progress_;
};

} // namespace

TEST_F(Dispatch, ExtensionsInAnyCaseReachTheirReaders)
{
  struct Case {
    const char* name;
    std::vector<std::string> options;
  } cases[] = {
      {"a.WAV", {"-b", "16"}},         {"b.Wav", {"-b", "8"}},  {"c.AIFF", {"-b", "16"}}, {"d.aif", {"-b", "16"}},
      {"e.Au", {"-e", "u-law"}},       {"f.GSM", {}},
  };
  for (const Case& c : cases) {
    std::string path = files_ / c.name;
    std::string extension = strrchr(c.name, '.');
    for (char& ch : extension) {
      ch = static_cast<char>(tolower(ch));
    }
    std::string made = files_ / ("made" + extension);
    std::vector<std::string> args = {"-n", "-r", "8000", "-c", "1"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {made, "synth", "0.2", "sine", "440"});
    Sox(args);
    std::filesystem::rename(made, path);
    LSoundSource s;
    EXPECT_EQ(Open(s, path), 0) << c.name;
    EXPECT_TRUE(s.IsOpen()) << c.name;
    EXPECT_EQ(s.GetEndSample(), 1600) << c.name;
  }
  // MP3 goes to the MP3 reader.
  std::string mp3 = files_ / "made.mp3";
  Sox({"-n", "-r", "44100", "-c", "2", mp3, "synth", "0.5", "sine", "440"});
  std::filesystem::rename(mp3, files_ / "song.Mp3");
  LSoundSource s;
  EXPECT_EQ(Open(s, files_ / "song.Mp3"), 0);
  EXPECT_EQ(s.GetSampleRate(), 44100);
  EXPECT_EQ(s.GetChannels(), 2);
  EXPECT_GT(s.GetEndSample(), 0);
  // Read directly: no temporary files, no lock files.
  EXPECT_TRUE(Names(temp_.Path()).empty());
}

TEST_F(Dispatch, ARefusedFileGoesToNoDecoder)
{
  std::string wav = files_ / "deep.wav";
  Sox({"-n", "-r", "8000", "-b", "24", wav, "synth", "0.1", "sine", "440"});
  LSoundSource s;
  EXPECT_EQ(Open(s, wav), 2);
  EXPECT_EQ(s.GetErrorCode(), kFileErrorEncoding);
  std::string text = files_ / "notes.txt";
  WriteWhole(text, "hi");
  std::string good = files_ / "good.wav";
  Sox({"-n", "-r", "8000", "-b", "16", good, "synth", "0.1", "sine", "440"});
  ASSERT_EQ(Open(s, good), 0);
  EXPECT_EQ(Open(s, text), 2);
  EXPECT_FALSE(s.IsOpen()); // the previous file is not left in the handle
  std::string none = files_ / "noextension";
  WriteWhole(none, "hi");
  EXPECT_EQ(Open(s, none), 2);
  EXPECT_TRUE(Names(temp_.Path()).empty());
  EXPECT_TRUE(progress_.errors.empty()); // quiet

  // Not quiet: the failure is shown.
  LGenSourceOpenInterfaceProcess<TestProgress> open(progress_);
  EXPECT_EQ(ProcessGenSourceOpenSource(s, text.c_str(), open, false, temp_.Path().c_str()), 2);
  EXPECT_EQ(progress_.errors, std::vector<std::string>{"Velorin could not read the audio file \"notes.txt\"."});
}

TEST_F(Dispatch, ConversionsGoThroughTemporaryWaveFiles)
{
  std::string dct = MakeDct("memo.DCT");
  LSoundSource s;
  ASSERT_EQ(Open(s, dct), 0) << (progress_.errors.empty() ? "" : progress_.errors[0]);
  EXPECT_EQ(s.GetEndSample(), 4000);
  // The lock file went with the dispatch; the WAV stays.
  EXPECT_EQ(Names(temp_.Path()), std::vector<std::string>{"Temp1.wav"});
  // The next conversion (the source still open) takes the same name again.
  LSoundSource again;
  ASSERT_EQ(Open(again, dct), 0);
  EXPECT_EQ(Names(temp_.Path()), std::vector<std::string>{"Temp1.wav"});

  // A stale file of that name is replaced.
  WriteWhole(temp_ / "Temp1.wav", "old");
  ASSERT_EQ(Open(again, dct), 0);
  EXPECT_EQ(again.GetEndSample(), 4000);

  // PC Dart converts, and the WAV reader then refuses what it made.
  std::string dart = files_ / "memo.dart";
  WriteWhole(dart, std::string(3000, '\7'));
  EXPECT_EQ(Open(s, dart), 2);
  EXPECT_EQ(s.GetErrorCode(), kFileErrorEncoding);

  // A broken DCT reports its own fault.
  std::string bad = ReadWhole(dct);
  bad[2] ^= 1;
  WriteWhole(dct, bad);
  progress_ = TestProgress();
  EXPECT_EQ(Open(s, dct), 2);
  EXPECT_EQ(progress_.errors, std::vector<std::string>{"DCT File is corrupt"});

  // A folder whose path leaves no room for the names.
  std::string longFolder = "/tmp/" + std::string(250, 'x');
  EXPECT_EQ(Open(s, MakeDct("b.dct"), longFolder.c_str()), 2);
}

TEST_F(Dispatch, LocksHeldByAnotherProcess)
{
  std::string dct = MakeDct("memo.dct");
  // The child holds the lock file of Temp1, then (second round) an
  // exclusive lock on a Temp1.wav of its own, until told to let go.
  for (int round = 0; round < 2; ++round) {
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      close(release[1]);
      LLockFile lock;
      int fd = -1;
      bool ok;
      if (round == 0) {
        ok = lock.Lock("/tmp/Temp1.wav");
      } else {
        fd = open("/tmp/Temp1.wav", O_RDWR | O_CREAT, 0666);
        ok = fd >= 0 && flock(fd, LOCK_EX) == 0;
      }
      char c = ok ? 'y' : 'n';
      if (write(ready[1], &c, 1) != 1 || read(release[0], &c, 1) < 0) {
        _exit(3);
      }
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    LSoundSource s;
    EXPECT_EQ(LGenSourceOpenProcess(progress_, s, dct.c_str(), ""), 0) << round;
    EXPECT_TRUE(s.IsOpen());
    EXPECT_TRUE(Exists("/tmp/Temp2.wav")) << round;
    EXPECT_EQ(Exists("/tmp/Temp1.wav"), round == 1);
    // Let the child go; the name is free again, and no lock file stays.
    c = 'x';
    EXPECT_EQ(write(release[1], &c, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(ready[0]);
    close(release[1]);
    unlink("/tmp/Temp2.wav");
    EXPECT_EQ(LGenSourceOpenProcess(progress_, s, dct.c_str(), ""), 0);
    EXPECT_FALSE(Exists("/tmp/Temp2.wav")) << round;
    EXPECT_TRUE(Exists("/tmp/Temp1.wav"));
    EXPECT_FALSE(Exists("/tmp/Temp1.lck") || Exists("/tmp/Temp2.lck"));
    unlink("/tmp/Temp1.wav");
  }
}

TEST_F(Dispatch, MissingDecoderTexts)
{
  std::string ape = files_ / "song.ape";
  WriteWhole(ape, "MAC ");
  LSoundSource s;
  EXPECT_EQ(Open(s, ape), 2);
  EXPECT_EQ(progress_.errors, std::vector<std::string>{kNoPluginApe});
  EXPECT_EQ(progress_.status1.back(), "Decoding .ape file");
  EXPECT_EQ(progress_.status2.back(), "song.ape");

  // The FLAC decoder's folder taken away: known, but not installed.
  const char* folder = "/opt/ostrel/components/wendrik";
  const char* aside = "/opt/ostrel/components/wendrik.aside";
  bool moved = std::filesystem::exists(folder);
  if (moved) {
    std::filesystem::rename(folder, aside);
  }
  std::string flac = files_ / "song.FLAC";
  WriteWhole(flac, "fLaC");
  progress_ = TestProgress();
  EXPECT_EQ(Open(s, flac), 2);
  if (moved) {
    std::filesystem::rename(aside, folder);
  }
  EXPECT_EQ(progress_.errors, std::vector<std::string>{std::string(kNotInstalledFlac)});
  EXPECT_EQ(progress_.status1.back(), "Decoding .FLAC file");
}

TEST_F(Dispatch, OggAndFlacThroughTheirDecoders)
{
  ASSERT_TRUE(std::filesystem::exists("/opt/ostrel/components/tarnel/tarnel")) << "tests/isolate installs it";
  ASSERT_TRUE(std::filesystem::exists("/opt/ostrel/components/wendrik/wendrik"));
  std::string wav16 = files_ / "src16.wav";
  std::string wav24 = files_ / "src24.wav";
  Sox({"-n", "-r", "44100", "-c", "2", "-b", "16", wav16, "synth", "2", "sine", "440", "sine", "1000", "vol", "0.5"});
  Sox({"-n", "-r", "48000", "-c", "1", "-b", "24", wav24, "synth", "1.5", "sine", "300", "vol", "0.7"});
  std::string ogg = files_ / "song.ogg";
  std::string flac16 = files_ / "song16.flac";
  std::string flac24 = files_ / "song24.Flac";
  ASSERT_EQ(soxtest::Run({"oggenc", "-Q", "-q", "6", "-o", ogg, wav16}), 0);
  ASSERT_EQ(soxtest::Run({"flac", "-s", "-o", flac16, wav16}), 0);
  ASSERT_EQ(soxtest::Run({"flac", "-s", "-o", flac24, wav24}), 0);
  std::vector<int> source16 = SoxDecode(files_, {}, wav16);
  std::vector<int> source24 = SoxDecode(files_, {}, wav24);

  LSoundSource s;
  ASSERT_EQ(Open(s, flac16), 0) << (progress_.errors.empty() ? "" : progress_.errors[0]);
  EXPECT_EQ(s.GetSampleRate(), 44100);
  EXPECT_EQ(s.GetChannels(), 2);
  EXPECT_EQ(ReadAll(s, 8192), source16);

  ASSERT_EQ(Open(s, flac24), 0);
  EXPECT_EQ(s.GetSampleRate(), 48000);
  std::vector<int> got = ReadAll(s, 8192);
  ASSERT_EQ(got.size(), source24.size());
  int worst = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    worst = std::max(worst, std::abs(got[i] - source24[i]));
  }
  EXPECT_LE(worst, 16); // one 16-bit step: the decoder and sox round alike or apart
  EXPECT_EQ(progress_.status1.back(), "Decoding .Flac file");

  ASSERT_EQ(Open(s, ogg), 0);
  EXPECT_EQ(s.GetChannels(), 2);
  got = ReadAll(s, 8192);
  EXPECT_EQ(got.size(), source16.size());
  double snr = SnrDb(source16, got);
  std::printf("Ogg through tarnel: %.1f dB against the source\n", snr);
  EXPECT_GT(snr, 20.0);

  // A file the decoder refuses: its exit status says so.
  std::string broken = files_ / "broken.ogg";
  WriteWhole(broken, std::string(5000, 'O'));
  progress_ = TestProgress();
  EXPECT_EQ(Open(s, broken), 2);
  EXPECT_TRUE(progress_.errors.empty());

  // A file name that would end the shell's quoting is passed as it is.
  std::string odd = files_ / "it's \"$(touch pwned)` x.flac";
  std::filesystem::copy_file(flac16, odd);
  ASSERT_EQ(Open(s, odd), 0);
  EXPECT_FALSE(std::filesystem::exists("pwned"));
  EXPECT_EQ(s.GetEndSample(), 88200);
}

TEST_F(Dispatch, HeaderlessFilesUseTheirSettings)
{
  std::string raw = files_ / "a.RAW";
  WriteWhole(raw, std::string(4000, '\0'));
  LSettingSetInt(kRawAudioSection, "SampleRate", 22050);
  LSettingSetInt(kRawAudioSection, "Channels", 2);
  LSettingSetInt(kRawAudioSection, "Codec", kRawCodecPCM16);
  LSoundSource s;
  ASSERT_EQ(Open(s, raw), 0);
  EXPECT_EQ(s.GetSampleRate(), 22050);
  EXPECT_EQ(s.GetEndSample(), 1000);
  std::string snd = files_ / "b.snd";
  WriteWhole(snd, std::string(4000, '\0'));
  ASSERT_EQ(Open(s, snd), 0);
  EXPECT_EQ(s.GetChannels(), 2);

  std::string vox = files_ / "c.Vox";
  WriteWhole(vox, std::string(4000, '\x11'));
  LSettingSetInt(kVoxAudioSection, "SampleRate", 6000);
  ASSERT_EQ(Open(s, vox), 0);
  EXPECT_EQ(s.GetSampleRate(), 6000);
  EXPECT_EQ(s.GetEndSample(), 8000);

  // A codec outside the list: no source, no decoder.
  LSettingSetInt(kRawAudioSection, "Codec", 9);
  EXPECT_EQ(Open(s, raw), 2);
  LSettingSetInt(kRawAudioSection, "Codec", kRawCodecU8);

  // An open that may show dialogs asks first; cancel stops the open.
  TestPrompt cancel(false);
  InteractiveOpen interactive(progress_, &cancel);
  EXPECT_EQ(ProcessGenSourceOpenSource(s, raw.c_str(), interactive, true, temp_.Path().c_str()), 1);
  EXPECT_EQ(cancel.sections, std::vector<std::string>{"RawAudio"});
  TestPrompt confirm(true, 11025);
  InteractiveOpen confirming(progress_, &confirm);
  ASSERT_EQ(ProcessGenSourceOpenSource(s, vox.c_str(), confirming, true, temp_.Path().c_str()), 0);
  EXPECT_EQ(confirm.sections, std::vector<std::string>{"VoxAudio"});
  EXPECT_EQ(s.GetSampleRate(), 11025);
  EXPECT_EQ(LSettingGetInt(kVoxAudioSection, "SampleRate", 0), 11025);
}

TEST(DispatchPrompt, OnePromptPerBatch)
{
  TestPrompt prompt(true);
  bool askOnce = true;
  for (const char* path : {"/x/song.wav", "/x/a.raw", "/x/b.snd", "/x/c.vox"}) {
    EXPECT_EQ(LGenSourceOpenPrompt(path, askOnce, &prompt), 0) << path;
  }
  EXPECT_EQ(prompt.sections, std::vector<std::string>{"RawAudio"});
  EXPECT_FALSE(askOnce);

  TestPrompt voxFirst(true);
  askOnce = true;
  for (const char* path : {"/x/c.VOX", "/x/a.raw"}) {
    EXPECT_EQ(LGenSourceOpenPrompt(path, askOnce, &voxFirst), 0);
  }
  EXPECT_EQ(voxFirst.sections, std::vector<std::string>{"VoxAudio"});

  TestPrompt cancel(false);
  askOnce = true;
  EXPECT_EQ(LGenSourceOpenPrompt("/x/a.raw", askOnce, &cancel), 1);
  EXPECT_EQ(LGenSourceOpenPrompt("/x/b.raw", askOnce, &cancel), 0); // asked once only

  // No desktop: nothing to ask.
  askOnce = true;
  EXPECT_EQ(LGenSourceOpenPrompt("/x/a.raw", askOnce, nullptr), 0);
}
