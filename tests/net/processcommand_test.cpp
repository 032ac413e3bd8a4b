#include "net/processcommand.h"

#include "base/ticks.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

uint32_t Elapsed(uint32_t start)
{
  return GetTickCount() - start;
}

// A progress interface like the desktop's dialog: it waits on the signal
// itself, records the progress it is shown and can be cancelled.
struct ProgressRecorder {
  bool cancelled = false;
  std::vector<double> progress;
  bool IsToStop() const { return cancelled; }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
  {
    if (cancelled)
      return kProcessStopped;
    return signal.WaitSignal(ms) ? kProcessDone : kProcessFailed;
  }
  void SetProgress(double value) { progress.push_back(value); }
};

// Cancels on the n-th wait.
struct CancelOnWait : ProgressRecorder {
  explicit CancelOnWait(int n) : left(n) {}
  int left;
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
  {
    if (--left <= 0)
      cancelled = true;
    return ProgressRecorder::ProcessWaitSignal(signal, ms);
  }
};

bool Exists(const char* path)
{
  struct stat st;
  return stat(path, &st) == 0;
}

TEST(RunCommandLineProcess, JudgedByExitStatus)
{
  EXPECT_TRUE(RunCommandLineProcess("true"));
  EXPECT_FALSE(RunCommandLineProcess("false"));
  EXPECT_FALSE(RunCommandLineProcess("exit 3"));
  EXPECT_FALSE(RunCommandLineProcess("velorin-no-such-program-here"));
  EXPECT_FALSE(RunCommandLineProcess("kill -TERM $$"));
  EXPECT_FALSE(RunCommandLineProcess(nullptr));
  EXPECT_TRUE(RunCommandLineProcess("touch /tmp/ran && test -f /tmp/ran"));
  EXPECT_TRUE(Exists("/tmp/ran"));
}

TEST(RunCommandLineProcess, StandardInputIsEmpty)
{
  // A command that reads its input must see the end at once, not hang.
  uint32_t start = GetTickCount();
  EXPECT_TRUE(RunCommandLineProcess("cat > /tmp/input && test ! -s /tmp/input"));
  EXPECT_LT(Elapsed(start), 5000u);
}

TEST(ProcessRunCommand, ResultOfFinishedCommand)
{
  ProgressRecorder dialog;
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(dialog, "true", 5000), kProcessDone);
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(dialog, "exit 1", 5000), kProcessFailed);
  // Finished within the first slice: no progress was shown.
  EXPECT_TRUE(dialog.progress.empty());

  // The command's own output is what the caller uses afterwards.
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(dialog, "sleep 0.7; echo done > /tmp/out", 5000),
            kProcessDone);
  EXPECT_TRUE(Exists("/tmp/out"));
  EXPECT_EQ(dialog.progress.size(), 1u);
}

TEST(ProcessRunCommand, TimeOutShowsCreepingProgress)
{
  ProgressRecorder dialog;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(dialog, "sleep 2", 1200), kProcessFailed);
  uint32_t took = Elapsed(start);
  EXPECT_GE(took, 1150u);
  EXPECT_LT(took, 2500u) << "a timed-out command must not be waited for";
  // Slices of 500, 500 and 200 ms.
  ASSERT_EQ(dialog.progress.size(), 3u);
  EXPECT_NEAR(dialog.progress[0], 0.03, 1e-9);
  EXPECT_NEAR(dialog.progress[1], 1 - 0.97 * 0.99, 1e-9);
  EXPECT_NEAR(dialog.progress[2], 1 - 0.97 * 0.99 * 0.99, 1e-9);

  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(dialog, "true", 0), kProcessFailed);
}

TEST(ProcessRunCommand, CancelEndsTheWaitWithoutTheCommand)
{
  CancelOnWait dialog(2);
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(dialog, "sleep 2", 60000), kProcessStopped);
  EXPECT_LT(Elapsed(start), 1500u);
  EXPECT_EQ(dialog.progress.size(), 1u);
}

} // namespace
