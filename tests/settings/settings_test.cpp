#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include "common/files.h"
#include "settings/settings.h"
#include "settings/settingsfile.h"
#include "settings/settingssectionlist.h"

namespace {

const std::string kShared = "/opt/ostrel/velorin/etc/";

TEST(SettingsStore, SectionFilesHoldByteExactLinesAndOnlyWhatWasWritten)
{
  char out[260];
  LSettingGet(VLKeys::LiveName, 3, out);
  EXPECT_EQ(std::string(out) + std::to_string(LSettingGetInt("Settings", "DialUpKBPS", 24)), "24");
  EXPECT_FALSE(Exists(kShared + "settings") || Exists(kShared + "live")) << "reading must not create a section file";
  LSettingSet(VLKeys::LiveName, 2, "Studio");
  EXPECT_EQ(ReadWhole(kShared + "live"), "name2=Studio\r\n");
  LSettingSetInt("Settings", "DialUpKBPS", 32);
  LSettingSetString("settings", "BroadBandKBPS", "64");
  EXPECT_EQ(ReadWhole(kShared + "settings"), "dialupkbps=32\r\nbroadbandkbps=64\r\n");
  EXPECT_EQ(LSettingGetInt("SETTINGS", "dialupkbps", 24), 32) << "section and key in any case";
  // A hand-written mixed-case key is not found and kept beside the new one.
  WriteWhole(kShared + "handwritten", "DialUpKBPS=40\r\n");
  EXPECT_EQ(LSettingGetInt("HandWritten", "DialUpKBPS", 24), 24);
  LSettingSetInt("HandWritten", "DialUpKBPS", 32);
  EXPECT_EQ(ReadWhole(kShared + "handwritten"), "DialUpKBPS=40\r\ndialupkbps=32\r\n");
  // Another process's rewrite is read; a vanished file keeps the cache.
  LSettingSetString("Shared", "mode", "one");
  WriteWhole(kShared + "shared", "mode=three\r\n");
  LSettingGetString("Shared", "mode", "", out);
  EXPECT_STREQ(out, "three");
  unlink((kShared + "shared").c_str());
  LSettingGetString("Shared", "mode", "", out);
  EXPECT_STREQ(out, "three");
}

TEST(SettingsStore, TypedValuesFollowTheTextOnlyAndLongTextIsCutAt259)
{
  char out[260];
  std::string longKey(1000, 'k'), longValue(1000, 'v');
  LSettingSetString("Long", longKey.c_str(), longValue.c_str());
  LSettingGetString("Long", longKey.c_str(), "", out);
  EXPECT_EQ(std::string(out), std::string(259, 'v'));
  EXPECT_EQ(ReadWhole(kShared + "long"), std::string(259, 'k') + "=" + std::string(259, 'v') + "\r\n");
  LSettingGetString("Long", "missing", std::string(600, 'd').c_str(), out);
  EXPECT_EQ(std::string(out), std::string(259, 'd'));
  WriteWhole(kShared + "typed", "b0=0\r\nbno=no\r\nbempty=\r\nnabc=abc\r\nnneg= -12x\r\nnempty=\r\n");
  EXPECT_EQ(std::vector<int>({LSettingGetBool("Typed", "b0", true), LSettingGetBool("Typed", "bno", false),
                              LSettingGetBool("Typed", "bempty", true), LSettingGetInt("Typed", "nabc", 7),
                              LSettingGetInt("Typed", "nneg", 7), LSettingGetInt("Typed", "nempty", 7)}),
            std::vector<int>({false, true, true, 0, -12, 7}));
  LSettingGetString("Typed", "nempty", "dflt", out);
  EXPECT_STREQ(out, "") << "an empty value is present for the string getter";
  LSettingSetBool("Typed", "flag", true);
  LSettingSetBool("Typed", "off", false);
  EXPECT_NE(ReadWhole(kShared + "typed").find("flag=1\r\noff=0\r\n"), std::string::npos);
}

TEST(SettingsParse, LineRulesAndHostileText)
{
  using Entries = std::vector<std::pair<std::string, std::string>>;
  const std::pair<std::string, Entries> cases[] = {
      // Leading equals signs of a value are lost, an empty key drops its line, trailing blanks stay part of the key.
      {"a==x\r\n\r\n   b=1\rc\n\r=z\nd=e\n\rtrail  =  v\r\n",
       {{"a", "x"}, {"b", "1"}, {"c", ""}, {"d", "e"}, {"trail  ", "  v"}}},
      {std::string("a=1\r\nb=2\0c=3\r\nd=4\r\n", 20), {{"a", "1"}, {"b", "2"}}},  // text ends at the first NUL
      {std::string(10u << 20, 'q'), {{std::string(259, 'q'), ""}}},               // 10 MB without a line end
  };
  for (const auto& [text, expected] : cases) {
    std::vector<LSettingsFile::Entry> entries;
    LSettingsFile::Parse(text.data(), text.size(), entries);
    Entries got;
    for (const auto& e : entries)
      got.push_back({e.key, e.value});
    EXPECT_EQ(got, expected) << text.substr(0, 20);
  }
}

TEST(SettingsStore, UserStoreLivesUnderHomeOrElseOpt)
{
  LUserSettingSetInt("MainWindow", "X", 200);
  EXPECT_EQ(ReadWhole(std::string(getenv("HOME")) + "/.ostrel/velorin/mainwindow"), "x=200\r\n");
  EXPECT_EQ(LUserSettingGetInt("mainwindow", "x", 160) + LSettingGetInt("MainWindow", "X", 160), 360)
      << "the stores are separate";
  pid_t child = fork();
  if (child == 0) {
    unsetenv("HOME");
    LUserSettings store;
    store.SetString("Settings", "RunMode", "2");
    _exit(std::string(store.GetFolder()) + ReadWhole("/opt/.ostrel/velorin/settings") ==
                  "/opt/.ostrel/velorinrunmode=2\r\n"
              ? 0
              : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
}

}  // namespace
