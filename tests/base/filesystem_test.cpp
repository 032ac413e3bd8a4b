#include "base/file.h"
#include "base/folderiterator.h"
#include "base/stringtools.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "base/filetestutil.h"

namespace {

std::set<std::string> Names(LFile::FolderIteratorAllFiles& it)
{
  std::set<std::string> names;
  for (; it; it.Next()) {
    names.insert(it.GetFile());
  }
  return names;
}

std::string Pattern(size_t n)
{
  std::string data;
  for (size_t i = 0; i < n; ++i) {
    data += static_cast<char>((i * 7919) >> 3);
  }
  return data;
}

} // namespace

TEST(FileCopy, CopiesWholeFilesAcrossBlocks)
{
  TempFolder dir;
  std::string data = Pattern(8192 * 3 + 17);
  ASSERT_TRUE(WriteWhole(dir / "src", data));
  ASSERT_TRUE(WriteWhole(dir / "dst", "stale longer content that must go"));
  EXPECT_TRUE(LFile::CopyFile((dir / "src").c_str(), (dir / "dst").c_str()));
  EXPECT_EQ(ReadWhole(dir / "dst"), data);
  ASSERT_TRUE(WriteWhole(dir / "empty", ""));
  EXPECT_TRUE(LFile::CopyFile((dir / "empty").c_str(), (dir / "dst").c_str()));
  EXPECT_EQ(ReadWhole(dir / "dst"), "");
}

TEST(FileCopy, FailuresAreReported)
{
  TempFolder dir;
  ASSERT_TRUE(WriteWhole(dir / "src", "keep me"));
  EXPECT_FALSE(LFile::CopyFile((dir / "none").c_str(), (dir / "dst").c_str()));
  EXPECT_FALSE(Exists(dir / "dst"));
  EXPECT_FALSE(LFile::CopyFile((dir / "src").c_str(), (dir / "no/dst").c_str()));
  // Onto itself, directly or through a link: refused, content intact.
  EXPECT_FALSE(LFile::CopyFile((dir / "src").c_str(), (dir / "src").c_str()));
  ASSERT_EQ(symlink((dir / "src").c_str(), (dir / "link").c_str()), 0);
  EXPECT_FALSE(LFile::CopyFile((dir / "link").c_str(), (dir / "src").c_str()));
  EXPECT_EQ(ReadWhole(dir / "src"), "keep me");
  // A folder opens but cannot be read.
  ASSERT_TRUE(LFile::CreateFolder((dir / "sub").c_str()));
  EXPECT_FALSE(LFile::CopyFile((dir / "sub").c_str(), (dir / "dst").c_str()));
  // A full device: the short write is reported, not hidden.
  if (Exists("/dev/full")) {
    EXPECT_FALSE(LFile::CopyFile((dir / "src").c_str(), "/dev/full"));
  }
}

TEST(FileCopy, FolderTreesAreCopiedRecursively)
{
  TempFolder dir;
  std::string from = dir / "from";
  ASSERT_TRUE(LFile::CreateFolder(from.c_str()));
  ASSERT_TRUE(LFile::CreateFolder((from + "/a").c_str()));
  ASSERT_TRUE(LFile::CreateFolder((from + "/a/b").c_str()));
  ASSERT_TRUE(WriteWhole(from + "/top.txt", "top"));
  ASSERT_TRUE(WriteWhole(from + "/a/b/deep.bin", Pattern(9000)));
  EXPECT_TRUE(LFile::CopyFolderFiles(from.c_str(), (dir / "to").c_str()));
  EXPECT_EQ(ReadWhole(dir / "to/top.txt"), "top");
  EXPECT_EQ(ReadWhole(dir / "to/a/b/deep.bin"), Pattern(9000));
  EXPECT_FALSE(LFile::CopyFolderFiles((dir / "missing").c_str(), (dir / "to2").c_str()));
  EXPECT_FALSE(Exists(dir / "to2"));
  EXPECT_FALSE(LFile::CopyFolderFiles(from.c_str(), (dir / "missing/to").c_str()));
}

