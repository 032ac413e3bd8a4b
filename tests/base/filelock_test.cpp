// File locks: timed flock, locked opens and the lock files that guard recordings, and reading lines.
// flock locks belong to open files, so a descriptor of the test's own stands for another process.
#include "base/file.h"
#include "base/fileclasses.h"
#include "base/flocktimed.h"
#include "base/lockfile.h"
#include "base/ticks.h"
#include "base/uniquefd.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <thread>
#include <tuple>

#include "common/files.h"
#include "common/waitfor.h"

namespace {

LUniqueFD Locked(const std::string& path, int operation)
{
  LUniqueFD fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return operation == 0 || flock(fd.Get(), operation | LOCK_NB) == 0 ? std::move(fd) : LUniqueFD();
}

TEST(FileLocks, TimedLocksShareReadsWaitForWritesAndShareTestsSeeHolders)
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
    EXPECT_TRUE(LReadFile(path.c_str(), 2000));
    EXPECT_LT(MsSince(start), 1500) << "readers share the lock";
    start = Clock::now();
    EXPECT_TRUE(LWriteFile(path.c_str(), 200).WriteString("new"));
    EXPECT_GE(MsSince(start), 200);
    EXPECT_EQ(ReadWhole(path), "new");
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
  ASSERT_TRUE(WriteWhole(path, "a"));
  std::thread appender;
  {
    LAppendFile holder(path.c_str(), 0);
    appender = std::thread([&] { EXPECT_TRUE(LFile::AppendFile(path.c_str(), "c", 1, 3000)); });
    Sleep(100);
    holder.Seek(0);  // appends go to the end wherever the offset is
    EXPECT_TRUE(holder.WriteString("b"));
  }
  appender.join();
  EXPECT_EQ(ReadWhole(path), "abc");
  EXPECT_FALSE(LReadFile((dir / "none").c_str()) || LSharedReadFile((dir / "none").c_str()) ||
               LReadFile((dir / "no/x").c_str(), 50));
}

TEST(LockFile, OneHolderWhichAloneDeletesTheLockFileThatNeverEmptiesTheGuarded)
{
  TempFolder dir;
  const std::string wav = dir / "Temp3.wav", lck = dir / "Temp3.lck", other = dir / "Temp2.wav";
  LLockFile first, second, refused;
  EXPECT_TRUE(first.Lock(wav.c_str()) && first.IsHeld());
  EXPECT_EQ(std::string(first.GetLockPath()), lck);
  EXPECT_FALSE(refused.Lock(wav.c_str()) || refused.IsHeld());
  refused.Release();
  EXPECT_TRUE(Exists(lck)) << "only the holder deletes the lock file";
  EXPECT_TRUE(second.Lock(other.c_str()));
  EXPECT_FALSE(first.Lock(other.c_str())) << "locking anew releases what the object held";
  EXPECT_TRUE(!Exists(lck) && second.Lock(wav.c_str()) && !Exists(dir / "Temp2.lck"));
  second.Release();
  EXPECT_FALSE(Exists(lck));
  // At the length limit the lock name cannot differ from the guarded name.
  const std::string plain = dir / "noextension";
  const std::string full = dir.Path() + "/" + std::string(259 - dir.Path().size() - 1 - 3, 'n') + ".lc";
  for (const std::string& path : {plain, full}) {
    ASSERT_TRUE(WriteWhole(path, "data"));
    {
      LLockFile lock;
      EXPECT_TRUE(lock.Lock(path.c_str()) && lock.IsHeld() == (path == plain));
      EXPECT_TRUE(path != plain || std::string(lock.GetLockPath()) == plain + ".lck");
    }
    EXPECT_EQ(ReadWhole(path), "data");
  }
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
