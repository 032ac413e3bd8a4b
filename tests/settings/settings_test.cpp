#include "settings/settings.h"
#include "settings/settingsfile.h"
#include "settings/settingssectionlist.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string kShared = "/opt/ostrel/velorin/etc/";

// Tests that write section files by hand need the store's folder first.
void MakeSharedFolder()
{
  char folder[260];
  LSettingsGetSharedFolder(folder);
}

std::vector<LSettingsFile::Entry> ParseText(const std::string& text)
{
  std::vector<LSettingsFile::Entry> entries;
  LSettingsFile::Parse(text.data(), text.size(), entries);
  return entries;
}

TEST(SettingsStore, FreshStoreGivesDefaultsAndWritesByteExactLines)
{
  EXPECT_EQ(LSettingGetInt("Settings", "DialUpKBPS", 24), 24);
  EXPECT_FALSE(Exists(kShared + "settings")) << "reading must not create the section file";

  LSettingSetInt("Settings", "DialUpKBPS", 32);
  EXPECT_EQ(ReadWhole(kShared + "settings"), "dialupkbps=32\r\n");
  EXPECT_EQ(LSettingGetInt("SETTINGS", "dialupkbps", 24), 32) << "section and key in any case";

  LSettingSetString("settings", "BroadBandKBPS", "64");
  EXPECT_EQ(ReadWhole(kShared + "settings"), "dialupkbps=32\r\nbroadbandkbps=64\r\n");
}

TEST(SettingsStore, HandWrittenMixedCaseKeyIsNotFoundAndKeptBeside)
{
  MakeSharedFolder();
  WriteWhole(kShared + "handwritten", "DialUpKBPS=40\r\n");
  EXPECT_EQ(LSettingGetInt("HandWritten", "DialUpKBPS", 24), 24);
  LSettingSetInt("HandWritten", "DialUpKBPS", 32);
  EXPECT_EQ(ReadWhole(kShared + "handwritten"), "DialUpKBPS=40\r\ndialupkbps=32\r\n");
}

TEST(SettingsStore, SettingTheSameValueLeavesTheFileUntouched)
{
  LSettingSetString("Same", "key", "value");
  struct stat before, after;
  ASSERT_EQ(stat((kShared + "same").c_str(), &before), 0);
  usleep(20000);
  LSettingSetString("Same", "key", "value");
  ASSERT_EQ(stat((kShared + "same").c_str(), &after), 0);
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
}

TEST(SettingsStore, ReadsAnotherProcessesRewriteAndDeletedFileKeepsCache)
{
  char out[260];
  LSettingSetString("Shared", "mode", "one");
  LSettingGetString("Shared", "mode", "", out);
  EXPECT_STREQ(out, "one");
  WriteWhole(kShared + "shared", "mode=three\r\n");
  LSettingGetString("Shared", "mode", "", out);
  EXPECT_STREQ(out, "three");
  unlink((kShared + "shared").c_str());
  LSettingGetString("Shared", "mode", "", out);
  EXPECT_STREQ(out, "three") << "a vanished file keeps the cached entries";
}

TEST(SettingsStore, TypedDecodingFollowsTheTextOnly)
{
  MakeSharedFolder();
  WriteWhole(kShared + "typed", "b0=0\r\nbno=no\r\nbempty=\r\nnabc=abc\r\nnneg= -12x\r\nnempty=\r\n");
  EXPECT_FALSE(LSettingGetBool("Typed", "b0", true));
  EXPECT_TRUE(LSettingGetBool("Typed", "bno", false));
  EXPECT_TRUE(LSettingGetBool("Typed", "bempty", true));
  EXPECT_EQ(LSettingGetInt("Typed", "nabc", 7), 0);
  EXPECT_EQ(LSettingGetInt("Typed", "nneg", 7), -12);
  EXPECT_EQ(LSettingGetInt("Typed", "nempty", 7), 7);
  char out[260];
  LSettingGetString("Typed", "nempty", "dflt", out);
  EXPECT_STREQ(out, "") << "an empty value is present for the string getter";
  LSettingSetBool("Typed", "flag", true);
  LSettingSetBool("Typed", "off", false);
  EXPECT_NE(ReadWhole(kShared + "typed").find("flag=1\r\noff=0\r\n"), std::string::npos);
}

TEST(SettingsStore, OverLongKeysAndValuesAreCutAt259)
{
  std::string longKey(1000, 'k'), longValue(1000, 'v');
  LSettingSetString("Long", longKey.c_str(), longValue.c_str());
  char out[260];
  LSettingGetString("Long", longKey.c_str(), "", out);
  EXPECT_EQ(std::string(out), std::string(259, 'v'));
  EXPECT_EQ(ReadWhole(kShared + "long"), std::string(259, 'k') + "=" + std::string(259, 'v') + "\r\n");
  std::string longDefault(600, 'd');
  LSettingGetString("Long", "missing", longDefault.c_str(), out);
  EXPECT_EQ(std::string(out), std::string(259, 'd'));
}

