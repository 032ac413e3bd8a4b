#include <gtest/gtest.h>

#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/lockfile.h"
#include "common/proccount.h"
#include "settings/settings.h"
#include "sound/formaterrors.h"
#include "sound/gensource.h"
#include "sound/soxfiles.h"

using namespace soxtest;

namespace {

// The desktop's raw settings dialog, answering as told (a rate of 0: left alone), and an open that may show it.
class TestPrompt : public LRawSettingsPrompt {
public:
  TestPrompt(TestProgress& progress, bool confirm, int rate = 0) : progress_(progress), confirm_(confirm), rate_(rate)
  {
  }
  bool RawSettingsDialog(const char* section, LRawSettings& settings) override
  {
    sections.push_back(section);
    if (confirm_ && rate_ > 0) {
      settings.sampleRate = rate_;
      settings.SaveAsDefaultSettings(section);
    }
    return confirm_;
  }
  bool IsInteractive() const { return true; }
  LRawSettingsPrompt* GetParentWindow() { return this; }
  void SetError(const char* text) { progress_.SetError(text); }
  TestProgress& GetProcess() { return progress_; }
  std::vector<std::string> sections;

private:
  TestProgress& progress_;
  bool confirm_;
  int rate_;
};

class Dispatch : public ::testing::Test {
protected:
  LProcessResult Open(LSoundSource& source, const std::string& path, const char* temp = nullptr)
  {
    progress_ = TestProgress();
    return LGenSourceOpenProcess(progress_, source, path.c_str(), temp != nullptr ? temp : temp_.Path().c_str());
  }
  std::string Made(const std::string& name, std::vector<std::string> options, const char* seconds = "0.2")
  {
    std::string extension = name.substr(name.rfind('.'));
    std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
    std::string made = files_ / ("made" + extension);
    options.insert(options.begin(), "-n");
    options.insert(options.end(), {made, "synth", seconds, "sine", "440"});
    Sox(options);
    std::filesystem::rename(made, files_ / name);
    return files_ / name;
  }
  TempDir files_;
  TempDir temp_;
  TestProgress progress_;
};

}  // namespace