TEST(FileDelete, FolderTrees)
{
  TempFolder dir;
  std::string root = dir / "root";
  ASSERT_TRUE(LFile::CreateFolder(root.c_str()));
  EXPECT_FALSE(LFile::CreateFolder(root.c_str()));
  ASSERT_TRUE(LFile::CreateFolder((root + "/x").c_str()));
  ASSERT_TRUE(LFile::CreateFolder((root + "/x/y").c_str()));
  ASSERT_TRUE(WriteWhole(root + "/x/y/f", "1"));
  ASSERT_TRUE(WriteWhole(root + "/g", "2"));
  EXPECT_FALSE(LFile::DeleteFolder(root.c_str()));
  EXPECT_TRUE(LFile::DeleteFolderTree(root.c_str()));
  EXPECT_FALSE(Exists(root));
  EXPECT_FALSE(LFile::DeleteFolderTree(""));
  EXPECT_FALSE(LFile::DeleteFolderAndFiles((dir / "missing").c_str()));
  EXPECT_FALSE(LFile::DeleteFile((dir / "missing").c_str(), 100));
}

TEST(FileDelete, LinksOutOfTheTreeAreNotFollowed)
{
  TempFolder dir;
  std::string outside = dir / "outside";
  ASSERT_TRUE(LFile::CreateFolder(outside.c_str()));
  ASSERT_TRUE(WriteWhole(outside + "/precious", "keep"));
  std::string root = dir / "root";
  ASSERT_TRUE(LFile::CreateFolder(root.c_str()));
  ASSERT_EQ(symlink(outside.c_str(), (root + "/link").c_str()), 0);
  EXPECT_TRUE(LFile::DeleteFolderAndFiles(root.c_str()));
  EXPECT_FALSE(Exists(root));
  EXPECT_EQ(ReadWhole(outside + "/precious"), "keep");
}

TEST(FileDelete, EntriesWithOverlongPathsAreLeftAlone)
{
  // folder + "/" + 53 characters is exactly 259; a 60-character name cut to
  // 259 would be the name of that sibling.
  TempFolder dir;
  std::string folder = dir.Path() + "/" + std::string(259 - 54 - dir.Path().size() - 1, 'd');
  ASSERT_EQ(folder.size(), 205u);
  ASSERT_TRUE(LFile::CreateFolder(folder.c_str()));
  std::string fits = folder + "/" + std::string(53, 'e');
  std::string tooLong = folder + "/" + std::string(60, 'e');
  ASSERT_TRUE(WriteWhole(fits, "fits"));
  ASSERT_TRUE(WriteWhole(tooLong, "long"));
  // The copy skips the long name rather than writing it over its sibling.
  std::string copy = dir.Path() + "/" + std::string(205 - dir.Path().size() - 1, 'c');
  EXPECT_TRUE(LFile::CopyFolderFiles(folder.c_str(), copy.c_str()));
  EXPECT_EQ(ReadWhole(copy + "/" + std::string(53, 'e')), "fits");
  EXPECT_FALSE(LFile::DeleteFolderAndFiles(folder.c_str()));
  EXPECT_FALSE(Exists(fits));
  EXPECT_EQ(ReadWhole(tooLong), "long");
}

