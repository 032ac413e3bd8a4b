// Pipes to shell commands with real processes.
#include "base/pipe.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "common/files.h"
#include "common/proccount.h"
#include "common/waitfor.h"

namespace {

bool ProcessExists(pid_t pid)
{
  return kill(pid, 0) == 0 || errno != ESRCH;
}

std::string ReadToEnd(LPipeInOut& pipe)
{
  std::string out;
  char buffer[4096];
  for (int n; (n = pipe.Read(buffer, sizeof buffer)) > 0;)
    out.append(buffer, static_cast<size_t>(n));
  return out;
}

std::string PipeName(int fd)
{
  struct stat st {};
  return fstat(fd, &st) == 0 ? "pipe:[" + std::to_string(st.st_ino) + "]" : "none";
}

// Writes until a write fails: its result and errno, as "-1 32".
template <class Pipe>
std::string WriteUntilFailure(Pipe& pipe, size_t block)
{
  const std::string data(block, 'x');
  int result = 0;
  for (int i = 0; i < 100 && result >= 0; ++i)
    result = pipe.Write(data.data(), static_cast<unsigned int>(data.size()));
  return std::to_string(result) + " " + std::to_string(errno);
}

// A SIGPIPE ends the test: commands that exit early must give failed writes instead.
TEST(Pipe, ChildrenGetNoPipeEndsAreReapedAfterTheirGraceAndGiveTheirStatus)
{
  signal(SIGPIPE, SIG_DFL);
  LPipeInOut pipe, other;
  ASSERT_TRUE(pipe.Open("cat") && other.Open("cat"));
  // Reopening ends the first command; no child inherits either pipe's ends.
  const pid_t first = pipe.GetPid();
  const std::string names[] = {PipeName(pipe.GetWriteFD()), PipeName(other.GetWriteFD()), PipeName(other.GetReadFD())};
  ASSERT_TRUE(pipe.Open("ls -l /proc/$$/fd"));
  EXPECT_FALSE(first <= 0 || ProcessExists(first));
  const std::string listing = ReadToEnd(pipe);
  EXPECT_NE(listing.find("pipe:"), std::string::npos) << listing;
  for (const std::string& name : names)
    EXPECT_EQ(listing.find(name), std::string::npos) << name << " in " << listing;
  const pid_t pid = other.GetPid();
  other.Close();
  other.Close();  // twice is harmless
  EXPECT_FALSE(ProcessExists(pid)) << "closed command is reaped";
  EXPECT_EQ(ReadToEnd(other) + WriteUntilFailure(other, 1), "-1 " + std::to_string(EBADF));
  TempFolder dir;
  LPipeOut out;
  ASSERT_TRUE(out.Open(("sleep 0.2; cat > " + dir / "out").c_str()));
  EXPECT_EQ(out.Write("hello", 5), 5);
  EXPECT_EQ(out.Close(), 0);
  EXPECT_EQ(ReadWhole(dir / "out"), "hello") << "the command has finished when Close returns";
  EXPECT_EQ(out.Close(), -1);
  ASSERT_TRUE(out.Open("exit 4"));
  EXPECT_EQ(WriteUntilFailure(out, 65536).substr(0, 3) + std::to_string(out.Close()), "-1 " + std::to_string(4 << 8));
  struct sigaction before {
  }, after{};
  sigaction(SIGCHLD, nullptr, &before);
  const pid_t mine = fork();  // someone else's child, exited before ours come and go
  if (mine == 0)
    _exit(7);
  for (int i = 0; i < 5; ++i) {
    LPipeInOut brief;
    ASSERT_TRUE(brief.Open("cat"));
    brief.Write("abc", 3);
  }
  sigaction(SIGCHLD, nullptr, &after);
  EXPECT_TRUE(after.sa_handler == before.sa_handler && after.sa_handler != SIG_IGN) << "SIGCHLD handling left alone";
  int status = 0;
  EXPECT_TRUE(waitpid(mine, &status, 0) == mine && status == 7 << 8) << "the other child's status must still be there";

  ASSERT_TRUE(pipe.Open("sleep 60; exit 0"));  // the shell waits for sleep, which never reads
  std::vector<pid_t> sleeps;
  ASSERT_TRUE(Eventually([&] { return (sleeps = ChildrenOf(pipe.GetPid())).size() == 1; }));
  const pid_t shell = pipe.GetPid();
  const auto start = std::chrono::steady_clock::now();
  pipe.Close();
  EXPECT_FALSE(ProcessExists(shell));
  const long long closeMs = MsSince(start), graceMs = LChildProcess::kReapGraceMs;
  EXPECT_TRUE(closeMs >= graceMs - 100 && closeMs < graceMs + 10000)
      << closeMs << " ms: killed after its grace, not before";
  EXPECT_TRUE(Eventually([&] { return !ProcessExists(sleeps[0]); })) << "killed with the shell's group";
  EXPECT_EQ(CountChildren(true), 0);
}

}  // namespace
