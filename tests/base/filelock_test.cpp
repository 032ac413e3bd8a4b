// The file classes against the bytes on disk, and their locks.  flock locks
// belong to open files, so a descriptor of the test's own stands for another
// process.
#include "base/file.h"
#include "base/fileclasses.h"
#include "base/flocktimed.h"
#include "base/lockfile.h"
#include "base/ticks.h"
#include "base/uniquefd.h"

#include <atomic>
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
    EXPECT_EQ(flocktimed(Locked(path, 0).Get(), LOCK_SH, 320), -1);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_GE(MsSince(start), 335);
  }
  seen += blocked();
  LSharedReadWriteFile own(path.c_str());
  EXPECT_EQ(seen + blocked(), "-WW-W");
  ASSERT_TRUE(WriteWhole(path, "a"));
  std::atomic<bool> ready{false};
  std::thread writer([&] {
    LAppendFile file(path.c_str(), 0);
    ready.store(static_cast<bool>(file));
    Sleep(100);
    file.WriteString("b");
  });
  ASSERT_TRUE(Eventually([&] { return ready.load(); }));
  EXPECT_TRUE(LFile::AppendFile(path.c_str(), "c", 1, 3000));
  writer.join();
  EXPECT_EQ(ReadWhole(path), "abc");
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

TEST(FileClasses, BinaryValuesFormattedWritesAndOpenModes)
{
  TempFolder dir;
  const std::string path = dir / "f";
  EXPECT_FALSE(LReadFile(path.c_str()) || LSharedReadFile(path.c_str()) || LReadFile((dir / "no/x").c_str(), 50));
  ASSERT_TRUE(WriteWhole(path, std::string("\x44\x33\x22\x11\xAB", 5)));
  {
    LReadFile in(path.c_str());
    EXPECT_EQ(in.ReadUInt32(), 0x11223344u);
    EXPECT_EQ(in.ReadUInt32() + in.ReadUInt8(), 0u) << "one byte left: a 32-bit read gives 0, then the end";
    EXPECT_TRUE(in.Seek(4) && in.ReadUInt8() == 0xABu);
  }
  {
    LWriteFile out(path.c_str());
    EXPECT_EQ(fprintf(out, "PORT=%d\nNAME=%s %U%%\n", 8000, "a b", "a b"), 26u);
    EXPECT_EQ(out.Tell(), 26u);
  }
  EXPECT_EQ(ReadWhole(path), "PORT=8000\nNAME=a b a%20b%\n");
  {
    LAppendFile a(path.c_str(), 100);
    a.Seek(0);  // appends go to the end wherever the offset is
    EXPECT_TRUE(a.WriteString("+1"));
  }
  EXPECT_EQ(ReadWhole(path).substr(22), "0b%\n+1");
  {
    LReadWriteFile rw(path.c_str(), 100);
    char buf[5] = {};
    EXPECT_TRUE(rw.Read(buf, 4) == 4u && rw.Truncate());
    EXPECT_STREQ(buf, "PORT");
  }
  EXPECT_EQ(ReadWhole(path), "PORT");
}

}  // namespace
