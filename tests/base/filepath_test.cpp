#include "base/file.h"
#include "base/stringtools.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <linux/magic.h>

#include <gtest/gtest.h>

namespace {

std::string Apply(char* (*op)(char*, const char*), const char* path)
{
  char out[kPathSize];
  return op(out, path);
}

} // namespace

TEST(FilePath, JoiningFolderAndName)
{
  char out[kPathSize];
  EXPECT_STREQ(LFile::MakeFilePath(out, "/opt/ostrel/", "etc"), "/opt/ostrel/etc");
  EXPECT_STREQ(LFile::MakeFilePath(out, "/opt/ostrel", "etc"), "/opt/ostrel/etc");
  EXPECT_STREQ(LFile::MakeFilePath(out, "C:\\x\\", "etc"), "C:\\x\\etc");
  EXPECT_STREQ(LFile::MakeFilePath(out, "", "etc"), "etc");
  EXPECT_STREQ(LFile::MakeFilePath(out, "/tmp", "Temp3", ".wav"), "/tmp/Temp3.wav");
  tlstrcpy(out, "/a");
  EXPECT_STREQ(LFile::FilePathCat(out, "b", nullptr), "/a/b");
}

TEST(FilePath, JoiningCutsAt259AndNeverOverflows)
{
  char out[kPathSize + 16];
  std::memset(out, 'z', sizeof out);
  std::string longFolder(300, 'f');
  LFile::MakeFilePath(out, longFolder.c_str(), "name");
  EXPECT_EQ(std::strlen(out), 259u);
  EXPECT_EQ(out[kPathSize], 'z');

  // A path that already holds 259 characters is not extended.
  std::string full(259, 'p');
  tlstrcpy(out, full.c_str());
  LFile::FilePathCat(out, "more", ".ext");
  EXPECT_EQ(std::string(out), full);

  // 257 characters: room for the separator and one more.
  std::string nearly(257, 'p');
  tlstrcpy(out, nearly.c_str());
  LFile::FilePathCat(out, "xyz");
  EXPECT_EQ(std::string(out), nearly + "/x");

  EXPECT_TRUE(LFile::MakeFilePathWhole(out, std::string(253, 'p').c_str(), "12345"));
  EXPECT_EQ(std::strlen(out), 259u);
  EXPECT_FALSE(LFile::MakeFilePathWhole(out, std::string(253, 'p').c_str(), "123456"));
}

TEST(FilePath, TakingPathsApart)
{
  EXPECT_EQ(Apply(LFile::GetFileFromPath, "/home/u/a.b.wav"), "a.b.wav");
  EXPECT_EQ(Apply(LFile::GetFileFromPath, "C:\\music\\x.mp3"), "x.mp3");
  EXPECT_EQ(Apply(LFile::GetFileFromPath, "plain"), "plain");
  EXPECT_EQ(Apply(LFile::GetFileFromPath, "/folder/"), "");

  EXPECT_EQ(Apply(LFile::GetFileNameFromPath, "/home/u/.profile"), ".profile");
  EXPECT_EQ(Apply(LFile::GetFileNameFromPath, "/home/u/a.b.wav"), "a.b");
  EXPECT_EQ(Apply(LFile::GetFileNameFromPath, "/home/u.v/file"), "file");

  EXPECT_EQ(Apply(LFile::GetFileExtensionFromPath, "/home/u.v/file"), "");
  EXPECT_EQ(Apply(LFile::GetFileExtensionFromPath, "/x/song.MP3"), ".MP3");
  EXPECT_EQ(Apply(LFile::GetFileExtensionFromPath, ".profile"), "");
  EXPECT_EQ(Apply(LFile::GetFileExtensionFromPath, "a\\b.c\\d"), "");

  EXPECT_EQ(Apply(LFile::GetFolderFromPath, "/file"), "/");
  EXPECT_EQ(Apply(LFile::GetFolderFromPath, "file"), "");
  EXPECT_EQ(Apply(LFile::GetFolderFromPath, "/a/b/c.wav"), "/a/b");
  EXPECT_EQ(Apply(LFile::GetFolderFromPath, "a\\b"), "a");
}

