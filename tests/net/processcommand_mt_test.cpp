#include "net/processcommand.h"

#include "common/files.h"
#include "common/waitfor.h"

#include <gtest/gtest.h>

namespace {

// Like the desktop's progress dialog: waits itself and is cancelled on its cancelAt-th wait.
struct Dialog {
  int cancelAt = 0, waits = 0;
  bool IsToStop() const { return cancelAt != 0 && waits >= cancelAt; }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
  {
    return ++waits == cancelAt ? kProcessStopped : signal.WaitSignal(ms) ? kProcessDone : kProcessFailed;
  }
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
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(d, "sleep 0.7; touch /tmp/out", 5000), kProcessDone);
  EXPECT_TRUE(Exists("/tmp/out"));
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(d, "exit 1", 5000), kProcessFailed);
  // A timed-out or cancelled command is not waited for.
  auto start = Clock::now();
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(d, "exec sleep 60 >/dev/null 2>&1", 1200), kProcessFailed);
  EXPECT_GE(MsSince(start), 1150);
  Dialog cancelled{2};
  EXPECT_EQ(ProcessRunCommandLineProcessWithProgress(cancelled, "exec sleep 60 >/dev/null 2>&1", 60000),
            kProcessStopped);
  EXPECT_LT(MsSince(start), 20000);
}

}  // namespace
