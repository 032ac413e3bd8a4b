// The file classes against the bytes on disk, and their locks: the timed
// flock, locked opens and the lock files that guard recordings.  flock locks
// belong to open files, so a descriptor of the test's own stands for another
// process.
#include "base/file.h"
#include "base/fileclasses.h"
#include "base/flocktimed.h"
#include "base/lockfile.h"
#include "base/stringtools.h"
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

LUniqueFD OpenRead(const std::string& path)
{
  return LUniqueFD(open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

struct Flock {
  Flock(const std::string& path, int operation) : fd(OpenRead(path)), ok(flock(fd.Get(), operation | LOCK_NB) == 0) {}
  LUniqueFD fd;
  bool ok;
};

TEST(FlockTimed, GivesUpOnScheduleUnlessTheHolderLetsGoForAMoment)
{
  TempFolder dir;
  const std::string path = dir / "f";
  ASSERT_TRUE(WriteWhole(path, "x"));
  {
    Flock holder(path, LOCK_EX);
    ASSERT_TRUE(holder.ok);
    // 320 ms: pauses of 11, 22, 44, 88 and 176 ms, no try after the last.
    const auto start = Clock::now();
    EXPECT_EQ(flocktimed(OpenRead(path).Get(), LOCK_EX, 320), -1);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_GE(MsSince(start), 335);
    EXPECT_LT(MsSince(start), 10000);
    EXPECT_EQ(flocktimed(OpenRead(path).Get(), LOCK_SH, 0), -1);
  }
  // The holder frees the lock for 1 ms in every 10: a waiter that tried only
  // at the ends of its pauses would miss most of those moments.
  std::atomic<bool> stop{false};
  std::thread holder([&] {
    for (LUniqueFD fd = OpenRead(path); !stop.load();) {
      flock(fd.Get(), LOCK_EX);
      usleep(9000);
      flock(fd.Get(), LOCK_UN);
      usleep(1000);
    }
  });
  usleep(50000);
  int failures = 0;
  for (int i = 0; i < 5; ++i)
    failures += flocktimed(OpenRead(path).Get(), LOCK_EX, 1000) != 0;
  stop.store(true);
  holder.join();
  EXPECT_EQ(failures, 0);
}

TEST(FileLocks, OpensShareReadsWaitForWritesAndProceedAfterTheLimit)
{
  TempFolder dir;
  const std::string path = dir / "settings";
  ASSERT_TRUE(WriteWhole(path, "held"));
  {
    Flock holder(path, LOCK_SH);
    ASSERT_TRUE(holder.ok);
    auto start = Clock::now();
    EXPECT_TRUE(LReadFile(path.c_str(), 2000));
    EXPECT_LT(MsSince(start), 1500) << "readers share the lock";
    start = Clock::now();
    EXPECT_TRUE(LWriteFile(path.c_str(), 200).WriteString("new"));
    EXPECT_GE(MsSince(start), 200);
    EXPECT_EQ(ReadWhole(path), "new");
    start = Clock::now();
    EXPECT_TRUE(LWriteFile(path.c_str()));
    EXPECT_LT(MsSince(start), 1000) << "no limit: one try";
    EXPECT_EQ(ReadWhole(path), "");
  }
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

TEST(FileLocks, ShareTestsSeeOtherHoldersAndTheProgramsOwnLocks)
{
  TempFolder dir;
  const std::string path = dir / "f";
  auto blocked = [&]() -> std::string { return LFile::TestFileShareWriteBlocked(path.c_str()) ? "W" : "-"; };
  std::string seen = blocked();  // missing file
  ASSERT_TRUE(WriteWhole(path, "x"));
  seen += " " + blocked();
  for (int operation : {LOCK_SH, LOCK_EX}) {
    Flock holder(path, operation);
    seen += " " + blocked();
  }
  seen += " " + blocked();
  LSharedReadWriteFile own(path.c_str());
  EXPECT_EQ(seen + " " + blocked(), "- - W W - W");
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
  EXPECT_FALSE(Exists(lck));
  EXPECT_TRUE(second.Lock(wav.c_str()));
  EXPECT_FALSE(Exists(dir / "Temp2.lck"));
  second.Release();
  EXPECT_FALSE(Exists(lck));

  // At the length limit the lock name cannot differ from the guarded name.
  const std::string plain = dir / "noextension";
  const std::string full = dir.Path() + "/" + std::string(259 - dir.Path().size() - 1 - 3, 'n') + ".lc";
  for (const std::string& path : {plain, full}) {
    ASSERT_TRUE(WriteWhole(path, "data"));
    {
      LLockFile lock;
      EXPECT_TRUE(lock.Lock(path.c_str()));
      EXPECT_EQ(lock.IsHeld(), path == plain);
      EXPECT_TRUE(path != plain || std::string(lock.GetLockPath()) == plain + ".lck");
    }
    EXPECT_EQ(ReadWhole(path), "data");
  }
  LLockFile unguarded;
  EXPECT_TRUE(unguarded.Lock((dir / "missing/Temp1.wav").c_str()) && !unguarded.IsHeld());
}

using Lines = std::vector<std::string>;

TEST(FileReadLine, LineEndsOfEveryKindAndLongLinesCutButConsumed)
{
  const std::string longLine = std::string(300, 'x') + "\r\nnext\r\n";
  const std::tuple<std::string, std::size_t, Lines> cases[] = {
      {"a\r\n\r\nb", kPathSize, {"a", "", "b"}},
      {"a\n\rb\n", kPathSize, {"a", "b"}},
      // The same line end twice is an empty line, not one line end.
      {"a\n\nb\r\rc", kPathSize, {"a", "", "b", "", "c"}},
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
    // One byte left: a 32-bit read gives 0, then the file has ended.
    EXPECT_EQ(in.ReadUInt32() + in.ReadUInt8(), 0u);
    EXPECT_TRUE(in.Seek(4));
    EXPECT_EQ(in.ReadUInt8(), 0xABu);
    LWriteFileRef wrongWay(in.GetHandle());
    EXPECT_FALSE(wrongWay.Write("x", 1) || wrongWay.WriteString("x"));
  }
  EXPECT_EQ(ReadWhole(path).size(), 5u) << "writes through a handle opened for reading";
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
    time_t modified = 0;
    char buf[5] = {};
    EXPECT_EQ(rw.Read(buf, 4), 4u);
    EXPECT_TRUE(rw.Truncate() && rw.GetFileModifiedTime(modified) && modified > 0);
    EXPECT_STREQ(buf, "PORT");
  }
  EXPECT_EQ(ReadWhole(path), "PORT");
  EXPECT_EQ(LSharedWriteFile(path.c_str()).GetFileSizeBytes(), 0u);
  LFileRef closed;
  char byte;
  EXPECT_FALSE(closed || closed.Truncate());
  EXPECT_EQ(closed._Read(&byte, 1) + closed._Write("x", 1) + closed.Tell() + closed.GetFileSizeBytes(), 0u);
}

}  // namespace
