// Files on the test's tmpfs: paths in fixed 260-byte buffers, copying, deleting, walking folder trees,
// reading lines and locks (flock locks belong to open files: a descriptor of the test's own stands for
// another process).
#include "base/file.h"
#include "base/fileclasses.h"
#include "base/flocktimed.h"
#include "base/folderiterator.h"
#include "base/lockfile.h"
#include "base/stringtools.h"
#include "base/ticks.h"
#include "base/uniquefd.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <tuple>
#include <unistd.h>

#include "common/files.h"
#include "common/waitfor.h"

namespace {

using Names = std::set<std::string>;

Names Walk(LFile::FolderIteratorAllFiles&& it)
{
  Names names;
  for (; it; it.Next())
    names.insert(it.GetFile());
  return names;
}

// Copies of whole files, or a reported failure that keeps the target.
TEST(FileSystem, CopyingExistenceSizeAppendAndDeletingTreesButNeverThroughLinks)
{
  TempFolder dir;
  std::string data(8192 * 3 + 17, 0);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>((i * 7919) >> 3);
  auto copy = [&](const std::string& from, const std::string& to) {
    return LFile::CopyFile((dir / from).c_str(), to[0] == '/' ? to.c_str() : (dir / to).c_str());
  };
  ASSERT_TRUE(WriteWhole(dir / "src", data) && WriteWhole(dir / "dst", "stale longer content that must go"));
  EXPECT_TRUE(copy("src", "dst") && ReadWhole(dir / "dst") == data);
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
  EXPECT_EQ(ReadWhole(dir / "keep") + ReadWhole(dir / "new"), "keep me<missing>");

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
  LFile::FolderIteratorAllFiles it((dir / "sub").c_str());
  char path[kPathSize];
  EXPECT_TRUE(it.GetFilePath(path) && std::string(path) == dir / ("sub/" + std::string(it.GetFile())) &&
              it.IsDotOrDotDot());
  EXPECT_EQ(Walk(LFile::FolderIteratorAllFiles(dir.Path().c_str())),
            (Names{".", "..", "a.WAV", "b.wav", "c.mp3", "wav", "d.wav.bak", "sub"}));
  LFile::FolderIterator mp3;
  EXPECT_TRUE(mp3.Open((dir / "*.MP3").c_str()));
  EXPECT_EQ(Walk(std::move(mp3)), (Names{"c.mp3"}));
  EXPECT_EQ(Walk(LFile::FolderIterator(dir.Path().c_str(), "?.wav")), (Names{"a.WAV", "b.wav"}));
  EXPECT_FALSE(LFile::FolderIterator(dir.Path().c_str(), "*.flac") || LFile::FolderIteratorAllFiles("/none"));
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
  for (const std::string& start : {std::string(259, 'p'), std::string(257, 'p')}) {
    tlstrcpy(out, start.c_str());
    EXPECT_EQ(LFile::FilePathCat(out, "xyz", ".ext"), start.size() == 259 ? start : start + "/x");
  }
  EXPECT_TRUE(LFile::MakeFilePathWhole(out, std::string(253, 'p').c_str(), "12345") && std::strlen(out) == 259u);
  EXPECT_FALSE(LFile::MakeFilePathWhole(out, std::string(253, 'p').c_str(), "123456"));

  const PathOp file = LFile::GetFileFromPath, name = LFile::GetFileNameFromPath, ext = LFile::GetFileExtensionFromPath,
               folder = LFile::GetFolderFromPath;
  const std::tuple<PathOp, const char*, const char*> cases[] = {
      {file, "/home/u/a.b.wav", "a.b.wav"},
      {file, "C:\\music\\x.mp3", "x.mp3"},
      {name, "/home/u/.profile", ".profile"},
      {name, "/home/u/a.b.wav", "a.b"},
      {name, "/home/u.v/file", "file"},
      {ext, "/home/u.v/file", ""},
      {ext, "/x/song.MP3", ".MP3"},
      {ext, ".profile", ""},
      {folder, "/file", "/"},
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
    EXPECT_TRUE(std::strlen(op(out, longPath.c_str())) <= 259u && out[kPathSize] == 'z' &&
                (op != ext || std::string(out) == ".ext"))
        << out;
  }
}

LUniqueFD Locked(const std::string& path, int operation)
{
  LUniqueFD fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return operation == 0 || flock(fd.Get(), operation | LOCK_NB) == 0 ? std::move(fd) : LUniqueFD();
}

TEST(FileLocks, TimedLocksShareTestsAndLockFiles)
{
  TempFolder dir;
  const std::string path = dir / "settings";
  auto blocked = [&]() -> std::string { return LFile::TestFileShareWriteBlocked(path.c_str()) ? "W" : "-"; };
  std::string seen = blocked();  // missing file
  ASSERT_TRUE(WriteWhole(path, "held"));
  {
    LUniqueFD holder = Locked(path, LOCK_SH);
    seen += blocked();
    auto start = Clock::now();
    EXPECT_TRUE(LReadFile(path.c_str(), 2000) && MsSince(start) < 1500) << "readers share the lock";
    start = Clock::now();
    EXPECT_TRUE(LWriteFile(path.c_str(), 200).WriteString("new") && MsSince(start) >= 200);
    EXPECT_EQ(ReadWhole(path), "new") << "the write proceeds after its limit";
  }
  {
    LUniqueFD holder = Locked(path, LOCK_EX);
    seen += blocked();
    // 320 ms: pauses of 11, 22, 44, 88 and 176 ms, no try after the last.
    const auto start = Clock::now();
    EXPECT_TRUE(flocktimed(Locked(path, 0).Get(), LOCK_SH, 320) == -1 && errno == EWOULDBLOCK);
    EXPECT_GE(MsSince(start), 335);
  }
  seen += blocked();
  LSharedReadWriteFile own(path.c_str());
  EXPECT_EQ(seen + blocked(), "-WW-W");
  // A lock file has one holder, which alone deletes it, and never empties the file it guards.
  const std::string wav = dir / "Temp3.wav", lck = dir / "Temp3.lck", other = dir / "Temp2.wav";
  LLockFile first, second, refused;
  EXPECT_TRUE(first.Lock(wav.c_str()) && first.IsHeld() && first.GetLockPath() == lck);
  EXPECT_FALSE(refused.Lock(wav.c_str()) || refused.IsHeld());
  refused.Release();
  EXPECT_TRUE(Exists(lck)) << "only the holder deletes the lock file";
  EXPECT_TRUE(second.Lock(other.c_str()));
  EXPECT_FALSE(first.Lock(other.c_str())) << "locking anew releases what the object held";
  EXPECT_TRUE(!Exists(lck) && second.Lock(wav.c_str()) && !Exists(dir / "Temp2.lck"));
  second.Release();
  EXPECT_FALSE(Exists(lck) || LReadFile((dir / "none").c_str()) || LReadFile((dir / "no/x").c_str(), 50));
  const std::string plain = dir / "noextension";
  ASSERT_TRUE(WriteWhole(plain, "data"));
  EXPECT_TRUE(first.Lock(plain.c_str()) && first.IsHeld() && first.GetLockPath() == plain + ".lck");
  first.Release();
  EXPECT_EQ(ReadWhole(plain), "data");
  EXPECT_TRUE(first.Lock((dir / "missing/Temp1.wav").c_str()) && !first.IsHeld());
}

TEST(FileReadLine, LineEndsOfEveryKindAndLongLinesCutButConsumed)
{
  using Lines = std::vector<std::string>;
  const std::string longLine = std::string(300, 'x') + "\r\nnext\r\n";
  const std::tuple<std::string, std::size_t, Lines> cases[] = {
      {"a\r\n\r\nb", kPathSize, {"a", "", "b"}},
      {"a\n\rb\n", kPathSize, {"a", "b"}},
      {"a\n\nb\r\rc", kPathSize, {"a", "", "b", "", "c"}},  // the same end twice is an empty line
      {"a\r", kPathSize, {"a"}},
      {"", kPathSize, {}},
      {"\n", kPathSize, {""}},
      {longLine, kPathSize, {std::string(259, 'x'), "next"}},
      {longLine, 4, {"xxx", "nex"}},
      {longLine, 1, {"", ""}},
  };
  TempFolder dir;
  for (const auto& [text, size, expected] : cases) {
    ASSERT_TRUE(WriteWhole(dir / "lines", text));
    LReadFile file((dir / "lines").c_str());
    Lines lines;
    std::vector<char> buffer(size + 1, 'z');
    while (file.ReadLine(buffer.data(), size) && buffer[size] == 'z')
      lines.emplace_back(buffer.data());
    EXPECT_EQ(lines, expected) << text.substr(0, 12) << " size " << size;
  }
}

}  // namespace