TEST_F(Dispatch, ExtensionsInAnyCaseReachTheirReaders)
{
  LSettingSetInt(kRawAudioSection, "SampleRate", 8000);
  LSettingSetInt(kRawAudioSection, "Channels", 2);
  LSettingSetInt(kRawAudioSection, "Codec", kRawCodecPCM16);
  LSettingSetInt(kVoxAudioSection, "SampleRate", 6000);
  ASSERT_TRUE(WriteWhole(files_ / "a.RAW", std::string(6400, '\0')));
  ASSERT_TRUE(WriteWhole(files_ / "b.snd", std::string(6400, '\0')));
  ASSERT_TRUE(WriteWhole(files_ / "c.Vox", std::string(800, '\x11')));
  struct Case {
    std::string path;
    int rate, channels;
  } cases[] = {
      {Made("a.WAV", {"-r", "8000", "-b", "16"}), 8000, 1},
      {Made("b.Wav", {"-r", "8000", "-b", "8"}), 8000, 1},
      {Made("c.AIFF", {"-r", "8000", "-b", "16"}), 8000, 1},
      {Made("d.aif", {"-r", "8000", "-b", "16"}), 8000, 1},
      {Made("e.Au", {"-r", "8000", "-e", "u-law"}), 8000, 1},
      {Made("f.GSM", {"-r", "8000", "-c", "1"}), 8000, 1},
      {Made("g.Mp3", {"-r", "44100", "-c", "2"}, "0.5"), 44100, 2},
      {files_ / "a.RAW", 8000, 2},
      {files_ / "b.snd", 8000, 2},
      {files_ / "c.Vox", 6000, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    LSoundSource s;
    ASSERT_EQ(Open(s, c.path), 0);
    EXPECT_EQ(s.GetSampleRate(), c.rate);
    EXPECT_EQ(s.GetChannels(), c.channels);
    int end = s.GetEndSample();  // the MP3 file: half a second in whole frames
    EXPECT_TRUE(c.rate == 44100 ? end > 22050 && end % 1152 == 0 : end == 1600) << end;
  }
  EXPECT_EQ(CountEntries(temp_.Path().c_str()), 0);  // read directly: no temporary or lock files

  LSoundSource s;
  ASSERT_EQ(Open(s, files_ / "a.WAV"), 0);
  LSettingSetInt(kRawAudioSection, "Codec", 9);  // outside the list
  ASSERT_TRUE(WriteWhole(files_ / "notes.txt", "hi"));
  ASSERT_TRUE(WriteWhole(files_ / "noextension", "hi"));
  for (const std::string& path :
       {Made("deep.wav", {"-r", "8000", "-b", "24"}), files_ / "a.RAW", files_ / "notes.txt", files_ / "noextension"}) {
    EXPECT_EQ(Open(s, path), 2) << path;
    EXPECT_FALSE(s.IsOpen()) << path;
    EXPECT_TRUE(progress_.errors.empty()) << path;
  }
  EXPECT_EQ(CountEntries(temp_.Path().c_str()), 0);
  LGenSourceOpenInterfaceProcess<TestProgress> open(progress_);
  EXPECT_EQ(ProcessGenSourceOpenSource(s, (files_ / "notes.txt").c_str(), open, false, temp_.Path().c_str()), 2);
  EXPECT_EQ(progress_.errors, std::vector<std::string>{"Velorin could not read the audio file \"notes.txt\"."});
}

TEST_F(Dispatch, ConversionsGoThroughTemporaryWaveFilesUnderLock)
{
  std::string dct = files_ / "memo.DCT";
  ASSERT_TRUE(
      WriteWhole(dct, Dct({.version = 0}, ReadWhole(Made("inner.wav", {"-r", "8000", "-c", "1", "-b", "16"}, "0.5")))));
  LSoundSource s;
  ASSERT_EQ(Open(s, dct), 0) << (progress_.errors.empty() ? "" : progress_.errors[0]);
  EXPECT_EQ(s.GetEndSample(), 4000);
  EXPECT_TRUE(Exists(temp_ / "Temp1.wav"));
  EXPECT_EQ(CountEntries(temp_.Path().c_str()), 1);
  ASSERT_TRUE(WriteWhole(temp_ / "Temp1.wav", "old"));
  LSoundSource again;
  ASSERT_EQ(Open(again, dct), 0);
  EXPECT_EQ(again.GetEndSample(), 4000);
  EXPECT_EQ(CountEntries(temp_.Path().c_str()), 1);

  ASSERT_TRUE(WriteWhole(files_ / "memo.dart", std::string(3000, '\7')));
  EXPECT_EQ(Open(s, files_ / "memo.dart"), 2);
  EXPECT_EQ(s.GetErrorCode(), kFileErrorEncoding);
  EXPECT_EQ(Open(s, dct, ("/tmp/" + std::string(250, 'x')).c_str()), 2);  // no room for the names

  // Another process holds the lock of Temp1 (round 0) or an exclusive lock on a Temp1.wav of its own (round 1): the
  // next name is taken.
  for (int round = 0; round < 2; ++round) {
    int ready[2], release[2];
    ASSERT_TRUE(pipe(ready) == 0 && pipe(release) == 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      LLockFile lock;
      int fd = round == 0 ? -1 : open("/tmp/Temp1.wav", O_RDWR | O_CREAT, 0666);
      char c = (round == 0 ? lock.Lock("/tmp/Temp1.wav") : fd >= 0 && flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
      _exit(write(ready[1], &c, 1) == 1 && read(release[0], &c, 1) == 1 ? 0 : 3);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    EXPECT_EQ(Open(s, dct, ""), 0) << round;
    EXPECT_TRUE(Exists("/tmp/Temp2.wav")) << round;
    EXPECT_EQ(Exists("/tmp/Temp1.wav"), round == 1);
    EXPECT_EQ(write(release[1], &c, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) {
      close(fd);
    }
    unlink("/tmp/Temp2.wav");
    EXPECT_EQ(Open(s, dct, ""), 0);
    EXPECT_FALSE(Exists("/tmp/Temp2.wav")) << round;
    EXPECT_TRUE(Exists("/tmp/Temp1.wav"));
    EXPECT_FALSE(Exists("/tmp/Temp1.lck") || Exists("/tmp/Temp2.lck"));
    unlink("/tmp/Temp1.wav");
  }

  std::string bad = ReadWhole(dct);  // a broken DCT reports its own fault
  bad[2] ^= 1;
  ASSERT_TRUE(WriteWhole(dct, bad));
  EXPECT_EQ(Open(s, dct), 2);
  EXPECT_EQ(progress_.errors, std::vector<std::string>{"DCT File is corrupt"});
}

TEST_F(Dispatch, OutsideDecodersAndTheirAbsence)
{
  ASSERT_TRUE(std::filesystem::exists("/opt/ostrel/components/tarnel/tarnel")) << "tests/isolate installs it";
  std::string wav16 = Made("src16.wav", {"-r", "44100", "-c", "2", "-b", "16"}, "2");
  std::string flac16 = files_ / "song16.Flac";
  ASSERT_EQ(soxtest::Run({"flac", "-s", "-o", flac16, wav16}), 0);
  std::vector<int> source16 = SoxDecode(files_, {}, wav16);
  LSoundSource s;
  ASSERT_EQ(Open(s, flac16), 0) << (progress_.errors.empty() ? "" : progress_.errors[0]);
  EXPECT_EQ(s.GetSampleRate(), 44100);
  EXPECT_EQ(ReadAll(s, 8192), source16);
  EXPECT_EQ(progress_.status1.back(), "Decoding .Flac file");
  ASSERT_TRUE(WriteWhole(files_ / "broken.ogg", std::string(5000, 'O')));
  EXPECT_EQ(Open(s, files_ / "broken.ogg"), 2);
  EXPECT_TRUE(progress_.errors.empty());
  std::string odd = files_ / "it's \"$(touch pwned)` x.flac";
  std::filesystem::copy_file(flac16, odd);
  ASSERT_EQ(Open(s, odd), 0);
  EXPECT_FALSE(std::filesystem::exists("pwned"));
  EXPECT_EQ(s.GetEndSample(), 88200);

  ASSERT_TRUE(WriteWhole(files_ / "song.ape", "MAC "));
  EXPECT_EQ(Open(s, files_ / "song.ape"), 2);
  EXPECT_EQ(progress_.errors, std::vector<std::string>{
                                  "Velorin could not locate a plugin for the file with extension \".ape\". No plugin "
                                  "appears to be available, therefore this format may be unsupported. Visit "
                                  "http://www.ostrel.com/velorin/components.html to check if there is a plugin for "
                                  "this format."});
  EXPECT_EQ(progress_.status1.back(), "Decoding .ape file");
  EXPECT_EQ(progress_.status2.back(), "song.ape");
  std::filesystem::rename("/opt/ostrel/components/wendrik", "/opt/ostrel/components/wendrik.aside");
  ASSERT_TRUE(WriteWhole(files_ / "song.FLAC", "fLaC"));
  EXPECT_EQ(Open(s, files_ / "song.FLAC"), 2);
  std::filesystem::rename("/opt/ostrel/components/wendrik.aside", "/opt/ostrel/components/wendrik");
  EXPECT_EQ(progress_.errors,
            std::vector<std::string>{"Velorin could not locate a plugin for the file with extension \".FLAC\".\r\n\r\n"
                                     "You will need to download and install the plugin yourself from here: "
                                     "http://www.ostrel.com/velorin/components.html"});
}

TEST_F(Dispatch, HeaderlessFilesAskForTheirSettingsOncePerBatch)
{
  std::string raw = files_ / "a.raw", vox = files_ / "c.vox";
  ASSERT_TRUE(WriteWhole(raw, std::string(4000, '\0')));
  ASSERT_TRUE(WriteWhole(vox, std::string(4000, '\x11')));
  LSoundSource s;
  TestPrompt cancel(progress_, false);
  EXPECT_EQ(ProcessGenSourceOpenSource(s, raw.c_str(), cancel, true, temp_.Path().c_str()), 1);
  EXPECT_EQ(cancel.sections, std::vector<std::string>{"RawAudio"});
  TestPrompt confirm(progress_, true, 11025);
  ASSERT_EQ(ProcessGenSourceOpenSource(s, vox.c_str(), confirm, true, temp_.Path().c_str()), 0);
  EXPECT_EQ(confirm.sections, std::vector<std::string>{"VoxAudio"});
  EXPECT_EQ(s.GetSampleRate(), 11025);
  EXPECT_EQ(LSettingGetInt(kVoxAudioSection, "SampleRate", 0), 11025);

  bool askOnce = true;
  EXPECT_EQ(LGenSourceOpenPrompt("/x/song.wav", askOnce, &cancel), 0);
  EXPECT_EQ(LGenSourceOpenPrompt("/x/a.raw", askOnce, &cancel), 1);
  EXPECT_EQ(LGenSourceOpenPrompt("/x/b.raw", askOnce, &cancel), 0);  // asked once only
  askOnce = true;
  EXPECT_EQ(LGenSourceOpenPrompt("/x/a.raw", askOnce, nullptr), 0);
}