TEST(FileSystem, ExistenceSizeTimeAndTempFiles)
{
  TempFolder dir;
  std::string path = dir / "f";
  EXPECT_FALSE(LFile::TestFileExists(path.c_str()));
  EXPECT_EQ(LFile::GetFileSizeBytes(path.c_str()), 0u);
  time_t modified = 0;
  EXPECT_FALSE(LFile::GetFileModifiedTime(modified, path.c_str()));
  ASSERT_TRUE(WriteWhole(path, "12345"));
  EXPECT_TRUE(LFile::TestFileExists(path.c_str()));
  EXPECT_FALSE(LFile::IsFolder(path.c_str()));
  EXPECT_TRUE(LFile::IsFolder(dir.Path().c_str()));
  EXPECT_EQ(LFile::GetFileSizeBytes(path.c_str()), 5u);
  EXPECT_TRUE(LFile::GetFileModifiedTime(modified, path.c_str()));
  EXPECT_GT(modified, 0);
  EXPECT_TRUE(LFile::TestFolderWritable(dir.Path().c_str()));
  EXPECT_FALSE(LFile::TestFolderWritable(path.c_str()));
  EXPECT_TRUE(LFile::DeleteFile(path.c_str()));
  EXPECT_FALSE(LFile::DeleteFile(path.c_str()));

  char a[kPathSize];
  char b[kPathSize];
  ASSERT_TRUE(LFile::GetTempFile(a));
  ASSERT_TRUE(LFile::GetTempFile(b));
  EXPECT_STRNE(a, b);
  EXPECT_EQ(std::strncmp(a, "/tmp/0", 6), 0);
  EXPECT_EQ(std::strlen(a), 12u);
  EXPECT_TRUE(LFile::TestFileExists(a));
  EXPECT_EQ(LFile::GetFileSizeBytes(a), 0u);
  LFile::DeleteFile(a);
  LFile::DeleteFile(b);
}

TEST(FileSystem, AppendFileAddsAtTheEnd)
{
  TempFolder dir;
  std::string path = dir / "log";
  EXPECT_TRUE(LFile::AppendFile(path.c_str(), "ab", 2, 100));
  EXPECT_TRUE(LFile::AppendFile(path.c_str(), "cd", 2, 100));
  EXPECT_TRUE(LFile::AppendFile(path.c_str(), "", 0, 100));
  EXPECT_EQ(ReadWhole(path), "abcd");
  EXPECT_FALSE(LFile::AppendFile((dir / "no/log").c_str(), "x", 1, 100));
}

TEST(FolderIteration, AllEntriesAndFolders)
{
  TempFolder dir;
  ASSERT_TRUE(WriteWhole(dir / "a.WAV", ""));
  ASSERT_TRUE(LFile::CreateFolder((dir / "sub").c_str()));
  ASSERT_EQ(symlink((dir / "sub").c_str(), (dir / "link").c_str()), 0);
  LFile::FolderIteratorAllFiles it(dir.Path().c_str());
  std::set<std::string> folders;
  std::set<std::string> names;
  char path[kPathSize];
  for (; it; it.Next()) {
    names.insert(it.GetFile());
    if (it.IsFolder() && !it.IsDotOrDotDot()) {
      folders.insert(it.GetFile());
    }
    EXPECT_TRUE(it.GetFilePath(path));
    EXPECT_EQ(std::string(path), dir / it.GetFile());
  }
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "a.WAV", "sub", "link"}));
  EXPECT_EQ(folders, (std::set<std::string>{"sub"}));
  // The walk stays ended.
  it.Next();
  EXPECT_FALSE(it);
  EXPECT_STREQ(it.GetFile(), "");

  LFile::FolderIteratorAllFiles missing((dir / "none").c_str());
  EXPECT_FALSE(missing);
  EXPECT_FALSE(missing.Open(std::string(300, 'x').c_str()));
}

TEST(FolderIteration, PatternsIgnoreCase)
{
  TempFolder dir;
  for (const char* name : {"a.WAV", "b.wav", "c.mp3", "wav", "d.wav.bak"}) {
    ASSERT_TRUE(WriteWhole(dir / name, ""));
  }
  LFile::FolderIterator wavs(dir.Path().c_str(), "*.wav");
  EXPECT_EQ(Names(wavs), (std::set<std::string>{"a.WAV", "b.wav"}));

  LFile::FolderIterator mp3;
  EXPECT_TRUE(mp3.Open((dir / "*.MP3").c_str()));
  EXPECT_EQ(Names(mp3), (std::set<std::string>{"c.mp3"}));

  LFile::FolderIterator none(dir.Path().c_str(), "*.flac");
  EXPECT_FALSE(none);
  LFile::FolderIterator single(dir.Path().c_str(), "?.wav");
  EXPECT_EQ(Names(single), (std::set<std::string>{"a.WAV", "b.wav"}));
}
