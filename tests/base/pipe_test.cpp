// Pipes to shell commands with real processes: data both ways, commands
// that exit early (no SIGPIPE), reaping without touching other children's
// exit statuses, and descriptors that no later child inherits.
#include "proccount.h"
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/pipe.h"

namespace {

std::atomic<int> gSigPipeCount{0};
void CountSigPipe(int) { gSigPipeCount.fetch_add(1); }

// Counts SIGPIPE instead of dying of it, for one test.
class LSigPipeCounter {
public:
  LSigPipeCounter()
  {
    gSigPipeCount = 0;
    struct sigaction action {};
    action.sa_handler = CountSigPipe;
    sigaction(SIGPIPE, &action, &previous_);
  }
  ~LSigPipeCounter() { sigaction(SIGPIPE, &previous_, nullptr); }
  LSigPipeCounter(const LSigPipeCounter&) = delete;
  LSigPipeCounter& operator=(const LSigPipeCounter&) = delete;

private:
  struct sigaction previous_ {};
};


bool ProcessExists(pid_t pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

std::string ReadAll(LPipeInOut& pipe, size_t expected)
{
  std::string out;
  char buffer[4096];
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (out.size() < expected && std::chrono::steady_clock::now() < until) {
    if (pipe.GetBytesReady() == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    int n = pipe.Read(buffer, sizeof buffer);
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

ino_t PipeInode(int fd)
{
  struct stat st;
  return fstat(fd, &st) == 0 ? st.st_ino : 0;
}

TEST(PipeInOut, CarriesDataBothWaysAndReportsBytesReady)
{
  LPipeInOut pipe;
  ASSERT_TRUE(pipe.Open("cat"));
  EXPECT_GT(pipe.GetPid(), 0);
  // Larger than a pipe's buffer: cat must be read while it is written.
  std::string data(200000, 0);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7);
  std::string echoed;
  std::thread reader([&] { echoed = ReadAll(pipe, data.size()); });
  EXPECT_EQ(pipe.Write(data.data(), static_cast<unsigned int>(data.size())), static_cast<int>(data.size()));
  reader.join();
  EXPECT_TRUE(echoed == data);
  EXPECT_EQ(pipe.GetBytesReady(), 0);
  pid_t pid = pipe.GetPid();
  pipe.Close();
  EXPECT_FALSE(ProcessExists(pid)) << "closed command is reaped";
  EXPECT_EQ(pipe.GetReadFD(), -1);
  EXPECT_EQ(pipe.GetWriteFD(), -1);
  char byte;
  EXPECT_EQ(pipe.Read(&byte, 1), 0);
  EXPECT_EQ(pipe.GetBytesReady(), 0);
  errno = 0;
  EXPECT_EQ(pipe.Write("x", 1), -1);
  EXPECT_EQ(errno, EBADF);
  pipe.Close();  // twice is harmless
}

TEST(PipeInOut, CommandThatExitsEarlyGivesFailedWritesNotSigPipe)
{
  LSigPipeCounter counter;
  const char* commands[] = {"true", "exit 3", "/nonexistent/encoder 2>/dev/null", "head -c 10"};
  for (const char* command : commands) {
    SCOPED_TRACE(command);
    LPipeInOut pipe;
    ASSERT_TRUE(pipe.Open(command));
    std::string block(17640, 'x');
    int result = 0;
    for (int i = 0; i < 100 && result >= 0; ++i)
      result = pipe.Write(block.data(), static_cast<unsigned int>(block.size()));
    EXPECT_EQ(result, -1);
    EXPECT_EQ(errno, EPIPE);
    // A failed read of the ended output is "nothing there".
    char buffer[64];
    while (pipe.Read(buffer, sizeof buffer) > 0) {
    }
    EXPECT_EQ(pipe.Read(buffer, sizeof buffer), 0);
  }
  EXPECT_EQ(gSigPipeCount.load(), 0);
  EXPECT_EQ(CountChildren(true), 0);
}

TEST(PipeInOut, ReopeningEndsTheFirstCommandAndLeavesNoDescriptors)
{
  LPipeInOut pipe;
  ASSERT_TRUE(pipe.Open("cat"));
  pid_t first = pipe.GetPid();
  ino_t firstInode = PipeInode(pipe.GetWriteFD());
  ASSERT_TRUE(pipe.Open("ls -l /proc/$$/fd"));
  EXPECT_FALSE(ProcessExists(first));
  std::string listing;
  char buffer[4096];
  int n;
  while ((n = pipe.Read(buffer, sizeof buffer)) > 0)
    listing.append(buffer, static_cast<size_t>(n));
  EXPECT_NE(listing.find("pipe:"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("pipe:[" + std::to_string(firstInode) + "]"), std::string::npos) << listing;

  // A second pipe open at the same time is not inherited either.
  LPipeInOut other;
  ASSERT_TRUE(other.Open("cat"));
  ino_t otherIn = PipeInode(other.GetWriteFD());
  ino_t otherOut = PipeInode(other.GetReadFD());
  ASSERT_TRUE(pipe.Open("ls -l /proc/$$/fd"));
  listing.clear();
  while ((n = pipe.Read(buffer, sizeof buffer)) > 0)
    listing.append(buffer, static_cast<size_t>(n));
  EXPECT_EQ(listing.find("pipe:[" + std::to_string(otherIn) + "]"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("pipe:[" + std::to_string(otherOut) + "]"), std::string::npos) << listing;
}

TEST(PipeInOut, ReapsOnlyItsOwnChildren)
{
  struct sigaction before {};
  sigaction(SIGCHLD, nullptr, &before);

  // Someone else's child, exited before and after our commands come and go.
  pid_t mine = fork();
  if (mine == 0)
    _exit(7);
  ASSERT_GT(mine, 0);
  FILE* popened = popen("exit 5", "r");
  ASSERT_NE(popened, nullptr);
  for (int i = 0; i < 5; ++i) {
    LPipeInOut pipe;
    ASSERT_TRUE(pipe.Open("cat"));
    pipe.Write("abc", 3);
  }
  struct sigaction after {};
  sigaction(SIGCHLD, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler) << "SIGCHLD handling left alone";
  EXPECT_NE(after.sa_handler, SIG_IGN);
  int status = 0;
  ASSERT_EQ(waitpid(mine, &status, 0), mine) << "the other child's status must still be there";
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
  status = pclose(popened);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 5);
}

TEST(PipeInOut, CommandThatIgnoresEndOfInputIsKilledAfterTheGraceWithItsChildren)
{
  LPipeInOut pipe;
  // The shell waits for sleep, which neither reads nor ends.
  ASSERT_TRUE(pipe.Open("sleep 60; exit 0"));
  pid_t shell = pipe.GetPid();
  std::vector<pid_t> grandchildren;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (grandchildren.empty() && std::chrono::steady_clock::now() < until)
    grandchildren = ChildrenOf(shell);
  ASSERT_EQ(grandchildren.size(), 1u);
  auto start = std::chrono::steady_clock::now();
  pipe.Close();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(ProcessExists(shell));
  EXPECT_GE(seconds, LChildProcess::kReapGraceMs / 1000.0 - 0.1);
  EXPECT_LT(seconds, LChildProcess::kReapGraceMs / 1000.0 + 2.0);
  // The orphaned sleep was killed with the shell's group (its parent now
  // reaps it).
  until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (ProcessExists(grandchildren[0]) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(ProcessExists(grandchildren[0]));
  EXPECT_EQ(CountChildren(true), 0);
}

TEST(WriteNoSigPipe, ClosedReaderGivesEpipeAndKeepsAnEarlierPendingSignal)
{
  LSigPipeCounter counter;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  errno = 0;
  EXPECT_EQ(LWriteNoSigPipe(fds[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  EXPECT_EQ(LWriteAllNoSigPipe(fds[1], "xyz", 3), -1);
  EXPECT_EQ(gSigPipeCount.load(), 0);

  // A SIGPIPE that was already waiting belongs to someone else: kept.
  sigset_t pipeOnly, previous;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
  pthread_kill(pthread_self(), SIGPIPE);
  EXPECT_EQ(LWriteNoSigPipe(fds[1], "x", 1), -1);
  sigset_t pending;
  sigpending(&pending);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 1);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);  // delivered to the counter now
  EXPECT_EQ(gSigPipeCount.load(), 1);
  close(fds[1]);
}

TEST(PipeOut, CloseWaitsForTheCommandAndWritesAfterItsExitFail)
{
  const char* path = "/tmp/pipeout.txt";
  {
    LPipeOut out;
    ASSERT_TRUE(out.Open((std::string("sleep 0.2; cat > ") + path).c_str()));
    EXPECT_EQ(out.Write("hello", 5), 5);
    int status = out.Close();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::ifstream file(path);
    std::string text;
    std::getline(file, text);
    EXPECT_EQ(text, "hello") << "the command has finished when Close returns";
    EXPECT_EQ(out.Close(), -1);
    errno = 0;
    EXPECT_EQ(out.Write("x", 1), -1);
    EXPECT_EQ(errno, EBADF);
  }
  LSigPipeCounter counter;
  LPipeOut out;
  ASSERT_TRUE(out.Open("exit 4"));
  std::string block(65536, 'y');
  int result = 0;
  for (int i = 0; i < 50 && result >= 0; ++i)
    result = out.Write(block.data(), static_cast<unsigned int>(block.size()));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(gSigPipeCount.load(), 0);
  int status = out.Close();
  EXPECT_EQ(WEXITSTATUS(status), 4);
}

TEST(PipeIn, ReadsACommandsOutputAndItsStatus)
{
  LPipeIn in("printf 'one\\ntwo'; exit 2");
  ASSERT_TRUE(in.IsOpen());
  std::string text;
  char buffer[3];
  int n;
  while ((n = in.Read(buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(n));
  EXPECT_EQ(text, "one\ntwo");
  EXPECT_EQ(in.Read(buffer, sizeof buffer), 0);
  int status = in.Close();
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_FALSE(in.IsOpen());
  EXPECT_EQ(in.Read(buffer, sizeof buffer), 0);
}

}  // namespace
