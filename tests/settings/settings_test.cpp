#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "common/files.h"
#include "settings/datfile.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "settings/settingssectionlist.h"

namespace {

const std::string kShared = "/opt/ostrel/velorin/etc/";

TEST(SettingsStore, SectionFilesHoldByteExactLinesOnlyWhatWasWrittenAndTypedValues)
{
  char out[260];
  EXPECT_EQ(LSettingGetInt("Settings", "DialUpKBPS", 24), 24);
  EXPECT_FALSE(Exists(kShared + "settings") || Exists(kShared + "live")) << "reading must not create a section file";
  LSettingSet(VLKeys::LiveName, 2, "Studio");
  EXPECT_EQ(ReadWhole(kShared + "live"), "name2=Studio\r\n");
  LSettingSetInt("Settings", "DialUpKBPS", 32);
  LSettingSetString("settings", "BroadBandKBPS", "64");
  LSettingSetBool("Settings", "Flag", true);
  LSettingSetBool("Settings", "Off", false);
  EXPECT_EQ(ReadWhole(kShared + "settings"), "dialupkbps=32\r\nbroadbandkbps=64\r\nflag=1\r\noff=0\r\n");
  EXPECT_EQ(LSettingGetInt("SETTINGS", "dialupkbps", 24), 32) << "section and key in any case";
  // A hand-written mixed-case key is not found and kept beside the new one.
  WriteWhole(kShared + "handwritten", "DialUpKBPS=40\r\n");
  EXPECT_EQ(LSettingGetInt("HandWritten", "DialUpKBPS", 24), 24);
  LSettingSetInt("HandWritten", "DialUpKBPS", 32);
  EXPECT_EQ(ReadWhole(kShared + "handwritten"), "DialUpKBPS=40\r\ndialupkbps=32\r\n");
  // Another process's rewrite is read; a vanished file keeps the cache.
  LSettingSetString("Shared", "mode", "one");
  WriteWhole(kShared + "shared", "mode=three\r\n");
  std::string seen = (LSettingGetString("Shared", "mode", "", out), out);
  unlink((kShared + "shared").c_str());
  EXPECT_EQ(seen + (LSettingGetString("Shared", "mode", "", out), out), "threethree");
  // Typed values follow the text only; long text is cut at 259.
  std::string longKey(1000, 'k'), longValue(1000, 'v');
  LSettingSetString("Long", longKey.c_str(), longValue.c_str());
  LSettingGetString("Long", longKey.c_str(), "", out);
  EXPECT_EQ(out + ReadWhole(kShared + "long"),
            std::string(259, 'v') + std::string(259, 'k') + "=" + std::string(259, 'v') + "\r\n");
  WriteWhole(kShared + "typed", "b0=0\r\nbno=no\r\nbempty=\r\nnabc=abc\r\nnneg= -12x\r\nnempty=\r\n");
  EXPECT_EQ(std::vector<int>({LSettingGetBool("Typed", "b0", true), LSettingGetBool("Typed", "bno", false),
                              LSettingGetBool("Typed", "bempty", true), LSettingGetInt("Typed", "nabc", 7),
                              LSettingGetInt("Typed", "nneg", 7), LSettingGetInt("Typed", "nempty", 7)}),
            std::vector<int>({false, true, true, 0, -12, 7}));
  // Leading equals signs of a value are lost, trailing blanks stay part of the key, a bare key has an empty value,
  // text ends at the first NUL.
  WriteWhole(kShared + "hostile", std::string("a==x\r\n\r\n   b=1\rc\n\r=z\ntrail  =  v\r\nd=4\0e=5\r\n", 43));
  WriteWhole(kShared + "huge", std::string(10u << 20, 'q'));  // 10 MB without a line end
  std::string got;
  for (const char* key : {"a", "b", "c", "trail  ", "d", "e", ""})
    got += (LSettingGetString("Hostile", key, "-", out), out) + std::string(",");
  LSettingGetString("Huge", std::string(259, 'q').c_str(), "-", out);
  EXPECT_EQ(got + out, "x,1,,  v,4,-,-,");
}

TEST(SettingsStore, UserStoreLivesUnderHomeOrElseOpt)
{
  LUserSettingSetInt("MainWindow", "X", 200);
  EXPECT_EQ(ReadWhole(std::string(getenv("HOME")) + "/.ostrel/velorin/mainwindow"), "x=200\r\n");
  const std::string home = getenv("HOME");
  unsetenv("HOME");
  LUserSettings store;
  store.SetString("Settings", "RunMode", "2");
  setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(store.GetFolder() + ReadWhole("/opt/.ostrel/velorin/settings"), "/opt/.ostrel/velorinrunmode=2\r\n");
}

TEST(DatFile, ChangesRewriteTheFileAtOnceAndHostileFilesAreCut)
{
  LDatFile("/tmp/dat-missing.ini").RemoveItem("Default", "num_clients");
  EXPECT_FALSE(Exists("/tmp/dat-missing.ini"));

  std::string path = "/tmp/dat-session.ini";
  WriteWhole(path,
             "ignored=before any section\n[Default]\nnum_clients=1\n\n[Client0]\nRestartStyleHint=3\nProgram=foo\n");
  LDatFile file(path.c_str());
  file.SetInt("Default", "num_clients", 2);  // written at once: the service may be killed before exit
  EXPECT_EQ(ReadWhole(path),
            "[Default]\r\nnum_clients=2\r\n\r\n[Client0]\r\nRestartStyleHint=3\r\nProgram=foo\r\n\r\n");
  file.SetText("Client1", "Program", "velorin");
  file.RemoveItem("client0", "program");
  EXPECT_EQ(ReadWhole(path), "[Default]\r\nnum_clients=2\r\n\r\n[Client0]\r\nRestartStyleHint=3\r\n\r\n"
                             "[Client1]\r\nProgram=velorin\r\n\r\n");
  path = "/tmp/dat-rules.ini";
  std::string hostile = "[S]\n" + std::string(5000, 'k') + "=" + std::string(5000, 'v') + "\n" +
                        std::string("a=1\0b=2\n", 8) + std::string(3u << 20, 'z');  // megabytes without a line end
  WriteWhole(path, "[A]\r\na=b=c\r\nnoequals\r\n key = v \r\nK=1\r\nk=2\r\n[B\r\nx=1\r\n[a]\r\nmore=yes\r\n" + hostile);
  LDatFile rules(path.c_str());
  // A repeated key overwrites, a section name without ] ends at the line end, a repeated section continues the first.
  const char* cases[][3] = {
      {"A", "a", "b=c"}, {"A", " key ", " v "}, {"A", "k", "2"}, {"B", "x", "1"}, {"A", "more", "yes"}};
  char out[260];
  for (const auto& c : cases) {
    rules.GetText(c[0], c[1], "", out);
    EXPECT_STREQ(out, c[2]) << c[1];
  }
  rules.SetText("S", "new", std::string(400, 'n').c_str());
  rules.GetText("S", "new", "", out);
  EXPECT_EQ(std::string(out), std::string(259, 'n'));
}

time_t gNow = 0;
std::vector<std::string> gForwarded, gShown;

std::string Row(const char* time, const char* text, unsigned char level)
{
  return std::string(time) + "|" + text + "|" + std::to_string(level);
}

struct RecordingDisplay : LLogDisplay {
  void DisplayStatus(const char* t, const char* s, unsigned char l) override { gShown.push_back(Row(t, s, l)); }
};

// The log's clock is injected (2026-12-05 14:03:07); local time is UTC.
class LogTest : public ::testing::Test {
protected:
  std::string Day(const char* day) { return ReadWhole(std::string("/tmp/logtest/") + day + " Velorin Log.txt"); }
  bool utc_ = setenv("TZ", "UTC", 1) == 0 && (tzset(), gNow = 1796479387, true);
  LLog log_{"/tmp/logtest", [] { return gNow; }};
  RecordingDisplay window_;
};

// Lines reach the window, or else the service's forwarding; formatted forms cut at 511.
TEST_F(LogTest, LinesAreByteExactInTheirDaysFileAndReachTheWindowOrElseTheService)
{
  LSetServiceLogForwarder([](const char* t, const char* s, unsigned char l) { gForwarded.push_back(Row(t, s, l)); });
  log_.Log("to the service", LLogWarning);
  log_.SetLogWindow(window_);
  log_.Log("to the window", LLogInformation);
  log_.LogDisplayOnly("09:08:07", "from the service", LLogError);
  log_.InvalidateLogWindow();
  log_.Log("after detach", LLogPlain);
  LSetServiceLogForwarder(nullptr);
  gNow += 9 * 3600 + 56 * 60 + 52;  // 23:59:59
  log_.Log("only in the file", LLogError);
  ++gNow;
  log_.Log("first of the next", LLogPlain);
  log_.Log(std::string(20000, 'x').c_str(), LLogPlain);
  EXPECT_EQ(gForwarded, (std::vector<std::string>{"14:03:07|to the service|2", "14:03:07|after detach|0"}));
  EXPECT_EQ(Day("2026-12-05"), "14:03:07 to the service\r\n14:03:07 to the window\r\n14:03:07 after detach\r\n"
                               "23:59:59 only in the file\r\n")
      << "display-only lines never reach the file";
  EXPECT_EQ(Day("2026-12-06"), "00:00:00 first of the next\r\n00:00:00 " + std::string(8180, 'x') + "\r\n")
      << "an over-long line is cut to 8191 bytes and still ends";
  gLLog.SetLogWindow(window_);
  LOGF("%s", std::string(600, 'y').c_str());
  LOGERROR("count ", 42);
  LOGINFOF("port %d", 1085);
  gLLog.InvalidateLogWindow();
  for (size_t i = 2; i < gShown.size(); ++i)
    gShown[i] = gShown[i].substr(9);  // the clock's time
  EXPECT_EQ(gShown, (std::vector<std::string>{"14:03:07|to the window|3", "09:08:07|from the service|1",
                                              std::string(511, 'y') + "|0", "count 42|1", "port 1085|3"}));
}

}  // namespace
