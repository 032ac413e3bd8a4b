#include "net/processcommand.h"

#include "net/loopback.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace {

using nettest::Since;

// Like the desktop's progress dialog: waits on the signal itself, records
// the progress shown, and is cancelled on its cancelAt-th wait.
struct Dialog {
  int cancelAt = 0;
  int waits = 0;
  std::vector<double> progress;
  bool IsToStop() const { return cancelAt != 0 && waits >= cancelAt; }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
  {
    if (++waits == cancelAt)
      return kProcessStopped;
    return signal.WaitSignal(ms) ? kProcessDone : kProcessFailed;
  }
  void SetProgress(double value) { progress.push_back(value); }
};

bool Exists(const char* path)
{
  struct stat st;
  return stat(path, &st) == 0;
}

TEST(RunCommand, JudgedByExitStatusWithEmptyInput)
{
  EXPECT_TRUE(RunCommandLineProcess("true"));
  for (const char* failing : {"false", "exit 3", "velorin-no-such-program", "kill -TERM $$"})
    EXPECT_FALSE(RunCommandLineProcess(failing)) << failing;
  // A command reading its input sees the end at once instead of hanging.
  EXPECT_TRUE(RunCommandLineProcess("cat > /tmp/input && test ! -s /tmp/input"));

  Dialog d;
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(d, "exit 1", 5000), kProcessFailed);
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(d, "sleep 0.7; touch /tmp/out", 5000), kProcessDone);
  EXPECT_TRUE(Exists("/tmp/out"));
  EXPECT_EQ(d.progress.size(), 1u) << "one slice without the command";
}

TEST(RunCommand, TimeOutShowsCreepingProgress)
{
  Dialog d;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(d, "sleep 2", 1200), kProcessFailed);
  EXPECT_GE(Since(start), 1150u);
  EXPECT_LT(Since(start), 1900u) << "a timed-out command must not be waited for";
  // Slices of 500, 500 and 200 ms.
  ASSERT_EQ(d.progress.size(), 3u);
  EXPECT_NEAR(d.progress[0], 0.03, 1e-9);
  EXPECT_NEAR(d.progress[2], 1 - 0.97 * 0.99 * 0.99, 1e-9);
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(d, "true", 0), kProcessFailed);
}

TEST(RunCommand, CancelEndsTheWaitWithoutTheCommand)
{
  Dialog d;
  d.cancelAt = 2;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(d, "sleep 2", 60000), kProcessStopped);
  EXPECT_LT(Since(start), 1000u);
}

} // namespace
