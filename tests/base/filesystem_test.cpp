// Paths in fixed 260-byte buffers, copying, deleting and walking files and
// folder trees on the test's tmpfs, and the open-file limit.
#include "base/file.h"
#include "base/filelimit.h"
#include "base/folderiterator.h"
#include "base/stringtools.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <set>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

#include "common/files.h"

namespace {

using Names = std::set<std::string>;

Names Walk(LFile::FolderIteratorAllFiles&& it)
{
  Names names;
  for (; it; it.Next())
    names.insert(it.GetFile());
  return names;
}

std::string Pattern(size_t n)
{
  std::string data;
  for (size_t i = 0; i < n; ++i)
    data += static_cast<char>((i * 7919) >> 3);
  return data;
}

TEST(FileCopy, WholeFilesAndTreesOrAReportedFailure)
{
  TempFolder dir;
  auto copy = [&](const std::string& from, const std::string& to) {
    return LFile::CopyFile((dir / from).c_str(), to[0] == '/' ? to.c_str() : (dir / to).c_str());
  };
  const std::string data = Pattern(8192 * 3 + 17);
  ASSERT_TRUE(WriteWhole(dir / "src", data) && WriteWhole(dir / "dst", "stale longer content that must go"));
  EXPECT_TRUE(copy("src", "dst"));
  EXPECT_EQ(ReadWhole(dir / "dst"), data);
  // Refused: a folder opens but cannot be read, and the target keeps its content.
  ASSERT_TRUE(WriteWhole(dir / "keep", "keep me") && LFile::CreateFolder((dir / "sub").c_str()));
  ASSERT_EQ(symlink((dir / "keep").c_str(), (dir / "link").c_str()), 0);
  for (auto [from, to] : {std::pair{"none", "new"},
                          {"keep", "no/dst"},
                          {"keep", "keep"},
                          {"link", "keep"},
                          {"sub", "keep"},
                          {"keep", "/dev/full"}})
    EXPECT_FALSE(copy(from, to)) << from << " to " << to;
  EXPECT_FALSE(Exists(dir / "new"));
  EXPECT_EQ(ReadWhole(dir / "keep"), "keep me");

  const std::string from = dir / "from";
  for (const char* folder : {"", "/a", "/a/b"})
    ASSERT_TRUE(LFile::CreateFolder((from + folder).c_str()));
  ASSERT_TRUE(WriteWhole(from + "/top.txt", "") && WriteWhole(from + "/a/b/deep.bin", Pattern(9000)));
  EXPECT_TRUE(LFile::CopyFolderFiles(from.c_str(), (dir / "to").c_str()));
  EXPECT_EQ(ReadWhole(dir / "to/top.txt") + ReadWhole(dir / "to/a/b/deep.bin"), Pattern(9000));
  EXPECT_FALSE(LFile::CopyFolderFiles((dir / "missing").c_str(), (dir / "to2").c_str()) || Exists(dir / "to2"));
  EXPECT_FALSE(LFile::CopyFolderFiles(from.c_str(), (dir / "missing/to").c_str()));
}

TEST(FileSystem, ExistenceSizeAppendAndDeletingTreesButNeverThroughLinks)
{
  TempFolder dir;
  const std::string path = dir / "f", root = dir / "root", outside = dir / "outside";
  time_t modified = 0;
  auto state = [&] {
    return std::to_string(LFile::TestFileExists(path.c_str())) + std::to_string(LFile::IsFolder(path.c_str())) +
           std::to_string(LFile::GetFileModifiedTime(modified, path.c_str()) && modified > 0) + " " +
           std::to_string(LFile::GetFileSizeBytes(path.c_str()));
  };
  EXPECT_EQ(state(), "000 0");
  for (const char* part : {"12", "345", ""})
    EXPECT_TRUE(LFile::AppendFile(path.c_str(), part, std::strlen(part), 100));
  EXPECT_EQ(state() + ReadWhole(path), "101 512345");
  EXPECT_FALSE(LFile::AppendFile((dir / "no/log").c_str(), "x", 1, 100) || LFile::TestFolderWritable(path.c_str()));
  EXPECT_TRUE(LFile::IsFolder(dir.Path().c_str()) && LFile::TestFolderWritable(dir.Path().c_str()));
  EXPECT_TRUE(LFile::DeleteFile(path.c_str()) && !LFile::DeleteFile(path.c_str()));

  for (const std::string& folder : {root, root + "/x", root + "/x/y", outside})
    ASSERT_TRUE(LFile::CreateFolder(folder.c_str()));
  EXPECT_FALSE(LFile::CreateFolder(root.c_str()));
  ASSERT_TRUE(WriteWhole(root + "/x/y/f", "1") && WriteWhole(outside + "/precious", "keep"));
  ASSERT_EQ(symlink(outside.c_str(), (root + "/link").c_str()), 0);
  EXPECT_FALSE(LFile::DeleteFolder(root.c_str()));
  EXPECT_TRUE(LFile::DeleteFolderTree(root.c_str()) && !Exists(root));
  EXPECT_EQ(ReadWhole(outside + "/precious"), "keep");
  EXPECT_FALSE(LFile::DeleteFolderTree(""));
}

TEST(FolderIteration, EntriesFoldersAndPatternsThatIgnoreCase)
{
  TempFolder dir;
  for (const char* name : {"a.WAV", "b.wav", "c.mp3", "wav", "d.wav.bak"})
    ASSERT_TRUE(WriteWhole(dir / name, ""));
  ASSERT_TRUE(LFile::CreateFolder((dir / "sub").c_str()));
  ASSERT_EQ(symlink((dir / "sub").c_str(), (dir / "link").c_str()), 0);
  LFile::FolderIteratorAllFiles it(dir.Path().c_str());
  Names folders;
  char path[kPathSize];
  for (; it; it.Next()) {
    if (it.IsFolder() && !it.IsDotOrDotDot())
      folders.insert(it.GetFile());
    EXPECT_TRUE(it.GetFilePath(path) && std::string(path) == dir / it.GetFile());
  }
  EXPECT_EQ(folders, (Names{"sub"}));
  it.Next();  // the walk stays ended
  EXPECT_FALSE(it || *it.GetFile() != 0);
  EXPECT_EQ(Walk(LFile::FolderIteratorAllFiles(dir.Path().c_str())),
            (Names{".", "..", "a.WAV", "b.wav", "c.mp3", "wav", "d.wav.bak", "sub", "link"}));
  LFile::FolderIterator mp3;
  EXPECT_TRUE(mp3.Open((dir / "*.MP3").c_str()));
  EXPECT_EQ(Walk(std::move(mp3)), (Names{"c.mp3"}));
  EXPECT_EQ(Walk(LFile::FolderIterator(dir.Path().c_str(), "?.wav")), (Names{"a.WAV", "b.wav"}));
  EXPECT_FALSE(LFile::FolderIterator(dir.Path().c_str(), "*.flac") || LFile::FolderIteratorAllFiles("/none"));
}

// "soft/hard" in force in a child that starts from {soft, hard} and raises
// it; "0/0" when the raise reported another limit than the one in force.
std::string RaisedFrom(rlim_t soft, rlim_t hard)
{
  int fds[2];
  if (pipe(fds) != 0)
    return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    rlimit limit{soft, hard};
    const rlim_t reported = setrlimit(RLIMIT_NOFILE, &limit) == 0 ? LRaiseOpenFileLimit() : 0;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || reported != limit.rlim_cur)
      limit = {0, 0};
    _exit(write(fds[1], &limit, sizeof limit) == sizeof limit ? 0 : 1);
  }
  close(fds[1]);
  rlimit result{0, 0};
  (void)!read(fds[0], &result, sizeof result);
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return std::to_string(result.rlim_cur) + "/" + std::to_string(result.rlim_max);
}

