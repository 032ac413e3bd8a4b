#include "net/processcommand.h"

#include "base/ticks.h"
#include "common/files.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

uint32_t Since(uint32_t start)
{
  return GetTickCount() - start;
}

// Like the desktop's progress dialog: waits itself, records the progress, and is cancelled on its cancelAt-th wait.
struct Dialog {
  int cancelAt = 0, waits = 0;
  std::vector<double> progress;
  bool IsToStop() const { return cancelAt != 0 && waits >= cancelAt; }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
  {
    return ++waits == cancelAt ? kProcessStopped : signal.WaitSignal(ms) ? kProcessDone : kProcessFailed;
  }
  void SetProgress(double value) { progress.push_back(value); }
};

TEST(RunCommand, ExitStatusEmptyInputTimeOutAndCancel)
{
  EXPECT_TRUE(RunCommandLineProcess("true"));
  for (const char* failing : {"false", "exit 3", "velorin-no-such-program", "kill -TERM $$"})
    EXPECT_FALSE(RunCommandLineProcess(failing)) << failing;
  EXPECT_FALSE(RunCommandLineProcess(nullptr));
  // A command reading its input sees the end at once instead of hanging.
  EXPECT_TRUE(RunCommandLineProcess("cat > /tmp/input && test ! -s /tmp/input"));

  Dialog d;
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(d, "exit 1", 5000), kProcessFailed);
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(d, "sleep 0.7; touch /tmp/out", 5000), kProcessDone);
  EXPECT_TRUE(Exists("/tmp/out"));

  // A timed-out command is not waited for; the progress creeps per slice of 500, 500 and 200 ms.
  Dialog timed;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(timed, "exec sleep 60 >/dev/null 2>&1", 1200), kProcessFailed);
  EXPECT_GE(Since(start), 1150u);
  EXPECT_LT(Since(start), 20000u);
  ASSERT_EQ(timed.progress.size(), 3u);
  EXPECT_NEAR(timed.progress[0], 0.03, 1e-9);
  EXPECT_NEAR(timed.progress[2], 1 - 0.97 * 0.99 * 0.99, 1e-9);
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(timed, "true", 0), kProcessFailed);

  Dialog cancelled;
  cancelled.cancelAt = 2;
  start = GetTickCount();
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(cancelled, "exec sleep 60 >/dev/null 2>&1", 60000),
            kProcessStopped);
  EXPECT_LT(Since(start), 20000u);
}

}  // namespace
