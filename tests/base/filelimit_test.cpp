// The open-file limit the program raises at start, tried in child
// processes so the test's own limit stays as it was.
#include "base/filelimit.h"

#include <gtest/gtest.h>

#include <fstream>
#include <linux/capability.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs LRaiseOpenFileLimit in a child that starts from {soft, hard};
// returns the child's limit afterwards, {0, 0} when something failed.
rlimit RaisedFrom(rlim_t soft, rlim_t hard)
{
  int fds[2];
  if (pipe(fds) != 0)
    return {0, 0};
  pid_t pid = fork();
  if (pid == 0) {
    rlimit start{soft, hard};
    rlimit after{0, 0};
    if (setrlimit(RLIMIT_NOFILE, &start) == 0) {
      const rlim_t reported = LRaiseOpenFileLimit();
      getrlimit(RLIMIT_NOFILE, &after);
      if (reported != after.rlim_cur)
        after = {0, 0};
    }
    _exit(write(fds[1], &after, sizeof after) == sizeof after ? 0 : 1);
  }
  close(fds[1]);
  rlimit result{0, 0};
  if (read(fds[0], &result, sizeof result) != sizeof result)
    result = {0, 0};
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return result;
}

// Whether this process may raise hard limits (CAP_SYS_RESOURCE); root
// in a container often may not.
bool MayRaiseHardLimits()
{
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("CapEff:", 0) == 0)
      return (std::stoull(line.substr(7), nullptr, 16) >> CAP_SYS_RESOURCE & 1) != 0;
  return false;
}

TEST(FileLimit, SoftLimitRisesAndALowHardLimitIsLiftedWhenPrivileged)
{
  const bool privileged = MayRaiseHardLimits();
  rlimit low = RaisedFrom(1024, 4096);
  EXPECT_EQ(low.rlim_cur, privileged ? 65536u : 4096u);
  EXPECT_EQ(low.rlim_max, privileged ? 65536u : 4096u);

  // A generous hard limit is used as it is, never lowered.
  rlimit current{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &current), 0);
  if (current.rlim_max != RLIM_INFINITY && current.rlim_max > 65536) {
    rlimit high = RaisedFrom(1024, current.rlim_max);
    EXPECT_EQ(high.rlim_cur, current.rlim_max);
    EXPECT_EQ(high.rlim_max, current.rlim_max);
  }
  // Already at its hard limit: nothing changes.
  rlimit same = RaisedFrom(70000 > current.rlim_max ? current.rlim_max : 70000,
                           70000 > current.rlim_max ? current.rlim_max : 70000);
  EXPECT_EQ(same.rlim_cur, same.rlim_max);
  EXPECT_GE(same.rlim_cur, 65536u > current.rlim_max ? current.rlim_max : 65536u);
}

}  // namespace
