// Path texts in fixed 260-byte buffers, and the program's fixed folders.
#include "base/file.h"
#include "base/stringtools.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <string>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using PathOp = char* (*)(char*, const char*);

char* Ext(char* out, const char* path) { return LFile::ApplyNewFileExtension(out, path, ".lck"); }

} // namespace

TEST(FilePath, JoiningAndCuttingAt259) {
  char out[kPathSize + 16];
  EXPECT_STREQ(LFile::MakeFilePath(out, "/opt/ostrel/", "etc"), "/opt/ostrel/etc");
  EXPECT_STREQ(LFile::MakeFilePath(out, "/opt/ostrel", "etc"), "/opt/ostrel/etc");
  EXPECT_STREQ(LFile::MakeFilePath(out, "C:\\x\\", "etc"), "C:\\x\\etc");
  EXPECT_STREQ(LFile::MakeFilePath(out, "", "etc"), "etc");
  EXPECT_STREQ(LFile::MakeFilePath(out, "/tmp", "Temp3", ".wav"), "/tmp/Temp3.wav");
  tlstrcpy(out, "/a");
  EXPECT_STREQ(LFile::FilePathCat(out, "b", nullptr), "/a/b");

  std::memset(out, 'z', sizeof out);
  LFile::MakeFilePath(out, std::string(300, 'f').c_str(), "name");
  EXPECT_EQ(std::strlen(out), 259u);
  EXPECT_EQ(out[kPathSize], 'z');
  // 259 characters are not extended; 257 leave room for "/" and one more.
  for (size_t length : {259u, 257u}) {
    const std::string start(length, 'p');
    tlstrcpy(out, start.c_str());
    LFile::FilePathCat(out, "xyz", ".ext");
    EXPECT_EQ(std::string(out), length == 259 ? start : start + "/x");
  }
  EXPECT_TRUE(LFile::MakeFilePathWhole(out, std::string(253, 'p').c_str(), "12345"));
  EXPECT_EQ(std::strlen(out), 259u);
  EXPECT_FALSE(LFile::MakeFilePathWhole(out, std::string(253, 'p').c_str(), "123456"));
}

TEST(FilePath, TakingPathsApart) {
  struct Case {
    PathOp op;
    const char* path;
    const char* expected;
  };
  const PathOp file = LFile::GetFileFromPath, name = LFile::GetFileNameFromPath,
               ext = LFile::GetFileExtensionFromPath, folder = LFile::GetFolderFromPath;
  const Case cases[] = {
      {file, "/home/u/a.b.wav", "a.b.wav"}, {file, "C:\\music\\x.mp3", "x.mp3"}, {file, "plain", "plain"},
      {file, "/folder/", ""}, {name, "/home/u/.profile", ".profile"}, {name, "/home/u/a.b.wav", "a.b"},
      {name, "/home/u.v/file", "file"}, {ext, "/home/u.v/file", ""}, {ext, "/x/song.MP3", ".MP3"},
      {ext, ".profile", ""}, {ext, "a\\b.c\\d", ""}, {folder, "/file", "/"}, {folder, "file", ""},
      {folder, "/a/b/c.wav", "/a/b"}, {folder, "a\\b", "a"}, {Ext, "/tmp/Temp3.wav", "/tmp/Temp3.lck"},
      {Ext, "/tmp/x", "/tmp/x"}, {Ext, "/a.b/c", "/a.b/c"}, {Ext, "a.tar.gz", "a.tar.lck"},
  };
  for (const Case& c : cases) {
    char out[kPathSize];
    EXPECT_STREQ(c.op(out, c.path), c.expected) << c.path;
  }
  // Overlong input is cut in every operation.
  const std::string longPath = "/" + std::string(400, 'a') + "/" + std::string(300, 'b') + ".ext";
  for (PathOp op : {file, name, ext, folder, Ext}) {
    char out[kPathSize + 8];
    std::memset(out, 'z', sizeof out);
    EXPECT_LE(std::strlen(op(out, longPath.c_str())), 259u);
    EXPECT_EQ(out[kPathSize], 'z');
    EXPECT_TRUE(op != ext || std::string(out) == ".ext") << out;
  }
  // In place, and cut when the new extension is longer.
  char path[kPathSize];
  tlstrcpy(path, (std::string(255, 'n') + ".wav").c_str());
  LFile::ApplyNewFileExtension(path, path, ".longer");
  EXPECT_EQ(std::string(path + 255), ".lon");
}

TEST(FileLayout, FixedFoldersAreCreated) {
  char o[kPathSize];
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "<no HOME>";
  const std::pair<std::string, std::string> paths[] = {
      {LFile::GetProgramFolder(o), "/opt/ostrel"}, {LFile::GetProgramFolderApp(o), "/opt/ostrel/velorin"},
      {LFile::GetProgramExecutablePath(o), "/opt/ostrel/velorin/bin/velorin"},
      {LFile::GetHelpFolder(o), "/opt/ostrel/velorin/share/help"},
      {LFile::GetProgramFolderSubFolder(o, "bin"), "/opt/ostrel/velorin/bin"},
      {LFile::GetSharedDataFolderAppSubFolder("Logs", o), "/opt/ostrel/velorin/etc/Logs"},
      {LFile::GetSharedDataFolder(o), "/opt/ostrel/velorin/etc"}, {LFile::GetTempFolder(o), "/tmp"},
      {GetResourcePath(3, o), "/opt/ostrel/velorin/share/3.png"}, {GetResourcePath(-1, o), "/opt/ostrel/velorin/share/-1.png"},
      {LFile::GetUserDataFolderApp(o), home + "/.ostrel/velorin"},
      {LFile::GetUserDataFolderAppSubFolder("sub", o), home + "/.ostrel/velorin/sub"},
  };
  for (const auto& [path, expected] : paths)
    EXPECT_EQ(path, expected);
  for (const char* folder : {"/opt/ostrel/velorin", "/opt/ostrel/velorin/etc/Logs"})
    EXPECT_TRUE(LFile::IsFolder(folder)) << folder;
  EXPECT_TRUE(LFile::IsFolder((home + "/.ostrel/velorin/sub").c_str()));
  EXPECT_FALSE(LFile::IsFolder("/opt/ostrel/velorin/share/help"));
  char out[kPathSize];

  // Components are found by folder; a plain file of that name is none.
  EXPECT_FALSE(GetComponentPath("nosuchcomponent", out));
  LFile::CreateFolder("/opt/ostrel/components");
  ASSERT_TRUE(LFile::CreateFolder("/opt/ostrel/components/testcomp"));
  ASSERT_TRUE(GetComponentPath("testcomp", out));
  EXPECT_STREQ(out, "/opt/ostrel/components/testcomp/testcomp");
  close(open("/opt/ostrel/components/plainfile", O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
  EXPECT_FALSE(GetComponentPath("plainfile", out));
}

TEST(FileLayout, UserFolderWithoutHome) {
  // Only the child loses HOME; it reports through its exit status.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    unsetenv("HOME");
    char out[kPathSize];
    bool ok = std::strcmp(LFile::GetUserDataFolder(out), "/opt") == 0;
    // Folders are made under /opt only when it is the test's private tmpfs.
    struct statfs fs;
    if (statfs("/opt", &fs) == 0 && fs.f_type == TMPFS_MAGIC)
      ok = ok && std::strcmp(LFile::GetUserDataFolderApp(out), "/opt/.ostrel/velorin") == 0 && LFile::IsFolder(out);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
