#include "base/fileclasses.h"
#include "base/file.h"
#include "base/flocktimed.h"
#include "base/lockfile.h"
#include "base/ticks.h"

#include <cerrno>
#include <functional>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/filetestutil.h"

namespace {

// Runs body in a forked child that holds some lock for the test.  The child
// calls Ready(ok) once its lock is taken and then WaitRelease(), which
// returns when the test releases it; the child then leaves its scope
// normally, so its destructors (lock release) run before it exits.
class LockHolder {
public:
  class Child {
  public:
    Child(int ready, int release) : ready_(ready), release_(release) {}
    void Ready(bool ok)
    {
      char c = ok ? '1' : '0';
      (void)!write(ready_, &c, 1);
    }
    void WaitRelease()
    {
      char c;
      (void)!read(release_, &c, 1);
    }

  private:
    int ready_;
    int release_;
  };

  explicit LockHolder(const std::function<void(Child&)>& body)
  {
    int ready[2];
    int release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) {
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release[1]);
      {
        Child child(ready[1], release[0]);
        body(child);
      }
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char c = '0';
    ok_ = read(ready[0], &c, 1) == 1 && c == '1';
    close(ready[0]);
  }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  ~LockHolder() { Release(); }

  bool Ok() const { return ok_; }
  // Lets the child go and waits until it has ended.
  void Release()
  {
    if (release_ >= 0) {
      close(release_);
      release_ = -1;
    }
    if (pid_ > 0) {
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
  }

private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool ok_ = false;
};

// A child holding a plain flock on path until released.
LockHolder HoldFlock(const std::string& path, int operation)
{
  return LockHolder([path, operation](LockHolder::Child& child) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    child.Ready(fd >= 0 && flock(fd, operation | LOCK_NB) == 0);
    child.WaitRelease();
  });
}

uint32_t Since(uint32_t start)
{
  return GetTickCount() - start;
}

} // namespace

TEST(FlockTimed, GivesUpOnSchedule)
{
  TempFolder dir;
  std::string path = dir / "f";
  ASSERT_TRUE(WriteWhole(path, "x"));
  auto holder = HoldFlock(path, LOCK_EX);
  ASSERT_TRUE(holder.Ok());
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  // 320 ms: pauses 11, 22, 44, 88, 176 ms, giving up at about 341 ms
  // without a try after the last pause.
  uint32_t start = GetTickCount();
  EXPECT_EQ(flocktimed(fd, LOCK_EX, 320), -1);
  EXPECT_EQ(errno, EWOULDBLOCK);
  uint32_t elapsed = Since(start);
  EXPECT_GE(elapsed, 335u);
  EXPECT_LT(elapsed, 900u);
  EXPECT_EQ(flocktimed(fd, LOCK_SH, 0), -1);
  close(fd);
}

TEST(FlockTimed, TakesTheLockSoonAfterRelease)
{
  TempFolder dir;
  std::string path = dir / "f";
  ASSERT_TRUE(WriteWhole(path, "x"));
  LockHolder holder([path](LockHolder::Child& child) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    child.Ready(fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0);
    Sleep(150);
  });
  ASSERT_TRUE(holder.Ok());
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  uint32_t start = GetTickCount();
  // The lock is free about 150 ms after the holder was ready.
  EXPECT_EQ(flocktimed(fd, LOCK_EX, 2000), 0);
  uint32_t elapsed = Since(start);
  EXPECT_GE(elapsed, 80u);
  EXPECT_LT(elapsed, 600u);
  close(fd);
}

TEST(FlockTimed, IsNotStarvedByAHolderThatRelocksAtOnce)
{
  TempFolder dir;
  std::string path = dir / "busy";
  ASSERT_TRUE(WriteWhole(path, "x"));
  // A child that holds the lock nine tenths of the time, releasing it for a
  // moment every 9 ms, for two seconds.  A waiter that tries only at the
  // ends of its pauses would miss most of those moments.
  pid_t child = fork();
  if (child == 0) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    uint32_t start = GetTickCount();
    while (GetTickCount() - start < 2000) {
      flock(fd, LOCK_EX);
      usleep(9000);
      flock(fd, LOCK_UN);
      usleep(1000);
    }
    _exit(0);
  }
  usleep(50000);
  int failures = 0;
  for (int i = 0; i < 5; ++i) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (flocktimed(fd, LOCK_EX, 1000) != 0)
      ++failures;
    close(fd);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(failures, 0);
}