TEST(FileLimit, SoftLimitRisesAndALowHardLimitIsLiftedWhenPrivileged)
{
  // Root in a container often may not raise hard limits.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line) && line.rfind("CapEff:", 0) != 0) {
  }
  const bool privileged = line.size() > 7 && (std::stoull(line.substr(7), nullptr, 16) >> CAP_SYS_RESOURCE & 1);
  EXPECT_EQ(RaisedFrom(1024, 4096), privileged ? "65536/65536" : "4096/4096");
  // At its hard limit nothing changes, and a generous one is never lowered.
  rlimit current{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &current), 0);
  const rlim_t top = std::min<rlim_t>(70000, current.rlim_max);
  const std::string same = std::to_string(std::max<rlim_t>(top, privileged ? 65536 : 0));
  EXPECT_EQ(RaisedFrom(top, top), same + "/" + same);
}

using PathOp = char* (*)(char*, const char*);

char* Ext(char* out, const char* path)
{
  return LFile::ApplyNewFileExtension(out, path, ".lck");
}

TEST(FilePath, JoiningTakingApartAndCuttingAt259)
{
  char out[kPathSize + 16];
  EXPECT_STREQ(LFile::MakeFilePath(out, "/opt/ostrel/", "etc"), "/opt/ostrel/etc");
  EXPECT_STREQ(LFile::MakeFilePath(out, "", "etc"), "etc");
  EXPECT_STREQ(LFile::MakeFilePath(out, "/tmp", "Temp3", ".wav"), "/tmp/Temp3.wav");
  // 259 characters are not extended; 257 leave room for "/" and one more.
  for (size_t length : {259u, 257u}) {
    const std::string start(length, 'p');
    tlstrcpy(out, start.c_str());
    LFile::FilePathCat(out, "xyz", ".ext");
    EXPECT_EQ(std::string(out), length == 259 ? start : start + "/x");
  }
  EXPECT_TRUE(LFile::MakeFilePathWhole(out, std::string(253, 'p').c_str(), "12345") && std::strlen(out) == 259u);
  EXPECT_FALSE(LFile::MakeFilePathWhole(out, std::string(253, 'p').c_str(), "123456"));

  const PathOp file = LFile::GetFileFromPath, name = LFile::GetFileNameFromPath, ext = LFile::GetFileExtensionFromPath,
               folder = LFile::GetFolderFromPath;
  const std::tuple<PathOp, const char*, const char*> cases[] = {
      {file, "/home/u/a.b.wav", "a.b.wav"},
      {file, "C:\\music\\x.mp3", "x.mp3"},
      {file, "/folder/", ""},
      {name, "/home/u/.profile", ".profile"},
      {name, "/home/u/a.b.wav", "a.b"},
      {name, "/home/u.v/file", "file"},
      {ext, "/home/u.v/file", ""},
      {ext, "/x/song.MP3", ".MP3"},
      {ext, ".profile", ""},
      {folder, "/file", "/"},
      {folder, "file", ""},
      {folder, "/a/b/c.wav", "/a/b"},
      {Ext, "/tmp/Temp3.wav", "/tmp/Temp3.lck"},
      {Ext, "/a.b/c", "/a.b/c"},
      {Ext, "a.tar.gz", "a.tar.lck"},
  };
  for (auto [op, path, expected] : cases)
    EXPECT_STREQ(op(out, path), expected) << path;
  const std::string longPath = "/" + std::string(400, 'a') + "/" + std::string(300, 'b') + ".ext";
  for (PathOp op :
       {file, name, ext, folder, Ext, PathOp([](char*o, const char*p) { return LFile::MakeFilePath(o, p, "name"); })}) {
    std::memset(out, 'z', sizeof out);
    EXPECT_LE(std::strlen(op(out, longPath.c_str())), 259u);
    EXPECT_EQ(out[kPathSize], 'z');
    EXPECT_TRUE(op != ext || std::string(out) == ".ext") << out;
  }
}

}  // namespace
