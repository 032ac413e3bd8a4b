// The open-file limit the program raises at start, tried in child
// processes so the test's own limit stays as it was.
#include "base/filelimit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <linux/capability.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The limit of a child that starts from {soft, hard} and raises it; {0, 0}
// when something failed or the reported limit is not the one in force.
rlimit RaisedFrom(rlim_t soft, rlim_t hard) {
  int fds[2];
  if (pipe(fds) != 0)
    return {0, 0};
  pid_t pid = fork();
  if (pid == 0) {
    rlimit limit{soft, hard};
    const bool set = setrlimit(RLIMIT_NOFILE, &limit) == 0;
    const rlim_t reported = set ? LRaiseOpenFileLimit() : 0;
    if (!set || getrlimit(RLIMIT_NOFILE, &limit) != 0 || reported != limit.rlim_cur)
      limit = {0, 0};
    _exit(write(fds[1], &limit, sizeof limit) == sizeof limit ? 0 : 1);
  }
  close(fds[1]);
  rlimit result{0, 0};
  if (read(fds[0], &result, sizeof result) != sizeof result)
    result = {0, 0};
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return result;
}

// Whether this process may raise hard limits (root in a container often may not).
bool MayRaiseHardLimits() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("CapEff:", 0) == 0)
      return (std::stoull(line.substr(7), nullptr, 16) >> CAP_SYS_RESOURCE & 1) != 0;
  return false;
}

TEST(FileLimit, SoftLimitRisesAndALowHardLimitIsLiftedWhenPrivileged) {
  const rlim_t low = MayRaiseHardLimits() ? 65536u : 4096u;
  rlimit raised = RaisedFrom(1024, 4096);
  EXPECT_EQ(raised.rlim_cur, low);
  EXPECT_EQ(raised.rlim_max, low);
  rlimit current{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &current), 0);
  // A generous hard limit is used as it is, never lowered.
  if (current.rlim_max != RLIM_INFINITY && current.rlim_max > 65536) {
    rlimit high = RaisedFrom(1024, current.rlim_max);
    EXPECT_EQ(high.rlim_cur, current.rlim_max);
    EXPECT_EQ(high.rlim_max, current.rlim_max);
  }
  // Already at its hard limit: nothing changes.
  const rlim_t top = std::min<rlim_t>(70000, current.rlim_max);
  rlimit same = RaisedFrom(top, top);
  EXPECT_EQ(same.rlim_cur, same.rlim_max);
  EXPECT_GE(same.rlim_cur, std::min<rlim_t>(65536, current.rlim_max));
}

} // namespace