TEST(FlockTimed, OtherErrorsEndAtOnce)
{
  uint32_t start = GetTickCount();
  EXPECT_EQ(flocktimed(-1, LOCK_EX, 5000), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_LT(Since(start), 100u);
}

TEST(FileLocks, OpensProceedWithoutTheLockAfterTheTimeLimit)
{
  TempFolder dir;
  std::string path = dir / "settings";
  ASSERT_TRUE(WriteWhole(path, "held"));
  auto holder = HoldFlock(path, LOCK_SH);
  ASSERT_TRUE(holder.Ok());

  // Readers share the lock with the holder.
  uint32_t start = GetTickCount();
  {
    LReadFile reader(path.c_str(), 2000);
    EXPECT_TRUE(reader);
    EXPECT_LT(Since(start), 100u);
  }

  start = GetTickCount();
  {
    LWriteFile writer(path.c_str(), 200);
    EXPECT_GE(Since(start), 200u);
    ASSERT_TRUE(writer);
    EXPECT_TRUE(writer.WriteString("new"));
  }
  EXPECT_EQ(ReadWhole(path), "new");

  start = GetTickCount();
  {
    LWriteFile once(path.c_str());
    EXPECT_TRUE(once);
    EXPECT_LT(Since(start), 100u);
  }
  EXPECT_EQ(ReadWhole(path), "");
}

TEST(FileLocks, AppendWaitsForTheWriter)
{
  TempFolder dir;
  std::string path = dir / "log";
  ASSERT_TRUE(WriteWhole(path, "a"));
  LockHolder holder([path](LockHolder::Child& child) {
    LAppendFile file(path.c_str(), 0);
    child.Ready(static_cast<bool>(file));
    Sleep(100);
    file.WriteString("b");
  });
  ASSERT_TRUE(holder.Ok());
  EXPECT_TRUE(LFile::AppendFile(path.c_str(), "c", 1, 3000));
  EXPECT_EQ(ReadWhole(path), "abc");
}

TEST(FileLocks, ShareTests)
{
  TempFolder dir;
  std::string path = dir / "f";
  EXPECT_FALSE(LFile::TestFileShareReadBlocked(path.c_str()));
  EXPECT_FALSE(LFile::TestFileShareWriteBlocked(path.c_str()));
  ASSERT_TRUE(WriteWhole(path, "x"));
  EXPECT_FALSE(LFile::TestFileShareReadBlocked(path.c_str()));
  EXPECT_FALSE(LFile::TestFileShareWriteBlocked(path.c_str()));
  {
    auto shared = HoldFlock(path, LOCK_SH);
    ASSERT_TRUE(shared.Ok());
    EXPECT_FALSE(LFile::TestFileShareReadBlocked(path.c_str()));
    EXPECT_TRUE(LFile::TestFileShareWriteBlocked(path.c_str()));
  }
  {
    auto exclusive = HoldFlock(path, LOCK_EX);
    ASSERT_TRUE(exclusive.Ok());
    EXPECT_TRUE(LFile::TestFileShareReadBlocked(path.c_str()));
    EXPECT_TRUE(LFile::TestFileShareWriteBlocked(path.c_str()));
  }
  EXPECT_FALSE(LFile::TestFileShareWriteBlocked(path.c_str()));
  // The program's own classes take the locks the tests look for.
  LSharedReadWriteFile sharedFile(path.c_str());
  EXPECT_TRUE(LFile::TestFileShareWriteBlocked(path.c_str()));
  EXPECT_FALSE(LFile::TestFileShareReadBlocked(path.c_str()));
}

TEST(LockFile, HeldByAnotherProcess)
{
  TempFolder dir;
  std::string wav = dir / "Temp3.wav";
  std::string lck = dir / "Temp3.lck";
  LockHolder holder([wav](LockHolder::Child& child) {
    LLockFile lock;
    child.Ready(lock.Lock(wav.c_str()) && lock.IsHeld());
    child.WaitRelease();
  });
  ASSERT_TRUE(holder.Ok());
  ASSERT_TRUE(Exists(lck));
  {
    LLockFile mine;
    EXPECT_FALSE(mine.Lock(wav.c_str()));
    EXPECT_FALSE(mine.IsHeld());
  }
  // Only the holder deletes the lock file.
  EXPECT_TRUE(Exists(lck));
  holder.Release();
  EXPECT_FALSE(Exists(lck));

  LLockFile mine;
  EXPECT_TRUE(mine.Lock(wav.c_str()));
  EXPECT_TRUE(mine.IsHeld());
  EXPECT_EQ(std::string(mine.GetLockPath()), lck);
  mine.Release();
  EXPECT_FALSE(Exists(lck));
}

TEST(LockFile, ObjectsInOneProcessExcludeEachOther)
{
  TempFolder dir;
  std::string a = dir / "Temp1.wav";
  std::string b = dir / "Temp2.wav";
  LLockFile first;
  LLockFile second;
  EXPECT_TRUE(first.Lock(a.c_str()));
  EXPECT_FALSE(second.Lock(a.c_str()));
  EXPECT_TRUE(second.Lock(b.c_str()));
  // Locking anew releases what the object held before.
  EXPECT_FALSE(first.Lock(b.c_str()));
  EXPECT_FALSE(Exists(dir / "Temp1.lck"));
  EXPECT_TRUE(second.Lock(a.c_str()));
  EXPECT_FALSE(Exists(dir / "Temp2.lck"));
}

TEST(LockFile, NeverEmptiesTheGuardedFile)
{
  TempFolder dir;
  std::string plain = dir / "noextension";
  ASSERT_TRUE(WriteWhole(plain, "data"));
  {
    LLockFile lock;
    EXPECT_TRUE(lock.Lock(plain.c_str()));
    EXPECT_EQ(std::string(lock.GetLockPath()), plain + ".lck");
  }
  EXPECT_EQ(ReadWhole(plain), "data");

  // At the length limit the lock name cannot differ from the guarded name.
  std::string full = dir.Path() + "/" + std::string(259 - dir.Path().size() - 1 - 3, 'n') + ".lc";
  ASSERT_EQ(full.size(), 259u);
  ASSERT_TRUE(WriteWhole(full, "data"));
  {
    LLockFile lock;
    EXPECT_TRUE(lock.Lock(full.c_str()));
    EXPECT_FALSE(lock.IsHeld());
  }
  EXPECT_EQ(ReadWhole(full), "data");

  // No lock file can be made: the caller goes on unguarded.
  LLockFile unguarded;
  EXPECT_TRUE(unguarded.Lock((dir / "missing/Temp1.wav").c_str()));
  EXPECT_FALSE(unguarded.IsHeld());
}