TEST(FilePath, ReplacingExtensions)
{
  char out[kPathSize];
  EXPECT_STREQ(LFile::ApplyNewFileExtension(out, "/tmp/Temp3.wav", ".lck"), "/tmp/Temp3.lck");
  EXPECT_STREQ(LFile::ApplyNewFileExtension(out, "/tmp/x", ".lck"), "/tmp/x");
  EXPECT_STREQ(LFile::ApplyNewFileExtension(out, "/a.b/c", ".lck"), "/a.b/c");
  EXPECT_STREQ(LFile::ApplyNewFileExtension(out, "a.tar.gz", ".zip"), "a.tar.zip");

  // In place, and cut when the new extension is longer.
  char path[kPathSize];
  std::string longName(255, 'n');
  longName += ".wav";
  tlstrcpy(path, longName.c_str());
  LFile::ApplyNewFileExtension(path, path, ".longer");
  EXPECT_EQ(std::strlen(path), 259u);
  EXPECT_EQ(std::string(path + 255), ".lon");
}

TEST(FilePath, OverlongInputsAreCutInEveryOperation)
{
  std::string longPath = "/" + std::string(400, 'a') + "/" + std::string(300, 'b') + ".ext";
  char out[kPathSize + 8];
  auto check = [&](char* result) {
    EXPECT_LE(std::strlen(result), 259u);
    EXPECT_EQ(out[kPathSize], 'z');
  };
  std::memset(out, 'z', sizeof out);
  check(LFile::GetFileFromPath(out, longPath.c_str()));
  check(LFile::GetFileNameFromPath(out, longPath.c_str()));
  check(LFile::GetFileExtensionFromPath(out, longPath.c_str()));
  EXPECT_STREQ(out, ".ext");
  check(LFile::GetFolderFromPath(out, longPath.c_str()));
  check(LFile::ApplyNewFileExtension(out, longPath.c_str(), ".lck"));
}

TEST(FileLayout, FixedFoldersAreCreated)
{
  char out[kPathSize];
  EXPECT_STREQ(LFile::GetProgramFolder(out), "/opt/ostrel");
  EXPECT_STREQ(LFile::GetProgramFolderApp(out), "/opt/ostrel/velorin");
  EXPECT_TRUE(LFile::IsFolder(out));
  EXPECT_STREQ(LFile::GetProgramExecutablePath(out), "/opt/ostrel/velorin/bin/velorin");
  EXPECT_STREQ(LFile::GetHelpFolder(out), "/opt/ostrel/velorin/share/help");
  EXPECT_FALSE(LFile::IsFolder(out));
  EXPECT_STREQ(LFile::GetProgramFolderSubFolder(out, "bin"), "/opt/ostrel/velorin/bin");
  EXPECT_STREQ(LFile::GetSharedDataFolderAppSubFolder("Logs", out), "/opt/ostrel/velorin/etc/Logs");
  EXPECT_TRUE(LFile::IsFolder(out));
  EXPECT_STREQ(LFile::GetSharedDataFolder(out), "/opt/ostrel/velorin/etc");
  EXPECT_STREQ(LFile::GetTempFolder(out), "/tmp");
  EXPECT_STREQ(GetResourcePath(3, out), "/opt/ostrel/velorin/share/3.png");
  EXPECT_STREQ(GetResourcePath(-1, out), "/opt/ostrel/velorin/share/-1.png");

  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(std::string(LFile::GetUserDataFolderApp(out)), std::string(home) + "/.ostrel/velorin");
  EXPECT_TRUE(LFile::IsFolder(out));
  LFile::GetUserDataFolderAppSubFolder("sub", out);
  EXPECT_TRUE(LFile::IsFolder(out));
}

TEST(FileLayout, UserFolderWithoutHome)
{
  // Only the child loses HOME; it reports through its exit status.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    unsetenv("HOME");
    char out[kPathSize];
    bool ok = std::strcmp(LFile::GetUserDataFolder(out), "/opt") == 0;
    // Only create folders under /opt when it is the test's private tmpfs.
    struct statfs fs;
    if (statfs("/opt", &fs) == 0 && fs.f_type == TMPFS_MAGIC) {
      ok = ok && std::strcmp(LFile::GetUserDataFolderApp(out), "/opt/.ostrel/velorin") == 0 && LFile::IsFolder(out);
    }
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(FileLayout, ComponentsAreFoundByFolder)
{
  char out[kPathSize];
  EXPECT_FALSE(GetComponentPath("nosuchcomponent", out));
  LFile::GetProgramFolder(out);
  LFile::CreateFolder("/opt/ostrel/components");
  ASSERT_TRUE(LFile::CreateFolder("/opt/ostrel/components/testcomp"));
  ASSERT_TRUE(GetComponentPath("testcomp", out));
  EXPECT_STREQ(out, "/opt/ostrel/components/testcomp/testcomp");
  // A plain file of that name is not a component folder.
  close(open("/opt/ostrel/components/plainfile", O_CREAT | O_WRONLY, 0644));
  EXPECT_FALSE(GetComponentPath("plainfile", out));
}