TEST(SettingsParse, LineRulesOfTheFileFormat)
{
  auto e = ParseText("a==x\r\n\r\n   b=1\rc\n\r=z\nd=e\n\rtrail  =  v\r\n");
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0].key, "a");
  EXPECT_EQ(e[0].value, "x") << "leading equals signs of a value are lost";
  EXPECT_EQ(e[1].key, "b");
  EXPECT_EQ(e[2].key, "c");
  EXPECT_EQ(e[2].value, "");
  EXPECT_EQ(e[3].key, "d") << "a line with an empty key is dropped";
  EXPECT_EQ(e[4].key, "trail  ") << "trailing blanks stay part of the key";
  EXPECT_EQ(e[4].value, "  v");
}

TEST(SettingsParse, HostileFilesParseWithoutCrash)
{
  auto withNul = ParseText(std::string("a=1\r\nb=2\0c=3\r\nd=4\r\n", 20));
  ASSERT_EQ(withNul.size(), 2u) << "text ends at the first NUL";
  EXPECT_EQ(withNul[1].value, "2");

  auto noLineEnd = ParseText("k=v");
  ASSERT_EQ(noLineEnd.size(), 1u);
  EXPECT_EQ(noLineEnd[0].value, "v");

  std::string big;
  big.reserve(10u << 20);
  while (big.size() < (10u << 20))
    big += "key" + std::to_string(big.size() % 977) + "=" + std::string(300, 'x') + "\n";
  auto many = ParseText(big);
  ASSERT_FALSE(many.empty());
  for (const auto& entry : many)
    ASSERT_LE(entry.value.size(), 259u);

  std::string oneLine(10u << 20, 'q');  // 10 MB without any line end
  auto single = ParseText(oneLine);
  ASSERT_EQ(single.size(), 1u);
  EXPECT_EQ(single[0].key.size(), 259u);
}

TEST(SettingsStore, LargeFileOnDiskIsReadAndRewrittenWhole)
{
  MakeSharedFolder();
  std::string big;
  for (int i = 0; i < 20000; ++i)
    big += "key" + std::to_string(i) + "=" + std::to_string(i * 7) + "\r\n";
  WriteWhole(kShared + "bigsection", big);
  EXPECT_EQ(LSettingGetInt("BigSection", "key19999", -1), 19999 * 7);
  LSettingSetInt("BigSection", "key0", 5);
  EXPECT_EQ(ReadWhole(kShared + "bigsection").size(), big.size());
}

TEST(SettingsStore, UserStoreLivesUnderHome)
{
  LUserSettingSetInt("MainWindow", "X", 200);
  const char* home = getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(ReadWhole(std::string(home) + "/.ostrel/velorin/mainwindow"), "x=200\r\n");
  EXPECT_EQ(LUserSettingGetInt("mainwindow", "x", 160), 200);
  EXPECT_EQ(LSettingGetInt("MainWindow", "X", 160), 160) << "the stores are separate";
}

TEST(SettingsStore, UserStoreWithoutHomeUsesOpt)
{
  pid_t child = fork();
  if (child == 0) {
    unsetenv("HOME");
    LUserSettings store;
    store.SetString("Settings", "RunMode", "2");
    bool ok = std::string(store.GetFolder()) == "/opt/.ostrel/velorin" &&
              ReadWhole("/opt/.ostrel/velorin/settings") == "runmode=2\r\n";
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ConfigKeys, FreshInstallationReadsCatalogueDefaults)
{
  EXPECT_EQ(LSettingGet(VLKeys::BroadBandKBPS), 56);
  EXPECT_EQ(LSettingGet(VLKeys::LiveSources), 1);
  EXPECT_EQ(LSettingGet(VLKeys::RawSampleRate), 44100);
  EXPECT_TRUE(LSettingGet(VLKeys::AutoRun));
  EXPECT_FALSE(LSettingGet(VLKeys::UserAutoRun));
  char out[260];
  LSettingGet(VLKeys::LiveName, 3, out);
  EXPECT_STREQ(out, "");
  LSettingGet(VLKeys::UserMultipleChooser, out);
  EXPECT_STREQ(out, "file:/media");
  EXPECT_FALSE(Exists(kShared + "live"));

  LSettingSet(VLKeys::LiveName, 2, "Studio");
  EXPECT_EQ(ReadWhole(kShared + "live"), "name2=Studio\r\n");
}

}  // namespace
