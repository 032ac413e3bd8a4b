#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

#include "common/files.h"
#include "settings/datfile.h"
#include "settings/settings.h"
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
  // Leading equals signs of a value are lost, trailing blanks stay part of the key, text ends at the first NUL.
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
  EXPECT_EQ(LUserSettingGetInt("mainwindow", "x", 160) + LSettingGetInt("MainWindow", "X", 160), 360)
      << "the stores are separate";
  const std::string home = getenv("HOME");
  unsetenv("HOME");
  LUserSettings store;
  store.SetString("Settings", "RunMode", "2");
  setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(store.GetFolder() + ReadWhole("/opt/.ostrel/velorin/settings"), "/opt/.ostrel/velorinrunmode=2\r\n");
}

TEST(DatFile, MissingFileGivesDefaultsAndChangesRewriteTheFileAtOnce)
{
  LDatFile missing("/tmp/dat-missing.ini");
  char out[260];
  missing.GetText("Default", "num_clients", "none", out);
  EXPECT_STREQ(out, "none");
  EXPECT_EQ(missing.GetInt("Default", "num_clients", 9), 9);
  missing.RemoveItem("Default", "num_clients");
  EXPECT_FALSE(Exists("/tmp/dat-missing.ini"));

  const std::string path = "/tmp/dat-session.ini";
  WriteWhole(path,
             "ignored=before any section\n[Default]\nnum_clients=1\n\n[Client0]\nRestartStyleHint=3\nProgram=foo\n");
  LDatFile file(path.c_str());
  EXPECT_EQ(file.GetInt("default", "NUM_CLIENTS", 0), 1);
  file.SetInt("Default", "num_clients", 2);  // written at once: the service may be killed before exit
  EXPECT_EQ(ReadWhole(path),
            "[Default]\r\nnum_clients=2\r\n\r\n[Client0]\r\nRestartStyleHint=3\r\nProgram=foo\r\n\r\n");
  file.SetText("Client1", "Program", "velorin");
  file.RemoveItem("client0", "program");
  EXPECT_EQ(ReadWhole(path), "[Default]\r\nnum_clients=2\r\n\r\n[Client0]\r\nRestartStyleHint=3\r\n\r\n"
                             "[Client1]\r\nProgram=velorin\r\n\r\n");
}

TEST(DatFile, LineRulesAndHostileFiles)
{
  const std::string path = "/tmp/dat-rules.ini";
  std::string hostile = "[S]\n" + std::string(5000, 'k') + "=" + std::string(5000, 'v') + "\n" +
                        std::string("a=1\0b=2\n", 8) + std::string(3u << 20, 'z');  // megabytes without a line end
  WriteWhole(path, "[A]\r\na=b=c\r\nnoequals\r\n key = v \r\nK=1\r\nk=2\r\n[B\r\nx=1\r\n[a]\r\nmore=yes\r\n" + hostile);
  LDatFile file(path.c_str());
  // A repeated key overwrites, a section name without ] ends at the line end, a repeated section continues the first.
  const char* cases[][3] = {
      {"A", "a", "b=c"}, {"A", " key ", " v "}, {"A", "k", "2"}, {"B", "x", "1"}, {"A", "more", "yes"}};
  char out[260];
  for (const auto& c : cases) {
    file.GetText(c[0], c[1], "", out);
    EXPECT_STREQ(out, c[2]) << c[1];
  }
  file.GetText("S", std::string(5000, 'k').c_str(), "", out);
  EXPECT_LE(std::string(out).size(), 259u);
  file.SetText("S", "new", std::string(400, 'n').c_str());
  file.GetText("S", "new", "", out);
  EXPECT_EQ(std::string(out), std::string(259, 'n'));
}

}  // namespace
