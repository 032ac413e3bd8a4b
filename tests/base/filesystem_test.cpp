// Copying, deleting and walking files and folder trees on the test's tmpfs.
#include "base/file.h"
#include "base/folderiterator.h"
#include "base/stringtools.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>

#include "base/filetestutil.h"

namespace {

using Names = std::set<std::string>;

Names Walk(LFile::FolderIteratorAllFiles& it) {
  Names names;
  for (; it; it.Next())
    names.insert(it.GetFile());
  return names;
}

std::string Pattern(size_t n) {
  std::string data;
  for (size_t i = 0; i < n; ++i)
    data += static_cast<char>((i * 7919) >> 3);
  return data;
}

TEST(FileCopy, WholeFilesAndTreesOrAReportedFailure) {
  TempFolder dir;
  auto copy = [&](const std::string& from, const std::string& to) {
    return LFile::CopyFile((dir / from).c_str(), to[0] == '/' ? to.c_str() : (dir / to).c_str());
  };
  const std::string data = Pattern(8192 * 3 + 17);
  ASSERT_TRUE(WriteWhole(dir / "src", data));
  ASSERT_TRUE(WriteWhole(dir / "dst", "stale longer content that must go"));
  EXPECT_TRUE(copy("src", "dst"));
  EXPECT_EQ(ReadWhole(dir / "dst"), data);
  ASSERT_TRUE(WriteWhole(dir / "empty", ""));
  EXPECT_TRUE(copy("empty", "dst"));
  EXPECT_EQ(ReadWhole(dir / "dst"), "");
  // Missing source or target folder, onto itself (directly or through a
  // link), a folder (opens but cannot be read: the target keeps its
  // content), a full device.
  ASSERT_TRUE(WriteWhole(dir / "keep", "keep me"));
  ASSERT_EQ(symlink((dir / "keep").c_str(), (dir / "link").c_str()), 0);
  ASSERT_TRUE(LFile::CreateFolder((dir / "sub").c_str()));
  for (auto [from, to] : {std::pair{"none", "new"}, {"keep", "no/dst"}, {"keep", "keep"}, {"link", "keep"},
                          {"sub", "keep"}, {"keep", "/dev/full"}})
    EXPECT_FALSE(copy(from, to)) << from << " to " << to;
  EXPECT_FALSE(Exists(dir / "new"));
  EXPECT_EQ(ReadWhole(dir / "keep"), "keep me");

  const std::string from = dir / "from";
  for (const char* folder : {"", "/a", "/a/b"})
    ASSERT_TRUE(LFile::CreateFolder((from + folder).c_str()));
  ASSERT_TRUE(WriteWhole(from + "/top.txt", "top"));
  ASSERT_TRUE(WriteWhole(from + "/a/b/deep.bin", Pattern(9000)));
  EXPECT_TRUE(LFile::CopyFolderFiles(from.c_str(), (dir / "to").c_str()));
  EXPECT_EQ(ReadWhole(dir / "to/top.txt") + ReadWhole(dir / "to/a/b/deep.bin"), "top" + Pattern(9000));
  EXPECT_FALSE(LFile::CopyFolderFiles((dir / "missing").c_str(), (dir / "to2").c_str()));
  EXPECT_FALSE(Exists(dir / "to2"));
  EXPECT_FALSE(LFile::CopyFolderFiles(from.c_str(), (dir / "missing/to").c_str()));
}

TEST(FileDelete, TreesButNeverThroughLinksNorEntriesWithOverlongPaths) {
  TempFolder dir;
  const std::string root = dir / "root", outside = dir / "outside";
  for (const std::string& folder : {root, root + "/x", root + "/x/y", outside})
    ASSERT_TRUE(LFile::CreateFolder(folder.c_str()));
  EXPECT_FALSE(LFile::CreateFolder(root.c_str()));
  ASSERT_TRUE(WriteWhole(root + "/x/y/f", "1"));
  ASSERT_TRUE(WriteWhole(outside + "/precious", "keep"));
  ASSERT_EQ(symlink(outside.c_str(), (root + "/link").c_str()), 0);
  EXPECT_FALSE(LFile::DeleteFolder(root.c_str()));
  EXPECT_TRUE(LFile::DeleteFolderTree(root.c_str()));
  ASSERT_TRUE(LFile::CreateFolder(root.c_str()));
  ASSERT_EQ(symlink(outside.c_str(), (root + "/link").c_str()), 0);
  EXPECT_TRUE(LFile::DeleteFolderAndFiles(root.c_str()));
  EXPECT_FALSE(Exists(root));
  EXPECT_EQ(ReadWhole(outside + "/precious"), "keep");
  EXPECT_FALSE(LFile::DeleteFolderTree(""));
  EXPECT_FALSE(LFile::DeleteFolderAndFiles((dir / "missing").c_str()));
  EXPECT_FALSE(LFile::DeleteFile((dir / "missing").c_str(), 100));

  // folder + "/" + 53 characters is exactly 259; a 60-character name cut to
  // 259 would be the name of that sibling.
  const std::string folder = dir.Path() + "/" + std::string(259 - 54 - dir.Path().size() - 1, 'd');
  const std::string fits = folder + "/" + std::string(53, 'e'), tooLong = folder + "/" + std::string(60, 'e');
  ASSERT_TRUE(LFile::CreateFolder(folder.c_str()));
  ASSERT_TRUE(WriteWhole(fits, "fits") && WriteWhole(tooLong, "long"));
  // The copy skips the long name rather than writing it over its sibling.
  const std::string copy = dir.Path() + "/" + std::string(205 - dir.Path().size() - 1, 'c');
  EXPECT_TRUE(LFile::CopyFolderFiles(folder.c_str(), copy.c_str()));
  EXPECT_EQ(ReadWhole(copy + "/" + std::string(53, 'e')), "fits");
  EXPECT_FALSE(LFile::DeleteFolderAndFiles(folder.c_str()));
  EXPECT_FALSE(Exists(fits));
  EXPECT_EQ(ReadWhole(tooLong), "long");
}

TEST(FileSystem, ExistenceSizeTimeAppendAndTempFiles) {
  TempFolder dir;
  const std::string path = dir / "f";
  time_t modified = 0;
  auto state = [&] {
    return std::to_string(LFile::TestFileExists(path.c_str())) + std::to_string(LFile::IsFolder(path.c_str())) +
           std::to_string(LFile::GetFileModifiedTime(modified, path.c_str()) && modified > 0) + " " +
           std::to_string(LFile::GetFileSizeBytes(path.c_str()));
  };
  EXPECT_EQ(state(), "000 0");
  for (const char* part : {"12", "345", ""})
    EXPECT_TRUE(LFile::AppendFile(path.c_str(), part, std::strlen(part), 100));
  EXPECT_EQ(ReadWhole(path), "12345");
  EXPECT_EQ(state(), "101 5");
  EXPECT_FALSE(LFile::AppendFile((dir / "no/log").c_str(), "x", 1, 100));
  EXPECT_TRUE(LFile::IsFolder(dir.Path().c_str()));
  EXPECT_TRUE(LFile::TestFolderWritable(dir.Path().c_str()));
  EXPECT_FALSE(LFile::TestFolderWritable(path.c_str()));
  EXPECT_TRUE(LFile::DeleteFile(path.c_str()));
  EXPECT_FALSE(LFile::DeleteFile(path.c_str()));

  char a[kPathSize], b[kPathSize];
  ASSERT_TRUE(LFile::GetTempFile(a) && LFile::GetTempFile(b));
  EXPECT_STRNE(a, b);
  EXPECT_EQ(std::string(a).substr(0, 6) + " " + std::to_string(std::strlen(a)), "/tmp/0 12");
  EXPECT_TRUE(LFile::TestFileExists(a));
  EXPECT_EQ(LFile::GetFileSizeBytes(a), 0u);
  LFile::DeleteFile(a);
  LFile::DeleteFile(b);
}

TEST(FolderIteration, EntriesFoldersAndPatternsThatIgnoreCase) {
  TempFolder dir;
  for (const char* name : {"a.WAV", "b.wav", "c.mp3", "wav", "d.wav.bak"})
    ASSERT_TRUE(WriteWhole(dir / name, ""));
  ASSERT_TRUE(LFile::CreateFolder((dir / "sub").c_str()));
  ASSERT_EQ(symlink((dir / "sub").c_str(), (dir / "link").c_str()), 0);
  LFile::FolderIteratorAllFiles it(dir.Path().c_str());
  Names names, folders;
  char path[kPathSize];
  for (; it; it.Next()) {
    names.insert(it.GetFile());
    if (it.IsFolder() && !it.IsDotOrDotDot())
      folders.insert(it.GetFile());
    EXPECT_TRUE(it.GetFilePath(path));
    EXPECT_EQ(std::string(path), dir / it.GetFile());
  }
  EXPECT_EQ(names, (Names{".", "..", "a.WAV", "b.wav", "c.mp3", "wav", "d.wav.bak", "sub", "link"}));
  EXPECT_EQ(folders, (Names{"sub"}));
  it.Next(); // the walk stays ended
  EXPECT_FALSE(it);
  EXPECT_STREQ(it.GetFile(), "");
  LFile::FolderIteratorAllFiles missing((dir / "none").c_str());
  EXPECT_FALSE(missing);
  EXPECT_FALSE(missing.Open(std::string(300, 'x').c_str()));

  LFile::FolderIterator wavs(dir.Path().c_str(), "*.wav"), single(dir.Path().c_str(), "?.wav"), mp3;
  EXPECT_TRUE(mp3.Open((dir / "*.MP3").c_str()));
  EXPECT_EQ(Walk(wavs), (Names{"a.WAV", "b.wav"}));
  EXPECT_EQ(Walk(single), (Names{"a.WAV", "b.wav"}));
  EXPECT_EQ(Walk(mp3), (Names{"c.mp3"}));
  EXPECT_FALSE(LFile::FolderIterator(dir.Path().c_str(), "*.flac"));
}

} // namespace
